#include "jpeg/huffman_encode.h"

#include <bit>
#include <cstring>

namespace vt {

bool BuildEncodeTable(const uint8_t counts[16], const uint8_t* values, int valueCount,
                      TkelHuffmanEncodeTable& table) {
  table = TkelHuffmanEncodeTable{};
  int total = 0;
  for (int i = 0; i < 16; ++i) total += counts[i];
  if (total > 256 || total > valueCount) return false;
  uint32_t code = 0;
  int index = 0;
  for (int length = 1; length <= 16; ++length) {
    const int n = counts[length - 1];
    if (code + n > (1u << length)) {
      table = TkelHuffmanEncodeTable{};
      return false;
    }
    for (int i = 0; i < n; ++i, ++index, ++code) {
      const uint8_t v = values[index];
      table.CodeLength[v] = static_cast<uint8_t>(length);
      table.Code[v] = static_cast<uint16_t>(code);
    }
    code <<= 1;
  }
  std::memcpy(table.Counts, counts, 16);
  std::memcpy(table.Values, values, static_cast<size_t>(total));
  table.ValueCount = total;
  return true;
}

void BuildEncodeTable(const TStdHuffmanTable& source, TkelHuffmanEncodeTable& table) {
  BuildEncodeTable(source.Counts, source.Values, source.ValueCount, table);
}

namespace {

inline int32_t Clamp(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

// Code for symbol followed by `size` bits of value (value - 1 when negative).
inline void PutSymbol(TkelBitWriter& out, const TkelHuffmanEncodeTable& t, int symbol, int32_t value,
                      int size) {
  const int len = t.CodeLength[symbol];
  // value - 1 when negative, without a branch (the signs of coefficients are unpredictable).
  const uint32_t extra = static_cast<uint32_t>(value + (value >> 31)) & ((1u << size) - 1);
  out.PutBits((static_cast<uint32_t>(t.Code[symbol]) << size) | extra, len + size);
}

}  // namespace

void EncodeBlock(TkelBitWriter& out, const TkelHuffmanEncodeTable& dc, const TkelHuffmanEncodeTable& ac,
                 const int16_t* block, int32_t& predictor) {
  const int32_t dcValue = Clamp(block[0], -1024, 1023);
  const int32_t diff = dcValue - predictor;
  predictor = dcValue;
  PutSymbol(out, dc, BitSize(diff), diff, BitSize(diff));

  // Coefficients in zig-zag order with a mask of the non-zero ones, so that runs of zeros are
  // found by counting bits instead of testing each coefficient.
  int16_t zz[64];
  uint64_t nonZero = 0;
  for (int k = 1; k < 64; ++k) {
    zz[k] = block[kZigZag[k]];
    nonZero |= static_cast<uint64_t>(zz[k] != 0) << k;
  }
  int last = 0;  // position of the previous non-zero coefficient
  while (nonZero != 0) {
    const int k = std::countr_zero(nonZero);
    nonZero &= nonZero - 1;
    int run = k - last - 1;
    last = k;
    while (run >= 16) {
      PutSymbol(out, ac, 0xF0, 0, 0);
      run -= 16;
    }
    const int32_t v = Clamp(zz[k], -1023, 1023);
    const int size = BitSize(v);
    PutSymbol(out, ac, (run << 4) | size, v, size);
  }
  if (last < 63) PutSymbol(out, ac, 0x00, 0, 0);
}

}  // namespace vt
