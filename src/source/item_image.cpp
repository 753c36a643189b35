// TvtSubItem::GetImage: the full picture of an item or sub-item, decoded from its stream.
#include "jpeg/jpeg_constants.h"
#include "source/items.h"
#include "source/picture_decode.h"
#include "thumbs/jpeg_with_thumbs.h"

namespace vt {

std::unique_ptr<TBitmap32> TvtSubItem::GetImage() {
  if (!GetPreview()) return nullptr;
  return LoadImage();
}

std::unique_ptr<TBitmap32> TvtSubItem::LoadImage() {
  switch (GetKind()) {
    case kKindJpeg: {
      TkelJpegWithThumbs image(false, 65536);
      DecodeItem(image, *this, 0, TvtRepair::None);
      return image.TakeBitmap();
    }
    case kKindBitmap: {
      auto bitmap = std::make_unique<TBitmap32>();
      Stream->Seek(static_cast<int64_t>(Offset), soBeginning);
      bitmap->LoadFromStream(*Stream);
      return bitmap;
    }
    default:
      return nullptr;
  }
}

}  // namespace vt
