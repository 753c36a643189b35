#include "viewer/widgets/image_view.h"

#include <QCoreApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QTimer>
#include <QWheelEvent>

#include <optional>

#include "shell/error_box.h"
#include "viewer/widgets/resizer_timer.h"

namespace vt {

QImage BitmapImage(const TBitmap32& bitmap) {
  if (bitmap.Empty()) return QImage();
  return QImage(reinterpret_cast<const uchar*>(bitmap.Bits()), bitmap.Width(), bitmap.Height(),
                static_cast<qsizetype>(bitmap.Width()) * 4, QImage::Format_ARGB32);
}

TvtImage::TvtImage(QWidget* parent, TvtGR32Resizer* resizer) : TvtScrollControl(parent), core_(*this, resizer) {
  core_.DeferResize = true;
  InstallResizerTimer();
  SetBorderStyle(0);
  setFocusPolicy(Qt::StrongFocus);  // a tab stop that takes clicks and the arrow keys
  if (QCoreApplication::instance() != nullptr) QCoreApplication::instance()->installEventFilter(this);
}

TvtImage::~TvtImage() { core_.SetSource(nullptr); }

void TvtImage::SetEditingEnabled(bool value) {
  core_.SetEditingEnabled(value);
  setFocusPolicy(value ? Qt::StrongFocus : Qt::NoFocus);
  if (!value && hasFocus()) focusNextChild();
}

void TvtImage::PaintClient(QPainter& painter, const QRect&) {
  // The picture is made for the screen's own pixels, so that a high-density screen shows the
  // photo at its resolution instead of a low-density picture scaled up.
  const qreal ratio = devicePixelRatioF();
  const QSize pixels = DevicePixels();
  core_.SetScroll(qRound(ScrollX() * ratio), qRound(ScrollY() * ratio));
  const TBitmap32& picture = core_.Picture(pixels.width(), pixels.height());
  QImage image = BitmapImage(picture);
  image.setDevicePixelRatio(ratio);
  painter.drawImage(0, 0, image);
  // The smooth picture's job (a copy of the whole image) is asked for once this one is on screen.
  if (core_.ResizeDue()) QTimer::singleShot(0, this, [this] { core_.RequestDueResize(); });
  if (Painted) Painted();
  if (!core_.EditingActive()) return;
  const TRect r = core_.CursorRect();
  if (r.IsEmpty()) return;
  // Its right and bottom sides lie on the first column and row after the MCU.
  const QRect frame(r.Left, r.Top, r.Width(), r.Height());
  painter.save();
  painter.scale(1.0 / ratio, 1.0 / ratio);
  painter.setPen(QPen(Qt::red, 0));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(frame);
  painter.restore();
  if (hasFocus() && ShowFocus) {
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = ToLogical(frame.adjusted(0, 0, 1, 1));
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
  }
}

QSize TvtImage::DevicePixels() const {
  const qreal ratio = devicePixelRatioF();
  const QRect client = ClientRect();
  return QSize(qRound(client.width() * ratio), qRound(client.height() * ratio));
}

QRect TvtImage::ToLogical(const QRect& pixels) const {
  const qreal ratio = devicePixelRatioF();
  return QRectF(pixels.x() / ratio, pixels.y() / ratio, pixels.width() / ratio, pixels.height() / ratio)
      .toAlignedRect();
}

void TvtImage::ScrollInView(const TRect& rect) {
  const QRect r = ToLogical(QRect(rect.Left, rect.Top, rect.Width(), rect.Height()));
  TvtScrollControl::ScrollInView(MakeRect(r.left(), r.top(), r.left() + r.width(), r.top() + r.height()));
}

void TvtImage::ScrollTo(int32_t x, int32_t y) {
  const qreal ratio = devicePixelRatioF();
  SetScrollX(qRound(x / ratio));
  SetScrollY(qRound(y / ratio));
}

int32_t TvtImage::GetContentWidth() const { return qRound(core_.ContentSize().Width / devicePixelRatioF()); }
int32_t TvtImage::GetContentHeight() const { return qRound(core_.ContentSize().Height / devicePixelRatioF()); }

void TvtImage::ScrollContent(int32_t, int32_t) {
  core_.Invalidate();
  update();
}

QPoint TvtImage::DevicePoint(const QPointF& p) const {
  const QPointF d = (p - QPointF(ClientRect().topLeft())) * devicePixelRatioF();
  return QPoint(int(d.x()), int(d.y()));
}

void TvtImage::wheelEvent(QWheelEvent* event) {
  if (event->modifiers() & Qt::ControlModifier) {
    const QPoint at = DevicePoint(event->position());
    core_.WheelZoom(event->angleDelta().y(), at.x(), at.y());
    event->accept();
    return;
  }
  TvtScrollControl::wheelEvent(event);
}

void TvtImage::mouseMoveEvent(QMouseEvent* event) {
  if (!panning_) {
    TvtScrollControl::mouseMoveEvent(event);
    return;
  }
  const QPointF d = event->position() - panFrom_;
  panFrom_ = event->position();
  SetScrollX(ScrollX() - qRound(d.x()));
  SetScrollY(ScrollY() - qRound(d.y()));
}

void TvtImage::mouseReleaseEvent(QMouseEvent* event) {
  if (panning_) {
    panning_ = false;
    unsetCursor();
    return;
  }
  TvtScrollControl::mouseReleaseEvent(event);
}


void TvtImage::resizeEvent(QResizeEvent* event) {
  core_.Invalidate();
  TvtScrollControl::resizeEvent(event);
}

void TvtImage::ThemeChanged() {
  core_.Invalidate();
  update();
}

void TvtImage::mousePressEvent(QMouseEvent* event) {
  const bool pan = event->button() == Qt::MiddleButton ||
                   (event->button() == Qt::LeftButton && spaceHeld_ && !core_.EditingActive());
  if (pan) {
    panning_ = true;
    panFrom_ = event->position();
    setCursor(Qt::ClosedHandCursor);
    return;
  }
  if (focusPolicy() & Qt::ClickFocus) setFocus(Qt::MouseFocusReason);  // only while editing
  const QPointF p = (event->position() - QPointF(ClientRect().topLeft())) * devicePixelRatioF();
  core_.ClickAt(static_cast<int32_t>(p.x()), static_cast<int32_t>(p.y()));
}

namespace {

std::optional<TvtEditCommand> CommandForKey(int key, Qt::KeyboardModifiers modifiers) {
  const Qt::KeyboardModifiers mods = modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
  if (mods == Qt::NoModifier) {
    switch (key) {
      case Qt::Key_Left: return TvtEditCommand::Left;
      case Qt::Key_Right: return TvtEditCommand::Right;
      case Qt::Key_Up: return TvtEditCommand::Up;
      case Qt::Key_Down: return TvtEditCommand::Down;
      case Qt::Key_Home: return TvtEditCommand::Home;
      case Qt::Key_End: return TvtEditCommand::End;
      case Qt::Key_Delete: return TvtEditCommand::Clear;
      case Qt::Key_Space: return TvtEditCommand::Insert;
      case Qt::Key_Backspace: return TvtEditCommand::Remove;
      default: return std::nullopt;
    }
  }
  if (mods == Qt::ControlModifier) {
    switch (key) {
      case Qt::Key_Home: return TvtEditCommand::PrevDecodedRunStart;
      case Qt::Key_End: return TvtEditCommand::NextDecodedRunEnd;
      case Qt::Key_Space: return TvtEditCommand::InsertRow;
      case Qt::Key_R: return TvtEditCommand::Redecode;
      case Qt::Key_F: return TvtEditCommand::SearchForward;
      default: return std::nullopt;
    }
  }
  if (mods == (Qt::ControlModifier | Qt::ShiftModifier) && key == Qt::Key_F) return TvtEditCommand::SearchBackward;
  return std::nullopt;
}

}  // namespace

bool TvtImage::eventFilter(QObject* watched, QEvent* event) {
  const bool press = event->type() == QEvent::KeyPress, release = event->type() == QEvent::KeyRelease;
  if ((press || release) && isVisible()) {
    auto* key = static_cast<QKeyEvent*>(event);
    // In the editing mode Space inserts an MCU; elsewhere it is the panning key.
    if (key->key() == Qt::Key_Space && !core_.EditingActive() && (release || underMouse())) {
      if (!key->isAutoRepeat()) spaceHeld_ = press;
      if (press) return true;
    }
  }
  return TvtScrollControl::eventFilter(watched, event);
}

void TvtImage::keyPressEvent(QKeyEvent* event) {
  const std::optional<TvtEditCommand> command = CommandForKey(event->key(), event->modifiers());
  bool done = false;
  if (command) {
    try {
      done = core_.Execute(*command);
    } catch (...) {
      // An editing command that fails is reported like any other command.
      ShowError(window(), std::current_exception(), {}, {}, {}, mbOK, esError);
      done = true;
    }
  }
  if (done) {
    event->accept();
    return;
  }
  TvtScrollControl::keyPressEvent(event);
}

}  // namespace vt
