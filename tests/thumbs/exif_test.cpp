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

// The entropy-coded data of a 640 x 480 baseline JPEG with Y sampled 2 x 1, as the KYOCERA and
// BK notes store it (the header templates supply the tables and the frame).
Bytes BarePreview(uint32_t seed) {
  const Bytes jpeg = test::Cjpeg("-quality 20 -sample 2x1,1x1,1x1", 640, 480, false, seed);
  size_t pos = 2;
  while (pos + 4 <= jpeg.size()) {
    const size_t length = size_t(jpeg[pos + 2] << 8 | jpeg[pos + 3]);
    if (jpeg[pos + 1] == 0xDA) return Bytes(jpeg.begin() + long(pos + 2 + length), jpeg.end());
    pos += 2 + length;
  }
  return {};
}

// Maker notes that carry bare previews: the four KYOCERA-layout makers (little-endian entries
// whatever the Exif byte order, the preview at the entry's position plus its value, after "BK")
// and BK (the data from byte 2). Both are decoded with their templates at 640 x 480 and recorded
// at offset 0 or 2 of the segment data; a tag with one space less is not identified.
struct NoteCase {
  std::string tag;
  bool bigEndian;
  const char* caption;  // nullptr = not identified
};
class MakerNoteTest : public ::testing::TestWithParam<NoteCase> {};
TEST_P(MakerNoteTest, BarePreviewsDecodeWithTheirTemplate) {
  const NoteCase& c = GetParam();
  Bytes body;
  for (uint32_t seed = 1; seed < 40 && body.empty(); ++seed) {
    body = BarePreview(seed);
    // BK is identified by its printable prefix: the data must not continue it.
    if (!body.empty() && body[0] >= 32 && body[0] <= 127) body.clear();
  }
  ASSERT_FALSE(body.empty());
  Bytes note;
  if (c.tag == "BK") {
    note = Cat({Str("BK"), body});
  } else {
    Bytes head = Str(c.tag);
    head.resize(22, 0);
    const uint32_t n = uint32_t(body.size());
    // One entry at 24: tag 1, UNDEFINED, count n, preview 12 bytes on (right after the entry).
    note = Cat({head, Bytes{1, 0}, Bytes{1, 0, 7, 0}, Bytes{uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), 0},
                Bytes{12, 0, 0, 0}, Str("BK"), body});
  }
  TiffWriter tw(c.bigEndian);
  const int ifd0 = tw.AddIfd(), exif = tw.AddIfd();
  tw.IfdOffset(ifd0, 34665, exif);
  tw.Undefined(exif, 37500, note);
  SegmentRun r(tw.Build());
  if (c.caption == nullptr) {
    EXPECT_EQ(r.thumbs.ThumbCount(), 0);
    return;
  }
  ASSERT_EQ(r.thumbs.ThumbCount(), 1);
  PkelJpegThumb t = r.thumbs.GetThumbs(0);
  EXPECT_EQ(t->Kind, tkJpeg);
  EXPECT_EQ(t->Caption, c.caption);
  EXPECT_EQ(t->Width, 640);
  EXPECT_EQ(t->Height, 480);
  EXPECT_EQ(t->Completeness, 100);
  const bool bk = c.tag == "BK";
  EXPECT_EQ(t->Offset, bk ? 2 : 0);
  EXPECT_EQ(t->Size, int32_t(body.size()));
  ASSERT_FALSE(t->Blocks.empty());
  EXPECT_EQ(t->Blocks[0].Offset, kSegmentAt + 4 + t->Offset);
  // The copy is a complete JPEG: template, data, EOI.
  ASSERT_TRUE(t->Data);
  const uint8_t* copy = t->Data->Memory();
  const int64_t copySize = t->Data->GetSize();
  ASSERT_GT(copySize, 591);
  EXPECT_EQ(copy[0], 0xFF);
  EXPECT_EQ(copy[1], 0xD8);
  EXPECT_EQ(copy[copySize - 2], 0xFF);
  EXPECT_EQ(copy[copySize - 1], 0xD9);
  // Frame size stored in the copy: height 480, width 640.
  EXPECT_EQ(copy[561] << 8 | copy[562], 480);
  EXPECT_EQ(copy[563] << 8 | copy[564], 640);
}
INSTANTIATE_TEST_SUITE_P(
    Makers, MakerNoteTest,
    ::testing::Values(NoteCase{"KYOCERA            ", false, "KYOCERA"},
                      NoteCase{"KYOCERA            ", true, "KYOCERA"},
                      NoteCase{"TOSHIBA            ", false, "KYOCERA"},
                      NoteCase{"KONICA             ", true, "KYOCERA"},
                      NoteCase{"Rollei             ", false, "KYOCERA"},
                      NoteCase{"KONICA            ", false, nullptr},
                      NoteCase{"BK", false, "BK"}, NoteCase{"BK", true, "BK"}));

// A JPEGInterchangeFormatLength that is too small does not cut the thumbnail, and an IFD whose
// JPEGInterchangeFormat does not lead to a JPEG still lets the scan find one elsewhere; the
// pointed-at picture is not added a second time by the scan.
TEST_P(ExifByteOrderTest, ExifJpegPointerIgnoresItsLengthAndIsAddedOnce) {
  const Bytes jpeg = test::Cjpeg("-quality 80", 48, 32);
  TiffWriter tw(GetParam());
  const int ifd0 = tw.AddIfd(), ifd1 = tw.AddIfd();
  tw.Next(ifd0, ifd1);
  tw.Short(ifd0, 274, 3);
  tw.Short(ifd1, 274, 8);  // not the first IFD: ignored
  const int blob = tw.AddBlob(jpeg);
  tw.BlobOffset(ifd1, 513, blob);
  tw.Long(ifd1, 514, 100);
  SegmentRun r(tw.Build());
  EXPECT_EQ(r.thumbs.Orientation, 3);
  ASSERT_EQ(r.thumbs.ThumbCount(), 1);
  PkelJpegThumb t = r.thumbs.GetThumbs(0);
  EXPECT_EQ(t->Offset, int32_t(6 + tw.BlobAt(blob)));
  // Size is what the decoder consumed (up to the EOI); the copy puts the EOI back.
  EXPECT_EQ(t->Size, int32_t(jpeg.size()) - 2);
  EXPECT_EQ(t->Completeness, 100);
  ASSERT_TRUE(t->Data);
  EXPECT_EQ(Bytes(t->Data->Memory(), t->Data->Memory() + t->Data->GetSize()), jpeg);

  // The pointer is one byte off: nothing from the pointer, the scan still finds the picture.
  TiffWriter off(GetParam());
  const int o0 = off.AddIfd();
  const int oblob = off.AddBlob(Cat({Bytes{0}, jpeg}));
  off.BlobOffset(o0, 513, oblob);
  SegmentRun missed(off.Build());
  ASSERT_EQ(missed.thumbs.ThumbCount(), 1);
  EXPECT_EQ(missed.thumbs.GetThumbs(0)->Offset, int32_t(6 + off.BlobAt(oblob) + 1));
}

// SSHORT values read the same in both byte orders (sign-extended), so twins agree.
TEST_P(ExifByteOrderTest, SignedShortOrientationIsSignExtended) {
  TiffWriter tw(GetParam());
  const int ifd0 = tw.AddIfd();
  tw.SShort(ifd0, 274, -2);
  SegmentRun r(tw.Build());
  EXPECT_EQ(r.thumbs.Orientation, -2);
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
