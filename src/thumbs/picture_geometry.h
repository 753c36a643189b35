// Picture geometry shared by the viewer: applying an orientation code to a bitmap, the 5 %
// aspect-ratio test, and fitting or filling one size into another.
//
// Orientation codes are the Exif Orientation value minus one:
//   0 none                   4 turn clockwise, then flip horizontally
//   1 flip horizontally      5 turn clockwise
//   2 turn half              6 turn counter-clockwise, then flip horizontally
//   3 turn half, then flip   7 turn counter-clockwise
// Codes 4..7 exchange width and height; other codes do nothing.
#pragma once

#include <cstdint>

#include "bitmap/bitmap32.h"

namespace vt {

struct TPictureSize {
  int32_t Width = 0;
  int32_t Height = 0;
  bool operator==(const TPictureSize&) const = default;
};

void ApplyOrientation(TBitmap32& bitmap, int code);

// True when the proportions of W x H and of the bitmap differ by less than 5 % (compared as
// height/width when W < H, else as width/height). False when any side is not positive.
bool SameAspect(int32_t w, int32_t h, const TBitmap32& bitmap);

// The largest size of the source's proportions inside the box (0 x 0 for an empty source;
// never a 0 side otherwise). Rounds halves to even.
TPictureSize FitSize(int32_t sourceW, int32_t sourceH, int32_t boxW, int32_t boxH);
// The smallest size of the source's proportions that covers the box.
TPictureSize FillSize(int32_t sourceW, int32_t sourceH, int32_t boxW, int32_t boxH);

}  // namespace vt
