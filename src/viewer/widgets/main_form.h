// TMainForm: the viewer's one main window. It owns the disc source that finds the JPEG in a
// file, the document, the image view and the commands, and opens files from the File menu, the
// command line (exactly one argument) and drag and drop (exactly one file).
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

#include "source/disc_source.h"
#include "viewer/thumb_source.h"

class QAction;
class QMenu;
class QMimeData;

namespace vt {

class TvtDeepOpen;
class TvtRepairActions;
class TvtStatusBar;
class TvtFileBrowse;
class TvtSaveAllFoundAction;
class TvtImage;
class TvtThumbBox;
class TvtFileDialog;
class TvtSourceSaveAction;
class TvtEditThumbAction;
class TvtSaveThumbAction;

// The folder of the file last chosen in the open dialog, for the whole run.
extern std::string LastOpenDir;

class TMainForm : public QMainWindow {
 public:
  // arguments: the command line without the program name; exactly one is opened.
  explicit TMainForm(const QStringList& arguments = {}, QWidget* parent = nullptr);
  // The same with the arguments as the system gave them: a file name that is not valid UTF-8
  // (common on cards written by old cameras) keeps its bytes and opens.
  explicit TMainForm(const std::vector<std::string>& arguments, QWidget* parent = nullptr);
  ~TMainForm() override;

  // Opens the file of a command line that holds exactly one argument; any other number opens
  // nothing.
  void OpenCommandLine(const std::vector<std::string>& arguments);
  // The one open routine of the menu, the command line and drops. Errors are shown in the error
  // box (a warning for EWarning); the previous document is cleared first in every case.
  void OpenFile(const std::string& path);
  // File > Open: the open dialog in LastOpenDir with the JPEG filter, then OpenFile.
  void OpenMenuItemClick();

  TvtDiscSource& DiscSource() { return *discSource_; }
  TvtThumbSource& Source() { return *source_; }
  TvtImage& Image() { return *image_; }
  TvtThumbBox& ThumbBox() { return *thumbBox_; }
  TvtEditThumbAction& EditThumbAction() { return *editThumbAction_; }
  TvtSaveThumbAction& SaveThumbAction() { return *saveThumbAction_; }
  TvtFileDialog& OpenDialog() { return *openDialog_; }
  TvtFileDialog& SaveDialog() { return *saveDialog_; }
  // Other dialogs for the open and save commands (the form keeps ownership of its own).
  void SetOpenDialog(TvtFileDialog* dialog) { openDialog_ = dialog; }
  void SetSaveDialog(TvtFileDialog* dialog);
  TvtSourceSaveAction& SaveAction() { return *saveAction_; }
  // File > Open with deep scan..., Open with reference photo... and Found images...
  TvtDeepOpen& DeepOpen() { return *deepOpen_; }
  // View > Next File and Previous File, and the question on unsaved repairs.
  TvtFileBrowse& FileBrowse() { return *fileBrowse_; }
  // File > Save All Found...
  TvtSaveAllFoundAction& SaveAllFoundAction() { return *saveAllFound_; }
  QMenu* FileMenu() const { return fileMenu_; }
  QMenu* ViewMenu() const { return viewMenu_; }
  QMenu* ThumbnailMenu() const { return thumbnailMenu_; }
  QMenu* HelpMenu() const { return helpMenu_; }
  // The Edit menu (repair mode, undo and redo, the repairs) and the status bar.
  TvtRepairActions& RepairActions() { return *repairActions_; }
  TvtStatusBar& Status() { return *statusBar_; }
  // Help > About: the program's name, version and purpose.
  void ShowAbout();
  QAction* OpenMenuItem() const { return openMenuItem_; }
  QAction* EditThumbMenuItem() const { return editThumbMenuItem_; }
  QAction* SaveThumbMenuItem() const { return saveThumbMenuItem_; }

  // Whether a drag carries exactly one local file, and that file's path.
  static bool SingleDroppedFile(const QMimeData* data, std::string* path = nullptr);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  // Unsaved repairs are not dropped without a question.
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();

  std::unique_ptr<TvtDiscSource> discSource_;
  std::unique_ptr<TvtThumbSource> source_;
  std::unique_ptr<TvtDeepOpen> deepOpen_;
  std::unique_ptr<TvtFileBrowse> fileBrowse_;
  TvtSaveAllFoundAction* saveAllFound_ = nullptr;
  TvtImage* image_ = nullptr;
  TvtThumbBox* thumbBox_ = nullptr;
  TvtEditThumbAction* editThumbAction_ = nullptr;
  TvtSaveThumbAction* saveThumbAction_ = nullptr;
  TvtFileDialog* openDialog_ = nullptr;
  TvtFileDialog* saveDialog_ = nullptr;
  TvtSourceSaveAction* saveAction_ = nullptr;
  QMenu* fileMenu_ = nullptr;
  QMenu* viewMenu_ = nullptr;
  QMenu* thumbnailMenu_ = nullptr;
  QMenu* helpMenu_ = nullptr;
  TvtRepairActions* repairActions_ = nullptr;
  TvtStatusBar* statusBar_ = nullptr;
  QAction* openMenuItem_ = nullptr;
  QAction* editThumbMenuItem_ = nullptr;
  QAction* saveThumbMenuItem_ = nullptr;
};

}  // namespace vt
