#include "viewer/scroll_logic.h"

#include <gtest/gtest.h>

namespace vt {
namespace {

TvtScrollBarsInput Input(uint8_t bars, int cw, int ch, int w, int h) {
  TvtScrollBarsInput in;
  in.ScrollBars = bars;
  in.ContentWidth = cw;
  in.ContentHeight = ch;
  in.ClientWidth = w;
  in.ClientHeight = h;
  in.VerticalBarWidth = 10;
  in.HorizontalBarHeight = 10;
  return in;
}

TEST(ScrollLogic, BarsAppearOnlyWhereTheContentDoesNotFit) {
  // Wider only: a horizontal bar, whose room does not make the content too tall.
  TvtScrollBars b = ComputeScrollBars(Input(ssBoth, 100, 50, 80, 80));
  EXPECT_TRUE(b.Horizontal.Visible);
  EXPECT_FALSE(b.Vertical.Visible);
  EXPECT_EQ(b.Horizontal.Max, 99);
  EXPECT_EQ(b.Horizontal.Page, 80);
  EXPECT_EQ(b.Horizontal.MaxPos(), 20);
  // The horizontal bar takes 10 rows, so 75 rows no longer fit: the vertical bar is tested again,
  // and both pages lose the other bar's room.
  b = ComputeScrollBars(Input(ssBoth, 100, 75, 80, 80));
  EXPECT_TRUE(b.Horizontal.Visible);
  EXPECT_TRUE(b.Vertical.Visible);
  EXPECT_EQ(b.Horizontal.Page, 70);
  EXPECT_EQ(b.Vertical.Page, 70);
  // Taller first: the vertical bar narrows the room, which makes 75 columns too wide.
  b = ComputeScrollBars(Input(ssBoth, 75, 100, 80, 80));
  EXPECT_TRUE(b.Vertical.Visible);
  EXPECT_TRUE(b.Horizontal.Visible);
  // Fits exactly: no bars.
  b = ComputeScrollBars(Input(ssBoth, 80, 80, 80, 80));
  EXPECT_FALSE(b.Horizontal.Visible || b.Vertical.Visible);
}

TEST(ScrollLogic, AllowedBarsEmptyContentAndShowingBarsRoom) {
  EXPECT_FALSE(ComputeScrollBars(Input(ssNone, 500, 500, 80, 80)).Vertical.Visible);
  EXPECT_FALSE(ComputeScrollBars(Input(ssBoth, 0, 0, 80, 80)).Horizontal.Visible);
  const TvtScrollBars v = ComputeScrollBars(Input(ssVertical, 500, 500, 80, 80));
  EXPECT_TRUE(v.Vertical.Visible);
  EXPECT_FALSE(v.Horizontal.Visible) << "a list that scrolls only up and down";
  EXPECT_EQ(v.Vertical.Page, 80);
  // The client given with a showing vertical bar gets the bar's room back before deciding:
  // 75 columns fit into 70 + 10 once the bar goes.
  TvtScrollBarsInput in = Input(ssBoth, 75, 60, 70, 80);
  in.Vertical = {true, 99, 80, 5};
  const TvtScrollBars gone = ComputeScrollBars(in);
  EXPECT_FALSE(gone.Vertical.Visible);
  EXPECT_FALSE(gone.Horizontal.Visible);
}

TEST(ScrollLogic, PositionKeepsItsFractionOfTheRangeAndIsClamped) {
  TvtScrollBarsInput in = Input(ssBoth, 200, 50, 80, 80);
  in.Horizontal = {true, 99, 80, 20};  // a fifth of the old range
  in.ClientHeight = 70;
  TvtScrollBars b = ComputeScrollBars(in);
  EXPECT_EQ(b.Horizontal.Pos, 40);  // 20/99 of 199, rounded
  in.Horizontal = {true, 99, 80, 99};
  b = ComputeScrollBars(in);
  EXPECT_EQ(b.Horizontal.Pos, b.Horizontal.MaxPos());
  EXPECT_EQ(ClampScrollPos(b.Horizontal, -5), 0);
  EXPECT_EQ(ClampScrollPos(b.Horizontal, 1000), 120);
}

TEST(ScrollLogic, WheelSpendsWholeStepsAndKeepsTheRemainderPerDirection) {
  TvtWheelAxis axis;
  // Three lines of 8 pixels a notch.
  EXPECT_EQ(WheelScrollPixels(axis, 120, 0, 500, 3, 8, 1000), -24);
  EXPECT_EQ(WheelScrollPixels(axis, -120, 10, 500, 3, 8, 1000), 24);
  // Small deltas of a smooth wheel: 7 * 24 / 120 = 1 pixel, 2 units left over.
  EXPECT_EQ(WheelScrollPixels(axis, 7, 20, 500, 3, 8, 1000), -1);
  EXPECT_EQ(axis.Remainder, 2);
  EXPECT_EQ(WheelScrollPixels(axis, 7, 30, 500, 3, 8, 1000), -1);
  EXPECT_EQ(axis.Remainder, 4);
  // Turning back drops what was left.
  EXPECT_EQ(WheelScrollPixels(axis, -7, 40, 500, 3, 8, 1000), 1);
  EXPECT_EQ(axis.Remainder, -2);
  // So does a pause longer than two double-click times.
  EXPECT_EQ(WheelScrollPixels(axis, -3, 1041, 500, 3, 8, 1000), 0);
  EXPECT_EQ(axis.Remainder, -3);
  // One page a notch when asked (-1), and never more than a page.
  TvtWheelAxis other;
  EXPECT_EQ(WheelScrollPixels(other, 120, 0, 500, -1, 8, 300), -300);
  EXPECT_EQ(WheelScrollPixels(other, 120, 1, 500, 100, 8, 300), -300);
}

TEST(ScrollLogic, OriginAndScrollingIntoView) {
  EXPECT_EQ(ContentOrigin(true, 30, true, 100, 200), -30);
  EXPECT_EQ(ContentOrigin(false, 0, true, 100, 41), 29);
  EXPECT_EQ(ContentOrigin(false, 0, false, 100, 41), 0);
  EXPECT_EQ(ContentOrigin(false, 0, true, 100, 141), -20);  // -41 div 2: toward zero
  EXPECT_EQ(ScrollPosToShow(50, 100, 20, 40), 20);     // above: its first edge at the top
  EXPECT_EQ(ScrollPosToShow(50, 100, 140, 170), 70);   // below: its last edge at the bottom
  EXPECT_EQ(ScrollPosToShow(50, 100, 140, 300), 140);  // too big: the first edge wins
  EXPECT_EQ(ScrollPosToShow(50, 100, 60, 80), 50);     // visible: no move
}

}  // namespace
}  // namespace vt
