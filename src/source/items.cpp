#include "source/items.h"

#include <algorithm>
#include <cmath>

#include "jpeg/markers.h"
#include "thumbs/jpeg_with_thumbs.h"

namespace vt {

TvtSubItem::TvtSubItem(TvtItem* owner) : Owner(owner) {
  if (Owner) Owner->subItems_.push_back(this);
}

TvtSubItem::~TvtSubItem() {
  if (Owner) {
    auto& list = Owner->subItems_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  FreePreview();
  if (OwnsStream) delete Stream;
  if (OwnsHeaderStream) delete HeaderStream;
}

void TvtSubItem::SetPreview(std::unique_ptr<TBitmap32> bitmap, TStream* store) {
  FreePreview();
  Preview = std::move(bitmap);
  PreviewStore = store;
  PreviewOffset = static_cast<uint64_t>(store->GetSize());
  store->Seek(0, soEnd);
  Preview->SaveToStream(*store);
  PreviewSize = static_cast<int32_t>(store->GetSize() - static_cast<int64_t>(PreviewOffset));
  ThumbCache().Touch(this);
}

TBitmap32* TvtSubItem::GetPreview() {
  if (!Preview && PreviewMaker) {
    const auto maker = std::move(PreviewMaker);
    PreviewMaker = nullptr;
    std::unique_ptr<TBitmap32> made;
    try {
      made = maker();
    } catch (const std::exception&) {
      made.reset();  // a picture that cannot be read again has no preview
    }
    if (made && PreviewStore) SetPreview(std::move(made), PreviewStore);
  }
  if (!Preview) {
    if (PreviewSize == 0 || !PreviewStore) return nullptr;
    auto loaded = std::make_unique<TBitmap32>();
    PreviewStore->Seek(static_cast<int64_t>(PreviewOffset), soBeginning);
    loaded->LoadFromStream(*PreviewStore);
    Preview = std::move(loaded);
  }
  ThumbCache().Touch(this);
  return Preview.get();
}

void TvtSubItem::FreePreview() {
  Preview.reset();
  ThumbCache().Remove(this);
}

uint8_t TvtSubItem::GetKind() {
  if (KindKnown) return Kind;
  Kind = kKindNone;
  if (Length > 4 && Stream) {
    uint8_t head[4] = {};
    Stream->Seek(static_cast<int64_t>(Offset), soBeginning);
    const int64_t got = Stream->Read(head, 4);
    Stream->Seek(static_cast<int64_t>(Offset), soBeginning);
    if (IsStartOfImage(head, got)) Kind = kKindJpeg;
    else if (got >= 2 && head[0] == 'B' && head[1] == 'M') Kind = kKindBitmap;
  }
  KindKnown = true;
  return Kind;
}

TvtItem::TvtItem() : TvtSubItem(nullptr) {}

TvtItem::~TvtItem() {
  while (!subItems_.empty()) delete subItems_.back();  // each leaves the list itself
}

void TvtItem::Release() {
  if (--RefCount == 0) delete this;
}

void TvtThumbCache::Touch(TvtSubItem* subItem) {
  auto it = std::find(list_.begin(), list_.end(), subItem);
  if (it != list_.end()) {
    list_.splice(list_.begin(), list_, it);
    return;
  }
  list_.push_front(subItem);
  while (list_.size() > kMaxLoaded) list_.back()->FreePreview();
}

void TvtThumbCache::Remove(TvtSubItem* subItem) { list_.remove(subItem); }

TvtThumbCache& ThumbCache() {
  // Never destroyed: items may still leave it while other statics are torn down.
  static auto* cache = new TvtThumbCache;
  return *cache;
}

void PreviewSize(int32_t width, int32_t height, int32_t& previewWidth, int32_t& previewHeight) {
  if (width <= 0 || height <= 0) {
    previewWidth = previewHeight = 0;
    return;
  }
  // Rounded to the nearest, halves to even (the default floating-point rounding).
  const double e = std::nearbyint(static_cast<double>(height) * 120.0 / width);
  if (e > 90) {
    previewWidth = static_cast<int32_t>(std::nearbyint(static_cast<double>(width) * 90.0 / height));
    previewHeight = 90;
  } else {
    previewWidth = 120;
    previewHeight = static_cast<int32_t>(e);
  }
  previewWidth = std::max(previewWidth, 1);
  previewHeight = std::max(previewHeight, 1);
}

std::unique_ptr<TBitmap32> MakePreview(TBitmap32& bitmap) {
  int32_t w = 0, h = 0;
  PreviewSize(bitmap.Width(), bitmap.Height(), w, h);
  auto preview = std::make_unique<TBitmap32>(w, h);
  preview->Clear(0);
  bitmap.SetResampler(std::make_unique<TKernelResampler>());
  bitmap.DrawMode = dmBlend;
  if (w > 0 && h > 0) bitmap.DrawTo(*preview, preview->BoundsRect(), bitmap.BoundsRect());
  return preview;
}

}  // namespace vt
