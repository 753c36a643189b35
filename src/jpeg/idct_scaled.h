// Inverse DCT of one 8x8 block straight to a reduced size: (8 >> shiftY) rows of (8 >> shiftX)
// samples, each the average of the 2^shiftX x 2^shiftY samples that the full transform would
// give for its cell (the idea of the IJG library's reduced-size transforms, which replace each
// 8-point step by one that yields averages of adjacent outputs). The two directions reduce
// separately, so a subsampled component is reduced less than the luma and needs no replication.
// The factors are the exact averages of the cosine basis over each cell in 13-bit fixed point,
// applied as a pass over the non-zero coefficient rows and a pass over the cells, both in exact
// 64-bit integers, so a reduced block costs a fraction of a full one. Frequencies that average
// out over a cell are skipped, and mirrored cells come from one sum and one difference.
//
// A block with only its DC coefficient gives exactly the full transform's flat value, so flat
// areas look the same at every scale.
#pragma once

#include <cstdint>

namespace vt {

// Reductions 1/2^shift, shift 0..3; 0 in both directions is the full transform (idct.h).
constexpr int kMaxScaleShift = 3;

// coef: 64 quantised coefficients in natural order; quant512: the table entries multiplied by
// 512, natural order. Writes 8 >> shiftY rows of 8 >> shiftX samples (0..255) with stride.
void InverseDctScaled(const int16_t* coef, const int32_t* quant512, int shiftX, int shiftY, uint8_t* out,
                      int stride);

}  // namespace vt
