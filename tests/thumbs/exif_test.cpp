// The Exif handler on crafted segments: facts, one picture per IFD, both byte orders, loops,
// uncompressed strips, compressed strips and Olympus previews as post thumbnails.
#include <gtest/gtest.h>

#include "segment_builder.h"
#include "thumbs/jpeg_thumbs.h"
#include "thumbs/tiff_reader.h"

namespace vt {
namespace {

using test::Bytes;
using test::Cat;
using test::ExifData;
using test::Segment;
using test::Str;
using test::TiffWriter;

constexpr int64_t kSegmentAt = 20;  // file offset of the segment's FF in these runs

struct SegmentRun {
  TkelJpegThumbs thumbs{false};
  explicit SegmentRun(const Bytes& tiff) {
    const Bytes seg = Segment(0xE1, ExifData(tiff));
    thumbs.ProcessAppBlock(kSegmentAt, seg.data(), int32_t(seg.size()));
  }
};

class ExifByteOrderTest : public ::testing::TestWithParam<bool> {};

// IFD0 with facts and an Exif sub-IFD, IFD1 with an uncompressed RGB strip.
Bytes FactsAndRgbStrip(bool bigEndian, const Bytes& strip, uint16_t width, uint16_t height) {
  TiffWriter w(bigEndian);
  const int ifd0 = w.AddIfd(), ifd1 = w.AddIfd(), exif = w.AddIfd();
  w.Next(ifd0, ifd1);
  w.Ascii(ifd0, 270, "  A description  ");
  w.Ascii(ifd0, 271, "Maker");
  w.Ascii(ifd0, 272, "Model X");
  w.Short(ifd0, 274, 6);
  w.Ascii(ifd0, 306, "2021:07:14 09:08:07");
  w.IfdOffset(ifd0, 34665, exif);
  w.Ascii(exif, 36867, "2020:02:29 23:59:58");
  w.Ascii(exif, 36868, "2020:02:30 10:00:00");  // not a date
  w.Short(ifd1, 256, width);
  w.Short(ifd1, 257, height);
  w.Shorts(ifd1, 258, {8, 8, 8});
  w.Short(ifd1, 259, 1);
  w.Short(ifd1, 262, 2);
  w.Short(ifd1, 277, 3);
  w.Ascii(ifd1, 270, "second description");
  const int blob = w.AddBlob(strip);
  w.BlobOffset(ifd1, 273, blob);
  w.Long(ifd1, 279, uint32_t(strip.size()));
  return w.Build();
}

TEST_P(ExifByteOrderTest, FactsAndUncompressedRgbStrip) {
  Bytes strip;
  for (int i = 0; i < 6 * 4; ++i) strip.insert(strip.end(), {uint8_t(i), uint8_t(100 + i), 7});
  SegmentRun r(FactsAndRgbStrip(GetParam(), strip, 6, 4));
  TkelJpegThumbs& t = r.thumbs;
  EXPECT_EQ(t.ImageDescription, "A description");  // trimmed; the later one does not replace it
  EXPECT_EQ(t.Make, "Maker");
  EXPECT_EQ(t.Model, "Model X");
  EXPECT_EQ(t.Orientation, 6);
  EXPECT_EQ(t.DateTime.ToString(), "2021:07:14 09:08:07");
  EXPECT_EQ(t.DateTimeOriginal.ToString(), "2020:02:29 23:59:58");
  EXPECT_TRUE(t.DateTimeDigitized.IsZero());
  ASSERT_EQ(t.ThumbCount(), 1);
  PkelJpegThumb p = t.GetThumbs(0);
  EXPECT_EQ(p->Kind, tkRGB);
  EXPECT_EQ(p->Caption, "RGB");
  EXPECT_EQ(p->Width, 6);
  EXPECT_EQ(p->Height, 4);
  EXPECT_EQ(p->Completeness, 100);
  EXPECT_EQ(p->Bitmap->Pixel(5, 3), Color32(23, 123, 7));
  ASSERT_EQ(p->Blocks.size(), 1u);
  // The block lies inside the segment at the strip's place.
  EXPECT_EQ(p->Blocks[0].Offset, kSegmentAt + 4 + p->Offset);
  EXPECT_EQ(p->Blocks[0].Size, 72);
}

TEST_P(ExifByteOrderTest, UncompressedYCbCrWithoutSubsamplingTagIsTwoByTwoAndRoundedUp) {
  const int64_t w = 162, h = 122;
  const Bytes strip(size_t(w * h + (w * h / 4) * 2), 128);
  TiffWriter tw(GetParam());
  const int ifd0 = tw.AddIfd();
  tw.Long(ifd0, 256, 161);
  tw.Long(ifd0, 257, 121);
  tw.Shorts(ifd0, 258, {8, 8, 8});
  tw.Short(ifd0, 259, 1);
  tw.Short(ifd0, 262, 6);
  tw.Short(ifd0, 277, 3);
  tw.BlobOffset(ifd0, 273, tw.AddBlob(strip));
  SegmentRun r(tw.Build());
  ASSERT_EQ(r.thumbs.ThumbCount(), 1);
  PkelJpegThumb p = r.thumbs.GetThumbs(0);
  EXPECT_EQ(p->Kind, tkYCbCr);
  EXPECT_EQ(p->Caption, "YCrCb");
  EXPECT_EQ(p->Width, 162);
  EXPECT_EQ(p->Height, 122);
  EXPECT_EQ(p->SubsamplingH, 2);
  EXPECT_EQ(p->SubsamplingV, 2);
  EXPECT_EQ(p->Completeness, 100);
}

TEST_P(ExifByteOrderTest, UnusableUncompressedStripsAddNothing) {
  auto build = [&](std::vector<uint16_t> bits, std::vector<uint16_t> sub, uint16_t photometric) {
    TiffWriter tw(GetParam());
    const int ifd0 = tw.AddIfd();
    tw.Short(ifd0, 256, 4);
    tw.Short(ifd0, 257, 4);
    tw.Shorts(ifd0, 258, bits);
    tw.Short(ifd0, 259, 1);
    tw.Short(ifd0, 262, photometric);
    tw.Short(ifd0, 277, 3);
    if (!sub.empty()) tw.Shorts(ifd0, 530, sub);
    tw.BlobOffset(ifd0, 273, tw.AddBlob(Bytes(64, 1)));
    return tw.Build();
  };
  EXPECT_EQ(SegmentRun(build({8, 8, 16}, {}, 2)).thumbs.ThumbCount(), 0);
  EXPECT_EQ(SegmentRun(build({8, 8}, {}, 2)).thumbs.ThumbCount(), 0);
  EXPECT_EQ(SegmentRun(build({8, 8, 8}, {3, 1}, 6)).thumbs.ThumbCount(), 0);
  EXPECT_EQ(SegmentRun(build({8, 8, 8}, {2, 1, 1}, 6)).thumbs.ThumbCount(), 0);
  EXPECT_EQ(SegmentRun(build({8, 8, 8}, {}, 1)).thumbs.ThumbCount(), 0);
  EXPECT_EQ(SegmentRun(build({8, 8, 8}, {2, 1}, 6)).thumbs.ThumbCount(), 1);
}

TEST_P(ExifByteOrderTest, ChainsThatLoopAreWalkedOnce) {
  Bytes strip(3 * 4, 9);
  TiffWriter tw(GetParam());
  const int ifd0 = tw.AddIfd(), ifd1 = tw.AddIfd();
  tw.Next(ifd0, ifd1);
  tw.Next(ifd1, ifd0);             // back to IFD0
  tw.IfdOffset(ifd1, 34665, ifd1);  // and a sub-IFD pointer at itself
  tw.Short(ifd0, 274, 3);
  tw.Short(ifd1, 274, 8);  // not the first IFD: ignored
  tw.Short(ifd1, 256, 2);
  tw.Short(ifd1, 257, 2);
  tw.Shorts(ifd1, 258, {8, 8, 8});
  tw.Short(ifd1, 259, 1);
  tw.Short(ifd1, 262, 2);
  tw.Short(ifd1, 277, 3);
  tw.BlobOffset(ifd1, 273, tw.AddBlob(strip));
  SegmentRun r(tw.Build());
  EXPECT_EQ(r.thumbs.ThumbCount(), 1);
  EXPECT_EQ(r.thumbs.Orientation, 3);
}

TEST_P(ExifByteOrderTest, CompressedStripsAndOlympusPreviewsBecomePostThumbnails) {
  TiffWriter tw(GetParam());
  const int ifd0 = tw.AddIfd(), ifd1 = tw.AddIfd(), exif = tw.AddIfd();
  tw.Next(ifd0, ifd1);
  tw.IfdOffset(ifd0, 34665, exif);
  tw.Short(ifd1, 259, 6);
  tw.Long(ifd1, 273, 5000);
  tw.Long(ifd1, 279, 1234);
  // An Olympus note whose own byte order is big-endian; its version is still read little-endian.
  Bytes note = Cat({Str(std::string("OLYMPUS\0", 8)), Str("MM"), Bytes{3, 0}, Bytes{0, 1},
                    // entry 0x2020, LONG, count 1, sub-IFD at note offset 30
                    Bytes{0x20, 0x20, 0, 4, 0, 0, 0, 1, 0, 0, 0, 30}, Bytes{0, 0, 0, 0},
                    Bytes{0, 3},
                    Bytes{0x01, 0x00, 0, 4, 0, 0, 0, 1, 0, 0, 0, 1},
                    Bytes{0x01, 0x01, 0, 4, 0, 0, 0, 1, 0, 0, 0x10, 0},
                    Bytes{0x01, 0x02, 0, 4, 0, 0, 0, 1, 0, 0, 0x20, 0}});
  const int noteBlob = tw.AddBlob(note);
  tw.BlobData(exif, 37500, 7, uint32_t(note.size()), noteBlob);
  const Bytes tiff = tw.Build();
  SegmentRun r(tiff);
  ASSERT_EQ(r.thumbs.PostThumbCount(), 2);
  // The maker note hangs off IFD0's Exif IFD, so it is met before IFD1.
  EXPECT_EQ(r.thumbs.GetPostThumbs(0)->Offset, kSegmentAt + 10 + tw.BlobAt(noteBlob) + 0x1000);
  EXPECT_EQ(r.thumbs.GetPostThumbs(0)->Size, 0x2000);
  EXPECT_EQ(r.thumbs.GetPostThumbs(1)->Offset, kSegmentAt + 10 + 5000);
  EXPECT_EQ(r.thumbs.GetPostThumbs(1)->Size, 1234);
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, ExifByteOrderTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "BigEndian" : "LittleEndian"; });

struct DateCase {
  const char* text;
  const char* expected;  // "" = the read fails
};
class ExifDateTest : public ::testing::TestWithParam<DateCase> {};
TEST_P(ExifDateTest, ParsesByPosition) {
  TkelDateTime d;
  const bool ok = ParseExifDate(GetParam().text, d);
  EXPECT_EQ(ok ? d.ToString() : std::string(), GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(
    Cases, ExifDateTest,
    ::testing::Values(DateCase{"2024:02:29 10:11:12", "2024:02:29 10:11:12"},
                      DateCase{"2024-02-29T10:11:12Z", "2024:02:29 10:11:12"},  // any separator
                      DateCase{"2023:02:29 10:11:12", ""},                      // no such day
                      DateCase{"2023:12:31 24:00:00", "2023:12:31 00:00:00"},   // bad time: date only
                      DateCase{"0000:00:00 00:00:00", ""},
                      DateCase{"2023:1:31 10:11:12", ""},
                      DateCase{"2023:01:31 10:11", ""}));

}  // namespace
}  // namespace vt
