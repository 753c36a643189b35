#include "shell/error_box.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QThread>
#include <cstdio>
#include <mutex>
#include <vector>

#include "shell/warning.h"

namespace vt {
namespace {

const char* const kResultProperty = "kelResult";

std::mutex presenterLock;
TkelErrorPresenter& currentPresenter() {
  static TkelErrorPresenter presenter;
  return presenter;
}

QMessageBox::Icon iconOf(int style) {
  switch (style) {
    case esError: return QMessageBox::Critical;
    case esQuestion: return QMessageBox::Question;
    case esWarning: return QMessageBox::Warning;
    case esInformation: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

struct ButtonSpec {
  QMessageBox::StandardButton Standard;  // NoButton: a button of its own with Text and Role
  int Result;
  const char* Text;
  QMessageBox::ButtonRole Role;
};

// The buttons of a button set, in the order in which the default-button bits count them.
std::vector<ButtonSpec> buttonsOf(uint32_t set) {
  using B = QMessageBox;
  switch (set) {
    case mbOKCancel: return {{B::Ok, idOk, nullptr, B::AcceptRole}, {B::Cancel, idCancel, nullptr, B::RejectRole}};
    case mbAbortRetryIgnore:
      return {{B::Abort, idAbort, nullptr, B::RejectRole},
              {B::Retry, idRetry, nullptr, B::AcceptRole},
              {B::Ignore, idIgnore, nullptr, B::AcceptRole}};
    case mbYesNoCancel:
      return {{B::Yes, idYes, nullptr, B::YesRole},
              {B::No, idNo, nullptr, B::NoRole},
              {B::Cancel, idCancel, nullptr, B::RejectRole}};
    case mbYesNo: return {{B::Yes, idYes, nullptr, B::YesRole}, {B::No, idNo, nullptr, B::NoRole}};
    case mbRetryCancel:
      return {{B::Retry, idRetry, nullptr, B::AcceptRole}, {B::Cancel, idCancel, nullptr, B::RejectRole}};
    case mbCancelTryContinue:
      return {{B::Cancel, idCancel, nullptr, B::RejectRole},
              {B::NoButton, idTryAgain, "&Try Again", B::AcceptRole},
              {B::NoButton, idContinue, "&Continue", B::AcceptRole}};
    default:  // mbOK, and the undefined sets 7 to 15
      return {{B::Ok, idOk, nullptr, B::AcceptRole}};
  }
}

void printToStandardError(const TkelErrorBoxRequest& request) {
  std::fprintf(stderr, "%s: %s\n", request.Caption.c_str(), request.Text.c_str());
}

// The default presenter: a modal message box on the user-interface thread. Without a widget
// application, or from another thread, the message goes to standard error.
int showModalBox(const TkelErrorBoxRequest& request) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance()) ||
      QThread::currentThread() != QCoreApplication::instance()->thread()) {
    printToStandardError(request);
    return 0;
  }
  // The owner may be destroyed while the box runs its event loop, and the box with it.
  QPointer<QMessageBox> box = CreateErrorMessageBox(request).release();
  box->exec();
  if (!box) return idCancel;
  const int result = ErrorBoxResult(box->clickedButton());
  delete box.data();
  return result;
}

}  // namespace

TkelErrorPresenter SetErrorPresenter(TkelErrorPresenter presenter) {
  std::lock_guard<std::mutex> hold(presenterLock);
  TkelErrorPresenter previous = std::move(currentPresenter());
  currentPresenter() = std::move(presenter);
  if (!previous) previous = showModalBox;
  return previous;
}

std::unique_ptr<QMessageBox> CreateErrorMessageBox(const TkelErrorBoxRequest& request) {
  auto box = std::make_unique<QMessageBox>(request.Owner);
  box->setWindowTitle(QString::fromStdString(request.Caption));
  box->setTextFormat(Qt::PlainText);  // a message is never markup
  box->setText(QString::fromStdString(request.Text));
  box->setIcon(iconOf(request.Style));
  box->setWindowModality(request.Owner ? Qt::WindowModal : Qt::ApplicationModal);

  std::vector<QAbstractButton*> ordered;
  for (const ButtonSpec& spec : buttonsOf(request.Buttons & mbButtonSetMask)) {
    QAbstractButton* button = spec.Standard != QMessageBox::NoButton
                                  ? box->addButton(spec.Standard)
                                  : box->addButton(QString::fromUtf8(spec.Text), spec.Role);
    button->setProperty(kResultProperty, spec.Result);
    ordered.push_back(button);
  }
  if (!request.Command.empty()) {
    QPushButton* command = box->addButton(QString::fromStdString(request.Command), QMessageBox::ActionRole);
    command->setProperty(kResultProperty, idCommand);
  }
  size_t defaultIndex = (request.Buttons & mbDefaultButtonMask) >> 8;
  if (defaultIndex >= ordered.size()) defaultIndex = 0;
  if (auto* push = qobject_cast<QPushButton*>(ordered[defaultIndex])) box->setDefaultButton(push);
  return box;
}

int ErrorBoxResult(const QAbstractButton* clicked) {
  if (!clicked) return idCancel;
  bool ok = false;
  const int result = clicked->property(kResultProperty).toInt(&ok);
  return ok ? result : idCancel;
}

int WarningOrErrorStyle(std::exception_ptr error) {
  if (!error) return esError;
  try {
    std::rethrow_exception(error);
  } catch (const EWarning&) {
    return esWarning;
  } catch (...) {
  }
  return esError;
}

namespace {

int Show(QWidget* owner, std::exception_ptr error, const std::string& before, const std::string& after,
         const std::string& caption, uint32_t buttons, int style, const std::string& command) {
  try {
    if (IsSilentError(error)) return idAbort;
    TkelErrorBoxRequest request;
    request.Owner = owner;
    request.Caption = ErrorBoxCaption(caption);
    request.Text = before + ErrorMessageText(error) + after;
    request.Style = style;
    request.Buttons = buttons & (mbButtonSetMask | mbDefaultButtonMask);
    request.Command = command;
    TkelErrorPresenter presenter;
    {
      std::lock_guard<std::mutex> hold(presenterLock);
      presenter = currentPresenter();
    }
    return presenter ? presenter(request) : showModalBox(request);
  } catch (...) {
    return 0;
  }
}

}  // namespace

int ShowError(QWidget* owner, std::exception_ptr error, const std::string& before,
              const std::string& after, const std::string& caption, uint32_t buttons,
              int style) {
  return Show(owner, error, before, after, caption, buttons, style, {});
}

int ShowErrorWithCommand(QWidget* owner, std::exception_ptr error, const std::string& command, uint32_t buttons,
                         int style) {
  return Show(owner, error, {}, {}, {}, buttons, style, command);
}

}  // namespace vt
