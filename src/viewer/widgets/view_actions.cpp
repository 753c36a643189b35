#include "viewer/widgets/view_actions.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include "viewer/widgets/image_view.h"

namespace vt {

TvtViewActions::TvtViewActions(QMainWindow& window, TvtImage& image)
    : QObject(&window), window_(window), image_(image) {
  menu_ = new QMenu(tr("&View"), &window);
  TvtImageViewCore& core = image_.Core();
  zoomIn_ = menu_->addAction(tr("Zoom &In"), this, [&core] { core.ZoomIn(); });
  // Ctrl++ is Ctrl+Shift+= on most keyboards: Ctrl+= serves as well.
  zoomIn_->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
  zoomOut_ = menu_->addAction(tr("Zoom &Out"), this, [&core] { core.ZoomOut(); });
  zoomOut_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));
  actualSize_ = menu_->addAction(tr("&Actual Size"), this, [&core] { core.ActualSize(); });
  actualSize_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_1));
  fitToWindow_ = menu_->addAction(tr("&Fit to Window"), this, [&core] { core.FitToWindow(); });
  fitToWindow_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
  menu_->addSeparator();
  fullScreen_ = menu_->addAction(tr("F&ull Screen"));
  fullScreen_->setCheckable(true);
  fullScreen_->setShortcut(QKeySequence(Qt::Key_F11));
  connect(fullScreen_, &QAction::toggled, this, [this](bool on) {
    if (on)
      window_.showFullScreen();
    else
      window_.showNormal();
  });
  menu_->addSeparator();
  showFilled_ = menu_->addAction(tr("Show Filled Areas"));
  showFilled_->setCheckable(true);
  connect(showFilled_, &QAction::toggled, this, [&core](bool on) { core.SetShowFilledAreas(on); });
  menu_->addSeparator();
  applyExif_ = menu_->addAction(tr("Apply Exif Orientation"));
  applyExif_->setCheckable(true);
  connect(applyExif_, &QAction::toggled, this, [&core](bool on) { core.SetApplyExifOrientation(on); });
  // Ctrl+R (re-decode), Ctrl+Shift+R (realign) and Ctrl+Shift+L (found images) are taken, and
  // Ctrl with the arrows is left to the editing mode: the brackets, as in common photo tools.
  rotateLeft_ = menu_->addAction(tr("Rotate &Left"), this, [&core] { core.RotateLeft(); });
  rotateLeft_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_BracketLeft));
  rotateRight_ = menu_->addAction(tr("Rotate &Right"), this, [&core] { core.RotateRight(); });
  rotateRight_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_BracketRight));
  // The shortcuts work while the menu is closed and whichever control has the focus.
  for (QAction* a : menu_->actions()) a->setShortcutContext(Qt::WindowShortcut);
}

TvtViewActions* AddViewMenu(QMainWindow& window, TvtImage& image) {
  auto* actions = new TvtViewActions(window, image);
  window.menuBar()->addMenu(actions->Menu());
  return actions;
}

}  // namespace vt
