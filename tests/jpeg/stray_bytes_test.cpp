// Stray bytes between header segments: the parser skips them up to the next marker as libjpeg
// does, reports each one, keeps the marker offsets exact, and files the picture as damaged
// (DataErrors, jrBadData at EOI) although every block decodes.
#include <gtest/gtest.h>

#include "jpeg/decode_helpers.h"

namespace vt::test {
namespace {

// Where each header segment starts (its FF), up to and including the first SOS.
struct SegmentAt {
  int Marker;
  size_t Offset;
  size_t Size;  // marker, length and payload
};

std::vector<SegmentAt> HeaderSegments(const Bytes& jpeg) {
  std::vector<SegmentAt> out;
  size_t i = 2;
  while (i + 4 <= jpeg.size() && jpeg[i] == 0xFF) {
    const size_t len = (static_cast<size_t>(jpeg[i + 2]) << 8) | jpeg[i + 3];
    out.push_back({jpeg[i + 1], i, len + 2});
    if (jpeg[i + 1] == 0xDA) break;
    i += 2 + len;
  }
  return out;
}

size_t EndOfFirst(const std::vector<SegmentAt>& segs, int marker) {
  for (const SegmentAt& s : segs)
    if (s.Marker == marker) return s.Offset + s.Size;
  ADD_FAILURE() << "no marker " << marker;
  return 0;
}

// Records where every non-APP segment's marker was, from Position when it is reported.
class OffsetParser : public KeepingParser {
 public:
  using KeepingParser::KeepingParser;
  void DoSegment(int marker, int32_t length, const uint8_t* payload, int32_t count) override {
    KeepingParser::DoSegment(marker, length, payload, count);
    MarkerOffsets.push_back(Position - count - (marker >= 0xD0 && marker <= 0xD9 ? 2 : 4));
  }
  std::vector<int64_t> MarkerOffsets;
};

struct StrayCase {
  const char* Name;
  Bytes Stray;  // inserted after the first DQT, after the SOF and after the first DHT
};

void PrintTo(const StrayCase& c, std::ostream* os) { *os << c.Name; }

Bytes JunkWithoutFF(size_t n) {
  Bytes b(n);
  uint32_t x = 12345;
  for (auto& v : b) {
    x = x * 1103515245u + 12345u;
    v = static_cast<uint8_t>((x >> 16) % 255);  // 0..254
  }
  return b;
}

class StrayBytesTest : public ::testing::TestWithParam<StrayCase> {};

TEST_P(StrayBytesTest, HeaderDecodesCompletelyAsDamaged) {
  const Bytes clean = Cjpeg("-quality 85 -sample 2x2", 48, 40);
  const std::vector<SegmentAt> segs = HeaderSegments(clean);
  const Bytes& stray = GetParam().Stray;
  Bytes damaged = clean;
  const std::vector<size_t> points = {EndOfFirst(segs, 0xC4), EndOfFirst(segs, 0xC0), EndOfFirst(segs, 0xDB)};
  // From the back, so the earlier insertion points stay valid.
  for (size_t at : points) damaged.insert(damaged.begin() + static_cast<std::ptrdiff_t>(at), stray.begin(), stray.end());
  // Where a byte of the clean file now lies.
  auto moved = [&](size_t offset) {
    size_t shift = 0;
    for (size_t at : points) shift += at <= offset ? stray.size() : 0;
    return static_cast<int64_t>(offset + shift);
  };

  // libjpeg shows this picture whole, after its warnings.
  const RefCoefficients ref = LibjpegCoefficients(damaged);
  ASSERT_TRUE(ref.Ok) << ref.Error;
  EXPECT_GT(ref.Warnings, 0);

  // Where the markers of the damaged file are (every non-APP segment, then EOI).
  std::vector<int64_t> expected;
  for (const SegmentAt& s : segs)
    if (s.Marker < 0xE0) expected.push_back(moved(s.Offset));
  expected.push_back(static_cast<int64_t>(damaged.size()) - 2);

  for (int32_t bufferSize : {0, 65536}) {
    SCOPED_TRACE(bufferSize);
    OffsetParser p(bufferSize);
    EXPECT_EQ(LoadBytes(p, damaged), jrBadData);
    EXPECT_TRUE(p.DataErrors);
    EXPECT_EQ(p.DecodedPercent(), 100);
    EXPECT_TRUE(SameCoefficients(p, ref));
    EXPECT_EQ(p.MarkerOffsets, expected);
    EXPECT_EQ(p.ScanDataOffset, moved(FirstScanData(clean)));
    EXPECT_EQ(p.Position, static_cast<int64_t>(damaged.size()));
    // Every inserted byte is reported, in order.
    Bytes all;
    for (int i = 0; i < 3; ++i) all.insert(all.end(), stray.begin(), stray.end());
    ASSERT_EQ(p.Skipped.size(), all.size());
    for (size_t i = 0; i < all.size(); ++i) EXPECT_EQ(p.Skipped[i], all[i]) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Parser, StrayBytesTest,
    ::testing::Values(StrayCase{"OneByte", {0x42}}, StrayCase{"FiveBytes", {0x00, 0x13, 0x37, 0x80, 0xFE}},
                      StrayCase{"TwoHundredBytes", JunkWithoutFF(200)},
                      // FF 00 is stuffed data, not fill: "FF 00 00 02" is not marker 0x02.
                      StrayCase{"StuffedPairs", {0xFF, 0x00, 0x00, 0x02, 0xFF, 0x00}},
                      // FF FF 00: the first FF is fill before the stuffed pair.
                      StrayCase{"PairsFillAndJunk", {0x10, 0xFF, 0x00, 0x20, 0xFF, 0xFF, 0x00, 0x30}}),
    [](const auto& info) { return std::string(info.param.Name); });

// The sample files whose headers hold extraneous bytes decode to libjpeg's coefficients.
class StraySampleTest : public ::testing::TestWithParam<std::pair<const char*, int>> {};

TEST_P(StraySampleTest, DecodesToLibjpegsCoefficients) {
  const Bytes data = ReadBytes(CorpusPath(GetParam().first));
  const RefCoefficients ref = LibjpegCoefficients(data);
  ASSERT_TRUE(ref.Ok) << ref.Error;
  KeepingParser p(65536);
  EXPECT_EQ(LoadBytes(p, data), jrBadData);
  EXPECT_TRUE(p.DataErrors);
  EXPECT_EQ(p.DecodedPercent(), 100);
  EXPECT_TRUE(SameCoefficients(p, ref));
  // As many bytes as libjpeg calls extraneous (none of them is fill).
  EXPECT_EQ(static_cast<int>(p.Skipped.size()), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Corpus, StraySampleTest,
                         ::testing::Values(std::make_pair("pil-jpeg_ff00_header.jpg", 4),
                                           std::make_pair("pil-junk_jpeg_header.jpg", 5),
                                           std::make_pair("pil-truncated_app14.jpg", 1)),
                         [](const auto& info) {
                           std::string n = info.param.first;
                           for (char& c : n)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });

TEST(StrayBytes, FillBeforeAMarkerIsNoDataError) {
  const Bytes clean = Cjpeg("-quality 80", 16, 16);
  Bytes data = clean;
  const size_t at = EndOfFirst(HeaderSegments(clean), 0xDB);
  data.insert(data.begin() + static_cast<std::ptrdiff_t>(at), {0xFF, 0xFF, 0xFF});
  KeepingParser p;
  EXPECT_EQ(LoadBytes(p, data), jrOK);
  EXPECT_FALSE(p.DataErrors);
  EXPECT_EQ(p.Skipped, (std::vector<int>{0xFF, 0xFF, 0xFF}));
}

TEST(StrayBytes, RunsToTheEndOfTheDataOrPastTheLimit) {
  const Bytes clean = Cjpeg("-quality 80", 16, 16);
  const size_t at = EndOfFirst(HeaderSegments(clean), 0xDB);
  // Stray bytes up to the end: the data ended while a marker was expected.
  Bytes cut(clean.begin(), clean.begin() + static_cast<std::ptrdiff_t>(at));
  cut.insert(cut.end(), {0x01, 0x02, 0xFF, 0x00, 0x03});
  KeepingParser p;
  EXPECT_EQ(LoadBytes(p, cut), jrEndOfData);
  EXPECT_TRUE(p.DataErrors);
  ASSERT_FALSE(p.Skipped.empty());
  EXPECT_EQ(p.Skipped.back(), -1);
  EXPECT_EQ(p.Skipped.size(), 6u);

  // A run longer than any segment can be is lost structure: the parse ends in it instead of
  // reading on through the file, and the frame behind it is not reached.
  Bytes longRun = clean;
  longRun.insert(longRun.begin() + static_cast<std::ptrdiff_t>(at), 70000, 0x00);
  KeepingParser q;
  EXPECT_EQ(LoadBytes(q, longRun), jrBadData);
  EXPECT_FALSE(q.FrameSeen);
  EXPECT_LT(q.Position, static_cast<int64_t>(at) + 65540);
}

}  // namespace
}  // namespace vt::test
