#include "source/vt_common.h"

#include <cinttypes>
#include <cstdio>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "base/result_codes.h"

namespace vt {

std::string SaveFolder;

namespace {

namespace fs = std::filesystem;

std::chrono::milliseconds retryDelay{1000};
constexpr int kAttempts = 5;

// Errors after which another attempt may succeed. On this platform deleting does not fail
// because another program has a file open, so only these are worth waiting for; a lasting
// error (no permission, read-only file system) ends the attempts at once instead of holding
// the program up for seconds per file at exit.
bool isPassingError(int e) { return e == EBUSY || e == ETXTBSY || e == EAGAIN || e == EINTR; }

void waitBeforeRetry() {
  if (retryDelay.count() > 0) std::this_thread::sleep_for(retryDelay);
}

std::string withoutTrailingDelimiter(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string folderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Gives a regular file its owner's write permission, never through a symbolic link.
void makeWritableAt(int dirFd, const char* name) {
  const int fd = ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR)) {
    ::fchmod(fd, (st.st_mode & 07777) | S_IWUSR);
  }
  ::close(fd);
}

// Empties the folder open as dirFd (owned by this call), entry by entry through descriptors,
// so that no symbolic link is followed even if the tree changes while it is walked.
void deleteContentsAt(int dirFd, int depth) {
  if (depth > 256) {
    ::close(dirFd);
    return;
  }
  DIR* dir = ::fdopendir(dirFd);
  if (!dir) {
    ::close(dirFd);
    return;
  }
  std::vector<std::string> folders, files;
  while (dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    // A symbolic link (the counterpart of a reparse point) is never followed: it joins the
    // files, and unlinking it removes the link itself while its target stays untouched.
    (S_ISDIR(st.st_mode) ? folders : files).push_back(name);
  }
  for (const auto& name : folders) {
    const int sub = ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (sub < 0) continue;
    struct stat st {};
    // A folder needs write and search permission for its entries to be deleted.
    if (::fstat(sub, &st) == 0 && (st.st_mode & (S_IWUSR | S_IXUSR)) != (S_IWUSR | S_IXUSR)) {
      ::fchmod(sub, (st.st_mode & 07777) | S_IRWXU);
    }
    deleteContentsAt(sub, depth + 1);
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
      if (::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT) break;
      if (!isPassingError(errno) || attempt == kAttempts) break;
      waitBeforeRetry();
    }
  }
  for (const auto& name : files) {
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
      makeWritableAt(dirFd, name.c_str());
      if (::unlinkat(dirFd, name.c_str(), 0) == 0 || errno == ENOENT) break;
      if (!isPassingError(errno) || attempt == kAttempts) break;
      waitBeforeRetry();
    }
  }
  ::closedir(dir);
}

}  // namespace

void SetDeleteRetryDelay(std::chrono::milliseconds delay) { retryDelay = delay; }

std::string PictureOffsetMark(uint64_t pictureOffset) {
  if (pictureOffset == 0) return {};
  char mark[32];
  std::snprintf(mark, sizeof mark, " @0x%08" PRIX64, pictureOffset);
  return mark;
}

std::string MakeCaption(const std::string& fileName, uint64_t pictureOffset) {
  if (fileName.empty()) return "Vantrelle viewer";
  return fs::path(fileName).filename().string() + PictureOffsetMark(pictureOffset) + " - Vantrelle viewer";
}

std::string RestoredFileName(const std::string& sourceFile, uint64_t pictureOffset) {
  return fs::path(sourceFile).stem().string() + PictureOffsetMark(pictureOffset) + " (restored).jpg";
}

std::string ThumbFileName(const std::string& sourceFile, int32_t width, int32_t height) {
  return fs::path(sourceFile).stem().string() + " (thumb " + std::to_string(width) + "x" + std::to_string(height) +
         ").bmp";
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string GetTempFolder() {
  std::error_code ec;
  fs::path temp = fs::temp_directory_path(ec);
  if (ec) {
    // The folder named by the environment does not exist yet: create it.
    temp.clear();
    for (const char* var : {"TMPDIR", "TMP", "TEMP", "TEMPDIR"}) {
      const char* v = std::getenv(var);
      if (v && *v) {
        temp = v;
        break;
      }
    }
    if (temp.empty()) temp = "/tmp";
    if (!fs::create_directories(temp, ec) && !fs::is_directory(temp)) {
      RaiseOSError(ec ? ec.value() : ENOTDIR);
    }
  }
  std::string s = temp.string();
  if (s.size() < 1) RaiseOSError(ENOENT);
  if (s.back() != '/') s += '/';
  return s;
}

std::string GetAppTempFolder(bool create) {
  const std::string folder = GetTempFolder() + "Vantrelle/";
  if (create) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec && !fs::is_directory(folder)) RaiseOSError(ec.value());
  }
  return folder;
}

void DeleteFileRetry(const std::string& path, bool removeFolder) {
  const std::string folder = folderOf(path);
  for (int attempt = 1; attempt <= kAttempts; ++attempt) {
    makeWritableAt(AT_FDCWD, path.c_str());
    if (::unlink(path.c_str()) == 0 || errno == ENOENT) {
      if (removeFolder) ::rmdir(folder.c_str());
      return;
    }
    if (errno == ENOTDIR || !isPassingError(errno) || attempt == kAttempts) return;
    waitBeforeRetry();
  }
}

void RemoveFolderRetry(const std::string& path) {
  const std::string folder = withoutTrailingDelimiter(path);
  for (int attempt = 1; attempt <= kAttempts; ++attempt) {
    if (::rmdir(folder.c_str()) == 0 || errno == ENOENT || errno == ENOTDIR) return;
    if (!isPassingError(errno) || attempt == kAttempts) return;
    waitBeforeRetry();
  }
}

void DeleteFolderContents(const std::string& path, bool removeSelf) {
  const std::string folder = withoutTrailingDelimiter(path);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;  // missing, not a folder, or a symbolic link: nothing to do
  deleteContentsAt(fd, 0);
  if (removeSelf) RemoveFolderRetry(folder);
}

void FinalizeVtCommon() {
  try {
    const std::string folder = withoutTrailingDelimiter(GetAppTempFolder(false));
    struct stat st {};
    // The system temporary folder is shared by every user: only a real folder of ours is
    // emptied, never one that another user created or a link planted in its place.
    if (::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid()) {
      DeleteFolderContents(folder, false);
    }
  } catch (...) {
  }
  SaveFolder.clear();
}

namespace {

// Runs the clean-up when the process ends; declared after SaveFolder so that it is
// destroyed first.
struct TVtCommonFinalizer {
  ~TVtCommonFinalizer() { FinalizeVtCommon(); }
} finalizer;

}  // namespace

}  // namespace vt
