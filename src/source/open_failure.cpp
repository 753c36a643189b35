#include "source/open_failure.h"

#include <exception>

#include "jpeg/markers.h"
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
  if (!IsStartOfImage(head, got))
    return "the file does not begin with a JPEG start-of-image marker";
  return "nothing of the image could be decoded and it holds no embedded thumbnail";
}

}  // namespace

std::string Sentence(std::string text) {
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
  if (!text.empty() && text.back() != '.') text += '.';
  return text;
}

std::string InvalidImageMessage(const std::string& explanation) {
  return explanation.empty() ? std::string(kInvalidImage) : std::string(kInvalidImage) + "\n\n" + explanation;
}

std::string InvalidImageLine(const std::string& reason) {
  return reason.empty() ? std::string(kInvalidImage) : std::string(kInvalidImage) + " (" + reason + ")";
}

std::string NoItemReason(TvtDiscSource& source) {
  if (!source.LastError.empty()) return source.LastError;
  try {
    return ReasonFromBytes(source);
  } catch (const std::exception& e) {
    return e.what();
  }
}

}  // namespace vt
