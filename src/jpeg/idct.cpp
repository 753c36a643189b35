#include "jpeg/idct.h"

namespace vt {

namespace {

using u32 = uint32_t;

// A product with a multiplier scaled by 512, divided by 512 toward zero. The product wraps like
// the 32-bit machine arithmetic it describes.
inline int32_t Mul(u32 a, int32_t k) { return int32_t(a * u32(k)) / 512; }

// The butterfly shared by both passes: d[0..7] in, r[0..7] out (undescaled), wrapping sums.
struct Butterfly {
  u32 r0, r1, r2, r3, r4, r5, r6, r7;
};

inline Butterfly Transform(u32 d0, u32 d1, u32 d2, u32 d3, u32 d4, u32 d5, u32 d6, u32 d7) {
  // Even part.
  const u32 a = d0 + d4;
  const u32 b = d0 - d4;
  const u32 z = u32(Mul(d2 + d6, 277));
  const u32 c = z + u32(Mul(d2, 392));
  const u32 d = z + u32(Mul(d6, -946));
  // Odd part.
  const u32 z1 = u32(Mul(d7 + d1, -461));
  const u32 z5 = u32(Mul(d7 + d3 + d5 + d1, 602));
  const u32 z4 = z5 + u32(Mul(d5 + d1, -200));
  const u32 z2 = u32(Mul(d5 + d3, -1312));
  const u32 z3 = z5 + u32(Mul(d7 + d3, -1004));
  const u32 t3 = u32(Mul(d1, 769)) + z1 + z4;
  const u32 t2 = u32(Mul(d3, 1573)) + z2 + z3;
  const u32 t1 = u32(Mul(d5, 1051)) + z2 + z4;
  const u32 t0 = u32(Mul(d7, 153)) + z1 + z3;
  return Butterfly{a + c + t3, b + d + t2, b - d + t1, a - c + t0,
                   a - c - t0, b - d - t1, b + d - t2, a + c - t3};
}

inline uint8_t Descale(u32 v) {
  const int32_t s = int32_t(v) / 4096 + 128;
  return uint8_t(s < 0 ? 0 : (s > 255 ? 255 : s));
}

}  // namespace

void InverseDct(const int16_t* coef, const int32_t* quant512, uint8_t* out, int stride) {
  u32 ws[64];
  for (int x = 0; x < 8; ++x) {
    const int16_t* c = coef + x;
    const int32_t* q = quant512 + x;
    if ((c[8] | c[16] | c[24] | c[32] | c[40] | c[48] | c[56]) == 0) {
      const u32 dc = u32(int32_t(c[0])) * u32(q[0]);
      for (int y = 0; y < 8; ++y) ws[y * 8 + x] = dc;
      continue;
    }
    auto d = [&](int k) { return u32(int32_t(c[k * 8])) * u32(q[k * 8]); };
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
    const u32* w = ws + y * 8;
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
