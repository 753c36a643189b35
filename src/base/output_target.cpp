#include "base/output_target.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/descriptor_stream.h"
#include "base/safe_file.h"

namespace vt {

namespace {

bool IsDevice(const std::string& target) {
  struct stat st {};
  return ::stat(target.c_str(), &st) == 0 && (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode));
}

void WriteDevice(const std::string& target, const std::function<void(TStream&)>& write) {
  // Without O_NONBLOCK, opening a FIFO that nobody reads would wait for ever.
  const int fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENXIO) throw EOSError(ENXIO, "Cannot write \"" + target + "\": no program reads from it");
    RaiseFileError(errno, "Cannot open", target);
  }
  struct TCloser {
    int fd;
    ~TCloser() { ::close(fd); }
  } closer{fd};
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  TDescriptorStream stream(fd, target);
  write(stream);
}

}  // namespace

bool IsDirectOutput(const std::string& target) { return target == kStandardOutput || IsDevice(target); }

void WriteOutput(const std::string& target, const std::function<void(TStream&)>& write,
                 const std::string& protectedFile) {
  if (target == kStandardOutput) {
    if (::isatty(STDOUT_FILENO))
      throw ESaveRefused("Standard output is a terminal; redirect it to a file or a program");
    TDescriptorStream stream(STDOUT_FILENO, "standard output");
    write(stream);
    return;
  }
  if (!protectedFile.empty() && SameFile(target, protectedFile))
    throw ESaveRefused("\"" + target + "\" is the file being read; choose another name");
  if (IsDevice(target)) {
    WriteDevice(target, write);
    return;
  }
  SaveFileSafely(target, write, protectedFile);
}

}  // namespace vt
