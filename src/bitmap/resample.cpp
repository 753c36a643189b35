// Resamplers of TBitmap32: nearest pixel and a separable kernel convolution (Lanczos).
//
// Geometry: the destination rectangle's pixel centres are mapped linearly onto the source
// rectangle, so (dx + 0.5) in the destination lands at srcLeft + (dx + 0.5) * sw / dw in the
// source. Source reads are clamped to the part of the source rectangle inside the bitmap.
#include <algorithm>
#include <cmath>
#include <numbers>

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
  const Span xs = ClipSpan(dstRect.Left, dstRect.Right, dst.Width());
  const Span ys = ClipSpan(dstRect.Top, dstRect.Bottom, dst.Height());
  if (xs.first >= xs.last || ys.first >= ys.last) return;
  const int32_t vx0 = std::max(srcRect.Left, 0), vx1 = std::min(srcRect.Right, src.Width());
  const int32_t vy0 = std::max(srcRect.Top, 0), vy1 = std::min(srcRect.Bottom, src.Height());
  if (vx0 >= vx1 || vy0 >= vy1) return;
  const auto cols = BuildContributions(*kernel_, dstRect.Left, dstRect.Right, srcRect.Left,
                                       srcRect.Right, vx0, vx1, xs);
  const auto rows = BuildContributions(*kernel_, dstRect.Top, dstRect.Bottom, srcRect.Top,
                                       srcRect.Bottom, vy0, vy1, ys);
  // Source rows any destination row reads.
  int32_t rowLo = vy1, rowHi = vy0;
  for (const Contribution& c : rows) {
    rowLo = std::min(rowLo, c.start);
    rowHi = std::max(rowHi, c.start + int32_t(c.weights.size()));
  }
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
