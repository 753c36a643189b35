// The presence map: one bit per 8x8 pixel area that holds decoded data. Byte (column x div 64,
// row y div 8), bit (x div 8) mod 8, bit 0 for the leftmost area of the byte. Components
// reconstructed on several threads at once set bits in the same bytes, so setting is an atomic OR.
#pragma once

#include <cstdint>

#include "jpeg/jpeg_map.h"

namespace vt {

// Sizes the map for a plane of the given size and clears it.
void DimensionPresence(TkelAlphaComponentData& map, int32_t planeWidth, int32_t planeHeight);

// Marks the 8x8 areas [areaX0, areaX1) x [areaY0, areaY1) present (clipped to the map).
void SetPresent(TkelAlphaComponentData& map, int32_t areaX0, int32_t areaY0, int32_t areaX1,
                int32_t areaY1);

// Whether pixel (x, y) lies in a present area.
bool IsPresent(const TkelAlphaComponentData& map, int32_t x, int32_t y);

}  // namespace vt
