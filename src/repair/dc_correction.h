// The colours of a run resumed after damage. Decoding from a bit in the middle of the data
// starts each component's DC predictor from nothing, so every DC value of the run is off by one
// constant per component. The constant that best fits the blocks around the run (the sample
// steps across its borders with decoded blocks) and the guide is found by least deviation and
// added to the coefficients, so that a restored file shows what the viewer shows.
#pragma once

#include <cstdint>

#include "repair/evidence.h"

namespace vt::repair {

struct TDcShift {
  int32_t Shift[4] = {};    // per scan component, in DC steps
  int32_t Borders = 0;      // border pixels that decided it (0: the guide alone, or nothing)
  int32_t GuideBlocks = 0;  // guide blocks that took part
  bool Found = false;
};

// The constants for the image's MCUs [first, first + count) as they stand in the maps, measured
// against the decoded blocks outside [skipFirst, skipEnd) and the guide.
// How the guide's levels relate to blocks that are right: a thumbnail is a little lighter or
// darker and its colours a little paler all over (guide = Gain * level + Offset, per scan
// component), measured on MCUs decoded with their true DC values.
struct TGuideCalibration {
  bool Valid = false;
  double Gain[4] = {1, 1, 1, 1};
  double Offset[4] = {};
};
TGuideCalibration CalibrateGuide(const TEvidence& evidence, int32_t first, int32_t end);

// The constants for the image's MCUs [first, first + count) as they stand in the maps: from the
// sample steps across their borders with decoded blocks outside [skipFirst, skipEnd) (when
// borders) and from the guide (read through calibration when given), each weighed by how
// surely it measures.
TDcShift EstimateDcShift(const TEvidence& evidence, int32_t first, int32_t count, int32_t skipFirst,
                         int32_t skipEnd, bool borders = true, const TGuideCalibration* calibration = nullptr);

// Adds the constants to the DC of every decoded block of those MCUs.
void ApplyDcShift(TkelBaseJpegParser& image, const TDcShift& shift, int32_t first, int32_t count);

}  // namespace vt::repair
