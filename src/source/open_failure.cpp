#include "source/open_failure.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>

#include "base/limits.h"
#include "jpeg/markers.h"
#include "source/disc_source.h"
#include "source/file_types.h"
#include "source/signature_finder.h"

namespace vt {

namespace {

// The error the system gives for opening path for reading, 0 when it opens.
int OpenErrorOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return errno;
  ::close(fd);
  return S_ISREG(st.st_mode) ? 0 : ENXIO;
}

// A marker that may follow a start of image: a frame, tables, a restart interval, an
// application segment or a comment.
bool CanFollowStartOfImage(uint8_t marker) {
  return (marker >= 0xC0 && marker <= 0xCF && marker != 0xC8) || marker == mkDQT || marker == mkDRI ||
         (marker >= mkAPP0 && marker <= 0xEF) || marker == 0xFE;
}

// searchFurther: look for a JPEG that starts after byte 0 (it reads up to kOpenHintSearchBytes).
void DiagnoseBytes(TvtDiscSource& source, TvtOpenFailure& failure, bool searchFurther) {
  if (!source.Stream) {
    failure.Reason = "the file could not be read";
    return;
  }
  const int64_t size = source.Stream->GetSize();
  if (size == 0) {
    failure.Kind = TvtOpenFailure::fkEmpty;
    failure.Reason = "the file is empty";
    return;
  }
  uint8_t head[kFileTypeHeadBytes] = {};
  source.Stream->Seek(0, soBeginning);
  const int64_t got = source.Stream->Read(head, kFileTypeHeadBytes);
  if (IsStartOfImage(head, got)) {
    failure.Kind = TvtOpenFailure::fkNothingDecoded;
    failure.Reason = "nothing of the image could be decoded and it holds no embedded thumbnail";
    return;
  }
  failure.Kind = TvtOpenFailure::fkNotJpeg;
  failure.Reason = "the file does not begin with a JPEG start-of-image marker";
  failure.FileType = KnownFileType(head, got);
  if (!failure.FileType.empty()) failure.Kind = TvtOpenFailure::fkOtherType;
  if (searchFurther)
    failure.JpegOffset = FindJpegFurtherOn(*source.Stream, static_cast<uint64_t>(std::min(size, kOpenHintSearchBytes)));
}

}  // namespace

TvtOpenFailure::TKind OpenErrorKind(int code) {
  switch (code) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG: return TvtOpenFailure::fkMissing;
    case EISDIR: return TvtOpenFailure::fkFolder;
    case EACCES:
    case EPERM: return TvtOpenFailure::fkNoPermission;
    case ENXIO:
    case ENODEV: return TvtOpenFailure::fkNotRegular;
    default: return TvtOpenFailure::fkUnreadable;
  }
}

int64_t FindJpegFurtherOn(TStream& stream, uint64_t limit) {
  const int64_t size = stream.GetSize();
  if (size <= 0) return -1;
  TvtSignatureFinder finder(stream, static_cast<uint64_t>(size));
  uint64_t pos = 1;
  while (pos < limit) {
    const TvtSignatureChunk& chunk = finder.At(pos);
    if (chunk.End <= pos) break;
    for (const TvtFoundSignature& found : chunk.Found)
      if (found.Offset >= pos && found.Offset < limit && found.StartOfImage() && found.Count >= 4 &&
          CanFollowStartOfImage(found.Bytes[3]))
        return static_cast<int64_t>(found.Offset);
    pos = chunk.End;
  }
  return -1;
}

TvtOpenFailure DiagnoseOpenFailure(TvtDiscSource& source) {
  TvtOpenFailure failure;
  if (!source.LastError.empty()) {
    failure.Reason = source.LastError;
    failure.Kind = OpenErrorKind(OpenErrorOf(source.FileName));
    return failure;
  }
  try {
    DiagnoseBytes(source, failure, true);
  } catch (const std::exception& e) {
    failure.Kind = TvtOpenFailure::fkUnreadable;
    failure.Reason = e.what();
  }
  return failure;
}

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
  TvtOpenFailure failure;
  try {
    DiagnoseBytes(source, failure, false);
  } catch (const std::exception& e) {
    return e.what();
  }
  return failure.Reason;
}

}  // namespace vt
