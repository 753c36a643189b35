// TBitmap32: the 32-bit ARGB bitmap that every picture of the program lives in.
// Pixels are Width x Height words in rows from top to bottom, no gaps between rows. A word
// holds alpha in bits 24..31, red 16..23, green 8..15, blue 0..7 (in memory: B, G, R, A),
// the same layout as QImage::Format_ARGB32 on little-endian machines.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

#include "base/stream.h"
#include "bitmap/pixel_storage.h"

namespace vt {

using TColor32 = uint32_t;

constexpr TColor32 Color32(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
  return (TColor32(a) << 24) | (TColor32(r) << 16) | (TColor32(g) << 8) | TColor32(b);
}
constexpr uint8_t AlphaComponent(TColor32 c) { return uint8_t(c >> 24); }
constexpr uint8_t RedComponent(TColor32 c) { return uint8_t(c >> 16); }
constexpr uint8_t GreenComponent(TColor32 c) { return uint8_t(c >> 8); }
constexpr uint8_t BlueComponent(TColor32 c) { return uint8_t(c); }

constexpr TColor32 clBlack32 = 0xFF000000u;
constexpr TColor32 clWhite32 = 0xFFFFFFFFu;
constexpr TColor32 clTransparent32 = 0x00000000u;

// Half-open rectangle [Left, Right) x [Top, Bottom).
struct TRect {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  bool operator==(const TRect&) const = default;
};
inline TRect MakeRect(int32_t l, int32_t t, int32_t r, int32_t b) { return TRect{l, t, r, b}; }

enum TDrawMode : int { dmOpaque = 0, dmBlend = 1, dmCustom = 2 };

// Raised by LoadFromStream for data that is not a bitmap file we can read.
class EBitmapError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TBitmap32;

// Combines one source pixel F with one destination pixel B (dmCustom). Receives B by reference.
using TPixelCombineEvent = void (*)(TColor32 f, TColor32& b, void* context);

// Blends F over B by F's alpha (0 keeps B, 255 writes F).
TColor32 BlendPixel(TColor32 f, TColor32 b);

// A filter kernel for TKernelResampler.
class TCustomKernel {
 public:
  virtual ~TCustomKernel() = default;
  virtual double Filter(double x) const = 0;
  virtual double GetWidth() const = 0;
};

// Windowed sinc: sinc(x) * sinc(x / Width) for |x| < Width, else 0. Width 3 by default,
// limited to 1..16 when set.
class TLanczosKernel : public TCustomKernel {
 public:
  double Filter(double x) const override;
  double GetWidth() const override { return Width; }
  void SetWidth(double w);
  double Width = 3;
};

// Stretches a source rectangle into a destination rectangle.
class TCustomResampler {
 public:
  virtual ~TCustomResampler() = default;
  // Draws src's srcRect into dst's dstRect (both already valid and non-empty; dstRect may reach
  // outside dst, and is clipped). Pixels are combined by src's DrawMode.
  virtual void Resample(TBitmap32& dst, const TRect& dstRect, const TBitmap32& src,
                        const TRect& srcRect) const = 0;
  virtual std::unique_ptr<TCustomResampler> Clone() const = 0;
};

class TNearestResampler : public TCustomResampler {
 public:
  void Resample(TBitmap32& dst, const TRect& dstRect, const TBitmap32& src,
                const TRect& srcRect) const override;
  std::unique_ptr<TCustomResampler> Clone() const override;
};

// Separable convolution with Kernel (TLanczosKernel unless another is given); colour and
// alpha alike, results clamped to 0..255.
class TKernelResampler : public TCustomResampler {
 public:
  TKernelResampler();
  explicit TKernelResampler(std::unique_ptr<TCustomKernel> kernel);
  void Resample(TBitmap32& dst, const TRect& dstRect, const TBitmap32& src,
                const TRect& srcRect) const override;
  // The same pixels the plain way: one pixel and one tap at a time on the calling thread.
  // Resample vectorises the passes and shares large ones among threads; tests compare the two.
  void ResampleReference(TBitmap32& dst, const TRect& dstRect, const TBitmap32& src,
                         const TRect& srcRect) const;
  std::unique_ptr<TCustomResampler> Clone() const override;
  TCustomKernel& Kernel() { return *kernel_; }
  const TCustomKernel& Kernel() const { return *kernel_; }
  void SetKernel(std::unique_ptr<TCustomKernel> kernel);

 private:
  std::unique_ptr<TCustomKernel> kernel_;
};

class TBitmap32 {
 public:
  TBitmap32();
  TBitmap32(int32_t width, int32_t height);
  TBitmap32(const TBitmap32& other);             // like Assign
  TBitmap32& operator=(const TBitmap32& other);  // like Assign
  TBitmap32(TBitmap32&& other) noexcept;
  TBitmap32& operator=(TBitmap32&& other) noexcept;
  // Takes other's size and pixels (other becomes empty); this bitmap keeps its own draw mode,
  // resampler and other settings.
  void TakePixels(TBitmap32& other) noexcept;
  ~TBitmap32();

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  bool Empty() const { return width_ <= 0 || height_ <= 0; }
  TRect BoundsRect() const { return TRect{0, 0, width_, height_}; }

  // Reallocates; a changed size gives a new allocation whose pixels are all 0, an unchanged size
  // keeps the pixels.
  // Negative sizes count as 0. Raises std::bad_alloc when memory cannot be had (more than
  // kMaxPixels pixels included).
  void SetSize(int32_t width, int32_t height);
  void SetWidth(int32_t width) { SetSize(width, height_); }
  void SetHeight(int32_t height) { SetSize(width_, height); }
  void Clear(TColor32 color = 0);
  void Assign(const TBitmap32& other);
  void Delete() { SetSize(0, 0); }

  // Direct access: no checks.
  TColor32* Bits() { return bits_.data(); }
  const TColor32* Bits() const { return bits_.data(); }
  TColor32* ScanLine(int32_t y) { return bits_.data() + size_t(y) * size_t(width_); }
  const TColor32* ScanLine(int32_t y) const { return bits_.data() + size_t(y) * size_t(width_); }
  TColor32& PixelRef(int32_t x, int32_t y) { return ScanLine(y)[x]; }
  TColor32 Pixel(int32_t x, int32_t y) const { return ScanLine(y)[x]; }
  void SetPixel(int32_t x, int32_t y, TColor32 c) { ScanLine(y)[x] = c; }

  // Safe access: reads outside return OuterColor, writes outside are ignored.
  TColor32 PixelS(int32_t x, int32_t y) const;
  void SetPixelS(int32_t x, int32_t y, TColor32 c);

  // Half-open rectangle, clipped to the bitmap.
  void FillRect(int32_t left, int32_t top, int32_t right, int32_t bottom, TColor32 color);
  void FillRect(const TRect& r, TColor32 color) { FillRect(r.Left, r.Top, r.Right, r.Bottom, color); }

  // Draws the whole bitmap with its top-left corner at (x, y) of dst, clipped, by DrawMode.
  void DrawTo(TBitmap32& dst, int32_t x, int32_t y) const;
  // Draws srcRect of this bitmap into dstRect of dst, stretching with Resampler when the sizes
  // differ, clipped to dst, by DrawMode. srcRect is clipped to this bitmap first.
  void DrawTo(TBitmap32& dst, const TRect& dstRect, const TRect& srcRect) const;
  // Spelling used by callers that think in terms of "draw this into that".
  void Draw(TBitmap32& dst, int32_t x, int32_t y) const { DrawTo(dst, x, y); }
  void Draw(TBitmap32& dst, const TRect& dstRect, const TRect& srcRect) const {
    DrawTo(dst, dstRect, srcRect);
  }

  void FlipHorizontal();
  void FlipVertical();
  // (x, y) -> (H - 1 - y, x); width and height exchange.
  void TurnClockwise();
  void TurnHalf();
  // (x, y) -> (y, W - 1 - x); width and height exchange.
  void TurnCounterClockwise();
  // Every alpha := 255.
  void MakeOpaque();

  // Writes a 32-bit bottom-up BMP file at the stream's position.
  void SaveToStream(TStream& stream) const;
  // Reads a bottom-up (or top-down) 32- or 24-bit uncompressed BMP file from the stream's
  // position. Raises EBitmapError for anything else; never reads past the file's pixel data and
  // never allocates more than the stream can supply.
  void LoadFromStream(TStream& stream);
  void SaveToFile(const std::string& path) const;
  void LoadFromFile(const std::string& path);

  TDrawMode DrawMode = dmOpaque;
  TColor32 OuterColor = 0;
  TPixelCombineEvent OnPixelCombine = nullptr;
  void* PixelCombineContext = nullptr;

  // Owned; TNearestResampler by default.
  TCustomResampler& Resampler() const { return *resampler_; }
  void SetResampler(std::unique_ptr<TCustomResampler> resampler);

  // Combines one source pixel into a destination word by DrawMode (used by the resamplers).
  void CombinePixel(TColor32 f, TColor32& b) const;

  // Largest number of pixels SetSize accepts (guards 32-bit size arithmetic in callers).
  static constexpr int64_t kMaxPixels = int64_t(1) << 31;

 private:
  int32_t width_ = 0;
  int32_t height_ = 0;
  TPixelStorage bits_;
  std::unique_ptr<TCustomResampler> resampler_;
};

}  // namespace vt
