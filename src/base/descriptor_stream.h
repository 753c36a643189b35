// An open file descriptor written as a stream: every byte is written (short writes and
// interruptions are retried); failures raise EOSError naming the target. Seeking works where the
// descriptor can seek (a regular file), else only asking for the position does.
#pragma once

#include <string>

#include "base/stream.h"

namespace vt {

class TDescriptorStream : public TStream {
 public:
  TDescriptorStream(int fd, std::string target) : fd_(fd), target_(std::move(target)) {}

  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;

 private:
  int fd_;
  std::string target_;
  int64_t written_ = 0;
};

// Raises EOSError(code) with what + " \"path\": " + the system's text for code.
[[noreturn]] void RaiseFileError(int code, const std::string& what, const std::string& path);

}  // namespace vt
