#include "jpeg/idct_scaled.h"

#include <cmath>
#include <cstring>

#include "jpeg/idct.h"

namespace vt {

namespace {

constexpr int kFactorBits = 13;

// Per shift: the 1-D factor of frequency u in output cell k (cells of 2^shift samples) times
// 2^kFactorBits: (c_u / 2) * mean over x in the cell of cos((2x + 1) u pi / 16), with
// c_0 = 1/sqrt(2) and c_u = 1 otherwise. A 2-D output is the double sum of the coefficients
// times the row factor of v and the column factor of u: done as a column pass, then a row pass.
struct TFactors {
  int32_t F[kMaxScaleShift + 1][8][8] = {};  // [shift][u][cell]
  // Frequencies whose factor is 0 in every cell (the even ones above 0 average out over cells
  // of 4, frequency 4 over cells of 2): their coefficients are skipped. Bit u per shift.
  uint8_t Zero[kMaxScaleShift + 1] = {};
};

const TFactors& Factors() {
  static const TFactors factors = [] {
    TFactors t;
    for (int shift = 0; shift <= kMaxScaleShift; ++shift) {
      const int n = 8 >> shift, w = 1 << shift;
      for (int u = 0; u < 8; ++u)
        for (int cell = 0; cell < n; ++cell) {
          double sum = 0;
          for (int x = cell * w; x < cell * w + w; ++x) sum += std::cos((2 * x + 1) * u * M_PI / 16.0);
          const double f = (u == 0 ? std::sqrt(0.5) : 1.0) * 0.5 * sum / w;
          t.F[shift][u][cell] = int32_t(std::lround(f * double(1 << kFactorBits)));
        }
      for (int u = 0; u < 8; ++u) {
        bool zero = true;
        for (int cell = 0; cell < n; ++cell) zero = zero && t.F[shift][u][cell] == 0;
        if (zero) t.Zero[shift] |= uint8_t(1u << u);
      }
    }
    return t;
  }();
  return factors;
}

inline uint8_t Clamp255(int64_t v) { return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }

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
  const TFactors& t = Factors();
  const int32_t (*fy)[8] = t.F[shiftY];
  const int32_t (*fx)[8] = t.F[shiftX];
  // Column pass over the non-zero coefficients: tmp[m][u] for output row m.
  int64_t tmp[8][8] = {};
  unsigned used = 0;
  for (int w = 0; w < 16; ++w) {
    if (words[w] == 0) continue;
    for (int i = 4 * w; i < 4 * w + 4; ++i) {
      const int v = i >> 3, u = i & 7;
      if (coef[i] == 0 || ((t.Zero[shiftY] >> v) & 1) || ((t.Zero[shiftX] >> u) & 1)) continue;
      const int64_t d = int64_t(coef[i]) * (quant512[i] >> 9);  // dequantised (entries x 512)
      used |= 1u << u;
      for (int m = 0; m < rows; ++m) tmp[m][u] += d * fy[v][m];
    }
  }
  constexpr int64_t half = int64_t(1) << (2 * kFactorBits - 1);
  for (int m = 0; m < rows; ++m)
    for (int k = 0; k < cols; ++k) {
      int64_t acc = 0;
      for (unsigned rest = used; rest != 0; rest &= rest - 1) {
        const int u = __builtin_ctz(rest);
        acc += tmp[m][u] * fx[u][k];
      }
      out[m * stride + k] = Clamp255(((acc + half) >> (2 * kFactorBits)) + 128);  // rounded
    }
}

}  // namespace vt
