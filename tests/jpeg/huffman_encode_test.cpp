#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vt
