// The View menu: zoom (Zoom In, Zoom Out, Actual Size, Fit to Window, and Ctrl+wheel in the view
// itself), full screen, what the view shows of the damage (Show Filled Areas), and its turn (Apply
// Exif Orientation, Rotate Left, Rotate Right: the view only, never the saved files). The actions
// work on the main window's image view; the menu is the window's to place.
#pragma once

#include <QObject>

class QAction;
class QMainWindow;
class QMenu;

namespace vt {

class TvtImage;

class TvtViewActions : public QObject {
 public:
  TvtViewActions(QMainWindow& window, TvtImage& image);

  QMenu* Menu() const { return menu_; }
  QAction* ZoomInAction() const { return zoomIn_; }
  QAction* ZoomOutAction() const { return zoomOut_; }
  QAction* ActualSizeAction() const { return actualSize_; }
  QAction* FitToWindowAction() const { return fitToWindow_; }
  QAction* FullScreenAction() const { return fullScreen_; }
  QAction* ShowFilledAreasAction() const { return showFilled_; }
  QAction* ApplyExifOrientationAction() const { return applyExif_; }
  QAction* RotateLeftAction() const { return rotateLeft_; }
  QAction* RotateRightAction() const { return rotateRight_; }

 private:
  QMainWindow& window_;
  TvtImage& image_;
  QMenu* menu_ = nullptr;
  QAction* zoomIn_ = nullptr;
  QAction* zoomOut_ = nullptr;
  QAction* actualSize_ = nullptr;
  QAction* fitToWindow_ = nullptr;
  QAction* fullScreen_ = nullptr;
  QAction* showFilled_ = nullptr;
  QAction* applyExif_ = nullptr;
  QAction* rotateLeft_ = nullptr;
  QAction* rotateRight_ = nullptr;
};

// Adds the View menu after the window's menus present so far and returns its actions (owned by
// the window).
TvtViewActions* AddViewMenu(QMainWindow& window, TvtImage& image);

}  // namespace vt
