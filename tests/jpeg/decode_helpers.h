// Helpers of the decoder tests: a parser that keeps its coefficients, loading from bytes,
// comparing blocks with libjpeg's, and editing entropy-coded data.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/stream.h"
#include "jpeg/parser.h"
#include "support/test_support.h"

namespace vt::test {

// A parser that keeps every coefficient block, as the image object does, and records events.
class KeepingParser : public TkelBaseJpegParser {
 public:
  explicit KeepingParser(int32_t bufferSize = 0, bool collectAppBlocks = false)
      : TkelBaseJpegParser(bufferSize, collectAppBlocks) {}
  bool KeepCoefficients() override { return true; }
  void DoSkippedByte(int value) override { Skipped.push_back(value); }
  void DoSegment(int marker, int32_t length, const uint8_t*, int32_t count) override {
    Segments.push_back({marker, length, count});
  }
  void DoAppSegment(int marker, int32_t length, const uint8_t*, int32_t count) override {
    AppSegments.push_back({marker, length, count});
  }
  void DoAppBlock(int64_t offset, const uint8_t* bytes, int32_t count) override {
    AppBlocks.push_back({offset, Bytes(bytes, bytes + count)});
  }
  struct Seg {
    int Marker;
    int32_t Length;
    int32_t Count;
  };
  struct Block {
    int64_t Offset;
    Bytes Data;
  };
  std::vector<int> Skipped;
  std::vector<Seg> Segments;
  std::vector<Seg> AppSegments;
  std::vector<Block> AppBlocks;
};

// Keeps the bytes and the stream alive as long as the parser may read them again.
struct LoadedJpeg {
  Bytes Data;
  TTempMemoryStream Stream;
  int Result = -1;
  explicit LoadedJpeg(Bytes data) : Data(std::move(data)) { Stream.SetPointer(Data.data(), static_cast<int64_t>(Data.size())); }
  int Load(TkelBaseJpegParser& parser, uint16_t flags = 0, int colorModel = 0) {
    Stream.SetPosition(0);
    Result = parser.LoadFromStream(Stream, flags, colorModel);
    return Result;
  }
};

inline int LoadBytes(TkelBaseJpegParser& parser, const Bytes& data, uint16_t flags = 0) {
  TTempMemoryStream s;
  s.SetPointer(data.data(), static_cast<int64_t>(data.size()));
  return parser.LoadFromStream(s, flags, 0);
}

// Compares the blocks of the parser with libjpeg's coefficients. With `decodedOnly`, blocks
// that are not marked decoded are skipped (and counted in *missing).
inline ::testing::AssertionResult SameCoefficients(const TkelBaseJpegParser& p, const RefCoefficients& ref,
                                                   bool decodedOnly = false, int* missing = nullptr,
                                                   int* matched = nullptr) {
  if (!ref.Ok) return ::testing::AssertionFailure() << "libjpeg failed: " << ref.Error;
  if (static_cast<int>(ref.Components.size()) != p.ComponentCount)
    return ::testing::AssertionFailure() << "component count " << p.ComponentCount;
  int miss = 0, same = 0;
  for (int c = 0; c < p.ComponentCount; ++c) {
    const RefComponent& rc = ref.Components[static_cast<size_t>(c)];
    const TkelMCUs* map = p.MCUs[c].get();
    if (!map) return ::testing::AssertionFailure() << "no map for component " << c;
    for (int by = 0; by < rc.BlocksHigh; ++by)
      for (int bx = 0; bx < rc.BlocksWide; ++bx) {
        const TkelCoefBlock* b = map->Block(bx, by);
        if (!b || !b->Decoded) {
          if (decodedOnly) {
            ++miss;
            continue;
          }
          return ::testing::AssertionFailure() << "component " << c << " block " << bx << "," << by << " missing";
        }
        const int16_t* r = rc.Block(bx, by);
        for (int k = 0; k < 64; ++k)
          if (b->Coef[k] != r[k])
            return ::testing::AssertionFailure() << "component " << c << " block " << bx << "," << by << " coef "
                                                 << k << ": " << b->Coef[k] << " vs " << r[k];
        ++same;
      }
  }
  if (missing) *missing = miss;
  if (matched) *matched = same;
  return ::testing::AssertionSuccess();
}

// Offset of the first byte of entropy-coded data of the first scan (after the SOS header).
inline size_t FirstScanData(const Bytes& jpeg) {
  size_t i = 2;
  while (i + 4 <= jpeg.size()) {
    if (jpeg[i] != 0xFF) return 0;
    const int marker = jpeg[i + 1];
    const size_t len = (static_cast<size_t>(jpeg[i + 2]) << 8) | jpeg[i + 3];
    if (marker == 0xDA) return i + 2 + len;
    i += 2 + len;
  }
  return 0;
}

// Offsets of the RST markers (the FF byte) in the entropy-coded data of the first scan.
inline std::vector<size_t> RestartMarkers(const Bytes& jpeg) {
  std::vector<size_t> out;
  for (size_t i = FirstScanData(jpeg); i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] != 0xFF) continue;
    const int m = jpeg[i + 1];
    if (m >= 0xD0 && m <= 0xD7) out.push_back(i);
    else if (m != 0x00) break;
  }
  return out;
}

// Offset of the SOF payload (precision byte), 0 when there is none.
inline size_t SofPayload(const Bytes& jpeg) {
  size_t i = 2;
  while (i + 4 <= jpeg.size() && jpeg[i] == 0xFF) {
    const int marker = jpeg[i + 1];
    const size_t len = (static_cast<size_t>(jpeg[i + 2]) << 8) | jpeg[i + 3];
    if (marker >= 0xC0 && marker <= 0xC2) return i + 4;
    i += 2 + len;
  }
  return 0;
}

}  // namespace vt::test

namespace vt::test {

// Expectation for one MCU when comparing a damaged decode with the intact reference.
enum class McuExpect { Match, Missing, Any };

// Compares block by block, grouping blocks by the MCU they belong to (interleaved scans).
template <class Fn>
::testing::AssertionResult CompareByMCU(const TkelBaseJpegParser& p, const RefCoefficients& ref, Fn expect) {
  if (!ref.Ok) return ::testing::AssertionFailure() << "libjpeg failed: " << ref.Error;
  const int mcusPerRow = p.MCUsPerRow;
  for (int c = 0; c < p.ComponentCount; ++c) {
    const RefComponent& rc = ref.Components[static_cast<size_t>(c)];
    const TkelMCUs* map = p.MCUs[c].get();
    const int h = p.ComponentCount == 1 ? 1 : rc.H, v = p.ComponentCount == 1 ? 1 : rc.V;
    for (int by = 0; by < rc.BlocksHigh; ++by)
      for (int bx = 0; bx < rc.BlocksWide; ++bx) {
        const int mcu = (by / v) * mcusPerRow + bx / h;
        const McuExpect e = expect(mcu);
        if (e == McuExpect::Any) continue;
        const TkelCoefBlock* b = map ? map->Block(bx, by) : nullptr;
        const bool decoded = b && b->Decoded;
        if (e == McuExpect::Missing) {
          if (decoded) return ::testing::AssertionFailure() << "MCU " << mcu << " decoded, expected missing";
          continue;
        }
        if (!decoded) return ::testing::AssertionFailure() << "MCU " << mcu << " (component " << c << ") missing";
        const int16_t* r = rc.Block(bx, by);
        for (int k = 0; k < 64; ++k)
          if (b->Coef[k] != r[k])
            return ::testing::AssertionFailure() << "MCU " << mcu << " component " << c << " coef " << k << ": "
                                                 << b->Coef[k] << " vs " << r[k];
      }
  }
  return ::testing::AssertionSuccess();
}

// Start of the entropy-coded data of interval k (0-based) and its end (the FF of its RST).
inline std::pair<size_t, size_t> IntervalBytes(const Bytes& jpeg, size_t k) {
  const std::vector<size_t> rst = RestartMarkers(jpeg);
  const size_t begin = k == 0 ? FirstScanData(jpeg) : rst.at(k - 1) + 2;
  return {begin, rst.at(k)};
}

// The index of bit (byte, bit) of the entropy-coded data among the data's bits with the stuffed
// bytes left out (byte values as the parser's Position counts them, a stuffed 00 standing for
// its FF); -1 when the byte is not in the data.
inline int64_t DataBitIndex(const Bytes& jpeg, int64_t atByte, int atBit) {
  const size_t begin = FirstScanData(jpeg), end = jpeg.size() - 2;
  int64_t bits = 0;
  for (size_t i = begin; i < end; ++i) {
    const bool stuffed = i > begin && jpeg[i - 1] == 0xFF && jpeg[i] == 0x00;
    if (static_cast<int64_t>(i) == atByte) return bits - (stuffed ? 8 : 0) + atBit;
    if (!stuffed) bits += 8;
  }
  return -1;
}

// Removes `removeCount` bits from the bit (byte, bit) of the entropy-coded data on (see
// DataBitIndex) and inserts the `count` low bits of `bits` there, keeping the stuffing valid.
// The file must hold one scan without restart markers, ending in EOI.
inline Bytes SpliceBits(const Bytes& jpeg, int64_t atByte, int atBit, int64_t removeCount, uint32_t bits, int count) {
  const size_t begin = FirstScanData(jpeg), end = jpeg.size() - 2;
  std::vector<int> stream;
  for (size_t i = begin; i < end; ++i) {
    if (i > begin && jpeg[i - 1] == 0xFF && jpeg[i] == 0x00) continue;
    for (int b = 7; b >= 0; --b) stream.push_back((jpeg[i] >> b) & 1);
  }
  const int64_t at = DataBitIndex(jpeg, atByte, atBit);
  EXPECT_GE(at, 0);
  if (at < 0) return jpeg;
  stream.erase(stream.begin() + at, stream.begin() + std::min<int64_t>(at + removeCount, static_cast<int64_t>(stream.size())));
  std::vector<int> extra;
  for (int b = count - 1; b >= 0; --b) extra.push_back((bits >> b) & 1);
  stream.insert(stream.begin() + at, extra.begin(), extra.end());
  while (stream.size() % 8) stream.push_back(1);
  Bytes out(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(begin));
  for (size_t i = 0; i < stream.size(); i += 8) {
    int v = 0;
    for (int b = 0; b < 8; ++b) v = (v << 1) | stream[i + static_cast<size_t>(b)];
    out.push_back(static_cast<uint8_t>(v));
    if (v == 0xFF) out.push_back(0);
  }
  out.push_back(0xFF);
  out.push_back(0xD9);
  return out;
}

inline Bytes InsertBits(const Bytes& jpeg, int64_t atByte, int atBit, uint32_t bits, int count) {
  return SpliceBits(jpeg, atByte, atBit, 0, bits, count);
}

// Overwrites bytes [begin, end) with all-one bits (FF 00 pairs): no Huffman code matches them.
inline void FillWithOnes(Bytes& jpeg, size_t begin, size_t end) {
  for (size_t i = begin; i < end; ++i) jpeg[i] = ((i - begin) % 2 == 0 && i + 1 < end) ? 0xFF : 0x00;
}

}  // namespace vt::test
