#include "viewer/widgets/open_error_box.h"

#include <stdexcept>

#include "shell/error_box.h"
#include "viewer/open_error.h"

namespace vt {

void ShowOpenFailure(QWidget* owner, TvtDiscSource& source, const std::string& path,
                     const std::function<void()>& deepScan) {
  const TvtOpenErrorText error = OpenErrorText(path, DiagnoseOpenFailure(source));
  const auto raised = std::make_exception_ptr(std::runtime_error(error.Text));
  if (!error.OfferDeepScan || !deepScan) {
    ShowError(owner, raised, {}, {}, {}, mbOK, esError);
    return;
  }
  if (ShowErrorWithCommand(owner, raised, kDeepScanButton, mbOK, esError) == idCommand) deepScan();
}

}  // namespace vt
