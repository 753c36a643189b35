// Where the damage starts. The decoder notices damaged data late: before an invalid code or a
// coefficient beyond the block's end turns up, bytes of zeros or of another picture decode into
// blocks that look like nothing in the photo. Going back from where the decoding failed, the
// first MCU whose own data crosses a run of zeros or a marker that has no place in the data, or
// whose content contradicts the blocks above and to its left and the guide, starts the damage;
// a cluster boundary a little before it (the card's unit of damage) moves the start back there.
#pragma once

#include <cstdint>
#include <string>

#include "repair/evidence.h"
#include "repair/scan_data.h"

namespace vt::repair {

// What MCUs of this photo look like where they are right: the spread of their fit to the
// blocks above and to the left, and of their high frequencies.
struct TBaseline {
  bool Valid = false;
  double CostMedian = 0;
  double CostLimit = 0;       // a cost above this contradicts the neighbours
  double StrangeLimit = 64;   // more non-zero AC coefficients than this in a block is garbage
  double SeamLimit = 0;       // an MCU's step at its top and left borders beyond this jumps (0: unknown)
  double GuideLimit = 0;      // an MCU's mean distance to the guide beyond this is wrong (0: unknown)
};

// Measures the baseline on the decoded MCUs of [first, end) (a sample of them).
TBaseline MeasureBaseline(const TEvidence& evidence, int32_t first, int32_t end);

// The cost of MCU mcu of the maps against its decoded neighbours above and to the left only.
double CostAboveLeft(const TEvidence& evidence, int32_t mcu);

// True when MCU mcu of the maps (with shift[sc] DC steps added, or none) looks like damaged
// data: a block no photo has, or, against the guide where there is one (else against its
// borders above and to the left), far worse than the picture's own MCUs.
bool LooksDamaged(const TEvidence& evidence, const TBaseline& baseline, int32_t mcu,
                  const int32_t shift[4] = nullptr);

// Bytes between whole clusters of a card: damage comes in these units, counted from the start
// of the file.
constexpr int64_t kClusterBytes = 4096;

struct TDamageStart {
  int32_t MCU = -1;     // the first MCU to clear; -1: no damage found in the range
  int64_t Byte = -1;    // the data position where the damage starts (a cluster boundary or the MCU's start)
  std::string Evidence;
};

// Looks for the damage among the decoded MCUs [first, end) of the maps (their data follows one
// another in the scan). Needs the offsets map for the byte evidence; works without it from the
// content alone.
TDamageStart FindDamageStart(const TEvidence& evidence, const TScanData& data, const TBaseline& baseline,
                             int32_t first, int32_t end);

}  // namespace vt::repair
