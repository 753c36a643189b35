// Storage of the cell maps: storage that is handed back and handed out again reads as zero,
// rows stay where they were across growth, and large maps (taken straight from the system)
// behave like small ones.
#include <gtest/gtest.h>

#include <cstdint>

#include "jpeg/jpeg_map.h"

namespace vt::test {
namespace {

uint8_t Tag(int c, int r) { return static_cast<uint8_t>((c * 7 + r * 13) % 251 + 1); }

// Sparse maps: chunks dropped by shrinking come back zeroed when cells are written again.
TEST(JpegMapStorage, ReusedSparseChunksReadAsZero) {
  TkelMCUs m;
  m.SetColumns(64);
  m.SetRows(40);
  for (int r = 0; r < 40; ++r)
    for (int c = 0; c < 64; ++c) m.WritableBlock(c, r)->Coef[5] = Tag(c, r);
  const int32_t full = m.Size;
  m.SetRows(10);   // drops rows 10..39
  m.SetColumns(20);  // drops chunks right of column 31, clears cells 20..31
  EXPECT_LT(m.Size, full);
  m.SetColumns(64);
  m.SetRows(40);
  for (int r = 0; r < 40; ++r)
    for (int c = 0; c < 64; ++c) {
      const TkelCoefBlock* b = m.Block(c, r);
      const bool kept = r < 10 && c < 20;
      if (kept) {
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->Coef[5], Tag(c, r)) << c << "," << r;
      } else {
        EXPECT_TRUE(b == nullptr || b->Coef[5] == 0) << c << "," << r;
      }
      if (!kept) {
        // Writing allocates (possibly reused) storage, which must start at zero.
        TkelCoefBlock* w = m.WritableBlock(c, r);
        ASSERT_NE(w, nullptr);
        for (int i = 0; i < 64; ++i) ASSERT_EQ(w->Coef[i], 0) << c << "," << r << " coef " << i;
        EXPECT_EQ(w->Decoded, 0);
      }
    }
  EXPECT_EQ(m.Size, full);
}

// Dense maps: rows added by growing are zero and distinct; rows kept keep their bytes; large
// maps are writable everywhere.
class DenseStorage : public ::testing::TestWithParam<int32_t> {};

TEST_P(DenseStorage, GrowShrinkAndRewidenKeepRows) {
  const int32_t width = GetParam();
  TkelComponentData m;
  m.SetColumns(width);
  m.SetRows(100);
  EXPECT_EQ(m.Size, width * 2 * 100);
  for (int r = 0; r < 100; ++r) {
    int16_t* s = m.Samples(r);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s[0], 0);
    EXPECT_EQ(s[width - 1], 0);
    s[0] = Tag(0, r);
    s[width - 1] = Tag(width - 1, r);
  }
  m.SetRows(30);
  m.SetRows(150);  // rows 30..149 are new and zero
  for (int r = 0; r < 150; ++r) {
    const int16_t* s = m.Samples(r);
    EXPECT_EQ(s[0], r < 30 ? Tag(0, r) : 0) << r;
    EXPECT_EQ(s[width - 1], r < 30 ? Tag(width - 1, r) : 0) << r;
  }
  for (int r = 30; r < 150; ++r) m.Samples(r)[width - 1] = Tag(width - 1, r);
  m.SetColumns(width + 3);  // every row moves; contents inside stay, the new columns are zero
  EXPECT_EQ(m.Size, (width + 3) * 2 * 150);
  for (int r = 0; r < 150; ++r) {
    const int16_t* s = m.Samples(r);
    EXPECT_EQ(s[0], r < 30 ? Tag(0, r) : 0) << r;
    EXPECT_EQ(s[width - 1], Tag(width - 1, r)) << r;
    EXPECT_EQ(s[width], 0);
    EXPECT_EQ(s[width + 2], 0);
  }
  EXPECT_NE(m.Samples(1), m.Samples(0));
  m.SetColumns(0);
  EXPECT_EQ(m.Size, 0);
  EXPECT_EQ(m.Samples(0), nullptr);
  m.SetColumns(width);  // rows come back zeroed
  EXPECT_EQ(m.Samples(149)[width - 1], 0);
  m.ReleaseCells();
  EXPECT_EQ(m.Size, 0);
  EXPECT_EQ(m.Samples(0), nullptr);
}

// 100 rows of 40 and 6000 samples: heap blocks; 30000 samples (6 MB): mapped from the system.
INSTANTIATE_TEST_SUITE_P(Widths, DenseStorage, ::testing::Values(40, 6000, 30000));

}  // namespace
}  // namespace vt::test
