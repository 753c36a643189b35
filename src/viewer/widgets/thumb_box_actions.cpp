#include "viewer/widgets/thumb_box_actions.h"

#include <QApplication>

#include "source/vt_common.h"
#include "viewer/thumb_file.h"
#include "viewer/widgets/source_actions.h"
#include "viewer/widgets/thumb_box.h"

namespace vt {

bool TvtThumbBoxAction::GetEnabled() { return box_ != nullptr && box_->Core().CommandsEnabled(); }

TvtEditThumbAction::TvtEditThumbAction(QObject* parent) : TvtThumbBoxAction(parent) { setText(QObject::tr("&Edit")); }

void TvtEditThumbAction::DoExecute() { ThumbBox()->EditSelected(); }

TvtSaveThumbAction::TvtSaveThumbAction(QObject* parent) : TvtThumbBoxAction(parent) {
  setText(QObject::tr("&Save as..."));
}

void TvtSaveThumbAction::DoExecute() {
  TvtThumbBox& box = *ThumbBox();
  TvtThumbSource* doc = box.Source();
  const int32_t index = box.SelectedIndex();
  TvtThumb* thumb = doc ? doc->GetThumbs(index) : nullptr;
  if (thumb == nullptr) return;
  uint8_t o = 0;
  int32_t l = 0, t = 0, r = 0, b = 0;
  doc->GetThumbTransform(index, o, l, t, r, b);
  const TBitmap32& bitmap = *thumb->Bitmap;

  TvtFileDialog own(TvtFileDialog::dkSave);
  TvtFileDialog& dialog = dialog_ ? *dialog_ : own;
  dialog.Filter = ViewerFileFilter("*.bmp");
  dialog.FilterIndex = kViewerFilterIndex;
  dialog.DefaultExt = "bmp";
  dialog.InitialDir = InitialSaveFolder(doc->FileName);
  dialog.FileName = ProposedThumbFileName(doc->FileName, bitmap, o, l, t, r, b);
  QWidget* owner = QApplication::activeWindow() ? QApplication::activeWindow() : GetOwnerWindow();
  if (!dialog.Execute(owner)) return;
  SaveFolder = FolderOf(dialog.FileName);
  SaveThumbBitmapFile(bitmap, o, l, t, r, b, dialog.FileName, doc->FileName);
}

}  // namespace vt
