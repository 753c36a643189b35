#include "viewer/thumb_file.h"

#include "base/safe_file.h"
#include "source/vt_common.h"
#include "viewer/thumb_image_core.h"

namespace vt {

std::string ProposedThumbFileName(const std::string& sourceFile, const TBitmap32& bitmap, uint8_t orientation,
                                  int32_t cropLeft, int32_t cropTop, int32_t cropRight, int32_t cropBottom) {
  const TPictureSize size =
      TransformedThumbSize(bitmap.Width(), bitmap.Height(), orientation, cropLeft, cropTop, cropRight, cropBottom);
  return ThumbFileName(sourceFile, size.Width, size.Height);
}

void SaveThumbBitmapFile(const TBitmap32& bitmap, uint8_t orientation, int32_t cropLeft, int32_t cropTop,
                         int32_t cropRight, int32_t cropBottom, const std::string& target,
                         const std::string& sourceFile) {
  const auto picture = TransformedThumbForSaving(bitmap, orientation, cropLeft, cropTop, cropRight, cropBottom);
  if (picture->Empty()) throw EWriteError("The thumbnail is cropped to nothing; there is no picture to save");
  SaveFileSafely(target, [&](TStream& stream) { picture->SaveToStream(stream); }, sourceFile);
}

}  // namespace vt
