// The background resizer's 500 ms polling timer on the user-interface thread.
#pragma once

namespace vt {

class TvtGR32Resizer;

// Gives the resizer (the process's one, or the given one) a Qt timer that polls it while a
// worker runs. Needs a QCoreApplication; calling it again changes nothing.
void InstallResizerTimer(TvtGR32Resizer* resizer = nullptr);

}  // namespace vt
