#include "viewer/widgets/thumb_image.h"

#include <QMouseEvent>
#include <QPainter>

#include <cmath>

#include "viewer/widgets/image_view.h"

namespace vt {

TvtThumbImage::TvtThumbImage(QWidget* parent) : TvtScrollControl(parent) {
  SetScrollBars(ssNone);
  setMouseTracking(true);
  core_.OnRepaint = [this] { update(); };
}

TvtThumbPlacement TvtThumbImage::Placement() const {
  const QRect client = ClientRect();
  return FitThumbInView(core_.ShownWidth(), core_.ShownHeight(), client.width(), client.height());
}

QPoint TvtThumbImage::ContentPoint(QPoint clientPoint) const {
  const TvtThumbPlacement place = Placement();
  return {kThumbImageMargin + static_cast<int>(std::lround(place.ToPicture(clientPoint.x(), place.Left))),
          kThumbImageMargin + static_cast<int>(std::lround(place.ToPicture(clientPoint.y(), place.Top)))};
}

QPoint TvtThumbImage::ClientPoint(QPoint contentPoint) const {
  const TvtThumbPlacement place = Placement();
  return {place.ToView(contentPoint.x() - kThumbImageMargin, place.Left),
          place.ToView(contentPoint.y() - kThumbImageMargin, place.Top)};
}

void TvtThumbImage::resizeEvent(QResizeEvent* event) {
  TvtScrollControl::resizeEvent(event);
  core_.SetViewScale(Placement().Scale);
}

void TvtThumbImage::PaintClient(QPainter& painter, const QRect& clip) {
  const QColor control = palette().color(QPalette::Window);
  painter.fillRect(clip, control);
  const TBitmap32* shown = core_.Shown();
  if (shown == nullptr || shown->Empty()) return;
  const TvtThumbPlacement place = Placement();
  core_.SetViewScale(place.Scale);
  // Enlarged pixels stay sharp squares, so a border is cropped to the pixel; a reduced picture
  // is smoothed.
  painter.setRenderHint(QPainter::SmoothPixmapTransform, place.Scale < 1.0);
  painter.drawImage(QRect(place.Left, place.Top, place.Width, place.Height), BitmapImage(*shown));

  // Outside the kept part: the control colour, so only the kept part of the picture shows.
  const TRect c = core_.CropRect();
  const QPoint tl = ClientPoint({c.Left, c.Top}), br = ClientPoint({c.Right, c.Bottom});
  QRegion outside(clip);
  outside -= QRegion(QRect(tl, br - QPoint(1, 1)).normalized());
  for (const QRect& r : outside) painter.fillRect(r, control);

  // Dotted red marks continue the crop rectangle's edges out to the client's borders.
  const QRect client = ClientRect();
  const int32_t left = tl.x(), top = tl.y(), right = br.x() - 1, bottom = br.y() - 1;
  QPen pen(Qt::red, 0, Qt::DotLine);
  painter.setPen(pen);
  painter.drawLine(left, top, left, 0);
  painter.drawLine(left, top, 0, top);
  painter.drawLine(right, top, right, 0);
  painter.drawLine(right, top, client.width(), top);
  painter.drawLine(left, bottom, left, client.height());
  painter.drawLine(left, bottom, 0, bottom);
  painter.drawLine(right, bottom, right, client.height());
  painter.drawLine(right, bottom, client.width(), bottom);
}

Qt::CursorShape CursorForEdges(uint8_t edges) {
  switch (edges) {
    case dsLeft:
    case dsRight: return Qt::SizeHorCursor;
    case dsTop:
    case dsBottom: return Qt::SizeVerCursor;
    case dsTop | dsLeft:
    case dsBottom | dsRight: return Qt::SizeFDiagCursor;
    case dsTop | dsRight:
    case dsBottom | dsLeft: return Qt::SizeBDiagCursor;
    default: return Qt::ArrowCursor;
  }
}

QPoint TvtThumbImage::EventContentPoint(const QMouseEvent* event) const {
  return ContentPoint(event->position().toPoint() - ClientRect().topLeft());
}

void TvtThumbImage::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  core_.SetViewScale(Placement().Scale);
  const QPoint p = EventContentPoint(event);
  core_.BeginDrag(p.x(), p.y());
}

void TvtThumbImage::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = EventContentPoint(event);
  if (core_.DragSides() != 0 && (event->buttons() & Qt::LeftButton)) {
    core_.DragTo(p.x(), p.y());
    return;
  }
  setCursor(CursorForEdges(core_.HitTest(p.x(), p.y())));
}

void TvtThumbImage::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) core_.EndDrag();
}

// --- TvtThumbSpinEdit ---

TvtThumbSpinEdit::TvtThumbSpinEdit(QWidget* parent) : QSpinBox(parent) {
  setRange(0, kMaximum);
  connect(this, &QSpinBox::valueChanged, this, [this](int value) {
    if (updating_ || !image_) return;
    image_->Core().SetCrop(side_, value);
    // The picture may have pulled the value back.
    const int32_t kept = image_->Core().Crop(side_);
    CropChanged(side_);
    if (kept != value && OnClamped) OnClamped(side_, value, kept);
  });
}

TvtThumbSpinEdit::~TvtThumbSpinEdit() {
  if (image_) image_->Core().RemoveClient(this);
}

void TvtThumbSpinEdit::SetImage(TvtThumbImage* image, int32_t side) {
  if (image_) image_->Core().RemoveClient(this);
  image_ = image;
  side_ = side & 3;
  if (image_) image_->Core().AddClient(this);
}

void TvtThumbSpinEdit::CropChanged(int32_t side) {
  if (side != side_ || !image_) return;
  updating_ = true;
  setValue(image_->Core().Crop(side_));
  updating_ = false;
}

}  // namespace vt
