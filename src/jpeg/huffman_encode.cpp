#include "jpeg/huffman_encode.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
      table.Packed[v] = code << 8 | static_cast<uint32_t>(length);
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
  const uint32_t packed = t.Packed[symbol];
  // value - 1 when negative, without a branch (the signs of coefficients are unpredictable).
  const uint32_t extra = static_cast<uint32_t>(value + (value >> 31)) & ((1u << size) - 1);
  out.PutCode((packed >> 8 << size) | extra, static_cast<int>(packed & 0xFF) + size);
}

// Number of bits of |v| for v != 0.
inline int NonZeroBitSize(int32_t v) {
  const int32_t sign = v >> 31;
  return 32 - __builtin_clz(static_cast<uint32_t>((v ^ sign) - sign));
}

// The zig-zag position of each natural-order index.
struct TZigZagPositions {
  uint8_t Of[64];
  TZigZagPositions() {
    for (int k = 0; k < 64; ++k) Of[kZigZag[k]] = static_cast<uint8_t>(k);
  }
};
const TZigZagPositions kPositions;

// Bit i set when block[i] (natural order) is not zero; inRange: every value within -1023..1023.
inline uint64_t NonZeroNatural(const int16_t* block, bool& inRange) {
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i high = _mm_set1_epi16(1023), low = _mm_set1_epi16(-1023);
  __m128i outside = zero;
  uint64_t zeros = 0;
  for (int row = 0; row < 8; row += 2) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + row * 8));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + row * 8 + 8));
    outside = _mm_or_si128(outside, _mm_or_si128(_mm_cmpgt_epi16(a, high), _mm_cmplt_epi16(a, low)));
    outside = _mm_or_si128(outside, _mm_or_si128(_mm_cmpgt_epi16(b, high), _mm_cmplt_epi16(b, low)));
    const __m128i za = _mm_cmpeq_epi16(a, zero), zb = _mm_cmpeq_epi16(b, zero);
    zeros |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(za, zb)))) << (row * 8);
  }
  inRange = _mm_movemask_epi8(outside) == 0;
  return ~zeros;
#else
  uint64_t mask = 0;
  inRange = true;
  for (int i = 0; i < 64; ++i) {
    mask |= static_cast<uint64_t>(block[i] != 0) << i;
    inRange = inRange && block[i] >= -1023 && block[i] <= 1023;
  }
  return mask;
#endif
}

// The AC coefficients of a block given as a zig-zag mask of the non-zero ones. Clamping only
// when some value lies outside what the tables code (damaged or non-8-bit data).
template <bool kClamp>
inline void EncodeAc(TkelBitWriter& out, const TkelHuffmanEncodeTable& ac, const int16_t* block, uint64_t nonZero) {
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
    const int32_t v = kClamp ? Clamp(block[kZigZag[k]], -1023, 1023) : block[kZigZag[k]];
    const int size = NonZeroBitSize(v);
    PutSymbol(out, ac, (run << 4) | size, v, size);
  }
  if (last < 63) PutSymbol(out, ac, 0x00, 0, 0);
}

}  // namespace

void EncodeBlock(TkelBitWriter& out, const TkelHuffmanEncodeTable& dc, const TkelHuffmanEncodeTable& ac,
                 const int16_t* block, int32_t& predictor) {
  const int32_t dcValue = Clamp(block[0], -1024, 1023);
  const int32_t diff = dcValue - predictor;
  predictor = dcValue;
  PutSymbol(out, dc, BitSize(diff), diff, BitSize(diff));

  // The non-zero AC coefficients as a mask in zig-zag order, so that runs of zeros are found by
  // counting bits: built from a natural-order mask one set bit at a time (a photo's block has
  // few non-zero coefficients).
  bool inRange = true;
  uint64_t natural = NonZeroNatural(block, inRange) & ~uint64_t{1};
  uint64_t nonZero = 0;
  while (natural != 0) {
    nonZero |= uint64_t{1} << kPositions.Of[std::countr_zero(natural)];
    natural &= natural - 1;
  }
  if (inRange)
    EncodeAc<false>(out, ac, block, nonZero);
  else
    EncodeAc<true>(out, ac, block, nonZero);
}

}  // namespace vt
