// Resamplers of TBitmap32: nearest pixel and a separable kernel convolution (Lanczos).
//
// Geometry: the destination rectangle's pixel centres are mapped linearly onto the source
// rectangle, so (dx + 0.5) in the destination lands at srcLeft + (dx + 0.5) * sw / dw in the
// source. Source reads are clamped to the part of the source rectangle inside the bitmap.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <thread>
#include <vector>
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif

#include "base/zeroed_block.h"
#include "bitmap/bitmap32.h"

namespace vt {

namespace {

struct Span {
  int32_t first = 0, last = 0;  // destination range actually drawn, half-open
};

// The destination columns (or rows) of [d0, d1) inside [0, limit).
Span ClipSpan(int32_t d0, int32_t d1, int32_t limit) {
  return Span{std::max(d0, 0), std::min(d1, limit)};
}

// Fixed-point weights of one destination pixel: source indices [start, start + count).
struct Contribution {
  int32_t start = 0;
  std::vector<int32_t> weights;
};

constexpr int kWeightBits = 14;
constexpr int32_t kWeightOne = 1 << kWeightBits;

// Builds the contributions for destination pixels first..last-1 of a mapping of the source
// range [s0, s1) (clamped to [v0, v1), the readable part) onto the destination range [d0, d1).
std::vector<Contribution> BuildContributions(const TCustomKernel& kernel, int32_t d0, int32_t d1,
                                             int32_t s0, int32_t s1, int32_t v0, int32_t v1,
                                             const Span& span) {
  const double scale = double(s1 - s0) / double(d1 - d0);
  const double stretch = std::max(scale, 1.0);  // widen the kernel when shrinking
  const double radius = kernel.GetWidth() * stretch;
  std::vector<Contribution> out(size_t(span.last - span.first));
  std::vector<double> w;
  for (int32_t d = span.first; d < span.last; ++d) {
    const double centre = s0 + (d - d0 + 0.5) * scale - 0.5;
    const int32_t lo = int32_t(std::floor(centre - radius));
    const int32_t hi = int32_t(std::ceil(centre + radius));
    // Weights per readable source index (indices outside clamp to the edge).
    const int32_t first = std::clamp(lo, v0, v1 - 1);
    const int32_t last = std::clamp(hi, v0, v1 - 1);
    w.assign(size_t(last - first + 1), 0.0);
    double sum = 0;
    for (int32_t i = lo; i <= hi; ++i) {
      const double k = kernel.Filter((i - centre) / stretch);
      if (k == 0) continue;
      w[size_t(std::clamp(i, v0, v1 - 1) - first)] += k;
      sum += k;
    }
    Contribution& c = out[size_t(d - span.first)];
    c.start = first;
    c.weights.resize(w.size());
    if (sum == 0) {  // degenerate kernel: take the nearest pixel
      std::fill(c.weights.begin(), c.weights.end(), 0);
      c.weights[size_t(std::clamp(int32_t(std::lround(centre)), first, last) - first)] = kWeightOne;
      continue;
    }
    // Normalise so that the integer weights add up to exactly kWeightOne: flat areas stay flat.
    int32_t total = 0;
    size_t biggest = 0;
    for (size_t j = 0; j < w.size(); ++j) {
      c.weights[j] = int32_t(std::lround(w[j] / sum * kWeightOne));
      total += c.weights[j];
      if (c.weights[j] > c.weights[biggest]) biggest = j;
    }
    c.weights[biggest] += kWeightOne - total;
  }
  return out;
}

inline uint32_t ClampChannel(int32_t v) {
  v = (v + (kWeightOne >> 1)) >> kWeightBits;
  return uint32_t(std::clamp(v, 0, 255));
}

inline TColor32 Convolve(const TColor32* src, ptrdiff_t step, const Contribution& c) {
  int32_t a = 0, r = 0, g = 0, b = 0;
  const TColor32* p = src + c.start * step;
  for (int32_t w : c.weights) {
    const TColor32 px = *p;
    a += int32_t(px >> 24) * w;
    r += int32_t((px >> 16) & 255) * w;
    g += int32_t((px >> 8) & 255) * w;
    b += int32_t(px & 255) * w;
    p += step;
  }
  return (ClampChannel(a) << 24) | (ClampChannel(r) << 16) | (ClampChannel(g) << 8) | ClampChannel(b);
}

// Passes of the kernel resampler, fast forms. The sums are the same integers as Convolve's
// (integer addition does not care about order), so the pixels are the same.

// Work (taps times pixels) from which a resample shares its rows among threads.
constexpr double kThreadedWork = 8e6;

// Per destination column, its weights four taps at a time as the AVX2 pass multiplies them:
// (w0 w1) four times, then (w2 w3) four times, as 16-bit values; the taps left over after the
// whole groups go the plain way.
struct TPackedWeights {
  std::vector<int16_t> Data;
  std::vector<uint32_t> Offset;  // per column, into Data
  std::vector<int32_t> Groups;   // per column, whole groups of four taps
  bool Usable = false;           // every weight fits 16 bits
};

TPackedWeights PackWeights(const std::vector<Contribution>& cols) {
  TPackedWeights p;
  p.Offset.resize(cols.size());
  p.Groups.resize(cols.size());
  for (const Contribution& c : cols)
    for (int32_t wt : c.weights)
      if (wt < -32768 || wt > 32767) return p;
  for (size_t x = 0; x < cols.size(); ++x) {
    const auto& w = cols[x].weights;
    const int32_t groups = int32_t(w.size() / 4);
    p.Offset[x] = uint32_t(p.Data.size());
    p.Groups[x] = groups;
    for (int32_t g = 0; g < groups; ++g)
      for (int half = 0; half < 2; ++half)
        for (int k = 0; k < 4; ++k) {
          p.Data.push_back(int16_t(w[size_t(4 * g + 2 * half)]));
          p.Data.push_back(int16_t(w[size_t(4 * g + 2 * half + 1)]));
        }
  }
  p.Usable = true;
  return p;
}

inline TColor32 PackChannels(const int32_t ch[4]) {
  return (ClampChannel(ch[3]) << 24) | (ClampChannel(ch[2]) << 16) | (ClampChannel(ch[1]) << 8) | ClampChannel(ch[0]);
}

// Adds the taps [from, size) of c, read from p, to the sums b, g, r, a.
inline void AddTaps(const TColor32* p, const Contribution& c, size_t from, int32_t ch[4]) {
  for (size_t j = from; j < c.weights.size(); ++j) {
    const TColor32 px = p[j];
    const int32_t wt = c.weights[j];
    ch[0] += int32_t(px & 255) * wt;
    ch[1] += int32_t((px >> 8) & 255) * wt;
    ch[2] += int32_t((px >> 16) & 255) * wt;
    ch[3] += int32_t(px >> 24) * wt;
  }
}

#if defined(__GNUC__) && defined(__x86_64__)
#define VT_RESAMPLE_AVX2 1
bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

__attribute__((target("avx2"))) void HorizontalRowAvx2(const TColor32* s, TColor32* m,
                                                        const std::vector<Contribution>& cols,
                                                        const TPackedWeights& pk, int32_t w) {
  // Two neighbouring taps of each channel side by side: b0 b1 g0 g1 r0 r1 a0 a1 b2 b3 ...
  const __m128i order = _mm_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15);
  for (int32_t x = 0; x < w; ++x) {
    const Contribution& c = cols[size_t(x)];
    const TColor32* p = s + c.start;
    const int16_t* wt = pk.Data.data() + pk.Offset[size_t(x)];
    const int32_t groups = pk.Groups[size_t(x)];
    __m256i acc = _mm256_setzero_si256();
    for (int32_t g = 0; g < groups; ++g) {
      const __m128i px = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * g)), order);
      const __m256i weights = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(wt + 16 * g));
      acc = _mm256_add_epi32(acc, _mm256_madd_epi16(_mm256_cvtepu8_epi16(px), weights));
    }
    alignas(16) int32_t ch[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(ch),
                    _mm_add_epi32(_mm256_castsi256_si128(acc), _mm256_extracti128_si256(acc, 1)));
    AddTaps(p, c, size_t(groups) * 4, ch);
    m[x] = PackChannels(ch);
  }
}

// acc[i] += row0[i] * w0 + row1[i] * w1 for the n bytes of two rows (n a multiple of 16 here).
__attribute__((target("avx2"))) void AccumulateRowPairAvx2(const uint8_t* row0, const uint8_t* row1, int32_t w0,
                                                           int32_t w1, int32_t* acc, size_t n) {
  const __m256i weights = _mm256_set1_epi32(int32_t((uint32_t(uint16_t(w1)) << 16) | uint16_t(w0)));
  for (size_t i = 0; i < n; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row0 + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row1 + i));
    const __m256i lo = _mm256_madd_epi16(_mm256_cvtepu8_epi16(_mm_unpacklo_epi8(a, b)), weights);
    const __m256i hi = _mm256_madd_epi16(_mm256_cvtepu8_epi16(_mm_unpackhi_epi8(a, b)), weights);
    __m256i* out = reinterpret_cast<__m256i*>(acc + i);
    _mm256_storeu_si256(out, _mm256_add_epi32(_mm256_loadu_si256(out), lo));
    _mm256_storeu_si256(out + 1, _mm256_add_epi32(_mm256_loadu_si256(out + 1), hi));
  }
}
#endif

void HorizontalRow(const TColor32* s, TColor32* m, const std::vector<Contribution>& cols,
                   const TPackedWeights& pk, int32_t w) {
#ifdef VT_RESAMPLE_AVX2
  if (pk.Usable && HasAvx2()) return HorizontalRowAvx2(s, m, cols, pk, w);
#endif
  for (int32_t x = 0; x < w; ++x) {
    const Contribution& c = cols[size_t(x)];
    int32_t ch[4] = {0, 0, 0, 0};
    AddTaps(s + c.start, c, 0, ch);
    m[x] = PackChannels(ch);
  }
}

// One destination row of the vertical pass: the weighted sum of the intermediate rows
// c.start - rowLo on, channel by channel, packed into line.
void VerticalRow(const TColor32* mid, int32_t w, const Contribution& c, int32_t rowLo, int32_t* acc,
                 TColor32* line) {
  const size_t n = size_t(w) * 4;
  std::fill(acc, acc + n, 0);
  const size_t taps = c.weights.size();
  size_t j = 0;
#ifdef VT_RESAMPLE_AVX2
  const size_t whole = n & ~size_t(15);
  bool pairs = HasAvx2();
  for (size_t k = 0; k < taps; ++k)
    if (c.weights[k] < -32768 || c.weights[k] > 32767) pairs = false;
  if (pairs) {
    for (; j + 1 < taps; j += 2) {
      const auto* r0 = reinterpret_cast<const uint8_t*>(mid + size_t(c.start - rowLo + int32_t(j)) * size_t(w));
      const auto* r1 = r0 + n;
      AccumulateRowPairAvx2(r0, r1, c.weights[j], c.weights[j + 1], acc, whole);
      for (size_t i = whole; i < n; ++i) acc[i] += int32_t(r0[i]) * c.weights[j] + int32_t(r1[i]) * c.weights[j + 1];
    }
  }
#endif
  for (; j < taps; ++j) {
    const auto* r = reinterpret_cast<const uint8_t*>(mid + size_t(c.start - rowLo + int32_t(j)) * size_t(w));
    const int32_t wt = c.weights[j];
    for (size_t i = 0; i < n; ++i) acc[i] += int32_t(r[i]) * wt;
  }
  for (int32_t x = 0; x < w; ++x) line[x] = PackChannels(acc + 4 * size_t(x));
}

// The geometry shared by both forms of the kernel resampler: the destination span drawn, each
// destination column's and row's weights, and the source rows that any destination row reads.
struct TResamplePlan {
  Span Xs, Ys;
  std::vector<Contribution> Cols, Rows;
  int32_t RowLo = 0, RowHi = 0;
};

// False when nothing is drawn (an empty destination span or no readable source).
bool PlanResample(const TCustomKernel& kernel, const TBitmap32& dst, const TRect& dstRect, const TBitmap32& src,
                  const TRect& srcRect, TResamplePlan& plan) {
  plan.Xs = ClipSpan(dstRect.Left, dstRect.Right, dst.Width());
  plan.Ys = ClipSpan(dstRect.Top, dstRect.Bottom, dst.Height());
  if (plan.Xs.first >= plan.Xs.last || plan.Ys.first >= plan.Ys.last) return false;
  const int32_t vx0 = std::max(srcRect.Left, 0), vx1 = std::min(srcRect.Right, src.Width());
  const int32_t vy0 = std::max(srcRect.Top, 0), vy1 = std::min(srcRect.Bottom, src.Height());
  if (vx0 >= vx1 || vy0 >= vy1) return false;
  plan.Cols = BuildContributions(kernel, dstRect.Left, dstRect.Right, srcRect.Left, srcRect.Right, vx0, vx1, plan.Xs);
  plan.Rows = BuildContributions(kernel, dstRect.Top, dstRect.Bottom, srcRect.Top, srcRect.Bottom, vy0, vy1, plan.Ys);
  plan.RowLo = vy1;
  plan.RowHi = vy0;
  for (const Contribution& c : plan.Rows) {
    plan.RowLo = std::min(plan.RowLo, c.start);
    plan.RowHi = std::max(plan.RowHi, c.start + int32_t(c.weights.size()));
  }
  return true;
}

}  // namespace

double TLanczosKernel::Filter(double x) const {
  x = std::fabs(x);
  if (x >= Width) return 0;
  if (x < 1e-9) return 1;
  const double px = std::numbers::pi * x;
  const double pxw = px / Width;
  return (std::sin(px) / px) * (std::sin(pxw) / pxw);
}

void TLanczosKernel::SetWidth(double w) { Width = std::clamp(w, 1.0, 16.0); }

void TNearestResampler::Resample(TBitmap32& dst, const TRect& dstRect, const TBitmap32& src,
                                 const TRect& srcRect) const {
  const Span xs = ClipSpan(dstRect.Left, dstRect.Right, dst.Width());
  const Span ys = ClipSpan(dstRect.Top, dstRect.Bottom, dst.Height());
  if (xs.first >= xs.last || ys.first >= ys.last) return;
  const int32_t vx0 = std::max(srcRect.Left, 0), vx1 = std::min(srcRect.Right, src.Width());
  const int32_t vy0 = std::max(srcRect.Top, 0), vy1 = std::min(srcRect.Bottom, src.Height());
  const double sx = double(srcRect.Width()) / dstRect.Width();
  const double sy = double(srcRect.Height()) / dstRect.Height();
  std::vector<int32_t> columns(size_t(xs.last - xs.first));
  for (int32_t x = xs.first; x < xs.last; ++x)
    columns[size_t(x - xs.first)] =
        std::clamp(int32_t(std::floor(srcRect.Left + (x - dstRect.Left + 0.5) * sx)), vx0, vx1 - 1);
  for (int32_t y = ys.first; y < ys.last; ++y) {
    const int32_t srcY =
        std::clamp(int32_t(std::floor(srcRect.Top + (y - dstRect.Top + 0.5) * sy)), vy0, vy1 - 1);
    const TColor32* s = src.ScanLine(srcY);
    TColor32* d = dst.ScanLine(y);
    for (int32_t x = xs.first; x < xs.last; ++x) src.CombinePixel(s[columns[size_t(x - xs.first)]], d[x]);
  }
}

std::unique_ptr<TCustomResampler> TNearestResampler::Clone() const {
  return std::make_unique<TNearestResampler>();
}

TKernelResampler::TKernelResampler() : kernel_(std::make_unique<TLanczosKernel>()) {}

TKernelResampler::TKernelResampler(std::unique_ptr<TCustomKernel> kernel) : TKernelResampler() {
  SetKernel(std::move(kernel));
}

void TKernelResampler::SetKernel(std::unique_ptr<TCustomKernel> kernel) {
  if (kernel) kernel_ = std::move(kernel);
}

std::unique_ptr<TCustomResampler> TKernelResampler::Clone() const {
  auto copy = std::make_unique<TKernelResampler>();
  if (auto* lanczos = dynamic_cast<const TLanczosKernel*>(kernel_.get()))
    copy->SetKernel(std::make_unique<TLanczosKernel>(*lanczos));
  return copy;
}

void TKernelResampler::Resample(TBitmap32& dst, const TRect& dstRect, const TBitmap32& src,
                                const TRect& srcRect) const {
  TResamplePlan plan;
  if (!PlanResample(*kernel_, dst, dstRect, src, srcRect, plan)) return;
  const Span& xs = plan.Xs;
  const Span& ys = plan.Ys;
  const auto& cols = plan.Cols;
  const auto& rows = plan.Rows;
  const int32_t rowLo = plan.RowLo, rowHi = plan.RowHi;
  size_t taps = 0;
  for (const Contribution& c : cols) taps += c.weights.size();
  const int32_t w = xs.last - xs.first;
  const TPackedWeights packed = PackWeights(cols);
  // The intermediate comes in huge pages where it is large (the rows of a whole photo): first
  // writes to plain fresh pages cost more than the horizontal pass that makes them.
  const TZeroedBlock midBlock(size_t(rowHi - rowLo) * size_t(w) * sizeof(TColor32));
  TColor32* const mid = reinterpret_cast<TColor32*>(midBlock.Data());

  // Both passes share out their rows among a few threads when the work is large: the resizer's
  // worker and the preview of a big picture otherwise keep one core busy for a long time.
  const double work = double(rowHi - rowLo) * double(taps) + double(ys.last - ys.first) * w * 8.0;
  const int threads = work < kThreadedWork ? 1 : std::clamp(int(std::thread::hardware_concurrency()), 1, 4);
  auto inParallel = [threads](int32_t first, int32_t last, const auto& body) {
    if (threads <= 1 || last - first < 2 * threads) {
      body(first, last);
      return;
    }
    std::vector<std::thread> helpers;
    const int32_t step = (last - first + threads - 1) / threads;
    for (int t = 1; t < threads; ++t) {
      const int32_t a = first + t * step, b = std::min(last, a + step);
      if (a < b) helpers.emplace_back([&body, a, b] { body(a, b); });
    }
    body(first, std::min(last, first + step));
    for (auto& h : helpers) h.join();
  };
  inParallel(rowLo, rowHi, [&](int32_t a, int32_t b) {
    for (int32_t y = a; y < b; ++y)
      HorizontalRow(src.ScanLine(y), &mid[size_t(y - rowLo) * size_t(w)], cols, packed, w);
  });
  inParallel(ys.first, ys.last, [&](int32_t a, int32_t b) {
    std::vector<int32_t> acc(static_cast<size_t>(w) * 4);
    std::vector<TColor32> line(static_cast<size_t>(w));
    for (int32_t y = a; y < b; ++y) {
      const Contribution& c = rows[size_t(y - ys.first)];
      VerticalRow(mid, w, c, rowLo, acc.data(), line.data());
      TColor32* d = dst.ScanLine(y) + xs.first;
      for (int32_t x = 0; x < w; ++x) src.CombinePixel(line[size_t(x)], d[x]);
    }
  });
}

void TKernelResampler::ResampleReference(TBitmap32& dst, const TRect& dstRect, const TBitmap32& src,
                                         const TRect& srcRect) const {
  TResamplePlan plan;
  if (!PlanResample(*kernel_, dst, dstRect, src, srcRect, plan)) return;
  const Span& xs = plan.Xs;
  const Span& ys = plan.Ys;
  const auto& cols = plan.Cols;
  const auto& rows = plan.Rows;
  const int32_t rowLo = plan.RowLo, rowHi = plan.RowHi;
  // Horizontal pass into an intermediate of (rowHi - rowLo) rows x drawn width.
  const int32_t w = xs.last - xs.first;
  std::vector<TColor32> mid(size_t(rowHi - rowLo) * size_t(w));
  for (int32_t y = rowLo; y < rowHi; ++y) {
    const TColor32* s = src.ScanLine(y);
    TColor32* m = &mid[size_t(y - rowLo) * size_t(w)];
    for (int32_t x = 0; x < w; ++x) m[x] = Convolve(s, 1, cols[size_t(x)]);
  }
  // Vertical pass, combined into the destination by the source's draw mode.
  for (int32_t y = ys.first; y < ys.last; ++y) {
    Contribution c = rows[size_t(y - ys.first)];
    c.start -= rowLo;
    TColor32* d = dst.ScanLine(y);
    for (int32_t x = 0; x < w; ++x) src.CombinePixel(Convolve(&mid[size_t(x)], w, c), d[xs.first + x]);
  }
}

}  // namespace vt
