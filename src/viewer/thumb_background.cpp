// The thumbnail background: the chosen thumbnail scaled (Lanczos) into its place over the main
// image, and every pixel around that place filled from the nearest edge pixel.
#include <algorithm>

#include "viewer/thumb_source.h"

namespace vt {

namespace {

void ExtendEdges(TBitmap32& bg, const TRect& b) {
  if (b.IsEmpty()) return;
  const int32_t w = bg.Width(), h = bg.Height();
  for (int32_t y = 0; y < h; ++y) {
    const bool rowInside = y >= b.Top && y < b.Bottom;
    const int32_t sy = std::clamp(y, b.Top, b.Bottom - 1);
    TColor32* line = bg.ScanLine(y);
    for (int32_t x = 0; x < w; ++x) {
      if (rowInside && x >= b.Left && x < b.Right) {
        x = b.Right - 1;  // skip the inside of the row
        continue;
      }
      line[x] = bg.PixelS(std::clamp(x, b.Left, b.Right - 1), sy);
    }
  }
}

}  // namespace

std::unique_ptr<TBitmap32> TvtThumbSource::MakeThumbBackground(int32_t w, int32_t h) {
  auto bg = std::make_unique<TBitmap32>(w, h);
  bg->Clear(0);
  bg->DrawMode = dmBlend;
  TvtThumb* chosen = GetThumbs(MainThumbIndex);
  TRect bounds = chosen ? chosen->GetBoundsInImage() : bg->BoundsRect();
  const TPictureSize image = ImageSize();
  if (chosen && image.Width > 0 && image.Height > 0 && (image.Width != w || image.Height != h)) {
    // The full-size place, scaled to this picture (its edges may lie outside it).
    auto scale = [](int32_t v, int32_t to, int32_t from) {
      return int32_t((int64_t(v) * to + (v < 0 ? -from / 2 : from / 2)) / from);
    };
    bounds = TRect{scale(bounds.Left, w, image.Width), scale(bounds.Top, h, image.Height),
                   scale(bounds.Right, w, image.Width), scale(bounds.Bottom, h, image.Height)};
  }
  if (!mainThumb_->Empty() && !bounds.IsEmpty()) {
    mainThumb_->SetResampler(std::make_unique<TKernelResampler>(std::make_unique<TLanczosKernel>()));
    mainThumb_->DrawMode = dmBlend;
    mainThumb_->DrawTo(*bg, bounds, mainThumb_->BoundsRect());
    ExtendEdges(*bg, bounds);
  }
  return bg;
}

TBitmap32* TvtThumbSource::GetThumbBackground() {
  if (mainThumb_ == nullptr || !HasImage()) return nullptr;
  if (thumbBackground_) return thumbBackground_.get();
  TBitmap32* image = MainImage();
  if (image == nullptr) return nullptr;
  thumbBackground_ = MakeThumbBackground(image->Width(), image->Height());
  return thumbBackground_.get();
}

TBitmap32* TvtThumbSource::GetPreviewBackground() {
  if (mainThumb_ == nullptr || preview_ == nullptr) return nullptr;
  if (!previewBackground_) previewBackground_ = MakeThumbBackground(preview_->Width(), preview_->Height());
  return previewBackground_.get();
}

}  // namespace vt
