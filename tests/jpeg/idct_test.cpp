#include "jpeg/idct.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>

namespace vt {
namespace {

// The stated arithmetic written out plainly in 64-bit, without shortcuts: both passes of the
// butterfly, every product with a 512-scaled multiplier divided by 512 toward zero, the column
// results kept, the row results divided by 4096 toward zero, then +128 and clamped.
void ReferenceIdct(const int16_t* c, const int32_t* q, uint8_t* out) {
  auto m = [](int64_t a, int64_t k) { return (a * k) / 512; };  // C++ division truncates
  auto pass = [&](const int64_t d[8], int64_t r[8]) {
    const int64_t A = d[0] + d[4], B = d[0] - d[4];
    const int64_t z = m(d[2] + d[6], 277);
    const int64_t C = z + m(d[2], 392), D = z + m(d[6], -946);
    const int64_t z1 = m(d[7] + d[1], -461);
    const int64_t z5 = m(d[7] + d[3] + d[5] + d[1], 602);
    const int64_t z4 = z5 + m(d[5] + d[1], -200);
    const int64_t z2 = m(d[5] + d[3], -1312);
    const int64_t z3 = z5 + m(d[7] + d[3], -1004);
    const int64_t t3 = m(d[1], 769) + z1 + z4;
    const int64_t t2 = m(d[3], 1573) + z2 + z3;
    const int64_t t1 = m(d[5], 1051) + z2 + z4;
    const int64_t t0 = m(d[7], 153) + z1 + z3;
    const int64_t res[8] = {A + C + t3, B + D + t2, B - D + t1, A - C + t0,
                            A - C - t0, B - D - t1, B + D - t2, A + C - t3};
    std::copy(res, res + 8, r);
  };
  int64_t ws[64];
  for (int x = 0; x < 8; ++x) {
    int64_t d[8], r[8];
    bool acZero = true;
    for (int k = 0; k < 8; ++k) {
      d[k] = int64_t(c[k * 8 + x]) * q[k * 8 + x];
      if (k > 0 && c[k * 8 + x] != 0) acZero = false;
    }
    pass(d, r);
    for (int k = 0; k < 8; ++k) ws[k * 8 + x] = acZero ? d[0] : r[k];
  }
  for (int y = 0; y < 8; ++y) {
    int64_t r[8];
    pass(ws + y * 8, r);
    for (int x = 0; x < 8; ++x) out[y * 8 + x] = uint8_t(std::clamp<int64_t>(r[x] / 4096 + 128, 0, 255));
  }
}

struct Quant {
  int32_t q[64];
  explicit Quant(int flat) { std::fill(q, q + 64, flat * 512); }
  Quant(std::mt19937& rng, int lo, int hi) {
    std::uniform_int_distribution<int> d(lo, hi);
    for (int& v : q) v = d(rng) * 512;
  }
};

struct RandomRange {
  int maxQuant, maxCoef;
};

class RandomBlocks : public ::testing::TestWithParam<RandomRange> {};

// Small ranges stay in 32-bit lanes, large ones need 64-bit intermediates; extreme ones are what
// damaged data produces. All must equal the plain arithmetic.
TEST_P(RandomBlocks, MatchTheStatedArithmetic) {
  const RandomRange range = GetParam();
  std::mt19937 rng(uint32_t(range.maxQuant * 7919 + range.maxCoef));
  for (int density : {2, 6, 20, 64}) {
    for (int trial = 0; trial < 1500; ++trial) {
      const Quant q(rng, 1, range.maxQuant);
      int16_t c[64] = {};
      std::uniform_int_distribution<int> pos(0, 63), val(-range.maxCoef, range.maxCoef);
      c[0] = int16_t(std::clamp(val(rng) * 3, -32768, 32767));
      for (int i = 0; i < density; ++i) c[pos(rng)] = int16_t(val(rng) / (1 + i / 4));
      uint8_t ours[64], ref[64];
      InverseDct(c, q.q, ours, 8);
      ReferenceIdct(c, q.q, ref);
      ASSERT_TRUE(std::equal(ours, ours + 64, ref)) << "density " << density << " trial " << trial;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Ranges, RandomBlocks,
                         ::testing::Values(RandomRange{8, 100}, RandomRange{16, 200}, RandomRange{60, 300},
                                           RandomRange{255, 2047}, RandomRange{65535, 32767}));

TEST(InverseDct, DcOnlyBlockIsFlatWithTruncationInBothSteps) {
  // (d * q * 512) / 4096 + 128, clamped, truncating toward zero.
  struct Case {
    int dc, q, expected;
  } cases[] = {{0, 16, 128}, {1, 1, 128}, {7, 1, 128}, {8, 1, 129}, {-7, 1, 128}, {-8, 1, 127},
               {-9, 1, 127}, {100, 16, 255}, {-100, 16, 0}, {50, 2, 140}, {-50, 2, 116}};
  for (const Case& k : cases) {
    int16_t c[64] = {};
    c[0] = int16_t(k.dc);
    Quant q(k.q);
    uint8_t out[64];
    InverseDct(c, q.q, out, 8);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(out[i], k.expected) << "dc " << k.dc << " q " << k.q;
  }
}

TEST(InverseDct, RowShortcutAgreesWithFullRowPass) {
  // A block whose only non-zero coefficients sit in column 0 makes every row of the column
  // results hold just w0: the row shortcut must give what the full pass would.
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> val(-200, 200);
  for (int trial = 0; trial < 500; ++trial) {
    int16_t c[64] = {};
    for (int k = 0; k < 8; ++k) c[k * 8] = int16_t(val(rng));
    const Quant q(rng, 1, 40);
    uint8_t ours[64], ref[64];
    InverseDct(c, q.q, ours, 8);
    ReferenceIdct(c, q.q, ref);
    ASSERT_TRUE(std::equal(ours, ours + 64, ref));
    for (int y = 0; y < 8; ++y)
      for (int x = 1; x < 8; ++x) ASSERT_EQ(ours[y * 8 + x], ours[y * 8]);
  }
}

TEST(InverseDct, WritesWithStrideAndSurvivesGarbageCoefficients) {
  int16_t c[64];
  for (int i = 0; i < 64; ++i) c[i] = int16_t(i % 2 ? 32767 : -32768);
  Quant q(255);
  uint8_t out[8 * 20];
  std::fill(out, out + sizeof out, 0xAA);
  InverseDct(c, q.q, out, 20);  // overflowing products wrap; the call must simply finish
  for (int y = 0; y < 8; ++y)
    for (int x = 8; x < 20; ++x) ASSERT_EQ(out[y * 20 + x], 0xAA) << "wrote outside the row";
}

}  // namespace
}  // namespace vt
