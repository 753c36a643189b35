#include <gtest/gtest.h>

#include <QEventLoop>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "base/result_codes.h"
#include "support/qt_app.h"
#include "shell/error_box.h"
#include "shell/shell_action.h"
#include "shell/warning.h"

namespace vt {
namespace {

// A command whose state comes from its fields and whose work is a function; it logs the getters
// it is asked.
class ProbeAction : public TkelShellAction {
 public:
  using TkelShellAction::TkelShellAction;
  QString GetCaption() override { return log("Caption"), Caption; }
  bool GetChecked() override { return log("Checked"), Checked; }
  bool GetEnabled() override { return log("Enabled"), Enabled; }
  int GetImageIndex() override { return log("ImageIndex"), Image; }
  QKeySequence GetShortCut() override { return log("ShortCut"), Keys; }
  bool GetVisible() override { return log("Visible"), Shown; }
  void DoExecute() override {
    ++Runs;
    if (Work) Work();
  }

  QString Caption = "&Save";
  bool Checked = false, Enabled = true, Shown = true;
  int Image = -1;
  QKeySequence Keys;
  std::function<void()> Work;
  int Runs = 0;
  std::vector<std::string> Asked;

 private:
  void log(const char* name) { Asked.push_back(name); }
};

class ShellAction : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = SetErrorPresenter([this](const TkelErrorBoxRequest& request) {
      shown.push_back(request);
      const int answer = answers.empty() ? idOk : answers.front();
      if (!answers.empty()) answers.erase(answers.begin());
      if (onShow) onShow();
      return answer;
    });
  }
  void TearDown() override { SetErrorPresenter(previous_); }

  std::vector<TkelErrorBoxRequest> shown;
  std::vector<int> answers;
  std::function<void()> onShow;

 private:
  TkelErrorPresenter previous_;
};

TEST_F(ShellAction, UpdatePullsTheSixGettersInOrder) {
  ProbeAction action;
  action.Caption = "Save &thumbnail...";
  action.Enabled = false;
  action.Checked = true;
  action.Shown = false;
  action.Image = 7;
  action.Keys = QKeySequence("Ctrl+T");
  action.Update();
  EXPECT_EQ(action.text(), "Save &thumbnail...");
  EXPECT_FALSE(action.isEnabled());
  EXPECT_TRUE(action.isChecked());
  EXPECT_FALSE(action.isVisible());
  EXPECT_EQ(action.ImageIndex(), 7);
  EXPECT_EQ(action.shortcut(), QKeySequence("Ctrl+T"));
  EXPECT_EQ(action.Asked, (std::vector<std::string>{"Caption", "Enabled", "Checked", "Visible",
                                                    "ImageIndex", "ShortCut"}));

  // nothing changed: nothing is signalled, so refreshing at idle cannot keep the loop busy
  int changed = 0;
  QObject::connect(&action, &QAction::changed, [&] { ++changed; });
  action.Update();
  EXPECT_EQ(changed, 0);
}

TEST_F(ShellAction, FailingCommandIsShownAndRetriedWhileTheAnswerIsRetry) {
  QWidget window;
  ProbeAction action("Save", &window);
  action.ErrorButtons = mbRetryCancel | mbDefButton2;
  action.Work = [] { throw EOSError(28, "Disk full"); };
  answers = {idRetry, idRetry, idCancel};
  action.Execute();
  EXPECT_EQ(action.Runs, 3);
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].Owner, &window);
  EXPECT_EQ(shown[0].Style, esError);
  EXPECT_EQ(shown[0].Buttons, mbRetryCancel | mbDefButton2);
  EXPECT_EQ(shown[2].Text, "Error 0x0000001C: Disk full");
}

class ShellActionAnswer : public ShellAction, public ::testing::WithParamInterface<int> {};

TEST_P(ShellActionAnswer, AnyOtherAnswerEndsTheCommand) {
  ProbeAction action;
  action.Work = [] { throw std::runtime_error("x"); };
  answers = {GetParam(), idRetry};
  action.trigger();  // triggered runs Execute; nothing escapes into the caller
  EXPECT_EQ(action.Runs, 1);
  EXPECT_EQ(shown.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Answers, ShellActionAnswer,
                         ::testing::Values(0, idOk, idCancel, idAbort, idIgnore, idTryAgain));

TEST_F(ShellAction, DisabledSilentAndForeignExceptions) {
  ProbeAction action;
  action.Enabled = false;  // enabled as a QAction until the next refresh; the getter decides
  action.Execute();
  EXPECT_EQ(action.Runs, 0);

  action.Enabled = true;
  action.Work = [] { throw EAbort(); };
  answers = {idRetry};
  action.Execute();
  EXPECT_EQ(action.Runs, 1);
  EXPECT_TRUE(shown.empty());

  answers.clear();
  action.Work = [] { throw 7; };
  EXPECT_NO_THROW(action.trigger());
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].Text, "No error description available");
}

TEST_F(ShellAction, ActionDestroyedWhileItsErrorIsShown) {
  auto* action = new ProbeAction;
  action->Work = [] { throw std::runtime_error("x"); };
  onShow = [&] { delete action; };
  answers = {idRetry, idRetry};
  action->Execute();
  EXPECT_EQ(shown.size(), 1u);
}

TEST_F(ShellAction, AdditionalActionClearedWhenDestroyed) {
  ProbeAction action;
  action.AdditionalAction = new ProbeAction;
  ASSERT_TRUE(action.AdditionalAction);
  delete action.AdditionalAction.data();
  EXPECT_FALSE(action.AdditionalAction);
}

TEST_F(ShellAction, RefreshedWhenTheLoopGoesIdleAndBeforeAMenuShows) {
  QMainWindow window;
  QMenu* menu = window.menuBar()->addMenu("&File");
  auto* action = new ProbeAction("Save", &window);
  menu->addAction(action);
  window.show();

  action->Enabled = false;
  QEventLoop loop;
  QTimer::singleShot(20, &loop, &QEventLoop::quit);
  loop.exec();
  EXPECT_FALSE(action->isEnabled());

  action->Enabled = true;
  action->Caption = "Save &as...";
  menu->popup(window.geometry().center());
  EXPECT_TRUE(action->isEnabled());
  EXPECT_EQ(action->text(), "Save &as...");
  menu->hide();
}

TEST_F(ShellAction, OwnerWindowOfTheFiringMenuOrTheOwningWidget) {
  QMainWindow window;
  QMenu* menu = window.menuBar()->addMenu("&Thumbnail");
  ProbeAction unowned("Edit");
  menu->addAction(&unowned);
  window.show();
  unowned.Work = [] { throw std::runtime_error("x"); };
  unowned.trigger();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].Owner, &window);

  QWidget child(&window);
  ProbeAction owned("Save", &child);
  EXPECT_EQ(owned.GetOwnerWindow(), &window);
  EXPECT_EQ(HostWindowOf(menu), &window);
}

}  // namespace
}  // namespace vt
