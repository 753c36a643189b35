#include "viewer/widgets/scan_progress.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProgressDialog>

#include <algorithm>

#include "viewer/found_images.h"

namespace vt {

TvtScanProgress::TvtScanProgress(QWidget* owner, const QString& title, const std::string& fileName)
    : owner_(owner), title_(title), name_(QFileInfo(QString::fromStdString(fileName)).fileName()) {
  clock_.start();
}

TvtScanProgress::~TvtScanProgress() { Finish(); }

std::function<bool(int, TvtScanPhase)> TvtScanProgress::Callback() {
  return [this](int percent, TvtScanPhase phase) { return Step(percent, phase); };
}

bool TvtScanProgress::Step(int percent, TvtScanPhase phase) {
  const std::string text = ScanPhaseText(phase);
  return Step(percent, text.empty() ? text : text + "...");
}

bool TvtScanProgress::Step(int percent, const std::string& line) {
  if (!dialog_ && clock_.elapsed() >= DelayMs) {
    dialog_ = std::make_unique<QProgressDialog>(owner_);
    dialog_->setWindowTitle(title_);
    dialog_->setWindowModality(Qt::ApplicationModal);
    dialog_->setRange(0, 100);
    dialog_->setAutoReset(false);
    dialog_->setAutoClose(false);
    dialog_->setMinimumDuration(0);
    dialog_->setMinimumWidth(360);
    dialog_->show();
  }
  if (dialog_) {
    const QString text = QString::fromStdString(line);
    dialog_->setLabelText(text.isEmpty() ? name_ : name_ + "\n" + text);
    dialog_->setValue(std::clamp(percent, 0, 100));
    // The modal dialog keeps every other window from input; its Cancel button works.
    QCoreApplication::processEvents();
    return !dialog_->wasCanceled();
  }
  // Before the dialog shows: repaint, but take no input (a click could start another open).
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  return true;
}

void TvtScanProgress::Finish() {
  if (!dialog_) return;
  dialog_->hide();
  dialog_.reset();
}

}  // namespace vt
