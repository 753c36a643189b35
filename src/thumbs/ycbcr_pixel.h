// One opaque pixel from Y, Cb, Cr through the decoder's integer colour tables, each channel
// clamped to 0..255 (the conversion the raw YCbCr thumbnails use).
#pragma once

#include <cstdint>

#include "bitmap/bitmap32.h"
#include "jpeg/color_tables.h"

namespace vt {

inline TColor32 YCbCrPixel(int32_t y, int32_t cb, int32_t cr) {
  const TkelColorTables& t = ColorTables();
  auto clamp = [](int32_t v) { return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); };
  const int32_t r = (t.Luma[y] + t.CrR[cr] + kRedOffset) / 1024;
  const int32_t g = (t.Luma[y] + t.CbG[cb] + t.CrG[cr] + kGreenOffset) / 1024;
  const int32_t b = (t.Luma[y] + t.CbB[cb] + kBlueOffset) / 1024;
  return Color32(clamp(r), clamp(g), clamp(b));
}

}  // namespace vt
