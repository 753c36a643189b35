// Inverse DCT of one 8x8 block: the separable Loeffler-Ligtenberg-Moschytz factorisation of the
// IJG accurate integer method, with its multipliers scaled by 512 instead of 8192. Every product
// is divided by 512 at once and every division truncates toward zero; the column results are
// kept undescaled and the row results are divided by 4096. Intermediates are 64-bit, so extreme
// coefficients (hard edges at quality 100, or damaged data) never overflow.
#pragma once

#include <cstdint>

namespace vt {

// coef: 64 quantised coefficients in natural order; quant512: the quantisation table entries
// multiplied by 512, natural order. Writes 8 rows of 8 samples (0..255) with the given stride.
void InverseDct(const int16_t* coef, const int32_t* quant512, uint8_t* out, int stride);

}  // namespace vt
