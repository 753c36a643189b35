// A thumbnail saved as a bitmap file: the unedited picture turned and cropped as the user set
// it, on black, written through the safe writer. The one routine behind the thumbnail list's
// Save as and the editor's "Save to file...".
#pragma once

#include <cstdint>
#include <string>

#include "bitmap/bitmap32.h"

namespace vt {

// The name proposed for a thumbnail of sourceFile: "NAME (thumb WxH).bmp" with the size after
// the orientation and crops.
std::string ProposedThumbFileName(const std::string& sourceFile, const TBitmap32& bitmap, uint8_t orientation,
                                  int32_t cropLeft, int32_t cropTop, int32_t cropRight, int32_t cropBottom);

// Writes the transformed picture as a BMP file; sourceFile (the open JPEG) is never overwritten.
void SaveThumbBitmapFile(const TBitmap32& bitmap, uint8_t orientation, int32_t cropLeft, int32_t cropTop,
                         int32_t cropRight, int32_t cropBottom, const std::string& target,
                         const std::string& sourceFile);

}  // namespace vt
