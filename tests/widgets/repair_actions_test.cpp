// The Edit menu and the status bar of the main window, offscreen: the repair commands with their
// keys, Repair Mode switching the view's editing mode on, keys that edit only where the view has
// the focus, the realignment's report, the DC correction's run, Revert, and the status texts.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QSpinBox>
#include <QKeyEvent>
#include <QTimer>

#include "viewer/widgets/dc_correction_dialog.h"
#include "viewer/widgets/image_view.h"
#include "viewer/widgets/main_form.h"
#include "viewer/widgets/repair_actions.h"
#include "viewer/widgets/status_bar.h"
#include "viewer/widgets/thumb_box.h"
#include "widgets/widget_support.h"

namespace vt {
namespace {

class RepairActionsTest : public test::RecordedErrorBoxes {};

void Key(QWidget* widget, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(widget, &press);
}

QStringList Sample() { return {QString::fromStdString(test::SamplePath())}; }

TEST_F(RepairActionsTest, TheEditMenuListsTheRepairsWithTheirKeys) {
  TMainForm form(Sample());
  QStringList items;
  for (QAction* a : form.RepairActions().Menu()->actions())
    if (!a->isSeparator()) items << a->text() + "\t" + a->shortcut().toString();
  EXPECT_EQ(items, (QStringList{"&Undo\tCtrl+Z", "&Redo\tCtrl+Shift+Z", "&Repair Mode\tCtrl+E", "Clear MCU\tDel",
                                "Insert MCU\tSpace", "Insert MCU Row\tCtrl+Space", "Delete MCU\tBackspace",
                                "Re-decode from Cursor\tCtrl+R", "Search Forward from Cursor\tCtrl+F",
                                "Search Backward from Cursor\tCtrl+Shift+F", "Previous Decoded Run\tCtrl+Home",
                                "Next Decoded Run\tCtrl+End", "Realign Automatically\tCtrl+Shift+R",
                                "DC Correction...\t", "Re&vert\t"}));
  EXPECT_EQ(form.menuBar()->actions().at(1)->text(), "&Edit");
}

TEST_F(RepairActionsTest, RepairModeEditsThroughTheKeysOfTheViewAndUndoTakesItBack) {
  TMainForm form(Sample());
  form.show();
  QApplication::setActiveWindow(&form);
  QCoreApplication::processEvents();
  TvtThumbSource& doc = form.Source();
  ASSERT_TRUE(doc.CanEditMCUs());
  TvtRepairActions& edit = form.RepairActions();
  test::RefreshActions();
  EXPECT_FALSE(edit.RepairMode()->isChecked());
  EXPECT_FALSE(edit.Undo()->isEnabled());
  // Space in the thumbnail list is the list's: the editing mode is off and the view has no focus.
  Key(&form.ThumbBox(), Qt::Key_Space);
  EXPECT_FALSE(doc.CanUndo());

  edit.RepairMode()->trigger();
  test::RefreshActions();
  EXPECT_TRUE(edit.RepairMode()->isChecked());
  EXPECT_TRUE(form.Image().Core().EditingEnabled());
  EXPECT_EQ(QApplication::focusWidget(), static_cast<QWidget*>(&form.Image()));
  ASSERT_TRUE(doc.IsMCUDecoded({1, 0}));
  Key(&form.Image(), Qt::Key_Right);
  Key(&form.Image(), Qt::Key_Delete);
  EXPECT_FALSE(doc.IsMCUDecoded({1, 0}));
  EXPECT_EQ(form.Image().Core().Cursor().Col, 2);
  form.Status().Refresh();
  EXPECT_TRUE(form.Status().Cursor().startsWith("MCU 2, 0 (#2): decoded")) << form.Status().Cursor().toStdString();
  EXPECT_TRUE(form.Status().Facts().contains("Baseline")) << form.Status().Facts().toStdString();
  test::RefreshActions();
  ASSERT_TRUE(edit.Undo()->isEnabled());
  edit.Undo()->trigger();
  EXPECT_TRUE(doc.IsMCUDecoded({1, 0}));
  EXPECT_EQ(form.Image().Core().Cursor().Col, 1) << "the cursor goes where the edit was made";
  test::RefreshActions();  // as the idle time does: Redo applies now
  edit.Redo()->trigger();
  EXPECT_FALSE(doc.IsMCUDecoded({1, 0}));

  // Revert opens the file again: the edit and its history are gone.
  test::RefreshActions();
  edit.Revert()->trigger();
  EXPECT_TRUE(doc.IsMCUDecoded({1, 0}));
  EXPECT_FALSE(doc.CanUndo());
  EXPECT_FALSE(doc.CanRedo());
  EXPECT_TRUE(shown.empty());
}

TEST_F(RepairActionsTest, RealignmentReportsAndDcCorrectionOffersTheRunAtTheCursor) {
  TMainForm form(Sample());
  TvtRepairActions& edit = form.RepairActions();
  edit.RepairMode()->trigger();
  TvtThumbSource& doc = form.Source();
  edit.RealignNow();
  form.Status().Refresh();
  EXPECT_TRUE(form.Status().Report().startsWith("Real")) << form.Status().Report().toStdString();
  EXPECT_TRUE(form.Status().Report().endsWith(" s)")) << form.Status().Report().toStdString();

  // The dialog starts on the decoded run around the cursor; OK applies its constants.
  form.Image().Core().SetCursor({3, 0});
  const TvtMCURun run = form.Image().Core().DecodedRunAtCursor();
  ASSERT_GT(run.Count, 1);
  const int16_t before = doc.Jpeg->BlockOfMCU(0, 0, run.First)->Coef[0];
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    auto* dc = static_cast<TvtDcCorrectionDialog*>(dialog);
    EXPECT_EQ(dc->FirstBox()->value(), run.First);
    EXPECT_EQ(dc->LastBox()->value(), run.First + run.Count - 1);
    dc->ShiftBox(0)->setValue(4);
    dialog->accept();
  });
  edit.CorrectDc();
  EXPECT_EQ(doc.Jpeg->BlockOfMCU(0, 0, run.First)->Coef[0], before + 4);
  EXPECT_TRUE(doc.Undo());
  EXPECT_EQ(doc.Jpeg->BlockOfMCU(0, 0, run.First)->Coef[0], before);
}

}  // namespace
}  // namespace vt
