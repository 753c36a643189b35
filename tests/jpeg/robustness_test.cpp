// Damaged input of every kind: the parser returns a result code, never crashes, keeps its
// memory proportional to the input and finishes. Seeded mutations of real encoder output
// (run under the sanitizer build these also catch out-of-bounds access).
#include <gtest/gtest.h>

#include <random>

#include "jpeg/decode_helpers.h"

namespace vt::test {
namespace {

size_t MapBytes(const TkelBaseJpegParser& p) {
  size_t n = 0;
  for (const auto& m : p.MCUs)
    if (m) n += static_cast<size_t>(m->Size);
  if (p.Offsets) n += static_cast<size_t>(p.Offsets->Size);
  return n;
}

Bytes Mutate(const Bytes& in, std::mt19937& rng) {
  Bytes b = in;
  std::uniform_int_distribution<size_t> pos(0, b.size() - 1);
  switch (rng() % 6) {
    case 0:  // flip bits
      for (int i = 0, n = 1 + static_cast<int>(rng() % 8); i < n; ++i) b[pos(rng)] ^= static_cast<uint8_t>(1u << (rng() % 8));
      break;
    case 1:  // random bytes
      for (int i = 0, n = 1 + static_cast<int>(rng() % 4); i < n; ++i) b[pos(rng)] = static_cast<uint8_t>(rng());
      break;
    case 2:  // cut
      b.resize(pos(rng));
      break;
    case 3: {  // drop a chunk
      const size_t at = pos(rng);
      b.erase(b.begin() + static_cast<std::ptrdiff_t>(at),
              b.begin() + static_cast<std::ptrdiff_t>(std::min(b.size(), at + 1 + rng() % 300)));
      break;
    }
    case 4: {  // insert markers
      const size_t at = pos(rng);
      const uint8_t m = static_cast<uint8_t>(0xC0 + rng() % 0x40);
      b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), {0xFF, m});
      break;
    }
    default:  // header fields: sizes, counts, sampling
      for (int i = 0; i < 3; ++i) b[std::min(b.size() - 1, 2 + rng() % 300)] = static_cast<uint8_t>(rng());
  }
  return b;
}

class RobustnessTest : public ::testing::TestWithParam<const char*> {};

TEST_P(RobustnessTest, MutatedFilesEndWithACode) {
  const Bytes original = Cjpeg(GetParam(), 48, 40, false, 13);
  std::mt19937 rng(1234);
  for (int i = 0; i < 400; ++i) {
    Bytes data = Mutate(original, rng);
    if (i % 3 == 0) data = Mutate(data, rng);
    if (data.empty()) continue;
    for (uint16_t flags : {uint16_t{pfRecordSegments}, uint16_t{0}}) {
      KeepingParser p(i % 2 ? 65536 : 0, true);
      LoadedJpeg in(data);
      const int r = in.Load(p, flags);
      ASSERT_GE(r, jrOK);
      ASSERT_LE(r, jrBadData);
      ASSERT_LE(p.Position, static_cast<int64_t>(data.size()));
      ASSERT_LT(MapBytes(p), (8u << 20) + data.size() * 4096) << i;
      (void)p.DecodedPercent();
      (void)p.GetColorModel();
      if (flags & pfRecordSegments && p.MCUsPerRow > 0 && p.MCURows > 0 && p.ScanCount > 0) {
        const TkelOffsetEntry e = p.GetMCUOffsets(0, 0);
        p.RedecodeFrom(0, e.StartByte, e.StartBit, static_cast<int>(i % 3), i % 2 == 0);
        p.InsertMCU(0, 0);
        p.DeleteMCU(p.MCUsPerRow - 1, 0);
        p.InsertMCURow(0, 0);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Mutations, RobustnessTest,
                         ::testing::Values("-quality 90 -sample 2x2", "-quality 90 -sample 1x1 -restart 1",
                                           "-quality 85 -progressive -sample 2x1", "-quality 80 -progressive -restart 2B",
                                           "-quality 75 -optimize -sample 1x2"));

}  // namespace
}  // namespace vt::test
