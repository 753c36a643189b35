#include "thumbs/picture_geometry.h"

#include <cmath>
#include <limits>

namespace vt {
namespace {

// round(a * b / c), halves to even, clamped to the 32-bit range.
int32_t RoundedScale(int32_t a, int32_t b, int32_t c) {
  const double v = std::nearbyint(static_cast<double>(a) * static_cast<double>(b) / static_cast<double>(c));
  if (!(v < 2147483647.0)) return std::numeric_limits<int32_t>::max();
  if (!(v > -2147483648.0)) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

TPictureSize AtLeastOne(TPictureSize s) {
  if (s.Width == 0) s.Width = 1;
  if (s.Height == 0) s.Height = 1;
  return s;
}

// fill = false: the largest size inside the box; fill = true: the smallest covering it.
TPictureSize ScaleInto(int32_t sourceW, int32_t sourceH, int32_t boxW, int32_t boxH, bool fill) {
  if (sourceW == 0 || sourceH == 0) return {0, 0};
  const int32_t h = RoundedScale(sourceH, boxW, sourceW);
  const bool heightLimited = fill ? h < boxH : h > boxH;
  if (heightLimited) return AtLeastOne({RoundedScale(sourceW, boxH, sourceH), boxH});
  return AtLeastOne({boxW, h});
}

}  // namespace

void ApplyOrientation(TBitmap32& bitmap, int code) {
  switch (code) {
    case 1:
      bitmap.FlipHorizontal();
      break;
    case 2:
      bitmap.TurnHalf();
      break;
    case 3:
      bitmap.TurnHalf();
      bitmap.FlipHorizontal();
      break;
    case 4:
      bitmap.TurnClockwise();
      bitmap.FlipHorizontal();
      break;
    case 5:
      bitmap.TurnClockwise();
      break;
    case 6:
      bitmap.TurnCounterClockwise();
      bitmap.FlipHorizontal();
      break;
    case 7:
      bitmap.TurnCounterClockwise();
      break;
    default:
      break;
  }
}

bool SameAspect(int32_t w, int32_t h, const TBitmap32& bitmap) {
  const double bw = bitmap.Width(), bh = bitmap.Height();
  if (w <= 0 || h <= 0 || bw <= 0 || bh <= 0) return false;
  const double diff = (w < h) ? static_cast<double>(h) / w - bh / bw : static_cast<double>(w) / h - bw / bh;
  return std::fabs(diff) * 100 < 5;
}

TPictureSize FitSize(int32_t sourceW, int32_t sourceH, int32_t boxW, int32_t boxH) {
  return ScaleInto(sourceW, sourceH, boxW, boxH, false);
}

TPictureSize FillSize(int32_t sourceW, int32_t sourceH, int32_t boxW, int32_t boxH) {
  return ScaleInto(sourceW, sourceH, boxW, boxH, true);
}

}  // namespace vt
