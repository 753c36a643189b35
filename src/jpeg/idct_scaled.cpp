#include "jpeg/idct_scaled.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "jpeg/idct.h"

namespace vt {

namespace {

constexpr int kWeightBits = 16;

// For one pair of shifts: for coefficient position v*8+u and output (m, k), the weight of that
// coefficient in the output's average, times 2^kWeightBits. The 1-D factor of frequency u in cell
// k of width w is (c_u / 2) * mean over x in [k*w, k*w + w) of cos((2x + 1) u pi / 16), with
// c_0 = 1/sqrt(2) and c_u = 1 otherwise; the 2-D weight is the product of both directions'.
struct TScaledWeights {
  int Rows = 0, Cols = 0;
  std::vector<int32_t> W;  // 64 x (Rows * Cols)
};

void Factors(int shift, double f[8][8]) {
  const int n = 8 >> shift, w = 1 << shift;
  for (int u = 0; u < 8; ++u)
    for (int cell = 0; cell < n; ++cell) {
      double sum = 0;
      for (int x = cell * w; x < cell * w + w; ++x) sum += std::cos((2 * x + 1) * u * M_PI / 16.0);
      f[u][cell] = (u == 0 ? std::sqrt(0.5) : 1.0) * 0.5 * sum / w;
    }
}

TScaledWeights MakeWeights(int shiftX, int shiftY) {
  double fx[8][8] = {}, fy[8][8] = {};
  Factors(shiftX, fx);
  Factors(shiftY, fy);
  TScaledWeights t;
  t.Rows = 8 >> shiftY;
  t.Cols = 8 >> shiftX;
  const int outputs = t.Rows * t.Cols;
  t.W.resize(size_t(64 * outputs));
  for (int v = 0; v < 8; ++v)
    for (int u = 0; u < 8; ++u)
      for (int m = 0; m < t.Rows; ++m)
        for (int k = 0; k < t.Cols; ++k)
          t.W[size_t((v * 8 + u) * outputs + m * t.Cols + k)] =
              int32_t(std::lround(fy[v][m] * fx[u][k] * double(1 << kWeightBits)));
  return t;
}

const TScaledWeights& Weights(int shiftX, int shiftY) {
  static const std::vector<TScaledWeights> tables = [] {
    std::vector<TScaledWeights> all;
    for (int sy = 0; sy <= kMaxScaleShift; ++sy)
      for (int sx = 0; sx <= kMaxScaleShift; ++sx) all.push_back(MakeWeights(sx, sy));
    return all;
  }();
  return tables[size_t(shiftY * (kMaxScaleShift + 1) + shiftX)];
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
  uint64_t any = 0;
  for (int i = 0; i < 16; ++i) {
    uint64_t word;
    std::memcpy(&word, coef + 4 * i, sizeof word);
    any |= i == 0 ? word & ~uint64_t(0xFFFF) : word;  // the DC coefficient is the low 16 bits
  }
  if (any == 0 || (shiftX == kMaxScaleShift && shiftY == kMaxScaleShift)) {
    // The full transform's value of a flat block (the descale of the DC term alone); the
    // average of a whole block is the DC term alone, too.
    const uint8_t flat = Clamp255(int64_t(coef[0]) * quant512[0] / 4096 + 128);
    for (int y = 0; y < rows; ++y) std::memset(out + y * stride, flat, size_t(cols));
    return;
  }
  const TScaledWeights& t = Weights(shiftX, shiftY);
  const int outputs = rows * cols;
  int64_t acc[64] = {};
  for (int i = 0; i < 64; ++i) {
    if (coef[i] == 0) continue;
    // Dequantised: the entry is a multiple of 512.
    const int64_t d = int64_t(coef[i]) * (quant512[i] >> 9);
    const int32_t* w = t.W.data() + size_t(i * outputs);
    for (int j = 0; j < outputs; ++j) acc[j] += d * w[j];
  }
  constexpr int64_t half = int64_t(1) << (kWeightBits - 1);
  for (int m = 0; m < rows; ++m)
    for (int k = 0; k < cols; ++k)
      out[m * stride + k] = Clamp255(((acc[m * cols + k] + half) >> kWeightBits) + 128);  // rounded
}

}  // namespace vt
