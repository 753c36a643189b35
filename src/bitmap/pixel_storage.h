// The pixel words of a TBitmap32: a zeroed block (base/zeroed_block.h), so a big bitmap costs no
// clearing pass (a std::vector would write every word once more) and faults in huge pages.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/zeroed_block.h"

namespace vt {

class TPixelStorage {
 public:
  TPixelStorage() = default;
  ~TPixelStorage() { Release(); }
  TPixelStorage(const TPixelStorage&) = delete;
  TPixelStorage& operator=(const TPixelStorage&) = delete;
  TPixelStorage(TPixelStorage&& other) noexcept { Swap(other); }
  TPixelStorage& operator=(TPixelStorage&& other) noexcept {
    if (this != &other) {
      Release();
      Swap(other);
    }
    return *this;
  }

  // Frees the old block, then provides count zeroed words. Raises std::bad_alloc.
  void Allocate(size_t count);
  void Release();
  void Swap(TPixelStorage& other) noexcept;

  uint32_t* data() { return words_; }
  const uint32_t* data() const { return words_; }
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  uint32_t* begin() { return words_; }
  uint32_t* end() { return words_ + count_; }

 private:
  TZeroedBlock block_;
  uint32_t* words_ = nullptr;
  size_t count_ = 0;
};

}  // namespace vt
