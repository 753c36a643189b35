// The "Edit thumbnail" dialog: the thumbnail in a TvtThumbImage whose crop edges can be dragged,
// four crop fields, buttons that flip and turn it, and "Save to file..." which writes the edited
// thumbnail as a bitmap file while the dialog stays open. OK hands the orientation and crops back.
#pragma once

#include <QDialog>
#include <QPointer>
#include <string>

#include "bitmap/bitmap32.h"
#include "viewer/thumb_image_core.h"
#include "viewer/widgets/file_dialog.h"

class QLabel;
class QPushButton;

namespace vt {

class TvtThumbImage;
class TvtThumbSpinEdit;


// The picture is fitted into the dialog and grows with it; under it, the size the edited
// thumbnail will have, and a notice when a typed crop was pulled back.
class TvtThumbImageForm : public QDialog, private IvtThumbImageCropSizeClient {
 public:
  // bitmap: the unedited thumbnail (must outlive the dialog); sourceFile: the open document's
  // path (its name without the folder is the dialog's FileName).
  TvtThumbImageForm(QWidget* parent, const TBitmap32& bitmap, const std::string& sourceFile);
  ~TvtThumbImageForm() override;

  // Loads the five values into the picture as given, shows the dialog modally, and only on OK
  // writes the picture's values back and returns true.
  bool Execute(uint8_t& orientation, int32_t& cropLeft, int32_t& cropTop, int32_t& cropRight, int32_t& cropBottom);

  // "Save to file...": the save dialog in SaveFolder with the proposed "NAME (thumb WxH).bmp",
  // then the bitmap file; errors go to the error box and the dialog stays open.
  void SaveToFile();
  // Another dialog for "Save to file..." (the form keeps its own otherwise).
  void SetSaveDialog(TvtFileDialog* dialog) { saveDialog_ = dialog; }

  std::string FileName;  // the document's file name without its folder
  TvtThumbImage* View() const { return view_; }
  TvtThumbSpinEdit* Spin(int32_t side) const { return spins_[side & 3]; }
  QPushButton* FlipHorizontallyButton() const { return flipH_; }
  QPushButton* FlipVerticallyButton() const { return flipV_; }
  QPushButton* RotateLeftButton() const { return rotateL_; }
  QPushButton* RotateRightButton() const { return rotateR_; }
  QPushButton* SaveButton() const { return save_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }
  QLabel* ResultLabel() const { return result_; }
  QLabel* NoticeLabel() const { return notice_; }

 private:
  const TBitmap32& bitmap_;
  std::string sourceFile_;
  TvtThumbImage* view_ = nullptr;
  TvtThumbSpinEdit* spins_[4] = {};
  // Any crop or orientation change: the result's size again, and the notice is gone.
  void CropChanged(int32_t side) override;

  QLabel* cropLabel_ = nullptr;
  QLabel* result_ = nullptr;
  QLabel* notice_ = nullptr;
  QPushButton *flipH_ = nullptr, *flipV_ = nullptr, *rotateL_ = nullptr, *rotateR_ = nullptr;
  QPushButton *save_ = nullptr, *ok_ = nullptr, *cancel_ = nullptr;
  TvtFileDialog* ownDialog_ = nullptr;
  QPointer<TvtFileDialog> saveDialog_;
};

}  // namespace vt
