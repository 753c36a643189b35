#include "viewer/widgets/file_dialog.h"

#include <QDir>
#include <QFileDialog>

namespace vt {

TvtFileDialog::TvtFileDialog(TKind kind, QObject* parent) : QObject(parent), kind_(kind) {}

bool TvtFileDialog::Execute(QWidget* owner) {
  QFileDialog dialog(owner);
  Configure(dialog);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  FileNames.clear();
  for (const QString& file : dialog.selectedFiles()) FileNames.push_back(QDir::toNativeSeparators(file).toStdString());
  FileName = FileNames.front();
  FilterIndex = SelectedFilterIndex(dialog, Filter);
  return true;
}

void TvtFileDialog::Configure(QFileDialog& dialog) const {
  if (kind_ == dkOpen) {
    dialog.setWindowTitle(QObject::tr("Open"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(MultiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  } else if (kind_ == dkFolder) {
    dialog.setWindowTitle(QObject::tr("Choose Folder"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
  } else {
    // The file's folder must exist; replacing a file is confirmed first (Qt's default).
    dialog.setWindowTitle(QObject::tr("Save As"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
  }
  if (!Title.empty()) dialog.setWindowTitle(QString::fromStdString(Title));
  dialog.setSizeGripEnabled(true);
  if (!InitialDir.empty()) dialog.setDirectory(QString::fromStdString(InitialDir));
  if (kind_ != dkFolder) ApplyFileDialogFilters(dialog, Filter, FilterIndex);
  dialog.setDefaultSuffix(QString::fromStdString(DefaultExt));
  if (!FileName.empty()) dialog.selectFile(QString::fromStdString(FileName));
}

}  // namespace vt
