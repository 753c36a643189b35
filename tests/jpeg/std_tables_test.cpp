// The Annex K tables must be the ones real encoders write: cjpeg without -optimize uses them
// for its Huffman tables and scales them for its quantisation tables.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "jpeg/std_tables.h"
#include "support/test_support.h"

namespace vt {
namespace {

struct Segment {
  uint8_t Marker;
  std::vector<uint8_t> Payload;
};

std::vector<Segment> HeaderSegments(const test::Bytes& jpeg) {
  std::vector<Segment> out;
  size_t p = 2;
  while (p + 4 <= jpeg.size() && jpeg[p] == 0xFF) {
    const uint8_t marker = jpeg[p + 1];
    const size_t len = static_cast<size_t>(jpeg[p + 2] << 8 | jpeg[p + 3]);
    out.push_back({marker, {jpeg.begin() + p + 4, jpeg.begin() + p + 2 + len}});
    if (marker == 0xDA) break;
    p += 2 + len;
  }
  return out;
}

TEST(StdTables, HuffmanTablesEqualThoseCjpegWrites) {
  const test::Bytes jpeg = test::Cjpeg("-quality 75", 32, 32);
  std::map<int, std::pair<std::vector<uint8_t>, std::vector<uint8_t>>> tables;  // class<<4|id
  for (const Segment& s : HeaderSegments(jpeg)) {
    if (s.Marker != 0xC4) continue;
    size_t p = 0;
    while (p + 17 <= s.Payload.size()) {
      const int tc = s.Payload[p];
      std::vector<uint8_t> counts(s.Payload.begin() + p + 1, s.Payload.begin() + p + 17);
      int total = 0;
      for (uint8_t c : counts) total += c;
      std::vector<uint8_t> values(s.Payload.begin() + p + 17, s.Payload.begin() + p + 17 + total);
      tables[tc] = {counts, values};
      p += 17 + total;
    }
  }
  const std::pair<int, const TStdHuffmanTable*> expected[] = {
      {0x00, &kStdDcLuminance}, {0x10, &kStdAcLuminance}, {0x01, &kStdDcChrominance}, {0x11, &kStdAcChrominance}};
  for (const auto& [tc, table] : expected) {
    ASSERT_TRUE(tables.count(tc)) << "table " << tc;
    EXPECT_EQ(tables[tc].first, std::vector<uint8_t>(table->Counts, table->Counts + 16)) << "table " << tc;
    EXPECT_EQ(tables[tc].second, std::vector<uint8_t>(table->Values, table->Values + table->ValueCount))
        << "table " << tc;
  }
}

TEST(StdTables, QualityFiftyQuantisationIsTheAnnexTableInZigZagOrder) {
  const test::Bytes jpeg = test::Cjpeg("-quality 50 -baseline", 16, 16);
  int seen = 0;
  for (const Segment& s : HeaderSegments(jpeg)) {
    if (s.Marker != 0xDB) continue;
    for (size_t p = 0; p + 65 <= s.Payload.size(); p += 65) {
      const int id = s.Payload[p] & 15;
      const uint8_t* natural = id == 0 ? kStdLuminanceQuant : kStdChrominanceQuant;
      for (int i = 0; i < 64; ++i) EXPECT_EQ(s.Payload[p + 1 + i], natural[kZigZag[i]]) << "table " << id << " i " << i;
      ++seen;
    }
  }
  EXPECT_EQ(seen, 2);
}

TEST(StdTables, ZigZagIsAPermutationWalkingTheAntiDiagonals) {
  bool used[64] = {};
  for (int i = 0; i < 64; ++i) {
    ASSERT_FALSE(used[kZigZag[i]]);
    used[kZigZag[i]] = true;
    if (i > 0) {
      const int d0 = kZigZag[i - 1] / 8 + kZigZag[i - 1] % 8, d1 = kZigZag[i] / 8 + kZigZag[i] % 8;
      EXPECT_TRUE(d1 == d0 || d1 == d0 + 1) << i;
    }
  }
}

}  // namespace
}  // namespace vt
