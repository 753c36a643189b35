// The Edit menu: undo and redo of every repair, Repair Mode (the image view's MCU editing mode,
// off by default), the editing mode's commands with their keys so that people find them, the
// automatic realignment, a manual DC correction of a run of MCUs, and Revert (the file opened
// again). The MCU commands' keys work while the view has the keyboard focus, as the view's own
// key table says; the others anywhere in the window.
#pragma once

#include <QObject>
#include <functional>

#include "viewer/image_view_core.h"

class QMenu;
class QWidget;

namespace vt {

class TkelShellAction;
class TvtImage;
class TvtStatusBar;

class TvtRepairActions : public QObject {
 public:
  // revert: opens the document's file again.
  TvtRepairActions(QWidget* window, TvtImage& image, TvtStatusBar& status, std::function<void()> revert);

  QMenu* Menu() const { return menu_; }
  TkelShellAction* RepairMode() const { return repairMode_; }
  TkelShellAction* Undo() const { return undo_; }
  TkelShellAction* Redo() const { return redo_; }
  TkelShellAction* Realign() const { return realign_; }
  TkelShellAction* DcCorrection() const { return dcCorrection_; }
  TkelShellAction* Revert() const { return revert_; }

  // Edit > Realign Automatically: realigns, then tells what was done and how long it took.
  void RealignNow();
  // Edit > DC Correction...: the dialog for the decoded run at the cursor, then the correction.
  void CorrectDc();

 private:
  TkelShellAction* Add(const QString& caption, const QKeySequence& keys, std::function<void()> run,
                       std::function<bool()> enabled);
  TkelShellAction* AddEdit(const QString& caption, const QKeySequence& keys, TvtEditCommand command);
  bool CanEdit() const;

  QWidget* window_;
  TvtImage& image_;
  TvtStatusBar& status_;
  QMenu* menu_;
  TkelShellAction* repairMode_ = nullptr;
  TkelShellAction* undo_ = nullptr;
  TkelShellAction* redo_ = nullptr;
  TkelShellAction* realign_ = nullptr;
  TkelShellAction* dcCorrection_ = nullptr;
  TkelShellAction* revert_ = nullptr;
};

}  // namespace vt
