// Breaks in a run of MCUs. Data that was lost or inserted inside a run the decoder went through
// without an error shifts every MCU after it (or gives them other DC values), but the MCUs on
// either side still follow one another. What shows the break is the one MCU row right after it:
// there each MCU sits under a row that is not its own, and the samples across their border jump.
// A run is cut where a whole row's worth of MCUs jumps at its top border, or all step by the
// same amount (the DC values of a component changed by one constant).
#pragma once

#include <cstdint>
#include <vector>

#include "repair/evidence.h"

namespace vt::repair {

// The sample steps across the top border of an MCU with the MCU above it, per scan component:
// the mean absolute step and the mean signed step (own top row minus the row above it).
struct TBorderStep {
  double Absolute = 0;
  double Signed = 0;
  int32_t Pixels = 0;
};

// Fills steps[0 .. components - 1] for MCU mcu (both MCUs from the maps); false when either is
// not decoded.
bool TopBorder(const TEvidence& evidence, int32_t mcu, TBorderStep steps[4]);

// The MCUs of [first, end) (decoded in the maps, in data order) from which the MCU row above no
// longer continues them: each starts a row-long band in which one component jumps at the top
// borders far more often than elsewhere in the picture, or steps by one constant (DC values that
// lost their predictor). In order.
std::vector<int32_t> FindBreaks(const TEvidence& evidence, int32_t first, int32_t end);

}  // namespace vt::repair
