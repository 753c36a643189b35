// Raw pictures inside segments: RGB triplets, a 256-entry palette with indices, and TIFF-style
// YCbCr blocks. Missing bytes leave pixels transparent; Completeness is the share of the
// needed bytes that was present.
//
// Sizes come from the file and are untrusted: products are taken in 64 bits, and a picture may
// only be given a bitmap when RawPictureFits agrees (see thumb_handler.h), so a few bytes that
// declare 100000 x 100000 pixels add nothing instead of allocating gigabytes.
#include <algorithm>

#include "base/limits.h"
#include "thumbs/thumb_handler.h"
#include "thumbs/ycbcr_pixel.h"

namespace vt {

int64_t RawBytesNeeded(int32_t width, int32_t height, int64_t bytesPerPixel, int64_t extra) {
  if (width <= 0 || height <= 0) return extra;
  return int64_t(width) * int64_t(height) * bytesPerPixel + extra;
}

int32_t RawCompleteness(int64_t available, int64_t needed) {
  if (available >= needed) return 100;
  if (available <= 0) return 0;
  const int64_t num = available * 100;
  int64_t q = num / needed;
  const int64_t r2 = (num % needed) * 2;
  if (r2 > needed || (r2 == needed && (q & 1) != 0)) ++q;
  return q >= 100 ? 99 : int32_t(q);
}

bool RawPictureFits(int32_t width, int32_t height, int64_t needed, int64_t available) {
  if (width <= 0 || height <= 0) return false;
  const int64_t pixels = int64_t(width) * int64_t(height);
  if (pixels > kFullFramePixels) return false;
  if (pixels <= kRawAnyPixels) return true;
  return needed <= available * kRawBytesPerDataByte;
}

namespace {

struct RawLayout {
  int64_t needed = 0;
  int32_t size = 0;
  int32_t completeness = 0;
};

RawLayout Measure(int64_t available, int64_t needed) {
  RawLayout l;
  l.needed = needed;
  l.completeness = RawCompleteness(available, needed);
  l.size = int32_t(std::min<int64_t>(available, needed));
  return l;
}

std::unique_ptr<TBitmap32> ClearedBitmap(int32_t width, int32_t height) {
  auto bmp = std::make_unique<TBitmap32>();
  bmp->SetSize(width, height);
  bmp->Clear(0);
  return bmp;
}

}  // namespace

PkelJpegThumb TkelJpegThumbHandler::AddRGBThumb(const uint8_t* data, int32_t offset, int32_t length,
                                                int32_t width, int32_t height,
                                                const std::string& caption) {
  if (length <= 0) return nullptr;
  const int64_t needed = RawBytesNeeded(width, height, 3);
  if (!RawPictureFits(width, height, needed, length)) return nullptr;
  const RawLayout l = Measure(length, needed);
  auto bmp = ClearedBitmap(width, height);
  const int64_t pixels = std::min<int64_t>(int64_t(width) * height, length / 3);
  TColor32* out = bmp->Bits();
  for (int64_t i = 0; i < pixels; ++i, data += 3) out[i] = Color32(data[0], data[1], data[2]);
  return Owner.AddThumb(tkRGB, offset, l.size, width, height, l.completeness, std::move(bmp),
                        nullptr, caption);
}

PkelJpegThumb TkelJpegThumbHandler::AddPaletteThumb(const uint8_t* data, int32_t offset,
                                                    int32_t length, int32_t width, int32_t height,
                                                    const std::string& caption) {
  if (length <= 768) return nullptr;
  const int64_t needed = RawBytesNeeded(width, height, 1, 768);
  if (!RawPictureFits(width, height, needed, length)) return nullptr;
  const RawLayout l = Measure(length, needed);
  TColor32 palette[256];
  for (int i = 0; i < 256; ++i) palette[i] = Color32(data[i * 3], data[i * 3 + 1], data[i * 3 + 2]);
  auto bmp = ClearedBitmap(width, height);
  const int64_t pixels = std::min<int64_t>(int64_t(width) * height, length - 768);
  TColor32* out = bmp->Bits();
  const uint8_t* idx = data + 768;
  for (int64_t i = 0; i < pixels; ++i) out[i] = palette[idx[i]];
  return Owner.AddThumb(tkPalette, offset, l.size, width, height, l.completeness, std::move(bmp),
                        nullptr, caption);
}

PkelJpegThumb TkelJpegThumbHandler::AddYCbCrThumb(const uint8_t* data, int32_t offset,
                                                  int32_t length, int32_t width, int32_t height,
                                                  int32_t subH, int32_t subV,
                                                  const std::string& caption) {
  if (length <= 0 || subH <= 0 || subV <= 0) return nullptr;
  if (width <= 0 || height <= 0 || width % subH != 0 || height % subV != 0) return nullptr;
  const int64_t pixels = int64_t(width) * height;
  const int64_t needed = pixels + (pixels / subH / subV) * 2;
  if (!RawPictureFits(width, height, needed, length)) return nullptr;
  const RawLayout l = Measure(length, needed);
  auto bmp = ClearedBitmap(width, height);

  const int32_t blocksWide = width / subH;
  const int32_t blocksHigh = height / subV;
  const int64_t blockBytes = int64_t(subH) * subV + 2;
  for (int32_t by = 0; by < blocksHigh; ++by) {
    for (int32_t bx = 0; bx < blocksWide; ++bx) {
      const int64_t start = (int64_t(by) * blocksWide + bx) * blockBytes;
      if (start >= length) break;
      // A block whose chroma bytes are missing takes neutral chroma (128) for the lumas present.
      const int64_t cbAt = start + int64_t(subH) * subV;
      const int32_t cb = cbAt < length ? data[cbAt] : 128;
      const int32_t cr = cbAt + 1 < length ? data[cbAt + 1] : 128;
      for (int32_t j = 0; j < subV; ++j) {
        TColor32* row = bmp->ScanLine(by * subV + j) + int64_t(bx) * subH;
        for (int32_t i = 0; i < subH; ++i) {
          const int64_t at = start + int64_t(j) * subH + i;
          if (at >= length) break;
          row[i] = YCbCrPixel(data[at], cb, cr);
        }
      }
    }
  }
  PkelJpegThumb t = Owner.AddThumb(tkYCbCr, offset, l.size, width, height, l.completeness,
                                   std::move(bmp), nullptr, caption);
  t->SubsamplingH = subH;
  t->SubsamplingV = subV;
  return t;
}

}  // namespace vt
