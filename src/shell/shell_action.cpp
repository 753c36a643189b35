#include "shell/shell_action.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QWidget>
#include <exception>

#include "shell/action_refresh.h"
#include "shell/error_box.h"

namespace vt {

TkelShellAction::TkelShellAction(QObject* parent) : QAction(parent) {
  connect(this, &QAction::triggered, this, [this] { Execute(firingWidget()); });
  RegisterShellAction(this);
}

TkelShellAction::TkelShellAction(const QString& caption, QObject* parent)
    : TkelShellAction(parent) {
  setText(caption);
}

TkelShellAction::~TkelShellAction() { UnregisterShellAction(this); }

QWidget* HostWindowOf(QWidget* widget) {
  while (widget) {
    QWidget* window = widget->window();
    if (!(window->windowType() == Qt::Popup || qobject_cast<QMenu*>(window))) return window;
    widget = window->parentWidget();
  }
  return nullptr;
}

QWidget* TkelShellAction::firingWidget() const {
  // The widget among those showing the action whose window is active, else a visible one.
  QWidget* const active = QApplication::activeWindow();
  QWidget* visible = nullptr;
  for (QObject* object : associatedObjects()) {
    auto* widget = qobject_cast<QWidget*>(object);
    QWidget* host = HostWindowOf(widget);
    if (!host) continue;
    if (host == active) return widget;
    if (!visible && host->isVisible()) visible = widget;
  }
  return visible;
}

QWidget* TkelShellAction::GetOwnerWindow() {
  if (QWidget* host = HostWindowOf(firedFrom_)) return host;
  for (QObject* owner = parent(); owner; owner = owner->parent())
    if (auto* widget = qobject_cast<QWidget*>(owner)) {
      if (QWidget* host = HostWindowOf(widget)) return host;
      break;
    }
  if (QWidget* active = HostWindowOf(QApplication::activeWindow())) return active;
  QWidget* firstWindow = nullptr;
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (qobject_cast<QMainWindow*>(top)) return top;
    if (!firstWindow && top->isVisible() && HostWindowOf(top) == top) firstWindow = top;
  }
  return firstWindow;
}

QString TkelShellAction::GetCaption() { return text(); }
bool TkelShellAction::GetChecked() { return isChecked(); }
bool TkelShellAction::GetEnabled() { return isEnabled(); }
int TkelShellAction::GetImageIndex() { return imageIndex_; }
QKeySequence TkelShellAction::GetShortCut() { return shortcut(); }
bool TkelShellAction::GetVisible() { return isVisible(); }
void TkelShellAction::DoExecute() {}

void TkelShellAction::Update() {
  const QString caption = GetCaption();
  if (caption != text()) setText(caption);
  setEnabled(GetEnabled());
  const bool checked = GetChecked();
  if (checked && !isCheckable()) setCheckable(true);
  setChecked(checked);
  setVisible(GetVisible());
  imageIndex_ = GetImageIndex();
  const QKeySequence shortCut = GetShortCut();
  if (shortCut != shortcut()) setShortcut(shortCut);
}

void TkelShellAction::Execute(QWidget* firedFrom) {
  // The command may destroy its own action (closing the window that owns it, for instance),
  // also while an error box runs its event loop.
  const QPointer<TkelShellAction> self(this);
  firedFrom_ = firedFrom;
  try {
    if (!GetEnabled()) return;
    for (;;) {
      try {
        DoExecute();
        break;
      } catch (...) {
        const std::exception_ptr error = std::current_exception();
        QWidget* owner = self ? GetOwnerWindow() : nullptr;
        const uint32_t buttons = self ? ErrorButtons : 0;
        const int answer = ShowError(owner, error, {}, {}, {}, buttons, esError);
        if (answer != idRetry || !self) break;
      }
    }
  } catch (...) {
    // A getter failed, or the owner window could not be found: show that once.
    ShowError(nullptr, std::current_exception(), {}, {}, {}, 0, esError);
  }
  if (self) firedFrom_ = nullptr;
}

}  // namespace vt
