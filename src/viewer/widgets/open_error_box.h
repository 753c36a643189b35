// The error box of an open that shows nothing (File > Open, the command line, a drop): it names
// the file, says what kept it from opening, and offers the deep scan when a JPEG starts further
// on in the file.
#pragma once

#include <functional>
#include <string>

class QWidget;

namespace vt {

class TvtDiscSource;

// source: the disc source that has just opened path and found no item (still holding the file).
// deepScan runs when the user chooses the box's deep-scan button.
void ShowOpenFailure(QWidget* owner, TvtDiscSource& source, const std::string& path,
                     const std::function<void()>& deepScan);

}  // namespace vt
