// Every quantised coefficient of every block, as our decoder reads it, against libjpeg's
// jpeg_read_coefficients for files written by cjpeg.
#include <gtest/gtest.h>

#include "jpeg/decode_helpers.h"

namespace vt::test {
namespace {

struct PeerCase {
  const char* Name;
  const char* Args;
  int Width, Height;
  bool Grey;
};

void PrintTo(const PeerCase& c, std::ostream* os) { *os << c.Name << " (" << c.Args << ")"; }

class CoefficientsPeerTest : public ::testing::TestWithParam<std::tuple<PeerCase, int>> {};

TEST_P(CoefficientsPeerTest, EveryBlockEqualsLibjpeg) {
  const PeerCase& c = std::get<0>(GetParam());
  const int bufferSize = std::get<1>(GetParam());
  const Bytes jpeg = Cjpeg(c.Args, c.Width, c.Height, c.Grey, 7);
  const RefCoefficients ref = LibjpegCoefficients(jpeg);
  ASSERT_TRUE(ref.Ok) << ref.Error;
  ASSERT_EQ(ref.Warnings, 0);

  KeepingParser p(bufferSize);
  LoadedJpeg in(jpeg);
  ASSERT_EQ(in.Load(p), jrOK);
  EXPECT_EQ(p.Width, c.Width);
  EXPECT_EQ(p.Height, c.Height);
  EXPECT_FALSE(p.DataErrors);
  EXPECT_EQ(p.DecodedPercent(), 100);
  // The whole file was consumed, EOI included, and nothing more.
  EXPECT_EQ(p.Position, static_cast<int64_t>(jpeg.size()));
  EXPECT_TRUE(SameCoefficients(p, ref));
}

const PeerCase kCases[] = {
    {"s444", "-quality 90 -sample 1x1", 64, 48, false},
    {"s422", "-quality 85 -sample 2x1", 70, 45, false},
    {"s420", "-quality 75 -sample 2x2", 83, 61, false},
    {"s12", "-quality 80 -sample 1x2", 40, 52, false},
    {"grey", "-quality 90", 50, 37, true},
    {"progressive", "-quality 85 -progressive -sample 2x2", 97, 75, false},
    {"progressive444", "-quality 95 -progressive -sample 1x1", 33, 40, false},
    {"progressiveGrey", "-quality 70 -progressive", 45, 31, true},
    {"restart1", "-quality 80 -restart 1 -sample 2x2", 90, 70, false},
    {"restart3B", "-quality 80 -restart 3B -sample 2x1", 75, 41, false},
    {"progressiveRestart", "-quality 80 -progressive -restart 3B -sample 2x2", 90, 70, false},
    {"optimize", "-quality 92 -optimize -sample 2x2", 80, 60, false},
    {"one", "-quality 90 -sample 2x2", 1, 1, false},
    {"odd", "-quality 90 -sample 2x2", 17, 9, false},
    {"large", "-quality 88 -sample 2x2", 481, 481, false},
    {"largeProgressive", "-quality 88 -progressive -sample 2x2", 481, 481, false},
};

INSTANTIATE_TEST_SUITE_P(Cjpeg, CoefficientsPeerTest,
                         ::testing::Combine(::testing::ValuesIn(kCases), ::testing::Values(0, 65536)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).Name) +
                                  (std::get<1>(info.param) ? "_buffered" : "_unbuffered");
                         });

// Reading without a caller's buffer leaves the stream exactly behind the last byte used.
TEST(CoefficientsPeer, UnbufferedLoadLeavesStreamAtPosition) {
  Bytes jpeg = Cjpeg("-quality 80", 40, 30);
  const size_t size = jpeg.size();
  jpeg.insert(jpeg.end(), 5000, 0xAB);  // bytes after EOI
  TTempMemoryStream s;
  s.SetPointer(jpeg.data(), static_cast<int64_t>(jpeg.size()));
  KeepingParser p(0);
  ASSERT_EQ(p.LoadFromStream(s, 0, 0), jrOK);
  EXPECT_EQ(p.Position, static_cast<int64_t>(size));
  EXPECT_EQ(s.GetPosition(), static_cast<int64_t>(size));
}

}  // namespace
}  // namespace vt::test
