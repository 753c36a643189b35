#include "jpeg/writer_file.h"

#include <filesystem>
#include <system_error>

#include "base/limits.h"
#include "base/safe_file.h"
#include "jpeg/image.h"
#include "jpeg/writer.h"

namespace vt {

namespace {

// Passes writes on until limit bytes; a write beyond raises, so the safe writer removes what
// was written and the target stays as it was.
class TBoundedStream : public TStream {
 public:
  TBoundedStream(TStream& inner, int64_t limit) : inner_(inner), limit_(limit) {}
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* buffer, int64_t count) override {
    if (count > limit_ - written_)
      throw EWriteError("The restored file would be larger than " + std::to_string(limit_ >> 20) +
                        " MB; nothing was written");
    written_ += count;
    return inner_.Write(buffer, count);
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override { return inner_.Seek(offset, origin); }

 private:
  TStream& inner_;
  int64_t limit_;
  int64_t written_ = 0;
};

}  // namespace

TkelTrailerFate SaveBaselineJpegFile(TkelJpegImage& image, const TBitmap32* background, const std::string& target,
                                     const std::string& sourceFile, const TkelTrailer& trailer, TkelSaveFunction save) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(sourceFile, ec);
  const int64_t limit = RestoreOutputLimit(ec ? 0 : static_cast<int64_t>(size));
  TkelTrailerFate fate = TkelTrailerFate::None;
  (save ? save : SaveFileSafely)(
      target,
      [&](TStream& stream) {
        TBoundedStream bounded(stream, limit);
        auto write = [&](TStream& out) {
          if (!WriteBaselineJpeg(image, out, background, nullptr))
            throw EWriteError("There is no image to save: the file has no readable frame");
        };
        if (!trailer.Present()) {
          write(bounded);
          return;
        }
        // Whether the trailer keeps its offsets depends on the new picture's length: the
        // picture is made in memory first.
        TMemoryStream restored;
        TBoundedStream boundedRestored(restored, limit);
        write(boundedRestored);
        fate = WriteRestoredWithTrailer(restored.Memory(), restored.GetSize(), image.RawSegments.Length, trailer,
                                        bounded);
      },
      sourceFile);
  return fate;
}

}  // namespace vt
