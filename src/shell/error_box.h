// Showing a caught exception to the user in a modal message box: which exceptions stay silent,
// how the caption and the message are worded, and the system message-box buttons and results.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "shell/error_text.h"

class QAbstractButton;
class QMessageBox;
class QWidget;

namespace vt {

// Styles of the error box.
enum TkelErrorBoxStyle : int {
  esError = 1,        // critical icon
  esQuestion = 2,
  esWarning = 3,
  esInformation = 4,  // any other value shows no icon
};

// The buttons word: the button set in the bits 0x0F and the default button in 0x0F00, as the
// system message-box flags; other bits are ignored.
constexpr uint32_t mbOK = 0x0;
constexpr uint32_t mbOKCancel = 0x1;
constexpr uint32_t mbAbortRetryIgnore = 0x2;
constexpr uint32_t mbYesNoCancel = 0x3;
constexpr uint32_t mbYesNo = 0x4;
constexpr uint32_t mbRetryCancel = 0x5;
constexpr uint32_t mbCancelTryContinue = 0x6;
constexpr uint32_t mbDefButton1 = 0x000;
constexpr uint32_t mbDefButton2 = 0x100;
constexpr uint32_t mbDefButton3 = 0x200;
constexpr uint32_t mbDefButton4 = 0x300;
constexpr uint32_t mbButtonSetMask = 0x0F;
constexpr uint32_t mbDefaultButtonMask = 0x0F00;

// Results: the identifier of the button chosen. 0 means the box could not be shown.
constexpr int idOk = 1;
constexpr int idCancel = 2;
constexpr int idAbort = 3;
constexpr int idRetry = 4;
constexpr int idIgnore = 5;
constexpr int idYes = 6;
constexpr int idNo = 7;
constexpr int idTryAgain = 10;
constexpr int idContinue = 11;
// The caller's own command button (TkelErrorBoxRequest::Command).
constexpr int idCommand = 100;

// Everything a presenter needs to show the box.
struct TkelErrorBoxRequest {
  QWidget* Owner = nullptr;
  std::string Caption;
  std::string Text;
  int Style = esError;
  uint32_t Buttons = mbOK;
  // A button of the caller's that leads on from the error (its text, with its & mnemonic),
  // shown beside the buttons of the set (which keep the default button); empty: none.
  std::string Command;
};

using TkelErrorPresenter = std::function<int(const TkelErrorBoxRequest&)>;

// Replaces the presenter that shows error boxes and returns the previous one; an empty one
// restores the default (a modal QMessageBox owned by the request's owner).
TkelErrorPresenter SetErrorPresenter(TkelErrorPresenter presenter);

// Shows the exception and returns the button chosen; a silent exception shows nothing and gives
// idAbort. Never raises.
int ShowError(QWidget* owner, std::exception_ptr error, const std::string& before = {},
              const std::string& after = {}, const std::string& caption = {},
              uint32_t buttons = mbOK, int style = esError);

// The same with a command button of the caller's (idCommand when it is chosen); Enter still
// chooses the default button of the set, so a box dismissed in passing starts nothing.
int ShowErrorWithCommand(QWidget* owner, std::exception_ptr error, const std::string& command,
                         uint32_t buttons = mbOK, int style = esError);

// The style the open command shows an exception in: a warning for EWarning, an error otherwise.
int WarningOrErrorStyle(std::exception_ptr error);

// The default presenter's box, built but not shown, and the result for the button clicked in
// it (nullptr: the box was closed without a button).
std::unique_ptr<QMessageBox> CreateErrorMessageBox(const TkelErrorBoxRequest& request);
int ErrorBoxResult(const QAbstractButton* clicked);

}  // namespace vt
