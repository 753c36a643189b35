#include "viewer/widgets/save_all_action.h"

#include <QApplication>

#include <stdexcept>

#include "shell/error_box.h"
#include "source/vt_common.h"
#include "viewer/save_all_found.h"
#include "viewer/widgets/deep_open_actions.h"
#include "viewer/widgets/scan_progress.h"

namespace vt {

namespace {

const char* const kTitle = "Save All Found";
// The failures a report lists before it only counts the rest.
constexpr size_t kListedFailures = 10;

std::string Report(const TvtSaveAllResult& result, int32_t total, const std::string& folder) {
  const size_t written = result.Files.size();
  std::string text = (result.Cancelled ? "Cancelled: " : "") + std::to_string(written) + " of " +
                     std::to_string(total) + (total == 1 ? " picture" : " pictures") + " saved in " + folder + ".";
  if (!result.Failures.empty()) {
    text += "\n\nNot saved:";
    for (size_t i = 0; i < result.Failures.size() && i < kListedFailures; ++i) text += "\n" + result.Failures[i];
    if (result.Failures.size() > kListedFailures)
      text += "\n... and " + std::to_string(result.Failures.size() - kListedFailures) + " more.";
  }
  return text;
}

}  // namespace

TvtSaveAllFoundAction::TvtSaveAllFoundAction(TvtDeepOpen& deepOpen, QObject* parent)
    : TkelShellAction(QObject::tr("Save All Found..."), parent), deepOpen_(deepOpen) {
  setStatusTip(QObject::tr("Save every picture the last scan found as a restored JPEG into a folder"));
  dialog_ = new TvtFileDialog(TvtFileDialog::dkFolder, this);
}

bool TvtSaveAllFoundAction::GetEnabled() {
  const TvtOpenResult* found = deepOpen_.LastResult();
  return found != nullptr && !found->Items.empty() && dialog_ != nullptr;
}

void TvtSaveAllFoundAction::DoExecute() {
  const TvtOpenResult& found = *deepOpen_.LastResult();
  const std::string source = deepOpen_.LastPath();
  TvtFileDialog& dialog = *dialog_;
  dialog.Title = QObject::tr("Save All Found: choose the folder").toStdString();
  dialog.InitialDir = SaveFolder.empty() ? FolderOf(source) : SaveFolder;
  dialog.FileName.clear();
  QWidget* owner = QApplication::activeWindow() ? QApplication::activeWindow() : GetOwnerWindow();
  if (!dialog.Execute(owner)) return;
  std::string folder = dialog.FileName;
  if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  SaveFolder = folder + "/";

  TvtScanProgress progress(owner, QObject::tr(kTitle), source);
  progress.DelayMs = ProgressDelayMs;
  const TvtSaveAllResult result =
      SaveAllFound(found, source, folder, deepOpen_.LastRepair(), [&progress](int32_t done, int32_t total) {
        const int percent = total > 0 ? static_cast<int>(int64_t(done) * 100 / total) : 100;
        return progress.Step(percent, "Saving picture " + std::to_string(std::min(done + 1, total)) + " of " +
                                          std::to_string(total) + "...");
      });
  progress.Finish();
  const int32_t total = static_cast<int32_t>(found.Items.size());
  ShowError(owner, std::make_exception_ptr(std::runtime_error(Report(result, total, folder))), {}, {}, kTitle, mbOK,
            result.Failures.empty() ? esInformation : esWarning);
}

}  // namespace vt
