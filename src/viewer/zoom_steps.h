// The image view's zoom, free of any window system: the steps of Zoom In and Zoom Out, their
// limits, and where the picture lies in the client area at a scale (centred while it fits,
// scrolled once it is larger), so that a zoom around a point keeps the image pixel under it.
#pragma once

#include <cstdint>

#include "bitmap/bitmap32.h"

namespace vt {

// Zoom limits in percent: Zoom Out stops at 1 %, Zoom In at 3200 % (an MCU of 16 pixels is then
// 512 screen pixels: enough to tell any two pixels apart).
constexpr double kMinZoomPercent = 1.0;
constexpr double kMaxZoomPercent = 3200.0;

// The next step above (Zoom In) or below (Zoom Out) a scale in percent, from the table
// 1, 2, 3, 5, 8, 10, 15, 20, 25, 33.33, 50, 66.67, 100, 150, 200, 300, 400, 600, 800, 1200, 1600,
// 2400, 3200; a scale between steps goes to the neighbouring step. At the limit it stays.
double ZoomInStep(double percent);
double ZoomOutStep(double percent);

// The picture of an image of imageW x imageH at scale (percent): its size, rounded, at least 1.
int32_t ScaledExtent(int32_t imageExtent, double percent);

// Where content coordinate 0 lies on one axis: centred while the content fits the client, else
// at -scroll.
int32_t PictureOrigin(int32_t clientExtent, int32_t contentExtent, int32_t scroll);

// The scroll position on one axis that puts image coordinate imagePos (a fraction of pixels) at
// client coordinate anchor after the content becomes contentExtent long, clamped to the range.
int32_t ScrollToKeep(double imagePos, double percent, int32_t anchor, int32_t clientExtent, int32_t contentExtent);

}  // namespace vt
