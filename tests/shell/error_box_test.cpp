#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <vector>

#include "base/result_codes.h"
#include "support/qt_app.h"
#include "shell/error_box.h"
#include "shell/warning.h"

namespace vt {
namespace {

template <class E>
std::exception_ptr raised(const E& error) {
  return std::make_exception_ptr(error);
}

// Records what would be shown and answers with a fixed button.
class RecordedBoxes : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = SetErrorPresenter([this](const TkelErrorBoxRequest& request) {
      shown.push_back(request);
      return answer;
    });
  }
  void TearDown() override { SetErrorPresenter(previous_); }

  std::vector<TkelErrorBoxRequest> shown;
  int answer = idOk;

 private:
  TkelErrorPresenter previous_;
};

TEST_F(RecordedBoxes, RequestCarriesOwnerCaptionBodyStyleAndButtons) {
  QWidget owner;
  answer = idRetry;
  EXPECT_EQ(ShowError(&owner, raised(EOSError(5, "Locked")), "Saving: ", " (try again)", "",
                      mbRetryCancel | mbDefButton2 | 0x10 | 0x4000, esWarning),
            idRetry);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].Owner, &owner);
  EXPECT_EQ(shown[0].Caption, "Error");
  EXPECT_EQ(shown[0].Text, "Saving: Error 0x00000005: Locked (try again)");
  EXPECT_EQ(shown[0].Style, esWarning);
  EXPECT_EQ(shown[0].Buttons, mbRetryCancel | mbDefButton2);  // icon and modality bits dropped

  ShowError(nullptr, raised(std::runtime_error("Invalid image.")), "", "", "Open");
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1].Caption, "Open");
  EXPECT_EQ(shown[1].Text, "Invalid image.");
  EXPECT_EQ(shown[1].Style, esError);
  EXPECT_EQ(shown[1].Buttons, mbOK);
}

TEST(ErrorBoxStyle, WarningsOnlyForTheWarningClass) {
  EXPECT_EQ(WarningOrErrorStyle(raised(EWarning("Nothing found."))), esWarning);
  EXPECT_EQ(WarningOrErrorStyle(raised(std::runtime_error("Invalid image."))), esError);
  EXPECT_EQ(WarningOrErrorStyle(raised(EOSError(2, "No such file"))), esError);
  EXPECT_EQ(WarningOrErrorStyle(std::make_exception_ptr(42)), esError) << "not even an exception class";
  EXPECT_EQ(WarningOrErrorStyle(nullptr), esError);
}

TEST_F(RecordedBoxes, SilentErrorsShowNothingAndAnswerAbort) {
  answer = idOk;
  EXPECT_EQ(ShowError(nullptr, raised(EAbort())), idAbort);
  EXPECT_EQ(ShowError(nullptr, raised(EOSError(1223, "cancelled"))), idAbort);
  EXPECT_EQ(ShowError(nullptr, raised(EOleSysError("x", static_cast<HRESULT>(0x800704C7u), 0))),
            idAbort);
  EXPECT_TRUE(shown.empty());
}

TEST(ErrorBoxPresenter, AFailingPresenterNeverRaises) {
  const TkelErrorPresenter previous =
      SetErrorPresenter([](const TkelErrorBoxRequest&) -> int { throw std::bad_alloc(); });
  EXPECT_EQ(ShowError(nullptr, raised(std::runtime_error("x"))), 0);
  SetErrorPresenter(previous);
}

struct ButtonsCase {
  uint32_t Word;
  std::vector<int> Results;  // in the order the default-button bits count them
  int DefaultResult;
};

class ErrorBoxButtons : public ::testing::TestWithParam<ButtonsCase> {};

TEST_P(ErrorBoxButtons, SetAndDefaultButton) {
  const ButtonsCase& c = GetParam();
  auto box = CreateErrorMessageBox({nullptr, "Caption", "Text", esError, c.Word, {}});
  std::vector<int> results;
  for (QAbstractButton* button : box->buttons()) results.push_back(ErrorBoxResult(button));
  std::sort(results.begin(), results.end());
  std::vector<int> expected = c.Results;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(results, expected);
  ASSERT_NE(box->defaultButton(), nullptr);
  EXPECT_EQ(ErrorBoxResult(box->defaultButton()), c.DefaultResult);
  // clicking answers with that button's identifier
  box->defaultButton()->click();
  EXPECT_EQ(ErrorBoxResult(box->clickedButton()), c.DefaultResult);
}

INSTANTIATE_TEST_SUITE_P(
    Words, ErrorBoxButtons,
    ::testing::Values(ButtonsCase{mbOK, {idOk}, idOk},
                      ButtonsCase{mbOK | mbDefButton3, {idOk}, idOk},
                      ButtonsCase{mbOKCancel | mbDefButton2, {idOk, idCancel}, idCancel},
                      ButtonsCase{mbAbortRetryIgnore | mbDefButton3, {idAbort, idRetry, idIgnore}, idIgnore},
                      ButtonsCase{mbYesNoCancel | mbDefButton2, {idYes, idNo, idCancel}, idNo},
                      ButtonsCase{mbYesNo, {idYes, idNo}, idYes},
                      ButtonsCase{mbRetryCancel, {idRetry, idCancel}, idRetry},
                      ButtonsCase{mbCancelTryContinue | mbDefButton2, {idCancel, idTryAgain, idContinue}, idTryAgain},
                      ButtonsCase{mbCancelTryContinue | mbDefButton4, {idCancel, idTryAgain, idContinue}, idCancel},
                      ButtonsCase{0x0F, {idOk}, idOk}));

TEST(ErrorBoxLook, IconOfEachStyleTitleAndPlainText) {
  const std::pair<int, QMessageBox::Icon> styles[] = {
      {esError, QMessageBox::Critical}, {esQuestion, QMessageBox::Question},
      {esWarning, QMessageBox::Warning}, {esInformation, QMessageBox::Information},
      {0, QMessageBox::NoIcon},          {5, QMessageBox::NoIcon}};
  QWidget owner;
  for (const auto& [style, icon] : styles) {
    auto box = CreateErrorMessageBox({&owner, "Ошибка", "<b>a.jpg</b> & more", style, mbOK, {}});
    EXPECT_EQ(box->icon(), icon) << style;
    EXPECT_EQ(box->windowTitle(), QString::fromUtf8("Ошибка"));
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->text(), "<b>a.jpg</b> & more");
    EXPECT_EQ(box->parentWidget(), &owner);
  }
}

// The default presenter shows a real modal box; the timer answers it from inside its loop.
TEST(ErrorBoxModal, DefaultPresenterShowsAndAnswers) {
  auto owner = new QWidget;
  owner->show();
  QString text;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    text = box->text();
    box->defaultButton()->click();
  });
  EXPECT_EQ(ShowError(owner, raised(EWarning("Nothing found.")), "", "", "", mbYesNo | mbDefButton2,
                      esWarning),
            idNo);
  EXPECT_EQ(text, "Nothing found.");

  // The owner closes while its box is open: the box goes with it and the answer is Cancel.
  QTimer::singleShot(0, [&] { delete owner; });
  EXPECT_EQ(ShowError(owner, raised(std::runtime_error("x"))), idCancel);
}

}  // namespace
}  // namespace vt
