// The fast render (band by band, on the pool and the calling thread) against the plain reference
// (whole planes, converted and cropped): the same pixels, bit for bit, for every sampling, odd
// sizes, damage, both crops, every view mode, sequential and parallel, and extreme coefficients.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "jpeg/decode_helpers.h"
#include "jpeg/idct_scaled.h"
#include "jpeg/image.h"

namespace vt {
namespace {

using test::Bytes;

::testing::AssertionResult SamePixels(const TBitmap32& a, const TBitmap32& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height())
    return ::testing::AssertionFailure() << "size " << a.Width() << "x" << a.Height() << " against reference "
                                         << b.Width() << "x" << b.Height();
  for (int32_t y = 0; y < a.Height(); ++y)
    for (int32_t x = 0; x < a.Width(); ++x)
      if (a.Pixel(x, y) != b.Pixel(x, y))
        return ::testing::AssertionFailure() << "pixel " << x << "," << y << ": " << std::hex << a.Pixel(x, y)
                                             << " against reference " << b.Pixel(x, y);
  return ::testing::AssertionSuccess();
}

// Every crop, view mode and threading choice of one loaded image against the reference.
void ExpectFastEqualsReference(TkelJpegImage& image, const std::string& what) {
  for (const bool crop : {true, false})
    for (int view = 0; view <= std::min(image.ComponentCount, 4); ++view)
      for (const int parallel : {0, 1}) {
        SCOPED_TRACE(what + (crop ? " cropped" : " planes") + " view " + std::to_string(view) +
                     (parallel ? " parallel" : " sequential"));
        image.ForceParallel = parallel;
        TBitmap32 fast, reference;
        const int a = image.Render(fast, crop, view);
        const int b = image.RenderReference(reference, crop, view);
        EXPECT_EQ(a, b);
        EXPECT_TRUE(SamePixels(fast, reference));
      }
  image.ForceParallel = -1;
}

// Parse renders its own bitmap while it decodes: the same pixels as the reference render after
// the parse. Small pictures are forced onto the parallel paths.
void ExpectParseRenderEqualsReference(const Bytes& bytes, const std::string& what, bool expectWhileDecoding) {
  SCOPED_TRACE(what + " rendered while decoding");
  TkelJpegImage image(0);
  image.ForceParallel = 1;
  const int parsed = test::LoadBytes(image, bytes, 0);
  if (!image.FrameSeen) return;
  if (expectWhileDecoding) {
    EXPECT_TRUE(image.RenderedWhileDecoding);
  }
  std::unique_ptr<TBitmap32> own = image.TakeBitmap();
  ASSERT_TRUE(own);
  TBitmap32 reference;
  image.RenderReference(reference, true, 0);
  EXPECT_TRUE(SamePixels(*own, reference));
  // The planes-size picture rendered while decoding under pfNoRender, handed to Render.
  {
    TkelJpegImage planes(0);
    planes.ForceParallel = 1;
    planes.RenderPlanesWhileDecoding = true;
    test::LoadBytes(planes, bytes, pfNoRender);
    if (expectWhileDecoding) {
      EXPECT_TRUE(planes.RenderedWhileDecoding);
    }
    TBitmap32 ahead, plain;
    const int a = planes.Render(ahead, false, vmColor);
    const int b = planes.RenderReference(plain, false, vmColor);
    EXPECT_EQ(a, b);
    EXPECT_TRUE(SamePixels(ahead, plain));
  }
  // The reduced picture rendered while decoding under pfNoRender, handed to RenderScaled: the
  // picture that RenderScaled makes after the parse (the second call).
  for (int shift = 1; shift <= kMaxScaleShift; ++shift) {
    TkelJpegImage reduced(0);
    reduced.ForceParallel = 1;
    reduced.ScaleWhileDecoding = [shift](int32_t, int32_t) { return shift; };
    test::LoadBytes(reduced, bytes, pfNoRender);
    if (expectWhileDecoding) {
      EXPECT_TRUE(reduced.RenderedWhileDecoding) << "shift " << shift;
    }
    TBitmap32 ahead, after;
    const int a = reduced.RenderScaled(ahead, shift);
    const int b = reduced.RenderScaled(after, shift);
    EXPECT_EQ(a, b) << "shift " << shift;
    EXPECT_TRUE(SamePixels(ahead, after)) << "shift " << shift;
  }
  // Decoding first and rendering after gives the same result code.
  TkelJpegImage after(0);
  after.RenderWhileDecoding = false;
  EXPECT_EQ(parsed, test::LoadBytes(after, bytes, 0));
  EXPECT_FALSE(after.RenderedWhileDecoding);
}

struct Variant {
  const char* Args;
  bool Grey;
};

// Sampling, processes and restart markers; odd sizes leave partial MCUs at the right and bottom.
const Variant kVariants[] = {
    {"-quality 92 -sample 2x2", false},  {"-quality 92 -sample 1x1", false},
    {"-quality 92 -sample 2x1", false},  {"-quality 92 -sample 1x2", false},
    {"-quality 92 -sample 2x2 -progressive", false}, {"-quality 90 -sample 2x2 -restart 1", false},
    {"-quality 100 -sample 1x1", false}, {"-quality 80 -sample 4x1", false},
    {"-quality 80 -sample 3x2", false},  {"-quality 80 -sample 2x2,1x2,2x1", false},
    {"-quality 85", true},
};

class FastRender : public ::testing::TestWithParam<std::tuple<int, std::pair<int, int>>> {};

TEST_P(FastRender, IntactTruncatedAndCorruptedGiveTheReferencePixels) {
  const Variant& v = kVariants[std::get<0>(GetParam())];
  const auto [w, h] = std::get<1>(GetParam());
  const Bytes intact = test::Cjpeg(v.Args, w, h, v.Grey, uint32_t(w * 31 + h));
  ASSERT_FALSE(intact.empty());
  std::mt19937 rng(uint32_t(w + h));
  std::vector<std::pair<std::string, Bytes>> files = {{"intact", intact}};
  files.push_back({"cut", Bytes(intact.begin(), intact.begin() + std::ptrdiff_t(intact.size() * 3 / 5))});
  Bytes corrupt = intact;
  // Flipped bits in the second half, where the entropy-coded data is (not the headers).
  const size_t from = corrupt.size() / 2, span = corrupt.size() - from - 2;
  for (int i = 0; i < 6; ++i) corrupt[from + rng() % span] ^= uint8_t(1u << (rng() % 8));
  files.push_back({"corrupt", corrupt});
  for (auto& [name, bytes] : files) {
    TkelJpegImage image(0);
    test::LoadBytes(image, bytes, pfNoRender);
    if (!image.FrameSeen) continue;
    ExpectFastEqualsReference(image, std::string(v.Args) + " " + name);
    const bool sequential = std::string(v.Args).find("-progressive") == std::string::npos;
    ExpectParseRenderEqualsReference(bytes, std::string(v.Args) + " " + name, sequential && name == "intact");
  }
}

INSTANTIATE_TEST_SUITE_P(Files, FastRender,
                         ::testing::Combine(::testing::Range(0, int(std::size(kVariants))),
                                            ::testing::Values(std::pair{1, 1}, std::pair{17, 9},
                                                              std::pair{333, 517}, std::pair{481, 481},
                                                              std::pair{1000, 7})));

// A repair between the parse and the render changes the blocks: the picture made while decoding
// must not stand for them.
TEST(FastRender, ARepairAfterTheParseIsRenderedNotTheEarlierPicture) {
  const Bytes jpeg = test::Cjpeg("-quality 90 -sample 2x2", 640, 512, false, 3);
  TkelJpegImage image(0);
  image.RenderPlanesWhileDecoding = true;
  test::LoadBytes(image, jpeg, pfNoRender | pfRecordSegments);
  ASSERT_TRUE(image.RenderedWhileDecoding);
  image.ClearMCU(3, 2);
  TBitmap32 after, reference;
  image.Render(after, false, vmColor);
  image.RenderReference(reference, false, vmColor);
  EXPECT_TRUE(SamePixels(after, reference));
  EXPECT_EQ(after.Pixel(3 * 16 + 5, 2 * 16 + 5), 0u) << "the cleared MCU is a hole";
}

// The same for the reduced picture, and one made for another reduction than the one asked for is
// not taken either.
TEST(FastRender, TheReducedPictureStandsOnlyForItsReductionAndUnchangedBlocks) {
  const Bytes jpeg = test::Cjpeg("-quality 90 -sample 2x2", 640, 512, false, 3);
  TkelJpegImage image(0);
  image.ScaleWhileDecoding = [](int32_t w, int32_t h) { return w == 640 && h == 512 ? 2 : 0; };
  test::LoadBytes(image, jpeg, pfNoRender | pfRecordSegments);
  ASSERT_TRUE(image.RenderedWhileDecoding);
  TBitmap32 other, otherAfter;
  image.RenderScaled(other, 1);
  image.RenderScaled(otherAfter, 1);
  EXPECT_TRUE(SamePixels(other, otherAfter));
  ASSERT_EQ(other.Width(), 320);

  test::LoadBytes(image, jpeg, pfNoRender | pfRecordSegments);
  ASSERT_TRUE(image.RenderedWhileDecoding);
  image.ClearMCU(3, 2);
  TBitmap32 after, reference;
  image.RenderScaled(after, 2);
  image.ForceParallel = 0;
  image.RenderScaled(reference, 2);
  EXPECT_TRUE(SamePixels(after, reference));
  EXPECT_EQ(after.Pixel((3 * 16 + 5) / 4, (2 * 16 + 5) / 4), 0u) << "the cleared MCU is a hole";
}

// Coefficients far beyond what an encoder writes: the inverse DCT's extremes and clamps.
TEST(FastRender, ExtremeCoefficientsGiveTheReferencePixels) {
  const Bytes jpeg = test::Cjpeg("-quality 50 -sample 2x2", 530, 497, false, 7);
  TkelJpegImage image(0);
  test::LoadBytes(image, jpeg, pfNoRender);
  std::mt19937 rng(5);
  const int16_t extremes[] = {32767, -32768, 2047, -2048, 1, -1, 0};
  for (int c = 0; c < image.ComponentCount; ++c) {
    TkelMCUs& m = *image.MCUs[c];
    for (int32_t r = 0; r < m.Rows; ++r)
      for (int32_t k = 0; k < m.Columns; ++k) {
        TkelCoefBlock* b = m.WritableBlock(k, r);
        for (int i = 0; i < 64; ++i)
          if (rng() % 3 == 0) b->Coef[i] = extremes[rng() % std::size(extremes)];
        if (rng() % 11 == 0) b->Decoded = 0;  // holes among them
      }
  }
  ExpectFastEqualsReference(image, "extreme");
}

// The sample files: CMYK, YCCK, grey, progressive, damaged and odd ones from public test suites.
TEST(FastRender, SampleFilesGiveTheReferencePixels) {
  int rendered = 0;
  for (const auto& entry : std::filesystem::directory_iterator(test::CorpusPath(""))) {
    const std::string ext = entry.path().extension().string();
    if (ext != ".jpg" && ext != ".jpeg" && ext != ".mpo") continue;
    TkelJpegImage image(0);
    test::LoadBytes(image, test::ReadBytes(entry.path().string()), pfNoRender);
    if (!image.FrameSeen || int64_t(image.Width) * image.Height > 4'000'000) continue;
    ExpectFastEqualsReference(image, entry.path().filename().string());
    ++rendered;
  }
  EXPECT_GT(rendered, 20);
}

}  // namespace
}  // namespace vt
