// The thumbnail editor's picture (TvtThumbImage), fitted into its view, on which the four crop
// edges are dragged, and
// the spin edits bound to its crop values (TvtThumbSpinEdit). The decisions live in
// TvtThumbImageCore; these widgets paint and take input.
#pragma once

#include <QPointer>
#include <QSpinBox>

#include <functional>

#include "viewer/thumb_image_core.h"
#include "viewer/widgets/scroll_control.h"

namespace vt {

class TvtThumbImage : public TvtScrollControl {
 public:
  explicit TvtThumbImage(QWidget* parent = nullptr);
  TvtThumbImageCore& Core() { return core_; }
  const TvtThumbImageCore& Core() const { return core_; }

  // The picture fitted into the client area (it grows and shrinks with the view, so there is
  // nothing to scroll).
  TvtThumbPlacement Placement() const;
  // The content point (picture pixels plus the margin) under a client point, and back.
  QPoint ContentPoint(QPoint clientPoint) const;
  QPoint ClientPoint(QPoint contentPoint) const;

 protected:
  void PaintClient(QPainter& painter, const QRect& clip) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QPoint EventContentPoint(const QMouseEvent* event) const;
  TvtThumbImageCore core_;
};

// The cursor shown over the given hit edges.
Qt::CursorShape CursorForEdges(uint8_t edges);

class TvtThumbSpinEdit : public QSpinBox, public IvtThumbImageCropSizeClient {
 public:
  static constexpr int kMaximum = 65536;
  explicit TvtThumbSpinEdit(QWidget* parent = nullptr);
  ~TvtThumbSpinEdit() override;
  // Binds the field to a side of a picture (null unbinds); it takes that side's value at once.
  void SetImage(TvtThumbImage* image, int32_t side);
  void CropChanged(int32_t side) override;
  int32_t Side() const { return side_; }
  // Called when a value typed into the field was pulled back by the picture's clamps: the side,
  // the value typed and the value kept.
  std::function<void(int32_t side, int32_t typed, int32_t kept)> OnClamped;

 private:
  QPointer<TvtThumbImage> image_;
  int32_t side_ = csLeft;
  bool updating_ = false;
};

}  // namespace vt
