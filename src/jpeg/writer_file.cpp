#include "jpeg/writer_file.h"

#include "base/safe_file.h"
#include "jpeg/writer.h"

namespace vt {

void SaveBaselineJpegFile(TkelJpegImage& image, const TBitmap32* background, const std::string& target,
                          const std::string& sourceFile) {
  SaveFileSafely(
      target,
      [&](TStream& stream) {
        if (!WriteBaselineJpeg(image, stream, background, nullptr))
          throw EWriteError("There is no image to save: the file has no readable frame");
      },
      sourceFile);
}

}  // namespace vt
