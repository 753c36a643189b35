// Entropy decoding beyond intact files: truncation, DNL height, resuming a scan from a
// second stream, MCU offsets, and memory that follows the data rather than the header.
#include <gtest/gtest.h>

#include "jpeg/decode_helpers.h"

namespace vt::test {
namespace {

Bytes Baseline420(int w, int h, uint32_t seed = 11) { return Cjpeg("-quality 85 -sample 2x2", w, h, false, seed); }

// Truncation in the middle of the data: a prefix of MCUs decodes (equal to libjpeg's), the
// rest stays missing, and the percentage stays strictly between 0 and 100.
TEST(Entropy, TruncatedScanKeepsDecodedPrefix) {
  const Bytes intact = Baseline420(160, 120);
  const RefCoefficients ref = LibjpegCoefficients(intact);
  const size_t data = FirstScanData(intact);
  for (double part : {0.05, 0.5, 0.97}) {
    SCOPED_TRACE(part);
    const Bytes cut(intact.begin(), intact.begin() + static_cast<std::ptrdiff_t>(data + (intact.size() - data) * part));
    KeepingParser p;
    LoadedJpeg in(cut);
    EXPECT_EQ(in.Load(p), jrEndOfData);
    EXPECT_EQ(p.Position, static_cast<int64_t>(cut.size()));
    int decoded = 0;
    const int total = p.MCUsPerRow * p.MCURows;
    while (decoded < total && p.IsMCUDecoded(decoded % p.MCUsPerRow, decoded / p.MCUsPerRow)) ++decoded;
    EXPECT_GT(decoded, 0);
    EXPECT_LT(decoded, total);
    // The MCU that was cut may have decoded its first blocks; all before it are exact.
    EXPECT_TRUE(CompareByMCU(p, ref, [&](int m) {
      return m < decoded - 1 ? McuExpect::Match : (m > decoded ? McuExpect::Missing : McuExpect::Any);
    }));
    const int percent = p.DecodedPercent();
    EXPECT_GE(percent, 1);
    EXPECT_LE(percent, 99);
  }
}

TEST(Entropy, PercentRoundsToOneAndNinetyNine) {
  const Bytes intact = Baseline420(481, 481);
  const size_t data = FirstScanData(intact);
  {
    const Bytes cut(intact.begin(), intact.begin() + static_cast<std::ptrdiff_t>(data + 300));
    KeepingParser p;
    LoadBytes(p, cut);
    EXPECT_EQ(p.DecodedPercent(), 1);
  }
  {
    const Bytes cut(intact.begin(), intact.end() - 40);
    KeepingParser p;
    LoadBytes(p, cut);
    EXPECT_EQ(p.DecodedPercent(), 99);
  }
}

// The percentage from the per-component counts: the mean of the component shares, rounded
// to the nearest integer with ties to even, then 100 only when every component is complete
// and at least 1 once anything decoded.
struct PercentCase {
  const char* Name;
  std::vector<std::pair<int32_t, int32_t>> Counts;  // (decoded, expected) per component
  int Percent;
};

void PrintTo(const PercentCase& c, std::ostream* os) { *os << c.Name; }

class PercentTest : public ::testing::TestWithParam<PercentCase> {};

TEST_P(PercentTest, FromCounts) {
  KeepingParser p;
  p.FrameSeen = true;
  p.ComponentCount = static_cast<int32_t>(GetParam().Counts.size());
  for (size_t i = 0; i < GetParam().Counts.size(); ++i) {
    p.FrameComponents[i].DecodedMCUs = GetParam().Counts[i].first;
    p.FrameComponents[i].ExpectedMCUs = GetParam().Counts[i].second;
  }
  EXPECT_EQ(p.DecodedPercent(), GetParam().Percent);
}

INSTANTIATE_TEST_SUITE_P(
    Entropy, PercentTest,
    ::testing::Values(PercentCase{"HalfRoundsDownToEven", {{1, 8}}, 12},
                      PercentCase{"HalfRoundsUpToEven", {{3, 8}}, 38},
                      PercentCase{"MeanOverComponents", {{10, 10}, {0, 10}}, 50},
                      PercentCase{"UnscannedComponentCountsAsZero", {{4, 4}, {4, 4}, {0, 0}}, 67},
                      PercentCase{"NearlyCompleteIs99", {{200, 200}, {200, 200}, {199, 200}}, 99},
                      PercentCase{"AnythingDecodedIsAtLeast1", {{1, 1000}}, 1},
                      PercentCase{"NothingDecodedIs0", {{0, 1000}, {0, 1000}}, 0},
                      PercentCase{"RepairsMayCountPast100", {{15, 10}}, 150}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(Entropy, PercentWithoutFrameIsZero) {
  KeepingParser p;
  p.ComponentCount = 1;
  p.FrameComponents[0].DecodedMCUs = p.FrameComponents[0].ExpectedMCUs = 4;
  EXPECT_EQ(p.DecodedPercent(), 0);
}

// Height 0 in the frame header, the line count in a DNL segment after the scan.
TEST(Entropy, HeightFromDNL) {
  for (const char* args : {"-quality 85 -sample 2x2", "-quality 85 -sample 1x1 -restart 1"}) {
    SCOPED_TRACE(args);
    const Bytes intact = Cjpeg(args, 50, 37, false, 4);
    const RefCoefficients ref = LibjpegCoefficients(intact);
    Bytes jpeg = intact;
    const size_t sof = SofPayload(jpeg);
    jpeg[sof + 1] = 0;
    jpeg[sof + 2] = 0;
    const uint8_t dnl[] = {0xFF, 0xDC, 0x00, 0x04, 0x00, 37};
    jpeg.insert(jpeg.end() - 2, std::begin(dnl), std::end(dnl));

    KeepingParser p;
    LoadedJpeg in(jpeg);
    EXPECT_EQ(in.Load(p, pfRecordSegments), jrOK);
    EXPECT_FALSE(p.HeightFromDNL);
    EXPECT_EQ(p.Height, 37);
    EXPECT_EQ(p.MCURows, p.MCUHeight == 16 ? 3 : 5);
    EXPECT_TRUE(SameCoefficients(p, ref));
    EXPECT_EQ(p.DecodedPercent(), 100);
  }
}

// A header stream read with pfHeadersOnly, then the entropy-coded data from another stream.
TEST(Entropy, ResumeScanFromSecondStream) {
  const Bytes intact = Cjpeg("-quality 80 -sample 2x1", 90, 50, false, 8);
  const RefCoefficients ref = LibjpegCoefficients(intact);
  const size_t data = FirstScanData(intact);
  const Bytes headers(intact.begin(), intact.begin() + static_cast<std::ptrdiff_t>(data));
  const Bytes rest(intact.begin() + static_cast<std::ptrdiff_t>(data), intact.end());

  KeepingParser p(65536);
  LoadedJpeg h(headers);
  EXPECT_EQ(h.Load(p, pfHeadersOnly), jrOK);
  EXPECT_EQ(p.ScanDataOffset, static_cast<int64_t>(data));
  EXPECT_EQ(p.MCUs[0], nullptr);  // nothing decoded yet
  LoadedJpeg d(rest);
  EXPECT_EQ(d.Load(p, pfResumeAtScan), jrOK);
  EXPECT_EQ(p.Position, static_cast<int64_t>(rest.size()));
  EXPECT_TRUE(SameCoefficients(p, ref));
}

// Offsets chain MCU to MCU, and re-decoding from any recorded offset reproduces the blocks
// (so every offset names exactly the bit where its MCU starts), across stuffed bytes.
TEST(Entropy, OffsetsNameEachMCUsFirstBit) {
  const Bytes intact = Cjpeg("-quality 98 -sample 1x1", 64, 40, false, 2);  // dense data, many FF 00
  const RefCoefficients ref = LibjpegCoefficients(intact);
  KeepingParser p(0);
  LoadedJpeg in(intact);
  ASSERT_EQ(in.Load(p, pfRecordSegments), jrOK);
  ASSERT_NE(p.Offsets, nullptr);
  const int total = p.MCUsPerRow * p.MCURows;
  TkelOffsetEntry prev{};
  for (int m = 0; m < total; ++m) {
    const TkelOffsetEntry e = p.GetMCUOffsets(m % p.MCUsPerRow, m / p.MCUsPerRow);
    ASSERT_TRUE(e.Valid);
    if (m == 0) {
      EXPECT_EQ(e.StartByte, FirstScanData(intact));
      EXPECT_EQ(e.StartBit, 0);
    } else {
      EXPECT_EQ(e.StartByte, prev.EndByte) << m;
      EXPECT_EQ(e.StartBit, prev.EndBit) << m;
    }
    EXPECT_GE(e.EndByte * 8 + e.EndBit, e.StartByte * 8 + e.StartBit + 2);
    prev = e;
  }
  EXPECT_GE(prev.EndByte, static_cast<int64_t>(intact.size()) - 4);  // last MCU ends just before EOI
  for (int m : {1, total / 3, total / 2 + 1, total - 1}) {
    SCOPED_TRACE(m);
    const TkelOffsetEntry e = p.GetMCUOffsets(m % p.MCUsPerRow, m / p.MCUsPerRow);
    EXPECT_EQ(p.RedecodeFrom(m, e.StartByte, e.StartBit, 0, false), jrOK);
    EXPECT_TRUE(SameCoefficients(p, ref));
  }
}

size_t MapBytes(const TkelBaseJpegParser& p) {
  size_t n = 0;
  for (const auto& m : p.MCUs)
    if (m) n += static_cast<size_t>(m->Size);
  if (p.Offsets) n += static_cast<size_t>(p.Offsets->Size);
  return n;
}

// A small file that declares 65535 x 65535: memory follows the data that is there.
TEST(Entropy, HugeDeclaredSizeStaysSmall) {
  for (const char* args : {"-quality 80 -sample 1x1", "-quality 80 -sample 2x2 -restart 1B", "-quality 80 -progressive"}) {
    SCOPED_TRACE(args);
    Bytes jpeg = Cjpeg(args, 32, 32, false, 6);
    const size_t sof = SofPayload(jpeg);
    for (int i = 1; i <= 4; ++i) jpeg[sof + static_cast<size_t>(i)] = 0xFF;
    KeepingParser p;
    LoadedJpeg in(jpeg);
    const int r = in.Load(p, pfRecordSegments);
    EXPECT_NE(r, jrOK);
    EXPECT_EQ(p.Width, 65535);
    EXPECT_LT(MapBytes(p), 4u << 20) << MapBytes(p);
    EXPECT_LE(p.DecodedPercent(), 1);
  }
}

// Markers that each move the MCU counter far ahead (interval 65535) cost no memory for the
// MCUs they skip.
TEST(Entropy, RestartJumpsDoNotAllocateSkippedRows) {
  Bytes jpeg = Cjpeg("-quality 80 -sample 1x1 -restart 1B", 32, 32, false, 6);
  const size_t sof = SofPayload(jpeg);
  for (int i = 1; i <= 4; ++i) jpeg[sof + static_cast<size_t>(i)] = 0xFF;
  // DRI 65535.
  for (size_t i = 2; i + 5 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDD) {
      jpeg[i + 4] = 0xFF;
      jpeg[i + 5] = 0xFF;
      break;
    }
  Bytes data(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(FirstScanData(jpeg)));
  for (int k = 0; k < 2000; ++k) {  // a little data, then a marker 7 intervals on
    data.push_back(0x12);
    data.push_back(0xFF);
    data.push_back(static_cast<uint8_t>(0xD0 + (k * 7 + 6) % 8));
  }
  data.push_back(0xFF);
  data.push_back(0xD9);
  KeepingParser p;
  LoadedJpeg in(data);
  in.Load(p, pfRecordSegments);
  EXPECT_LT(MapBytes(p), 64u << 20) << MapBytes(p);
}

}  // namespace
}  // namespace vt::test
