#include "viewer/view_picture.h"

#include <algorithm>
#include <vector>

#include "viewer/view_turn.h"

namespace vt {

namespace {

// src over dst by the source's alpha (both opaque results).
inline TColor32 Over(TColor32 src, TColor32 dst) {
  const uint32_t a = src >> 24;
  if (a == 255) return src;
  if (a == 0) return dst;
  auto mix = [a](uint32_t s, uint32_t d) { return (s * a + d * (255 - a) + 127) / 255; };
  const uint32_t r = mix((src >> 16) & 255, (dst >> 16) & 255), g = mix((src >> 8) & 255, (dst >> 8) & 255),
                 b = mix(src & 255, dst & 255);
  return 0xFF000000u | (r << 16) | (g << 8) | b;
}

// The visible span [first, end) of client pixels on one axis, and for each the image index.
std::vector<int32_t> SourceIndex(int32_t origin, int32_t content, int32_t image, int32_t client, int32_t& first,
                                 int32_t& end) {
  first = std::max(origin, 0);
  end = std::min<int64_t>(int64_t(origin) + content, client);
  std::vector<int32_t> index(size_t(std::max(end - first, 0)));
  for (int32_t c = first; c < end; ++c)
    index[size_t(c - first)] = int32_t(std::min<int64_t>(int64_t(c - origin) * image / content, image - 1));
  return index;
}

}  // namespace

TColor32 HolePattern(int32_t x, int32_t y) { return (((x + y) >> 2) & 1) ? kHoleDark : kHoleLight; }

TColor32 TintFilled(TColor32 background) {
  return Over((kFilledTint & 0x00FFFFFFu) | (64u << 24), background | 0xFF000000u);
}

void DrawPictureNearest(TBitmap32& out, const TvtPictureLayers& layers, int32_t originX, int32_t originY,
                        int32_t contentW, int32_t contentH) {
  const TBitmap32* image = layers.Image;
  if (image == nullptr || image->Empty() || contentW <= 0 || contentH <= 0) return;
  const TBitmap32* bg = layers.Background;
  if (bg != nullptr && (bg->Width() != image->Width() || bg->Height() != image->Height())) bg = nullptr;
  const TPictureSize stored{image->Width(), image->Height()};
  const TPictureSize shown = TurnedSize(stored, layers.Turn);
  int32_t x0, x1, y0, y1;
  const std::vector<int32_t> sx = SourceIndex(originX, contentW, shown.Width, out.Width(), x0, x1);
  const std::vector<int32_t> sy = SourceIndex(originY, contentH, shown.Height, out.Height(), y0, y1);
  auto shade = [&layers](TColor32 p, const TColor32* under, int32_t x, int32_t y) {
    if ((p >> 24) == 255) return p;
    TColor32 back = HolePattern(x, y);
    if (under != nullptr && (*under >> 24) != 0) {
      back = Over(*under, back);
      if (layers.TintFilled) back = TintFilled(back);
    }
    return Over(p, back);
  };
  if (layers.Turn == 0) {
    for (int32_t y = y0; y < y1; ++y) {
      const int32_t row = sy[size_t(y - y0)];
      const TColor32* src = image->ScanLine(row);
      const TColor32* under = bg ? bg->ScanLine(row) : nullptr;
      TColor32* dst = out.ScanLine(y);
      for (int32_t x = x0; x < x1; ++x) {
        const int32_t col = sx[size_t(x - x0)];
        dst[x] = shade(src[col], under ? under + col : nullptr, x, y);
      }
    }
    return;
  }
  // Turned: a shown pixel's stored position is a sum of a part that depends on the shown column
  // and a part that depends on the shown row, each worked out once per column or row.
  const TvtTurnMap toStored = PictureToViewPixels(layers.Turn, stored).Inverse();
  std::vector<int64_t> fromX(sx.size()), fromY(sy.size());
  for (size_t i = 0; i < sx.size(); ++i)
    fromX[i] = int64_t(toStored.XX) * sx[i] + int64_t(toStored.YX) * sx[i] * stored.Width;
  for (size_t i = 0; i < sy.size(); ++i)
    fromY[i] = int64_t(toStored.XY) * sy[i] + toStored.X0 + (int64_t(toStored.YY) * sy[i] + toStored.Y0) * stored.Width;
  const TColor32* src = image->Bits();
  const TColor32* under = bg ? bg->Bits() : nullptr;
  for (int32_t y = y0; y < y1; ++y) {
    const int64_t rowPart = fromY[size_t(y - y0)];
    TColor32* dst = out.ScanLine(y);
    for (int32_t x = x0; x < x1; ++x) {
      const int64_t at = rowPart + fromX[size_t(x - x0)];
      dst[x] = shade(src[at], under ? under + at : nullptr, x, y);
    }
  }
}

void DrawPictureAtSize(TBitmap32& out, const TBitmap32& picture, int32_t originX, int32_t originY) {
  const int32_t x0 = std::max(originX, 0), x1 = std::min<int64_t>(int64_t(originX) + picture.Width(), out.Width());
  const int32_t y0 = std::max(originY, 0), y1 = std::min<int64_t>(int64_t(originY) + picture.Height(), out.Height());
  for (int32_t y = y0; y < y1; ++y) {
    const TColor32* src = picture.ScanLine(y - originY) - originX;
    TColor32* dst = out.ScanLine(y);
    for (int32_t x = x0; x < x1; ++x) dst[x] = Over(src[x], HolePattern(x, y));
  }
}

void DrawPictureFrame(TBitmap32& out, int32_t originX, int32_t originY, int32_t contentW, int32_t contentH) {
  const int32_t l = originX - 1, t = originY - 1, r = originX + contentW, b = originY + contentH;
  for (int32_t x = std::max(l, 0); x <= std::min(r, out.Width() - 1); ++x) {
    if (t >= 0 && t < out.Height()) out.ScanLine(t)[x] = kPictureFrame;
    if (b >= 0 && b < out.Height()) out.ScanLine(b)[x] = kPictureFrame;
  }
  for (int32_t y = std::max(t, 0); y <= std::min(b, out.Height() - 1); ++y) {
    if (l >= 0 && l < out.Width()) out.ScanLine(y)[l] = kPictureFrame;
    if (r >= 0 && r < out.Width()) out.ScanLine(y)[r] = kPictureFrame;
  }
}

}  // namespace vt
