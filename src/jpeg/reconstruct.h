// Reconstruction of one component: inverse DCT of every block and replication of subsampled
// samples into the full-resolution plane, with the component's share of the presence map.
#pragma once

#include <cstdint>

#include "jpeg/jpeg_map.h"

namespace vt {

// Writes the 8x8 samples of one block to an hf x vf rectangle per sample of the plane, starting
// at plane pixel (x0, y0). The caller guarantees that the block fits.
void ReplicateBlock(const uint8_t* samples, int32_t hf, int32_t vf, TkelComponentData& plane,
                    int32_t x0, int32_t y0);

// Reconstructs block rows [0, blockRows) of the component's coefficient map into its plane.
// quant512: the component's quantisation entries multiplied by 512, natural order. A block row
// the data never reached reads as all-zero coefficients. Decoded blocks mark their areas present.
void ReconstructPlane(const TkelMCUs& mcus, const int32_t* quant512, int32_t blockRows,
                      TkelComponentData& plane, TkelAlphaComponentData& presence);

// Where a band reads one component's blocks: the map itself, or, while the decoder still writes
// later rows, the chunk tables of finished rows captured on the decoding thread (RowTables, one
// per block row; then the map's row count, which the decoder changes, is never read).
struct TkelBlockSource {
  const TkelMCUs* Map = nullptr;
  uint8_t* const* const* RowTables = nullptr;

  const TkelCoefBlock* Block(int32_t col, int32_t row) const {
    if (!RowTables) return Map->Block(col, row);
    return reinterpret_cast<const TkelCoefBlock*>(Map->CellOfRowChunks(RowTables[row], col));
  }
  bool RowPresent(int32_t row) const {
    return RowTables ? Map->RowChunksPresent(RowTables[row]) : Map->RowPresent(row);
  }
};

// The same for block rows [firstBlockRow, endBlockRow) into a band: plane row 0 and presence row
// 0 are image row planeFirstRow (a multiple of 8) and the area row below it. Only block rows that
// fit the band entirely are written. With samples false only the presence is marked (a component
// whose samples the conversion does not read still shows where data was decoded).
void ReconstructPlaneRows(const TkelBlockSource& blocks, const int32_t* quant512, int32_t firstBlockRow,
                          int32_t endBlockRow, int32_t planeFirstRow, TkelComponentData& plane,
                          TkelAlphaComponentData& presence, bool samples = true);

}  // namespace vt
