// Pictures of one damaged file for looking at a result: the intact photo (libjpeg), the damaged
// file as we show it (holes as a checkerboard) and as libjpeg shows it, and the MCU verdict
// maps (green right, red wrong, grey hole; dark where the MCU's data was damaged).
#pragma once

#include <string>

#include "bitmap/bitmap32.h"
#include "support/mcu_score.h"

namespace vt::bench {

// Writes a PNG (RGBA); false when it could not be written.
bool WritePng(const TBitmap32& bitmap, const std::string& path);

// The picture over an 8-pixel grey-and-white checkerboard: holes show the board.
TBitmap32 OverCheckerboard(const TBitmap32& picture);

// Writes DIR/NAME-intact.png, -ours.png, -ours-verdicts.png, -libjpeg.png and
// -libjpeg-verdicts.png. Returns false when a file could not be written.
bool SavePictures(const std::string& dir, const std::string& name, const test::TMcuScorer& scorer,
                  const TBitmap32& ours, const test::TMcuScore& oursScore, const TBitmap32& libjpeg,
                  const test::TMcuScore& libjpegScore);

}  // namespace vt::bench
