#include "source/buffered_stream.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace vt {

namespace {

// a + b without signed overflow, clamped at 0 and at the largest position.
int64_t addClamped(int64_t a, int64_t b) {
  int64_t r;
  if (__builtin_add_overflow(a, b, &r)) r = b > 0 ? std::numeric_limits<int64_t>::max() : 0;
  return r < 0 ? 0 : r;
}

}  // namespace

TvtBufferedStream::TvtBufferedStream(TStream* inner, bool ownsInner)
    : Inner(inner), OwnsInner(ownsInner), Size(inner->GetSize()) {
  Buffer.reset(new uint8_t[BlockSize]);
}

TvtBufferedStream::~TvtBufferedStream() {
  if (OwnsInner) delete Inner;
}

void TvtBufferedStream::LoadBlock(int64_t index) {
  BlockStart = index * BlockSize;
  // Until the inner read has succeeded nothing counts as loaded, so that a failed read is
  // tried again instead of leaving a block of zeros in place of the file's bytes.
  Loaded = false;
  Inner->Seek(BlockStart, soBeginning);
  int64_t done = 0;
  while (done < BlockSize) {
    const int64_t n = Inner->Read(Buffer.get() + done, BlockSize - done);
    if (n <= 0) break;
    done += n;
  }
  // Bytes the inner stream did not deliver read as zeros.
  std::memset(Buffer.get() + done, 0, BlockSize - static_cast<size_t>(done));
  BlockIndex = index;
  Loaded = true;
  Valid = BlockSize;
}

int64_t TvtBufferedStream::Read(void* buffer, int64_t count) {
  auto* dest = static_cast<uint8_t*>(buffer);
  int64_t copied = 0;
  while (count > 0 && Position < Size) {
    count = std::min(count, Size - Position);
    const int64_t block = Position / BlockSize;
    if (!Loaded || block != BlockIndex) LoadBlock(block);
    const uint32_t i = static_cast<uint32_t>(Position - BlockStart);
    if (i >= Valid) throw EStreamError("WTF?");
    const int64_t m = std::min<int64_t>(Valid - i, count);
    std::memcpy(dest, Buffer.get() + i, static_cast<size_t>(m));
    Position += m;
    count -= m;
    dest += m;
    copied += m;
  }
  return copied;
}

int64_t TvtBufferedStream::Seek(int64_t offset, TSeekOrigin origin) {
  switch (origin) {
    case soBeginning: Position = offset < 0 ? 0 : offset; break;
    case soCurrent: Position = addClamped(Position, offset); break;
    case soEnd: Position = addClamped(Size, offset); break;
    default: break;
  }
  return Position;
}

}  // namespace vt
