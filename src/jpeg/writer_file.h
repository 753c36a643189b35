// A restored baseline JPEG written to a file: the one routine behind File > Save As and
// vantrelle-cli restore. The file is written through the safe writer (a temporary file renamed
// over the target when complete), so a failed save leaves an existing file as it was.
#pragma once

#include <string>

#include "bitmap/bitmap32.h"

namespace vt {

class TkelJpegImage;

// Writes image as a baseline JPEG to target; missing blocks are encoded from background (null:
// they stay zero). sourceFile, the file the image was read from, is never overwritten
// (ESaveRefused). Raises EWriteError when the image has no frame or the file would be larger than
// RestoreOutputLimit (base/limits.h) for the source's size; system errors as EOSError.
void SaveBaselineJpegFile(TkelJpegImage& image, const TBitmap32* background, const std::string& target,
                          const std::string& sourceFile);

}  // namespace vt
