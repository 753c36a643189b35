// TkelJpegImage: plane sizing and crop, parallel against sequential rendering, view modes, the
// own bitmap's life, presence as the union over components, and memory for lying headers.
#include "jpeg/image.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "base/stream.h"
#include "jpeg/jpeg_thread.h"
#include "support/test_support.h"

namespace vt {
namespace {

using test::Bytes;

int Load(TkelJpegImage& image, const Bytes& jpeg, uint16_t flags) {
  TTempMemoryStream s;
  s.SetPointer(jpeg.data(), int64_t(jpeg.size()));
  return image.LoadFromStream(s, flags, 0);
}

bool Same(const TBitmap32& a, const TBitmap32& b) {
  return a.Width() == b.Width() && a.Height() == b.Height() &&
         std::equal(a.Bits(), a.Bits() + size_t(a.Width()) * a.Height(), b.Bits());
}

struct SizeCase {
  int width, height;
  const char* sample;
  int planeWidth, planeHeight;
  bool parallel;
};

class ParallelAndSequential : public ::testing::TestWithParam<SizeCase> {};

TEST_P(ParallelAndSequential, GiveIdenticalPixels) {
  const SizeCase& c = GetParam();
  const Bytes jpeg = test::Cjpeg(std::string("-quality 90 -sample ") + c.sample, c.width, c.height);
  // Damage the second half so that holes take part too.
  const Bytes cut(jpeg.begin(), jpeg.begin() + long(jpeg.size() * 3 / 5));
  for (const Bytes* data : {&jpeg, &cut}) {
    TkelJpegImage image(0);
    Load(image, *data, pfNoRender);
    std::unique_ptr<TBitmap32> automatic, sequential, parallel;
    const int ra = image.Render(automatic, false, vmColor);
    if (data == &jpeg) { EXPECT_EQ(image.RenderedInParallel, c.parallel); }
    image.ForceParallel = 0;
    const int rs = image.Render(sequential, false, vmColor);
    image.ForceParallel = 1;
    const int rp = image.Render(parallel, false, vmColor);
    EXPECT_EQ(ra, jrOK);
    EXPECT_EQ(rs, ra);
    EXPECT_EQ(rp, ra);
    ASSERT_EQ(automatic->Width(), c.planeWidth);
    ASSERT_EQ(automatic->Height(), data == &jpeg ? c.planeHeight : automatic->Height());
    EXPECT_TRUE(Same(*sequential, *parallel));
    EXPECT_TRUE(Same(*automatic, *sequential));
    // Grey views as well.
    image.ForceParallel = 0;
    image.Render(sequential, false, 1);
    image.ForceParallel = 1;
    image.Render(parallel, false, 1);
    EXPECT_TRUE(Same(*sequential, *parallel));
  }
}

// With 8 x 8 MCUs a 481 x 481 frame has a 488 x 488 plane (parallel), 481 x 480 a 488 x 480 one
// (sequential); 2 x 2 sampling rounds to 16.
INSTANTIATE_TEST_SUITE_P(AroundTheThreshold, ParallelAndSequential,
                         ::testing::Values(SizeCase{481, 481, "1x1", 488, 488, true},
                                           SizeCase{481, 480, "1x1", 488, 480, false},
                                           SizeCase{480, 481, "1x1", 480, 488, false},
                                           SizeCase{497, 490, "2x2", 512, 496, true},
                                           SizeCase{100, 75, "2x2", 112, 80, false}));

TEST(Image, CropGivesTheFrameSizeAndTheTopLeftOfThePlane) {
  const Bytes jpeg = test::Cjpeg("-quality 90 -sample 2x2", 100, 75);
  TkelJpegImage image(0);
  EXPECT_EQ(Load(image, jpeg, 0), jrOK);
  std::unique_ptr<TBitmap32> own = image.TakeBitmap();
  ASSERT_TRUE(own);
  EXPECT_EQ(own->Width(), 100);
  EXPECT_EQ(own->Height(), 75);
  EXPECT_EQ(image.TakeBitmap(), nullptr);  // the second time there is none
  std::unique_ptr<TBitmap32> plane;
  EXPECT_EQ(image.Render(plane, false, vmColor), jrOK);
  ASSERT_EQ(plane->Width(), 112);
  ASSERT_EQ(plane->Height(), 80);
  for (int y = 0; y < 75; ++y)
    for (int x = 0; x < 100; ++x) ASSERT_EQ(own->Pixel(x, y), plane->Pixel(x, y));
  EXPECT_EQ(image.LastMCUWidth, 16);
  EXPECT_EQ(image.LastMCUHeight, 16);
  EXPECT_EQ(image.LastScanComponentCount, 3);
}

TEST(Image, NoRenderLeavesTheOwnBitmapAndViewModesShowComponents) {
  const Bytes jpeg = test::Cjpeg("-quality 90 -sample 1x1", 64, 48);
  TkelJpegImage image(0);
  EXPECT_EQ(Load(image, jpeg, pfNoRender), jrOK);
  EXPECT_EQ(image.TakeBitmap(), nullptr);
  const test::RefCoefficients ref = test::LibjpegCoefficients(jpeg);
  ASSERT_TRUE(ref.Ok);
  std::unique_ptr<TBitmap32> grey;
  ASSERT_EQ(image.Render(grey, true, 2), jrOK);
  // The grey view of Cb: a flat block's sample follows from its DC alone.
  for (int by = 0; by < 6; ++by)
    for (int bx = 0; bx < 8; ++bx) {
      const TColor32 px = grey->Pixel(bx * 8 + 3, by * 8 + 3);
      EXPECT_EQ(AlphaComponent(px), 255);
      EXPECT_EQ(RedComponent(px), GreenComponent(px));
      EXPECT_EQ(RedComponent(px), BlueComponent(px));
    }
  // The view of a component the frame lacks, and an out-of-range view: all-zero plane bitmap.
  std::unique_ptr<TBitmap32> none;
  EXPECT_EQ(image.Render(none, false, 4), jrUnsupportedColorModel);
  ASSERT_TRUE(none);
  EXPECT_EQ(none->Width(), 64);
  EXPECT_TRUE(std::all_of(none->Bits(), none->Bits() + 64 * 48, [](TColor32 c) { return c == 0; }));
  EXPECT_EQ(image.Render(none, false, 9), jrUnsupportedColorModel);
  // Greyscale file: view 1 equals the colour rendering.
  const Bytes g = test::Cjpeg("-quality 90 -grayscale", 40, 24, true);
  TkelJpegImage gi(0);
  Load(gi, g, pfNoRender);
  std::unique_ptr<TBitmap32> a, b;
  gi.Render(a, true, 0);
  gi.Render(b, true, 1);
  EXPECT_TRUE(Same(*a, *b));
}

TEST(Image, RenderWithoutFrameIsBadDataAndLeavesTheBitmap) {
  TkelJpegImage image(0);
  TBitmap32 keep(3, 3);
  keep.Clear(clWhite32);
  EXPECT_EQ(image.Render(keep, true, 0), jrBadData);
  EXPECT_EQ(keep.Width(), 3);
  EXPECT_EQ(keep.Pixel(1, 1), clWhite32);
  std::unique_ptr<TBitmap32> none;
  EXPECT_EQ(image.Render(none, true, 0), jrBadData);
  EXPECT_EQ(none, nullptr);
}

TEST(Image, ChromaDecodedWithoutLumaStillCountsAsPresent) {
  const Bytes jpeg = test::Cjpeg("-quality 90 -sample 2x2", 64, 64);
  TkelJpegImage image(0);
  Load(image, jpeg, pfNoRender);
  ASSERT_TRUE(image.MCUs[0] && image.MCUs[1] && image.MCUs[2]);
  // Undecode every luma block of the MCU at (1, 1) (pixels 16..31): its chroma stays decoded.
  for (int by = 2; by < 4; ++by)
    for (int bx = 2; bx < 4; ++bx) image.MCUs[0]->WritableBlock(bx, by)->Decoded = 0;
  std::unique_ptr<TBitmap32> b;
  image.Render(b, true, vmColor);
  EXPECT_EQ(AlphaComponent(b->Pixel(20, 20)), 255);
  // Undecode its chroma as well: now it is a hole, and only it.
  image.MCUs[1]->WritableBlock(1, 1)->Decoded = 0;
  image.MCUs[2]->WritableBlock(1, 1)->Decoded = 0;
  image.Render(b, true, vmColor);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const bool hole = x >= 16 && x < 32 && y >= 16 && y < 32;
      ASSERT_EQ(b->Pixel(x, y) == 0, hole) << x << "," << y;
    }
}

TEST(Image, PoolWorkersAreReusedAcrossImages) {
  const Bytes jpeg = test::Cjpeg("-quality 80 -sample 2x2", 520, 500);
  {
    TkelJpegImage image(0);
    Load(image, jpeg, 0);
  }
  EXPECT_GE(JpegWorkerCount(), 1);
  // Six images of up to three jobs at a time: without reuse there would be 36 workers.
  for (int i = 0; i < 5; ++i) {
    TkelJpegImage image(0);
    Load(image, jpeg, 0);
    ASSERT_TRUE(image.Bitmap);
  }
  EXPECT_LE(JpegWorkerCount(), 3) << "three jobs at a time never need more than three workers";
}

TEST(Image, FailingJobStillSignalsAndReportsItsError) {
  // A conversion job without a bitmap fails inside the worker; the dispatcher must still be woken
  // and learn of the failure.
  for (uint8_t kind : {jkReconstruct, uint8_t(3), uint8_t(jkFirstComponentView + 1)}) {
    TManualResetEvent done;
    std::exception_ptr error;
    TkelJpegJob job;
    job.JobKind = kind;
    job.Done = &done;
    job.Error = &error;
    DispatchJpegJob(job);
    done.Wait();
    EXPECT_TRUE(error) << int(kind);
  }
}

// A small file whose frame header claims 65000 x 65000 pixels: the bitmap stays proportional
// to the data, not to the claim.
TEST(Image, HugeDeclaredFrameDoesNotAllocateTheFrame) {
  Bytes jpeg = test::Cjpeg("-quality 90 -sample 2x2", 64, 32);
  // Patch the SOF0 dimensions.
  for (size_t i = 0; i + 9 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
      jpeg[i + 5] = 0xFD, jpeg[i + 6] = 0xE8;  // height 65000
      jpeg[i + 7] = 0xFD, jpeg[i + 8] = 0xE8;  // width 65000
      break;
    }
  TkelJpegImage image(0);
  const int result = Load(image, jpeg, 0);
  EXPECT_NE(result, jrOK);
  std::unique_ptr<TBitmap32> b = image.TakeBitmap();
  ASSERT_TRUE(b);
  EXPECT_EQ(b->Width(), 65000);
  EXPECT_LE(int64_t(b->Height()), 64) << "height cut to the rows the data reached";
  EXPECT_GT(b->Height(), 0);
  // Modest frames keep their full size even when little data arrived.
  const Bytes small = test::Cjpeg("-quality 90 -sample 2x2", 800, 600);
  TkelJpegImage si(0);
  Load(si, Bytes(small.begin(), small.begin() + 2000), 0);
  b = si.TakeBitmap();
  ASSERT_TRUE(b);
  EXPECT_EQ(b->Width(), 800);
  EXPECT_EQ(b->Height(), 600);
}

}  // namespace
}  // namespace vt
