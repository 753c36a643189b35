// The words of the viewer's error box when a file opened with File > Open, the command line or
// a drop shows nothing. The box names the file; "Invalid image." heads every file the system
// cannot read as a picture, while a missing file, a folder and a file that may not be read say
// so in their own words. When a JPEG starts further on in the file, the box offers the deep
// scan. Engine code: no Qt here.
#pragma once

#include <string>

#include "source/open_failure.h"

namespace vt {

struct TvtOpenErrorText {
  std::string Text;            // headline, an empty line, the file's path, the explanation
  bool OfferDeepScan = false;  // the box offers kDeepScanButton
};

// The box's button that opens the same file with a deep scan.
constexpr const char* kDeepScanButton = "Open with &Deep Scan";

TvtOpenErrorText OpenErrorText(const std::string& path, const TvtOpenFailure& failure);

}  // namespace vt
