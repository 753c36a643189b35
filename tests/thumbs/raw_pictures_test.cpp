// Raw thumbnails (JFIF RGB, JFXX palette and RGB, YCbCr blocks): pixels, completeness with
// missing bytes, and untrusted sizes.
#include <gtest/gtest.h>

#include "segment_builder.h"
#include "thumbs/jpeg_thumbs.h"
#include "thumbs/thumb_handler.h"
#include "thumbs/ycbcr_pixel.h"

namespace vt {
namespace {

using test::Bytes;
using test::Cat;
using test::Segment;
using test::Str;

struct CompletenessCase {
  int64_t available, needed;
  int32_t expected;
};
class RawCompletenessTest : public ::testing::TestWithParam<CompletenessCase> {};

TEST_P(RawCompletenessTest, RoundsHalvesToEvenAndNeverClaimsFullWhenShort) {
  EXPECT_EQ(RawCompleteness(GetParam().available, GetParam().needed), GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(Cases, RawCompletenessTest,
                         ::testing::Values(CompletenessCase{15000, 30000, 50},
                                           CompletenessCase{29999, 30000, 99},  // rounds to 100
                                           CompletenessCase{1, 8, 12},          // 12.5 -> 12
                                           CompletenessCase{3, 8, 38},          // 37.5 -> 38
                                           CompletenessCase{30000, 30000, 100},
                                           CompletenessCase{40000, 30000, 100},
                                           CompletenessCase{0, 30000, 0}));

Bytes JfifData(int w, int h, const Bytes& pixels) {
  return Cat({Str(std::string("JFIF\0", 5)), Bytes{1, 2, 0, 0, 1, 0, 1, uint8_t(w), uint8_t(h)}, pixels});
}

// Runs one segment through a fresh collection as a one-segment run at file offset 2.
struct SegmentRun {
  TkelJpegThumbs thumbs{false};
  explicit SegmentRun(const Bytes& segment) {
    thumbs.ProcessAppBlock(2, segment.data(), int32_t(segment.size()));
  }
};

TEST(RawPictures, JfifRgbThumbnailFullHalfAndOneByteShort) {
  Bytes pixels;
  for (int i = 0; i < 100 * 100; ++i) {
    pixels.push_back(uint8_t(i));
    pixels.push_back(uint8_t(i >> 8));
    pixels.push_back(200);
  }
  {
    SegmentRun r(Segment(0xE0, JfifData(100, 100, pixels)));
    ASSERT_EQ(r.thumbs.ThumbCount(), 1);
    PkelJpegThumb t = r.thumbs.GetThumbs(0);
    EXPECT_EQ(t->Kind, tkRGB);
    EXPECT_EQ(t->Completeness, 100);
    EXPECT_EQ(t->Size, 30000);
    EXPECT_EQ(t->Offset, 14);
    // One block inside the segment: data starts at 2 + 4, thumbnail 14 bytes later.
    ASSERT_EQ(t->Blocks.size(), 1u);
    EXPECT_EQ(t->Blocks[0], (TkelJpegBlock{2 + 4 + 14, 30000}));
    EXPECT_EQ(t->Bitmap->Pixel(3, 2), Color32(203 & 0xFF, 203 >> 8, 200));
    EXPECT_EQ(t->Bitmap->Pixel(99, 99), Color32(uint8_t(9999), uint8_t(9999 >> 8), 200));
  }
  {
    Bytes half(pixels.begin(), pixels.begin() + 15000);
    SegmentRun r(Segment(0xE0, JfifData(100, 100, half)));
    ASSERT_EQ(r.thumbs.ThumbCount(), 1);
    PkelJpegThumb t = r.thumbs.GetThumbs(0);
    EXPECT_EQ(t->Completeness, 50);
    EXPECT_EQ(t->Size, 15000);
    EXPECT_EQ(AlphaComponent(t->Bitmap->Pixel(99, 49)), 255);
    EXPECT_EQ(t->Bitmap->Pixel(0, 50), 0u);  // lower half transparent
    EXPECT_EQ(t->Bitmap->Pixel(99, 99), 0u);
  }
  {
    Bytes short1(pixels.begin(), pixels.end() - 1);
    SegmentRun r(Segment(0xE0, JfifData(100, 100, short1)));
    ASSERT_EQ(r.thumbs.ThumbCount(), 1);
    EXPECT_EQ(r.thumbs.GetThumbs(0)->Completeness, 99);
    EXPECT_EQ(r.thumbs.GetThumbs(0)->Bitmap->Pixel(99, 99), 0u);  // its last byte is missing
  }
}

TEST(RawPictures, JfxxPaletteAndRgb) {
  Bytes palette(768, 0);
  palette[0] = 0xFF;  // entry 0: red
  palette[3 * 7 + 2] = 0xFF;  // entry 7: blue
  Bytes indices = {0, 7, 0, 7, 7, 0};
  SegmentRun pal(Segment(0xE0, Cat({Str(std::string("JFXX\0", 5)), Bytes{0x11, 3, 2}, palette, indices})));
  ASSERT_EQ(pal.thumbs.ThumbCount(), 1);
  PkelJpegThumb t = pal.thumbs.GetThumbs(0);
  EXPECT_EQ(t->Kind, tkPalette);
  EXPECT_EQ(t->Caption, "Bmp8");
  EXPECT_EQ(t->Offset, 8);
  EXPECT_EQ(t->Completeness, 100);
  EXPECT_EQ(t->Bitmap->Pixel(0, 0), Color32(255, 0, 0));
  EXPECT_EQ(t->Bitmap->Pixel(1, 0), Color32(0, 0, 255));
  EXPECT_EQ(t->Bitmap->Pixel(2, 1), Color32(255, 0, 0));

  SegmentRun rgb(Segment(0xE0, Cat({Str(std::string("JFXX\0", 5)), Bytes{0x13, 2, 1}, Bytes{1, 2, 3, 4, 5}})));
  ASSERT_EQ(rgb.thumbs.ThumbCount(), 1);
  t = rgb.thumbs.GetThumbs(0);
  EXPECT_EQ(t->Kind, tkRGB);
  EXPECT_EQ(t->Caption, "Bmp32");
  EXPECT_EQ(t->Completeness, 83);  // 5 of 6 bytes
  EXPECT_EQ(t->Bitmap->Pixel(0, 0), Color32(1, 2, 3));
  EXPECT_EQ(t->Bitmap->Pixel(1, 0), 0u);
}

TEST(RawPictures, YCbCrBlocksAreLaidOutRowByRowInsideEachBlock) {
  TkelJpegThumbs thumbs(false);
  TkelJpegThumbBaseHandler handler(thumbs);
  // 4 x 4 picture, 2 x 2 blocks: block (bx, by) holds lumas row by row, then Cb and Cr.
  Bytes data;
  auto luma = [](int x, int y) { return uint8_t(16 * (y * 4 + x) + 8); };
  for (int by = 0; by < 2; ++by)
    for (int bx = 0; bx < 2; ++bx) {
      for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i) data.push_back(luma(bx * 2 + i, by * 2 + j));
      data.push_back(128);
      data.push_back(128);
    }
  PkelJpegThumb t = handler.AddYCbCrThumb(data.data(), 0, int32_t(data.size()), 4, 4, 2, 2, "YCrCb");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->Completeness, 100);
  EXPECT_EQ(t->SubsamplingH, 2);
  EXPECT_EQ(t->SubsamplingV, 2);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      const TColor32 p = t->Bitmap->Pixel(x, y);
      EXPECT_NEAR(RedComponent(p), luma(x, y), 1) << x << "," << y;
      EXPECT_EQ(AlphaComponent(p), 255);
    }

  // Cut inside the last block, after two of its lumas: those two pixels appear, the rest not.
  const int32_t cut = 6 * 3 + 2;
  t = handler.AddYCbCrThumb(data.data(), 0, cut, 4, 4, 2, 2, "YCrCb");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->Completeness, RawCompleteness(cut, 24));
  EXPECT_EQ(AlphaComponent(t->Bitmap->Pixel(2, 2)), 255);
  EXPECT_EQ(AlphaComponent(t->Bitmap->Pixel(3, 2)), 255);
  EXPECT_EQ(t->Bitmap->Pixel(2, 3), 0u);
  EXPECT_EQ(t->Bitmap->Pixel(3, 3), 0u);
}

TEST(RawPictures, DeclaredSizesFarBeyondTheBytesAddNothing) {
  TkelJpegThumbs thumbs(false);
  TkelJpegThumbBaseHandler handler(thumbs);
  Bytes bytes(1000, 0x80);
  // 60000 x 60000 x 3 overflows 32 bits and would be gigabytes.
  EXPECT_EQ(handler.AddRGBThumb(bytes.data(), 0, 1000, 60000, 60000, ""), nullptr);
  EXPECT_EQ(handler.AddYCbCrThumb(bytes.data(), 0, 1000, 40000, 40000, 2, 2, ""), nullptr);
  EXPECT_EQ(handler.AddPaletteThumb(bytes.data(), 0, 1000, 30000, 30000, ""), nullptr);
  EXPECT_EQ(thumbs.ThumbCount(), 0);
  // Half the bytes of a large picture are still a picture.
  Bytes half(1100 * 1000 * 3 / 2, 0x40);
  PkelJpegThumb t = handler.AddRGBThumb(half.data(), 0, int32_t(half.size()), 1100, 1000, "");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->Completeness, 50);
  EXPECT_EQ(t->Bitmap->Height(), 1000);
}

TEST(RawPictures, PngPicturesInsideDataAreFoundAndMadeOpaque) {
  const std::string png = test::TempPath(".png"), hugePng = test::TempPath(".png");
  ASSERT_EQ(test::RunCommand("/usr/bin/python3 -c " +
                             test::Quote("from PIL import Image; im=Image.new('RGBA',(5,3),(10,20,30,40)); "
                                         "im.putpixel((4,2),(200,100,50,0)); im.save('" + png + "')")),
            0);
  // The same picture claiming 100000 x 100000 pixels (valid checksum): its few bytes cannot
  // hold that, so it is not decoded.
  ASSERT_EQ(test::RunCommand("/usr/bin/python3 -c " +
                             test::Quote("import struct,zlib; d=bytearray(open('" + png + "','rb').read()); "
                                         "d[16:24]=struct.pack('>II',100000,100000); "
                                         "d[29:33]=struct.pack('>I',zlib.crc32(bytes(d[12:29]))); "
                                         "open('" + hugePng + "','wb').write(d)")),
            0);
  const Bytes picture = test::ReadBytes(png);
  const Bytes huge = test::ReadBytes(hugePng);
  const Bytes data = Cat({Bytes(30, 0x89), picture, Bytes(7, 0), huge, Bytes(30, 0)});
  TkelJpegThumbs thumbs(false);
  TkelJpegThumbBaseHandler handler(thumbs);
  handler.ScanForPngs(data.data(), int32_t(data.size()));
  ASSERT_EQ(thumbs.ThumbCount(), 1);
  PkelJpegThumb t = thumbs.GetThumbs(0);
  EXPECT_EQ(t->Offset, 30);
  EXPECT_EQ(t->Size, 0);
  EXPECT_EQ(t->Width, 5);
  EXPECT_EQ(t->Height, 3);
  EXPECT_EQ(t->Completeness, 100);
  EXPECT_EQ(t->Bitmap->Pixel(0, 0), Color32(10, 20, 30));
  EXPECT_EQ(t->Bitmap->Pixel(4, 2), Color32(200, 100, 50));
}

}  // namespace
}  // namespace vt
