// Automatic realignment: every damaged place of a sequential scan is found and the intact data
// after it put back where it belongs. For a scan without restart markers the whole scan is one
// stretch, anchored at the end-of-image marker; with restart markers, each damaged interval is
// one, anchored at the marker of the next interval in its place (restart intervals are placed
// by counting before, restart_placement.h). In each stretch:
//  - where the damage starts (damage_start.h): the MCUs decoded from damaged bytes become holes;
//  - where intact data resumes: from the damaged place on, cluster by cluster (4 KiB from the
//    start of the file, then 512 bytes), bit by bit, the first start that decodes cleanly for
//    many MCUs and whose MCUs fit the picture;
//  - which MCU it belongs to: when the decoding runs cleanly on to the anchor, the number of MCUs
//    it decodes counts back from there; a run that stops at a further damaged place goes where
//    its DC pattern and its borders fit the guide and the rows around it best;
//  - its colours: one DC constant per component (dc_correction.h).
// What the evidence does not support is left as a hole. Each decision goes into the report.
#pragma once

#include "jpeg/parser.h"
#include "repair/guide.h"
#include "repair/repair_report.h"

namespace vt::repair {

// Realigns the image's damaged sequential scan in place; returns true when blocks changed. An
// intact scan is left exactly as it is.
bool RealignAutomatically(TkelBaseJpegParser& image, const TGuide& guide, TRepairReport& report);

// Where the damage of a damaged scan starts (report.FirstDamageMCU and FirstDamageByte), found as
// the realignment finds it, without changing anything.
void FindFirstDamage(TkelBaseJpegParser& image, const TGuide& guide, TRepairReport& report);

}  // namespace vt::repair
