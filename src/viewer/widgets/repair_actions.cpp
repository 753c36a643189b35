#include "viewer/widgets/repair_actions.h"

#include <QMenu>

#include <chrono>

#include "shell/shell_action.h"
#include "viewer/status_text.h"
#include "viewer/widgets/dc_correction_dialog.h"
#include "viewer/widgets/image_view.h"
#include "viewer/widgets/status_bar.h"

namespace vt {

namespace {

// A command whose state and work are given as functions.
class TvtFunctionAction : public TkelShellAction {
 public:
  TvtFunctionAction(const QString& caption, QObject* parent, std::function<void()> run, std::function<bool()> enabled,
                    std::function<bool()> checked = {})
      : TkelShellAction(caption, parent), run_(std::move(run)), enabled_(std::move(enabled)), checked_(std::move(checked)) {
    setCheckable(static_cast<bool>(checked_));
  }
  bool GetEnabled() override { return enabled_(); }
  bool GetChecked() override { return checked_ ? checked_() : false; }
  void DoExecute() override { run_(); }

 private:
  std::function<void()> run_;
  std::function<bool()> enabled_;
  std::function<bool()> checked_;
};

}  // namespace

TvtRepairActions::TvtRepairActions(QWidget* window, TvtImage& image, TvtStatusBar& status, std::function<void()> revert)
    : QObject(window), window_(window), image_(image), status_(status), menu_(new QMenu(tr("&Edit"), window)) {
  auto hasImage = [this] { return image_.Source() != nullptr && image_.Source()->HasImage(); };
  undo_ = Add(tr("&Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z), [this] { image_.Core().UndoEdit(); },
              [this] { return image_.Source() != nullptr && image_.Source()->CanUndo(); });
  redo_ = Add(tr("&Redo"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), [this] { image_.Core().RedoEdit(); },
              [this] { return image_.Source() != nullptr && image_.Source()->CanRedo(); });
  menu_->addSeparator();
  repairMode_ = new TvtFunctionAction(
      tr("&Repair Mode"), this,
      [this] {
        const bool on = !image_.Core().EditingEnabled();
        image_.SetEditingEnabled(on);
        if (on) image_.setFocus(Qt::ShortcutFocusReason);
        status_.Changed();
      },
      [] { return true; }, [this] { return image_.Core().EditingEnabled(); });
  repairMode_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
  menu_->addAction(repairMode_);
  menu_->addSeparator();
  AddEdit(tr("Clear MCU"), QKeySequence(Qt::Key_Delete), TvtEditCommand::Clear);
  AddEdit(tr("Insert MCU"), QKeySequence(Qt::Key_Space), TvtEditCommand::Insert);
  AddEdit(tr("Insert MCU Row"), QKeySequence(Qt::CTRL | Qt::Key_Space), TvtEditCommand::InsertRow);
  AddEdit(tr("Delete MCU"), QKeySequence(Qt::Key_Backspace), TvtEditCommand::Remove);
  menu_->addSeparator();
  AddEdit(tr("Re-decode from Cursor"), QKeySequence(Qt::CTRL | Qt::Key_R), TvtEditCommand::Redecode);
  AddEdit(tr("Search Forward from Cursor"), QKeySequence(Qt::CTRL | Qt::Key_F), TvtEditCommand::SearchForward);
  AddEdit(tr("Search Backward from Cursor"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F),
          TvtEditCommand::SearchBackward);
  AddEdit(tr("Previous Decoded Run"), QKeySequence(Qt::CTRL | Qt::Key_Home), TvtEditCommand::PrevDecodedRunStart);
  AddEdit(tr("Next Decoded Run"), QKeySequence(Qt::CTRL | Qt::Key_End), TvtEditCommand::NextDecodedRunEnd);
  menu_->addSeparator();
  realign_ = Add(tr("Realign Automatically"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R), [this] { RealignNow(); },
                 [this, hasImage] { return hasImage() && image_.Source()->CanEditMCUs(); });
  dcCorrection_ = Add(tr("DC Correction..."), QKeySequence(), [this] { CorrectDc(); }, [this] { return CanEdit(); });
  menu_->addSeparator();
  revert_ = Add(tr("Re&vert"), QKeySequence(), std::move(revert),
                [this] { return image_.Source() != nullptr && !image_.Source()->FileName.empty(); });
}

TkelShellAction* TvtRepairActions::Add(const QString& caption, const QKeySequence& keys, std::function<void()> run,
                                       std::function<bool()> enabled) {
  auto* action = new TvtFunctionAction(caption, this, std::move(run), std::move(enabled));
  action->setShortcut(keys);
  menu_->addAction(action);
  return action;
}

// The view's own key table gives these keys; as shortcuts they apply only while the view has the
// focus, so that Space and Delete keep their meaning in the thumbnail list and the dialogs.
TkelShellAction* TvtRepairActions::AddEdit(const QString& caption, const QKeySequence& keys, TvtEditCommand command) {
  TkelShellAction* action = Add(caption, keys, [this, command] { image_.Core().Execute(command); }, [this] { return CanEdit(); });
  action->setShortcutContext(Qt::WidgetShortcut);
  image_.addAction(action);
  return action;
}

bool TvtRepairActions::CanEdit() const {
  TvtImage& image = image_;
  return image.Core().EditingActive() && image.Source()->CanEditMCUs();
}

void TvtRepairActions::RealignNow() {
  TvtThumbSource& doc = *image_.Source();
  const auto start = std::chrono::steady_clock::now();
  const bool changed = doc.RealignAutomatically();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  status_.ShowReport(QString::fromStdString(RealignText(changed, doc.RepairReport, seconds)));
}

void TvtRepairActions::CorrectDc() {
  TvtThumbSource& doc = *image_.Source();
  TvtMCURun run = image_.Core().DecodedRunAtCursor();
  if (run.Count == 0) {
    const TvtMCUPos c = image_.Core().Cursor();
    run = {c.Row * doc.MCUCols + c.Col, 1};
  }
  TvtDcCorrectionDialog dialog(doc.Jpeg->ScanComponentCount, doc.MCUCols * doc.MCURows - 1, run.First,
                               run.First + run.Count - 1, window_);
  if (dialog.exec() != QDialog::Accepted) return;
  int32_t shift[4];
  dialog.Shift(shift);
  doc.CorrectDC(dialog.First(), dialog.Count(), shift);
}

}  // namespace vt
