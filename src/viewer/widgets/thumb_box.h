// TvtThumbBox: the list at the right edge of the main window. Every thumbnail of the document is
// shown in a cell with its size in pixels, followed by the entry "Don`t use thumbnail";
// selecting an entry chooses the document's main thumbnail. What the list decides lives in
// TvtThumbBoxCore; this widget paints it and turns mouse and keys into its commands.
#pragma once

#include <QPointer>

#include "bitmap/bitmap32.h"
#include "viewer/thumb_box_core.h"
#include "viewer/widgets/scroll_control.h"

namespace vt {

class TvtImage;


class TvtThumbBox : public TvtCustomListBox, public IvtThumbBoxHost {
 public:
  explicit TvtThumbBox(QWidget* parent = nullptr, TvtGR32Resizer* resizer = nullptr);
  ~TvtThumbBox() override;

  void SetSource(TvtThumbSource* source) { core_.SetSource(source); }
  TvtThumbSource* Source() const { return core_.Source(); }
  void SetImage(TvtImage* image);
  TvtImage* Image() const;
  TvtThumbBoxCore& Core() { return core_; }

  void SelectItem(int32_t index) { core_.SelectItem(index); }
  int32_t SelectedIndex() const { return core_.SelectedIndex(); }
  // Opens the thumbnail editor on the selected thumbnail and keeps its result on OK.
  void EditSelected();
  // EditSelected for the list's own input (Enter, a double click): a failure goes to the error box.
  void RunEditSelected();

  // IvtThumbBoxHost
  void Repaint() override { update(); }
  void UpdateScrollBars() override { TvtScrollControl::UpdateScrollBars(); }
  void ScrollContentInView(const TRect& rect) override;

 protected:
  int32_t GetContentWidth() const override { return core_.ContentWidth(); }
  int32_t GetContentHeight() const override { return core_.ContentHeight(); }
  int32_t GetLineStep() const override { return TvtThumbBoxCore::LineStep(); }
  void ScrollContent(int32_t dx, int32_t dy) override;
  void PaintClient(QPainter& painter, const QRect& clip) override;
  void ThemeChanged() override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void MeasureText();
  void RebuildPicture();

  TvtThumbBoxCore core_;
  QPointer<TvtImage> image_;
  TBitmap32 backBuffer_;
};

}  // namespace vt
