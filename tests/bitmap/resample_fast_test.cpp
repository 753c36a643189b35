// The Lanczos resampler's fast passes (vectorised, rows shared among threads) against its plain
// reference: the same pixels for shrinking and enlarging, rectangles reaching outside either
// bitmap, partial alpha, both draw modes, and pictures large enough to use several threads.
#include <gtest/gtest.h>

#include <random>

#include "bitmap/bitmap32.h"

namespace vt {
namespace {

TBitmap32 Noise(int w, int h, uint32_t seed) {
  TBitmap32 b(w, h);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      // Smooth parts, hard edges and random alpha, so negative lobes and clamping both occur.
      uint32_t px = rng();
      if ((x / 7 + y / 5) % 3 == 0) px = 0xFF000000u | uint32_t(x * 3) << 16 | uint32_t(y * 5 & 255) << 8 | 0x40u;
      if ((x + y) % 11 == 0) px &= 0x00FFFFFFu;
      b.SetPixel(x, y, px);
    }
  return b;
}

void ExpectSameAsReference(const TBitmap32& src, TRect srcRect, int dw, int dh, TRect dstRect, TDrawMode mode) {
  TKernelResampler resampler;
  TBitmap32 fast(dw, dh), reference(dw, dh);
  fast.Clear(0x80402010u);
  reference.Clear(0x80402010u);
  TBitmap32 source = src;
  source.DrawMode = mode;
  resampler.Resample(fast, dstRect, source, srcRect);
  resampler.ResampleReference(reference, dstRect, source, srcRect);
  for (int y = 0; y < dh; ++y)
    for (int x = 0; x < dw; ++x)
      ASSERT_EQ(fast.Pixel(x, y), reference.Pixel(x, y)) << "pixel " << x << "," << y;
}

TEST(ResampleFast, ShrinkingAndEnlargingGiveTheReferencePixels) {
  const TBitmap32 src = Noise(301, 203, 1);
  for (const TDrawMode mode : {dmOpaque, dmBlend}) {
    ExpectSameAsReference(src, src.BoundsRect(), 64, 45, TRect{0, 0, 64, 45}, mode);      // shrink
    ExpectSameAsReference(src, src.BoundsRect(), 17, 3, TRect{0, 0, 17, 3}, mode);        // far
    ExpectSameAsReference(src, TRect{5, 9, 40, 31}, 333, 250, TRect{0, 0, 333, 250}, mode);  // enlarge
    ExpectSameAsReference(src, TRect{-20, -5, 330, 190}, 90, 70, TRect{-7, 3, 95, 80}, mode);  // outside
    ExpectSameAsReference(src, TRect{100, 100, 101, 102}, 40, 40, TRect{0, 0, 40, 40}, mode);  // one pixel
  }
}

// 24 MP pictures go through threads; a smaller one of the same kind keeps the test quick.
TEST(ResampleFast, LargePicturesSharedAmongThreadsGiveTheReferencePixels) {
  const TBitmap32 src = Noise(2400, 1600, 2);
  ExpectSameAsReference(src, src.BoundsRect(), 512, 341, TRect{0, 0, 512, 341}, dmBlend);
  ExpectSameAsReference(src, src.BoundsRect(), 120, 80, TRect{0, 0, 120, 80}, dmBlend);
}

}  // namespace
}  // namespace vt
