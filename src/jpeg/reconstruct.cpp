#include "jpeg/reconstruct.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "jpeg/idct.h"
#include "jpeg/presence.h"

// The 16- and 32-byte row vectors stay inside these inline helpers.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace vt {

namespace {

using v8b = uint8_t __attribute__((vector_size(8)));
using v8s = int16_t __attribute__((vector_size(16)));
using v16s = int16_t __attribute__((vector_size(32)));

// One row of 8 samples widened to 16 bits.
inline v8s Widen(const uint8_t* s) {
  v8b b;
  std::memcpy(&b, s, 8);
  return __builtin_convertvector(b, v8s);
}

// The same row with every sample twice.
inline v16s WidenDoubled(const uint8_t* s) {
  const v8s w = Widen(s);
  return __builtin_shufflevector(w, w, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7);
}

}  // namespace

namespace {

// Writes one block's samples to an hf x vf rectangle per sample, starting at column x0 of the
// 8 * vf plane rows given.
void ReplicateInto(const uint8_t* samples, int32_t hf, int32_t vf, int16_t* const* rows, int32_t x0) {
  if (hf == 1 && vf == 1) {
    for (int y = 0; y < 8; ++y) {
      const v8s row = Widen(samples + y * 8);
      std::memcpy(rows[y] + x0, &row, sizeof row);
    }
  } else if (hf == 2 && vf == 1) {
    for (int y = 0; y < 8; ++y) {
      const v16s row = WidenDoubled(samples + y * 8);
      std::memcpy(rows[y] + x0, &row, sizeof row);
    }
  } else if (hf == 1 && vf == 2) {
    for (int y = 0; y < 8; ++y) {
      const v8s row = Widen(samples + y * 8);
      std::memcpy(rows[2 * y] + x0, &row, sizeof row);
      std::memcpy(rows[2 * y + 1] + x0, &row, sizeof row);
    }
  } else if (hf == 2 && vf == 2) {
    for (int y = 0; y < 8; ++y) {
      const v16s row = WidenDoubled(samples + y * 8);
      std::memcpy(rows[2 * y] + x0, &row, sizeof row);
      std::memcpy(rows[2 * y + 1] + x0, &row, sizeof row);
    }
  } else {
    for (int y = 0; y < 8; ++y) {
      const uint8_t* s = samples + y * 8;
      for (int32_t r = 0; r < vf; ++r) {
        int16_t* d = rows[y * vf + r] + x0;
        for (int x = 0; x < 8; ++x) std::fill(d + x * hf, d + (x + 1) * hf, int16_t(s[x]));
      }
    }
  }
}

}  // namespace

void ReplicateBlock(const uint8_t* samples, int32_t hf, int32_t vf, TkelComponentData& plane,
                    int32_t x0, int32_t y0) {
  std::vector<int16_t*> rows(static_cast<size_t>(8 * vf));
  for (int32_t r = 0; r < 8 * vf; ++r) rows[size_t(r)] = plane.Samples(y0 + r);
  ReplicateInto(samples, hf, vf, rows.data(), x0);
}

void ReconstructPlane(const TkelMCUs& mcus, const int32_t* quant512, int32_t blockRows,
                      TkelComponentData& plane, TkelAlphaComponentData& presence) {
  ReconstructPlaneRows(TkelBlockSource{&mcus}, quant512, 0, blockRows, 0, plane, presence);
}

void ReconstructPlaneRows(const TkelBlockSource& blocks, const int32_t* quant512, int32_t firstBlockRow,
                          int32_t endBlockRow, int32_t planeFirstRow, TkelComponentData& plane,
                          TkelAlphaComponentData& presence, bool samples) {
  const TkelMCUs& mcus = *blocks.Map;
  const int32_t hf = std::max(mcus.UpsampleH, 1);
  const int32_t vf = std::max(mcus.UpsampleV, 1);
  const int32_t bw = 8 * hf, bh = 8 * vf;
  // Only blocks that fit the plane entirely are written (the plane is sized so that all do).
  const int32_t cols = std::min(mcus.Columns, plane.Columns / bw);
  firstBlockRow = std::max(firstBlockRow, 0);
  endBlockRow = std::min<int64_t>(endBlockRow, (int64_t(planeFirstRow) + plane.Rows) / bh);
  uint8_t samplesOut[64];
  uint8_t flat[64];
  std::fill(flat, flat + 64, uint8_t(128));  // the inverse DCT of an all-zero block
  std::vector<int16_t*> rows(static_cast<size_t>(bh));
  // Presence of one block row: one flag per block, turned into map bits once per row.
  std::vector<uint8_t> decoded(size_t(std::max(cols, 0)));
  for (int32_t i = firstBlockRow; i < endBlockRow; ++i) {
    const int32_t y0 = i * bh - planeFirstRow;
    if (y0 < 0) continue;
    if (samples)
      for (int32_t r = 0; r < bh; ++r) rows[size_t(r)] = plane.Samples(y0 + r);
    const bool reached = blocks.RowPresent(i);
    bool any = false;
    for (int32_t k = 0; k < cols; ++k) {
      const TkelCoefBlock* block = reached ? blocks.Block(k, i) : nullptr;
      decoded[size_t(k)] = block && block->Decoded;
      any |= bool(decoded[size_t(k)]);
      if (!samples) continue;
      if (!block) {
        ReplicateInto(flat, hf, vf, rows.data(), k * bw);
        continue;
      }
      InverseDct(block->Coef, quant512, samplesOut, 8);
      ReplicateInto(samplesOut, hf, vf, rows.data(), k * bw);
    }
    if (!any) continue;
    // Runs of decoded blocks become runs of present areas.
    for (int32_t k = 0; k < cols;) {
      if (!decoded[size_t(k)]) {
        ++k;
        continue;
      }
      int32_t end = k + 1;
      while (end < cols && decoded[size_t(end)]) ++end;
      SetPresent(presence, k * hf, y0 / 8, end * hf, (y0 + bh) / 8);
      k = end;
    }
  }
}

}  // namespace vt
