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

TBitmap32* TvtThumbSource::GetThumbBackground() {
  if (mainThumb_ == nullptr || !HasImage()) return nullptr;
  if (thumbBackground_) return thumbBackground_.get();
  auto bg = std::make_unique<TBitmap32>(mainImage_->Width(), mainImage_->Height());
  bg->Clear(0);
  bg->DrawMode = dmBlend;
  TvtThumb* chosen = GetThumbs(MainThumbIndex);
  const TRect bounds = chosen ? chosen->GetBoundsInImage() : bg->BoundsRect();
  if (!mainThumb_->Empty() && !bounds.IsEmpty()) {
    mainThumb_->SetResampler(std::make_unique<TKernelResampler>(std::make_unique<TLanczosKernel>()));
    mainThumb_->DrawMode = dmBlend;
    mainThumb_->DrawTo(*bg, bounds, mainThumb_->BoundsRect());
    ExtendEdges(*bg, bounds);
  }
  thumbBackground_ = std::move(bg);
  return thumbBackground_.get();
}

}  // namespace vt
