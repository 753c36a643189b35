#include "viewer/widgets/source_actions.h"

#include <QApplication>

#include "jpeg/writer_file.h"
#include "source/vt_common.h"
#include "viewer/thumb_source.h"

namespace vt {

std::string InitialSaveFolder(const std::string& documentFile) {
  return SaveFolder.empty() ? FolderOf(documentFile) : SaveFolder;
}

TvtSourceAction::TvtSourceAction(QObject* parent) : TkelShellAction(parent) {}

bool TvtSourceAction::GetEnabled() { return Source() != nullptr; }

TvtSourceSaveAction::TvtSourceSaveAction(QObject* parent) : TvtSourceAction(parent) {
  setText(QObject::tr("&Save As..."));
  setShortcut(QKeySequence::Save);
}

bool TvtSourceSaveAction::GetEnabled() {
  return TvtSourceAction::GetEnabled() && Source()->HasImage() && dialog_ != nullptr;
}

void TvtSourceSaveAction::DoExecute() {
  TvtThumbSource& doc = *Source();
  TvtFileDialog& dialog = *dialog_;
  dialog.InitialDir = InitialSaveFolder(doc.FileName);
  dialog.FileName = RestoredFileName(doc.FileName, doc.PictureOffset);
  dialog.Filter = ViewerFileFilter("*.jpg");
  dialog.FilterIndex = kViewerFilterIndex;
  dialog.DefaultExt = "jpg";
  QWidget* owner = QApplication::activeWindow() ? QApplication::activeWindow() : GetOwnerWindow();
  if (!dialog.Execute(owner)) return;
  const std::string target = dialog.FileName;
  SaveFolder = FolderOf(target);
  SaveBaselineJpegFile(*doc.Jpeg, doc.GetThumbBackground(), target, doc.FileName, doc.Trailer());
  doc.SetModified(false);  // the edits are in the file written
}

}  // namespace vt
