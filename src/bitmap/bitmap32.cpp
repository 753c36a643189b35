// TBitmap32: storage, pixel access, filling, drawing, flips and turns.
#include "bitmap/bitmap32.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace vt {

TColor32 BlendPixel(TColor32 f, TColor32 b) {
  const uint32_t fa = f >> 24;
  if (fa == 0) return b;
  if (fa == 255) return f;
  const uint32_t ba = b >> 24;
  // Colour: B + (F - B) * Fa / 255, rounded; alpha: Fa + Ba * (255 - Fa) / 255.
  auto mix = [fa](uint32_t fc, uint32_t bc) -> uint32_t {
    const int32_t d = (int32_t(fc) - int32_t(bc)) * int32_t(fa);
    const int32_t v = int32_t(bc) + (d >= 0 ? (d + 127) / 255 : -((-d + 127) / 255));
    return uint32_t(std::clamp(v, 0, 255));
  };
  const uint32_t a = fa + (ba * (255 - fa) + 127) / 255;
  return (std::min<uint32_t>(a, 255) << 24) | (mix((f >> 16) & 255, (b >> 16) & 255) << 16) |
         (mix((f >> 8) & 255, (b >> 8) & 255) << 8) | mix(f & 255, b & 255);
}

TBitmap32::TBitmap32() : resampler_(std::make_unique<TNearestResampler>()) {}

TBitmap32::TBitmap32(int32_t width, int32_t height) : TBitmap32() { SetSize(width, height); }

TBitmap32::TBitmap32(const TBitmap32& other) : TBitmap32() { Assign(other); }

TBitmap32& TBitmap32::operator=(const TBitmap32& other) {
  if (this != &other) Assign(other);
  return *this;
}

TBitmap32::TBitmap32(TBitmap32&& other) noexcept
    : DrawMode(other.DrawMode),
      OuterColor(other.OuterColor),
      OnPixelCombine(other.OnPixelCombine),
      PixelCombineContext(other.PixelCombineContext),
      width_(std::exchange(other.width_, 0)),
      height_(std::exchange(other.height_, 0)),
      bits_(std::move(other.bits_)),
      resampler_(std::move(other.resampler_)) {
  other.resampler_ = std::make_unique<TNearestResampler>();
}

TBitmap32& TBitmap32::operator=(TBitmap32&& other) noexcept {
  if (this != &other) {
    DrawMode = other.DrawMode;
    OuterColor = other.OuterColor;
    OnPixelCombine = other.OnPixelCombine;
    PixelCombineContext = other.PixelCombineContext;
    width_ = std::exchange(other.width_, 0);
    height_ = std::exchange(other.height_, 0);
    bits_ = std::move(other.bits_);
    std::swap(resampler_, other.resampler_);
  }
  return *this;
}

TBitmap32::~TBitmap32() = default;

void TBitmap32::TakePixels(TBitmap32& other) noexcept {
  if (this == &other) return;
  width_ = std::exchange(other.width_, 0);
  height_ = std::exchange(other.height_, 0);
  bits_ = std::move(other.bits_);
}

void TBitmap32::SetSize(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) {
    width = 0;
    height = 0;
  }
  if (width == width_ && height == height_) return;
  const int64_t count = int64_t(width) * int64_t(height);
  if (count > kMaxPixels) throw std::bad_alloc();  // out of memory, as for any allocation
  // Release first so that the old and the new storage never coexist.
  bits_.Release();
  width_ = 0;
  height_ = 0;
  bits_.Allocate(size_t(count));
  width_ = width;
  height_ = height;
}

void TBitmap32::Clear(TColor32 color) { std::fill(bits_.begin(), bits_.end(), color); }

void TBitmap32::Assign(const TBitmap32& other) {
  if (this == &other) return;
  SetSize(other.width_, other.height_);
  if (!bits_.empty()) std::memcpy(bits_.data(), other.bits_.data(), bits_.size() * sizeof(TColor32));
  DrawMode = other.DrawMode;
  OuterColor = other.OuterColor;
  OnPixelCombine = other.OnPixelCombine;
  PixelCombineContext = other.PixelCombineContext;
  resampler_ = other.resampler_->Clone();
}

TColor32 TBitmap32::PixelS(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return OuterColor;
  return Pixel(x, y);
}

void TBitmap32::SetPixelS(int32_t x, int32_t y, TColor32 c) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  SetPixel(x, y, c);
}

void TBitmap32::FillRect(int32_t left, int32_t top, int32_t right, int32_t bottom, TColor32 color) {
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, width_);
  bottom = std::min(bottom, height_);
  if (left >= right || top >= bottom) return;
  for (int32_t y = top; y < bottom; ++y) std::fill(ScanLine(y) + left, ScanLine(y) + right, color);
}

void TBitmap32::SetResampler(std::unique_ptr<TCustomResampler> resampler) {
  resampler_ = resampler ? std::move(resampler) : std::make_unique<TNearestResampler>();
}

void TBitmap32::CombinePixel(TColor32 f, TColor32& b) const {
  switch (DrawMode) {
    case dmBlend:
      b = BlendPixel(f, b);
      break;
    case dmCustom:
      if (OnPixelCombine) {
        OnPixelCombine(f, b, PixelCombineContext);
        break;
      }
      [[fallthrough]];
    default:
      b = f;
  }
}

void TBitmap32::DrawTo(TBitmap32& dst, int32_t x, int32_t y) const {
  DrawTo(dst, TRect{x, y, int32_t(int64_t(x) + width_), int32_t(int64_t(y) + height_)}, BoundsRect());
}

void TBitmap32::DrawTo(TBitmap32& dst, const TRect& dstRect, const TRect& srcRect) const {
  if (Empty() || dst.Empty() || dstRect.IsEmpty() || srcRect.IsEmpty()) return;
  if (dstRect.Width() != srcRect.Width() || dstRect.Height() != srcRect.Height()) {
    // Stretching: the resampler maps the whole rectangles onto each other and clips to dst.
    TRect s = srcRect;
    s.Left = std::max(s.Left, 0);
    s.Top = std::max(s.Top, 0);
    s.Right = std::min(s.Right, width_);
    s.Bottom = std::min(s.Bottom, height_);
    if (s.IsEmpty()) return;
    resampler_->Resample(dst, dstRect, *this, srcRect);
    return;
  }
  // Same size: a block transfer. Clip against the source, then against the destination.
  int64_t sl = srcRect.Left, st = srcRect.Top, sr = srcRect.Right, sb = srcRect.Bottom;
  int64_t dl = dstRect.Left, dt = dstRect.Top;
  if (sl < 0) { dl -= sl; sl = 0; }
  if (st < 0) { dt -= st; st = 0; }
  sr = std::min<int64_t>(sr, width_);
  sb = std::min<int64_t>(sb, height_);
  if (dl < 0) { sl -= dl; dl = 0; }
  if (dt < 0) { st -= dt; dt = 0; }
  sr = std::min<int64_t>(sr, sl + (dst.width_ - dl));
  sb = std::min<int64_t>(sb, st + (dst.height_ - dt));
  if (sl >= sr || st >= sb) return;
  const int32_t w = int32_t(sr - sl);
  const bool opaque = DrawMode == dmOpaque || (DrawMode == dmCustom && !OnPixelCombine);
  for (int64_t row = 0; row < sb - st; ++row) {
    const TColor32* s = ScanLine(int32_t(st + row)) + sl;
    TColor32* d = dst.ScanLine(int32_t(dt + row)) + dl;
    if (opaque) {
      std::memmove(d, s, size_t(w) * sizeof(TColor32));
    } else {
      for (int32_t i = 0; i < w; ++i) CombinePixel(s[i], d[i]);
    }
  }
}

void TBitmap32::FlipHorizontal() {
  for (int32_t y = 0; y < height_; ++y) std::reverse(ScanLine(y), ScanLine(y) + width_);
}

void TBitmap32::FlipVertical() {
  for (int32_t top = 0, bottom = height_ - 1; top < bottom; ++top, --bottom)
    std::swap_ranges(ScanLine(top), ScanLine(top) + width_, ScanLine(bottom));
}

void TBitmap32::TurnHalf() { std::reverse(bits_.begin(), bits_.end()); }

void TBitmap32::TurnClockwise() {
  if (Empty()) return;
  const int32_t w = width_, h = height_;
  TPixelStorage out;
  out.Allocate(bits_.size());
  // Source (x, y) goes to (h - 1 - y, x) of a h-wide bitmap.
  for (int32_t y = 0; y < h; ++y) {
    const TColor32* s = ScanLine(y);
    for (int32_t x = 0; x < w; ++x) out.data()[size_t(x) * h + (h - 1 - y)] = s[x];
  }
  bits_.Swap(out);
  width_ = h;
  height_ = w;
}

void TBitmap32::TurnCounterClockwise() {
  if (Empty()) return;
  const int32_t w = width_, h = height_;
  TPixelStorage out;
  out.Allocate(bits_.size());
  // Source (x, y) goes to (y, w - 1 - x) of a h-wide bitmap.
  for (int32_t y = 0; y < h; ++y) {
    const TColor32* s = ScanLine(y);
    for (int32_t x = 0; x < w; ++x) out.data()[size_t(w - 1 - x) * h + y] = s[x];
  }
  bits_.Swap(out);
  width_ = h;
  height_ = w;
}

void TBitmap32::MakeOpaque() {
  for (TColor32& c : bits_) c |= 0xFF000000u;
}

}  // namespace vt
