// Picture geometry: orientation codes against the Exif definition of each value, and the
// fitting, filling and aspect rules with their rounding and 1-pixel minimum.
#include <gtest/gtest.h>

#include "thumbs/picture_geometry.h"

namespace vt {
namespace {

TBitmap32 Numbered(int w, int h) {
  TBitmap32 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.SetPixel(x, y, 0xFF000000u | static_cast<uint32_t>(y * 100 + x));
  return b;
}

// Where the displayed pixel (x, y) comes from in the stored W x H picture, for Exif values 1..8.
void StoredPosition(int exif, int w, int h, int x, int y, int& sx, int& sy) {
  switch (exif) {
    case 1: sx = x, sy = y; break;
    case 2: sx = w - 1 - x, sy = y; break;
    case 3: sx = w - 1 - x, sy = h - 1 - y; break;
    case 4: sx = x, sy = h - 1 - y; break;
    case 5: sx = y, sy = x; break;
    case 6: sx = y, sy = h - 1 - x; break;
    case 7: sx = w - 1 - y, sy = h - 1 - x; break;
    default: sx = w - 1 - y, sy = x; break;
  }
}

class ApplyOrientationTest : public ::testing::TestWithParam<int> {};

TEST_P(ApplyOrientationTest, ShowsThePictureAsTheExifValueDescribes) {
  const int code = GetParam();
  const TBitmap32 stored = Numbered(4, 3);
  TBitmap32 shown = stored;
  ApplyOrientation(shown, code);
  const bool swapped = code >= 4;
  ASSERT_EQ(shown.Width(), swapped ? 3 : 4);
  ASSERT_EQ(shown.Height(), swapped ? 4 : 3);
  for (int y = 0; y < shown.Height(); ++y)
    for (int x = 0; x < shown.Width(); ++x) {
      int sx, sy;
      StoredPosition(code + 1, 4, 3, x, y, sx, sy);
      ASSERT_EQ(shown.Pixel(x, y), stored.Pixel(sx, sy)) << "at " << x << "," << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Codes, ApplyOrientationTest, ::testing::Range(0, 8));

TEST(ApplyOrientation, CodesOutsideTheRangeDoNothing) {
  for (int code : {-1, 8, 255}) {
    TBitmap32 b = Numbered(4, 3);
    ApplyOrientation(b, code);
    ASSERT_EQ(b.Width(), 4);
    EXPECT_EQ(b.Pixel(1, 2), Numbered(4, 3).Pixel(1, 2));
  }
}

struct TSizeCase {
  int SourceW, SourceH, BoxW, BoxH;
  TPictureSize Fit, Fill;
};

void PrintTo(const TSizeCase& c, std::ostream* os) {
  *os << c.SourceW << "x" << c.SourceH << " in " << c.BoxW << "x" << c.BoxH;
}

class SizeTest : public ::testing::TestWithParam<TSizeCase> {};

TEST_P(SizeTest, FitAndFill) {
  const TSizeCase& c = GetParam();
  EXPECT_EQ(FitSize(c.SourceW, c.SourceH, c.BoxW, c.BoxH), c.Fit);
  EXPECT_EQ(FillSize(c.SourceW, c.SourceH, c.BoxW, c.BoxH), c.Fill);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SizeTest,
    ::testing::Values(TSizeCase{4000, 3000, 160, 160, {160, 120}, {213, 160}},
                      TSizeCase{3000, 4000, 160, 160, {120, 160}, {160, 213}},
                      TSizeCase{640, 480, 320, 240, {320, 240}, {320, 240}},
                      // 1-pixel minimum on either side.
                      TSizeCase{1, 1000, 100, 1, {1, 1}, {100, 100000}},
                      TSizeCase{1000, 1, 1, 100, {1, 1}, {100000, 100}},
                      // Halves go to the even neighbour: 2.5 -> 2, 7.5 -> 8, 12.5 -> 12.
                      TSizeCase{4, 2, 5, 100, {5, 2}, {200, 100}},
                      TSizeCase{4, 6, 5, 100, {5, 8}, {67, 100}},
                      TSizeCase{10, 4, 1, 5, {1, 1}, {12, 5}},
                      // An empty source has no size.
                      TSizeCase{0, 480, 160, 120, {0, 0}, {0, 0}},
                      TSizeCase{640, 0, 160, 120, {0, 0}, {0, 0}}));

TEST(SameAspect, FivePercentRuleInBothDirections) {
  EXPECT_TRUE(SameAspect(640, 480, TBitmap32(160, 121)));   // 1.333 vs 1.322
  EXPECT_FALSE(SameAspect(640, 480, TBitmap32(160, 128)));  // 1.333 vs 1.25
  EXPECT_TRUE(SameAspect(480, 640, TBitmap32(121, 160)));   // heights over widths
  EXPECT_FALSE(SameAspect(480, 640, TBitmap32(160, 120)));  // turned
  // 2.0 vs 1.96 (4 %) is the same; 2.0 vs 1.94 (6 %) is not.
  EXPECT_TRUE(SameAspect(100, 200, TBitmap32(50, 98)));
  EXPECT_FALSE(SameAspect(100, 200, TBitmap32(50, 97)));
  EXPECT_FALSE(SameAspect(640, 480, TBitmap32()));
  EXPECT_FALSE(SameAspect(0, 480, TBitmap32(160, 120)));
}

}  // namespace
}  // namespace vt
