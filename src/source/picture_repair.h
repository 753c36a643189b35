// The repair of a decoded picture, at the one place every decode passes (picture_decode.h):
// restart intervals placed by counting always, automatic realignment when asked, and where the
// damage starts for every damaged scan. The guide is the picture's largest embedded thumbnail,
// turned as the orientation detector finds it against the decoded blocks. Engine code: no Qt.
#pragma once

#include <memory>

#include "bitmap/bitmap32.h"
#include "repair/repair_report.h"
#include "source/picture_decode.h"

namespace vt {

class TkelJpegWithThumbs;

// The picture at an eighth of its size, one pixel per 8 x 8 area, from the DC values of the
// decoded blocks (holes transparent); nullptr for a picture without a grey or YCbCr colour
// model or without decoded blocks.
std::unique_ptr<TBitmap32> DcPicture(const TkelJpegWithThumbs& image);

// The guide for the repair: the largest embedded thumbnail with pixels, turned to the picture;
// nullptr when there is none.
std::unique_ptr<TBitmap32> RepairGuide(TkelJpegWithThumbs& image);

// Repairs the decoded picture as asked and reports what was done and where the damage starts.
// Intact pictures are not touched (not even by the automatic realignment, unless the thumbnail
// and the borders agree on a lost DC predictor). Blocks that change count as edits
// (BlockEdits), and an own bitmap rendered by the parse is rendered again.
// deferDamageSearch: for a viewer that shows the picture first. The search for where the damage
// of a scan without restart markers starts (the realignment's analysis, which changes nothing)
// is left to FinishDamageSearch and marked pending in the report.
void RepairPicture(TkelJpegWithThumbs& image, TvtRepair repair, repair::TRepairReport& report,
                   bool deferDamageSearch = false);

// The search that RepairPicture put off, on the picture's blocks as they were decoded (before
// any edit); nothing when none is pending.
void FinishDamageSearch(TkelJpegWithThumbs& image, repair::TRepairReport& report);

// The automatic realignment of a picture decoded before, with guidePicture (the thumbnail the
// user sees under the holes, turned as shown; may be null) as the guide. Returns whether blocks
// changed; the report gives file offsets.
bool RealignPicture(TkelJpegWithThumbs& image, const TBitmap32* guidePicture, repair::TRepairReport& report);

}  // namespace vt
