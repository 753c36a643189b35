#include "source/open_failure.h"

#include <exception>

#include "source/disc_source.h"

namespace vt {

namespace {

std::string ReasonFromBytes(TvtDiscSource& source) {
  if (!source.Stream) return "the file could not be read";
  const int64_t size = source.Stream->GetSize();
  if (size == 0) return "the file is empty";
  uint8_t head[3] = {};
  source.Stream->Seek(0, soBeginning);
  const int64_t got = source.Stream->Read(head, 3);
  if (got < 3 || head[0] != 0xFF || head[1] != 0xD8 || head[2] != 0xFF)
    return "the file does not begin with a JPEG start-of-image marker";
  return "nothing of the image could be decoded and it holds no embedded thumbnail";
}

}  // namespace

std::string NoItemReason(TvtDiscSource& source) {
  if (!source.LastError.empty()) return source.LastError;
  try {
    return ReasonFromBytes(source);
  } catch (const std::exception& e) {
    return e.what();
  }
}

}  // namespace vt
