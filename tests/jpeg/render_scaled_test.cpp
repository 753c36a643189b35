// The reduced pictures (RenderScaled, the reduced inverse DCT) against the full picture averaged
// down over the same cells, for every sampling, odd sizes, both the pool and the calling thread,
// and damaged data, whose holes must fall on exactly the same places at every scale.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "base/stream.h"
#include "jpeg/idct.h"
#include "jpeg/idct_scaled.h"
#include "jpeg/image.h"
#include "support/test_support.h"

namespace vt {
namespace {

using test::Bytes;

// Measured over the table below: the largest channel difference is 6 (saturated colours, where
// the full picture clamps each pixel before averaging and the reduced one clamps the average)
// and the mean about 0.5 (rounding of the averages against the full transform's truncation).
constexpr int kMaxDifference = 8;
constexpr double kMeanDifference = 1.0;

struct Loaded {
  Bytes data;
  TTempMemoryStream stream;
  TkelJpegImage image{0};
  int result = -1;
  explicit Loaded(Bytes bytes) : data(std::move(bytes)) {
    stream.SetPointer(data.data(), int64_t(data.size()));
    result = image.LoadFromStream(stream, pfNoRender, 0);
  }
};

struct Comparison {
  int worst = 0;
  double mean = 0;
  int alphaMismatches = 0;
};

// The full picture's cells of 2^shift x 2^shift averaged per channel, against the reduced
// picture; a reduced pixel is transparent exactly when the cell's pixels are (one cell never
// spans two 8x8 areas).
Comparison Compare(const TBitmap32& full, const TBitmap32& reduced, int shift) {
  Comparison c;
  int64_t total = 0, count = 0;
  const int cell = 1 << shift;
  for (int32_t y = 0; y < reduced.Height(); ++y)
    for (int32_t x = 0; x < reduced.Width(); ++x) {
      int64_t sum[3] = {0, 0, 0}, n = 0;
      for (int32_t fy = y * cell; fy < std::min(full.Height(), (y + 1) * cell); ++fy)
        for (int32_t fx = x * cell; fx < std::min(full.Width(), (x + 1) * cell); ++fx) {
          const TColor32 p = full.Pixel(fx, fy);
          if (AlphaComponent(p) == 0) continue;
          sum[0] += RedComponent(p), sum[1] += GreenComponent(p), sum[2] += BlueComponent(p);
          ++n;
        }
      const TColor32 r = reduced.Pixel(x, y);
      if ((AlphaComponent(r) != 0) != (n > 0)) ++c.alphaMismatches;
      // A cell cut by the frame's edge is the average of its whole cell, padding included.
      if (n < int64_t(cell) * cell || AlphaComponent(r) == 0) continue;
      const int channels[3] = {RedComponent(r), GreenComponent(r), BlueComponent(r)};
      for (int i = 0; i < 3; ++i) {
        const int d = std::abs(channels[i] - int((sum[i] + n / 2) / n));
        c.worst = std::max(c.worst, d);
        total += d;
        ++count;
      }
    }
  c.mean = count ? double(total) / double(count) : 0;
  return c;
}

struct ScaledCase {
  const char* name;
  const char* args;
  int width, height;
  bool grey;
  double cut;  // keep this fraction of the file (1: intact)
};

class ScaledPicture : public ::testing::TestWithParam<ScaledCase> {};

TEST_P(ScaledPicture, IsTheFullPictureAveragedOverItsCells) {
  const ScaledCase& c = GetParam();
  Bytes jpeg = test::Cjpeg(c.args, c.width, c.height, c.grey);
  jpeg.resize(size_t(double(jpeg.size()) * c.cut));
  Loaded file(std::move(jpeg));
  TBitmap32 full;
  ASSERT_EQ(file.image.Render(full, true, vmColor), jrOK);
  for (int shift = 1; shift <= kMaxScaleShift; ++shift) {
    for (int parallel = 0; parallel <= 1; ++parallel) {
      file.image.ForceParallel = parallel;
      TBitmap32 reduced;
      ASSERT_EQ(file.image.RenderScaled(reduced, shift), jrOK);
      const int cell = 1 << shift;
      ASSERT_EQ(reduced.Width(), (c.width + cell - 1) / cell) << "shift " << shift;
      ASSERT_EQ(reduced.Height(), (c.height + cell - 1) / cell) << "shift " << shift;
      const Comparison r = Compare(full, reduced, shift);
      EXPECT_EQ(r.alphaMismatches, 0) << c.name << " shift " << shift;
      EXPECT_LE(r.worst, kMaxDifference) << c.name << " shift " << shift;
      EXPECT_LE(r.mean, kMeanDifference) << c.name << " shift " << shift;
      if (parallel) std::printf("[ measured ] %s 1/%d: largest %d, mean %.3f\n", c.name, cell, r.worst, r.mean);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Samplings, ScaledPicture,
    ::testing::Values(ScaledCase{"s444", "-quality 90 -sample 1x1", 203, 117, false, 1.0},
                      ScaledCase{"s422", "-quality 85 -sample 2x1", 190, 97, false, 1.0},
                      ScaledCase{"s440", "-quality 85 -sample 1x2", 97, 190, false, 1.0},
                      ScaledCase{"s420", "-quality 92 -sample 2x2", 301, 203, false, 1.0},
                      ScaledCase{"s420odd", "-quality 75 -sample 2x2", 13, 9, false, 1.0},
                      ScaledCase{"grey", "-quality 75 -grayscale", 129, 65, true, 1.0},
                      ScaledCase{"progressive", "-quality 90 -sample 2x2 -progressive", 250, 181, false, 1.0},
                      ScaledCase{"q100", "-quality 100 -sample 1x1", 67, 64, false, 1.0},
                      ScaledCase{"truncated420", "-quality 90 -sample 2x2", 211, 150, false, 0.55},
                      ScaledCase{"truncatedGrey", "-quality 90 -grayscale", 99, 101, true, 0.4},
                      ScaledCase{"restartTruncated", "-quality 85 -sample 2x1 -restart 1", 150, 120, false, 0.7},
                      ScaledCase{"large", "-quality 90 -sample 2x2", 700, 521, false, 1.0}),
    [](const auto& info) { return std::string(info.param.name); });

// A block's reduced samples are its full samples averaged over each cell, whatever its
// coefficients (also large, damaged-data ones), for every pair of reductions across and down (a
// subsampled component is reduced less in its subsampled direction); a DC-only block is the full
// transform's flat value.
TEST(ScaledIdct, AveragesTheFullTransformOverEachCell) {
  int32_t quant[64];
  for (int i = 0; i < 64; ++i) quant[i] = (1 + (i * 7) % 23) * 512;
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
  for (int trial = 0; trial < 400; ++trial) {
    int16_t coef[64] = {};
    const int nonZero = trial < 20 ? 0 : int(next() % 20);
    coef[0] = int16_t(int(next() % 200) - 100);
    for (int k = 0; k < nonZero; ++k) coef[next() % 64] = int16_t(int(next() % 61) - 30);
    uint8_t full[64];
    InverseDct(coef, quant, full, 8);
    for (int shiftX = 0; shiftX <= kMaxScaleShift; ++shiftX)
      for (int shiftY = 0; shiftY <= kMaxScaleShift; ++shiftY) {
        if (shiftX == 0 && shiftY == 0) continue;
        const int nx = 8 >> shiftX, ny = 8 >> shiftY, cellX = 1 << shiftX, cellY = 1 << shiftY;
        uint8_t reduced[64];
        InverseDctScaled(coef, quant, shiftX, shiftY, reduced, nx);
        for (int m = 0; m < ny; ++m)
          for (int k = 0; k < nx; ++k) {
            int sum = 0;
            for (int y = m * cellY; y < (m + 1) * cellY; ++y)
              for (int x = k * cellX; x < (k + 1) * cellX; ++x) sum += full[y * 8 + x];
            const double average = double(sum) / (cellX * cellY);
            const bool clipped = std::any_of(full, full + 64, [](uint8_t v) { return v == 0 || v == 255; });
            if (nonZero == 0) {
              EXPECT_EQ(reduced[m * nx + k], full[0]) << "trial " << trial << " shift " << shiftX << "," << shiftY;
            } else if (!clipped) {
              // The full transform truncates every product; the averages are exact and rounded.
              EXPECT_NEAR(reduced[m * nx + k], average, 2.0)
                  << "trial " << trial << " shift " << shiftX << "," << shiftY << " cell " << k << "," << m;
            }
          }
      }
  }
}

}  // namespace
}  // namespace vt
