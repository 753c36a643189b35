#include "source/picture_decode.h"

#include <string>

#include "jpeg/jpeg_constants.h"
#include "source/items.h"
#include "source/picture_repair.h"
#include "thumbs/jpeg_with_thumbs.h"

namespace vt {

bool ParseRepair(const std::string& text, TvtRepair& repair) {
  if (text == "none") repair = TvtRepair::None;
  else if (text == "auto") repair = TvtRepair::Auto;
  else return false;
  return true;
}

int DecodePicture(TkelJpegWithThumbs& image, TStream* headerStream, TStream& stream, uint64_t offset, uint16_t flags,
                  TvtRepair repair, repair::TRepairReport* report, bool deferDamageSearch) {
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
  // Every road to a shown, judged or restored picture passes here, with the image's blocks, maps
  // and thumbnails at hand.
  repair::TRepairReport own;
  RepairPicture(image, repair, report ? *report : own, deferDamageSearch);
  return result;
}

int DecodeItem(TkelJpegWithThumbs& image, const TvtSubItem& item, uint16_t flags, TvtRepair repair,
               repair::TRepairReport* report) {
  return DecodePicture(image, item.HeaderStream, *item.Stream, item.Offset, flags, repair, report);
}

}  // namespace vt
