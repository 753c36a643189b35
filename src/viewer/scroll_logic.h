// The arithmetic of the viewer's scroll controls, free of any window system: which scroll bars a
// content needs and where they stand, how far a wheel turn scrolls, and where content is drawn.
#pragma once

#include <cstdint>

namespace vt {

// Which bars a control may show.
constexpr uint8_t ssNone = 0, ssHorizontal = 1, ssVertical = 2, ssBoth = 3;

struct TvtScrollBarState {
  bool Visible = false;
  int32_t Max = 0;   // range 0..Max, Max = content size - 1
  int32_t Page = 0;  // the visible part of the content
  int32_t Pos = 0;
  // The largest position: the content's last pixel at the far edge.
  int32_t MaxPos() const { return Visible ? (Max + 1 > Page ? Max + 1 - Page : 0) : 0; }
};

struct TvtScrollBarsInput {
  uint8_t ScrollBars = ssBoth;
  int32_t ContentWidth = 0, ContentHeight = 0;
  // The client area as it is now (showing bars take their room from it).
  int32_t ClientWidth = 0, ClientHeight = 0;
  TvtScrollBarState Horizontal, Vertical;  // the bars as they are now
  int32_t VerticalBarWidth = 0, HorizontalBarHeight = 0;
};

struct TvtScrollBars {
  TvtScrollBarState Horizontal, Vertical;
};

// The bars after a change of content or client size: the client size without bars is worked
// out, a vertical bar is taken when the content is taller, then a horizontal one when it is
// wider (which may call for the vertical one after all); each bar keeps its position as the same
// fraction of its range.
TvtScrollBars ComputeScrollBars(const TvtScrollBarsInput& in);

// Clamps a wanted position to 0..MaxPos of the bar.
int32_t ClampScrollPos(const TvtScrollBarState& bar, int64_t pos);

// One axis of mouse-wheel state: the unspent part of the turns and when the last one came.
struct TvtWheelAxis {
  int32_t Remainder = 0;
  int64_t LastTimeMs = 0;
  bool Seen = false;
};

// Pixels to scroll for one wheel message of delta (120 a notch; positive away from the user),
// keeping the unspent part in the axis. lines is the system's lines per notch (-1: a page);
// lineStep the control's pixels per line; page the bar's page. The remainder is dropped after
// twice the double-click time or when the direction turns. The result is negative for a positive
// delta (scrolling towards the start).
int32_t WheelScrollPixels(TvtWheelAxis& axis, int32_t delta, int64_t nowMs, int32_t doubleClickMs, int32_t lines,
                          int32_t lineStep, int32_t page);

// Where content coordinate 0 lies in the client area on one axis: minus the scroll position
// with a bar; (client - content) div 2 when centred without a bar; 0 otherwise.
int32_t ContentOrigin(bool barVisible, int32_t scrollPos, bool centred, int32_t clientSize, int32_t contentSize);

// The scroll position that brings [first, last) (content coordinates) into a view of size page
// starting at pos, preferring the first edge.
int32_t ScrollPosToShow(int32_t pos, int32_t page, int32_t first, int32_t last);

}  // namespace vt
