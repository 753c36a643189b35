#include "jpeg/color_convert.h"

#include <algorithm>
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif
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
  // Runs of whole areas across the planes; the last one is cut at the bitmap's edge.
  const int32_t limit = bitmap.Width();
  int32_t width = int32_t((int64_t(limit) + 7) & ~int64_t(7));
  for (int p = 0; p < kPlanes; ++p)
    if (planes.Plane[p]) width = std::min(width, planes.Plane[p]->Columns);
  width &= ~7;
  const std::vector<int16_t> zeros(size_t(std::max(width, 0)), 0);
  const int32_t band = planes.FirstRow;
  endRow = std::min(endRow, bitmap.Height());
  for (int32_t y = std::max(firstRow, band); y < endRow; ++y) {
    const uint8_t* mask = presence.Row((y - band) >> 3);
    if (!mask) continue;
    const int16_t* s[4] = {zeros.data(), zeros.data(), zeros.data(), zeros.data()};
    for (int p = 0; p < kPlanes; ++p) {
      const TkelComponentData* plane = planes.Plane[p];
      if (plane && y - band < plane->Rows) s[p] = plane->Samples(y - band);
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
      const int32_t n = std::min(end, limit) - x;
      if (n > 0) pixel(out + x, s[0] + x, s[1] + x, s[2] + x, s[3] + x, n);
      x = end;
    }
  }
}

// n pixels of YCbCr with the tables, one at a time.
template <bool kSwap>
void YCbCrRun(const TkelColorTables& t, TColor32* out, const int16_t* y, const int16_t* cb,
              const int16_t* cr, int32_t n) {
  for (int32_t i = 0; i < n; ++i) {
    const int32_t l = t.Luma[uint8_t(y[i])];
    const uint32_t r = Clamp255((l + t.CrR[uint8_t(cr[i])] + kRedOffset) / 1024);
    const uint32_t g = Clamp255((l + t.CbG[uint8_t(cb[i])] + t.CrG[uint8_t(cr[i])] + kGreenOffset) / 1024);
    const uint32_t b = Clamp255((l + t.CbB[uint8_t(cb[i])] + kBlueOffset) / 1024);
    out[i] = kSwap ? Bgra(r, g, b, 255) : Bgra(b, g, r, 255);
  }
}

#if defined(__GNUC__) && defined(__x86_64__)
#define VT_HAVE_AVX2_PATH 1
// The 256-bit values never cross a call into code built without AVX2.
#pragma GCC diagnostic ignored "-Wpsabi"

// The same arithmetic eight pixels at a time: Terms gives the chroma tables' entries (TLineTerms
// below), Luma[i] is i * 1024, and the division by 1024 truncates toward zero as in the scalar
// form.
__attribute__((target("avx2"))) inline __m256i Channel(__m256i sum) {
  const __m256i bias = _mm256_and_si256(_mm256_srai_epi32(sum, 31), _mm256_set1_epi32(1023));
  const __m256i v = _mm256_srai_epi32(_mm256_add_epi32(sum, bias), 10);
  return _mm256_min_epi32(_mm256_max_epi32(v, _mm256_setzero_si256()), _mm256_set1_epi32(255));
}

// Eight samples widened to 32 bits, as bytes (the scalar form's uint8_t index).
__attribute__((target("avx2"))) inline __m256i LoadSamples(const int16_t* p, __m256i low) {
  return _mm256_and_si256(_mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))), low);
}

template <bool kSwap, typename Terms>
__attribute__((target("avx2"))) void YCbCrRunAvx2(const TkelColorTables& t, const Terms& terms, TColor32* out,
                                                   const int16_t* y, const int16_t* cb, const int16_t* cr, int32_t n) {
  const __m256i low = _mm256_set1_epi32(255);
  const __m256i alpha = _mm256_set1_epi32(int32_t(0xFF000000u));
  int32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i vy = LoadSamples(y + i, low), vcb = LoadSamples(cb + i, low), vcr = LoadSamples(cr + i, low);
    const __m256i l = _mm256_slli_epi32(vy, 10);
    const __m256i r = Channel(_mm256_add_epi32(_mm256_add_epi32(l, terms.CrR(vcr)), _mm256_set1_epi32(kRedOffset)));
    const __m256i g = Channel(_mm256_add_epi32(_mm256_add_epi32(l, _mm256_add_epi32(terms.CbG(vcb), terms.CrG(vcr))),
                                               _mm256_set1_epi32(kGreenOffset)));
    const __m256i b = Channel(_mm256_add_epi32(_mm256_add_epi32(l, terms.CbB(vcb)), _mm256_set1_epi32(kBlueOffset)));
    const __m256i hi = kSwap ? b : r, lo = kSwap ? r : b;
    const __m256i px = _mm256_or_si256(
        _mm256_or_si256(alpha, _mm256_slli_epi32(hi, 16)), _mm256_or_si256(_mm256_slli_epi32(g, 8), lo));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), px);
  }
  YCbCrRun<kSwap>(t, out + i, y + i, cb + i, cr + i, n - i);
}

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

// Each chroma table is also a line in fixed point: T(i) = i * Q + ((i * R + B) >> K) gives the
// table's entry for every i from 0 to 255 (LinesMatchTables checks all of them once), so eight
// entries come from two multiplications instead of a gather.
template <int32_t Q, int32_t R, int32_t B, int K>
__attribute__((target("avx2"))) inline __m256i Line(__m256i i) {
  const __m256i whole = _mm256_mullo_epi32(i, _mm256_set1_epi32(Q));
  const __m256i part = _mm256_srai_epi32(_mm256_add_epi32(_mm256_mullo_epi32(i, _mm256_set1_epi32(R)), _mm256_set1_epi32(B)), K);
  return _mm256_add_epi32(whole, part);
}
#define VT_CR_R 1435, 5309, 4006, 13
#define VT_CB_G -353, 615, 519, 10
#define VT_CR_G -732, 5903, 4110, 13
#define VT_CB_B 1814, 1081, 1065, 11

bool LinesMatchTables(const TkelColorTables& t) {
  auto line = [](int32_t i, int32_t q, int32_t r, int32_t b, int k) { return i * q + ((i * r + b) >> k); };
  for (int32_t i = 0; i < 256; ++i)
    if (t.CrR[i] != line(i, VT_CR_R) || t.CbG[i] != line(i, VT_CB_G) || t.CrG[i] != line(i, VT_CR_G) ||
        t.CbB[i] != line(i, VT_CB_B) || t.Luma[i] != i * 1024)
      return false;
  return true;
}

// The same terms computed as the lines above.
struct TLineTerms {
  __attribute__((target("avx2"))) __m256i CrR(__m256i cr) const { return Line<VT_CR_R>(cr); }
  __attribute__((target("avx2"))) __m256i CbG(__m256i cb) const { return Line<VT_CB_G>(cb); }
  __attribute__((target("avx2"))) __m256i CrG(__m256i cr) const { return Line<VT_CR_G>(cr); }
  __attribute__((target("avx2"))) __m256i CbB(__m256i cb) const { return Line<VT_CB_B>(cb); }
};
#endif

template <bool kSwap>
void ConvertYCbCrImpl(const TkelPlaneSet& planes, TBitmap32& bitmap,
                      const TkelAlphaComponentData& presence, int32_t firstRow, int32_t endRow) {
  const TkelColorTables& t = ColorTables();
#ifdef VT_HAVE_AVX2_PATH
  const bool wide = HasAvx2();
  static const bool lines = LinesMatchTables(t);
#else
  const bool wide = false;
#endif
  ForPresentRuns<3>(planes, bitmap, presence, firstRow, endRow,
                    [&t, wide](TColor32* out, const int16_t* y, const int16_t* cb, const int16_t* cr,
                               const int16_t*, int32_t n) {
#ifdef VT_HAVE_AVX2_PATH
                      if (wide && lines) return YCbCrRunAvx2<kSwap>(t, TLineTerms{}, out, y, cb, cr, n);
#endif
                      (void)wide;
                      YCbCrRun<kSwap>(t, out, y, cb, cr, n);
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
  one.FirstRow = planes.FirstRow;
  ConvertGray(one, bitmap, presence, firstRow, endRow);
}

}  // namespace vt
