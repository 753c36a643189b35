#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "jpeg/fdct.h"

namespace vt {
namespace {

// The IJG integer butterfly written out directly, one output formula at a time.
void ReferencePass(const int64_t in[8], int64_t out[8], bool first) {
  const int64_t s = first ? 256 : 0;
  const int64_t t0 = in[0] + in[7] - s, t1 = in[1] + in[6] - s, t2 = in[2] + in[5] - s,
                t3 = in[3] + in[4] - s;
  const int64_t d0 = in[0] - in[7], d1 = in[1] - in[6], d2 = in[2] - in[5], d3 = in[3] - in[4];
  auto dc = [&](int64_t v) { return first ? v * 4 : v / 4; };
  auto other = [&](int64_t v) { return first ? v / 2048 : v / 32768; };
  out[0] = dc(t0 + t3 + t1 + t2);
  out[4] = dc(t0 + t3 - t1 - t2);
  const int64_t e = ((t1 - t2) + (t0 - t3)) * 4433;
  out[2] = other(e + (t0 - t3) * 6270);
  out[6] = other(e - (t1 - t2) * 15137);
  const int64_t z5 = (d3 + d1 + d2 + d0) * 9633;
  const int64_t z1 = (d3 + d0) * -7373, z2 = (d2 + d1) * -20995;
  const int64_t z3 = (d3 + d1) * -16069 + z5, z4 = (d2 + d0) * -3196 + z5;
  out[7] = other(d3 * 2446 + z1 + z3);
  out[5] = other(d2 * 16819 + z2 + z4);
  out[3] = other(d1 * 25172 + z2 + z3);
  out[1] = other(d0 * 12299 + z1 + z4);
}

void ReferenceFdct(const int16_t* samples, int64_t* out) {
  int64_t work[64];
  for (int y = 0; y < 8; ++y) {
    int64_t in[8], o[8];
    for (int x = 0; x < 8; ++x) in[x] = samples[y * 8 + x];
    ReferencePass(in, o, true);
    for (int x = 0; x < 8; ++x) work[y * 8 + x] = o[x];
  }
  for (int x = 0; x < 8; ++x) {
    int64_t in[8], o[8];
    for (int y = 0; y < 8; ++y) in[y] = work[y * 8 + x];
    ReferencePass(in, o, false);
    for (int y = 0; y < 8; ++y) out[y * 8 + x] = o[y];
  }
}

// Exact DCT of ITU-T T.81 (A.3.3), of samples level-shifted by 128.
double ExactDct(const int16_t* s, int u, int v) {
  const double pi = std::acos(-1.0);
  double sum = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      sum += (s[y * 8 + x] - 128) * std::cos((2 * x + 1) * u * pi / 16) * std::cos((2 * y + 1) * v * pi / 16);
  const double cu = u == 0 ? std::sqrt(0.5) : 1.0, cv = v == 0 ? std::sqrt(0.5) : 1.0;
  return sum * cu * cv / 4;
}

enum class Pattern { Random, Flat0, Flat255, Checker, Ramp };

class ForwardDctTest : public ::testing::TestWithParam<Pattern> {};

void FillPattern(Pattern p, int16_t* s, std::mt19937& rng) {
  for (int i = 0; i < 64; ++i) {
    switch (p) {
      case Pattern::Random: s[i] = static_cast<int16_t>(rng() % 256); break;
      case Pattern::Flat0: s[i] = 0; break;
      case Pattern::Flat255: s[i] = 255; break;
      case Pattern::Checker: s[i] = ((i / 8 + i % 8) & 1) ? 255 : 0; break;
      case Pattern::Ramp: s[i] = static_cast<int16_t>((i % 8) * 36 + (i / 8) % 2); break;
    }
  }
}

TEST_P(ForwardDctTest, MatchesStatedArithmeticAndApproximatesTrueDct) {
  std::mt19937 rng(7);
  for (int round = 0; round < (GetParam() == Pattern::Random ? 2000 : 1); ++round) {
    int16_t s[64];
    FillPattern(GetParam(), s, rng);
    int32_t got[64];
    int64_t want[64];
    ForwardDct(s, got);
    ReferenceFdct(s, want);
    for (int i = 0; i < 64; ++i) {
      ASSERT_EQ(got[i], want[i]) << "coefficient " << i << " round " << round;
      // 8 x DCT, within the error of 13-bit fixed point and truncation.
      ASSERT_NEAR(got[i] / 8.0, ExactDct(s, i % 8, i / 8), 1.0) << "coefficient " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Patterns, ForwardDctTest,
                         ::testing::Values(Pattern::Random, Pattern::Flat0, Pattern::Flat255,
                                           Pattern::Checker, Pattern::Ramp));

struct QuantCase {
  int32_t value, divisor, expected;
};
class QuantizeTest : public ::testing::TestWithParam<QuantCase> {};

TEST_P(QuantizeTest, RoundsHalvesAwayFromZero) {
  const QuantCase c = GetParam();
  int32_t in[64] = {}, div[64];
  for (int& d : div) d = 8;
  in[37] = c.value;
  div[37] = c.divisor;
  int16_t out[64];
  QuantizeBlock(in, div, out);
  EXPECT_EQ(out[37], c.expected);
  for (int i = 0; i < 64; ++i)
    if (i != 37) { EXPECT_EQ(out[i], 0); }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QuantizeTest,
    ::testing::Values(QuantCase{0, 8, 0}, QuantCase{3, 8, 0}, QuantCase{4, 8, 1}, QuantCase{-4, 8, -1},
                      QuantCase{-3, 8, 0}, QuantCase{12, 8, 2}, QuantCase{-12, 8, -2},
                      QuantCase{-8192, 8, -1024}, QuantCase{79, 80, 1}, QuantCase{-39, 80, 0},
                      QuantCase{-40, 80, -1}, QuantCase{100000, 8, 12500},
                      // an undefined table (divisor 0) behaves like entry 1
                      QuantCase{20, 0, 3}));

}  // namespace
}  // namespace vt
