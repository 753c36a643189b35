#include "viewer/zoom_steps.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace vt {

namespace {

constexpr double kSteps[] = {1,   2,   3,   5,   8,   10,  15,   20,   25,   100.0 / 3, 50,  200.0 / 3,
                             100, 150, 200, 300, 400, 600, 800, 1200, 1600, 2400,      3200};

// Scales closer than this count as the same step (a fitted scale is seldom a step exactly).
constexpr double kSameStep = 1e-6;

}  // namespace

double ZoomInStep(double percent) {
  for (double s : kSteps)
    if (s > percent * (1 + kSameStep)) return s;
  return kMaxZoomPercent;
}

double ZoomOutStep(double percent) {
  for (auto it = std::rbegin(kSteps); it != std::rend(kSteps); ++it)
    if (*it < percent * (1 - kSameStep)) return *it;
  return kMinZoomPercent;
}

int32_t ScaledExtent(int32_t imageExtent, double percent) {
  if (imageExtent <= 0) return 0;
  return int32_t(std::max<int64_t>(1, std::llround(double(imageExtent) * percent / 100.0)));
}

int32_t PictureOrigin(int32_t clientExtent, int32_t contentExtent, int32_t scroll) {
  if (contentExtent <= clientExtent) return (clientExtent - contentExtent) / 2;
  return -std::clamp(scroll, 0, contentExtent - clientExtent);
}

int32_t ScrollToKeep(double imagePos, double percent, int32_t anchor, int32_t clientExtent, int32_t contentExtent) {
  if (contentExtent <= clientExtent) return 0;
  const double wanted = imagePos * percent / 100.0 - anchor;
  return int32_t(std::clamp<int64_t>(std::llround(wanted), 0, contentExtent - clientExtent));
}

}  // namespace vt
