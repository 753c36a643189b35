#include "viewer/image_view_core.h"

#include <algorithm>
#include <cmath>

#include "viewer/view_picture.h"
#include "viewer/view_turn.h"
#include "viewer/zoom_steps.h"

namespace vt {

void DrawCheckerboard(TBitmap32& bitmap) {
  for (int32_t y = 0; y < bitmap.Height(); ++y) {
    TColor32* line = bitmap.ScanLine(y);
    const int32_t rowParity = (y / 8) & 1;
    for (int32_t x = 0; x < bitmap.Width(); ++x)
      line[x] = ((x / 8) & 1) == rowParity ? kCheckerColor : clWhite32;
  }
}

TPictureSize FitImageSize(int32_t imageW, int32_t imageH, int32_t clientW, int32_t clientH) {
  if (imageW <= 0 || imageH <= 0) return {};
  TPictureSize fit = FitSize(imageW, imageH, std::max(clientW, 1), std::max(clientH, 1));
  fit.Width = std::max(fit.Width, 1);
  fit.Height = std::max(fit.Height, 1);
  if (fit.Width > imageW || fit.Height > imageH) fit = {imageW, imageH};
  return fit;
}

TvtImageViewCore::TvtImageViewCore(IvtImageViewHost& host, TvtGR32Resizer* resizer)
    : host_(host), resizer_(resizer) {}

TvtImageViewCore::~TvtImageViewCore() {
  CancelPending();
  TvtSourceClientLink::SetSource(nullptr);
}

TvtGR32Resizer& TvtImageViewCore::Resizer() const { return resizer_ ? *resizer_ : GR32Resizer(); }

void TvtImageViewCore::SetSource(TvtThumbSource* source) {
  if (source == Source()) return;
  CancelPending();
  DropScaled();
  TvtSourceClientLink::SetSource(source);
  if (source == nullptr) {
    backBufferValid_ = false;
    host_.Repaint();
  }
}

void TvtImageViewCore::SourceDestroyed(TvtThumbSource* source) {
  TvtSourceClientLink::SourceDestroyed(source);
  CancelPending();
  DropScaled();
  backBufferValid_ = false;
}

void TvtImageViewCore::SetEditingEnabled(bool value) {
  if (value == editingEnabled_) return;
  editingEnabled_ = value;
  host_.Repaint();
}

void TvtImageViewCore::SetUseThumbnail(bool value) {
  if (value == useThumbnail_) return;
  useThumbnail_ = value;
  CancelPending();
  DropScaled();
  resizeWanted_ = true;
  backBufferValid_ = false;
  host_.Repaint();
}

void TvtImageViewCore::CancelPending() {
  if (pendingJob_ != 0) Resizer().CancelJob(pendingJob_);
  pendingJob_ = 0;
}

void TvtImageViewCore::DropScaled() { scaled_.reset(); }

void TvtImageViewCore::MainImageChanged(bool reset) {
  CancelPending();
  DropScaled();
  host_.UpdateScrollBars();
  backBufferValid_ = false;
  resizeWanted_ = true;
  if (reset) {
    // A new document starts fitted, as every document did before zooming.
    cursor_ = {};
    fitted_ = true;
    quarterTurns_ = 0;  // a manual turn belongs to the photo it was made for
    scrollX_ = scrollY_ = 0;
  }
  host_.Repaint();
}

void TvtImageViewCore::MainThumbChanged() {
  if (!useThumbnail_) return;
  CancelPending();
  DropScaled();
  backBufferValid_ = false;
  resizeWanted_ = true;
  host_.Repaint();
}

void TvtImageViewCore::ResizeDone(uint32_t jobId, std::unique_ptr<TBitmap32>& result) {
  if (jobId == pendingJob_ && pendingJob_ != 0) {
    scaled_ = std::move(result);
    pendingJob_ = 0;
  }
  backBufferValid_ = false;
  host_.Repaint();
}

TPictureSize TvtImageViewCore::ImageSize() const {
  const TvtThumbSource* doc = Source();
  return doc != nullptr && doc->HasImage() ? doc->ImageSize() : TPictureSize{};
}

uint8_t TvtImageViewCore::Turn() const {
  const TvtThumbSource* doc = Source();
  uint8_t code = applyExif_ && doc != nullptr && doc->Jpeg ? uint8_t(doc->Jpeg->Orientation & 7) : uint8_t(0);
  for (int q = 0; q < quarterTurns_; ++q) code = TurnRight(code);
  return code;
}

TPictureSize TvtImageViewCore::ShownSize() const { return TurnedSize(ImageSize(), Turn()); }

void TvtImageViewCore::SetApplyExifOrientation(bool value) {
  if (value == applyExif_) return;
  const uint8_t before = Turn();
  applyExif_ = value;
  TurnChanged(before);
}

void TvtImageViewCore::RotateLeft() {
  const uint8_t before = Turn();
  quarterTurns_ = (quarterTurns_ + 3) % 4;
  TurnChanged(before);
}

void TvtImageViewCore::RotateRight() {
  const uint8_t before = Turn();
  quarterTurns_ = (quarterTurns_ + 1) % 4;
  TurnChanged(before);
}

void TvtImageViewCore::TurnChanged(uint8_t before) {
  const uint8_t after = Turn();
  if (after == before) return;
  const TPictureSize image = ImageSize();
  if (fitted_ || image.Width <= 0) {
    ZoomChanged();
    return;
  }
  // The picture point at the client's centre, from the old turn's view to the new one's.
  const TPictureSize oldShown = TurnedSize(image, before);
  const double scale = zoom_ / 100.0;
  const int32_t cx = clientW_ / 2, cy = clientH_ / 2;
  double vx = (cx - PictureOrigin(clientW_, ScaledExtent(oldShown.Width, zoom_), scrollX_)) / scale;
  double vy = (cy - PictureOrigin(clientH_, ScaledExtent(oldShown.Height, zoom_), scrollY_)) / scale;
  double px, py;
  PictureToViewPoints(before, image).Inverse().Apply(vx, vy, px, py);
  PictureToViewPoints(after, image).Apply(px, py, vx, vy);
  KeepPointAt(vx, vy, cx, cy);
}

void TvtImageViewCore::KeepPointAt(double ix, double iy, int32_t x, int32_t y) {
  const TPictureSize content = ContentSize();
  scrollX_ = ScrollToKeep(ix, zoom_, x, clientW_, content.Width);
  scrollY_ = ScrollToKeep(iy, zoom_, y, clientH_, content.Height);
  ZoomChanged();
  host_.ScrollTo(scrollX_, scrollY_);
}

TPictureSize TvtImageViewCore::ContentSize() const {
  const TPictureSize image = ShownSize();
  if (fitted_ || image.Width <= 0) return {};
  return {ScaledExtent(image.Width, zoom_), ScaledExtent(image.Height, zoom_)};
}

int TvtImageViewCore::ZoomPercent() const {
  const TPictureSize image = ShownSize();
  if (image.Width <= 0) return 0;
  return int(std::lround(CurrentPercent()));
}

void TvtImageViewCore::ZoomChanged() {
  CancelPending();
  DropScaled();
  backBufferValid_ = false;
  host_.UpdateScrollBars();
  host_.Repaint();
}

void TvtImageViewCore::ZoomAt(double percent, int32_t x, int32_t y) {
  const TPictureSize image = ShownSize();
  if (image.Width <= 0) return;
  percent = std::clamp(percent, kMinZoomPercent, kMaxZoomPercent);
  // The image point under (x, y) now.
  const TPictureSize before = fitted_ ? FitImageSize(image.Width, image.Height, clientW_, clientH_) : ContentSize();
  const double scale = double(before.Width) / image.Width;
  const double ix = (x - PictureOrigin(clientW_, before.Width, scrollX_)) / scale;
  const double iy = (y - PictureOrigin(clientH_, before.Height, scrollY_)) / scale;
  fitted_ = false;
  zoom_ = percent;
  KeepPointAt(ix, iy, x, y);
}

double TvtImageViewCore::CurrentPercent() const {
  if (!fitted_) return zoom_;
  const TPictureSize image = ShownSize();
  if (image.Width <= 0) return 100.0;
  return double(FitImageSize(image.Width, image.Height, clientW_, clientH_).Width) * 100.0 / image.Width;
}

void TvtImageViewCore::ZoomIn() { ZoomAt(ZoomInStep(CurrentPercent()), clientW_ / 2, clientH_ / 2); }
void TvtImageViewCore::ZoomOut() { ZoomAt(ZoomOutStep(CurrentPercent()), clientW_ / 2, clientH_ / 2); }
void TvtImageViewCore::ActualSize() { ZoomAt(100.0, clientW_ / 2, clientH_ / 2); }

void TvtImageViewCore::FitToWindow() {
  if (fitted_) return;
  fitted_ = true;
  scrollX_ = scrollY_ = 0;
  ZoomChanged();
}

void TvtImageViewCore::WheelZoom(int32_t delta, int32_t x, int32_t y) {
  if (delta == 0) return;
  double percent = CurrentPercent();
  for (int32_t notches = std::max<int32_t>(1, std::abs(delta) / 120); notches > 0; --notches)
    percent = delta > 0 ? ZoomInStep(percent) : ZoomOutStep(percent);
  ZoomAt(percent, x, y);
}

void TvtImageViewCore::SetScroll(int32_t x, int32_t y) {
  if (x == scrollX_ && y == scrollY_) return;
  scrollX_ = x;
  scrollY_ = y;
  backBufferValid_ = false;
}

void TvtImageViewCore::SetShowFilledAreas(bool value) {
  if (value == showFilled_) return;
  showFilled_ = value;
  backBufferValid_ = false;
  host_.Repaint();
}

const TBitmap32& TvtImageViewCore::Picture(int32_t clientW, int32_t clientH) {
  if (backBufferValid_ && backBuffer_.Width() == std::max(clientW, 0) && backBuffer_.Height() == std::max(clientH, 0))
    return backBuffer_;
  backBufferValid_ = true;
  backBuffer_.SetSize(clientW, clientH);
  DrawCheckerboard(backBuffer_);
  pictureRect_ = TRect{};
  clientW_ = std::max(clientW, 0);
  clientH_ = std::max(clientH, 0);

  TvtThumbSource* doc = Source();
  if (doc == nullptr || !doc->HasImage()) return backBuffer_;
  const uint8_t turn = Turn();
  const TPictureSize image = TurnedSize(doc->ImageSize(), turn);
  const TPictureSize content =
      fitted_ ? FitImageSize(image.Width, image.Height, clientW, clientH) : ContentSize();
  fitScale_ = fitted_ ? double(content.Width) * 100.0 / double(image.Width) : zoom_;
  const int32_t left = PictureOrigin(clientW, content.Width, scrollX_);
  const int32_t top = PictureOrigin(clientH, content.Height, scrollY_);
  pictureRect_ = MakeRect(left, top, left + content.Width, top + content.Height);
  DrawPictureFrame(backBuffer_, left, top, content.Width, content.Height);

  // Pictures are made in the stored orientation and turned as they are drawn.
  const TPictureSize storedContent = TurnedSize(content, turn);
  TvtPictureLayers layers;
  layers.Turn = turn;
  if (scaled_ && scaled_->Width() == storedContent.Width && scaled_->Height() == storedContent.Height &&
      !showFilled_) {
    if (turn == 0) {
      DrawPictureAtSize(backBuffer_, *scaled_, left, top);
    } else {
      layers.Image = scaled_.get();
      DrawPictureNearest(backBuffer_, layers, left, top, content.Width, content.Height);
    }
    return backBuffer_;
  }
  // The quick picture: the reduced one while it has pixels enough for the scale, else the
  // full-size image (made now if the document has not yet made it).
  const TBitmap32* preview = doc->Preview();
  const bool reduced = preview != nullptr && fitScale_ * double(1 << doc->PreviewShift()) <= 100.0 + 1e-9;
  layers.Image = reduced ? preview : doc->MainImage();
  if (layers.Image == nullptr) return backBuffer_;
  if (useThumbnail_) layers.Background = reduced ? doc->GetPreviewBackground() : doc->GetThumbBackground();
  layers.TintFilled = showFilled_;
  DrawPictureNearest(backBuffer_, layers, left, top, content.Width, content.Height);
  if (fitScale_ < 100.0 && !showFilled_) {
    const TPictureSize drawn{layers.Image->Width(), layers.Image->Height()};
    if (DeferResize) {
      resizeDue_ = true;
      dueFit_ = storedContent;
      dueDrawn_ = drawn;
      dueSource_ = layers.Image;
    } else {
      RequestResizeIfNeeded(storedContent, drawn, *layers.Image);
    }
  }
  return backBuffer_;
}

void TvtImageViewCore::RequestDueResize() {
  if (!resizeDue_) return;
  resizeDue_ = false;
  // The picture drawn since may have changed or gone; the next paint asks again then.
  const TvtThumbSource* doc = Source();
  if (!backBufferValid_ || doc == nullptr || !doc->HasImage() || dueSource_ == nullptr) return;
  if (dueSource_ != doc->Preview() && dueSource_ != doc->MainImage()) return;
  RequestResizeIfNeeded(dueFit_, dueDrawn_, *dueSource_);
}

void TvtImageViewCore::RequestResizeIfNeeded(TPictureSize fit, TPictureSize drawn, const TBitmap32& source) {
  TvtThumbSource* doc = Source();
  const TBitmap32* thumb = doc->MainThumb();
  const bool hasThumb = thumb != nullptr && !thumb->Empty();
  bool ask = resizeWanted_ && hasThumb;
  if (!ask)
    ask = pendingJob_ == 0 && fit.Width > 0 && fit.Height > 0 && !(fit == drawn);
  if (!ask) return;
  resizeWanted_ = false;
  CancelPending();  // a new document's first job replaces nothing, but never leave one behind
  // The smooth picture is made from the quick one: the reduced picture already averages the
  // image over cells no larger than a screen pixel.
  if (useThumbnail_ && thumb != nullptr)
    pendingJob_ = Resizer().AddJob(this, source, thumb, fit);
  else
    pendingJob_ = Resizer().AddJob(this, source, fit);
}

// --- Editing mode ---

bool TvtImageViewCore::EditingActive() const {
  const TvtThumbSource* doc = Source();
  return editingEnabled_ && doc != nullptr && doc->HasImage() && doc->MCUCols > 0 && doc->MCURows > 0;
}

TRect TvtImageViewCore::CursorRect() const {
  const TvtThumbSource* doc = Source();
  if (doc == nullptr || pictureRect_.IsEmpty()) return {};
  const double s = fitScale_ / 100.0;
  // The MCU's rectangle in image pixels, as the turned view shows it.
  const TRect mcu = PictureToViewRect(Turn(), ImageSize(),
                                      MakeRect(cursor_.Col * doc->MCUWidth, cursor_.Row * doc->MCUHeight,
                                               (cursor_.Col + 1) * doc->MCUWidth, (cursor_.Row + 1) * doc->MCUHeight));
  auto at = [s](int32_t v) { return static_cast<int32_t>(std::floor(double(v) * s)); };
  return MakeRect(pictureRect_.Left + at(mcu.Left), pictureRect_.Top + at(mcu.Top), pictureRect_.Left + at(mcu.Right),
                  pictureRect_.Top + at(mcu.Bottom));
}

void TvtImageViewCore::SetCursor(TvtMCUPos p) {
  const TvtThumbSource* doc = Source();
  if (doc == nullptr) return;
  p.Col = std::clamp(p.Col, 0, std::max(doc->MCUCols - 1, 0));
  p.Row = std::clamp(p.Row, 0, std::max(doc->MCURows - 1, 0));
  cursor_ = p;
  const TRect r = CursorRect();
  host_.ScrollInView(MakeRect(r.Left, r.Top, r.Right + 1, r.Bottom + 1));
  host_.Repaint();
}

void TvtImageViewCore::ClickAt(int32_t x, int32_t y) {
  if (!EditingActive()) return;
  const TvtThumbSource* doc = Source();
  const double s = fitScale_ / 100.0;
  if (s <= 0 || doc->MCUWidth <= 0 || doc->MCUHeight <= 0) return;
  double px, py;
  PictureToViewPoints(Turn(), ImageSize()).Inverse().Apply((x - pictureRect_.Left) / s, (y - pictureRect_.Top) / s, px, py);
  SetCursor({static_cast<int32_t>(std::floor(px / doc->MCUWidth)), static_cast<int32_t>(std::floor(py / doc->MCUHeight))});
}

int32_t TvtImageViewCore::LinearCursor() const { return cursor_.Row * Source()->MCUCols + cursor_.Col; }

TvtMCUPos TvtImageViewCore::FromLinear(int32_t index) const {
  const int32_t cols = Source()->MCUCols;
  return {index % cols, index / cols};
}

int32_t TvtImageViewCore::LastMCU() const { return Source()->MCUCols * Source()->MCURows - 1; }

void TvtImageViewCore::MoveCursorOnScreen(int32_t dx, int32_t dy) {
  // The arrows move on the screen; in a turned view that is another direction in the grid.
  TvtTurnMap toStored = PictureToViewPoints(Turn(), ImageSize()).Inverse();
  toStored.X0 = toStored.Y0 = 0;
  int32_t col, row;
  toStored.Apply(dx, dy, col, row);
  SetCursor({cursor_.Col + col, cursor_.Row + row});
}

void TvtImageViewCore::MoveCursorForward() {
  if (LinearCursor() < LastMCU()) SetCursor(FromLinear(LinearCursor() + 1));
}

void TvtImageViewCore::MoveCursorBack() {
  if (LinearCursor() > 0) SetCursor(FromLinear(LinearCursor() - 1));
}

void TvtImageViewCore::FollowCursor(int32_t mcus) {
  if (!CursorFollow) return;
  const TRect r = CursorRect();
  const int32_t w = r.Width();
  if (mcus > 0)
    host_.ScrollInView(MakeRect(r.Left, r.Top, r.Right + mcus * w, r.Bottom));
  else
    host_.ScrollInView(MakeRect(r.Left + mcus * w, r.Top, r.Right, r.Bottom));
}

bool TvtImageViewCore::Execute(TvtEditCommand command) {
  if (!EditingActive()) return false;
  TvtThumbSource& doc = *Source();
  const TvtMCUPos c = cursor_;
  switch (command) {
    case TvtEditCommand::Left: MoveCursorOnScreen(-1, 0); break;
    case TvtEditCommand::Right: MoveCursorOnScreen(1, 0); break;
    case TvtEditCommand::Up: MoveCursorOnScreen(0, -1); break;
    case TvtEditCommand::Down: MoveCursorOnScreen(0, 1); break;
    case TvtEditCommand::Home: SetCursor({0, c.Row}); break;
    case TvtEditCommand::End: SetCursor({doc.MCUCols - 1, c.Row}); break;
    case TvtEditCommand::PrevDecodedRunStart: SetCursor(FromLinear(RunStartFrom(LinearCursor()))); break;
    case TvtEditCommand::NextDecodedRunEnd: SetCursor(FromLinear(RunEndFrom(LinearCursor()))); break;
    case TvtEditCommand::Clear:
      doc.ClearMCU(c);
      MoveCursorForward();
      FollowCursor(3);
      break;
    case TvtEditCommand::Insert:
      doc.InsertMCU(c);
      MoveCursorForward();
      break;
    case TvtEditCommand::InsertRow:
      doc.InsertMCURow(c);
      if (c.Row < doc.MCURows - 1)
        SetCursor({c.Col, c.Row + 1});
      else
        SetCursor(FromLinear(LastMCU()));
      break;
    case TvtEditCommand::Remove:
      doc.DeleteMCU(c);
      MoveCursorBack();
      FollowCursor(-3);
      break;
    case TvtEditCommand::Redecode:
      doc.RedecodeFrom(c, doc.GetMCUOffsets(c), 0, true);
      break;
    case TvtEditCommand::SearchForward:
      doc.RedecodeFrom(c, doc.GetMCUOffsets(c), 1, true);
      break;
    case TvtEditCommand::SearchBackward:
      doc.RedecodeFrom(c, doc.GetMCUOffsets(c), 2, true);
      break;
  }
  return true;
}

int32_t TvtImageViewCore::RunStartFrom(int32_t i) const {
  const TvtThumbSource& doc = *Source();
  while (i > 0 && !doc.IsMCUDecoded(FromLinear(i))) --i;
  while (i > 0 && doc.IsMCUDecoded(FromLinear(i - 1))) --i;
  return i;
}

int32_t TvtImageViewCore::RunEndFrom(int32_t i) const {
  const TvtThumbSource& doc = *Source();
  const int32_t last = LastMCU();
  while (i < last && !doc.IsMCUDecoded(FromLinear(i))) ++i;
  while (i < last && doc.IsMCUDecoded(FromLinear(i + 1))) ++i;
  return i;
}

TvtMCURun TvtImageViewCore::DecodedRunAtCursor() const {
  if (!EditingActive()) return {};
  const TvtThumbSource& doc = *Source();
  const int32_t at = LinearCursor();
  // On a decoded MCU: its own run; on a hole: the run before it.
  const int32_t first = RunStartFrom(at);
  if (!doc.IsMCUDecoded(FromLinear(first))) return {};
  int32_t last = first;
  while (last < LastMCU() && doc.IsMCUDecoded(FromLinear(last + 1))) ++last;
  return {first, last - first + 1};
}

bool TvtImageViewCore::UndoEdit() {
  TvtThumbSource* doc = Source();
  TvtMCUPos at;
  if (doc == nullptr || !doc->Undo(&at)) return false;
  if (EditingActive()) SetCursor(at);
  return true;
}

bool TvtImageViewCore::RedoEdit() {
  TvtThumbSource* doc = Source();
  TvtMCUPos at;
  if (doc == nullptr || !doc->Redo(&at)) return false;
  if (EditingActive()) SetCursor(at);
  return true;
}

}  // namespace vt
