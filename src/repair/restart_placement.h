// Restart intervals placed by counting. The data of a restart-marked scan is split at its
// restart markers; each stretch that decodes as a whole interval and ends right at the next
// marker is in sync, and in-sync stretches whose marker numbers follow each other form chains.
// The chain at the scan's start belongs at interval 0; when the data runs on to the end-of-image
// marker, the chain at the end is counted back from the last interval the frame holds. A gap of
// any length between them is then exact, where the marker number alone (modulo 8) puts every
// later interval a multiple of eight intervals too early once more than seven are lost. Chains
// between two gaps go where their marker numbers allow and the picture fits best (the borders
// with the rows around them, the guide); a chain that fits nowhere, or contradicts both, is
// another picture's data and is dropped. Where the evidence cannot tell places apart, the marker
// number decides, as the decoder's own rule does. The tails of damaged intervals that decoded
// from damaged bytes are cleared (holes instead of garbage).
#pragma once

#include "jpeg/parser.h"
#include "repair/guide.h"
#include "repair/repair_report.h"

namespace vt::repair {

// Places the intervals of the image's restart-marked sequential scan; returns true when blocks
// changed. Does nothing for an intact scan, a progressive or multi-scan picture, or a picture
// without restart markers.
bool PlaceRestartIntervals(TkelBaseJpegParser& image, const TGuide& guide, TRepairReport& report);

}  // namespace vt::repair
