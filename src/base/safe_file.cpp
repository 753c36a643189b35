#include "base/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "base/descriptor_stream.h"

namespace vt {

namespace {

namespace fs = std::filesystem;

[[noreturn]] void RaiseFor(int code, const std::string& what, const std::string& path) {
  RaiseFileError(code, what, path);
}

std::string RandomSuffix() {
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937_64 rng{std::random_device{}() ^ (uint64_t(::getpid()) << 32)};
  std::string s(6, 'x');
  for (char& c : s) c = kChars[rng() % (sizeof kChars - 1)];
  return s;
}

// Where the bytes really go: a symbolic link is followed to its final target.
std::string ResolveTarget(const std::string& target) {
  std::error_code ec;
  if (fs::is_symlink(fs::symlink_status(target, ec))) {
    const fs::path resolved = fs::weakly_canonical(fs::path(target), ec);
    if (!ec) return resolved.string();
  }
  return target;
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  if (a.empty() || b.empty()) return false;
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string SafeTempPrefix(const std::string& target) {
  // Room for the suffix within the 255 bytes a file name may have.
  return "." + fs::path(target).filename().string().substr(0, 200) + ".";
}

void SaveFileSafely(const std::string& requested, const std::function<void(TStream&)>& write,
                    const std::string& protectedFile) {
  if (requested.empty()) throw ESaveRefused("No file name was given");
  const std::string target = ResolveTarget(requested);
  if (!protectedFile.empty() && SameFile(target, protectedFile))
    throw ESaveRefused("\"" + requested + "\" is the file being read; choose another name");

  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) throw ESaveRefused("\"" + requested + "\" is a folder");
  if (exists && !S_ISREG(old.st_mode))
    throw ESaveRefused("\"" + requested + "\" is not a regular file (a device, a pipe or a socket)");

  fs::path folder = fs::path(target).parent_path();
  if (folder.empty()) folder = ".";
  const std::string prefix = (folder / SafeTempPrefix(target)).string();

  // O_EXCL: the temporary name is new, never a file somebody already has.
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = prefix + RandomSuffix() + ".tmp";
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) RaiseFor(errno, "Cannot create", requested);
  }
  if (fd < 0) RaiseFor(EEXIST, "Cannot create", requested);

  try {
    if (exists) {
      // A replaced file keeps its permissions (and, where allowed, its owner).
      if (::fchown(fd, old.st_uid, old.st_gid) != 0) { /* not ours to give away: keep ours */ }
      ::fchmod(fd, old.st_mode & 07777);
    }
    TDescriptorStream stream(fd, requested);
    write(stream);
    if (::fsync(fd) != 0 && errno != EINVAL) RaiseFor(errno, "Cannot write", requested);
    const int closing = fd;
    fd = -1;
    if (::close(closing) != 0) RaiseFor(errno, "Cannot write", requested);
    if (::rename(temp.c_str(), target.c_str()) != 0) RaiseFor(errno, "Cannot replace", requested);
  } catch (...) {
    if (fd >= 0) ::close(fd);
    ::unlink(temp.c_str());
    throw;
  }

  // The rename itself reaches the disc once the folder is flushed.
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

}  // namespace vt
