// The main window's status bar: what the picture is and how much of it decoded (the texts of
// viewer/status_text.h), the zoom, the MCU under the cursor in repair mode, and on the left
// what the last realignment did, until the next file.
#pragma once

#include <QStatusBar>
#include <QString>

class QLabel;

namespace vt {

class TvtImage;

// The zoom the view shows the picture at, in percent.
double ViewZoomPercent(TvtImage& image);

class TvtStatusBar : public QStatusBar {
 public:
  TvtStatusBar(TvtImage& image, QWidget* parent = nullptr);
  // Reads the document and the view again (at once; Changed() asks for it once the event
  // loop runs, so that many changes cost one refresh).
  void Refresh();
  void Changed();
  // A report that stays until the next document ("" clears it).
  void ShowReport(const QString& text);
  QString Facts() const;
  QString Zoom() const;
  QString Cursor() const;
  QString Report() const;

 private:
  TvtImage& image_;
  QLabel* report_;
  QLabel* facts_;
  QLabel* zoom_;
  QLabel* cursor_;
  bool pending_ = false;
};

}  // namespace vt
