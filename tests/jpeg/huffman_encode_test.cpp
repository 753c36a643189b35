#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <vector>

#include "base/stream.h"
#include "jpeg/huffman_encode.h"
#include "jpeg/std_tables.h"
#include "support/test_support.h"

namespace vt {
namespace {

TEST(HuffmanEncode, CanonicalCodesOfTheStandardTables) {
  TkelHuffmanEncodeTable dc, ac;
  BuildEncodeTable(kStdDcLuminance, dc);
  BuildEncodeTable(kStdAcLuminance, ac);
  // ITU-T T.81 Table K.3 and K.5.
  EXPECT_EQ(dc.CodeLength[0], 2);
  EXPECT_EQ(dc.Code[0], 0b00);
  EXPECT_EQ(dc.CodeLength[5], 3);
  EXPECT_EQ(dc.Code[5], 0b110);
  EXPECT_EQ(dc.CodeLength[11], 9);
  EXPECT_EQ(dc.Code[11], 0b111111110);
  EXPECT_EQ(ac.CodeLength[0x00], 4);
  EXPECT_EQ(ac.Code[0x00], 0b1010);
  EXPECT_EQ(ac.CodeLength[0xF0], 11);
  EXPECT_EQ(ac.Code[0xF0], 0b11111111001);
  EXPECT_EQ(ac.CodeLength[0x01], 2);
  EXPECT_EQ(ac.Code[0x01], 0b00);
  EXPECT_EQ(ac.CodeLength[0xFA], 16);
  EXPECT_EQ(ac.Code[0xFA], 0xFFFE);
  EXPECT_EQ(ac.ValueCount, 162);
}

TEST(HuffmanEncode, OversubscribedCountsAreRefused) {
  uint8_t counts[16] = {3};  // three codes of length 1 cannot exist
  const uint8_t values[3] = {0, 1, 2};
  TkelHuffmanEncodeTable t;
  EXPECT_FALSE(BuildEncodeTable(counts, values, 3, t));
  EXPECT_EQ(t.CodeLength[0], 0);
}

// A one-component 8-bit baseline file around blocks encoded by EncodeBlock.
vt::test::Bytes GreyJpeg(const std::vector<std::array<int16_t, 64>>& blocks, int blocksWide) {
  TMemoryStream s;
  std::vector<uint8_t> buffer;
  TkelBitWriter w(s, buffer);
  const int blocksHigh = static_cast<int>(blocks.size()) / blocksWide;
  const uint8_t soi[] = {0xFF, 0xD8};
  w.WriteBytes(soi, 2);
  w.WriteWord(0xFFDB);
  w.WriteWord(67);
  w.WriteByte(0);
  for (int i = 0; i < 64; ++i) w.WriteByte(1);
  const uint8_t sof[] = {0xFF, 0xC0, 0, 11, 8, static_cast<uint8_t>(blocksHigh * 8 >> 8),
                         static_cast<uint8_t>(blocksHigh * 8), static_cast<uint8_t>(blocksWide * 8 >> 8),
                         static_cast<uint8_t>(blocksWide * 8), 1, 1, 0x11, 0};
  w.WriteBytes(sof, sizeof sof);
  w.WriteWord(0xFFC4);
  w.WriteWord(2 + 17 + 12 + 17 + 162);
  for (auto [cls, t] : {std::pair{0x00, &kStdDcLuminance}, std::pair{0x10, &kStdAcLuminance}}) {
    w.WriteByte(static_cast<uint8_t>(cls));
    w.WriteBytes(t->Counts, 16);
    w.WriteBytes(t->Values, static_cast<size_t>(t->ValueCount));
  }
  const uint8_t sos[] = {0xFF, 0xDA, 0, 8, 1, 1, 0x00, 0, 63, 0};
  w.WriteBytes(sos, sizeof sos);
  TkelHuffmanEncodeTable dc, ac;
  BuildEncodeTable(kStdDcLuminance, dc);
  BuildEncodeTable(kStdAcLuminance, ac);
  int32_t pred = 0;
  for (const auto& b : blocks) EncodeBlock(w, dc, ac, b.data(), pred);
  w.PadBits();
  w.WriteWord(0xFFD9);
  w.FlushBuffer();
  return vt::test::Bytes(s.Memory(), s.Memory() + s.GetSize());
}

TEST(HuffmanEncode, EncodedBlocksDecodeBackToTheSameCoefficients) {
  std::mt19937 rng(11);
  std::vector<std::array<int16_t, 64>> blocks;
  // Extremes of every size class, long zero runs, a lone last coefficient, an empty block.
  std::array<int16_t, 64> b{};
  b[0] = -1024;
  b[kZigZag[63]] = 1023;
  blocks.push_back(b);
  b = {};
  b[0] = 1023;
  b[kZigZag[17]] = -1023;
  b[kZigZag[40]] = 1;
  blocks.push_back(b);
  blocks.push_back(std::array<int16_t, 64>{});
  for (int i = 0; i < 400; ++i) {
    b = {};
    const int density = 1 + static_cast<int>(rng() % 6);
    for (int k = 0; k < 64; ++k)
      if (rng() % density == 0) {
        const int size = static_cast<int>(rng() % 11);
        const int mag = size == 0 ? 0 : ((1 << (size - 1)) + static_cast<int>(rng() % (1u << (size - 1))));
        b[k] = static_cast<int16_t>((rng() & 1) ? mag : -mag);
      }
    b[0] = static_cast<int16_t>(static_cast<int>(rng() % 2048) - 1024);
    blocks.push_back(b);
  }
  while (blocks.size() % 9 != 0) blocks.push_back(std::array<int16_t, 64>{});
  const vt::test::Bytes jpeg = GreyJpeg(blocks, 9);
  const vt::test::RefCoefficients ref = vt::test::LibjpegCoefficients(jpeg);
  ASSERT_TRUE(ref.Ok) << ref.Error;
  EXPECT_EQ(ref.Warnings, 0);
  ASSERT_EQ(ref.Components.size(), 1u);
  for (size_t i = 0; i < blocks.size(); ++i) {
    const int16_t* got = ref.Components[0].Block(static_cast<int>(i % 9), static_cast<int>(i / 9));
    for (int k = 0; k < 64; ++k) ASSERT_EQ(got[k], blocks[i][k]) << "block " << i << " coefficient " << k;
  }
}

TEST(HuffmanEncode, ValuesBeyondTheTablesAreClampedNotCorrupted) {
  std::array<int16_t, 64> b{};
  b[0] = 3000;
  b[1] = -5000;
  b[8] = 2000;
  std::array<int16_t, 64> c{};
  c[0] = -3000;
  const vt::test::Bytes jpeg = GreyJpeg({b, c}, 2);
  const vt::test::RefCoefficients ref = vt::test::LibjpegCoefficients(jpeg);
  ASSERT_TRUE(ref.Ok) << ref.Error;
  EXPECT_EQ(ref.Warnings, 0);
  EXPECT_EQ(ref.Components[0].Block(0, 0)[0], 1023);
  EXPECT_EQ(ref.Components[0].Block(0, 0)[1], -1023);
  EXPECT_EQ(ref.Components[0].Block(0, 0)[8], 1023);
  EXPECT_EQ(ref.Components[0].Block(1, 0)[0], -1024);
}

// The encoding rule written out plainly: every coefficient in zig-zag order tested in turn, codes
// and value bits packed one bit at a time with stuffing and padding.
struct TSlowEncoder {
  std::vector<uint8_t> Bytes;
  int Cur = 0, Count = 0;
  void Bit(int b) {
    Cur = (Cur << 1) | b;
    if (++Count == 8) {
      Bytes.push_back(static_cast<uint8_t>(Cur));
      if (Cur == 0xFF) Bytes.push_back(0);
      Cur = Count = 0;
    }
  }
  void Bits(uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i) Bit((v >> i) & 1);
  }
  void Symbol(const TkelHuffmanEncodeTable& t, int symbol, int32_t value, int size) {
    Bits(t.Code[symbol], t.CodeLength[symbol]);
    Bits(static_cast<uint32_t>(value < 0 ? value - 1 : value) & ((1u << size) - 1), size);
  }
  static int Size(int32_t v) {
    int n = 0;
    for (uint32_t a = static_cast<uint32_t>(v < 0 ? -v : v); a != 0; a >>= 1) ++n;
    return n;
  }
  void Block(const TkelHuffmanEncodeTable& dc, const TkelHuffmanEncodeTable& ac, const int16_t* b, int32_t& pred) {
    const int32_t d = std::clamp<int32_t>(b[0], -1024, 1023);
    Symbol(dc, Size(d - pred), d - pred, Size(d - pred));
    pred = d;
    int run = 0;
    for (int k = 1; k < 64; ++k) {
      const int32_t v = std::clamp<int32_t>(b[kZigZag[k]], -1023, 1023);
      if (v == 0) {
        ++run;
        continue;
      }
      for (; run >= 16; run -= 16) Symbol(ac, 0xF0, 0, 0);
      Symbol(ac, (run << 4) | Size(v), v, Size(v));
      run = 0;
    }
    if (run > 0) Symbol(ac, 0x00, 0, 0);
  }
};

TEST(HuffmanEncode, BitsEqualThePlainRuleForEveryKindOfBlock) {
  std::mt19937 rng(5);
  std::vector<std::array<int16_t, 64>> blocks;
  std::array<int16_t, 64> b{};
  blocks.push_back(b);  // empty
  b[kZigZag[63]] = -1;  // 62 zeros, then the last coefficient: three ZRLs and a run of 14
  blocks.push_back(b);
  for (int k = 0; k < 64; ++k) b[k] = static_cast<int16_t>(k % 2 ? 32767 : -32768);  // all clamped
  blocks.push_back(b);
  b = {};
  b[kZigZag[16]] = 5;  // a run of exactly 15, then one of exactly 16 before a value
  b[kZigZag[33]] = -7;
  blocks.push_back(b);
  for (int i = 0; i < 3000; ++i) {
    b = {};
    const int density = 1 + static_cast<int>(rng() % 12);
    for (int k = 0; k < 64; ++k)
      if (rng() % density == 0) b[k] = static_cast<int16_t>(static_cast<int>(rng() % 4096) - 2048);
    blocks.push_back(b);
  }
  TkelHuffmanEncodeTable dc[2], ac[2];
  BuildEncodeTable(kStdDcLuminance, dc[0]);
  BuildEncodeTable(kStdAcLuminance, ac[0]);
  BuildEncodeTable(kStdDcChrominance, dc[1]);
  BuildEncodeTable(kStdAcChrominance, ac[1]);
  TMemoryStream s;
  std::vector<uint8_t> buffer;
  TkelBitWriter w(s, buffer);
  TSlowEncoder slow;
  int32_t fastPred[2] = {}, slowPred[2] = {};
  for (size_t i = 0; i < blocks.size(); ++i) {
    const int t = static_cast<int>(i % 3 == 2);  // luma, luma, chroma, ...
    EncodeBlock(w, dc[t], ac[t], blocks[i].data(), fastPred[t]);
    slow.Block(dc[t], ac[t], blocks[i].data(), slowPred[t]);
  }
  w.PadBits();
  w.FlushBuffer();
  while (slow.Count != 0) slow.Bit(1);
  const std::vector<uint8_t> fast(s.Memory(), s.Memory() + s.GetSize());
  ASSERT_EQ(fast.size(), slow.Bytes.size());
  EXPECT_TRUE(fast == slow.Bytes);
}

}  // namespace
}  // namespace vt
