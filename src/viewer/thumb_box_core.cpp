#include "viewer/thumb_box_core.h"

#include <algorithm>

namespace vt {

const char kNoThumbnailText[] = "Don`t use thumbnail";

TvtThumbBoxItem::TvtThumbBoxItem(TvtThumbBoxCore& box, TvtThumb* thumb) : Box(box), Thumb(thumb) {}

TvtThumbBoxItem::~TvtThumbBoxItem() { CancelJob(); }

void TvtThumbBoxItem::CancelJob() {
  if (PendingJob != 0) Box.Resizer().CancelJob(PendingJob);
  PendingJob = 0;
}

void TvtThumbBoxItem::ResizeDone(uint32_t jobId, std::unique_ptr<TBitmap32>& result) {
  if (jobId != PendingJob) return;
  Scaled = std::move(result);
  PendingJob = 0;
  Box.Invalidate();
  Box.Host().Repaint();
}

TvtThumbBoxCore::TvtThumbBoxCore(IvtThumbBoxHost& host, TvtGR32Resizer* resizer) : host_(host), resizer_(resizer) {}

TvtThumbBoxCore::~TvtThumbBoxCore() {
  FreeItems();
  TvtSourceClientLink::SetSource(nullptr);
}

TvtGR32Resizer& TvtThumbBoxCore::Resizer() const { return resizer_ ? *resizer_ : GR32Resizer(); }

void TvtThumbBoxCore::FreeItems() {
  while (!items_.empty()) items_.pop_back();
}

void TvtThumbBoxCore::SetSource(TvtThumbSource* source) {
  if (source == Source()) return;
  if (source == nullptr) {
    TvtSourceClientLink::SetSource(nullptr);
    FreeItems();
    selectedIndex_ = -1;
    Invalidate();
    host_.UpdateScrollBars();
    host_.Repaint();
    return;
  }
  TvtSourceClientLink::SetSource(source);  // the document sends ThumbnailsChanged at once
}

void TvtThumbBoxCore::SourceDestroyed(TvtThumbSource* source) {
  TvtSourceClientLink::SourceDestroyed(source);
  FreeItems();  // their thumbnails went with the document
  selectedIndex_ = -1;
  Invalidate();
}

void TvtThumbBoxCore::SetTextHeight(int32_t height) {
  if (height == textHeight_) return;
  textHeight_ = height;
  host_.UpdateScrollBars();
  Invalidate();
  host_.Repaint();
}

TRect TvtThumbBoxCore::GetItemRect(int32_t index) const {
  return MakeRect(0, index * EntryHeight(), EntryWidth(), (index + 1) * EntryHeight());
}

TRect TvtThumbBoxCore::CellRect(int32_t index) const {
  const int32_t top = index * EntryHeight() + MarginY;
  return MakeRect(MarginX, top, MarginX + CellWidth, top + CellHeight);
}

int32_t TvtThumbBoxCore::ItemAt(int32_t x, int32_t y) const {
  if (x < 0 || x >= EntryWidth() || y < 0) return -1;
  const int32_t index = y / EntryHeight();
  return index < Count() ? index : -1;
}

TvtThumbBoxItem* TvtThumbBoxCore::GetItem(int32_t index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return items_[static_cast<size_t>(index)].get();
}

void TvtThumbBoxCore::ThumbnailsChanged() {
  FreeItems();
  if (TvtThumbSource* doc = Source()) {
    for (int32_t i = 0; i < doc->ThumbCount(); ++i)
      items_.push_back(std::make_unique<TvtThumbBoxItem>(*this, doc->GetThumbs(i)));
    if (!items_.empty()) items_.push_back(std::make_unique<TvtThumbBoxItem>(*this, nullptr));
    selectedIndex_ = doc->MainThumbIndex < Count() ? doc->MainThumbIndex : -1;
  } else {
    selectedIndex_ = -1;
  }
  host_.UpdateScrollBars();
  if (selectedIndex_ >= 0) host_.ScrollContentInView(GetItemRect(selectedIndex_));
  Invalidate();
  host_.Repaint();
}

void TvtThumbBoxCore::ThumbChanged(int32_t index) {
  if (TvtThumbBoxItem* item = GetItem(index)) {
    item->Scaled.reset();
    item->CancelJob();
  }
  Invalidate();
  host_.Repaint();
}

void TvtThumbBoxCore::SelectItem(int32_t index) {
  if (index < 0) index = -1;
  if (index >= Count()) index = Count() - 1;
  if (index == selectedIndex_) return;
  selectedIndex_ = index;
  Invalidate();
  if (index >= 0) host_.ScrollContentInView(GetItemRect(index));
  host_.Repaint();
  if (TvtThumbSource* doc = Source()) doc->SetMainThumb(index > 0 && IsLastEntry(index) ? -1 : index);
}

void TvtThumbBoxCore::SelectPrevious() {
  if (selectedIndex_ > 0) SelectItem(selectedIndex_ - 1);
}

void TvtThumbBoxCore::SelectNext() {
  if (!IsLastEntry(selectedIndex_)) SelectItem(selectedIndex_ + 1);
}

bool TvtThumbBoxCore::CommandsEnabled() const {
  return Count() > 0 && selectedIndex_ >= 0 && selectedIndex_ < Count() - 1;
}

TvtThumb* TvtThumbBoxCore::SelectedThumb() const {
  return CommandsEnabled() ? GetItem(selectedIndex_)->Thumb : nullptr;
}

std::string TvtThumbBoxCore::Caption(TvtThumb& thumb) {
  const TBitmap32* b = thumb.GetBitmap();
  return std::to_string(b->Width()) + "x" + std::to_string(b->Height());
}

TvtThumbBoxCore::TDrawnPicture TvtThumbBoxCore::PrepareEntryPicture(int32_t index) {
  TDrawnPicture drawn;
  TvtThumbBoxItem* item = GetItem(index);
  if (item == nullptr || item->Thumb == nullptr) return drawn;
  TBitmap32* transformed = item->Thumb->GetBitmap();
  const TBitmap32* picture = item->Scaled ? item->Scaled.get() : transformed;
  const TRect cell = CellRect(index);
  TPictureSize fit = FitSize(picture->Width(), picture->Height(), CellWidth, CellHeight);
  fit.Width = std::max(fit.Width, 1);
  fit.Height = std::max(fit.Height, 1);
  if (!picture->Empty()) {
    const int32_t left = cell.Left + (CellWidth - fit.Width) / 2, top = cell.Top + (CellHeight - fit.Height) / 2;
    drawn.Picture = picture;
    drawn.Place = MakeRect(left, top, left + fit.Width, top + fit.Height);
  }
  const bool sameSize = fit.Width == picture->Width() && fit.Height == picture->Height();
  if (item->PendingJob == 0 && !transformed->Empty() && !picture->Empty() && !sameSize)
    item->PendingJob = Resizer().AddJob(item, *transformed, fit);
  return drawn;
}

}  // namespace vt
