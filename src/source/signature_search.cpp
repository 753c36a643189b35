#include "source/signature_search.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "jpeg/markers.h"

namespace vt {

namespace {

// Whether the pattern at i (data[i] is FF) is one of the two, lying whole inside data[0, got).
inline bool IsSignature(const uint8_t* data, int64_t i, int64_t got) {
  if (i + 1 >= got) return false;
  const uint8_t next = data[i + 1];
  return next == mkSOS || IsStartOfImage(data + i, got - i);
}

}  // namespace

void FindSignatures(const uint8_t* data, int64_t starts, int64_t got, std::vector<uint32_t>& out) {
  // A found pattern's second byte is no FF, so every FF can be looked at on its own.
  int64_t i = 0;
#if defined(__SSE2__)
  // 64 bytes at a time: most blocks of random data and all of zeros hold no FF at all, and
  // looking at each FF of a block costs less than a memchr call for each (random data holds
  // one every 256 bytes).
  const __m128i ff = _mm_set1_epi8(static_cast<char>(0xFF));
  for (; i + 64 <= starts; i += 64) {
    const __m128i a = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i)), ff);
    const __m128i b = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 16)), ff);
    const __m128i c = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 32)), ff);
    const __m128i d = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 48)), ff);
    if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d))) == 0) continue;
    uint64_t mask = uint64_t(uint32_t(_mm_movemask_epi8(a))) | uint64_t(uint32_t(_mm_movemask_epi8(b))) << 16 |
                    uint64_t(uint32_t(_mm_movemask_epi8(c))) << 32 | uint64_t(uint32_t(_mm_movemask_epi8(d))) << 48;
    while (mask != 0) {
      const int64_t at = i + __builtin_ctzll(mask);
      mask &= mask - 1;
      if (IsSignature(data, at, got)) out.push_back(static_cast<uint32_t>(at));
    }
  }
#endif
  while (i < starts) {
    const void* ff = std::memchr(data + i, 0xFF, static_cast<size_t>(starts - i));
    if (!ff) return;
    i = static_cast<const uint8_t*>(ff) - data;
    if (IsSignature(data, i, got)) out.push_back(static_cast<uint32_t>(i));
    ++i;
  }
}

}  // namespace vt
