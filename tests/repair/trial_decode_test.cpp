// Runs of MCUs decoded on trial, the realignment's way of trying a start: from any MCU's start
// with its DC predictors they give exactly the blocks and positions of the full decode, they
// leave the image as it was, they stop where the data does (a restart marker, the end of the
// image), and placed into the maps they give the same blocks back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "base/stream.h"
#include "jpeg/image.h"
#include "support/test_support.h"

namespace vt::test {
namespace {

struct TEncoding {
  const char* Name;
  const char* Args;
  bool Grey;
};

void PrintTo(const TEncoding& e, std::ostream* os) { *os << e.Name; }

class TrialRun : public ::testing::TestWithParam<TEncoding> {
 protected:
  void SetUp() override {
    jpeg_ = Cjpeg(GetParam().Args, 203, 131, GetParam().Grey, 4);
    stream_.SetPointer(jpeg_.data(), int64_t(jpeg_.size()));
    ASSERT_EQ(image_.LoadFromStream(stream_, pfRecordSegments | pfNoRender, 0), jrOK);
    ASSERT_TRUE(image_.CanDecodeTrials());
  }
  int32_t Total() const { return image_.MCUsPerRow * image_.MCURows; }
  // MCUs from m to the end of its restart interval (a run stops at the marker there).
  int32_t ToIntervalEnd(int32_t m) const {
    const int32_t ri = image_.RestartInterval;
    return ri > 0 ? std::min(Total(), (m / ri + 1) * ri) - m : Total() - m;
  }
  const TkelOffsetEntry& Entry(int32_t m) const {
    return *image_.Offsets->Entry(m % image_.MCUsPerRow, m / image_.MCUsPerRow);
  }
  // The DC predictors after MCU m - 1: the DC of each component's last block there (0 after a
  // restart marker).
  void Predictors(int32_t m, int32_t out[4]) const {
    for (int i = 0; i < image_.ScanComponentCount; ++i) {
      const TkelScanComponent& sc = image_.ScanComponents[i];
      const bool restart = image_.RestartInterval > 0 && m % image_.RestartInterval == 0;
      const TkelCoefBlock* last = m > 0 ? image_.BlockOfMCU(i, sc.BlocksAcross * sc.BlocksDown - 1, m - 1) : nullptr;
      out[i] = restart || !last ? 0 : last->Coef[0];
    }
  }
  Bytes jpeg_;
  TTempMemoryStream stream_;
  TkelJpegImage image_{0};
};

TEST_P(TrialRun, FromAnyMCUGivesTheBlocksOfTheFullDecode) {
  const int32_t total = Total();
  for (int32_t m : {int32_t{0}, total / 3, total - 5}) {
    const uint32_t edits = image_.BlockEdits;
    const int64_t position = image_.Position;
    TkelTrialRun run;
    run.Start = TkelBitPos(Entry(m).StartByte) * 8 + Entry(m).StartBit;
    run.MaxMCUs = 5;
    run.KeepBlocks = true;
    Predictors(m, run.Predictors);
    image_.TrialDecode(run);
    ASSERT_EQ(run.Count, std::min(5, ToIntervalEnd(m))) << "from MCU " << m;
    int k = 0;
    for (int32_t i = 0; i < run.Count; ++i) {
      EXPECT_EQ(run.EndOf(i), TkelBitPos(Entry(m + i).EndByte) * 8 + Entry(m + i).EndBit);
      for (int c = 0; c < image_.ScanComponentCount; ++c) {
        const TkelScanComponent& sc = image_.ScanComponents[c];
        for (int b = 0; b < sc.BlocksAcross * sc.BlocksDown; ++b, ++k) {
          const TkelCoefBlock* full = image_.BlockOfMCU(c, b, m + i);
          ASSERT_NE(full, nullptr);
          EXPECT_EQ(std::memcmp(full->Coef, run.Blocks[size_t(k)].Coef, sizeof full->Coef), 0)
              << "MCU " << m + i << " component " << c << " block " << b;
        }
      }
    }
    // The image is as it was.
    EXPECT_EQ(image_.BlockEdits, edits);
    EXPECT_EQ(image_.Position, position);
    EXPECT_EQ(image_.DecodedPercent(), 100);
  }
}

TEST_P(TrialRun, StopsWhereTheDataDoes) {
  // From the last MCU on: the end-of-image marker stops the run after it.
  const int32_t last = Total() - 1;
  TkelTrialRun run;
  run.Start = TkelBitPos(Entry(last).StartByte) * 8 + Entry(last).StartBit;
  run.MaxMCUs = 3;
  Predictors(last, run.Predictors);
  image_.TrialDecode(run);
  EXPECT_EQ(run.Count, 1);
  EXPECT_EQ(run.StopMarker, 0xD9);
  if (image_.RestartInterval > 0 && image_.RestartInterval < Total()) {
    // From an interval's first MCU on, the interval's end marker stops it.
    TkelTrialRun interval;
    interval.Start = TkelBitPos(Entry(0).StartByte) * 8 + Entry(0).StartBit;
    interval.MaxMCUs = image_.RestartInterval + 3;
    image_.TrialDecode(interval);
    EXPECT_EQ(interval.Count, image_.RestartInterval);
    EXPECT_EQ(interval.StopMarker, 0xD0);
    EXPECT_EQ(interval.Result, 0xD0);
  }
}

TEST_P(TrialRun, PlacedIntoTheMapsGivesTheSameBlocksBack) {
  const int32_t total = Total();
  const int32_t first = total / 2, count = std::min(7, ToIntervalEnd(first));
  std::vector<TkelCoefBlock> before;
  for (int c = 0; c < image_.ScanComponentCount; ++c) {
    const TkelScanComponent& sc = image_.ScanComponents[c];
    for (int32_t m = first; m < first + count; ++m)
      for (int b = 0; b < sc.BlocksAcross * sc.BlocksDown; ++b) before.push_back(*image_.BlockOfMCU(c, b, m));
  }
  const TkelOffsetEntry start = Entry(first);
  image_.ClearMCURange(first, count);
  EXPECT_FALSE(image_.IsMCUDecoded(first % image_.MCUsPerRow, first / image_.MCUsPerRow));
  TkelTrialRun run;
  run.Start = TkelBitPos(start.StartByte) * 8 + start.StartBit;
  run.MaxMCUs = count;
  run.PlaceAt = first;
  Predictors(first, run.Predictors);
  image_.TrialDecode(run);
  ASSERT_EQ(run.Count, count);
  size_t k = 0;
  for (int c = 0; c < image_.ScanComponentCount; ++c) {
    const TkelScanComponent& sc = image_.ScanComponents[c];
    for (int32_t m = first; m < first + count; ++m)
      for (int b = 0; b < sc.BlocksAcross * sc.BlocksDown; ++b, ++k)
        EXPECT_EQ(std::memcmp(image_.BlockOfMCU(c, b, m), &before[k], sizeof(TkelCoefBlock)), 0);
  }
  image_.RecountDecodedMCUs();
  EXPECT_EQ(image_.DecodedPercent(), 100);
}

const TEncoding kEncodings[] = {{"ycc444", "-sample 1x1 -quality 90", false},
                                {"ycc422_restart1", "-sample 2x1 -quality 92 -restart 1B", false},
                                {"ycc420_restart4", "-sample 2x2 -quality 85 -restart 4B", false},
                                {"grey_restart_row", "-quality 95 -restart 1", true}};

INSTANTIATE_TEST_SUITE_P(Encodings, TrialRun, ::testing::ValuesIn(kEncodings),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace vt::test
