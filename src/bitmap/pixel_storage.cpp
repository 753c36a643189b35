#include "bitmap/pixel_storage.h"

#include <cstdlib>
#include <new>
#include <utility>

namespace vt {

void TPixelStorage::Allocate(size_t count) {
  Release();
  if (count == 0) return;
  // calloc hands large blocks over as fresh zero pages, without a clearing pass.
  words_ = static_cast<uint32_t*>(std::calloc(count, sizeof(uint32_t)));
  if (!words_) throw std::bad_alloc();
  count_ = count;
}

void TPixelStorage::Release() {
  std::free(words_);
  words_ = nullptr;
  count_ = 0;
}

void TPixelStorage::Swap(TPixelStorage& other) noexcept {
  std::swap(words_, other.words_);
  std::swap(count_, other.count_);
}

}  // namespace vt
