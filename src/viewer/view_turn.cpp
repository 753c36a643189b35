#include "viewer/view_turn.h"

#include <algorithm>
#include <utility>

#include "viewer/thumb_image_core.h"

namespace vt {

namespace {

// ApplyOrientation's table, code by code.
constexpr TvtViewTurn kTurns[8] = {{0, false}, {0, true}, {2, false}, {2, true},
                                   {1, true},  {1, false}, {3, true}, {3, false}};

// The map of a code, built step by step as ApplyOrientation transforms the bitmap. `edge` is 1
// for pixel indices (the last index is extent - 1) and 0 for points.
TvtTurnMap Build(uint8_t code, TPictureSize picture, int32_t edge) {
  const TvtViewTurn turn = TurnOf(code);
  TvtTurnMap m;
  int32_t w = picture.Width - edge, h = picture.Height - edge;
  for (int q = 0; q < turn.QuarterTurns; ++q) {
    // Clockwise: (x, y) -> (h - y, x), and the extents exchange.
    m = TvtTurnMap{-m.YX, -m.YY, h - m.Y0, m.XX, m.XY, m.X0};
    std::swap(w, h);
  }
  if (turn.Mirrored) m = TvtTurnMap{-m.XX, -m.XY, w - m.X0, m.YX, m.YY, m.Y0};
  return m;
}

}  // namespace

TvtViewTurn TurnOf(uint8_t code) { return code < 8 ? kTurns[code] : TvtViewTurn{}; }

uint8_t OrientationOfExif(int32_t exifValue) {
  return exifValue >= 1 && exifValue <= 8 ? uint8_t(exifValue - 1) : uint8_t(0);
}

// The thumbnail editor's rotations of a shown picture are the same composition.
uint8_t TurnLeft(uint8_t code) { return RotateLeftOrientation(code); }
uint8_t TurnRight(uint8_t code) { return RotateRightOrientation(code); }

TPictureSize TurnedSize(TPictureSize size, uint8_t code) {
  return TurnOf(code).QuarterTurns % 2 != 0 ? TPictureSize{size.Height, size.Width} : size;
}

TvtTurnMap TvtTurnMap::Inverse() const {
  // The factors form a signed permutation matrix: its inverse is its transpose.
  return TvtTurnMap{XX, YX, -(XX * X0 + YX * Y0), XY, YY, -(XY * X0 + YY * Y0)};
}

TvtTurnMap PictureToViewPixels(uint8_t code, TPictureSize picture) { return Build(code, picture, 1); }
TvtTurnMap PictureToViewPoints(uint8_t code, TPictureSize picture) { return Build(code, picture, 0); }

TRect PictureToViewRect(uint8_t code, TPictureSize picture, const TRect& rect) {
  const TvtTurnMap m = PictureToViewPoints(code, picture);
  int32_t x0, y0, x1, y1;
  m.Apply(rect.Left, rect.Top, x0, y0);
  m.Apply(rect.Right, rect.Bottom, x1, y1);
  return MakeRect(std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1));
}

}  // namespace vt
