#include "viewer/widgets/thumb_box.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include "shell/error_box.h"
#include "viewer/widgets/image_view.h"
#include "viewer/widgets/resizer_timer.h"
#include "viewer/widgets/thumb_image_form.h"

namespace vt {

TvtThumbBox::TvtThumbBox(QWidget* parent, TvtGR32Resizer* resizer)
    : TvtCustomListBox(parent), core_(*this, resizer) {
  InstallResizerTimer(resizer);
  SetScrollBars(ssVertical);
  setFocusPolicy(Qt::StrongFocus);
  MeasureText();
  FitWidthToContent(true);
}

TvtThumbBox::~TvtThumbBox() { core_.SetSource(nullptr); }

void TvtThumbBox::SetImage(TvtImage* image) { image_ = image; }
TvtImage* TvtThumbBox::Image() const { return image_; }

void TvtThumbBox::MeasureText() { core_.SetTextHeight(fontMetrics().size(Qt::TextSingleLine, "qW").height()); }

void TvtThumbBox::ThemeChanged() {
  TvtCustomListBox::ThemeChanged();
  MeasureText();
  UpdateScrollBars();
  core_.Invalidate();
  update();
}

void TvtThumbBox::ScrollContentInView(const TRect& rect) {
  const QPoint tl = ContentToClient({rect.Left, rect.Top}), br = ContentToClient({rect.Right, rect.Bottom});
  ScrollInView(MakeRect(tl.x(), tl.y(), br.x(), br.y()));
}

void TvtThumbBox::ScrollContent(int32_t, int32_t) { update(); }

void TvtThumbBox::RebuildPicture() {
  backBuffer_.SetSize(core_.ContentWidth(), core_.ContentHeight());
  core_.SetPictureValid();
  if (backBuffer_.Empty()) return;
  QImage image(reinterpret_cast<uchar*>(backBuffer_.Bits()), backBuffer_.Width(), backBuffer_.Height(),
               static_cast<qsizetype>(backBuffer_.Width()) * 4, QImage::Format_ARGB32);
  QPainter painter(&image);
  painter.fillRect(image.rect(), ControlColor());
  const int32_t captionOffset = TvtThumbBoxCore::MarginY + TvtThumbBoxCore::CellHeight + 2;
  for (int32_t i = 0; i < core_.Count(); ++i) {
    const TRect r = core_.GetItemRect(i);
    const QRect entry(r.Left, r.Top, r.Width(), r.Height());
    DrawItemBackground(painter, entry, i == core_.SelectedIndex(), false);
    const QColor textColor = painter.pen().color();
    const QRect captionRect(0, r.Top + captionOffset, core_.EntryWidth(), core_.TextHeight());
    TvtThumbBoxItem* item = core_.GetItem(i);
    if (item->Thumb != nullptr) {
      const TvtThumbBoxCore::TDrawnPicture drawn = core_.PrepareEntryPicture(i);
      if (drawn.Picture != nullptr) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(QRect(drawn.Place.Left, drawn.Place.Top, drawn.Place.Width(), drawn.Place.Height()),
                          BitmapImage(*drawn.Picture));
      }
      painter.setPen(textColor);
      painter.drawText(captionRect, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine,
                       QString::fromStdString(TvtThumbBoxCore::Caption(*item->Thumb)));
    } else {
      painter.setPen(textColor);
      painter.drawText(captionRect, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, kNoThumbnailText);
      const TRect cell = core_.CellRect(i);
      painter.setBrush(Qt::NoBrush);
      painter.drawRect(QRect(cell.Left, cell.Top, cell.Width() - 1, cell.Height() - 1));
    }
  }
}

void TvtThumbBox::PaintClient(QPainter& painter, const QRect& clip) {
  if (!core_.PictureValid() || backBuffer_.Width() != core_.ContentWidth() ||
      backBuffer_.Height() != core_.ContentHeight())
    RebuildPicture();
  painter.fillRect(clip, ControlColor());
  const QPoint origin = ContentToClient({0, 0});
  if (!backBuffer_.Empty()) painter.drawImage(origin, BitmapImage(backBuffer_));
  if (!hasFocus() || !ShowFocus) return;
  // The focus rectangle: around the selected entry, or the first entry's place in an empty list.
  const int32_t index = core_.SelectedIndex() >= 0 ? core_.SelectedIndex() : 0;
  if (core_.Count() > 0 && core_.SelectedIndex() < 0) return;
  const TRect r = core_.GetItemRect(index);
  QStyleOptionFocusRect option;
  option.initFrom(this);
  option.rect = QRect(r.Left + origin.x(), r.Top + origin.y(), r.Width(), r.Height());
  style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

void TvtThumbBox::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  const QPoint p = ClientToContent(event->position().toPoint() - ClientRect().topLeft());
  const int32_t index = core_.ItemAt(p.x(), p.y());
  if (index >= 0) core_.SelectItem(index);
}

void TvtThumbBox::mouseDoubleClickEvent(QMouseEvent* event) {
  mousePressEvent(event);
  // Only a double click on an entry edits it (not one on the empty space below the list).
  const QPoint p = ClientToContent(event->position().toPoint() - ClientRect().topLeft());
  if (event->button() == Qt::LeftButton && core_.ItemAt(p.x(), p.y()) >= 0) RunEditSelected();
}

void TvtThumbBox::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      RunEditSelected();
      break;
    case Qt::Key_Up:
      core_.SelectPrevious();
      break;
    case Qt::Key_Down:
      core_.SelectNext();
      break;
    default:
      TvtCustomListBox::keyPressEvent(event);
      return;
  }
  event->accept();
}

void TvtThumbBox::RunEditSelected() {
  try {
    EditSelected();
  } catch (...) {
    ShowError(window(), std::current_exception(), {}, {}, {}, mbOK, esError);
  }
}

void TvtThumbBox::EditSelected() {
  TvtThumbSource* doc = core_.Source();
  const int32_t index = core_.SelectedIndex();
  if (doc == nullptr || index < 0 || core_.IsLastEntry(index)) return;
  TvtThumb* thumb = doc->GetThumbs(index);
  if (thumb == nullptr) return;
  uint8_t o = 0;
  int32_t l = 0, t = 0, r = 0, b = 0;
  doc->GetThumbTransform(index, o, l, t, r, b);
  TvtThumbImageForm form(parentWidget() ? parentWidget()->window() : window(), *thumb->Bitmap, doc->FileName);
  if (form.Execute(o, l, t, r, b)) doc->SetThumbTransform(index, o, l, t, r, b);
}

}  // namespace vt
