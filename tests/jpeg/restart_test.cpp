// Restart-marked images with damaged intervals: the intervals around the damage decode and
// land where their markers say.
#include <gtest/gtest.h>

#include "jpeg/decode_helpers.h"

namespace vt::test {
namespace {

// 4:2:0, 64x48: 4 x 3 MCUs, two MCUs per interval, six intervals.
Bytes RestartImage() { return Cjpeg("-quality 85 -sample 2x2 -restart 2B", 64, 48, false, 3); }

int IntervalOf(int mcu) { return mcu / 2; }

// MCU offsets of the intact file, to compare with those recorded after a resynchronisation.
std::vector<TkelOffsetEntry> IntactOffsets(const Bytes& jpeg) {
  KeepingParser p;
  LoadedJpeg in(jpeg);
  in.Load(p, pfRecordSegments);
  std::vector<TkelOffsetEntry> out;
  for (int m = 0; m < p.MCUsPerRow * p.MCURows; ++m) out.push_back(p.GetMCUOffsets(m % p.MCUsPerRow, m / p.MCUsPerRow));
  return out;
}

// After the resynchronisation every later MCU starts at its byte in the intact file
// (moved by `shift` bytes when bytes were removed before it).
::testing::AssertionResult SameStarts(const TkelBaseJpegParser& p, const std::vector<TkelOffsetEntry>& intact,
                                      int fromMCU, int shift) {
  for (int m = fromMCU; m < static_cast<int>(intact.size()); ++m) {
    const TkelOffsetEntry e = p.GetMCUOffsets(m % p.MCUsPerRow, m / p.MCUsPerRow);
    if (!e.Valid || e.StartByte != intact[static_cast<size_t>(m)].StartByte + shift ||
        e.StartBit != intact[static_cast<size_t>(m)].StartBit)
      return ::testing::AssertionFailure() << "MCU " << m << " starts at " << e.StartByte << "." << e.StartBit;
  }
  return ::testing::AssertionSuccess();
}

TEST(Restart, IntactImageHasOneMarkerPerIntervalBoundary) {
  const Bytes jpeg = RestartImage();
  EXPECT_EQ(RestartMarkers(jpeg).size(), 5u);
}

// The damaged interval fails on its very first MCU: the marker after it announces the next
// interval, so every later interval must land where its marker's number says.
TEST(Restart, IntervalFailingOnItsFirstMCU) {
  const Bytes intact = RestartImage();
  const RefCoefficients ref = LibjpegCoefficients(intact);
  Bytes jpeg = intact;
  const auto [begin, end] = IntervalBytes(jpeg, 2);
  FillWithOnes(jpeg, begin, end);

  KeepingParser p;
  LoadedJpeg in(jpeg);
  EXPECT_EQ(in.Load(p, pfRecordSegments), jrBadData);  // EOI after data errors
  EXPECT_TRUE(p.DataErrors);
  EXPECT_TRUE(CompareByMCU(p, ref, [](int m) { return IntervalOf(m) == 2 ? McuExpect::Missing : McuExpect::Match; }));
  EXPECT_EQ(p.DecodedPercent(), 83);  // 10 of 12 MCUs in every component
  EXPECT_TRUE(SameStarts(p, IntactOffsets(intact), 6, 0));
  EXPECT_EQ(p.Position, static_cast<int64_t>(jpeg.size()));
}

TEST(Restart, IntervalFailingInItsMiddle) {
  const Bytes intact = Cjpeg("-quality 85 -sample 2x2 -restart 4B", 128, 48, false, 5);  // 8 x 3 MCUs
  const RefCoefficients ref = LibjpegCoefficients(intact);
  Bytes jpeg = intact;
  const auto [begin, end] = IntervalBytes(jpeg, 3);
  FillWithOnes(jpeg, begin + (end - begin) / 2, end);

  KeepingParser p;
  LoadedJpeg in(jpeg);
  EXPECT_EQ(in.Load(p), jrBadData);
  EXPECT_TRUE(CompareByMCU(p, ref, [](int m) { return m / 4 == 3 ? McuExpect::Any : McuExpect::Match; }));
  // The last MCU of the damaged interval is certainly lost.
  EXPECT_TRUE(CompareByMCU(p, ref, [](int m) { return m == 15 ? McuExpect::Missing : McuExpect::Any; }));
  EXPECT_LT(p.DecodedPercent(), 100);
}

// The marker that should follow the damaged interval is gone: the next one found announces
// one interval further on, and the interval in between stays undecoded.
TEST(Restart, MissingMarkerAfterDamagedInterval) {
  const Bytes intact = RestartImage();
  const RefCoefficients ref = LibjpegCoefficients(intact);
  Bytes jpeg = intact;
  const auto [begin, end] = IntervalBytes(jpeg, 2);
  FillWithOnes(jpeg, begin, end);
  jpeg.erase(jpeg.begin() + static_cast<std::ptrdiff_t>(end), jpeg.begin() + static_cast<std::ptrdiff_t>(end) + 2);

  KeepingParser p;
  LoadedJpeg in(jpeg);
  EXPECT_EQ(in.Load(p), jrBadData);
  EXPECT_TRUE(CompareByMCU(p, ref, [](int m) {
    return IntervalOf(m) == 2 || IntervalOf(m) == 3 ? McuExpect::Missing : McuExpect::Match;
  }));
}

// A marker lost from intact data: the interval after it is read past, the one after that
// lands by its marker's number.
TEST(Restart, MissingMarkerInIntactData) {
  const Bytes intact = RestartImage();
  const RefCoefficients ref = LibjpegCoefficients(intact);
  Bytes jpeg = intact;
  const size_t rst1 = RestartMarkers(jpeg).at(1);
  jpeg.erase(jpeg.begin() + static_cast<std::ptrdiff_t>(rst1), jpeg.begin() + static_cast<std::ptrdiff_t>(rst1) + 2);

  KeepingParser p;
  LoadedJpeg in(jpeg);
  EXPECT_EQ(in.Load(p, pfRecordSegments), jrBadData);
  EXPECT_TRUE(SameStarts(p, IntactOffsets(intact), 6, -2));
  EXPECT_TRUE(CompareByMCU(p, ref, [](int m) { return IntervalOf(m) == 2 ? McuExpect::Missing : McuExpect::Match; }));
}

// Without the forward search the markers are met inside the data and still place every
// interval right.
TEST(Restart, NoRestartSearchStillPlacesIntervals) {
  const Bytes intact = RestartImage();
  const RefCoefficients ref = LibjpegCoefficients(intact);
  KeepingParser p;
  LoadedJpeg in(intact);
  // Without the search each marker is met by the bit reader at the start of the next
  // interval; a marker that ends a complete interval is no data error.
  EXPECT_EQ(in.Load(p, pfNoRestartSearch), jrOK);
  EXPECT_TRUE(SameCoefficients(p, ref));
  EXPECT_FALSE(p.DataErrors);
  EXPECT_EQ(p.DecodedPercent(), 100);
}

// Data cut inside an interval and closed with EOI, followed by a second picture (as in a
// Multi-Picture file): the search for the next restart marker ends at the EOI instead of
// taking the markers of the picture behind it.
TEST(Restart, SearchStopsAtTheEndOfTheImage) {
  const Bytes intact = RestartImage();
  const RefCoefficients ref = LibjpegCoefficients(intact);
  size_t cut = IntervalBytes(intact, 3).first + 5;
  while (intact[cut - 1] == 0xFF) ++cut;  // end on a whole data byte
  Bytes jpeg(intact.begin(), intact.begin() + static_cast<std::ptrdiff_t>(cut));
  jpeg.push_back(0xFF);
  jpeg.push_back(0xD9);
  const size_t firstEnd = jpeg.size();
  jpeg.insert(jpeg.end(), intact.begin(), intact.end());

  for (const uint16_t flags : {uint16_t{0}, uint16_t{pfNoRestartSearch}}) {
    SCOPED_TRACE(flags);
    KeepingParser p;
    LoadedJpeg in(jpeg);
    EXPECT_EQ(in.Load(p, flags), jrBadData);  // EOI after missing data
    EXPECT_TRUE(p.DataErrors);
    EXPECT_EQ(p.Position, static_cast<int64_t>(firstEnd));
    EXPECT_TRUE(CompareByMCU(p, ref, [](int m) {
      return IntervalOf(m) < 3 ? McuExpect::Match : IntervalOf(m) == 3 ? McuExpect::Any : McuExpect::Missing;
    }));
  }
}

// Damaged progressive data with restart markers: the end-of-band run of a damaged interval
// must not leak into the next one.
TEST(Restart, ProgressiveDamagedIntervalRecovers) {
  const Bytes intact = Cjpeg("-quality 85 -progressive -sample 1x1 -restart 1", 64, 64, true, 9);
  const RefCoefficients ref = LibjpegCoefficients(intact);
  Bytes jpeg = intact;
  const auto [begin, end] = IntervalBytes(jpeg, 3);  // DC scan, block row 3
  FillWithOnes(jpeg, begin, end);
  KeepingParser p;
  LoadedJpeg in(jpeg);
  EXPECT_EQ(in.Load(p), jrBadData);
  // Rows other than the damaged one keep their DC values from the first scan; the later AC
  // scans refine everything, so compare the DC of the undamaged rows with the reference.
  const TkelMCUs* map = p.MCUs[0].get();
  ASSERT_NE(map, nullptr);
  for (int by = 0; by < 8; ++by)
    for (int bx = 0; bx < 8; ++bx) {
      const TkelCoefBlock* b = map->Block(bx, by);
      ASSERT_NE(b, nullptr);
      if (by == 3) {
        EXPECT_FALSE(b->Decoded);
        continue;
      }
      EXPECT_TRUE(b->Decoded);
      EXPECT_EQ(b->Coef[0], ref.Components[0].Block(bx, by)[0]) << bx << "," << by;
    }
}

}  // namespace
}  // namespace vt::test
