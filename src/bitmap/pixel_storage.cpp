#include "bitmap/pixel_storage.h"

#include <new>
#include <utility>

namespace vt {

void TPixelStorage::Allocate(size_t count) {
  Release();
  if (count == 0) return;
  if (count > SIZE_MAX / sizeof(uint32_t)) throw std::bad_alloc();
  block_ = TZeroedBlock(count * sizeof(uint32_t));
  words_ = reinterpret_cast<uint32_t*>(block_.Data());
  count_ = count;
}

void TPixelStorage::Release() {
  block_ = TZeroedBlock();
  words_ = nullptr;
  count_ = 0;
}

void TPixelStorage::Swap(TPixelStorage& other) noexcept {
  block_.Swap(other.block_);
  std::swap(words_, other.words_);
  std::swap(count_, other.count_);
}

}  // namespace vt
