#include "viewer/scroll_logic.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace vt {

namespace {

// The position of a showing bar as a fraction of its range.
double Fraction(const TvtScrollBarState& bar) {
  if (!bar.Visible || bar.Max <= 0) return 0.0;
  return double(bar.Pos) / double(bar.Max);
}

TvtScrollBarState Needed(int32_t content, int32_t page, double fraction) {
  TvtScrollBarState s;
  s.Visible = true;
  s.Max = content - 1;
  s.Page = std::max(page, 0);
  s.Pos = ClampScrollPos(s, std::llround(std::nearbyint(fraction * s.Max)));
  return s;
}

}  // namespace

int32_t ClampScrollPos(const TvtScrollBarState& bar, int64_t pos) {
  return static_cast<int32_t>(std::clamp<int64_t>(pos, 0, bar.MaxPos()));
}

TvtScrollBars ComputeScrollBars(const TvtScrollBarsInput& in) {
  TvtScrollBars out;
  if (in.ScrollBars == ssNone || (in.ContentWidth <= 0 && in.ContentHeight <= 0)) return out;

  int32_t width = in.ClientWidth + (in.Vertical.Visible ? in.VerticalBarWidth : 0);
  int32_t height = in.ClientHeight + (in.Horizontal.Visible ? in.HorizontalBarHeight : 0);
  const double hFraction = Fraction(in.Horizontal), vFraction = Fraction(in.Vertical);

  const bool mayV = (in.ScrollBars & ssVertical) != 0, mayH = (in.ScrollBars & ssHorizontal) != 0;
  bool needV = mayV && in.ContentHeight > height;
  if (needV) width -= in.VerticalBarWidth;
  const bool needH = mayH && in.ContentWidth > width;
  if (needH) height -= in.HorizontalBarHeight;
  if (!needV && needH) {
    needV = mayV && in.ContentHeight > height;
    if (needV) width -= in.VerticalBarWidth;
  }
  if (needV) out.Vertical = Needed(in.ContentHeight, height, vFraction);
  if (needH) out.Horizontal = Needed(in.ContentWidth, width, hFraction);
  return out;
}

int32_t WheelScrollPixels(TvtWheelAxis& axis, int32_t delta, int64_t nowMs, int32_t doubleClickMs, int32_t lines,
                          int32_t lineStep, int32_t page) {
  int64_t amount = lines == -1 ? page : std::min<int64_t>(int64_t(lines) * lineStep, page);
  const bool stale = axis.Seen && nowMs - axis.LastTimeMs > 2 * int64_t(doubleClickMs);
  const bool turned = axis.Remainder != 0 && (delta < 0) != (axis.Remainder < 0);
  if (stale || turned) axis.Remainder = 0;
  axis.Seen = true;
  axis.LastTimeMs = nowMs;
  if (amount <= 0) return 0;
  const int64_t remainder = int64_t(axis.Remainder) + delta;
  const int64_t steps = remainder * amount / 120;
  axis.Remainder = static_cast<int32_t>(remainder - steps * 120 / amount);
  return static_cast<int32_t>(-steps);
}

int32_t ContentOrigin(bool barVisible, int32_t scrollPos, bool centred, int32_t clientSize, int32_t contentSize) {
  if (barVisible) return -scrollPos;
  if (centred) return (clientSize - contentSize) / 2;
  return 0;
}

int32_t ScrollPosToShow(int32_t pos, int32_t page, int32_t first, int32_t last) {
  if (first < pos) return first;
  if (last > pos + page) return std::min(last - page, first);
  return pos;
}

}  // namespace vt
