// The reduction of a window's first picture: the viewer shows a photo fitted into its window, so
// its first picture needs no more pixels than the fitted size. It is made at the largest of the
// reductions 1/2, 1/4 and 1/8 that the reduced inverse DCT offers (jpeg/idct_scaled.h) whose
// picture still covers the fitted size, so that showing it only ever scales down.
#pragma once

#include <cstdint>

#include "thumbs/picture_geometry.h"

namespace vt {

// The shift s (reduction 1/2^s, 0..3) for a frame of w x h shown in a box (an empty box: 0).
int PreviewShiftFor(int32_t w, int32_t h, TPictureSize box);

// A frame's size reduced by 1/2^shift, each side rounded up (what RenderScaled makes).
TPictureSize ReducedSize(int32_t w, int32_t h, int shift);

}  // namespace vt
