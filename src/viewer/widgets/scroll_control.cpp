#include "viewer/widgets/scroll_control.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QWheelEvent>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>

namespace vt {

TvtScrollControl::TvtScrollControl(QWidget* parent) : QWidget(parent) {
  // The subclasses paint every pixel of the client area themselves.
  setAttribute(Qt::WA_OpaquePaintEvent);
  hBar_ = new QScrollBar(Qt::Horizontal, this);
  vBar_ = new QScrollBar(Qt::Vertical, this);
  hBar_->hide();
  vBar_->hide();
  hBar_->setFocusPolicy(Qt::NoFocus);
  vBar_->setFocusPolicy(Qt::NoFocus);
  connect(hBar_, &QScrollBar::valueChanged, this, [this](int v) { BarMoved(true, v); });
  connect(vBar_, &QScrollBar::valueChanged, this, [this](int v) { BarMoved(false, v); });
  resize(500, height());
}

void TvtScrollControl::SetBorderStyle(uint8_t value) {
  if (value == borderStyle_) return;
  borderStyle_ = value;
  UpdateScrollBars();
  update();
}

void TvtScrollControl::SetScrollBars(uint8_t value) {
  if (value == scrollBars_) return;
  scrollBars_ = value;
  UpdateScrollBars();
}

int32_t TvtScrollControl::BarExtent() const { return style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this); }

QRect TvtScrollControl::ClientRect() const {
  const int32_t b = BorderWidth();
  const int32_t w = width() - 2 * b - (vState_.Visible ? BarExtent() : 0);
  const int32_t h = height() - 2 * b - (hState_.Visible ? BarExtent() : 0);
  return QRect(b, b, std::max(w, 0), std::max(h, 0));
}

void TvtScrollControl::UpdateScrollBars() {
  if (updatingScrollBars_) return;
  updatingScrollBars_ = true;
  TvtScrollBarsInput in;
  in.ScrollBars = scrollBars_;
  in.ContentWidth = GetContentWidth();
  in.ContentHeight = GetContentHeight();
  const QRect client = ClientRect();
  in.ClientWidth = client.width();
  in.ClientHeight = client.height();
  in.Horizontal = hState_;
  in.Vertical = vState_;
  in.VerticalBarWidth = in.HorizontalBarHeight = BarExtent();
  const TvtScrollBars bars = ComputeScrollBars(in);
  const int32_t oldX = ScrollX(), oldY = ScrollY();
  hState_ = bars.Horizontal;
  vState_ = bars.Vertical;
  ApplyBars();
  if (oldX != ScrollX() || oldY != ScrollY()) ScrollContent(oldX - ScrollX(), oldY - ScrollY());
  updatingScrollBars_ = false;
}

void TvtScrollControl::ApplyBars() {
  settingBars_ = true;
  const int32_t b = BorderWidth(), ext = BarExtent();
  const QRect client = ClientRect();
  const int32_t line = std::max(1, logicalDpiX() * 10 / 96);
  auto apply = [&](QScrollBar* bar, const TvtScrollBarState& s, const QRect& place) {
    bar->setVisible(s.Visible);
    if (!s.Visible) return;
    bar->setGeometry(place);
    bar->setRange(0, s.MaxPos());
    bar->setPageStep(std::max(s.Page, 1));
    bar->setSingleStep(line);
    bar->setValue(s.Pos);
  };
  apply(hBar_, hState_, QRect(b, height() - b - ext, client.width(), ext));
  apply(vBar_, vState_, QRect(width() - b - ext, b, ext, client.height()));
  settingBars_ = false;
}

int32_t TvtScrollControl::ScrollX() const { return hState_.Visible ? hState_.Pos : 0; }
int32_t TvtScrollControl::ScrollY() const { return vState_.Visible ? vState_.Pos : 0; }

void TvtScrollControl::ScrollTo(bool horizontal, int64_t pos) {
  TvtScrollBarState& s = horizontal ? hState_ : vState_;
  if (!s.Visible) return;
  const int32_t clamped = ClampScrollPos(s, pos);
  if (clamped == s.Pos) return;
  const int32_t old = s.Pos;
  s.Pos = clamped;
  settingBars_ = true;
  (horizontal ? hBar_ : vBar_)->setValue(clamped);
  settingBars_ = false;
  if (horizontal)
    ScrollContent(old - clamped, 0);
  else
    ScrollContent(0, old - clamped);
}

void TvtScrollControl::SetScrollX(int32_t value) { ScrollTo(true, value); }
void TvtScrollControl::SetScrollY(int32_t value) { ScrollTo(false, value); }

void TvtScrollControl::BarMoved(bool horizontal, int value) {
  if (settingBars_) return;
  ScrollTo(horizontal, value);
}

QPoint TvtScrollControl::ClientToContent(QPoint p) const {
  const QRect client = ClientRect();
  return {p.x() - ContentOrigin(hState_.Visible, ScrollX(), CenterHorizontally, client.width(), GetContentWidth()),
          p.y() - ContentOrigin(vState_.Visible, ScrollY(), CenterVertically, client.height(), GetContentHeight())};
}

QPoint TvtScrollControl::ContentToClient(QPoint p) const {
  const QRect client = ClientRect();
  return {p.x() + ContentOrigin(hState_.Visible, ScrollX(), CenterHorizontally, client.width(), GetContentWidth()),
          p.y() + ContentOrigin(vState_.Visible, ScrollY(), CenterVertically, client.height(), GetContentHeight())};
}

void TvtScrollControl::ScrollInView(const TRect& rect) {
  const QRect client = ClientRect();
  // The rectangle in content coordinates, then the positions that show it.
  const QPoint topLeft = ClientToContent({rect.Left, rect.Top});
  const QPoint bottomRight = ClientToContent({rect.Right, rect.Bottom});
  if (hState_.Visible) ScrollTo(true, ScrollPosToShow(ScrollX(), client.width(), topLeft.x(), bottomRight.x()));
  if (vState_.Visible) ScrollTo(false, ScrollPosToShow(ScrollY(), client.height(), topLeft.y(), bottomRight.y()));
}

void TvtScrollControl::FitWidthToContent(bool allowForBar) {
  int32_t w = GetContentWidth() + 2 * BorderWidth();
  if (vState_.Visible || allowForBar) w += BarExtent();
  setFixedWidth(w);
}

void TvtScrollControl::ScrollContent(int32_t, int32_t) { update(); }

void TvtScrollControl::PaintClient(QPainter& painter, const QRect& clip) {
  painter.fillRect(clip, palette().color(QPalette::Base));
}

void TvtScrollControl::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const QRect client = ClientRect();
  if (BorderWidth() > 0) {
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
  }
  if (hState_.Visible && vState_.Visible) {
    const int32_t ext = BarExtent();
    painter.fillRect(QRect(client.right() + 1, client.bottom() + 1, ext, ext), palette().color(QPalette::Window));
  }
  const QRect clip = event->rect().intersected(client);
  if (clip.isEmpty()) return;
  painter.save();
  painter.setClipRect(clip);
  painter.translate(client.topLeft());
  // Nothing may leave a paint event (Qt would end the program): a failed picture leaves the
  // area plain, and the failure is told once per control.
  bool failed = true;
  std::string failure = "unknown error";
  try {
    PaintClient(painter, clip.translated(-client.topLeft()));
    failed = false;
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
  }
  if (failed) {
    painter.fillRect(clip.translated(-client.topLeft()), palette().color(QPalette::Window));
    if (!paintFailureReported_) std::fprintf(stderr, "Painting failed: %s\n", failure.c_str());
    paintFailureReported_ = true;
  }
  painter.restore();
}

void TvtScrollControl::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  UpdateScrollBars();
  ApplyBars();  // the bars follow the new edges even when their state stays
}

void TvtScrollControl::wheelEvent(QWheelEvent* event) {
  const QPoint delta = event->angleDelta();
  bool used = false;
  for (int axis = 0; axis < 2; ++axis) {
    const bool horizontal = axis == 0;
    const int32_t d = horizontal ? delta.x() : delta.y();
    const TvtScrollBarState& s = horizontal ? hState_ : vState_;
    if (d == 0 || !s.Visible) continue;
    const int32_t lines = QApplication::wheelScrollLines();
    const int32_t pixels = WheelScrollPixels(wheel_[axis], d, static_cast<int64_t>(event->timestamp()),
                                             QApplication::doubleClickInterval(), lines > 0 ? lines : 3,
                                             GetLineStep(), s.Page);
    ScrollTo(horizontal, int64_t(s.Pos) + pixels);
    used = true;
  }
  if (used)
    event->accept();
  else
    event->ignore();
}

void TvtScrollControl::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  switch (event->type()) {
    case QEvent::StyleChange:
    case QEvent::FontChange:
    case QEvent::PaletteChange:
      ThemeChanged();
      break;
    default:
      break;
  }
}

void TvtScrollControl::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  if (ShowFocus) update();
}

void TvtScrollControl::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  if (ShowFocus) update();
}

// --- TvtThemedScrollControl ---

TvtThemedScrollControl::TvtThemedScrollControl(QWidget* parent) : TvtScrollControl(parent) { OpenTheme(); }

void TvtThemedScrollControl::OpenTheme() {
  dpi_ = logicalDpiX();
  theme_ = WantsTheme() ? style() : nullptr;
}

void TvtThemedScrollControl::ThemeChanged() { OpenTheme(); }

void TvtThemedScrollControl::showEvent(QShowEvent* event) {
  TvtScrollControl::showEvent(event);
  if (dpi_ != logicalDpiX()) {
    OpenTheme();
    UpdateScrollBars();
  }
}

// --- TvtCustomListBox ---

TvtCustomListBox::TvtCustomListBox(QWidget* parent) : TvtThemedScrollControl(parent) {}

QColor TvtCustomListBox::ControlColor() const { return palette().color(QPalette::Base); }

void TvtCustomListBox::DrawItemBackground(QPainter& painter, const QRect& rect, bool selected, bool hot) {
  const QPalette& pal = palette();
  if (Theme() == nullptr) {
    painter.fillRect(rect, selected ? pal.color(QPalette::Highlight) : ControlColor());
    painter.setPen(selected ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::Text));
    return;
  }
  painter.fillRect(rect, ControlColor());
  if (selected || hot) {
    QStyleOptionViewItem option;
    option.initFrom(this);
    option.rect = rect;
    option.showDecorationSelected = true;
    option.state = QStyle::State_Enabled;
    if (selected) option.state |= QStyle::State_Selected | QStyle::State_Active;
    if (hot) option.state |= QStyle::State_MouseOver;
    Theme()->drawPrimitive(QStyle::PE_PanelItemViewItem, &option, &painter, this);
  }
  painter.setPen(selected ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::Text));
}

}  // namespace vt
