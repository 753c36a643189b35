// Huffman tables: deriving the code ranges and the lookup, and the bit-by-bit decoding rule
// used near markers and the end of the data.
#include "jpeg/bit_reader.h"

namespace vt {

bool BuildHuffmanTable(TkelHuffmanTable& t) {
  int32_t code = 0;
  int32_t valueIndex = 0;
  for (int l = 1; l <= 16; ++l) {
    if (t.Counts[l] > (1 << l)) return false;
    for (int i = 0; i < t.Counts[l]; ++i) {
      if (valueIndex >= 256) return false;
      if (i == 0) {
        t.MinCode[l] = code;
        t.ValIndex[l] = valueIndex;
      }
      t.MaxCode[l] = code;
      ++code;
      ++valueIndex;
    }
    code <<= 1;
  }
  if (valueIndex == 0) return false;
  // The lookup: the bit-by-bit rule run on every kHuffLookupBits-bit prefix.
  for (unsigned idx = 0; idx < (1u << kHuffLookupBits); ++idx) {
    t.LookupLength[idx] = 0;
    t.LookupValue[idx] = 0;
    for (int l = t.MinLength; l <= kHuffLookupBits; ++l) {
      if (t.Counts[l] == 0) continue;
      const int32_t c = static_cast<int32_t>(idx >> (kHuffLookupBits - l));
      if (c <= t.MaxCode[l]) {
        t.LookupLength[idx] = static_cast<uint8_t>(l);
        t.LookupValue[idx] = t.Values[(t.ValIndex[l] + c - t.MinCode[l]) & 0xFF];
        break;
      }
    }
  }
  for (unsigned idx = 0; idx < (1u << kHuffLookupBits); ++idx) {
    t.LookupAc[idx] = 0;
    const int l = t.LookupLength[idx];
    const int rs = t.LookupValue[idx];
    const int size = rs & 15;
    if (l == 0 || size == 0 || l + size > kHuffLookupBits) continue;
    int v = static_cast<int>((idx >> (kHuffLookupBits - l - size)) & ((1u << size) - 1));
    if ((v >> (size - 1)) == 0) v = v - (1 << size) + 1;
    t.LookupAc[idx] = static_cast<int32_t>(static_cast<uint32_t>(v) << 16) | ((rs >> 4) << 8) | (l + size);
  }
  t.Built = 1;
  return true;
}

int TkelBaseJpegParser::HuffDecodeSlow(const TkelHuffmanTable& t, int& symbol) {
  int l = t.MinLength;
  int code = 0;
  int r = ReadBits(l, code);
  if (r != jrOK) return r;
  while (t.Counts[l] == 0 || code > t.MaxCode[l]) {
    int bit = 0;
    r = ReadBits(1, bit);
    if (r != jrOK) return r;
    if (l == 16) return jrBadData;
    code = (code << 1) | bit;
    ++l;
  }
  symbol = t.Values[(t.ValIndex[l] + code - t.MinCode[l]) & 0xFF];
  return jrOK;
}

}  // namespace vt
