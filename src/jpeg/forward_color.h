// Forward colour conversion for the baseline writer: RGB to YCbCr through fixed-point tables
// (factors scaled by 1024), and RGB to CMYK.
#pragma once

#include <cstdint>

namespace vt {

// Nine tables of 256 entries, entry i = i x factor rounded to nearest, ties to even.
struct TkelForwardColorTables {
  int32_t RY[256], GY[256], BY[256];
  int32_t RCb[256], GCb[256], BCb[256];
  int32_t RCr[256], GCr[256], BCr[256];
};

constexpr int32_t kForwardChromaOffset = 131072;

// Built once, on first use (thread-safe static initialisation).
const TkelForwardColorTables& ForwardColorTables();

// Clamps to 0..255.
inline int32_t ClampSample(int32_t v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// Sums divided by 1024 truncating toward zero, then clamped.
inline void RgbToYCbCr(const TkelForwardColorTables& t, uint8_t r, uint8_t g, uint8_t b, int16_t& y,
                       int16_t& cb, int16_t& cr) {
  y = static_cast<int16_t>(ClampSample((t.RY[r] + t.GY[g] + t.BY[b]) / 1024));
  cb = static_cast<int16_t>(ClampSample((t.RCb[r] + t.GCb[g] + t.BCb[b] + kForwardChromaOffset) / 1024));
  cr = static_cast<int16_t>(ClampSample((t.RCr[r] + t.GCr[g] + t.BCr[b] + kForwardChromaOffset) / 1024));
}

// K = max(R, G, B); C = 255 - clamp(round((K - R) / K x 255)), M and Y likewise with G and B.
// A black pixel (K = 0) gives C = M = Y = 255: with K = 0 the inverse conversion ignores them.
void RgbToCmyk(uint8_t r, uint8_t g, uint8_t b, int16_t& c, int16_t& m, int16_t& y, int16_t& k);

}  // namespace vt
