// Motion-JPEG frames leave out DHT: a scan whose Huffman tables were never defined uses the
// standard tables of the JPEG standard in slots 0 and 1, as libjpeg does.
#include <gtest/gtest.h>

#include <algorithm>

#include "jpeg/decode_helpers.h"

namespace vt::test {
namespace {

// The JPEG without its DHT segments (cjpeg without -optimize writes the standard tables).
Bytes WithoutHuffmanTables(const Bytes& jpeg) {
  Bytes out(jpeg.begin(), jpeg.begin() + 2);
  size_t i = 2;
  while (i + 4 <= jpeg.size() && jpeg[i] == 0xFF) {
    const size_t len = (static_cast<size_t>(jpeg[i + 2]) << 8) | jpeg[i + 3];
    if (jpeg[i + 1] == 0xDA) break;
    if (jpeg[i + 1] != 0xC4) out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(i),
                                        jpeg.begin() + static_cast<std::ptrdiff_t>(i + 2 + len));
    i += 2 + len;
  }
  out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(i), jpeg.end());
  return out;
}

struct FrameCase {
  const char* Name;
  const char* Args;
  bool Grey;
};

void PrintTo(const FrameCase& c, std::ostream* os) { *os << c.Name; }

class MotionJpegTest : public ::testing::TestWithParam<FrameCase> {};

TEST_P(MotionJpegTest, FrameWithoutDhtDecodesToLibjpegsCoefficients) {
  const Bytes frame = WithoutHuffmanTables(Cjpeg(GetParam().Args, 80, 56, GetParam().Grey));
  ASSERT_EQ(std::count(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(FirstScanData(frame)), 0xC4), 0);
  const RefCoefficients ref = LibjpegCoefficients(frame);
  ASSERT_TRUE(ref.Ok) << ref.Error;
  for (int32_t bufferSize : {0, 65536}) {
    KeepingParser p(bufferSize);
    EXPECT_EQ(LoadBytes(p, frame), jrOK);
    EXPECT_FALSE(p.DataErrors);
    EXPECT_EQ(p.DecodedPercent(), 100);
    EXPECT_TRUE(SameCoefficients(p, ref));
  }
}

INSTANTIATE_TEST_SUITE_P(Parser, MotionJpegTest,
                         ::testing::Values(FrameCase{"Colour420", "-quality 80 -sample 2x2", false},
                                           FrameCase{"Colour422", "-quality 90 -sample 2x1", false},
                                           FrameCase{"Grey", "-quality 75", true},
                                           FrameCase{"RestartMarked", "-quality 80 -restart 2B", false}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(MissingTables, TablesOfTheFileStillWin) {
  // Optimised tables differ from the standard ones: a fallback that replaced a defined table
  // would read this data with the wrong codes.
  const Bytes optimised = Cjpeg("-quality 80 -optimize", 64, 48);
  KeepingParser p;
  EXPECT_EQ(LoadBytes(p, optimised), jrOK);
  EXPECT_TRUE(SameCoefficients(p, LibjpegCoefficients(optimised)));
}

}  // namespace
}  // namespace vt::test
