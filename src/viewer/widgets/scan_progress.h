// The progress of a long open (a deep scan of a card image): a modal progress dialog with
// Cancel, fed by the open's progress callback on the opening thread. It shows only when the scan
// takes longer than a moment; until then the window takes no input, so nothing can start a
// second open inside the first.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "source/disc_source_thread.h"

class QProgressDialog;
class QWidget;

namespace vt {

class TvtScanProgress {
 public:
  // title: the dialog's caption; fileName: the file being scanned (its name is shown).
  TvtScanProgress(QWidget* owner, const QString& title, const std::string& fileName);
  ~TvtScanProgress();
  TvtScanProgress(const TvtScanProgress&) = delete;
  TvtScanProgress& operator=(const TvtScanProgress&) = delete;

  // How long the scan runs before the dialog shows.
  int DelayMs = 400;

  // The callback for TvtOpenOptions::Progress: shows the dialog once DelayMs have passed, sets
  // its bar and text, lets the window repaint and returns false once Cancel was pressed.
  // Valid while this object lives.
  std::function<bool(int, TvtScanPhase)> Callback();
  // One step of the callback.
  bool Step(int percent, TvtScanPhase phase);
  // The same for other long work: the bar and a line under the file's name.
  bool Step(int percent, const std::string& text);
  // Closes the dialog (the open is over).
  void Finish();

  // The dialog once it shows, else nullptr.
  QProgressDialog* Dialog() const { return dialog_.get(); }

 private:
  QPointer<QWidget> owner_;
  QString title_;
  QString name_;
  QElapsedTimer clock_;
  std::unique_ptr<QProgressDialog> dialog_;
};

}  // namespace vt
