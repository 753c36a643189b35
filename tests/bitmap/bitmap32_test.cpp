#include "bitmap/bitmap32.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace vt {
namespace {

// A bitmap whose every pixel is distinct: (x, y) -> a word that encodes both.
TBitmap32 Numbered(int w, int h) {
  TBitmap32 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.SetPixel(x, y, 0x80000000u | uint32_t(y << 12) | uint32_t(x));
  return b;
}

bool SamePixels(const TBitmap32& a, const TBitmap32& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  return std::equal(a.Bits(), a.Bits() + size_t(a.Width()) * a.Height(), b.Bits());
}

TEST(Bitmap32, TurnsMovePixelsWhereTheGeometrySays) {
  const TBitmap32 src = Numbered(5, 3);
  TBitmap32 cw = src;
  cw.TurnClockwise();
  ASSERT_EQ(cw.Width(), 3);
  ASSERT_EQ(cw.Height(), 5);
  TBitmap32 ccw = src;
  ccw.TurnCounterClockwise();
  ASSERT_EQ(ccw.Width(), 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(cw.Pixel(3 - 1 - y, x), src.Pixel(x, y));
      EXPECT_EQ(ccw.Pixel(y, 5 - 1 - x), src.Pixel(x, y));
    }
  // 4 x 2: the former top-left pixel lands at the top right.
  TBitmap32 small = Numbered(4, 2);
  small.TurnClockwise();
  EXPECT_EQ(small.Width(), 2);
  EXPECT_EQ(small.Height(), 4);
  EXPECT_EQ(small.Pixel(1, 0), Numbered(4, 2).Pixel(0, 0));
}

TEST(Bitmap32, TurnsAndFlipsAgreeWithEachOther) {
  const TBitmap32 src = Numbered(7, 4);
  TBitmap32 a = src, b = src;
  a.TurnClockwise();
  a.TurnCounterClockwise();
  EXPECT_TRUE(SamePixels(a, src));
  a.TurnClockwise();
  a.TurnClockwise();
  b.TurnHalf();
  EXPECT_TRUE(SamePixels(a, b));
  // A half turn is both flips.
  TBitmap32 c = src;
  c.FlipHorizontal();
  c.FlipVertical();
  EXPECT_TRUE(SamePixels(c, b));
  // A clockwise quarter turn is a counter-clockwise one followed by a half turn.
  TBitmap32 d = src, e = src;
  d.TurnClockwise();
  e.TurnCounterClockwise();
  e.TurnHalf();
  EXPECT_TRUE(SamePixels(d, e));
  c = src;
  c.FlipHorizontal();
  EXPECT_EQ(c.Pixel(0, 2), src.Pixel(6, 2));
  c.FlipHorizontal();
  EXPECT_TRUE(SamePixels(c, src));
}

TEST(Bitmap32, SafeAccessUsesOuterColorAndIgnoresOutsideWrites) {
  TBitmap32 b(3, 2);
  b.Clear(clWhite32);
  b.OuterColor = 0x12345678u;
  EXPECT_EQ(b.PixelS(-1, 0), 0x12345678u);
  EXPECT_EQ(b.PixelS(3, 1), 0x12345678u);
  EXPECT_EQ(b.PixelS(2, 1), clWhite32);
  b.SetPixelS(3, 0, 0);
  b.SetPixelS(-1, -1, 0);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(b.Pixel(x, y), clWhite32);
}

TEST(Bitmap32, FillRectIsHalfOpenAndClipped) {
  TBitmap32 b(4, 4);
  b.Clear();
  b.FillRect(-5, 1, 2, 3, clBlack32);
  int filled = 0;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      const bool inside = x < 2 && y >= 1 && y < 3;
      EXPECT_EQ(b.Pixel(x, y), inside ? clBlack32 : 0u) << x << "," << y;
      filled += inside;
    }
  EXPECT_EQ(filled, 4);
}

TEST(Bitmap32, DrawClipsAndCopiesOpaque) {
  TBitmap32 dst(4, 4);
  dst.Clear(clWhite32);
  const TBitmap32 src = Numbered(3, 3);
  src.DrawTo(dst, 2, -1);  // only the 2 x 2 lower-left part lands
  EXPECT_EQ(dst.Pixel(2, 0), src.Pixel(0, 1));
  EXPECT_EQ(dst.Pixel(3, 1), src.Pixel(1, 2));
  EXPECT_EQ(dst.Pixel(1, 0), clWhite32);
  EXPECT_EQ(dst.Pixel(2, 2), clWhite32);
  // Completely outside: nothing happens.
  src.DrawTo(dst, -10, 0);
  src.DrawTo(dst, 0, 10);
  EXPECT_EQ(dst.Pixel(0, 0), clWhite32);
}

TEST(Bitmap32, BlendTransparentOverPictureChangesNothingAndOpaqueReplaces) {
  TBitmap32 picture = Numbered(6, 5);
  picture.MakeOpaque();
  const TBitmap32 before = picture;
  TBitmap32 holes(6, 5);
  holes.Clear(0);
  holes.SetPixel(2, 3, Color32(10, 20, 30));
  holes.SetPixel(4, 1, Color32(200, 100, 0, 128));
  holes.DrawMode = dmBlend;
  holes.DrawTo(picture, 0, 0);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 6; ++x) {
      if (x == 2 && y == 3)
        EXPECT_EQ(picture.Pixel(x, y), Color32(10, 20, 30));
      else if (x == 4 && y == 1)
        EXPECT_NE(picture.Pixel(x, y), before.Pixel(x, y));
      else
        EXPECT_EQ(picture.Pixel(x, y), before.Pixel(x, y));
    }
  // Half alpha over black mixes to about half.
  EXPECT_NEAR(RedComponent(BlendPixel(Color32(200, 0, 0, 128), clBlack32)), 100, 1);
}

TEST(Bitmap32, CustomModeWithoutHandlerDrawsOpaque) {
  TBitmap32 src(2, 2);
  src.Clear(0x00000000u);
  src.DrawMode = dmCustom;
  TBitmap32 dst(2, 2);
  dst.Clear(clWhite32);
  src.DrawTo(dst, TRect{0, 0, 2, 2}, TRect{0, 0, 2, 2});
  EXPECT_EQ(dst.Pixel(1, 1), 0u);
  src.OnPixelCombine = [](TColor32, TColor32& b, void*) { b = 0xFF00FF00u; };
  src.DrawTo(dst, 0, 0);
  EXPECT_EQ(dst.Pixel(0, 0), 0xFF00FF00u);
}

class LanczosFlat : public ::testing::TestWithParam<std::tuple<int, int, int, int>> {};

TEST_P(LanczosFlat, FlatColourStaysFlat) {
  const auto [sw, sh, dw, dh] = GetParam();
  TBitmap32 src(sw, sh);
  src.Clear(Color32(17, 130, 250, 255));
  src.SetResampler(std::make_unique<TKernelResampler>());
  TBitmap32 dst(dw, dh);
  dst.Clear(0);
  src.DrawTo(dst, dst.BoundsRect(), src.BoundsRect());
  for (int y = 0; y < dh; ++y)
    for (int x = 0; x < dw; ++x) ASSERT_EQ(dst.Pixel(x, y), Color32(17, 130, 250, 255)) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Sizes, LanczosFlat,
                         ::testing::Values(std::make_tuple(10, 10, 37, 23), std::make_tuple(100, 60, 7, 5),
                                           std::make_tuple(3, 1, 40, 2), std::make_tuple(64, 64, 64, 31)));

TEST(Bitmap32, LanczosKeepsAGradientOrderedAndNearestPicksPixels) {
  TBitmap32 src(16, 1);
  for (int x = 0; x < 16; ++x) src.SetPixel(x, 0, Color32(uint8_t(x * 16), 0, 0));
  src.SetResampler(std::make_unique<TKernelResampler>());
  TBitmap32 dst(8, 1);
  dst.Clear(0);
  src.DrawTo(dst, dst.BoundsRect(), src.BoundsRect());
  for (int x = 1; x < 7; ++x) EXPECT_LT(RedComponent(dst.Pixel(x - 1, 0)), RedComponent(dst.Pixel(x, 0)));
  // Nearest doubling repeats each pixel twice.
  TBitmap32 near(2, 1);
  near.SetPixel(0, 0, clBlack32);
  near.SetPixel(1, 0, clWhite32);
  TBitmap32 big(4, 2);
  near.DrawTo(big, big.BoundsRect(), near.BoundsRect());
  EXPECT_EQ(big.Pixel(1, 1), clBlack32);
  EXPECT_EQ(big.Pixel(2, 0), clWhite32);
}

TEST(Bitmap32, LanczosKernelShape) {
  TLanczosKernel k;
  EXPECT_DOUBLE_EQ(k.Filter(0), 1.0);
  EXPECT_NEAR(k.Filter(1), 0.0, 1e-12);
  EXPECT_EQ(k.Filter(3), 0.0);
  EXPECT_LT(k.Filter(1.5), 0.0);
  k.SetWidth(40);
  EXPECT_EQ(k.Width, 16);
}

TEST(Bitmap32, BmpRoundTripKeepsEveryWordIncludingAlpha) {
  TBitmap32 src = Numbered(13, 7);  // odd width: no row padding questions for 32-bit
  src.SetPixel(0, 0, 0);
  src.SetPixel(1, 0, 0x7F102030u);
  TMemoryStream m;
  src.SaveToStream(m);
  m.SetPosition(0);
  TBitmap32 back;
  back.LoadFromStream(m);
  EXPECT_TRUE(SamePixels(src, back));
  EXPECT_EQ(m.GetPosition(), m.GetSize());
}

TEST(Bitmap32, ReadsBmpFilesOfACommonTool) {
  const std::string ppm = test::WritePhotoLikePnm(9, 5);
  const std::string out24 = test::TempPath(".bmp");
  ASSERT_EQ(test::RunCommand(std::string(VT_CONVERT) + " " + ppm + " -type TrueColor BMP3:" + out24), 0);
  TBitmap32 b;
  b.LoadFromFile(out24);
  ASSERT_EQ(b.Width(), 9);
  ASSERT_EQ(b.Height(), 5);
  const test::Bytes rgb = test::PhotoLikeRgb(9, 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 9; ++x) {
      const uint8_t* p = &rgb[size_t(y * 9 + x) * 3];
      ASSERT_EQ(b.Pixel(x, y), Color32(p[0], p[1], p[2])) << x << "," << y;
    }
}

TEST(Bitmap32, RefusesDamagedAndUnsupportedBmpData) {
  TBitmap32 src = Numbered(4, 4);
  TMemoryStream good;
  src.SaveToStream(good);
  const uint8_t* base = good.Memory();
  const std::vector<uint8_t> bytes(base, base + good.GetSize());
  auto load = [](std::vector<uint8_t> data) {
    TTempMemoryStream s;
    s.SetPointer(data.data(), int64_t(data.size()));
    TBitmap32 b;
    b.LoadFromStream(s);
  };
  // Truncated pixel data.
  EXPECT_THROW(load(std::vector<uint8_t>(bytes.begin(), bytes.end() - 1)), EBitmapError);
  // A header that declares a huge picture in a tiny file: refused before allocating.
  auto huge = bytes;
  huge[14 + 4] = 0xFF, huge[14 + 5] = 0xFF, huge[14 + 6] = 0x00;
  huge[14 + 8] = 0xFF, huge[14 + 9] = 0xFF, huge[14 + 10] = 0x00;
  EXPECT_THROW(load(huge), EBitmapError);
  // 8-bit palette and RLE compression are not read.
  auto pal = bytes;
  pal[14 + 14] = 8;
  EXPECT_THROW(load(pal), EBitmapError);
  auto rle = bytes;
  rle[14 + 16] = 1;
  EXPECT_THROW(load(rle), EBitmapError);
  EXPECT_THROW(load({'B', 'M', 0, 0}), EBitmapError);
  auto notBmp = bytes;
  notBmp[0] = 'P';
  EXPECT_THROW(load(notBmp), EBitmapError);
  // Pixel offset pointing past the end.
  auto off = bytes;
  off[10] = 0xF0, off[11] = 0xFF;
  EXPECT_THROW(load(off), EBitmapError);
  // Random header damage: every load either succeeds or raises; none reads outside the data.
  uint32_t state = 99;
  for (int trial = 0; trial < 2000; ++trial) {
    auto damaged = bytes;
    for (int k = 0; k < 3; ++k) {
      state = state * 1103515245u + 12345u;
      damaged[(state >> 8) % 70] = uint8_t(state >> 20);
    }
    try {
      load(damaged);
    } catch (const EStreamError&) {
    } catch (const EBitmapError&) {
    }
  }
}

}  // namespace
}  // namespace vt
