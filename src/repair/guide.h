// The guide: what each block of the main image should look like on average, read from a small
// picture of the same photo (the embedded thumbnail turned as the orientation detector says).
// Block means are compared in sample levels (0..255) of the frame component, so the picture is
// converted to the image's colour space first.
#pragma once

#include <cstdint>

#include "base/zeroed_block.h"
#include "bitmap/bitmap32.h"
#include "jpeg/parser.h"

namespace vt::repair {

class TGuide {
 public:
  // No guide: every level is unknown.
  TGuide() = default;
  // picture may be null or empty. Only 8-bit grey, YCbCr and RGB images get levels.
  TGuide(const TkelBaseJpegParser& image, const TBitmap32* picture);

  bool Present() const { return present_; }
  // The expected mean level of block (bx, by) of scan component sc (block coordinates of the
  // component's coefficient map), or a negative value when unknown.
  float Level(int sc, int32_t bx, int32_t by) const {
    if (!present_ || sc < 0 || sc >= 4) return -1.0f;
    const Grid& g = grids_[sc];
    if (bx < 0 || by < 0 || bx >= g.Width || by >= g.Height) return -1.0f;
    return reinterpret_cast<const float*>(g.Levels.Data())[static_cast<size_t>(by) * g.Width + bx];
  }

 private:
  struct Grid {
    int32_t Width = 0, Height = 0;
    TZeroedBlock Levels;  // Width x Height floats, every one written (-1 outside the frame)
  };
  bool present_ = false;
  Grid grids_[4];
};

}  // namespace vt::repair
