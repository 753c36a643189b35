#include "viewer/widgets/deep_open_actions.h"

#include <QWidget>

#include <exception>
#include <stdexcept>

#include "shell/error_box.h"
#include "shell/shell_action.h"
#include "shell/warning.h"
#include "source/disc_source.h"
#include "source/open_failure.h"
#include "source/vt_common.h"
#include "viewer/found_images.h"
#include "viewer/open_document.h"
#include "viewer/thumb_source.h"
#include "viewer/widgets/file_dialog.h"
#include "viewer/widgets/found_images_dialog.h"
#include "viewer/widgets/main_form.h"
#include "viewer/widgets/scan_progress.h"

namespace vt {

std::string LastReferenceDir;

namespace {

const char* const kDeepScanTitle = "Open with deep scan";
const char* const kReferenceTitle = "Open with reference photo";

// A command of this file: what it runs and when it applies.
class TvtDeepOpenAction : public TkelShellAction {
 public:
  TvtDeepOpenAction(const QString& caption, QObject* parent, std::function<void()> run,
                    std::function<bool()> enabled = {})
      : TkelShellAction(caption, parent), run_(std::move(run)), enabled_(std::move(enabled)) {}
  bool GetEnabled() override { return !enabled_ || enabled_(); }
  void DoExecute() override { run_(); }

 private:
  std::function<void()> run_;
  std::function<bool()> enabled_;
};

void ShowException(QWidget* owner, std::exception_ptr error) {
  int style = esError;
  try {
    std::rethrow_exception(error);
  } catch (const EWarning&) {
    style = esWarning;
  } catch (...) {
  }
  ShowError(owner, error, {}, {}, {}, mbOK, style);
}

}  // namespace

struct TvtDeepOpen::TOpened {
  std::unique_ptr<TvtDiscSource> Source = std::make_unique<TvtDiscSource>();
  TvtOpenResult Result;  // its items belong to Source
  std::string Path;
  TvtRepair Repair = TvtRepair::None;
};

TvtDeepOpen::TvtDeepOpen(QWidget* owner, TvtThumbSource& document, TvtDiscSource& defaultSource,
                         std::function<TvtFileDialog*()> openDialog)
    : owner_(owner), document_(document), defaultSource_(defaultSource), openDialog_(std::move(openDialog)) {
  referenceDialog_ = new TvtFileDialog(TvtFileDialog::dkOpen, owner);
  chooser_ = new TvtFoundImagesChooser(owner);

  deepScanAction_ = new TvtDeepOpenAction(QObject::tr("Open with deep scan..."), owner, [this] { OpenWithDeepScan(); });
  deepScanAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
  deepScanAction_->setStatusTip(QObject::tr("Search the whole file for pictures: junk before the photo, disk and card images"));
  referenceAction_ =
      new TvtDeepOpenAction(QObject::tr("Open with reference photo..."), owner, [this] { OpenWithReference(); });
  referenceAction_->setStatusTip(
      QObject::tr("Open a photo whose header is lost with the header of an intact photo from the same camera"));
  foundImagesAction_ = new TvtDeepOpenAction(
      QObject::tr("Found images..."), owner, [this] { ShowFoundImages(); }, [this] { return HasFoundImages(); });
  foundImagesAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));
  foundImagesAction_->setStatusTip(QObject::tr("Choose another of the pictures the last scan found"));
}

// The document may still read the streams of shown_: the owner clears or destroys the document
// first (the main window does both before this object goes).
TvtDeepOpen::~TvtDeepOpen() = default;

void TvtDeepOpen::SetReferenceDialog(TvtFileDialog* dialog) { referenceDialog_ = dialog; }

void TvtDeepOpen::SetChooser(TvtFoundImagesChooser* chooser) { chooser_ = chooser; }

bool TvtDeepOpen::PickFile(TvtFileDialog& dialog, const QString& title, std::string& path, int filterIndex) {
  const std::string oldTitle = dialog.Title;
  dialog.Title = title.toStdString();
  dialog.InitialDir = LastOpenDir;
  dialog.FileName.clear();
  dialog.Filter = ViewerFileFilter("*.jpg;*.jpeg");
  dialog.FilterIndex = filterIndex;
  const bool chosen = dialog.Execute(owner_);
  dialog.Title = oldTitle;
  if (!chosen) return false;
  LastOpenDir = FolderOf(dialog.FileName);
  path = dialog.FileName;
  return true;
}

void TvtDeepOpen::OpenWithDeepScan() {
  TvtFileDialog* dialog = openDialog_ ? openDialog_() : nullptr;
  std::string path;
  // A deep scan is for card and disk images too (.img, .bin, .dd): every file is listed.
  if (dialog == nullptr || !PickFile(*dialog, QObject::tr(kDeepScanTitle), path, kViewerFilterIndex + 1)) return;
  TvtOpenOptions options;
  options.Deep = true;
  Open(path, std::move(options));
}

void TvtDeepOpen::OpenWithReference() {
  TvtFileDialog* dialog = openDialog_ ? openDialog_() : nullptr;
  std::string path;
  if (dialog == nullptr || referenceDialog_ == nullptr ||
      !PickFile(*dialog, QObject::tr("Open with reference photo: the damaged file"), path, kViewerFilterIndex))
    return;
  TvtFileDialog& refs = *referenceDialog_;
  refs.Title = QObject::tr("Choose an intact photo from the same camera (the reference)").toStdString();
  refs.MultiSelect = true;
  refs.InitialDir = LastReferenceDir.empty() ? LastOpenDir : LastReferenceDir;
  refs.FileName.clear();
  refs.FileNames.clear();
  refs.Filter = ViewerFileFilter("*.jpg;*.jpeg");
  refs.FilterIndex = kViewerFilterIndex;
  if (!refs.Execute(owner_)) return;
  TvtOpenOptions options;
  options.References = refs.FileNames.empty() ? std::vector<std::string>{refs.FileName} : refs.FileNames;
  LastReferenceDir = FolderOf(options.References.front());
  Open(path, std::move(options));
}

void TvtDeepOpen::Open(const std::string& path, TvtOpenOptions options) {
  auto opened = std::make_shared<TOpened>();
  opened->Path = path;
  opened->Repair = options.Repair;
  // The list of found images decides what is shown: an error, a warning and the one picture,
  // or the picture the user chooses (none when the list is cancelled).
  bool listed = false, shown = false;
  auto choose = [&](const TvtOpenResult& found, std::string&) -> int32_t {
    opened->Result = found;
    const TvtFoundImagesPlan plan = PlanFoundImages(found, options);
    if (plan.Kind == TvtFoundImagesPlan::pkNothing) return -1;
    if (plan.Kind == TvtFoundImagesPlan::pkError) {
      ShowError(owner_, std::make_exception_ptr(std::runtime_error(plan.Message)), {}, {}, {}, mbOK, esError);
      return -1;
    }
    if (!plan.Warning.empty())
      ShowError(owner_, std::make_exception_ptr(EWarning(plan.Warning)), {}, {}, {}, mbOK, esWarning);
    // The list stays at hand (File > Found images...) even when it is cancelled now.
    listed = true;
    int32_t row = plan.Item;
    if (plan.Kind == TvtFoundImagesPlan::pkChoose)
      row = chooser_ ? chooser_->Execute(owner_, opened->Result, plan.Item, path) : -1;
    shown = row >= 0;
    if (shown) {
      shown_ = opened;
      shownRow_ = row;
    }
    return row;
  };
  std::exception_ptr error;
  try {
    TvtScanProgress progress(owner_, QObject::tr(options.References.empty() ? kDeepScanTitle : kReferenceTitle), path);
    progress.DelayMs = ProgressDelayMs;
    options.Progress = progress.Callback();
    TvtChooseItem chooseAfterScan = [&](const TvtOpenResult& found, std::string& message) {
      progress.Finish();
      return choose(found, message);
    };
    OpenDocument(*opened->Source, document_, path, options, chooseAfterScan);
  } catch (...) {
    error = std::current_exception();
  }
  if (listed) last_ = opened;
  if (shown) Shown(*opened);
  if (error) ShowException(owner_, error);
}

void TvtDeepOpen::ShowFoundImages() {
  if (!HasFoundImages() || chooser_ == nullptr) return;
  const std::shared_ptr<TOpened> opened = last_;
  const int32_t preselected = shown_ == opened ? shownRow_ : opened->Result.DefaultItem;
  const int32_t row = chooser_->Execute(owner_, opened->Result, preselected, opened->Path);
  if (row < 0 || (shown_ == opened && row == shownRow_)) return;
  Show(opened, row);
}

void TvtDeepOpen::Show(const std::shared_ptr<TOpened>& opened, int32_t row) {
  if (row < 0 || row >= static_cast<int32_t>(opened->Result.Items.size())) return;
  shown_ = opened;
  shownRow_ = row;
  std::exception_ptr error;
  try {
    TvtItem* item = opened->Result.Items[static_cast<size_t>(row)].Item;
    if (item == nullptr || item->Stream == nullptr) {
      document_.Load(nullptr, nullptr, false, nullptr);
      throw std::runtime_error(kInvalidImage);
    }
    document_.FileName = opened->Path;
    LoadItem(document_, *item, opened->Repair);
  } catch (...) {
    error = std::current_exception();
  }
  Shown(*opened);
  if (error) ShowException(owner_, error);
}

void TvtDeepOpen::Shown(const TOpened& opened) {
  // The document no longer reads the default open's file; the window names the file shown and
  // Save As proposes its folder.
  defaultSource_.Close();
  // Only a picture among several is named by its offset; the one picture of a file keeps the
  // file's plain name.
  if (opened.Result.Items.size() < 2) document_.PictureOffset = 0;
  SaveFolder = FolderOf(opened.Path);
  if (owner_) owner_->setWindowTitle(QString::fromStdString(MakeCaption(opened.Path, document_.PictureOffset)));
}

void TvtDeepOpen::Forget() {
  last_.reset();
  shown_.reset();
  shownRow_ = -1;
}

bool TvtDeepOpen::HasFoundImages() const { return last_ && last_->Result.Items.size() > 1; }

const TvtOpenResult* TvtDeepOpen::LastResult() const { return last_ ? &last_->Result : nullptr; }

int32_t TvtDeepOpen::ShownRow() const { return shown_ && shown_ == last_ ? shownRow_ : -1; }

std::string TvtDeepOpen::LastPath() const { return last_ ? last_->Path : std::string(); }

TvtRepair TvtDeepOpen::LastRepair() const { return last_ ? last_->Repair : TvtRepair::None; }

}  // namespace vt
