#include "source/picture_decode.h"

#include <string>

#include "jpeg/jpeg_constants.h"
#include "source/items.h"
#include "thumbs/jpeg_with_thumbs.h"

namespace vt {

bool ParseRepair(const std::string& text, TvtRepair& repair) {
  if (text == "none") repair = TvtRepair::None;
  else if (text == "auto") repair = TvtRepair::Auto;
  else return false;
  return true;
}

int DecodePicture(TkelJpegWithThumbs& image, TStream* headerStream, TStream& stream, uint64_t offset, uint16_t flags,
                  TvtRepair repair) {
  const uint16_t dataFlags = static_cast<uint16_t>(flags & ~(pfHeadersOnly | pfResumeAtScan));
  int result;
  if (headerStream != nullptr) {
    headerStream->Seek(0, soBeginning);
    result = image.LoadFromStream(*headerStream, static_cast<uint16_t>(dataFlags | pfHeadersOnly));
    if (result != jrOK) return result;
    stream.Seek(static_cast<int64_t>(offset), soBeginning);
    result = image.LoadFromStream(stream, static_cast<uint16_t>(dataFlags | pfResumeAtScan));
  } else {
    stream.Seek(static_cast<int64_t>(offset), soBeginning);
    result = image.LoadFromStream(stream, dataFlags);
  }
  // The repairs of the decoded picture belong here: the image's blocks, maps and thumbnails
  // (image.Thumbs()) are all at hand, and every road to a shown, judged or restored picture
  // passes. TvtRepair::None is the decoder's own restart-marker resynchronisation.
  (void)repair;
  return result;
}

int DecodeItem(TkelJpegWithThumbs& image, const TvtSubItem& item, uint16_t flags, TvtRepair repair) {
  return DecodePicture(image, item.HeaderStream, *item.Stream, item.Offset, flags, repair);
}

}  // namespace vt
