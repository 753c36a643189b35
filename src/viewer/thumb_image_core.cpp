#include "viewer/thumb_image_core.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace vt {

namespace {

// Flips mirror the picture as it is shown. For the quarter-turned orientations (4 to 7) that is
// the other flip of the stored bitmap: mirroring a turned picture left to right mirrors the
// stored one top to bottom. (Taking the stored bitmap's flip instead would turn the shown
// picture upside down while its left and right crops swap, so the crops would frame the wrong
// part.)
constexpr uint8_t kFlipH[8] = {1, 0, 3, 2, 5, 4, 7, 6};
constexpr uint8_t kFlipV[8] = {3, 2, 1, 0, 7, 6, 5, 4};
constexpr uint8_t kRotateLeft[8] = {7, 4, 5, 6, 3, 0, 1, 2};
constexpr uint8_t kRotateRight[8] = {5, 6, 7, 4, 1, 2, 3, 0};

}  // namespace

uint8_t FlipHorizontallyOrientation(uint8_t from) { return kFlipH[from & 7]; }
uint8_t FlipVerticallyOrientation(uint8_t from) { return kFlipV[from & 7]; }
uint8_t RotateLeftOrientation(uint8_t from) { return kRotateLeft[from & 7]; }
uint8_t RotateRightOrientation(uint8_t from) { return kRotateRight[from & 7]; }

void TvtThumbImageCore::SetBitmap(const TBitmap32* bitmap) {
  bitmap_ = bitmap;
  const uint8_t o = orientation_;
  orientation_ = 0;
  shown_.reset();
  SetOrientation(o);
  Repaint();
}

void TvtThumbImageCore::SetOrientation(uint8_t value) {
  value &= 7;
  if (value == orientation_) return;
  orientation_ = value;
  shown_.reset();
  if (value != 0 && bitmap_ != nullptr) {
    shown_ = std::make_unique<TBitmap32>(*bitmap_);
    ApplyOrientation(*shown_, value);
  }
  Repaint();
}

void TvtThumbImageCore::SetCrop(int32_t side, int32_t value) {
  side &= 3;
  const bool horizontal = side == csLeft || side == csRight;
  const int32_t size = horizontal ? ShownWidth() : ShownHeight();
  const int32_t opposite = crop_[side ^ 2];
  value = std::max(value, 0);
  if (int64_t(size) - value - opposite < kMinCropRemainder) value = std::max(size - opposite - kMinCropRemainder, 0);
  if (value == crop_[side]) return;
  crop_[side] = value;
  Repaint();
  NotifySide(side);
}

void TvtThumbImageCore::LoadValues(uint8_t orientation, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  SetOrientation(orientation);
  crop_[csLeft] = left;
  crop_[csTop] = top;
  crop_[csRight] = right;
  crop_[csBottom] = bottom;
  Repaint();
  NotifyAll();
}

void TvtThumbImageCore::FlipHorizontally() {
  LoadValues(kFlipH[orientation_], crop_[csRight], crop_[csTop], crop_[csLeft], crop_[csBottom]);
}

void TvtThumbImageCore::FlipVertically() {
  LoadValues(kFlipV[orientation_], crop_[csLeft], crop_[csBottom], crop_[csRight], crop_[csTop]);
}

void TvtThumbImageCore::RotateLeft() {
  // left := top, top := right, right := bottom, bottom := left
  LoadValues(kRotateLeft[orientation_], crop_[csTop], crop_[csRight], crop_[csBottom], crop_[csLeft]);
}

void TvtThumbImageCore::RotateRight() {
  // left := bottom, bottom := right, right := top, top := left
  LoadValues(kRotateRight[orientation_], crop_[csBottom], crop_[csLeft], crop_[csTop], crop_[csRight]);
}

TRect TvtThumbImageCore::CropRect() const {
  const int32_t m = kThumbImageMargin;
  return MakeRect(m + crop_[csLeft], m + crop_[csTop], m + ShownWidth() - crop_[csRight],
                  m + ShownHeight() - crop_[csBottom]);
}

uint8_t TvtThumbImageCore::HitTest(int32_t x, int32_t y) const {
  const TRect r = CropRect();
  uint8_t hit = 0;
  const double reach = kCropHitDistance / viewScale_;
  if (std::abs(x - r.Left) <= reach) hit |= dsLeft;
  if (std::abs(y - r.Top) <= reach) hit |= dsTop;
  if (std::abs(x - r.Right) <= reach) hit |= dsRight;
  if (std::abs(y - r.Bottom) <= reach) hit |= dsBottom;
  return hit;
}

void TvtThumbImageCore::BeginDrag(int32_t x, int32_t y) {
  dragSides_ = HitTest(x, y);
  dragX_ = x;
  dragY_ = y;
  std::copy(std::begin(crop_), std::end(crop_), dragCrops_);
}

void TvtThumbImageCore::DragTo(int32_t x, int32_t y) {
  const int32_t dx = x - dragX_, dy = y - dragY_;
  if (dragSides_ & dsLeft) SetCrop(csLeft, dragCrops_[csLeft] + dx);
  if (dragSides_ & dsTop) SetCrop(csTop, dragCrops_[csTop] + dy);
  if (dragSides_ & dsRight) SetCrop(csRight, dragCrops_[csRight] - dx);
  if (dragSides_ & dsBottom) SetCrop(csBottom, dragCrops_[csBottom] - dy);
}

void TvtThumbImageCore::AddClient(IvtThumbImageCropSizeClient* client) {
  if (client == nullptr || std::find(clients_.begin(), clients_.end(), client) != clients_.end()) return;
  clients_.push_back(client);
  for (int32_t side = 0; side < 4; ++side) client->CropChanged(side);
}

void TvtThumbImageCore::RemoveClient(IvtThumbImageCropSizeClient* client) {
  clients_.erase(std::remove(clients_.begin(), clients_.end(), client), clients_.end());
}

void TvtThumbImageCore::NotifySide(int32_t side) {
  const std::vector<IvtThumbImageCropSizeClient*> targets = clients_;
  for (IvtThumbImageCropSizeClient* c : targets) c->CropChanged(side);
}

void TvtThumbImageCore::NotifyAll() {
  for (int32_t side = 0; side < 4; ++side) NotifySide(side);
}

void TvtThumbImageCore::Repaint() {
  if (OnRepaint) OnRepaint();
}

TPictureSize TransformedThumbSize(int32_t w, int32_t h, uint8_t o, int32_t l, int32_t t, int32_t r, int32_t b) {
  if ((o & 7) >= 4) std::swap(w, h);
  return {w - l - r, h - t - b};
}

std::unique_ptr<TBitmap32> TransformedThumbForSaving(const TBitmap32& bitmap, uint8_t o, int32_t l, int32_t t,
                                                     int32_t r, int32_t b) {
  TBitmap32 oriented(bitmap);
  ApplyOrientation(oriented, o & 7);
  const TPictureSize size = TransformedThumbSize(bitmap.Width(), bitmap.Height(), o, l, t, r, b);
  auto canvas = std::make_unique<TBitmap32>(std::max(size.Width, 0), std::max(size.Height, 0));
  canvas->Clear(clBlack32);
  oriented.DrawMode = dmOpaque;
  oriented.DrawTo(*canvas, -l, -t);
  return canvas;
}

TPictureSize TvtThumbImageCore::ResultSize() const {
  if (bitmap_ == nullptr) return {0, 0};
  return TransformedThumbSize(bitmap_->Width(), bitmap_->Height(), orientation_, crop_[csLeft], crop_[csTop],
                              crop_[csRight], crop_[csBottom]);
}

int32_t TvtThumbPlacement::ToView(double picture, int32_t origin) const {
  return origin + static_cast<int32_t>(std::lround(picture * Scale));
}

TvtThumbPlacement FitThumbInView(int32_t pictureWidth, int32_t pictureHeight, int32_t viewWidth, int32_t viewHeight) {
  TvtThumbPlacement place;
  if (pictureWidth <= 0 || pictureHeight <= 0) return place;
  const int32_t roomW = std::max(viewWidth - 2 * kThumbImageMargin, 1);
  const int32_t roomH = std::max(viewHeight - 2 * kThumbImageMargin, 1);
  place.Scale = std::min({double(roomW) / pictureWidth, double(roomH) / pictureHeight, kMaxThumbViewScale});
  place.Width = std::max<int32_t>(1, static_cast<int32_t>(std::lround(pictureWidth * place.Scale)));
  place.Height = std::max<int32_t>(1, static_cast<int32_t>(std::lround(pictureHeight * place.Scale)));
  place.Left = std::max(kThumbImageMargin, (viewWidth - place.Width) / 2);
  place.Top = std::max(kThumbImageMargin, (viewHeight - place.Height) / 2);
  return place;
}

std::string ThumbResultSizeText(TPictureSize size) {
  return "Result: " + std::to_string(size.Width) + " x " + std::to_string(size.Height) + " pixels";
}

std::string CropClampNotice(int32_t side, int32_t typed, int32_t kept) {
  if (typed == kept) return {};
  static const char* const kSides[] = {"left", "top", "right", "bottom"};
  return std::string("The ") + kSides[side & 3] + " crop is limited to " + std::to_string(kept) +
         " pixels: at least " + std::to_string(kMinCropRemainder) + " pixels of the picture stay.";
}

}  // namespace vt
