#include "jpeg/fdct.h"

namespace vt {

namespace {

constexpr int32_t kFix0298631336 = 2446;
constexpr int32_t kFix0390180644 = 3196;
constexpr int32_t kFix0541196100 = 4433;
constexpr int32_t kFix0765366865 = 6270;
constexpr int32_t kFix0899976223 = 7373;
constexpr int32_t kFix1175875602 = 9633;
constexpr int32_t kFix1501321110 = 12299;
constexpr int32_t kFix1847759065 = 15137;
constexpr int32_t kFix1961570560 = 16069;
constexpr int32_t kFix2053119869 = 16819;
constexpr int32_t kFix2562915447 = 20995;
constexpr int32_t kFix3072711026 = 25172;

// One 8-point butterfly over in[0], in[step], ..., in[7 * step]. shift is the level shift
// subtracted from each sum of a sample pair (256 in the first pass, 0 in the second);
// dcMul/dcDiv scale the outputs 0 and 4, otherDiv the rest.
inline void Butterfly(const int32_t* in, int32_t* out, int step, int32_t shift, int32_t dcMul,
                      int32_t dcDiv, int32_t otherDiv) {
  const int32_t tmp0 = in[0] + in[7 * step] - shift;
  const int32_t tmp7 = in[0] - in[7 * step];
  const int32_t tmp1 = in[step] + in[6 * step] - shift;
  const int32_t tmp6 = in[step] - in[6 * step];
  const int32_t tmp2 = in[2 * step] + in[5 * step] - shift;
  const int32_t tmp5 = in[2 * step] - in[5 * step];
  const int32_t tmp3 = in[3 * step] + in[4 * step] - shift;
  const int32_t tmp4 = in[3 * step] - in[4 * step];

  const int32_t tmp10 = tmp0 + tmp3;
  const int32_t tmp13 = tmp0 - tmp3;
  const int32_t tmp11 = tmp1 + tmp2;
  const int32_t tmp12 = tmp1 - tmp2;

  out[0] = (tmp10 + tmp11) * dcMul / dcDiv;
  out[4 * step] = (tmp10 - tmp11) * dcMul / dcDiv;

  const int32_t e = (tmp12 + tmp13) * kFix0541196100;
  out[2 * step] = (e + tmp13 * kFix0765366865) / otherDiv;
  out[6 * step] = (e - tmp12 * kFix1847759065) / otherDiv;

  int32_t z1 = tmp4 + tmp7;
  int32_t z2 = tmp5 + tmp6;
  int32_t z3 = tmp4 + tmp6;
  int32_t z4 = tmp5 + tmp7;
  const int32_t z5 = (z3 + z4) * kFix1175875602;

  const int32_t o4 = tmp4 * kFix0298631336;
  const int32_t o5 = tmp5 * kFix2053119869;
  const int32_t o6 = tmp6 * kFix3072711026;
  const int32_t o7 = tmp7 * kFix1501321110;
  z1 *= -kFix0899976223;
  z2 *= -kFix2562915447;
  z3 = z3 * -kFix1961570560 + z5;
  z4 = z4 * -kFix0390180644 + z5;

  out[7 * step] = (o4 + z1 + z3) / otherDiv;
  out[5 * step] = (o5 + z2 + z4) / otherDiv;
  out[3 * step] = (o6 + z2 + z3) / otherDiv;
  out[1 * step] = (o7 + z1 + z4) / otherDiv;
}

}  // namespace

void ForwardDct(const int16_t* samples, int32_t* out) {
  int32_t work[64];
  int32_t row[8];
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) row[x] = samples[y * 8 + x];
    Butterfly(row, work + y * 8, 1, 256, 4, 1, 2048);
  }
  for (int x = 0; x < 8; ++x) Butterfly(work + x, out + x, 8, 0, 1, 4, 32768);
}

void QuantizeBlock(const int32_t* coefficients, const int32_t* divisors, int16_t* out) {
  for (int i = 0; i < 64; ++i) {
    const int32_t d = divisors[i] > 0 ? divisors[i] : 8;
    const int32_t h = d / 2;
    const int32_t v = coefficients[i];
    const int32_t q = v >= 0 ? (v + h) / d : -((h - v) / d);
    out[i] = static_cast<int16_t>(q);
  }
}

}  // namespace vt
