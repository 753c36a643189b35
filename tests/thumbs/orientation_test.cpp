// The orientation detector on photo-like pictures: a thumbnail made from the main image and
// then turned or mirrored must be recognised, whatever the proportions, and holes of the main
// image (transparent pixels) must not sway the result.
#include "thumbs/orientation.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace vt {
namespace {

TBitmap32 Photo(int w, int h, uint32_t seed = 7) {
  const test::Bytes rgb = test::PhotoLikeRgb(w, h, seed);
  TBitmap32 b(w, h);
  for (int i = 0; i < w * h; ++i) b.Bits()[i] = Color32(rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2]);
  return b;
}

// Averages factor x factor boxes: a camera-like reduction, unlike the detector's Lanczos.
TBitmap32 BoxDown(const TBitmap32& src, int factor) {
  TBitmap32 out(src.Width() / factor, src.Height() / factor);
  for (int y = 0; y < out.Height(); ++y)
    for (int x = 0; x < out.Width(); ++x) {
      int r = 0, g = 0, b = 0;
      for (int dy = 0; dy < factor; ++dy)
        for (int dx = 0; dx < factor; ++dx) {
          const TColor32 c = src.Pixel(x * factor + dx, y * factor + dy);
          r += RedComponent(c), g += GreenComponent(c), b += BlueComponent(c);
        }
      const int n = factor * factor;
      out.SetPixel(x, y, Color32(uint8_t(r / n), uint8_t(g / n), uint8_t(b / n)));
    }
  return out;
}

// The thumbnail shown in a box of boxW x boxH with black bands, as cameras store 16:9 previews.
TBitmap32 Letterboxed(const TBitmap32& picture, int boxW, int boxH) {
  TBitmap32 out(boxW, boxH);
  out.Clear(clBlack32);
  picture.DrawTo(out, (boxW - picture.Width()) / 2, (boxH - picture.Height()) / 2);
  return out;
}

int Inverse(int code) { return code == 5 ? 7 : code == 7 ? 5 : code; }

bool SamePixels(const TBitmap32& a, const TBitmap32& b) {
  return a.Width() == b.Width() && a.Height() == b.Height() &&
         std::equal(a.Bits(), a.Bits() + size_t(a.Width()) * a.Height(), b.Bits());
}

struct TShape {
  const char* Name;
  int MainW, MainH;  // the main image
  int Factor;        // thumbnail = main / Factor
  int BoxW, BoxH;    // 0, or the letterbox the thumbnail is stored in
};

void PrintTo(const TShape& s, std::ostream* os) { *os << s.Name; }

class DetectOrientationTest : public ::testing::TestWithParam<std::tuple<TShape, int>> {};

TEST_P(DetectOrientationTest, FindsTheCodeThatTurnsTheThumbnailBack) {
  const auto& [shape, code] = GetParam();
  TBitmap32 main = Photo(shape.MainW, shape.MainH);
  TBitmap32 upright = BoxDown(main, shape.Factor);
  if (shape.BoxW) upright = Letterboxed(upright, shape.BoxW, shape.BoxH);
  // Stored so that ApplyOrientation(code) shows it upright.
  TBitmap32 thumb = upright;
  ApplyOrientation(thumb, Inverse(code));
  const TBitmap32 before = thumb;

  EXPECT_EQ(DetectOrientation(main, thumb), code);
  EXPECT_TRUE(SamePixels(thumb, before)) << "the thumbnail must be left as it was";
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, DetectOrientationTest,
    ::testing::Combine(::testing::Values(TShape{"Landscape4x3", 480, 360, 3, 0, 0},
                                         TShape{"Portrait3x4", 360, 480, 3, 0, 0},
                                         TShape{"Wide16x9InBands", 480, 270, 3, 160, 120},
                                         TShape{"Square", 300, 300, 3, 0, 0}),
                       ::testing::Range(0, 8)),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).Name) + "_code" + std::to_string(std::get<1>(info.param));
    });

TEST(DetectOrientation, ThumbnailLargerThanTheMainImageIsNotCompared) {
  TBitmap32 main = BoxDown(Photo(480, 360), 3);
  TBitmap32 thumb = Photo(480, 360);
  thumb.FlipHorizontal();
  EXPECT_EQ(DetectOrientation(main, thumb), 0);
  TBitmap32 empty;
  EXPECT_EQ(DetectOrientation(empty, main), 0);
  EXPECT_EQ(DetectOrientation(main, empty), 0);
}

TEST(DetectOrientation, LeavesTheMainImageWithLanczosAndBlend) {
  TBitmap32 main = Photo(480, 360);
  TBitmap32 thumb = BoxDown(main, 3);
  DetectOrientation(main, thumb);
  EXPECT_EQ(main.DrawMode, dmBlend);
  auto* kernelResampler = dynamic_cast<TKernelResampler*>(&main.Resampler());
  ASSERT_NE(kernelResampler, nullptr);
  EXPECT_NE(dynamic_cast<TLanczosKernel*>(&kernelResampler->Kernel()), nullptr);
}

// A picture whose left three quarters are bright and whose right quarter is dark; the main
// image lost its bright part (transparent, as the decoder leaves missing MCUs). Counted as
// black, that hole would favour a thumbnail turned so that its dark side lies there.
TEST(DetectOrientation, TransparentHolesOfTheMainImageDoNotCount) {
  const int w = 480, h = 360;
  TBitmap32 picture = Photo(w, h, 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const TColor32 c = picture.Pixel(x, y);
      const bool bright = x < w * 3 / 4;
      auto shade = [bright](uint8_t v) { return uint8_t(bright ? 200 + v / 5 : v / 5); };
      picture.SetPixel(x, y, Color32(shade(RedComponent(c)), shade(GreenComponent(c)), shade(BlueComponent(c))));
    }
  const TBitmap32 thumbUpright = BoxDown(picture, 3);

  TBitmap32 holed = picture;
  holed.FillRect(0, 0, w * 3 / 4, h, clTransparent32);
  TBitmap32 thumb = thumbUpright;
  EXPECT_EQ(DetectOrientation(holed, thumb), 0);

  // The same hole as opaque black pixels does mislead the comparison: the test has teeth.
  TBitmap32 blackened = picture;
  blackened.FillRect(0, 0, w * 3 / 4, h, clBlack32);
  TBitmap32 thumb2 = thumbUpright;
  EXPECT_NE(DetectOrientation(blackened, thumb2), 0);
}

TEST(TvtOrientationDetector, JobsLeaveTheListWhenFreedAndClearJobsFreesAll) {
  TvtOrientationDetector detector;
  detector.AddJob(10, std::make_unique<TBitmap32>(4, 4), std::make_unique<TBitmap32>(2, 2));
  TvtOrientationDetectorJob* second = detector.AddJob(20, nullptr, nullptr);
  detector.AddJob(30, nullptr, nullptr);
  ASSERT_EQ(detector.JobCount(), 3);
  EXPECT_EQ(detector.JobsByID(20), second);
  EXPECT_EQ(detector.GetJob(1), second);
  EXPECT_EQ(detector.GetJob(3), nullptr);
  delete second;
  EXPECT_EQ(detector.JobCount(), 2);
  EXPECT_EQ(detector.JobsByID(20), nullptr);
  EXPECT_EQ(detector.GetJob(1)->ID, 30);
  detector.ClearJobs();
  EXPECT_EQ(detector.JobCount(), 0);
  EXPECT_EQ(&OrientationDetector(), &OrientationDetector());
}

}  // namespace
}  // namespace vt
