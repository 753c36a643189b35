// File > "Save All Found...": the pictures the last deep scan (or open with reference photos)
// found, each written as a restored JPEG into a folder the user chooses, with a progress dialog
// whose Cancel stops before the next picture; a box then says how many were written, where,
// and which failed.
#pragma once

#include <QPointer>

#include "shell/shell_action.h"
#include "viewer/widgets/file_dialog.h"

namespace vt {

class TvtDeepOpen;

class TvtSaveAllFoundAction : public TkelShellAction {
 public:
  TvtSaveAllFoundAction(TvtDeepOpen& deepOpen, QObject* parent);
  // Another folder dialog (the tests give one that answers by itself).
  void SetDialog(TvtFileDialog* dialog) { dialog_ = dialog; }
  // The last open found at least one picture.
  bool GetEnabled() override;
  void DoExecute() override;
  // How long the run goes before its progress dialog shows.
  int ProgressDelayMs = 400;

 private:
  TvtDeepOpen& deepOpen_;
  QPointer<TvtFileDialog> dialog_;
};

}  // namespace vt
