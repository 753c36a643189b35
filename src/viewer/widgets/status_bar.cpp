#include "viewer/widgets/status_bar.h"

#include <QLabel>
#include <QTimer>

#include "viewer/status_text.h"
#include "viewer/widgets/image_view.h"

namespace vt {

double ViewZoomPercent(TvtImage& image) { return image.ZoomPercent(); }

TvtStatusBar::TvtStatusBar(TvtImage& image, QWidget* parent)
    : QStatusBar(parent),
      image_(image),
      report_(new QLabel(this)),
      facts_(new QLabel(this)),
      zoom_(new QLabel(this)),
      cursor_(new QLabel(this)) {
  // The texts never widen the window: a label too narrow for its text cuts it (the whole text
  // is its tool tip).
  for (QLabel* label : {cursor_, report_, facts_}) {
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    label->setMinimumWidth(1);
  }
  addWidget(cursor_, 2);
  addWidget(report_, 2);
  addWidget(facts_, 4);
  addWidget(zoom_, 0);
  zoom_->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("Zoom 1000 %")) + 8);
  Refresh();
}

void TvtStatusBar::Changed() {
  if (pending_) return;
  pending_ = true;
  QTimer::singleShot(0, this, [this] {
    pending_ = false;
    Refresh();
  });
}

void TvtStatusBar::ShowReport(const QString& text) {
  report_->setText(text);
  report_->setToolTip(text);
}

void TvtStatusBar::Refresh() {
  const TvtThumbSource* doc = image_.Source();
  QString facts;
  if (doc != nullptr)
    for (const std::string& field : DocumentStatus(*doc))
      facts += (facts.isEmpty() ? QString() : QStringLiteral("  |  ")) + QString::fromStdString(field);
  if (facts.isEmpty()) ShowReport({});  // a new document, or none
  facts_->setText(facts);
  facts_->setToolTip(facts);
  zoom_->setText(facts.isEmpty() ? QString() : QString::fromStdString(ZoomText(ViewZoomPercent(image_))));
  const bool editing = doc != nullptr && image_.Core().EditingActive();
  cursor_->setText(editing ? QString::fromStdString(CursorText(*doc, image_.Core().Cursor())) : QString());
  cursor_->setVisible(editing);
}

QString TvtStatusBar::Facts() const { return facts_->text(); }
QString TvtStatusBar::Zoom() const { return zoom_->text(); }
QString TvtStatusBar::Cursor() const { return cursor_->text(); }
QString TvtStatusBar::Report() const { return report_->text(); }

}  // namespace vt
