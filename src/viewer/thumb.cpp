#include "viewer/thumb.h"

#include "thumbs/picture_geometry.h"
#include "viewer/thumb_source.h"

namespace vt {

TvtThumb::TvtThumb(TvtThumbSource& source, std::unique_ptr<TBitmap32> bitmap)
    : Source(source), Bitmap(bitmap ? std::move(bitmap) : std::make_unique<TBitmap32>()) {
  Source.AttachThumb(this);
}

TvtThumb::~TvtThumb() { Source.DetachThumb(this); }

void TvtThumb::Invalidate() {
  Transformed.reset();
  BoundsValid = false;
}

void TvtThumb::SetOrientation(uint8_t value) {
  if (value == orientation_) return;
  orientation_ = value;
  Invalidate();
}

void TvtThumb::SetCrop(int32_t& field, int32_t value) {
  if (value < 0) value = 0;
  if (value == field) return;
  field = value;
  Invalidate();
}

void TvtThumb::SetCropLeft(int32_t value) { SetCrop(cropLeft_, value); }
void TvtThumb::SetCropTop(int32_t value) { SetCrop(cropTop_, value); }
void TvtThumb::SetCropRight(int32_t value) { SetCrop(cropRight_, value); }
void TvtThumb::SetCropBottom(int32_t value) { SetCrop(cropBottom_, value); }

TBitmap32* TvtThumb::GetBitmap() {
  const bool cropped = cropLeft_ > 0 || cropTop_ > 0 || cropRight_ > 0 || cropBottom_ > 0;
  if (orientation_ == 0 && !cropped) return Bitmap.get();
  if (Transformed) return Transformed.get();
  auto copy = std::make_unique<TBitmap32>(*Bitmap);
  ApplyOrientation(*copy, orientation_);
  if (cropped) {
    // Crops larger than the picture leave an empty bitmap.
    const int32_t w = copy->Width() - cropLeft_ - cropRight_;
    const int32_t h = copy->Height() - cropTop_ - cropBottom_;
    auto cut = std::make_unique<TBitmap32>(w > 0 ? w : 0, h > 0 ? h : 0);
    cut->Clear(0);
    copy->DrawMode = dmOpaque;
    copy->DrawTo(*cut, -cropLeft_, -cropTop_);
    copy = std::move(cut);
  }
  Transformed = std::move(copy);
  return Transformed.get();
}

TRect TvtThumb::GetBoundsInImage() {
  if (BoundsValid) return BoundsInImage;
  const TPictureSize main = Source.ImageSize();
  const int32_t W = main.Width, H = main.Height;
  BoundsInImage = TRect{0, 0, W, H};
  const TBitmap32* thumb = GetBitmap();
  if (!SameAspect(W, H, *thumb) && !thumb->Empty() && W > 0 && H > 0) {
    const TPictureSize s = FillSize(thumb->Width(), thumb->Height(), W, H);
    const int32_t dx = (W - s.Width) / 2, dy = (H - s.Height) / 2;
    BoundsInImage = TRect{dx, dy, dx + s.Width, dy + s.Height};
  }
  BoundsValid = true;
  return BoundsInImage;
}

}  // namespace vt
