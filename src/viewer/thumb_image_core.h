// What the thumbnail editor's picture (TvtThumbImage) knows and decides, free of any window
// system: the thumbnail turned by its orientation, the four crop values with their clamps, the
// flips and quarter turns that compose the orientation and carry the crops along, the hit test
// of the crop edges and dragging them. The four crop fields of the dialog register as clients
// and are told which side changed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bitmap/bitmap32.h"
#include "thumbs/picture_geometry.h"

namespace vt {

// Sides of the crop, as the spin edits name them.
constexpr int32_t csLeft = 0, csTop = 1, csRight = 2, csBottom = 3;
// Sides being dragged, as a set.
constexpr uint8_t dsLeft = 1, dsTop = 2, dsRight = 4, dsBottom = 8;

// {6D9C7C39-978E-484F-A64A-FF6BDAB2DDA6}
class IvtThumbImageCropSizeClient {
 public:
  virtual ~IvtThumbImageCropSizeClient() = default;
  virtual void CropChanged(int32_t side) = 0;
};

// Where the picture sits in the content, and the margin around it.
constexpr int32_t kThumbImageMargin = 16;
// How close to an edge a point hits it.
constexpr int32_t kCropHitDistance = 3;
// What the crop always leaves of a picture that has that much.
constexpr int32_t kMinCropRemainder = 8;

// The orientation after a flip or quarter turn of a picture shown with orientation `from`.
uint8_t FlipHorizontallyOrientation(uint8_t from);
uint8_t FlipVerticallyOrientation(uint8_t from);
uint8_t RotateLeftOrientation(uint8_t from);
uint8_t RotateRightOrientation(uint8_t from);

class TvtThumbImageCore {
 public:
  TvtThumbImageCore() = default;

  // The unedited thumbnail (not owned; must outlive the view).
  void SetBitmap(const TBitmap32* bitmap);
  const TBitmap32* Bitmap() const { return bitmap_; }
  // The picture as shown: the bitmap itself at orientation 0, else an oriented copy.
  const TBitmap32* Shown() const { return shown_ ? shown_.get() : bitmap_; }
  int32_t ShownWidth() const { return Shown() ? Shown()->Width() : 0; }
  int32_t ShownHeight() const { return Shown() ? Shown()->Height() : 0; }
  int32_t ContentWidth() const { return ShownWidth() + 2 * kThumbImageMargin; }
  int32_t ContentHeight() const { return ShownHeight() + 2 * kThumbImageMargin; }

  uint8_t Orientation() const { return orientation_; }
  int32_t CropLeft() const { return crop_[csLeft]; }
  int32_t CropTop() const { return crop_[csTop]; }
  int32_t CropRight() const { return crop_[csRight]; }
  int32_t CropBottom() const { return crop_[csBottom]; }
  int32_t Crop(int32_t side) const { return crop_[side & 3]; }

  void SetOrientation(uint8_t value);
  // The crop setters: negative values become 0; a value that would leave fewer than 8 pixels on
  // its axis becomes what leaves exactly 8 (never below 0, so a picture under 8 pixels is not
  // cut at all). A change repaints and tells every client that side.
  void SetCrop(int32_t side, int32_t value);
  void SetCropLeft(int32_t v) { SetCrop(csLeft, v); }
  void SetCropTop(int32_t v) { SetCrop(csTop, v); }
  void SetCropRight(int32_t v) { SetCrop(csRight, v); }
  void SetCropBottom(int32_t v) { SetCrop(csBottom, v); }
  // The dialog's start: the five values as given (no clamps), then every side is told.
  void LoadValues(uint8_t orientation, int32_t left, int32_t top, int32_t right, int32_t bottom);

  void FlipHorizontally();
  void FlipVertically();
  void RotateLeft();
  void RotateRight();

  // The kept part in content coordinates: (16 + L, 16 + T) to (16 + W - R, 16 + H - B).
  TRect CropRect() const;
  // The size of the edited thumbnail: what OK keeps and "Save to file..." writes.
  TPictureSize ResultSize() const;
  // How many screen pixels show one picture pixel (the dialog fits the picture into its view).
  // Content coordinates stay in picture pixels; the reach of the edges is in screen pixels.
  void SetViewScale(double scale) { viewScale_ = scale > 0 ? scale : 1.0; }
  double ViewScale() const { return viewScale_; }
  // The edges within 3 screen pixels of a content point (a set of ds* bits).
  uint8_t HitTest(int32_t x, int32_t y) const;
  void BeginDrag(int32_t x, int32_t y);
  void DragTo(int32_t x, int32_t y);
  void EndDrag() { dragSides_ = 0; }
  uint8_t DragSides() const { return dragSides_; }

  // Registration tells the client all four sides at once; clients are told in order.
  void AddClient(IvtThumbImageCropSizeClient* client);
  void RemoveClient(IvtThumbImageCropSizeClient* client);

  // Called when the picture must be painted again.
  std::function<void()> OnRepaint;

 private:
  void NotifySide(int32_t side);
  void NotifyAll();
  void Repaint();

  const TBitmap32* bitmap_ = nullptr;
  std::unique_ptr<TBitmap32> shown_;
  uint8_t orientation_ = 0;
  int32_t crop_[4] = {0, 0, 0, 0};
  uint8_t dragSides_ = 0;
  int32_t dragX_ = 0, dragY_ = 0;
  int32_t dragCrops_[4] = {0, 0, 0, 0};
  std::vector<IvtThumbImageCropSizeClient*> clients_;
  double viewScale_ = 1.0;
};

// The most a thumbnail is enlarged to fill the editor's view (a 160 x 120 one shows at most
// 1280 x 960); pixels then show as squares, so black bars are cropped to the pixel.
constexpr double kMaxThumbViewScale = 8.0;

// Where a picture of pictureWidth x pictureHeight lies in a view of viewWidth x viewHeight that
// fits it whole, kThumbImageMargin view pixels from the nearer edges and centred, enlarged at
// most kMaxThumbViewScale times: its rectangle in the view and the scale.
struct TvtThumbPlacement {
  int32_t Left = kThumbImageMargin, Top = kThumbImageMargin;
  int32_t Width = 0, Height = 0;
  double Scale = 1.0;
  // Between view x (or y) and picture pixels.
  double ToPicture(int32_t view, int32_t origin) const { return (view - origin) / Scale; }
  int32_t ToView(double picture, int32_t origin) const;
};
TvtThumbPlacement FitThumbInView(int32_t pictureWidth, int32_t pictureHeight, int32_t viewWidth, int32_t viewHeight);

// "Result: 600 x 400 pixels".
std::string ThumbResultSizeText(TPictureSize size);
// What the dialog says when a crop value typed for side was kept as kept instead: "The left
// crop is limited to 112 pixels: at least 8 pixels of the picture stay."; empty when typed
// was kept.
std::string CropClampNotice(int32_t side, int32_t typed, int32_t kept);

// The size of a thumbnail of w x h after orientation o and crops l, t, r, b (a quarter turn,
// codes 4 to 7, swaps the sides before cropping).
TPictureSize TransformedThumbSize(int32_t w, int32_t h, uint8_t o, int32_t l, int32_t t, int32_t r, int32_t b);

// The picture a saved thumbnail holds: a copy turned by o, drawn at (-l, -t) on a black canvas
// of the final size.
std::unique_ptr<TBitmap32> TransformedThumbForSaving(const TBitmap32& bitmap, uint8_t o, int32_t l, int32_t t,
                                                     int32_t r, int32_t b);

}  // namespace vt
