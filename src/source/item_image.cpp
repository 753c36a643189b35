// TvtSubItem::GetImage: the full picture of an item or sub-item, decoded from its stream.
#include "jpeg/image.h"
#include "jpeg/jpeg_constants.h"
#include "source/items.h"

namespace vt {

std::unique_ptr<TBitmap32> TvtSubItem::GetImage() {
  if (!GetPreview()) return nullptr;
  switch (GetKind()) {
    case kKindJpeg: {
      TkelJpegImage image(65536);
      if (HeaderStream) {
        HeaderStream->Seek(0, soBeginning);
        image.LoadFromStream(*HeaderStream, pfHeadersOnly, 0);
        Stream->Seek(static_cast<int64_t>(Offset), soBeginning);
        image.LoadFromStream(*Stream, pfResumeAtScan, 0);
      } else {
        Stream->Seek(static_cast<int64_t>(Offset), soBeginning);
        image.LoadFromStream(*Stream, 0, 0);
      }
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
