// The family of custom-drawn controls the viewer is built on. TvtScrollControl is a window with
// its own scroll bars over a virtual content area (its arithmetic lives in viewer/scroll_logic);
// TvtThemedScrollControl follows the style and the screen's DPI; TvtCustomListBox draws list
// items in the style of the platform's item views.
#pragma once

#include <QWidget>

#include "bitmap/bitmap32.h"
#include "viewer/scroll_logic.h"

class QScrollBar;
class QPainter;

namespace vt {

class TvtScrollControl : public QWidget {
 public:
  explicit TvtScrollControl(QWidget* parent = nullptr);

  uint8_t BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(uint8_t value);  // 1 single (default), 0 none
  uint8_t ScrollBars() const { return scrollBars_; }
  void SetScrollBars(uint8_t value);   // ssNone .. ssBoth (default)
  bool CenterHorizontally = false;
  bool CenterVertically = false;
  // Keyboard cues (focus rectangles) are shown.
  bool ShowFocus = true;

  // Recomputes both bars from the content and client sizes (no-op while already updating).
  void UpdateScrollBars();
  // Scrolls so that rect (client coordinates) becomes visible, preferring its left and top edges.
  void ScrollInView(const TRect& rect);
  int32_t ScrollX() const;
  int32_t ScrollY() const;
  void SetScrollX(int32_t value);
  void SetScrollY(int32_t value);
  // Between client and content coordinates: the scroll positions, or the centring offset on an
  // axis without a bar that is centred.
  QPoint ClientToContent(QPoint p) const;
  QPoint ContentToClient(QPoint p) const;
  // Sets the width so that the client area is the content's width (plus a vertical bar's room
  // when allowForBar and no vertical bar shows).
  void FitWidthToContent(bool allowForBar);

  // The client area: inside the border, without the showing bars (widget coordinates).
  QRect ClientRect() const;
  const TvtScrollBarState& HorizontalBar() const { return hState_; }
  const TvtScrollBarState& VerticalBar() const { return vState_; }

 protected:
  virtual int32_t GetContentWidth() const { return 0; }
  virtual int32_t GetContentHeight() const { return 0; }
  // Pixels per wheel line.
  virtual int32_t GetLineStep() const { return 8; }
  // Moves the content by (dx, dy) pixels; the base repaints.
  virtual void ScrollContent(int32_t dx, int32_t dy);
  // The style, palette or fonts changed.
  virtual void ThemeChanged() {}
  // Paints the client area; the painter's origin is the client area's top-left corner and it is
  // clipped to it.
  virtual void PaintClient(QPainter& painter, const QRect& clip);

  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void changeEvent(QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

  int32_t BorderWidth() const { return borderStyle_ == 1 ? 1 : 0; }
  int32_t BarExtent() const;

 private:
  void ApplyBars();
  void BarMoved(bool horizontal, int value);
  void ScrollTo(bool horizontal, int64_t pos);

  uint8_t borderStyle_ = 1;
  uint8_t scrollBars_ = ssBoth;
  bool updatingScrollBars_ = false;
  bool settingBars_ = false;
  bool paintFailureReported_ = false;
  QScrollBar* hBar_ = nullptr;
  QScrollBar* vBar_ = nullptr;
  TvtScrollBarState hState_, vState_;
  TvtWheelAxis wheel_[2];
};

// Follows the widget's style and DPI: Theme is the style the control draws with, reopened when
// the style or the screen changes.
class TvtThemedScrollControl : public TvtScrollControl {
 public:
  explicit TvtThemedScrollControl(QWidget* parent = nullptr);
  int32_t DPI() const { return dpi_; }
  // The style the control's items are drawn with, or null when plain drawing is wanted.
  QStyle* Theme() const { return theme_; }

 protected:
  // The kind of theme the control asks for (a list box asks for item views).
  virtual bool WantsTheme() const { return true; }
  void ThemeChanged() override;
  void showEvent(QShowEvent* event) override;

 private:
  void OpenTheme();
  int32_t dpi_ = 96;
  QStyle* theme_ = nullptr;
};

class TvtCustomListBox : public TvtThemedScrollControl {
 public:
  explicit TvtCustomListBox(QWidget* parent = nullptr);
  // Fills rect as a list item's background (selected, hot) and sets the painter's pen to the
  // item text colour of that state.
  void DrawItemBackground(QPainter& painter, const QRect& rect, bool selected, bool hot);
  // The control colour (what an unselected item's background is).
  QColor ControlColor() const;
};

}  // namespace vt
