#include "viewer/preview_scale.h"

#include <algorithm>

#include "jpeg/idct_scaled.h"

namespace vt {

TPictureSize ReducedSize(int32_t w, int32_t h, int shift) {
  const int64_t cell = int64_t(1) << shift;
  return {int32_t((int64_t(w) + cell - 1) / cell), int32_t((int64_t(h) + cell - 1) / cell)};
}

int PreviewShiftFor(int32_t w, int32_t h, TPictureSize box) {
  if (w <= 0 || h <= 0 || box.Width <= 0 || box.Height <= 0) return 0;
  TPictureSize fit = FitSize(w, h, box.Width, box.Height);
  fit.Width = std::clamp(fit.Width, 1, w);
  fit.Height = std::clamp(fit.Height, 1, h);
  int shift = 0;
  while (shift < kMaxScaleShift) {
    const TPictureSize next = ReducedSize(w, h, shift + 1);
    if (next.Width < fit.Width || next.Height < fit.Height) break;
    ++shift;
  }
  return shift;
}

}  // namespace vt
