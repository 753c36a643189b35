// Faulting pages in ahead of their owner must never change what the owner reads or writes: the
// warmer works on the same pages as the owner at the same time, and on blocks freed before their
// turn came.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "base/zeroed_block.h"

namespace vt {
namespace {

constexpr size_t kBlockBytes = size_t{24} << 20;

// The owner fills the block from its start while it is being warmed: every byte it wrote is
// there afterwards, and what it did not write reads zero.
TEST(PageWarmer, WritesDuringWarmingAllStay) {
  for (const size_t written : {kBlockBytes, kBlockBytes / 3 + 123}) {
    TZeroedBlock block(kBlockBytes);
    block.WarmAhead();
    uint8_t* data = block.Data();
    for (size_t i = 0; i < written; ++i) data[i] = uint8_t(i * 7 + 1);
    size_t wrong = 0;
    for (size_t i = 0; i < kBlockBytes; ++i) wrong += data[i] != (i < written ? uint8_t(i * 7 + 1) : 0);
    EXPECT_EQ(wrong, 0u) << "after writing " << written << " bytes";
  }
}

// Blocks freed while their warming is still queued or under way: the blocks mapped after them
// (often at the same addresses) are zero and keep what is written to them.
TEST(PageWarmer, BlocksFreedBeforeTheirTurnLeaveLaterBlocksIntact) {
  for (int round = 0; round < 8; ++round) {
    std::vector<TZeroedBlock> warmed;
    for (int i = 0; i < 4; ++i) {
      warmed.emplace_back(kBlockBytes / 4);
      warmed.back().WarmAhead();
    }
    warmed.clear();
    TZeroedBlock next(kBlockBytes / 4);
    size_t nonZero = 0;
    for (size_t i = 0; i < next.Bytes(); i += 4096) nonZero += next.Data()[i] != 0;
    EXPECT_EQ(nonZero, 0u) << "round " << round;
    next.Data()[0] = 9;
    EXPECT_EQ(next.Data()[0], 9);
  }
}

}  // namespace
}  // namespace vt
