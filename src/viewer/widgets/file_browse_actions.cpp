#include "viewer/widgets/file_browse_actions.h"

#include <QAction>
#include <QWidget>

#include <stdexcept>

#include "shell/error_box.h"
#include "shell/shell_action.h"
#include "viewer/thumb_source.h"

namespace vt {

namespace {

class TvtBrowseAction : public TkelShellAction {
 public:
  TvtBrowseAction(const QString& caption, QObject* parent, TvtFileBrowse& browse, int step)
      : TkelShellAction(caption, parent), browse_(browse), step_(step) {}
  bool GetEnabled() override { return browse_.CanGo(step_); }
  void DoExecute() override { browse_.Go(step_); }

 private:
  TvtFileBrowse& browse_;
  int step_;
};

}  // namespace

TvtFileBrowse::TvtFileBrowse(QWidget* owner, TvtThumbSource& document, std::function<void(const std::string&)> open,
                             QAction* save)
    : owner_(owner), document_(document), open_(std::move(open)), save_(save) {
  next_ = new TvtBrowseAction(QObject::tr("&Next File"), owner, *this, 1);
  next_->setShortcut(QKeySequence(Qt::Key_PageDown));
  next_->setStatusTip(QObject::tr("Open the next JPEG of the folder"));
  previous_ = new TvtBrowseAction(QObject::tr("&Previous File"), owner, *this, -1);
  previous_->setShortcut(QKeySequence(Qt::Key_PageUp));
  previous_->setStatusTip(QObject::tr("Open the previous JPEG of the folder"));
}

bool TvtFileBrowse::CanGo(int step) {
  if (document_.FileName.empty()) return false;
  if (browse_.Path() != document_.FileName) browse_.Refresh(document_.FileName);
  return !browse_.Neighbour(step).empty();
}

bool TvtFileBrowse::Go(int step) {
  if (document_.FileName.empty()) return false;
  // The folder as it is now: files may have come or gone since it was listed.
  browse_.Refresh(document_.FileName);
  const std::string path = browse_.Neighbour(step);
  if (path.empty() || !ConfirmDropEdits()) return false;
  open_(path);
  return true;
}

bool TvtFileBrowse::ConfirmDropEdits() {
  if (!document_.Modified()) return true;
  const auto question = std::make_exception_ptr(std::runtime_error(UnsavedEditsQuestion(document_.FileName)));
  const int answer = ShowError(owner_, question, {}, {}, "Vantrelle viewer", mbYesNoCancel, esQuestion);
  if (answer == idNo) return true;
  if (answer != idYes || !save_) return false;
  save_->trigger();
  // Saved only when the command wrote the file; a cancelled dialog or a failed write keeps them.
  return !document_.Modified();
}

}  // namespace vt
