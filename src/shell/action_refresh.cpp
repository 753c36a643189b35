#include "shell/action_refresh.h"

#include <QAbstractEventDispatcher>
#include <QActionEvent>
#include <QCoreApplication>
#include <QMenu>
#include <QPointer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "shell/shell_action.h"

namespace vt {
namespace {

std::vector<TkelShellAction*>& liveActions() {
  static std::vector<TkelShellAction*> actions;
  return actions;
}

bool isLive(TkelShellAction* action) {
  const auto& actions = liveActions();
  return std::find(actions.begin(), actions.end(), action) != actions.end();
}

// Lives as a child of the application: refreshes the actions when the application thread's
// event dispatcher is about to wait, and hooks every menu that a TkelShellAction is added to so
// that the actions are refreshed before it shows.
class Refresher : public QObject {
 public:
  explicit Refresher(QCoreApplication* application) : QObject(application) {
    if (auto* dispatcher = QAbstractEventDispatcher::instance(application->thread()))
      connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &Refresher::RefreshAll);
    application->installEventFilter(this);
  }

  void RefreshAll() { UpdateShellActions(); }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::ActionAdded) {
      auto* menu = qobject_cast<QMenu*>(watched);
      if (menu && qobject_cast<TkelShellAction*>(static_cast<QActionEvent*>(event)->action()))
        connect(menu, &QMenu::aboutToShow, this, &Refresher::RefreshAll, Qt::UniqueConnection);
    }
    return false;
  }
};

void ensureRefresher() {
  static QPointer<Refresher> refresher;
  QCoreApplication* application = QCoreApplication::instance();
  if (refresher || !application) return;
  refresher = new Refresher(application);
}

}  // namespace

void RegisterShellAction(TkelShellAction* action) {
  liveActions().push_back(action);
  ensureRefresher();
}

void UnregisterShellAction(TkelShellAction* action) {
  auto& actions = liveActions();
  actions.erase(std::remove(actions.begin(), actions.end(), action), actions.end());
}

void UpdateShellActions() {
  static bool running = false;
  static bool reported = false;  // a getter that keeps failing is reported once, not at every idle
  if (running) return;
  running = true;
  // A refresh may create or destroy actions: work on a copy, and skip the ones gone since.
  const std::vector<TkelShellAction*> snapshot = liveActions();
  for (TkelShellAction* action : snapshot) {
    if (!isLive(action)) continue;
    try {
      action->Update();
    } catch (const std::exception& e) {
      if (!reported) std::fprintf(stderr, "Refreshing a command failed: %s\n", e.what());
      reported = true;
    } catch (...) {
      if (!reported) std::fprintf(stderr, "Refreshing a command failed\n");
      reported = true;
    }
  }
  running = false;
}

}  // namespace vt
