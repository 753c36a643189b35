// Forward DCT and quantisation of the baseline writer.
#pragma once

#include <cstdint>

namespace vt {

// The integer forward DCT of the IJG library (multipliers scaled by 8192), rows first, then
// columns. Input: 64 samples 0..255 in natural order; the level shift (-128) is folded into the
// first pass. Output: 8 times the DCT, natural order. All divisions truncate toward zero.
void ForwardDct(const int16_t* samples, int32_t* out);

// Quantises 64 coefficients by divisors d (natural order; d = table entry x 8): with h = d div 2,
// v >= 0 gives (v + h) div d and v < 0 gives -((h - v) div d). A divisor of 0 (an undefined or
// invalid table) is treated as 8, i.e. a table entry of 1.
void QuantizeBlock(const int32_t* coefficients, const int32_t* divisors, int16_t* out);

}  // namespace vt
