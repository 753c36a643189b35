#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "base/stream.h"
#include "jpeg/bit_writer.h"

namespace vt {
namespace {

// Packs bits one at a time into bytes, stuffing and padding as a JPEG entropy coder must.
std::vector<uint8_t> PackSlowly(const std::vector<std::pair<uint32_t, int>>& items) {
  std::vector<uint8_t> out;
  int cur = 0, n = 0;
  auto put = [&](int bit) {
    cur = (cur << 1) | bit;
    if (++n == 8) {
      out.push_back(static_cast<uint8_t>(cur));
      if (cur == 0xFF) out.push_back(0);
      cur = n = 0;
    }
  };
  for (auto [bits, count] : items)
    for (int i = count - 1; i >= 0; --i) put((bits >> i) & 1);
  while (n != 0) put(1);
  return out;
}

std::vector<uint8_t> StreamBytes(TMemoryStream& s) {
  return std::vector<uint8_t>(s.Memory(), s.Memory() + s.GetSize());
}

TEST(BitWriter, StuffsEveryFFAndPadsWithOnes) {
  TMemoryStream s;
  std::vector<uint8_t> buffer;
  TkelBitWriter w(s, buffer);
  w.WriteByte(0xAB);  // raw bytes are never stuffed
  w.WriteByte(0xFF);
  w.PutBits(0xFF, 8);    // a data byte 0xFF
  w.PutBits(0x7, 3);     // 111 then padding 11111 -> another 0xFF
  w.PadBits();
  w.FlushBuffer();
  EXPECT_EQ(StreamBytes(s), (std::vector<uint8_t>{0xAB, 0xFF, 0xFF, 0x00, 0xFF, 0x00}));
}

TEST(BitWriter, PadsPartialByteAndLeavesWholeBytesAlone) {
  for (int count = 1; count <= 16; ++count) {
    TMemoryStream s;
    std::vector<uint8_t> buffer;
    TkelBitWriter w(s, buffer);
    w.PutBits(0, count);
    w.PadBits();
    w.FlushBuffer();
    EXPECT_EQ(StreamBytes(s), PackSlowly({{0, count}})) << count;
  }
}

TEST(BitWriter, RandomCodesAcrossSeveralBufferFlushesMatchBitByBitPacking) {
  std::mt19937 rng(3);
  std::vector<std::pair<uint32_t, int>> items;
  for (int i = 0; i < 1200000; ++i) {
    const int count = static_cast<int>(rng() % 33);
    // Bias toward all-ones codes so that 0xFF bytes (and stuffing) are frequent.
    const uint32_t bits = (rng() % 4 == 0) ? 0xFFFFFFFFu : static_cast<uint32_t>(rng());
    items.push_back({count == 32 ? bits : bits & ((1u << count) - 1), count});
  }
  TMemoryStream s;
  std::vector<uint8_t> buffer;
  TkelBitWriter w(s, buffer);
  for (auto [bits, count] : items) w.PutBits(bits, count);
  w.PadBits();
  w.FlushBuffer();
  const std::vector<uint8_t> want = PackSlowly(items);
  ASSERT_GT(want.size(), 2u * TkelBitWriter::kBufferSize);
  EXPECT_EQ(w.BytesOut(), static_cast<int64_t>(want.size()));
  EXPECT_TRUE(StreamBytes(s) == want);
  EXPECT_EQ(buffer.size(), static_cast<size_t>(TkelBitWriter::kBufferSize));
}

TEST(BitWriter, APieceWrittenElsewhereJoinsAtEveryBitAlignment) {
  std::mt19937 rng(9);
  for (int lead = 0; lead < 8; ++lead) {
    std::vector<std::pair<uint32_t, int>> first = {{0x5A5A5A5Au & ((1u << lead) - 1), lead}}, second;
    for (int i = 0; i < 3000; ++i) {
      const int count = 1 + static_cast<int>(rng() % 20);
      const uint32_t bits = (rng() % 3 == 0) ? 0xFFFFFu : static_cast<uint32_t>(rng());  // many 0xFF bytes
      second.push_back({bits & ((1u << count) - 1), count});
    }
    // The piece: its own writer, whole bytes stuffed, the last bits handed over.
    TMemoryStream pieceStream;
    std::vector<uint8_t> pieceBuffer;
    TkelBitWriter piece(pieceStream, pieceBuffer);
    for (auto [bits, count] : second) piece.PutBits(bits, count);
    uint32_t tail = 0;
    int tailCount = 0;
    piece.TakeTail(tail, tailCount);
    piece.FlushBuffer();
    EXPECT_LT(tailCount, 8);

    TMemoryStream s;
    std::vector<uint8_t> buffer;
    TkelBitWriter w(s, buffer);
    for (auto [bits, count] : first) w.PutBits(bits, count);
    w.AppendEntropyData(pieceStream.Memory(), static_cast<size_t>(pieceStream.GetSize()), tail, tailCount);
    w.PadBits();
    w.FlushBuffer();
    std::vector<std::pair<uint32_t, int>> all = first;
    all.insert(all.end(), second.begin(), second.end());
    EXPECT_TRUE(StreamBytes(s) == PackSlowly(all)) << "lead " << lead;
  }
}

}  // namespace
}  // namespace vt
