#include "jpeg/presence.h"

#include <algorithm>
#include <atomic>

namespace vt {

void DimensionPresence(TkelAlphaComponentData& map, int32_t planeWidth, int32_t planeHeight) {
  map.SetColumns((planeWidth + 63) / 64);
  map.SetRows((planeHeight + 7) / 8);
  map.ClearCells();
}

void SetPresent(TkelAlphaComponentData& map, int32_t areaX0, int32_t areaY0, int32_t areaX1,
                int32_t areaY1) {
  areaX0 = std::max(areaX0, 0);
  areaY0 = std::max(areaY0, 0);
  areaX1 = std::min(areaX1, map.Columns * 8);
  areaY1 = std::min(areaY1, map.Rows);
  if (areaX0 >= areaX1) return;
  for (int32_t ay = areaY0; ay < areaY1; ++ay) {
    uint8_t* row = map.Row(ay);
    if (!row) continue;
    for (int32_t ax = areaX0; ax < areaX1;) {
      // The bits of this byte that the run covers.
      const int32_t byte = ax >> 3;
      const int32_t last = std::min(areaX1, (byte + 1) * 8);
      const uint8_t bits = uint8_t((0xFFu << (ax & 7)) & (0xFFu >> (8 - (last - byte * 8))));
      std::atomic_ref<uint8_t> cell(row[byte]);
      // Plain read first: most areas are set once per component, and the atomic is the cost.
      if ((cell.load(std::memory_order_relaxed) & bits) != bits) cell.fetch_or(bits, std::memory_order_relaxed);
      ax = last;
    }
  }
}

bool IsPresent(const TkelAlphaComponentData& map, int32_t x, int32_t y) {
  if (x < 0 || y < 0) return false;
  const uint8_t* cell = map.Cell(x >> 6, y >> 3);
  return cell && (*cell >> ((x >> 3) & 7) & 1);
}

}  // namespace vt
