#include "base/descriptor_stream.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/result_codes.h"

namespace vt {

void RaiseFileError(int code, const std::string& what, const std::string& path) {
  throw EOSError(code, what + " \"" + path + "\": " + std::strerror(code));
}

int64_t TDescriptorStream::Write(const void* buffer, int64_t count) {
  int64_t done = 0;
  const auto* p = static_cast<const uint8_t*>(buffer);
  while (done < count) {
    const ssize_t n = ::write(fd_, p + done, static_cast<size_t>(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseFileError(errno, "Cannot write", target_);
    }
    if (n == 0) RaiseFileError(ENOSPC, "Cannot write", target_);
    done += n;
  }
  written_ += done;
  return done;
}

int64_t TDescriptorStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
  const off_t r = ::lseek(fd_, static_cast<off_t>(offset), whence);
  if (r >= 0) return r;
  // A pipe or a device has no position to move to; what was written is where it stands.
  if (errno == ESPIPE && origin == soCurrent && offset == 0) return written_;
  RaiseFileError(errno, "Cannot write", target_);
}

}  // namespace vt
