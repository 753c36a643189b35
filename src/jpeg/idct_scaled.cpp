#include "jpeg/idct_scaled.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "jpeg/idct.h"

namespace vt {

namespace {

constexpr int kFactorBits = 13;

// Per shift: the 1-D factor of frequency u in output cell k (cells of 2^shift samples) times
// 2^kFactorBits: (c_u / 2) * mean over x in the cell of cos((2x + 1) u pi / 16), with
// c_0 = 1/sqrt(2) and c_u = 1 otherwise. A 2-D output is the double sum of the coefficients
// times the row factor of v and the column factor of u.
//
// The cosine is even about the block's centre for even u and odd for odd u, so the factor of
// the mirrored cell n - 1 - k is +-F[u][k]: the table is built from its first half, which makes
// the symmetry exact and lets each 1-D step compute half its outputs as sum and difference.
struct TFactors {
  int32_t F[kMaxScaleShift + 1][8][8] = {};  // [shift][u][cell]
};

const TFactors& Factors() {
  static const TFactors factors = [] {
    TFactors t;
    for (int shift = 0; shift <= kMaxScaleShift; ++shift) {
      const int n = 8 >> shift, w = 1 << shift;
      for (int u = 0; u < 8; ++u)
        for (int cell = 0; cell < (n + 1) / 2; ++cell) {
          double sum = 0;
          for (int x = cell * w; x < cell * w + w; ++x) sum += std::cos((2 * x + 1) * u * M_PI / 16.0);
          const double f = (u == 0 ? std::sqrt(0.5) : 1.0) * 0.5 * sum / w;
          const int32_t v = int32_t(std::lround(f * double(1 << kFactorBits)));
          t.F[shift][u][cell] = v;
          t.F[shift][u][n - 1 - cell] = (u & 1) ? -v : v;
        }
    }
    return t;
  }();
  return factors;
}

// Frequencies whose average over every cell of 2^shift samples is 0: frequency 4 over cells of
// 2, every even one above 0 over cells of 4, all but 0 over the whole block.
constexpr bool AveragesOut(int shift, int u) {
  return (shift == 1 && u == 4) || (shift == 2 && u > 0 && u % 2 == 0) || (shift == 3 && u > 0);
}

inline uint8_t Clamp255(int64_t v) { return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }

#define VT_INLINE inline __attribute__((always_inline))

// One 1-D reduction: the 8 inputs in[u * InStride] to the 8 >> S cell values out[k * OutStride].
template <int S, int InStride, int OutStride>
VT_INLINE void Reduce(const int64_t* in, const int32_t (*f)[8], int64_t* out) {
  constexpr int n = 8 >> S;
  if constexpr (n == 1) {
    out[0] = in[0] * f[0][0];
  } else {
    #pragma GCC unroll 4
    for (int k = 0; k < n / 2; ++k) {
      int64_t even = 0, odd = 0;
      #pragma GCC unroll 8
      for (int u = 0; u < 8; ++u) {
        if (AveragesOut(S, u)) continue;
        if (u & 1)
          odd += in[u * InStride] * f[u][k];
        else
          even += in[u * InStride] * f[u][k];
      }
      out[k * OutStride] = even + odd;
      out[(n - 1 - k) * OutStride] = even - odd;
    }
  }
}

// A block with at least one non-zero AC coefficient, reduced by 2^SX across and 2^SY down.
template <int SX, int SY>
void ReduceBlock(const int16_t* coef, const int32_t* quant512, uint8_t* out, int stride) {
  constexpr int nx = 8 >> SX, ny = 8 >> SY;
  const TFactors& t = Factors();
  // Rows first: h[v][k] for the rows whose factor does not average out; an all-zero row gives 0.
  int64_t h[8][nx];
  #pragma GCC unroll 8
  for (int v = 0; v < 8; ++v) {
    if (AveragesOut(SY, v)) continue;
    uint64_t words[2];
    std::memcpy(words, coef + 8 * v, sizeof words);
    if ((words[0] | words[1]) == 0) {
      for (int k = 0; k < nx; ++k) h[v][k] = 0;
      continue;
    }
    int64_t d[8];
    #pragma GCC unroll 8
    for (int u = 0; u < 8; ++u)
      d[u] = AveragesOut(SX, u) ? 0 : int64_t(coef[8 * v + u]) * (quant512[8 * v + u] >> 9);  // entries x 512
    Reduce<SX, 1, 1>(d, t.F[SX], h[v]);
  }
  // Then columns: each output cell.
  constexpr int64_t half = int64_t(1) << (2 * kFactorBits - 1);
  #pragma GCC unroll 8
  for (int k = 0; k < nx; ++k) {
    int64_t cells[ny];
    Reduce<SY, nx, 1>(&h[0][k], t.F[SY], cells);
    #pragma GCC unroll 8
    for (int m = 0; m < ny; ++m) out[m * stride + k] = Clamp255(((cells[m] + half) >> (2 * kFactorBits)) + 128);
  }
}

using TReduceBlock = void (*)(const int16_t*, const int32_t*, uint8_t*, int);

template <int SX, int... SY>
constexpr void FillRow(TReduceBlock (&row)[kMaxScaleShift + 1], std::integer_sequence<int, SY...>) {
  ((row[SY] = &ReduceBlock<SX, SY>), ...);
}

template <int... SX>
constexpr auto MakeTable(std::integer_sequence<int, SX...>) {
  struct Table {
    TReduceBlock Fn[kMaxScaleShift + 1][kMaxScaleShift + 1];
  } table{};
  (FillRow<SX>(table.Fn[SX], std::make_integer_sequence<int, kMaxScaleShift + 1>{}), ...);
  return table;
}

constexpr auto kReduce = MakeTable(std::make_integer_sequence<int, kMaxScaleShift + 1>{});

}  // namespace

void InverseDctScaled(const int16_t* coef, const int32_t* quant512, int shiftX, int shiftY, uint8_t* out,
                      int stride) {
  if (shiftX <= 0 && shiftY <= 0) {
    InverseDct(coef, quant512, out, stride);
    return;
  }
  const int rows = 8 >> shiftY, cols = 8 >> shiftX;
  uint64_t words[16];
  std::memcpy(words, coef, sizeof words);
  uint64_t any = words[0] & ~uint64_t(0xFFFF);  // the DC coefficient is the low 16 bits
  for (int i = 1; i < 16; ++i) any |= words[i];
  if (any == 0 || (shiftX == kMaxScaleShift && shiftY == kMaxScaleShift)) {
    // The full transform's value of a flat block (the descale of the DC term alone); the
    // average of a whole block is the DC term alone, too.
    const uint8_t flat = Clamp255(int64_t(coef[0]) * quant512[0] / 4096 + 128);
    for (int y = 0; y < rows; ++y) std::memset(out + y * stride, flat, size_t(cols));
    return;
  }
  kReduce.Fn[shiftX][shiftY](coef, quant512, out, stride);
}

}  // namespace vt
