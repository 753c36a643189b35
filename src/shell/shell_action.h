// The base of every command: a QAction whose state is pulled from virtual getters (at idle time
// and before a menu shows) and whose execution shows an exception in the error box, running
// the command again when the user answers Retry.
#pragma once

#include <QAction>
#include <QKeySequence>
#include <QPointer>
#include <QString>
#include <cstdint>

class QWidget;

namespace vt {

class TkelShellAction : public QAction {
  Q_OBJECT

 public:
  explicit TkelShellAction(QObject* parent = nullptr);
  TkelShellAction(const QString& caption, QObject* parent = nullptr);
  ~TkelShellAction() override;

  // The window that owns the command's dialogs and error boxes: the top-level window of the
  // widget that fired the action when known, else the window of the nearest widget among the
  // action's owners, else the application's active window, else its first main window.
  virtual QWidget* GetOwnerWindow();
  // The state getters; the base returns the action's current state.
  virtual QString GetCaption();
  virtual bool GetChecked();
  virtual bool GetEnabled();
  virtual int GetImageIndex();
  virtual QKeySequence GetShortCut();
  virtual bool GetVisible();
  // The command itself; empty in the base.
  virtual void DoExecute();

  // Refreshes caption, enabled, checked, visible, image index and shortcut from the getters, in
  // that order. Unchanged values are not set again, so no change is signalled.
  virtual void Update();

  // Runs the command unless GetEnabled is false. An exception goes to the error box, owned by
  // GetOwnerWindow, in the error style with ErrorButtons; Retry runs DoExecute again. Nothing
  // escapes. firedFrom is the widget that fired the action, when known.
  void Execute(QWidget* firedFrom = nullptr);

  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int index) { imageIndex_ = index; }

  // The buttons word of the error box (see error_box.h); 0 is a single OK button.
  uint32_t ErrorButtons = 0;
  // Another command that belongs with this one; cleared when that action is destroyed.
  QPointer<TkelShellAction> AdditionalAction;

 private:
  QWidget* firingWidget() const;

  int imageIndex_ = -1;
  QPointer<QWidget> firedFrom_;
};

// Refreshes every live TkelShellAction now. This runs by itself whenever the application's
// event loop is about to wait and before a menu holding such an action shows.
void UpdateShellActions();

// The top-level window that hosts a widget; a popup menu is looked through to the window it
// opened from. nullptr for a popup without one.
QWidget* HostWindowOf(QWidget* widget);

}  // namespace vt
