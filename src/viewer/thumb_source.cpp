#include "viewer/thumb_source.h"

#include <algorithm>

#include "jpeg/jpeg_constants.h"
#include "repair/realign.h"
#include "repair/restart_placement.h"
#include "source/items.h"
#include "thumbs/orientation.h"

namespace vt {

TvtThumbSource::TvtThumbSource() : Jpeg(std::make_unique<TkelJpegWithThumbs>(false, 0)) {}

TvtThumbSource::~TvtThumbSource() {
  Clear();
  const std::vector<IvtSourceClient*> clients = clients_;
  clients_.clear();
  for (IvtSourceClient* c : clients) c->SourceDestroyed(this);
}

TvtThumb* TvtThumbSource::GetThumbs(int32_t index) const {
  if (index < 0 || index >= ThumbCount()) return nullptr;
  return thumbs_[static_cast<size_t>(index)];
}

void TvtThumbSource::DetachThumb(TvtThumb* thumb) {
  auto it = std::find(thumbs_.begin(), thumbs_.end(), thumb);
  if (it != thumbs_.end()) thumbs_.erase(it);
}

void TvtThumbSource::FreeImages() {
  mainImage_ = nullptr;
  composedImage_.reset();
  decodedBitmap_.reset();
}

void TvtThumbSource::Clear() {
  if (OwnsStream) delete Stream;
  Stream = nullptr;
  OwnsStream = false;
  Jpeg->Reset();
  while (!thumbs_.empty()) delete thumbs_.back();  // the destructor leaves the list
  OrientationDetector().ClearJobs();
  FreeImages();
  thumbBackground_.reset();
  MCUWidth = MCUHeight = MCUCols = MCURows = 0;
  mainThumb_ = nullptr;
  MainThumbIndex = -1;
}

void TvtThumbSource::Load(TStream* headerStream, TStream* stream, bool ownsStream, TvtItem* item) {
  try {
    Clear();
  } catch (...) {
    if (ownsStream) delete stream;
    throw;
  }
  NotifyMainImage(true);
  NotifyThumbnails();
  Stream = stream;
  OwnsStream = ownsStream;
  if (stream == nullptr) return;

  // The picture that Render makes below is rendered while the data is decoded.
  Jpeg->RenderPlanesWhileDecoding = true;
  if (headerStream != nullptr) {
    headerStream->SetPosition(0);
    Jpeg->LoadFromStream(*headerStream, pfHeadersOnly | pfRecordSegments | pfNoRender);
    Jpeg->LoadFromStream(*stream, pfResumeAtScan | pfRecordSegments | pfNoRender);
  } else {
    Jpeg->LoadFromStream(*stream, pfRecordSegments | pfNoRender);
  }
  Jpeg->ReleaseSamples();

  const int32_t frameW = Jpeg->FrameSeen ? Jpeg->Width : 0;
  const int32_t frameH = Jpeg->FrameSeen ? Jpeg->Height : 0;
  MCUWidth = Jpeg->LastMCUWidth;
  MCUHeight = Jpeg->LastMCUHeight;
  if (MCUWidth > 0) MCUCols = (frameW + MCUWidth - 1) / MCUWidth;
  if (MCUHeight > 0) MCURows = (frameH + MCUHeight - 1) / MCUHeight;

  Render(false);
  Jpeg->Thumbs().SortThumbsByArea();

  // Candidates: the item's sub-items, or the decoder's own thumbnails.
  std::vector<std::unique_ptr<TBitmap32>> candidates;
  if (item != nullptr) {
    for (TvtSubItem* sub : item->SubItems()) candidates.push_back(sub->GetImage());
  } else {
    for (TkelJpegThumb& t : Jpeg->Thumbs().Thumbs())
      candidates.push_back(t.Bitmap ? std::make_unique<TBitmap32>(*t.Bitmap) : nullptr);
  }
  for (std::unique_ptr<TBitmap32>& bitmap : candidates) {
    if (!bitmap) continue;
    TvtThumb* thumb = new TvtThumb(*this, std::move(bitmap));
    if (HasImage() && !thumb->Bitmap->Empty()) {
      thumb->SetOrientation(static_cast<uint8_t>(DetectOrientation(*mainImage_, *thumb->Bitmap)));
      if (MainThumbIndex < 0) {
        // The list index: candidates without a bitmap have no entry.
        MainThumbIndex = ThumbCount() - 1;
        mainThumb_ = thumb->GetBitmap();
      }
    }
  }
  // Restart intervals placed by counting, with the chosen thumbnail as the guide.
  if (Jpeg->DataErrors && Jpeg->RestartInterval > 0) {
    const repair::TGuide guide(*Jpeg, mainThumb_);
    repair::TRepairReport report;
    if (repair::PlaceRestartIntervals(*Jpeg, guide, report)) Render(false);
  }
  NotifyMainImage(true);
  NotifyThumbnails();
}

bool TvtThumbSource::RealignAutomatically(repair::TRepairReport* report) {
  if (!HasImage()) return false;
  const repair::TGuide guide(*Jpeg, mainThumb_);
  repair::TRepairReport own;
  const bool changed = repair::RealignAutomatically(*Jpeg, guide, report ? *report : own);
  if (changed) Render(true);
  return changed;
}

void TvtThumbSource::Render(bool notify) {
  FreeImages();
  Jpeg->Render(decodedBitmap_, false, vmColor);
  if (decodedBitmap_) {
    const int32_t w = Jpeg->FrameSeen ? Jpeg->Width : 0;
    int32_t h = Jpeg->FrameSeen ? Jpeg->Height : 0;
    if (decodedBitmap_->Width() == w && decodedBitmap_->Height() == h) {
      mainImage_ = decodedBitmap_.get();
    } else {
      // A tiny file may declare a huge frame: the frame-size image is allocated in full only when
      // the data could plausibly fill it; otherwise it stops where the decoded rows end.
      if (!FrameIsPlausible(w, h, Jpeg->Position)) h = std::min(h, decodedBitmap_->Height());
      composedImage_ = std::make_unique<TBitmap32>(w, h);
      mainImage_ = composedImage_.get();
      try {
        Compose();
      } catch (...) {
        mainImage_ = nullptr;
        composedImage_.reset();
        throw;
      }
    }
  }
  if (notify) NotifyMainImage(false);
}

void TvtThumbSource::Compose() {
  if (!composedImage_ || !decodedBitmap_) return;
  composedImage_->Clear(0);
  decodedBitmap_->DrawMode = dmBlend;
  decodedBitmap_->DrawTo(*composedImage_, 0, 0);
}

void TvtThumbSource::SetMainThumb(int32_t index) {
  if (index == MainThumbIndex) return;
  TvtThumb* thumb = GetThumbs(index);
  if (index >= 0 && thumb == nullptr) return;  // no such thumbnail
  MainThumbIndex = index;
  mainThumb_ = thumb ? thumb->GetBitmap() : nullptr;
  thumbBackground_.reset();
  NotifyMainThumb();
}

bool TvtThumbSource::GetThumbTransform(int32_t index, uint8_t& orientation, int32_t& cropLeft, int32_t& cropTop,
                                       int32_t& cropRight, int32_t& cropBottom) const {
  const TvtThumb* t = GetThumbs(index);
  if (t == nullptr) return false;
  orientation = t->GetOrientation();
  cropLeft = t->GetCropLeft();
  cropTop = t->GetCropTop();
  cropRight = t->GetCropRight();
  cropBottom = t->GetCropBottom();
  return true;
}

void TvtThumbSource::SetThumbTransform(int32_t index, uint8_t orientation, int32_t cropLeft, int32_t cropTop,
                                       int32_t cropRight, int32_t cropBottom) {
  TvtThumb* t = GetThumbs(index);
  if (t == nullptr) return;
  t->SetOrientation(orientation);
  t->SetCropLeft(cropLeft);
  t->SetCropTop(cropTop);
  t->SetCropRight(cropRight);
  t->SetCropBottom(cropBottom);
  if (index == MainThumbIndex) {
    mainThumb_ = t->GetBitmap();
    thumbBackground_.reset();
    NotifyMainThumb();
  }
  NotifyThumb(index);
}

void TvtThumbSource::AddClient(IvtSourceClient* client) {
  if (client == nullptr) return;
  if (std::find(clients_.begin(), clients_.end(), client) != clients_.end()) return;
  clients_.push_back(client);
  NotifyMainImage(true, client);
  NotifyThumbnails(client);
}

void TvtThumbSource::RemoveClient(IvtSourceClient* client) {
  auto it = std::find(clients_.begin(), clients_.end(), client);
  if (it != clients_.end()) clients_.erase(it);
}

// Notifications go to a snapshot of the list, so a view may unregister while being told.
void TvtThumbSource::NotifyMainImage(bool reset, IvtSourceClient* only) {
  const std::vector<IvtSourceClient*> targets = only ? std::vector<IvtSourceClient*>{only} : clients_;
  for (IvtSourceClient* c : targets)
    if (auto* i = dynamic_cast<IvtSourceMainImageClient*>(c)) i->MainImageChanged(reset);
}

void TvtThumbSource::NotifyThumbnails(IvtSourceClient* only) {
  const std::vector<IvtSourceClient*> targets = only ? std::vector<IvtSourceClient*>{only} : clients_;
  for (IvtSourceClient* c : targets)
    if (auto* i = dynamic_cast<IvtSourceThumbnailsClient*>(c)) i->ThumbnailsChanged();
}

void TvtThumbSource::NotifyMainThumb() {
  const std::vector<IvtSourceClient*> targets = clients_;
  for (IvtSourceClient* c : targets)
    if (auto* i = dynamic_cast<IvtSourceMainThumbClient*>(c)) i->MainThumbChanged();
}

void TvtThumbSource::NotifyThumb(int32_t index) {
  const std::vector<IvtSourceClient*> targets = clients_;
  for (IvtSourceClient* c : targets)
    if (auto* i = dynamic_cast<IvtSourceThumbClient*>(c)) i->ThumbChanged(index);
}

}  // namespace vt
