#include "viewer/image_view_core.h"

#include <algorithm>
#include <cmath>

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
  if (reset) cursor_ = {};
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

const TBitmap32& TvtImageViewCore::Picture(int32_t clientW, int32_t clientH) {
  if (backBufferValid_ && backBuffer_.Width() == std::max(clientW, 0) && backBuffer_.Height() == std::max(clientH, 0))
    return backBuffer_;
  backBufferValid_ = true;
  backBuffer_.SetSize(clientW, clientH);
  DrawCheckerboard(backBuffer_);
  pictureRect_ = TRect{};

  TvtThumbSource* doc = Source();
  if (doc == nullptr || !doc->HasImage()) return backBuffer_;
  TBitmap32& image = *doc->MainImage();
  const TPictureSize fit = FitImageSize(image.Width(), image.Height(), clientW, clientH);
  fitScale_ = double(fit.Width) * 100.0 / double(image.Width());
  const int32_t left = (clientW - fit.Width) / 2, top = (clientH - fit.Height) / 2;
  pictureRect_ = MakeRect(left, top, left + fit.Width, top + fit.Height);

  if (!scaled_ && useThumbnail_) {
    if (TBitmap32* background = doc->GetThumbBackground()) {
      background->DrawMode = dmBlend;
      background->SetResampler(std::make_unique<TNearestResampler>());
      background->DrawTo(backBuffer_, pictureRect_, background->BoundsRect());
    }
  }
  TBitmap32& picture = scaled_ ? *scaled_ : image;
  picture.DrawMode = dmBlend;
  picture.DrawTo(backBuffer_, pictureRect_, picture.BoundsRect());
  if (DeferResize) {
    resizeDue_ = true;
    dueFit_ = fit;
    dueDrawn_ = {picture.Width(), picture.Height()};
  } else {
    RequestResizeIfNeeded(fit, {picture.Width(), picture.Height()});
  }
  return backBuffer_;
}

void TvtImageViewCore::RequestDueResize() {
  if (!resizeDue_) return;
  resizeDue_ = false;
  // The picture drawn since may have changed or gone; the next paint asks again then.
  const TvtThumbSource* doc = Source();
  if (backBufferValid_ && doc != nullptr && doc->HasImage()) RequestResizeIfNeeded(dueFit_, dueDrawn_);
}

void TvtImageViewCore::RequestResizeIfNeeded(TPictureSize fit, TPictureSize drawn) {
  TvtThumbSource* doc = Source();
  const TBitmap32* thumb = doc->MainThumb();
  const bool hasThumb = thumb != nullptr && !thumb->Empty();
  bool ask = resizeWanted_ && hasThumb;
  if (!ask)
    ask = pendingJob_ == 0 && fit.Width > 0 && fit.Height > 0 && !(fit == drawn);
  if (!ask) return;
  resizeWanted_ = false;
  CancelPending();  // a new document's first job replaces nothing, but never leave one behind
  if (useThumbnail_ && thumb != nullptr)
    pendingJob_ = Resizer().AddJob(this, *doc->MainImage(), thumb, fit);
  else
    pendingJob_ = Resizer().AddJob(this, *doc->MainImage(), fit);
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
  auto at = [s](int32_t mcu, int32_t size) { return static_cast<int32_t>(std::floor(double(mcu) * size * s)); };
  return MakeRect(pictureRect_.Left + at(cursor_.Col, doc->MCUWidth), pictureRect_.Top + at(cursor_.Row, doc->MCUHeight),
                  pictureRect_.Left + at(cursor_.Col + 1, doc->MCUWidth),
                  pictureRect_.Top + at(cursor_.Row + 1, doc->MCUHeight));
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
  const double mw = doc->MCUWidth * s, mh = doc->MCUHeight * s;
  if (mw <= 0 || mh <= 0) return;
  SetCursor({static_cast<int32_t>(std::trunc((x - pictureRect_.Left) / mw)),
             static_cast<int32_t>(std::trunc((y - pictureRect_.Top) / mh))});
}

int32_t TvtImageViewCore::LinearCursor() const { return cursor_.Row * Source()->MCUCols + cursor_.Col; }

TvtMCUPos TvtImageViewCore::FromLinear(int32_t index) const {
  const int32_t cols = Source()->MCUCols;
  return {index % cols, index / cols};
}

int32_t TvtImageViewCore::LastMCU() const { return Source()->MCUCols * Source()->MCURows - 1; }

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
    case TvtEditCommand::Left: SetCursor({c.Col - 1, c.Row}); break;
    case TvtEditCommand::Right: SetCursor({c.Col + 1, c.Row}); break;
    case TvtEditCommand::Up: SetCursor({c.Col, c.Row - 1}); break;
    case TvtEditCommand::Down: SetCursor({c.Col, c.Row + 1}); break;
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
