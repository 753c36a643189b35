// A restored baseline JPEG written to a file: the one routine behind File > Save As and
// vantrelle-cli restore. The viewer writes through the safe writer (a temporary file renamed over
// the target when complete), so a failed save leaves an existing file as it was; the command line
// passes its own writer, which also takes standard output and devices.
#pragma once

#include <functional>
#include <string>

#include "base/stream.h"
#include "bitmap/bitmap32.h"
#include "jpeg/writer_trailer.h"

namespace vt {

class TkelJpegImage;

// How a target is written: SaveFileSafely (base/safe_file.h) or another writer of that shape.
using TkelSaveFunction = void (*)(const std::string& target, const std::function<void(TStream&)>& write,
                                  const std::string& protectedFile);

// Writes image as a baseline JPEG to target, followed by what followed the picture in its file
// (writer_trailer.h); missing blocks are encoded from background (null: they stay zero).
// sourceFile, the file the image was read from, is never overwritten (ESaveRefused). Raises
// EWriteError when the image has no frame or the file would be larger than RestoreOutputLimit
// (base/limits.h) for the source's size; system errors as EOSError. save: null for the safe
// writer. Returns what became of the trailer.
TkelTrailerFate SaveBaselineJpegFile(TkelJpegImage& image, const TBitmap32* background, const std::string& target,
                                     const std::string& sourceFile, const TkelTrailer& trailer = {},
                                     TkelSaveFunction save = nullptr);

}  // namespace vt
