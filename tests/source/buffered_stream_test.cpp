#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <vector>

#include "base/stream.h"
#include "source/buffered_stream.h"

namespace vt {
namespace {

// An inner stream over a byte pattern that counts its reads and can be told to deliver
// fewer bytes than asked or to fail.
class CountingStream : public TStream {
 public:
  explicit CountingStream(int64_t size) : bytes(static_cast<size_t>(size)) {
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>((i * 7 + i / 251) & 0xFF);
  }
  int64_t Read(void* buffer, int64_t count) override {
    ++reads;
    if (failNext) {
      failNext = false;
      throw EReadError("device error");
    }
    if (maxPerRead >= 0) count = std::min(count, maxPerRead);
    const int64_t end = std::min<int64_t>(deliverUpTo, static_cast<int64_t>(bytes.size()));
    if (pos >= end) return 0;
    const int64_t n = std::min(count, end - pos);
    std::memcpy(buffer, bytes.data() + pos, static_cast<size_t>(n));
    pos += n;
    return n;
  }
  ~CountingStream() override {
    if (destroyed) *destroyed = true;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    pos = origin == soBeginning ? offset : origin == soCurrent ? pos + offset : static_cast<int64_t>(bytes.size()) + offset;
    return pos;
  }
  std::vector<uint8_t> bytes;
  int64_t pos = 0;
  int reads = 0;
  int64_t maxPerRead = -1;
  int64_t deliverUpTo = INT64_MAX;
  bool failNext = false;
  bool* destroyed = nullptr;
};

TEST(BufferedStream, ReadNearTheEndIsCutAtTheSizeAndThenGivesNothing) {
  CountingStream inner(100000);
  TvtBufferedStream s(&inner, false);
  EXPECT_EQ(s.GetSize(), 100000);
  s.Seek(99990, soBeginning);
  uint8_t buf[50] = {};
  ASSERT_EQ(s.Read(buf, 50), 10);
  EXPECT_EQ(0, std::memcmp(buf, inner.bytes.data() + 99990, 10));
  EXPECT_EQ(s.Read(buf, 50), 0);
  EXPECT_EQ(s.Position, 100000);
}

TEST(BufferedStream, ReadAcrossBlocksMatchesTheFileAndCostsOneInnerReadPerBlock) {
  CountingStream inner(200000);
  TvtBufferedStream s(&inner, false);
  s.Seek(60000, soBeginning);
  std::vector<uint8_t> buf(70000);
  ASSERT_EQ(s.Read(buf.data(), 70000), 70000);
  EXPECT_EQ(0, std::memcmp(buf.data(), inner.bytes.data() + 60000, 70000));
  EXPECT_EQ(inner.reads, 2);  // blocks 0 and 1

  // Byte-at-a-time reading back and forth inside block 1 reads nothing more.
  for (int64_t p = 130000; p > 70000; p -= 997) {
    s.Seek(p, soBeginning);
    uint8_t b = 0;
    ASSERT_EQ(s.Read(&b, 1), 1);
    ASSERT_EQ(b, inner.bytes[static_cast<size_t>(p)]);
  }
  EXPECT_EQ(inner.reads, 2);
}

TEST(BufferedStream, BytesTheInnerStreamDoesNotDeliverReadAsZeros) {
  CountingStream inner(1000);
  inner.deliverUpTo = 600;  // the file was shortened after its size was taken
  TvtBufferedStream s(&inner, false);
  std::vector<uint8_t> buf(1000, 0xAA);
  ASSERT_EQ(s.Read(buf.data(), 1000), 1000);
  EXPECT_EQ(0, std::memcmp(buf.data(), inner.bytes.data(), 600));
  for (size_t i = 600; i < 1000; ++i) ASSERT_EQ(buf[i], 0) << i;
}

TEST(BufferedStream, ShortInnerReadsStillFillTheBlock) {
  CountingStream inner(70000);
  inner.maxPerRead = 1000;
  TvtBufferedStream s(&inner, false);
  std::vector<uint8_t> buf(70000);
  ASSERT_EQ(s.Read(buf.data(), 70000), 70000);
  EXPECT_EQ(0, std::memcmp(buf.data(), inner.bytes.data(), 70000));
}

TEST(BufferedStream, AFailedBlockReadIsTriedAgainNotServedAsZeros) {
  CountingStream inner(5000);
  TvtBufferedStream s(&inner, false);
  inner.failNext = true;
  uint8_t b[4] = {};
  EXPECT_THROW(s.Read(b, 4), EReadError);
  s.Seek(0, soBeginning);
  ASSERT_EQ(s.Read(b, 4), 4);
  EXPECT_EQ(0, std::memcmp(b, inner.bytes.data(), 4));
}

struct SeekCase {
  int64_t start;
  int64_t offset;
  TSeekOrigin origin;
  int64_t expected;
};

class BufferedStreamSeek : public ::testing::TestWithParam<SeekCase> {};

TEST_P(BufferedStreamSeek, FollowsTheSeekRules) {
  const SeekCase c = GetParam();
  CountingStream inner(1000);
  TvtBufferedStream s(&inner, false);
  s.Position = c.start;
  EXPECT_EQ(s.Seek(c.offset, c.origin), c.expected);
  EXPECT_EQ(s.Position, c.expected);
  EXPECT_EQ(inner.reads, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, BufferedStreamSeek,
    ::testing::Values(SeekCase{100, -5, soBeginning, 0}, SeekCase{100, 7, soBeginning, 7},
                      SeekCase{100, -5, soEnd, 995}, SeekCase{100, 5, soEnd, 1005}, SeekCase{100, 0, soEnd, 1000},
                      SeekCase{100, -5000, soEnd, 0}, SeekCase{100, 20, soCurrent, 120},
                      SeekCase{100, -20, soCurrent, 80}, SeekCase{100, -200, soCurrent, 0},
                      SeekCase{100, 0, soCurrent, 100}, SeekCase{100, INT64_MAX, soCurrent, INT64_MAX},
                      SeekCase{100, 3, static_cast<TSeekOrigin>(7), 100}));

TEST(BufferedStream, ReadPastTheSizeGivesNothingAndOwnedInnerIsFreed) {
  bool destroyed = false;
  auto* inner = new CountingStream(1000);
  inner->destroyed = &destroyed;
  {
    TvtBufferedStream s(inner, true);
    s.Seek(5, soEnd);
    uint8_t b[8];
    EXPECT_EQ(s.Read(b, 8), 0);
    EXPECT_EQ(inner->reads, 0);
    EXPECT_EQ(s.Write(b, 8), 0);
  }
  EXPECT_TRUE(destroyed);
}

}  // namespace
}  // namespace vt
