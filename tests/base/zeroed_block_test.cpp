// Zeroed blocks: fresh blocks read as zeros whatever their size, and making pages present ahead
// of their first write changes no byte, written or not, for any range (including ones past the
// end), on mapped and heap blocks alike.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "base/zeroed_block.h"

namespace vt {
namespace {

TEST(ZeroedBlock, PrefaultChangesNoByte) {
  const size_t sizes[] = {100, TZeroedBlock::kMapThreshold + 12345, 3 * TZeroedBlock::kMapThreshold};
  for (const size_t size : sizes) {
    SCOPED_TRACE(size);
    TZeroedBlock block(size);
    ASSERT_EQ(block.Bytes(), size);
    for (size_t i = 0; i < size; i += 4093) ASSERT_EQ(block.Data()[i], 0);
    // Written bytes in the middle, the rest never touched.
    for (size_t i = size / 3; i < size / 2; ++i) block.Data()[i] = uint8_t(i * 7 + 1);
    const std::pair<size_t, size_t> ranges[] = {{0, size}, {size / 4, size / 4}, {size - 1, 100}, {size, 10}, {size / 2 - 5, 1}};
    for (const auto& [offset, count] : ranges) block.Prefault(offset, count);
    for (size_t i = 0; i < size; ++i)
      if (block.Data()[i] != ((i >= size / 3 && i < size / 2) ? uint8_t(i * 7 + 1) : 0)) FAIL() << "byte " << i;
  }
}

}  // namespace
}  // namespace vt
