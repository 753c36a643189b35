// The grid edits on a frame that declares far more MCUs than its data reached: they walk only
// the MCUs that hold something (a 65535-wide frame has millions of MCUs; walking them all made
// each edit take seconds), yet move the last reached MCU into the first unreached one exactly.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "base/stream.h"
#include "jpeg/image.h"
#include "jpeg/jpeg_constants.h"

namespace vt {
namespace {

using Bytes = std::vector<uint8_t>;

void Segment(Bytes& out, uint8_t marker, const Bytes& body) {
  out.insert(out.end(), {0xFF, marker, uint8_t((body.size() + 2) >> 8), uint8_t(body.size() + 2)});
  out.insert(out.end(), body.begin(), body.end());
}

// A grey frame with one-bit Huffman codes: each zero byte of data is four flat blocks (MCUs).
Bytes FlatGrey(int width, int height, size_t dataBytes) {
  Bytes j = {0xFF, 0xD8};
  Bytes dqt = {0x00};
  dqt.resize(65, 1);
  Segment(j, 0xDB, dqt);
  Segment(j, 0xC0, {8, uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8), uint8_t(width), 1, 1, 0x11, 0});
  Bytes table = {0x00, 1};
  table.resize(17, 0);
  table.push_back(0x00);
  Segment(j, 0xC4, table);
  table[0] = 0x10;
  Segment(j, 0xC4, table);
  Segment(j, 0xDA, {1, 1, 0x00, 0x00, 63, 0x00});
  j.insert(j.end(), dataBytes, 0x00);
  j.insert(j.end(), {0xFF, 0xD9});
  return j;
}

struct Reach {
  const char* Name;
  size_t DataBytes;  // 4 MCUs a byte; a row of the 65535-wide frame has 8192 MCUs
};

class GridEditBounds : public ::testing::TestWithParam<Reach> {};

TEST_P(GridEditBounds, EditsMoveTheLastReachedMCUAcrossTheBoundary) {
  const Bytes file = FlatGrey(65535, 65535, GetParam().DataBytes);
  TTempMemoryStream stream;
  stream.SetPointer(file.data(), int64_t(file.size()));
  TkelJpegImage image(0);
  image.LoadFromStream(stream, pfRecordSegments | pfNoRender, 0);
  ASSERT_EQ(image.MCUsPerRow, 8192);
  const int32_t decoded = int32_t(GetParam().DataBytes * 4);  // MCUs 0 .. decoded - 1
  auto at = [&](int32_t index) { return image.IsMCUDecoded(index % 8192, index / 8192); };
  ASSERT_TRUE(at(decoded - 1));
  ASSERT_FALSE(at(decoded));

  image.InsertMCU(0, 0);  // everything moves on by one
  EXPECT_FALSE(at(0));
  EXPECT_TRUE(at(1));
  EXPECT_TRUE(at(decoded)) << "the last reached MCU was lost at the boundary";
  EXPECT_FALSE(at(decoded + 1));

  image.DeleteMCU(1, 0);  // and back
  EXPECT_TRUE(at(decoded - 1));
  EXPECT_FALSE(at(decoded));

  const TkelOffsetEntry second = image.GetMCUOffsets(1, 0);
  ASSERT_TRUE(second.Valid);
  image.InsertMCURow(0, 0);  // a blank row on top
  EXPECT_FALSE(at(0));
  EXPECT_TRUE(at(8192));
  EXPECT_TRUE(at(decoded - 1 + 8192)) << "the last reached MCU was lost at the boundary";
  EXPECT_FALSE(at(decoded + 8192));
  // The offsets move with the blocks.
  EXPECT_EQ(image.GetMCUOffsets(1, 1).StartByte, second.StartByte);
  EXPECT_EQ(image.GetMCUOffsets(1, 1).StartBit, second.StartBit);
}

INSTANTIATE_TEST_SUITE_P(Reaches, GridEditBounds,
                         ::testing::Values(Reach{"PartOfARow", 1000}, Reach{"ExactlyOneRow", 2048},
                                           Reach{"OneRowAndABit", 2100}),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace vt
