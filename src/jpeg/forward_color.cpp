#include "jpeg/forward_color.h"

#include <cmath>

namespace vt {

namespace {

void FillTable(int32_t* table, double factor) {
  for (int i = 0; i < 256; ++i) {
    // nearbyint uses the default rounding mode: to nearest, ties to even.
    table[i] = static_cast<int32_t>(std::nearbyint(i * factor));
  }
}

TkelForwardColorTables BuildTables() {
  TkelForwardColorTables t{};
  FillTable(t.RY, 306.176);
  FillTable(t.GY, 601.088);
  FillTable(t.BY, 116.736);
  FillTable(t.RCb, -172.7488);
  FillTable(t.GCb, -339.2512);
  FillTable(t.BCb, 512);
  FillTable(t.RCr, 512);
  FillTable(t.GCr, -428.7488);
  FillTable(t.BCr, -83.2512);
  return t;
}

// (K - v) / K x 255 rounded to nearest with ties to even, using exact integer arithmetic.
int32_t InkFraction(int32_t k, int32_t v) {
  const int32_t num = (k - v) * 255 * 2;
  const int32_t den = k * 2;
  int32_t q = num / den;
  const int32_t rem = num - q * den;  // num >= 0, so truncation is floor
  if (rem * 2 > den || (rem * 2 == den && (q & 1) != 0)) ++q;
  return q;
}

}  // namespace

const TkelForwardColorTables& ForwardColorTables() {
  static const TkelForwardColorTables tables = BuildTables();
  return tables;
}

void RgbToCmyk(uint8_t r, uint8_t g, uint8_t b, int16_t& c, int16_t& m, int16_t& y, int16_t& k) {
  int32_t kk = r > g ? r : g;
  if (b > kk) kk = b;
  k = static_cast<int16_t>(kk);
  if (kk == 0) {
    c = m = y = 255;
    return;
  }
  c = static_cast<int16_t>(255 - ClampSample(InkFraction(kk, r)));
  m = static_cast<int16_t>(255 - ClampSample(InkFraction(kk, g)));
  y = static_cast<int16_t>(255 - ClampSample(InkFraction(kk, b)));
}

}  // namespace vt
