#include "base/zeroed_block.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <utility>

namespace vt {

namespace {
constexpr size_t kHugePage = size_t{1} << 21;
}  // namespace

TZeroedBlock::TZeroedBlock(size_t bytes) {
  if (bytes == 0) return;
  if (bytes >= kMapThreshold) {
    // The block starts on a huge-page boundary and its last huge page is whole too: a partial
    // one would be left to 4 KB pages, up to 511 faults at its first write (on a virtual
    // machine each costs more than clearing the whole huge page). Hence the over-mapping by
    // one huge page for the alignment, and the length in whole huge pages.
    const size_t hugeBytes = (bytes + kHugePage - 1) & ~(kHugePage - 1);
    const size_t mapBytes = hugeBytes + kHugePage;
    if (hugeBytes < bytes || mapBytes < hugeBytes) throw std::bad_alloc();
    void* base = mmap(nullptr, mapBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) throw std::bad_alloc();
    const uintptr_t start = (reinterpret_cast<uintptr_t>(base) + kHugePage - 1) & ~(kHugePage - 1);
#ifdef MADV_HUGEPAGE
    madvise(reinterpret_cast<void*>(start), hugeBytes, MADV_HUGEPAGE);
#endif
    mapBase_ = base;
    mapBytes_ = mapBytes;
    data_ = reinterpret_cast<uint8_t*>(start);
  } else {
    data_ = static_cast<uint8_t*>(std::calloc(bytes, 1));
    if (!data_) throw std::bad_alloc();
  }
  bytes_ = bytes;
}

TZeroedBlock::~TZeroedBlock() { Free(); }

void TZeroedBlock::Prefault(size_t offset, size_t count) const {
#ifdef MADV_POPULATE_WRITE
  if (mapBase_ == nullptr || offset >= bytes_) return;
  count = std::min(count, bytes_ - offset);
  constexpr uintptr_t kPage = 4096;
  const uintptr_t first = (reinterpret_cast<uintptr_t>(data_) + offset) & ~(kPage - 1);
  const uintptr_t end = reinterpret_cast<uintptr_t>(data_) + offset + count;
  if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
#else
  (void)offset;
  (void)count;
#endif
}

TZeroedBlock::TZeroedBlock(TZeroedBlock&& o) noexcept { Swap(o); }

TZeroedBlock& TZeroedBlock::operator=(TZeroedBlock&& o) noexcept {
  if (this != &o) {
    Free();
    Swap(o);
  }
  return *this;
}

void TZeroedBlock::Swap(TZeroedBlock& o) noexcept {
  std::swap(data_, o.data_);
  std::swap(bytes_, o.bytes_);
  std::swap(mapBase_, o.mapBase_);
  std::swap(mapBytes_, o.mapBytes_);
}

void TZeroedBlock::Free() {
  if (mapBase_)
    munmap(mapBase_, mapBytes_);
  else
    std::free(data_);
  data_ = nullptr;
  bytes_ = 0;
  mapBase_ = nullptr;
  mapBytes_ = 0;
}

}  // namespace vt
