// The texts of the main window's status bar, built from the document and the view: what the
// picture is (frame size, process), how much of it decoded and whether its data has errors, its
// restart interval, which thumbnail fills the holes ("Holes from JPEG thumbnail 1 of 2, 160 x 120"), the zoom, and in repair mode the MCU under
// the cursor. After a realignment the bar tells what it did. Engine code: no Qt here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "repair/repair_report.h"
#include "viewer/thumb_source.h"

namespace vt {

// The document's fields, left to right; empty without an image.
std::vector<std::string> DocumentStatus(const TvtThumbSource& doc);
// "Baseline", "Extended", "Progressive", else "SOF n" (n 0..15).
std::string ProcessText(int32_t process);
// "Zoom 25 %" (one decimal below 10 %).
std::string ZoomText(double percent);
// The MCU at p: "MCU 12, 5 (#1512): decoded, starts at byte 40312 bit 3"; empty outside the grid.
std::string CursorText(const TvtThumbSource& doc, TvtMCUPos p);
// What a realignment did and how long it took.
std::string RealignText(bool changed, const repair::TRepairReport& report, double seconds);

}  // namespace vt
