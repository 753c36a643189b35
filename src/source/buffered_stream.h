// TvtBufferedStream: a read-only stream that serves reads from one 64 KiB block of an inner
// stream, so that byte-at-a-time scanning costs one inner read per block. Bytes the inner
// stream does not deliver read as zeros; reads stop at the size taken at creation.
#pragma once

#include <cstdint>
#include <memory>

#include "base/stream.h"

namespace vt {

class TvtBufferedStream : public TStream {
 public:
  TvtBufferedStream(TStream* inner, bool ownsInner);
  ~TvtBufferedStream() override;
  TvtBufferedStream(const TvtBufferedStream&) = delete;
  TvtBufferedStream& operator=(const TvtBufferedStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void*, int64_t) override { return 0; }
  // Never moves before 0; a position past Size is allowed (reads there return 0 bytes).
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t GetSize() override { return Size; }

  TStream* Inner;
  bool OwnsInner;
  int64_t Size;
  int64_t Position = 0;
  uint32_t BlockSize = 65536;
  std::unique_ptr<uint8_t[]> Buffer;
  uint32_t Valid = 0;
  int64_t BlockIndex = 0;
  bool Loaded = false;
  int64_t BlockStart = 0;

 private:
  void LoadBlock(int64_t index);
};

}  // namespace vt
