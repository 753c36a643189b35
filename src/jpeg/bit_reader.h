// The bit reader of the entropy decoder, inline for the hot path.
//
// Bytes are loaded ahead into a 64-bit accumulator (stuffed FF 00 pairs become one FF). A
// marker or the end of the data met while loading is held as "pending" and reported only
// when the decoding really needs bits beyond it, exactly where a byte-at-a-time reader
// would meet it. Whole bytes loaded but not used are given back (ReturnLookahead), so
// Position always ends where the byte-at-a-time reader would have left it.
#pragma once

#include <cstring>

#include "jpeg/parser.h"

#if defined(__GNUC__)
#define VT_HOT_INLINE __attribute__((always_inline)) inline
#else
#define VT_HOT_INLINE inline
#endif

namespace vt {

VT_HOT_INLINE void TkelBaseJpegParser::FillFast() {
  if (pendingCode_ >= 0 || bufEnd_ - bufCur_ < 8 || Position + 8 > readLimit_) return;
  if (accBits_ <= 56) {
    // Eight bytes at once when none of them is FF (the usual case).
    uint64_t w;
    std::memcpy(&w, bufCur_, 8);
    w = __builtin_bswap64(w);
    const uint64_t inv = ~w;  // FF bytes become 00
    if (((inv - 0x0101010101010101ull) & ~inv & 0x8080808080808080ull) == 0) {
      const int n = (64 - accBits_) >> 3;
      acc_ |= (n == 8 ? w : (w & (~uint64_t{0} << (64 - 8 * n)))) >> accBits_;
      accBits_ += 8 * n;
      stuffedMask_ <<= n;
      bufCur_ += n;
      Position += n;
      return;
    }
  }
  const uint8_t* p = bufCur_;
  while (accBits_ <= 56 && *p != 0xFF) {
    acc_ |= static_cast<uint64_t>(*p++) << (56 - accBits_);
    accBits_ += 8;
    stuffedMask_ <<= 1;
  }
  Position += p - bufCur_;
  bufCur_ = p;
}

VT_HOT_INLINE int TkelBaseJpegParser::ReadBits(int n, int& value) {
  if (n == 0) {
    value = 0;
    return jrOK;
  }
  if (accBits_ < n) {
    FillFast();
    if (accBits_ < n) {
      FillBits();
      if (accBits_ < n) return ReachPending();
    }
  }
  value = static_cast<int>(acc_ >> (64 - n));
  acc_ <<= n;
  accBits_ -= n;
  return jrOK;
}

// Decodes one Huffman symbol. The lookup gives the same symbol and consumes the same bits as
// the rule "read MinLength bits, then one bit at a time while the code is above the largest
// code of its length, failing after length 16"; with fewer than 17 bits before a marker or
// the end, the bit-by-bit rule itself runs so that errors come out the same.
VT_HOT_INLINE int TkelBaseJpegParser::HuffDecode(const TkelHuffmanTable& t, int& symbol) {
  if (accBits_ < 17) {
    FillFast();
    if (accBits_ < 17) {
      FillBits();
      if (accBits_ < 17) return HuffDecodeSlow(t, symbol);
    }
  }
  const unsigned idx = static_cast<unsigned>(acc_ >> (64 - kHuffLookupBits));
  const int len = t.LookupLength[idx];
  if (len != 0) {
    symbol = t.LookupValue[idx];
    acc_ <<= len;
    accBits_ -= len;
    return jrOK;
  }
  const uint32_t bits = static_cast<uint32_t>(acc_ >> 47);  // the next 17 bits
  for (int l = kHuffLookupBits + 1; l <= 16; ++l) {
    if (t.Counts[l] == 0) continue;
    const int32_t code = static_cast<int32_t>(bits >> (17 - l));
    if (code <= t.MaxCode[l]) {
      symbol = t.Values[(t.ValIndex[l] + code - t.MinCode[l]) & 0xFF];
      acc_ <<= l;
      accBits_ -= l;
      return jrOK;
    }
  }
  // No code of 16 bits matched: the rule reads a 17th bit before failing.
  acc_ <<= 17;
  accBits_ -= 17;
  return jrBadData;
}

// Receives an s-bit value and extends its sign.
VT_HOT_INLINE int TkelBaseJpegParser::Receive(int s, int& value) {
  const int r = ReadBits(s, value);
  if (r != jrOK) return r;
  if (s > 0 && (value >> (s - 1)) == 0) value = value - (1 << s) + 1;
  return jrOK;
}

}  // namespace vt
