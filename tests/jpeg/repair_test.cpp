// MCU repair: re-decoding from a chosen MCU and bit, with the bit-by-bit search, and the
// grid edits that move, insert, delete and clear MCUs.
#include <gtest/gtest.h>

#include <cstring>

#include "jpeg/decode_helpers.h"

namespace vt::test {
namespace {

Bytes Image444() { return Cjpeg("-quality 92 -sample 1x1", 64, 64, false, 21); }  // 8 x 8 MCUs
// Dense 4:2:0 data (8 x 8 MCUs of six blocks): misaligned bits soon fail to decode.
Bytes Image420() { return Cjpeg("-quality 97 -sample 2x2", 128, 128, false, 21); }

int64_t BitOf(const TkelOffsetEntry& e) { return int64_t{e.StartByte} * 8 + e.StartBit; }

TEST(Repair, ForwardSearchFindsStartAfterInsertedBits) {
  const Bytes intact = Image420();
  const RefCoefficients ref = LibjpegCoefficients(intact);
  KeepingParser original;
  LoadedJpeg a(intact);
  ASSERT_EQ(a.Load(original, pfRecordSegments), jrOK);
  // The search takes the first start from which five MCUs decode cleanly. Huffman codes often
  // fall back into step a few symbols after a wrong start, so these MCUs are ones where the
  // misaligned start fails at once (as it does in most places of this picture).
  for (int n : {1, 5, 8, 13, 20, 30, 50}) {
    SCOPED_TRACE(n);
    const TkelOffsetEntry at = original.GetMCUOffsets(n % 8, n / 8);
    ASSERT_TRUE(at.Valid);
    const Bytes damaged = InsertBits(intact, at.StartByte, at.StartBit, 0b101, 3);

    KeepingParser p;
    LoadedJpeg in(damaged);
    in.Load(p, pfRecordSegments);
    EXPECT_FALSE(CompareByMCU(p, ref, [](int) { return McuExpect::Match; }));  // damage is visible
    const TkelOffsetEntry seen = p.GetMCUOffsets(n % 8, n / 8);
    EXPECT_EQ(BitOf(seen), BitOf(at));

    EXPECT_EQ(p.RedecodeFrom(n, seen.StartByte, seen.StartBit, 1, false), jrOK);
    EXPECT_EQ(BitOf(p.GetMCUOffsets(n % 8, n / 8)), BitOf(at) + 3);
    EXPECT_TRUE(CompareByMCU(p, ref, [](int) { return McuExpect::Match; }));
  }
}

TEST(Repair, BackwardSearchFindsStartBeforeWrongGuess) {
  const Bytes intact = Image420();
  const RefCoefficients ref = LibjpegCoefficients(intact);
  KeepingParser p;
  LoadedJpeg in(intact);
  ASSERT_EQ(in.Load(p, pfRecordSegments), jrOK);
  const int n = 30;
  const TkelOffsetEntry at = p.GetMCUOffsets(n % 8, n / 8);
  const int64_t guess = BitOf(at) + 5;  // five bits too far
  EXPECT_EQ(p.RedecodeFrom(n, static_cast<int32_t>(guess / 8), static_cast<int>(guess % 8), 2, false), jrOK);
  EXPECT_EQ(BitOf(p.GetMCUOffsets(n % 8, n / 8)), BitOf(at));
  EXPECT_TRUE(CompareByMCU(p, ref, [](int) { return McuExpect::Match; }));
}

TEST(Repair, NoSearchAtWrongPositionLeavesTheRestCleared) {
  const Bytes intact = Image444();
  const RefCoefficients ref = LibjpegCoefficients(intact);
  KeepingParser p;
  LoadedJpeg in(intact);
  ASSERT_EQ(in.Load(p, pfRecordSegments), jrOK);
  const int n = 10;
  const TkelOffsetEntry at = p.GetMCUOffsets(n % 8, n / 8);
  EXPECT_EQ(p.RedecodeFrom(n, at.StartByte, (at.StartBit + 3) % 8, 0, false), jrBadData);
  int firstMissing = n;
  while (firstMissing < 64 && p.IsMCUDecoded(firstMissing % 8, firstMissing / 8)) ++firstMissing;
  EXPECT_LT(firstMissing, 63);
  EXPECT_TRUE(CompareByMCU(p, ref, [&](int m) {
    return m < n ? McuExpect::Match : (m > firstMissing ? McuExpect::Missing : McuExpect::Any);
  }));
}

TEST(Repair, FromFirstMCUStartsWithZeroPredictors) {
  const Bytes intact = Image444();
  const RefCoefficients ref = LibjpegCoefficients(intact);
  KeepingParser p;
  LoadedJpeg in(intact);
  ASSERT_EQ(in.Load(p, pfRecordSegments), jrOK);
  const TkelOffsetEntry at = p.GetMCUOffsets(0, 0);
  EXPECT_EQ(p.RedecodeFrom(0, at.StartByte, at.StartBit, 0, false), jrOK);
  EXPECT_TRUE(SameCoefficients(p, ref));
}

// The next MCU's DC is forced when the previous MCU is missing, so the differences that
// follow land on the right values.
TEST(Repair, UseNextDCAnchorsThePredictor) {
  const Bytes intact = Image444();
  const RefCoefficients ref = LibjpegCoefficients(intact);
  KeepingParser p;
  LoadedJpeg in(intact);
  ASSERT_EQ(in.Load(p, pfRecordSegments), jrOK);
  const int n = 12;
  p.ClearMCU((n - 1) % 8, (n - 1) / 8);
  const TkelOffsetEntry at = p.GetMCUOffsets(n % 8, n / 8);
  EXPECT_EQ(p.RedecodeFrom(n, at.StartByte, at.StartBit, 0, true), jrOK);
  EXPECT_TRUE(CompareByMCU(p, ref, [&](int m) { return m == n - 1 ? McuExpect::Any : McuExpect::Match; }));
}

TEST(Repair, OffsetsAddressTheirBytesWhenParsingStartsLaterInTheStream) {
  const Bytes intact = Image444();
  const RefCoefficients ref = LibjpegCoefficients(intact);
  Bytes container(1000, 0x55);
  container.insert(container.end(), intact.begin(), intact.end());
  TTempMemoryStream s;
  s.SetPointer(container.data(), static_cast<int64_t>(container.size()));
  s.SetPosition(1000);
  KeepingParser p(65536);
  ASSERT_EQ(p.LoadFromStream(s, pfRecordSegments, 0), jrOK);
  const TkelOffsetEntry at = p.GetMCUOffsets(3, 2);
  EXPECT_EQ(p.RedecodeFrom(19, at.StartByte, at.StartBit, 0, false), jrOK);
  EXPECT_TRUE(SameCoefficients(p, ref));
}

// ---------------------------------------------------------------- grid edits

using Snapshot = std::vector<Bytes>;  // per MCU: its block cells and its offset entry

Snapshot Take(const TkelBaseJpegParser& p) {
  Snapshot out;
  for (int m = 0; m < p.MCUsPerRow * p.MCURows; ++m) {
    Bytes b;
    for (int i = 0; i < p.ScanComponentCount; ++i) {
      const TkelScanComponent& sc = p.ScanComponents[i];
      const TkelCoefBlock* blk = p.MCUs[sc.FrameIndex]->Block(m % p.MCUsPerRow, m / p.MCUsPerRow);
      const auto* raw = reinterpret_cast<const uint8_t*>(blk);
      b.insert(b.end(), raw, raw + 129);
    }
    const TkelOffsetEntry e = p.GetMCUOffsets(m % p.MCUsPerRow, m / p.MCUsPerRow);
    const auto* raw = reinterpret_cast<const uint8_t*>(&e);
    b.insert(b.end(), raw, raw + 17);
    out.push_back(b);
  }
  return out;
}

class GridEdits : public ::testing::Test {
 protected:
  void SetUp() override {
    in = std::make_unique<LoadedJpeg>(Image444());
    ASSERT_EQ(in->Load(p, pfRecordSegments), jrOK);
    before = Take(p);
  }
  bool Decoded(int m) const { return p.IsMCUDecoded(m % 8, m / 8); }
  // The MCU's data with the Decoded flags and the offsets left out.
  static Bytes Coefs(const Bytes& mcu) {
    Bytes b;
    for (size_t i = 0; i + 129 <= mcu.size() - 17; i += 129) b.insert(b.end(), mcu.begin() + static_cast<std::ptrdiff_t>(i), mcu.begin() + static_cast<std::ptrdiff_t>(i) + 128);
    return b;
  }
  KeepingParser p;
  std::unique_ptr<LoadedJpeg> in;
  Snapshot before;
};

TEST_F(GridEdits, DeleteAtOriginAndEditsOutsideTheGridChangeNothing) {
  p.DeleteMCU(0, 0);
  for (auto [c, r] : {std::pair{8, 0}, {0, 8}, {-1, 0}, {0, -1}, {100, 100}}) {
    p.DeleteMCU(c, r);
    p.InsertMCU(c, r);
    p.InsertMCURow(c, r);
    p.ClearMCU(c, r);
    EXPECT_FALSE(p.IsMCUDecoded(c, r));
    EXPECT_FALSE(p.GetMCUOffsets(c, r).Valid);
  }
  EXPECT_EQ(Take(p), before);
}

TEST_F(GridEdits, InsertAtLastPositionOnlyClearsIt) {
  p.InsertMCU(7, 7);
  Snapshot after = Take(p);
  EXPECT_FALSE(Decoded(63));
  EXPECT_EQ(Coefs(after[63]), Coefs(before[63]));  // ClearMCU keeps the coefficients
  after.pop_back();
  before.pop_back();
  EXPECT_EQ(after, before);
}

TEST_F(GridEdits, InsertShiftsTowardsTheEnd) {
  p.InsertMCU(5, 2);  // position 21
  const Snapshot after = Take(p);
  for (int m = 0; m < 21; ++m) EXPECT_EQ(after[static_cast<size_t>(m)], before[static_cast<size_t>(m)]) << m;
  EXPECT_FALSE(Decoded(21));
  for (int m = 22; m < 64; ++m) EXPECT_EQ(after[static_cast<size_t>(m)], before[static_cast<size_t>(m - 1)]) << m;
}

TEST_F(GridEdits, DeleteShiftsTowardsTheStart) {
  p.DeleteMCU(0, 1);  // position 8 moves to 7
  const Snapshot after = Take(p);
  for (int m = 0; m < 7; ++m) EXPECT_EQ(after[static_cast<size_t>(m)], before[static_cast<size_t>(m)]) << m;
  for (int m = 7; m < 63; ++m) EXPECT_EQ(after[static_cast<size_t>(m)], before[static_cast<size_t>(m + 1)]) << m;
  EXPECT_FALSE(Decoded(63));
}

TEST_F(GridEdits, InsertRowShiftsOneRowAndClearsARowOfMCUs) {
  p.InsertMCURow(3, 5);  // position 43
  const Snapshot after = Take(p);
  for (int m = 0; m < 43; ++m) EXPECT_EQ(after[static_cast<size_t>(m)], before[static_cast<size_t>(m)]) << m;
  for (int m = 43; m < 51; ++m) EXPECT_FALSE(Decoded(m)) << m;
  for (int m = 51; m < 64; ++m) EXPECT_EQ(after[static_cast<size_t>(m)], before[static_cast<size_t>(m - 8)]) << m;
}

TEST_F(GridEdits, InsertRowInLastRowClearsToTheEnd) {
  p.InsertMCURow(6, 7);  // position 62: clears 62 and 63 only
  const Snapshot after = Take(p);
  for (int m = 0; m < 62; ++m) EXPECT_EQ(after[static_cast<size_t>(m)], before[static_cast<size_t>(m)]) << m;
  EXPECT_FALSE(Decoded(62));
  EXPECT_FALSE(Decoded(63));
}

}  // namespace
}  // namespace vt::test
