#include "viewer/thumb_source.h"

#include <algorithm>

#include "jpeg/jpeg_constants.h"
#include "source/picture_repair.h"
#include "jpeg/mcu_layout.h"
#include "source/items.h"
#include "source/picture_decode.h"
#include "thumbs/orientation.h"
#include "viewer/preview_scale.h"

namespace vt {

namespace {

const char* ThumbKindText(TkelJpegThumbKind kind) {
  switch (kind) {
    case tkJpeg:
    case tkJpegNoSOI: return "JPEG";
    case tkJpegRebuilt: return "rebuilt JPEG";
    case tkRGB: return "RGB";
    case tkPalette: return "palette";
    case tkYCbCr: return "YCbCr";
    default: return "";
  }
}

}  // namespace

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

void TvtThumbSource::DropPreview() {
  preview_.reset();
  previewBackground_.reset();
}

void TvtThumbSource::Clear() {
  if (OwnsStream) delete Stream;
  Stream = nullptr;
  OwnsStream = false;
  Jpeg->Reset();
  while (!thumbs_.empty()) delete thumbs_.back();  // the destructor leaves the list
  OrientationDetector().ClearJobs();
  FreeImages();
  DropPreview();
  thumbBackground_.reset();
  MCUWidth = MCUHeight = MCUCols = MCURows = 0;
  trailer_ = {};
  fullWanted_ = true;
  mainThumb_ = nullptr;
  MainThumbIndex = -1;
  History.Clear();
  PictureOffset = 0;
  modified_ = false;
}

void TvtThumbSource::Load(TStream* headerStream, TStream* stream, bool ownsStream, TvtItem* item, TvtRepair repair) {
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
  if (item != nullptr) PictureOffset = item->Offset;

  // The open's decode of the item, when it kept one, is the document's: nothing is parsed again.
  std::unique_ptr<TkelJpegWithThumbs> decoded = item != nullptr ? std::move(item->Decoded) : nullptr;
  RepairReport = repair::TRepairReport{};
  if (decoded) {
    Jpeg = std::move(decoded);
    RepairReport = item->Repair;
  } else {
    // An item's picture is decoded as the disc source decodes it, every Multi-Picture image
    // counting, so that its thumbnails are the item's sub-items.
    if (item != nullptr && !Jpeg->AllMPImages()) Jpeg = std::make_unique<TkelJpegWithThumbs>(true, 0);
    // The picture that Render makes below (full, or reduced to fit) is rendered while the data
    // is decoded.
    // A fitted document also leaves the search for where the damage starts until after its
    // first picture (FinishDamageSearch).
    const bool fitted = PreviewBox.Width > 0 && PreviewBox.Height > 0;
    Jpeg->RenderPlanesWhileDecoding = !fitted;
    Jpeg->ScaleWhileDecoding = nullptr;
    if (fitted) Jpeg->ScaleWhileDecoding = [box = PreviewBox](int32_t w, int32_t h) { return PreviewShiftFor(w, h, box); };
    DecodePicture(*Jpeg, headerStream, *stream, static_cast<uint64_t>(stream->GetPosition()),
                  pfRecordSegments | pfNoRender, repair, &RepairReport, fitted);
  }
  Jpeg->ReleaseSamples();
  if (headerStream == nullptr)
    trailer_ = TrailerOf(*Jpeg, *stream, item != nullptr ? static_cast<int64_t>(item->TrailerEnd) : stream->GetSize());

  // The grid of the MCU edits: the frame's MCU, once a scan has been decoded.
  if (Jpeg->LastMCUWidth > 0) {
    const TkelMcuLayout mcu = FrameMcuLayout(*Jpeg);
    MCUWidth = mcu.Width;
    MCUHeight = mcu.Height;
    MCUCols = mcu.Cols;
    MCURows = mcu.Rows;
  }

  // A frame that the data could not fill is made in full at once: what it shows is the rows
  // that the data reached, which only the full render works out.
  fullWanted_ = !Jpeg->FrameSeen || PreviewShiftFor(Jpeg->Width, Jpeg->Height, PreviewBox) == 0 ||
                !FrameIsPlausible(Jpeg->Width, Jpeg->Height, Jpeg->Position);
  Render(false);
  Jpeg->Thumbs().SortThumbsByArea();

  // Candidates: the thumbnails that the decode collected (the item's sub-items are the same
  // pictures when they came from its own picture), else the sub-items' pictures.
  std::vector<std::unique_ptr<TBitmap32>> candidates;
  std::vector<std::string> kinds;
  if (item != nullptr && !item->OwnThumbnails) {
    for (TvtSubItem* sub : item->SubItems()) {
      candidates.push_back(sub->GetImage());
      kinds.push_back(sub->GetKind() == kKindJpeg ? "JPEG" : sub->GetKind() == kKindBitmap ? "bitmap" : "");
    }
  } else {
    for (TkelJpegThumb& t : Jpeg->Thumbs().Thumbs()) {
      candidates.push_back(t.Bitmap ? std::make_unique<TBitmap32>(*t.Bitmap) : nullptr);
      kinds.push_back(ThumbKindText(t.Kind));
    }
  }
  for (size_t i = 0; i < candidates.size(); ++i) {
    std::unique_ptr<TBitmap32>& bitmap = candidates[i];
    if (!bitmap) continue;
    TvtThumb* thumb = new TvtThumb(*this, std::move(bitmap));
    thumb->Kind = kinds[i];
    if (HasImage() && !thumb->Bitmap->Empty()) {
      // The detector compares at the thumbnail's size: the preview serves as well as the image.
      TBitmap32& shown = mainImage_ != nullptr ? *mainImage_ : *preview_;
      thumb->SetOrientation(static_cast<uint8_t>(DetectOrientation(shown, *thumb->Bitmap)));
      if (MainThumbIndex < 0) {
        // The list index: candidates without a bitmap have no entry.
        MainThumbIndex = ThumbCount() - 1;
        mainThumb_ = thumb->GetBitmap();
      }
    }
  }
  NotifyMainImage(true);
  NotifyThumbnails();
}


void TvtThumbSource::FinishDamageSearch() {
  if (!RepairReport.FirstDamagePending) return;
  vt::FinishDamageSearch(*Jpeg, RepairReport);
}

bool TvtThumbSource::CanEditMCUs() const {
  // The decoder's grid edits move the blocks of its last scan's components in that scan's MCUs:
  // the document's MCUs when that scan held every component (not the AC scans of a progressive
  // file).
  return MCUCols > 0 && Jpeg->LastScanComponentCount == Jpeg->ComponentCount && Jpeg->LastMCUWidth == MCUWidth &&
         Jpeg->LastMCUHeight == MCUHeight && Jpeg->MCUsPerRow == MCUCols && Jpeg->MCURows == MCURows;
}

TPictureSize TvtThumbSource::ImageSize() const {
  if (mainImage_ != nullptr) return {mainImage_->Width(), mainImage_->Height()};
  if (preview_ != nullptr && Jpeg->FrameSeen) return {Jpeg->Width, Jpeg->Height};
  return {};
}

TBitmap32* TvtThumbSource::MainImage() {
  if (mainImage_ == nullptr && preview_ != nullptr) {
    fullWanted_ = true;
    RenderFull();
  }
  return mainImage_;
}

void TvtThumbSource::Render(bool notify) {
  // The blocks changed: a preview is stale.
  DropPreview();
  if (fullWanted_)
    RenderFull();
  else
    RenderPreview();
  if (notify) NotifyMainImage(false);
}

void TvtThumbSource::RenderPreview() {
  DropPreview();
  previewShift_ = PreviewShiftFor(Jpeg->Width, Jpeg->Height, PreviewBox);
  auto preview = std::make_unique<TBitmap32>();
  Jpeg->RenderScaled(*preview, previewShift_);
  if (!preview->Empty()) preview_ = std::move(preview);
}

void TvtThumbSource::RenderFull() {
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
  previewBackground_.reset();
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
    previewBackground_.reset();
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
