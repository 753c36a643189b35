// What the viewer's widget tests share: the application object, a fixture that records the
// error boxes instead of showing them, the bundled sample, and the action refresh.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <string>
#include <vector>

#include "shell/error_box.h"
#include "shell/shell_action.h"
#include "support/qt_app.h"
#include "viewer/resizer.h"
#include "viewer/widgets/file_dialog.h"

namespace vt::test {

class RecordedErrorBoxes : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = SetErrorPresenter([this](const TkelErrorBoxRequest& request) {
      shown.push_back(request);
      return answer;
    });
  }
  void TearDown() override {
    SetErrorPresenter(previous_);
    GR32Resizer().ClearJobs();
    GR32Resizer().WaitForWorker();
    GR32Resizer().Poll();
  }

  std::vector<TkelErrorBoxRequest> shown;
  int answer = idOk;

 private:
  TkelErrorPresenter previous_;
};

// A file dialog that answers by itself: it records what it was shown and chooses `answer`
// (an empty answer cancels).
class AnsweringDialog : public TvtFileDialog {
 public:
  explicit AnsweringDialog(TKind kind = dkSave) : TvtFileDialog(kind) {}
  bool Execute(QWidget*) override {
    seenDir = InitialDir;
    seenName = FileName;
    seenFilter = Filter.FilterText();
    seenExt = DefaultExt;
    seenFilterIndex = FilterIndex;
    if (answer.empty()) return false;
    FileName = answer;
    return true;
  }
  std::string answer, seenDir, seenName, seenFilter, seenExt;
  int seenFilterIndex = 0;
};

// The bundled sample: a photo with an Exif thumbnail, a damaged stretch and a cut-off end.
inline std::string SamplePath() { return VT_SAMPLE_FILE; }

inline void RefreshActions() { UpdateShellActions(); }

// Collects the resizer's finished work until no job is left (as its timer would).
inline void FinishResizerJobs() {
  for (int i = 0; i < 100 && GR32Resizer().JobCount() > 0; ++i) {
    GR32Resizer().WaitForWorker();
    GR32Resizer().Poll();
  }
}

}  // namespace vt::test
