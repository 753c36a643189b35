#include "jpeg/reconstruct.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "jpeg/idct.h"
#include "jpeg/presence.h"

namespace vt {
namespace {

// A coefficient map of cols x rows blocks for a component upsampled hf x vf, each block with a
// DC and one AC coefficient that differ per block, so every sample's destination is checkable.
void FillMap(TkelMCUs& m, int cols, int rows, int hf, int vf, bool decoded = true) {
  m.SetColumns(cols);
  m.SetRows(rows);
  m.UpsampleH = hf;
  m.UpsampleV = vf;
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) {
      TkelCoefBlock* b = m.WritableBlock(c, r);
      b->Coef[0] = int16_t((c * 7 + r * 13) % 60 - 30);
      b->Coef[1 + (c + r) % 9] = int16_t(20 - c - r);
      b->Decoded = decoded;
    }
}

struct Fixture {
  TkelComponentData plane;
  TkelAlphaComponentData presence;
  int32_t quant[64];
  Fixture(int width, int height) {
    plane.SetColumns(width);
    plane.SetRows(height);
    DimensionPresence(presence, width, height);
    for (int i = 0; i < 64; ++i) quant[i] = (4 + i % 5) * 512;
  }
};

class Replication : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(Replication, EverySampleFillsItsRectangle) {
  const auto [hf, vf] = GetParam();
  const int cols = 3, rows = 2;
  TkelMCUs m;
  FillMap(m, cols, rows, hf, vf);
  Fixture f(cols * 8 * hf, rows * 8 * vf);
  ReconstructPlane(m, f.quant, rows, f.plane, f.presence);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) {
      uint8_t s[64];
      InverseDct(m.Block(c, r)->Coef, f.quant, s, 8);
      for (int y = 0; y < 8 * vf; ++y)
        for (int x = 0; x < 8 * hf; ++x)
          ASSERT_EQ(f.plane.Samples(r * 8 * vf + y)[c * 8 * hf + x], s[(y / vf) * 8 + x / hf])
              << "block " << c << "," << r << " pixel " << x << "," << y;
    }
  // Every 8 x 8 area of every decoded block is present.
  for (int y = 0; y < rows * 8 * vf; y += 8)
    for (int x = 0; x < cols * 8 * hf; x += 8) ASSERT_TRUE(IsPresent(f.presence, x + 7, y + 7));
}

INSTANTIATE_TEST_SUITE_P(Factors, Replication,
                         ::testing::Values(std::pair{1, 1}, std::pair{2, 1}, std::pair{1, 2}, std::pair{2, 2},
                                           std::pair{4, 1}, std::pair{1, 4}, std::pair{4, 4}, std::pair{3, 1},
                                           std::pair{2, 4}, std::pair{8, 8}));

TEST(Reconstruct, UndecodedAndUnreachedBlocksAreNotPresent) {
  TkelMCUs m;
  FillMap(m, 2, 4, 1, 1);
  m.WritableBlock(1, 0)->Decoded = 0;
  m.SetRows(6);  // rows 4 and 5 exist in the map but the data never reached them
  Fixture f(16, 48);
  ReconstructPlane(m, f.quant, 6, f.plane, f.presence);
  EXPECT_TRUE(IsPresent(f.presence, 0, 0));
  EXPECT_FALSE(IsPresent(f.presence, 8, 0));
  EXPECT_TRUE(IsPresent(f.presence, 15, 31));
  EXPECT_FALSE(IsPresent(f.presence, 0, 32));
  // An unreached block reads as all-zero coefficients: flat 128.
  EXPECT_EQ(f.plane.Samples(40)[3], 128);
  // Only block rows up to the limit are written.
  TkelMCUs m2;
  FillMap(m2, 2, 4, 1, 1);
  Fixture g(16, 32);
  ReconstructPlane(m2, g.quant, 2, g.plane, g.presence);
  EXPECT_TRUE(IsPresent(g.presence, 0, 15));
  EXPECT_FALSE(IsPresent(g.presence, 0, 16));
  EXPECT_EQ(g.plane.Samples(20)[0], 0);
}

TEST(Reconstruct, PresenceIsTheUnionOverComponentsAlsoWhenBuiltConcurrently) {
  // 4:2:0: luma decoded only in its top half, chroma everywhere. The chroma blocks cover the
  // whole picture, so every area is present.
  const int w = 256, h = 64;
  TkelMCUs luma, cb, cr;
  FillMap(luma, w / 8, h / 8, 1, 1);
  for (int r = h / 16; r < h / 8; ++r)
    for (int c = 0; c < w / 8; ++c) luma.WritableBlock(c, r)->Decoded = 0;
  FillMap(cb, w / 16, h / 16, 2, 2);
  FillMap(cr, w / 16, h / 16, 2, 2, false);
  for (int round = 0; round < 20; ++round) {
    TkelComponentData planes[3];
    TkelAlphaComponentData presence;
    DimensionPresence(presence, w, h);
    for (auto& p : planes) {
      p.SetColumns(w);
      p.SetRows(h);
    }
    int32_t q[64];
    for (int& v : q) v = 512;
    std::thread a([&] { ReconstructPlane(luma, q, h / 8, planes[0], presence); });
    std::thread b([&] { ReconstructPlane(cb, q, h / 16, planes[1], presence); });
    std::thread c([&] { ReconstructPlane(cr, q, h / 16, planes[2], presence); });
    a.join();
    b.join();
    c.join();
    for (int y = 0; y < h; y += 8)
      for (int x = 0; x < w; x += 8) ASSERT_TRUE(IsPresent(presence, x, y)) << x << "," << y;
  }
  // Without the chroma only the luma's decoded half would be.
  TkelAlphaComponentData lumaOnly;
  DimensionPresence(lumaOnly, w, h);
  TkelComponentData p;
  p.SetColumns(w);
  p.SetRows(h);
  int32_t q[64];
  for (int& v : q) v = 512;
  ReconstructPlane(luma, q, h / 8, p, lumaOnly);
  EXPECT_TRUE(IsPresent(lumaOnly, 0, 31));
  EXPECT_FALSE(IsPresent(lumaOnly, 0, 32));
}

}  // namespace
}  // namespace vt
