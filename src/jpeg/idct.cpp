#include "jpeg/idct.h"

#include <bit>
#include <cstring>
#include <initializer_list>

namespace vt {

namespace {

// ---------------------------------------------------------------- the arithmetic, 64-bit
//
// The reference form: one column or row at a time, 64-bit intermediates, with the two shortcuts.
// Used for blocks whose coefficients are too large for the 32-bit form below.

using i64 = int64_t;

// A product with a multiplier scaled by 512, divided by 512 toward zero.
inline i64 Mul(i64 a, int32_t k) { return (a * k) / 512; }

struct Butterfly {
  i64 r0, r1, r2, r3, r4, r5, r6, r7;
};

inline Butterfly Transform(i64 d0, i64 d1, i64 d2, i64 d3, i64 d4, i64 d5, i64 d6, i64 d7) {
  // Even part.
  const i64 a = d0 + d4;
  const i64 b = d0 - d4;
  const i64 z = Mul(d2 + d6, 277);
  const i64 c = z + Mul(d2, 392);
  const i64 d = z + Mul(d6, -946);
  // Odd part.
  const i64 z1 = Mul(d7 + d1, -461);
  const i64 z5 = Mul(d7 + d3 + d5 + d1, 602);
  const i64 z4 = z5 + Mul(d5 + d1, -200);
  const i64 z2 = Mul(d5 + d3, -1312);
  const i64 z3 = z5 + Mul(d7 + d3, -1004);
  const i64 t3 = Mul(d1, 769) + z1 + z4;
  const i64 t2 = Mul(d3, 1573) + z2 + z3;
  const i64 t1 = Mul(d5, 1051) + z2 + z4;
  const i64 t0 = Mul(d7, 153) + z1 + z3;
  return Butterfly{a + c + t3, b + d + t2, b - d + t1, a - c + t0,
                   a - c - t0, b - d - t1, b + d - t2, a + c - t3};
}

inline uint8_t Descale(i64 v) {
  const i64 s = v / 4096 + 128;
  return uint8_t(s < 0 ? 0 : (s > 255 ? 255 : s));
}

void InverseDctWide(const int16_t* coef, const int32_t* quant512, uint8_t* out, int stride) {
  i64 ws[64];
  for (int x = 0; x < 8; ++x) {
    const int16_t* c = coef + x;
    const int32_t* q = quant512 + x;
    if ((c[8] | c[16] | c[24] | c[32] | c[40] | c[48] | c[56]) == 0) {
      const i64 dc = i64(c[0]) * q[0];
      for (int y = 0; y < 8; ++y) ws[y * 8 + x] = dc;
      continue;
    }
    auto d = [&](int k) { return i64(c[k * 8]) * q[k * 8]; };
    const Butterfly r = Transform(d(0), d(1), d(2), d(3), d(4), d(5), d(6), d(7));
    const i64 res[8] = {r.r0, r.r1, r.r2, r.r3, r.r4, r.r5, r.r6, r.r7};
    for (int y = 0; y < 8; ++y) ws[y * 8 + x] = res[y];
  }
  for (int y = 0; y < 8; ++y, out += stride) {
    const i64* w = ws + y * 8;
    if ((w[1] | w[2] | w[3] | w[4] | w[5] | w[6] | w[7]) == 0) {
      std::memset(out, Descale(w[0]), 8);
      continue;
    }
    const Butterfly r = Transform(w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7]);
    const i64 res[8] = {r.r0, r.r1, r.r2, r.r3, r.r4, r.r5, r.r6, r.r7};
    for (int x = 0; x < 8; ++x) out[x] = Descale(res[x]);
  }
}

// ---------------------------------------------------------------- the same arithmetic, 8 lanes
//
// Eight columns (then eight rows) at once in 32-bit lanes. The shortcuts give the same results
// as the full butterfly, so the lanes skip them. Only the inputs d1, d2, d3, d5, d6, d7 are
// multiplied (d0 and d4 are only added), the largest factor on them being 2 x 1312, so the
// 32-bit form is exact while those inputs stay below kSafeInput in magnitude; the caller checks.

// GCC's vector extensions with target clones; other compilers take the 64-bit form below.
#if defined(__GNUC__) && !defined(__clang__)
// Not under ThreadSanitizer: the clones' resolver runs while the program is being loaded,
// before the sanitizer's runtime is ready, and its instrumented entry crashes there.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
#define VT_IDCT_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VT_IDCT_CLONES
#endif

// The lane vectors never cross a non-inlined call, so the ABI note about them does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

using v8i = int32_t __attribute__((vector_size(32)));
using v8s = int16_t __attribute__((vector_size(16)));

constexpr int32_t kSafeInput = 818000;  // 2624 * 818000 < 2^31

#define VT_INLINE inline __attribute__((always_inline))

VT_INLINE v8i Div512(const v8i& x) { return (x + ((x >> 31) & 511)) >> 9; }
VT_INLINE v8i MulV(const v8i& a, int32_t k) { return Div512(a * k); }
VT_INLINE v8i Abs(const v8i& x) { return x < 0 ? -x : x; }

VT_INLINE void TransformV(const v8i d[8], v8i r[8]) {
  const v8i a = d[0] + d[4];
  const v8i b = d[0] - d[4];
  const v8i z = MulV(d[2] + d[6], 277);
  const v8i c = z + MulV(d[2], 392);
  const v8i e = z + MulV(d[6], -946);
  const v8i z1 = MulV(d[7] + d[1], -461);
  const v8i z5 = MulV(d[7] + d[3] + d[5] + d[1], 602);
  const v8i z4 = z5 + MulV(d[5] + d[1], -200);
  const v8i z2 = MulV(d[5] + d[3], -1312);
  const v8i z3 = z5 + MulV(d[7] + d[3], -1004);
  const v8i t3 = MulV(d[1], 769) + z1 + z4;
  const v8i t2 = MulV(d[3], 1573) + z2 + z3;
  const v8i t1 = MulV(d[5], 1051) + z2 + z4;
  const v8i t0 = MulV(d[7], 153) + z1 + z3;
  r[0] = a + c + t3;
  r[1] = b + e + t2;
  r[2] = b - e + t1;
  r[3] = a - c + t0;
  r[4] = a - c - t0;
  r[5] = b - e - t1;
  r[6] = b + e - t2;
  r[7] = a + c - t3;
}

// Largest magnitude over the multiplied inputs 1, 2, 3, 5, 6, 7.
VT_INLINE v8i MultipliedMax(const v8i v[8]) {
  v8i m = Abs(v[1]);
  #pragma GCC unroll 8
  for (int k : {2, 3, 5, 6, 7}) {
    const v8i a = Abs(v[k]);
    m = m > a ? m : a;
  }
  return m;
}

VT_INLINE bool AllBelow(const v8i& m, int32_t limit) {
  int32_t worst = 0;
  #pragma GCC unroll 8
  for (int i = 0; i < 8; ++i) worst = m[i] > worst ? m[i] : worst;
  return worst < limit;
}

// 8 x 8 transpose in three rounds of interleaving (32-bit pairs, 64-bit pairs, halves).
VT_INLINE void Transpose(const v8i in[8], v8i out[8]) {
  v8i t[8], u[8];
  #pragma GCC unroll 8
  for (int i = 0; i < 8; i += 2) {
    t[i] = __builtin_shufflevector(in[i], in[i + 1], 0, 8, 1, 9, 4, 12, 5, 13);
    t[i + 1] = __builtin_shufflevector(in[i], in[i + 1], 2, 10, 3, 11, 6, 14, 7, 15);
  }
  #pragma GCC unroll 8
  for (int i = 0; i < 8; i += 4) {
    u[i] = __builtin_shufflevector(t[i], t[i + 2], 0, 1, 8, 9, 4, 5, 12, 13);
    u[i + 1] = __builtin_shufflevector(t[i], t[i + 2], 2, 3, 10, 11, 6, 7, 14, 15);
    u[i + 2] = __builtin_shufflevector(t[i + 1], t[i + 3], 0, 1, 8, 9, 4, 5, 12, 13);
    u[i + 3] = __builtin_shufflevector(t[i + 1], t[i + 3], 2, 3, 10, 11, 6, 7, 14, 15);
  }
  #pragma GCC unroll 8
  for (int i = 0; i < 4; ++i) {
    out[i] = __builtin_shufflevector(u[i], u[i + 4], 0, 1, 2, 3, 8, 9, 10, 11);
    out[i + 4] = __builtin_shufflevector(u[i], u[i + 4], 4, 5, 6, 7, 12, 13, 14, 15);
  }
}

// Returns false (and writes nothing) when the block needs the 64-bit form.
VT_IDCT_CLONES bool InverseDctLanes(const int16_t* coef, const int32_t* quant512, uint8_t* out,
                                    int stride) {
  using v8u = uint32_t __attribute__((vector_size(32)));
  v8i d[8], qs[8];
  v8u multiplied = {}, added = {};
  #pragma GCC unroll 8
  for (int k = 0; k < 8; ++k) {
    v8s c;
    std::memcpy(&c, coef + k * 8, sizeof c);
    v8i q;
    std::memcpy(&q, quant512 + k * 8, sizeof q);
    const v8i ci = __builtin_convertvector(c, v8i);
    // |c| * entry fits 32 unsigned bits for any 16-bit coefficient and table entry.
    const v8u product = (v8u)Abs(ci) * ((v8u)q >> 9);
    if (k == 0 || k == 4)
      added = added > product ? added : product;
    else
      multiplied = multiplied > product ? multiplied : product;
    d[k] = ci;
    qs[k] = q;
  }
  uint32_t worstMultiplied = 0, worstAdded = 0;
  #pragma GCC unroll 8
  for (int i = 0; i < 8; ++i) {
    worstMultiplied = multiplied[i] > worstMultiplied ? multiplied[i] : worstMultiplied;
    worstAdded = added[i] > worstAdded ? added[i] : worstAdded;
  }
  if (worstMultiplied >= uint32_t(kSafeInput / 512) || worstAdded >= (1u << 20)) return false;
  #pragma GCC unroll 8
  for (int k = 0; k < 8; ++k) d[k] *= qs[k];  // cannot overflow after the checks
  v8i w[8], t[8], r[8];
  TransformV(d, w);
  Transpose(w, t);
  if (!AllBelow(MultipliedMax(t), kSafeInput)) return false;
  const v8i a0 = Abs(t[0]), a4 = Abs(t[4]);
  if (!AllBelow(a0 > a4 ? a0 : a4, 1 << 29)) return false;
  TransformV(t, r);
  // r[x] holds output column x for rows 0..7 in its lanes: descale, then back to rows.
  #pragma GCC unroll 8
  for (int x = 0; x < 8; ++x) {
    v8i v = ((r[x] + ((r[x] >> 31) & 4095)) >> 12) + 128;
    v = v < 0 ? 0 : v;
    r[x] = v > 255 ? 255 : v;
  }
  Transpose(r, w);
  static_assert(std::endian::native == std::endian::little);
  // Each 32-bit lane holds 0..255: its low byte (byte 4i on little-endian machines) is the sample.
  using v32b = uint8_t __attribute__((vector_size(32)));
  using v8b = uint8_t __attribute__((vector_size(8)));
  #pragma GCC unroll 8
  for (int y = 0; y < 8; ++y, out += stride) {
    const v32b bytes = (v32b)w[y];
    const v8b row = __builtin_shufflevector(bytes, bytes, 0, 4, 8, 12, 16, 20, 24, 28);
    std::memcpy(out, &row, 8);
  }
  return true;
}

#else
bool InverseDctLanes(const int16_t*, const int32_t*, uint8_t*, int) { return false; }
#endif

}  // namespace

void InverseDct(const int16_t* coef, const int32_t* quant512, uint8_t* out, int stride) {
  // A block with only its DC coefficient (the commonest case) is flat.
  uint64_t any = 0;
  for (int i = 0; i < 16; ++i) {
    uint64_t word;
    std::memcpy(&word, coef + 4 * i, sizeof word);
    any |= i == 0 ? word & ~uint64_t(0xFFFF) : word;  // the DC coefficient is the low 16 bits
  }
  if (any == 0) {
    const uint8_t v = Descale(i64(coef[0]) * quant512[0]);
    for (int y = 0; y < 8; ++y, out += stride) std::memset(out, v, 8);
    return;
  }
  if (!InverseDctLanes(coef, quant512, out, stride)) InverseDctWide(coef, quant512, out, stride);
}

}  // namespace vt
