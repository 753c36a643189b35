// Storage of the cell maps: storage that is handed back and handed out again reads as zero,
// rows stay where they were across growth, and large maps (taken straight from the system)
// behave like small ones.
#include <gtest/gtest.h>

#include <cstdint>

#include "jpeg/jpeg_map.h"

namespace vt::test {
namespace {

uint8_t Tag(int c, int r) { return static_cast<uint8_t>((c * 7 + r * 13) % 251 + 1); }

// Sparse maps: chunks dropped by shrinking come back zeroed when cells are written again, and
// no two cells share storage, whether the storage grows from small slabs or a map told its size
// takes it in large ones from the start (the size of a 24-megapixel photo's luma is the last).
struct SparseCase {
  int32_t Columns, Rows;
  bool Expected;  // told the rows it will fill
};

class SparseStorage : public ::testing::TestWithParam<SparseCase> {};

TEST_P(SparseStorage, ReusedChunksReadAsZeroAndCellsStayApart) {
  const auto [columns, rows, expected] = GetParam();
  const int32_t keptRows = rows / 4, keptColumns = columns / 3;
  TkelMCUs m;
  m.SetColumns(columns);
  m.SetRows(rows);
  if (expected) m.ExpectRows(rows);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) m.WritableBlock(c, r)->Coef[5] = Tag(c, r);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) ASSERT_EQ(m.Block(c, r)->Coef[5], Tag(c, r)) << c << "," << r;
  const int32_t full = m.Size;
  m.SetRows(keptRows);        // drops the rows below
  m.SetColumns(keptColumns);  // drops whole chunks to the right, clears the rest of a partial one
  EXPECT_LT(m.Size, full);
  m.SetColumns(columns);
  m.SetRows(rows);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) {
      const TkelCoefBlock* b = m.Block(c, r);
      const bool kept = r < keptRows && c < keptColumns;
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
        w->Coef[63] = Tag(r, c);
      }
    }
  EXPECT_EQ(m.Size, full);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c)
      if (!(r < keptRows && c < keptColumns)) {
        ASSERT_EQ(m.Block(c, r)->Coef[63], Tag(r, c)) << c << "," << r;
      }
}

INSTANTIATE_TEST_SUITE_P(Sizes, SparseStorage,
                         ::testing::Values(SparseCase{64, 40, false}, SparseCase{64, 40, true},
                                           SparseCase{750, 160, false}, SparseCase{750, 160, true}));

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
