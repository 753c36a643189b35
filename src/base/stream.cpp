#include "base/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vt {

int64_t TStream::GetSize() {
  const int64_t pos = Seek(0, soCurrent);
  const int64_t size = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return size;
}

void TStream::SetSize(int64_t) { throw EStreamError("Stream cannot change its size"); }

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count > 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count > 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.GetSize();
  }
  const int64_t total = count;
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(std::max<int64_t>(count, 1), 1 << 20)));
  while (count > 0) {
    const int64_t n = std::min<int64_t>(count, static_cast<int64_t>(buffer.size()));
    source.ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    count -= n;
  }
  return total;
}

void TCustomMemoryStream::SetPointer(uint8_t* memory, int64_t size) {
  memory_ = memory;
  size_ = size < 0 ? 0 : size;
}

int64_t TCustomMemoryStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || position_ < 0 || position_ >= size_) return 0;
  const int64_t n = std::min(count, size_ - position_);
  std::memcpy(buffer, memory_ + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TCustomMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  switch (origin) {
    case soBeginning: position_ = offset; break;
    case soCurrent: position_ += offset; break;
    case soEnd: position_ = size_ + offset; break;
  }
  if (position_ < 0) position_ = 0;
  return position_;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  const int64_t end = position_ + count;
  if (end > size_) SetSize(end);
  std::memcpy(memory_ + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  return count;
}

void TMemoryStream::SetSize(int64_t newSize) {
  if (newSize < 0) newSize = 0;
  if (static_cast<uint64_t>(newSize) > storage_.capacity()) {
    storage_.reserve(std::max<size_t>(static_cast<size_t>(newSize), storage_.capacity() * 3 / 2));
  }
  storage_.resize(static_cast<size_t>(newSize));
  TCustomMemoryStream::SetPointer(storage_.data(), newSize);
  if (position_ > newSize) position_ = newSize;
}

void TMemoryStream::Clear() {
  storage_.clear();
  storage_.shrink_to_fit();
  TCustomMemoryStream::SetPointer(nullptr, 0);
  position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& source) {
  source.SetPosition(0);
  const int64_t n = source.GetSize();
  SetSize(n);
  position_ = 0;
  source.ReadBuffer(memory_, n);
}

void TMemoryStream::LoadFromFile(const std::string& path) {
  TFileStream f(path, TFileStream::fmOpenRead);
  LoadFromStream(f);
}

void TMemoryStream::SaveToFile(const std::string& path) {
  TFileStream f(path, TFileStream::fmCreate);
  f.WriteBuffer(memory_, size_);
}

TFileStream::TFileStream(const std::string& path, Mode mode) : path_(path) {
  if (mode == fmCreate) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) throw EFOpenError("Cannot create file \"" + path + "\". " + std::strerror(errno));
  } else {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) throw EFOpenError("Cannot open file \"" + path + "\". " + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd_);
      fd_ = -1;
      throw EFOpenError("Cannot open file \"" + path + "\". Not a regular file");
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
  }
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  int64_t done = 0;
  auto* p = static_cast<uint8_t*>(buffer);
  while (done < count) {
    const ssize_t n = ::read(fd_, p + done, static_cast<size_t>(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EReadError("Read error on \"" + path_ + "\": " + std::strerror(errno));
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  int64_t done = 0;
  const auto* p = static_cast<const uint8_t*>(buffer);
  while (done < count) {
    const ssize_t n = ::write(fd_, p + done, static_cast<size_t>(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EWriteError("Write error on \"" + path_ + "\": " + std::strerror(errno));
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
  const off_t r = ::lseek(fd_, static_cast<off_t>(offset), whence);
  if (r < 0) throw EStreamError("Seek error on \"" + path_ + "\": " + std::strerror(errno));
  return r;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  TFileStream f(path, TFileStream::fmOpenRead);
  std::vector<uint8_t> bytes(static_cast<size_t>(f.GetSize()));
  bytes.resize(static_cast<size_t>(f.Read(bytes.data(), static_cast<int64_t>(bytes.size()))));
  return bytes;
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  TFileStream f(path, TFileStream::fmCreate);
  f.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

}  // namespace vt
