// Byte streams shared by every layer: the abstract TStream, memory streams (owning and
// non-owning) and a POSIX file stream. Reads and writes return the number of bytes moved;
// the *Buffer forms raise when fewer bytes move than asked.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace vt {

enum TSeekOrigin : int { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class EStreamError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
class EReadError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EFOpenError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

class TStream {
 public:
  virtual ~TStream() = default;

  // Reads up to count bytes; returns how many were read (0 at the end).
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes up to count bytes; returns how many were written.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Moves the position; returns the new position.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t GetSize();
  virtual void SetSize(int64_t newSize);

  int64_t GetPosition() { return Seek(0, soCurrent); }
  void SetPosition(int64_t pos) { Seek(pos, soBeginning); }

  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
  // Copies count bytes from source's current position; count 0 copies all of source from 0.
  int64_t CopyFrom(TStream& source, int64_t count);
};

// A stream over a memory block. Reading and seeking only; subclasses decide about writing.
class TCustomMemoryStream : public TStream {
 public:
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t GetSize() override { return size_; }
  const uint8_t* Memory() const { return memory_; }
  uint8_t* Memory() { return memory_; }

 protected:
  void SetPointer(uint8_t* memory, int64_t size);
  uint8_t* memory_ = nullptr;
  int64_t size_ = 0;
  int64_t position_ = 0;
};

// A growable memory stream that owns its bytes.
class TMemoryStream : public TCustomMemoryStream {
 public:
  int64_t Write(const void* buffer, int64_t count) override;
  void SetSize(int64_t newSize) override;
  void Clear();
  void LoadFromFile(const std::string& path);
  void SaveToFile(const std::string& path);
  void LoadFromStream(TStream& source);

 private:
  std::vector<uint8_t> storage_;
};

// A memory stream pointed at bytes it does not own: never grows, never frees them.
class TTempMemoryStream : public TCustomMemoryStream {
 public:
  void SetPointer(const void* memory, int64_t size) {
    TCustomMemoryStream::SetPointer(static_cast<uint8_t*>(const_cast<void*>(memory)), size);
  }
  int64_t Write(const void*, int64_t) override { return 0; }
};

// A file opened through a POSIX descriptor: for reading an existing file or creating one.
class TFileStream : public TStream {
 public:
  enum Mode { fmOpenRead, fmCreate };
  TFileStream(const std::string& path, Mode mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  const std::string& FileName() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

// Whole-file helpers used by the command line and the tests.
std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace vt
