#include "source/file_stream_7z.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace vt {

namespace {

// Opens without ever blocking (a FIFO with no writer would block a plain open), then refuses
// everything but a regular file. Returns the descriptor or raises the OS error.
int openRegularFile(const std::string& fileName, int accessFlags, bool create) {
  int flags = accessFlags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  if (create) flags |= O_CREAT;
  // A read-only descriptor cannot be truncated later, so a read-only create replaces the
  // file at once (Linux honours O_TRUNC with O_RDONLY when the file is writable).
  if (create && accessFlags == O_RDONLY) flags |= O_TRUNC;
  int fd;
  do {
    fd = ::open(fileName.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) RaiseOSError(errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int e = errno;
    ::close(fd);
    RaiseOSError(e);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    if (S_ISDIR(st.st_mode)) RaiseOSError(EISDIR);
    const char* what = S_ISFIFO(st.st_mode)                          ? ": a named pipe (FIFO)"
                       : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? ": a device"
                       : S_ISSOCK(st.st_mode)                       ? ": a socket"
                                                                    : "";
    throw EOSError(ENXIO, std::string("Not a regular file") + what);
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

}  // namespace

Tkel7zFileStream::Tkel7zFileStream(const std::string& fileName, uint32_t mode) : FileName(fileName) {
  const uint32_t access = mode & 0xF;
  const uint32_t sharing = (mode >> 4) & 0xF;
  if (access > 2 || sharing > 4 || mode > 0x1FFF) RaiseOleError(E_INVALIDARG);
  const bool create = mode >= 0x1000;
  const int accessFlags = access == 0 ? O_RDONLY : access == 1 ? O_WRONLY : O_RDWR;

  const int fd = openRegularFile(fileName, accessFlags, create);
  // Others may read: sharing 0, 2 and 4; others may write: sharing 0, 3 and 4.
  const bool othersMayRead = sharing == 0 || sharing == 2 || sharing == 4;
  const bool othersMayWrite = sharing == 0 || sharing == 3 || sharing == 4;
  int lock = 0;
  if (!othersMayRead) lock = LOCK_EX;
  else if (!othersMayWrite) lock = LOCK_SH;
  if (lock != 0 && ::flock(fd, lock | LOCK_NB) != 0) {
    const int e = errno;
    // A file system without flock support cannot honour the share mode; only a lock that is
    // actually held by someone else refuses the open.
    if (e == EWOULDBLOCK) {
      ::close(fd);
      RaiseOSError(e);
    }
  }
  // Replacing an existing file happens only once the share mode has been granted.
  if (create && accessFlags != O_RDONLY && ::ftruncate(fd, 0) != 0) {
    const int e = errno;
    ::close(fd);
    RaiseOSError(e);
  }
  handle_ = fd;
}

Tkel7zFileStream::Tkel7zFileStream(int handle, bool ownsHandle, const std::string& fileName)
    : OwnsHandle(ownsHandle), FileName(fileName), handle_(handle) {}

Tkel7zFileStream::~Tkel7zFileStream() {
  if (OwnsHandle && handle_ >= 0) ::close(handle_);
}

IUnknown* Tkel7zFileStream::GetInterface(const TGUID& iid) {
  if (iid == IID_IStream) return static_cast<IStream*>(this);
  if (iid == IID_ISequentialStream) return static_cast<ISequentialStream*>(static_cast<IStream*>(this));
  if (iid == IID_Ikel7zFileStream) return static_cast<Ikel7zFileStream*>(this);
  if (iid == IID_IOutStream) return static_cast<IOutStream*>(this);
  if (iid == IID_ISequentialOutStream) return static_cast<ISequentialOutStream*>(static_cast<IOutStream*>(this));
  if (iid == IID_IStreamGetSize) return static_cast<IStreamGetSize*>(this);
  if (iid == IID_IInStream) return static_cast<IInStream*>(this);
  if (iid == IID_ISequentialInStream) return static_cast<ISequentialInStream*>(static_cast<IInStream*>(this));
  if (iid == IID_IUnknown) return static_cast<IUnknown*>(static_cast<IStream*>(this));
  return nullptr;
}

HRESULT Tkel7zFileStream::Read(void* buffer, uint32_t size, uint32_t* processed) {
  if (processed) *processed = 0;
  if (size == 0) return S_OK;
  ssize_t n;
  do {
    n = ::read(handle_, buffer, size);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return HResultFromOsError(errno);
  if (processed) *processed = static_cast<uint32_t>(n);
  return S_OK;
}

int64_t Tkel7zFileStream::ReadAt(uint64_t offset, void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (offset > static_cast<uint64_t>(INT64_MAX)) return 0;
  const size_t ask = static_cast<size_t>(std::min<int64_t>(count, 0x7FFFF000));
  ssize_t n;
  do {
    n = ::pread(handle_, buffer, ask, static_cast<off_t>(offset));
  } while (n < 0 && errno == EINTR);
  if (n < 0) OleCheck(HResultFromOsError(errno));
  return static_cast<int64_t>(n);
}

HRESULT Tkel7zFileStream::Write(const void* buffer, uint32_t size, uint32_t* processed) {
  if (processed) *processed = 0;
  if (size == 0) return S_OK;
  ssize_t n;
  do {
    n = ::write(handle_, buffer, size);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return HResultFromOsError(errno);
  if (processed) *processed = static_cast<uint32_t>(n);
  return S_OK;
}

HRESULT Tkel7zFileStream::Seek(int64_t offset, uint32_t origin, uint64_t* newPosition) {
  int whence;
  switch (origin) {
    case 0: whence = SEEK_SET; break;
    case 1: whence = SEEK_CUR; break;
    case 2: whence = SEEK_END; break;
    default: return HResultFromOsError(EINVAL);
  }
  const off_t r = ::lseek(handle_, static_cast<off_t>(offset), whence);
  if (r < 0) return HResultFromOsError(errno);
  if (newPosition) *newPosition = static_cast<uint64_t>(r);
  return S_OK;
}

HRESULT Tkel7zFileStream::GetSize(uint64_t* size) {
  uint64_t current = 0, end = 0;
  HRESULT r = Seek(0, 1, &current);
  if (r != S_OK) return r;
  r = Seek(0, 2, &end);
  if (r != S_OK) return r;
  r = Seek(static_cast<int64_t>(current), 0, nullptr);
  if (r != S_OK) return r;
  if (size) *size = end;
  return S_OK;
}

HRESULT Tkel7zFileStream::Clone(IStream** result) {
  if (result) *result = nullptr;
  return E_NOTIMPL;
}

HRESULT Tkel7zFileStream::CopyTo(IStream* dest, uint64_t count, uint64_t* read, uint64_t* written) {
  if (read) *read = 0;
  if (written) *written = 0;
  if (!dest) return E_INVALIDARG;
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(count, 1u << 20)));
  uint64_t remaining = count;
  while (remaining > 0) {
    const uint32_t ask = static_cast<uint32_t>(std::min<uint64_t>(buffer.size(), remaining));
    uint32_t got = 0;
    HRESULT r = Read(buffer.data(), ask, &got);
    if (r < 0) return r;
    if (got == 0) return S_OK;
    if (got > ask) return E_FAIL;
    if (read) *read += got;
    uint32_t put = 0;
    r = dest->Write(buffer.data(), got, &put);
    if (r == S_FALSE) return E_FAIL;
    if (r != S_OK) return r;
    if (written) *written += put;
    if (put < got) return E_FAIL;
    remaining -= got;
  }
  return S_OK;
}

uint64_t Tkel7zFileStream::CopyToStream(ISequentialOutStream* dest, uint8_t* buffer, uint32_t bufferSize) {
  if (!dest || !buffer || bufferSize == 0) RaiseOleError(E_INVALIDARG);
  OleCheckStrict(Seek(0, 0, nullptr));
  uint64_t total = 0;
  for (;;) {
    uint32_t got = 0;
    OleCheckStrict(Read(buffer, bufferSize, &got));
    if (got == 0) break;
    uint32_t done = 0;
    while (done < got) {
      uint32_t put = 0;
      HRESULT r = dest->Write(buffer + done, got - done, &put);
      if (r == S_OK && put == 0) r = S_FALSE;
      if (r == S_OK && put > got - done) r = E_FAIL;
      OleCheckStrict(r);
      done += put;
    }
    total += got;
  }
  return total;
}

uint64_t Tkel7zFileStream::CopyAllToStream(ISequentialOutStream* dest) {
  uint64_t size = 0;
  OleCheckStrict(GetSize(&size));
  const uint32_t bufferSize = size == 0 ? 1 : static_cast<uint32_t>(std::min<uint64_t>(size, 65536));
  std::vector<uint8_t> buffer(bufferSize);
  return CopyToStream(dest, buffer.data(), bufferSize);
}

}  // namespace vt
