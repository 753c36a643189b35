// Damage on a card comes in clusters, so the decoded MCUs are judged by the cluster their data
// starts in: a cluster whose MCUs mostly look wrong (blocks no photo has, levels far from the
// guide's, borders that jump where the guide is missing) is damaged or displaced, one with a few
// odd MCUs among many good ones is not. Where the damage starts in a run decoded from a good
// start is found by walking cluster by cluster back from where the decoding failed; where a run
// stops agreeing with the thumbnail, by the point that splits it best (GuideChangePoint).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "repair/damage_start.h"
#include "repair/evidence.h"
#include "repair/scan_data.h"

namespace vt::repair {

struct TClusterVerdict {
  int32_t FirstMCU = 0, EndMCU = 0;  // the MCUs whose data starts in the cluster
  int64_t Byte = 0;                  // Position of the cluster's first byte
  double BadShare = 0;
  bool Damaged = false;
  std::string Why;
};

// The MCUs [first, end) of the maps grouped by cluster, in order, each judged with shift[sc] DC
// steps added to their levels (nullptr: none). Needs the offsets map; empty without it.
std::vector<TClusterVerdict> JudgeClusters(const TEvidence& evidence, const TScanData& data,
                                           const TBaseline& baseline, int32_t first, int32_t end,
                                           const int32_t shift[4] = nullptr);

// For a run decoded from a right start whose decoding failed (or ended) at end: the first MCU of
// the damaged clusters that lead up to end, or -1 when the cluster before end looks right.
TDamageStart DamageBefore(const TEvidence& evidence, const TScanData& data, const TBaseline& baseline,
                          int32_t first, int32_t end);

}  // namespace vt::repair

namespace vt::repair {

// For a run placed by counting back from a right end whose start may lie in damaged data: the
// first MCU of the first cluster, from the start, that looks right (first itself when the first
// cluster does; end when none does).
int32_t FirstRightCluster(const TEvidence& evidence, const TScanData& data, const TBaseline& baseline,
                          int32_t first, int32_t end);

// Where the MCUs of [first, end) (in the maps) stop agreeing with the guide as the ones before
// them do: the single point after which each component's mean difference to the guide moves and
// stays moved (DC values that lost their predictor are off by one constant from there on;
// displaced blocks are off by whatever lies where they are shown). -1 when the guide is missing
// or no such point stands out from the picture's own variation.
// With spread, a point after which the differences spread much wider (displaced blocks whose
// constant happens to be near) counts too.
int32_t GuideChangePoint(const TEvidence& evidence, int32_t first, int32_t end, bool spread = false);

}  // namespace vt::repair
