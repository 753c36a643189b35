// Zero-filled memory for the large arrays of the decoder and the bitmaps. Large blocks come
// straight from the system as untouched zero pages, backed by huge pages where the system offers
// them, so that the first writes fault once per 2 MB instead of once per 4 KB (each fault costs
// several microseconds, and a 24-megapixel picture has 96 MB of pixels); small ones from calloc.
// Either way no clearing pass is needed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vt {

class TZeroedBlock {
 public:
  TZeroedBlock() = default;
  explicit TZeroedBlock(size_t bytes);  // throws std::bad_alloc like new
  ~TZeroedBlock();
  TZeroedBlock(TZeroedBlock&& o) noexcept;
  TZeroedBlock& operator=(TZeroedBlock&& o) noexcept;
  TZeroedBlock(const TZeroedBlock&) = delete;
  TZeroedBlock& operator=(const TZeroedBlock&) = delete;

  uint8_t* Data() const { return data_; }
  size_t Bytes() const { return bytes_; }
  void Swap(TZeroedBlock& o) noexcept;
  // Makes the pages of bytes [offset, offset + count) present, cleared by the system now rather
  // than at their first write, without changing any byte: another thread may be writing the
  // block meanwhile. Does nothing where the system cannot (or for blocks from the heap).
  void Prefault(size_t offset, size_t count) const;

  // Blocks from this size on are mapped from the system rather than taken from the heap (in
  // whole huge pages: one fault for up to 2 MB costs less than the 256 faults of 1 MB).
  static constexpr size_t kMapThreshold = size_t{1} << 20;

 private:
  void Free();
  uint8_t* data_ = nullptr;
  size_t bytes_ = 0;
  void* mapBase_ = nullptr;  // set when mapped from the system
  size_t mapBytes_ = 0;
};

}  // namespace vt
