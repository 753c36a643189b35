// How the image view turns the picture it shows, free of any window system. A turn is an
// orientation code (0..7, the Exif Orientation value minus one; thumbs/picture_geometry.h): the
// view shows the picture as ApplyOrientation would make it, without making a turned copy. The
// picture and everything under it (the thumbnail background, the MCU grid) keep their stored
// orientation; only the mapping between the view's positions and the picture's turns, so saves
// and edits never see the turn.
#pragma once

#include <cstdint>

#include "bitmap/bitmap32.h"
#include "thumbs/picture_geometry.h"

namespace vt {

// What a code does: this many clockwise quarter turns (0..3), then a left-right mirror.
struct TvtViewTurn {
  int QuarterTurns = 0;
  bool Mirrored = false;
  bool operator==(const TvtViewTurn&) const = default;
};
TvtViewTurn TurnOf(uint8_t code);

// The code that shows a photo upright by its Exif Orientation value; 0 for values outside 1..8
// (absent or broken tags show the picture as stored).
uint8_t OrientationOfExif(int32_t exifValue);

// The view's code after Rotate Left or Rotate Right of what `code` shows.
uint8_t TurnLeft(uint8_t code);
uint8_t TurnRight(uint8_t code);

// The size the view shows a picture of `size` at: the sides exchange for a quarter turn. (The
// exchange undoes itself, so the same call gives the picture's size from the view's.)
TPictureSize TurnedSize(TPictureSize size, uint8_t code);

// A map between positions of the picture and of the view:
// (x, y) -> (XX * x + XY * y + X0, YX * x + YY * y + Y0), every factor -1, 0 or 1.
struct TvtTurnMap {
  int32_t XX = 1, XY = 0, X0 = 0, YX = 0, YY = 1, Y0 = 0;
  template <typename T>
  void Apply(T x, T y, T& outX, T& outY) const {
    outX = T(XX) * x + T(XY) * y + T(X0);
    outY = T(YX) * x + T(YY) * y + T(Y0);
  }
  TvtTurnMap Inverse() const;
};

// Pixels: the pixel at index (x, y) of a picture of `picture` size and the view pixel that
// shows it (inverse: which picture pixel a view pixel shows).
TvtTurnMap PictureToViewPixels(uint8_t code, TPictureSize picture);
// Points in pixel-edge coordinates (0..width, fractions allowed): for the pointer, the zoom's
// anchor and the sides of rectangles.
TvtTurnMap PictureToViewPoints(uint8_t code, TPictureSize picture);
// A rectangle of the picture (pixel edges) as the view shows it.
TRect PictureToViewRect(uint8_t code, TPictureSize picture, const TRect& rect);

}  // namespace vt
