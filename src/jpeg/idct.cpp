#include "jpeg/idct.h"

namespace vt {

namespace {

// Intermediates are 64-bit: with 32 bits the products overflow for extreme but valid blocks
// (hard edges at quality 100 give dequantised coefficients near 2000), and the results are the
// same as 32-bit arithmetic wherever that does not overflow.
using i64 = int64_t;

// A product with a multiplier scaled by 512, divided by 512 toward zero.
inline int64_t Mul(int64_t a, int32_t k) { return (a * k) / 512; }

// The butterfly shared by both passes: d[0..7] in, r[0..7] out (undescaled), wrapping sums.
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

inline uint8_t Descale(int64_t v) {
  const int64_t s = v / 4096 + 128;
  return uint8_t(s < 0 ? 0 : (s > 255 ? 255 : s));
}

}  // namespace

void InverseDct(const int16_t* coef, const int32_t* quant512, uint8_t* out, int stride) {
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
    ws[0 * 8 + x] = r.r0;
    ws[1 * 8 + x] = r.r1;
    ws[2 * 8 + x] = r.r2;
    ws[3 * 8 + x] = r.r3;
    ws[4 * 8 + x] = r.r4;
    ws[5 * 8 + x] = r.r5;
    ws[6 * 8 + x] = r.r6;
    ws[7 * 8 + x] = r.r7;
  }
  for (int y = 0; y < 8; ++y, out += stride) {
    const i64* w = ws + y * 8;
    if ((w[1] | w[2] | w[3] | w[4] | w[5] | w[6] | w[7]) == 0) {
      const uint8_t v = Descale(w[0]);
      for (int x = 0; x < 8; ++x) out[x] = v;
      continue;
    }
    const Butterfly r = Transform(w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7]);
    out[0] = Descale(r.r0);
    out[1] = Descale(r.r1);
    out[2] = Descale(r.r2);
    out[3] = Descale(r.r3);
    out[4] = Descale(r.r4);
    out[5] = Descale(r.r5);
    out[6] = Descale(r.r6);
    out[7] = Descale(r.r7);
  }
}

}  // namespace vt
