#include "jpeg/color_convert.h"

#include <algorithm>
#include <vector>

#include "jpeg/color_tables.h"
#include "jpeg/jpeg_constants.h"

namespace vt {

namespace {

inline uint32_t Clamp255(int32_t v) { return uint32_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }

inline TColor32 Bgra(uint32_t b, uint32_t g, uint32_t r, uint32_t a) {
  return (a << 24) | (r << 16) | (g << 8) | b;
}

// Walks rows [firstRow, endRow) and, within them, the runs of 8 pixels whose area is present;
// pixel(out, s0, s1, s2, s3, n) converts n pixels from the four sample rows.
template <int kPlanes, typename PixelRun>
void ForPresentRuns(const TkelPlaneSet& planes, TBitmap32& bitmap,
                    const TkelAlphaComponentData& presence, int32_t firstRow, int32_t endRow,
                    PixelRun&& pixel) {
  int32_t width = bitmap.Width();
  for (int p = 0; p < kPlanes; ++p)
    if (planes.Plane[p]) width = std::min(width, planes.Plane[p]->Columns);
  width &= ~7;
  const std::vector<int16_t> zeros(size_t(std::max(width, 0)), 0);
  endRow = std::min(endRow, bitmap.Height());
  for (int32_t y = std::max(firstRow, 0); y < endRow; ++y) {
    const uint8_t* mask = presence.Row(y >> 3);
    if (!mask) continue;
    const int16_t* s[4] = {zeros.data(), zeros.data(), zeros.data(), zeros.data()};
    for (int p = 0; p < kPlanes; ++p) {
      const TkelComponentData* plane = planes.Plane[p];
      if (plane && y < plane->Rows) s[p] = plane->Samples(y);
    }
    TColor32* out = bitmap.ScanLine(y);
    int32_t x = 0;
    while (x < width) {
      // Gather a run of consecutive present areas and convert it in one go.
      if (!(mask[x >> 6] >> ((x >> 3) & 7) & 1)) {
        x += 8;
        continue;
      }
      int32_t end = x + 8;
      while (end < width && (mask[end >> 6] >> ((end >> 3) & 7) & 1)) end += 8;
      pixel(out + x, s[0] + x, s[1] + x, s[2] + x, s[3] + x, end - x);
      x = end;
    }
  }
}

template <bool kSwap>
void ConvertYCbCrImpl(const TkelPlaneSet& planes, TBitmap32& bitmap,
                      const TkelAlphaComponentData& presence, int32_t firstRow, int32_t endRow) {
  const TkelColorTables& t = ColorTables();
  ForPresentRuns<3>(planes, bitmap, presence, firstRow, endRow,
                    [&t](TColor32* out, const int16_t* y, const int16_t* cb, const int16_t* cr,
                         const int16_t*, int32_t n) {
                      for (int32_t i = 0; i < n; ++i) {
                        const int32_t l = t.Luma[uint8_t(y[i])];
                        const uint32_t r = Clamp255((l + t.CrR[uint8_t(cr[i])] + kRedOffset) / 1024);
                        const uint32_t g = Clamp255(
                            (l + t.CbG[uint8_t(cb[i])] + t.CrG[uint8_t(cr[i])] + kGreenOffset) / 1024);
                        const uint32_t b = Clamp255((l + t.CbB[uint8_t(cb[i])] + kBlueOffset) / 1024);
                        out[i] = kSwap ? Bgra(r, g, b, 255) : Bgra(b, g, r, 255);
                      }
                    });
}

}  // namespace

void ConvertGray(const TkelPlaneSet& planes, TBitmap32& bitmap, const TkelAlphaComponentData& presence,
                 int32_t firstRow, int32_t endRow) {
  ForPresentRuns<1>(planes, bitmap, presence, firstRow, endRow,
                    [](TColor32* out, const int16_t* g, const int16_t*, const int16_t*, const int16_t*,
                       int32_t n) {
                      for (int32_t i = 0; i < n; ++i) {
                        const uint32_t v = uint8_t(g[i]);
                        out[i] = Bgra(v, v, v, 255);
                      }
                    });
}

void ConvertGrayAlpha(const TkelPlaneSet& planes, TBitmap32& bitmap,
                      const TkelAlphaComponentData& presence, int32_t firstRow, int32_t endRow) {
  ForPresentRuns<2>(planes, bitmap, presence, firstRow, endRow,
                    [](TColor32* out, const int16_t* g, const int16_t* a, const int16_t*, const int16_t*,
                       int32_t n) {
                      for (int32_t i = 0; i < n; ++i) {
                        const uint32_t v = uint8_t(g[i]);
                        out[i] = Bgra(v, v, v, uint8_t(a[i]));
                      }
                    });
}

void ConvertYCbCr(const TkelPlaneSet& planes, TBitmap32& bitmap, const TkelAlphaComponentData& presence,
                  int32_t firstRow, int32_t endRow) {
  ConvertYCbCrImpl<false>(planes, bitmap, presence, firstRow, endRow);
}

void ConvertYCbCrSwapped(const TkelPlaneSet& planes, TBitmap32& bitmap,
                         const TkelAlphaComponentData& presence, int32_t firstRow, int32_t endRow) {
  ConvertYCbCrImpl<true>(planes, bitmap, presence, firstRow, endRow);
}

void ConvertYCCK(const TkelPlaneSet& planes, TBitmap32& bitmap, const TkelAlphaComponentData& presence,
                 int32_t firstRow, int32_t endRow) {
  const TkelColorTables& t = ColorTables();
  ForPresentRuns<4>(planes, bitmap, presence, firstRow, endRow,
                    [&t](TColor32* out, const int16_t* y, const int16_t* cb, const int16_t* cr,
                         const int16_t* kp, int32_t n) {
                      for (int32_t i = 0; i < n; ++i) {
                        const int32_t l = t.Luma[uint8_t(y[i])];
                        const int32_t k = uint8_t(kp[i]);
                        const int32_t sr = l + t.CrR[uint8_t(cr[i])] + kRedOffset;
                        const int32_t sg = l + t.CbG[uint8_t(cb[i])] + t.CrG[uint8_t(cr[i])] + kGreenOffset;
                        const int32_t sb = l + t.CbB[uint8_t(cb[i])] + kBlueOffset;
                        const uint32_t r = Clamp255((k * 1024 - (sr * k) / 255) / 1024);
                        const uint32_t g = Clamp255((k * 1024 - (sg * k) / 255) / 1024);
                        const uint32_t b = Clamp255((k * 1024 - (sb * k) / 255) / 1024);
                        out[i] = Bgra(b, g, r, 255);
                      }
                    });
}

void ConvertCMYK(const TkelPlaneSet& planes, TBitmap32& bitmap, const TkelAlphaComponentData& presence,
                 int32_t firstRow, int32_t endRow) {
  ForPresentRuns<4>(planes, bitmap, presence, firstRow, endRow,
                    [](TColor32* out, const int16_t* c, const int16_t* m, const int16_t* yl,
                       const int16_t* kp, int32_t n) {
                      for (int32_t i = 0; i < n; ++i) {
                        const int32_t k = uint8_t(kp[i]);
                        const uint32_t r = Clamp255(k - ((255 - uint8_t(c[i])) * k) / 255);
                        const uint32_t g = Clamp255(k - ((255 - uint8_t(m[i])) * k) / 255);
                        const uint32_t b = Clamp255(k - ((255 - uint8_t(yl[i])) * k) / 255);
                        out[i] = Bgra(b, g, r, 255);
                      }
                    });
}

void ConvertRGB(const TkelPlaneSet& planes, TBitmap32& bitmap, const TkelAlphaComponentData& presence,
                int32_t firstRow, int32_t endRow) {
  ForPresentRuns<3>(planes, bitmap, presence, firstRow, endRow,
                    [](TColor32* out, const int16_t* r, const int16_t* g, const int16_t* b,
                       const int16_t*, int32_t n) {
                      for (int32_t i = 0; i < n; ++i)
                        out[i] = Bgra(uint8_t(b[i]), uint8_t(g[i]), uint8_t(r[i]), 255);
                    });
}

void ConvertRGBA(const TkelPlaneSet& planes, TBitmap32& bitmap, const TkelAlphaComponentData& presence,
                 int32_t firstRow, int32_t endRow) {
  ForPresentRuns<4>(planes, bitmap, presence, firstRow, endRow,
                    [](TColor32* out, const int16_t* r, const int16_t* g, const int16_t* b,
                       const int16_t* a, int32_t n) {
                      for (int32_t i = 0; i < n; ++i)
                        out[i] = Bgra(uint8_t(b[i]), uint8_t(g[i]), uint8_t(r[i]), uint8_t(a[i]));
                    });
}

TkelConversion ConversionOfKind(int kind) {
  switch (kind) {
    case 1: return ConvertGray;
    case 2: return ConvertGrayAlpha;
    case 3: return ConvertYCbCr;
    case 4: return ConvertYCbCrSwapped;
    case 5: return ConvertYCCK;
    case 6: return ConvertCMYK;
    case 7: return ConvertRGB;
    case 8: return ConvertRGBA;
    default: return nullptr;
  }
}

int ConversionKindOf(int colorModel) {
  switch (colorModel) {
    case cmGray: return 1;
    case cmGrayAlpha: return 2;
    case cmYCbCr: return 3;
    case cmYCbCrSwapped: return 4;
    case cmYCCK: return 5;
    case cmCMYK: return 6;
    case cmRGB: return 7;
    case cmRGBA: return 8;
    default: return 0;
  }
}

void RenderComponent(const TkelPlaneSet& planes, TBitmap32& bitmap,
                     const TkelAlphaComponentData& presence, int32_t firstRow, int32_t endRow,
                     int component) {
  if (component < 0 || component > 3) return;
  TkelPlaneSet one;
  one.Plane[0] = planes.Plane[component];
  ConvertGray(one, bitmap, presence, firstRow, endRow);
}

}  // namespace vt
