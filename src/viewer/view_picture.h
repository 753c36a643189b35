// The image view's picture of one client area, free of any window system: the image scaled by
// nearest neighbour (so that above 100 % every image pixel is a sharp square and MCU edges stay
// visible), the thumbnail background under its holes, holes without a background in a hatch that
// differs from the window's checkerboard, blocks filled from the thumbnail tinted on request, and
// a frame around the picture so that its extent shows whatever is missing.
#pragma once

#include <cstdint>

#include "bitmap/bitmap32.h"

namespace vt {

// The hatch of holes with nothing under them: diagonal stripes, 4 pixels wide, of two greys.
constexpr TColor32 kHoleLight = 0xFFC8C8C8u, kHoleDark = 0xFFB0B0B0u;
TColor32 HolePattern(int32_t x, int32_t y);
// The frame drawn around the picture (on the pixels just outside it).
constexpr TColor32 kPictureFrame = 0xFF606060u;
// The tint of blocks filled from the thumbnail under Show Filled Areas: a quarter of this colour.
constexpr TColor32 kFilledTint = 0xFFFF00C0u;
TColor32 TintFilled(TColor32 background);

struct TvtPictureLayers {
  const TBitmap32* Image = nullptr;       // the picture (full or reduced); required
  const TBitmap32* Background = nullptr;  // the thumbnail background at Image's size, or null
  bool TintFilled = false;                // Show Filled Areas
  uint8_t Turn = 0;                       // the view's orientation code (viewer/view_turn.h)
};

// Draws the layers, turned by layers.Turn and scaled to contentW x contentH (the turned size),
// with content pixel (0, 0) at client (originX, originY), into the part of out that the content
// covers; out's other pixels are left. Each client pixel shows the image pixel under it, blended
// over the background pixel at the same place or over the hatch.
void DrawPictureNearest(TBitmap32& out, const TvtPictureLayers& layers, int32_t originX, int32_t originY,
                        int32_t contentW, int32_t contentH);

// Draws a picture already at content size (the resizer's) at its place, blended over the hatch.
void DrawPictureAtSize(TBitmap32& out, const TBitmap32& picture, int32_t originX, int32_t originY);

// The frame: a one-pixel rectangle around [originX, originX + contentW) x [originY, ...).
void DrawPictureFrame(TBitmap32& out, int32_t originX, int32_t originY, int32_t contentW, int32_t contentH);

}  // namespace vt
