// TvtImage: the main window's view of the document's image, fitted into the window, with the
// chosen thumbnail under the missing parts. A quick nearest-neighbour picture is shown at once
// and replaced by the resizer's smooth one when it arrives. What the view decides lives in
// TvtImageViewCore; this widget paints its picture and turns mouse and keys into its commands.
#pragma once

#include <QImage>
#include <functional>

#include "viewer/image_view_core.h"
#include "viewer/widgets/scroll_control.h"

namespace vt {

class TvtImage : public TvtScrollControl, public IvtImageViewHost {
 public:
  explicit TvtImage(QWidget* parent = nullptr, TvtGR32Resizer* resizer = nullptr);
  ~TvtImage() override;

  void SetSource(TvtThumbSource* source) { core_.SetSource(source); }
  TvtThumbSource* Source() const { return core_.Source(); }
  // The view takes the keyboard focus only while its editing mode is on (it has no other keys),
  // so that with editing off the focus goes to the next control, the thumbnail list.
  void SetEditingEnabled(bool value);
  void SetUseThumbnail(bool value) { core_.SetUseThumbnail(value); }
  TvtImageViewCore& Core() { return core_; }
  // The effective display scale in whole percent (fitted or zoomed); 0 without an image.
  int ZoomPercent() const { return core_.ZoomPercent(); }
  // Told after every paint: what the view shows (document, zoom, cursor) may have changed.
  std::function<void()> Painted;

  // IvtImageViewHost
  void Repaint() override { update(); }
  void UpdateScrollBars() override { TvtScrollControl::UpdateScrollBars(); }
  // The core works in the screen's pixels (device pixels); rect is in them.
  void ScrollInView(const TRect& rect) override;
  void ScrollTo(int32_t x, int32_t y) override;
  // The client area's size in device pixels, and a rectangle in them in widget units.
  QSize DevicePixels() const;
  QRect ToLogical(const QRect& pixels) const;

 protected:
  void PaintClient(QPainter& painter, const QRect& clip) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // Ctrl+wheel zooms around the pointer; the plain wheel scrolls.
  void wheelEvent(QWheelEvent* event) override;
  void ThemeChanged() override;
  // Space held with the pointer over the view (whichever control has the focus) arms panning.
  bool eventFilter(QObject* watched, QEvent* event) override;
  // The zoomed picture's size (widget units); 0 while fitted.
  int32_t GetContentWidth() const override;
  int32_t GetContentHeight() const override;
  void ScrollContent(int32_t dx, int32_t dy) override;

 private:
  // A client point (widget units) in device pixels.
  QPoint DevicePoint(const QPointF& p) const;
  TvtImageViewCore core_;
  // Panning: with the middle button, or the left one while Space is held (editing mode off).
  bool spaceHeld_ = false;
  bool panning_ = false;
  QPointF panFrom_;
};

// Wraps a bitmap's pixels for painting, without copying (Format_ARGB32 has the same layout).
QImage BitmapImage(const TBitmap32& bitmap);

}  // namespace vt
