// View > "&Next File" (Page Down) and View > "&Previous File" (Page Up): the JPEG after or
// before the one shown in its folder, in name order (viewer/folder_browse.h), opened as File >
// Open opens it. Browsing stops at either end of the folder; the command is then disabled.
// Page Up and Page Down are free in every mode: the image view's editing keys are the arrows,
// Home, End, Delete, Space, Backspace and Ctrl+R. Repairs not yet saved are not dropped without
// a question (Yes saves them with File > Save As first, Cancel stays), here and wherever the
// window opens another file or closes.
#pragma once

#include <QPointer>
#include <functional>
#include <string>

#include "viewer/folder_browse.h"

class QAction;
class QWidget;

namespace vt {

class TkelShellAction;
class TvtThumbSource;

class TvtFileBrowse {
 public:
  // owner: the window (question box, actions); document: the picture shown and its file;
  // open: the window's open routine; save: File > Save As.
  TvtFileBrowse(QWidget* owner, TvtThumbSource& document, std::function<void(const std::string&)> open,
                QAction* save);
  TvtFileBrowse(const TvtFileBrowse&) = delete;
  TvtFileBrowse& operator=(const TvtFileBrowse&) = delete;

  TkelShellAction* NextAction() const { return next_; }
  TkelShellAction* PreviousAction() const { return previous_; }

  // Opens the next (step > 0) or previous (step < 0) JPEG of the shown file's folder, after the
  // question on unsaved repairs. Returns whether one was opened.
  bool Go(int step);
  // Whether a neighbour exists on that side (the folder is listed again when the file shown
  // changed).
  bool CanGo(int step);
  // Whether the repairs of the picture shown may be dropped: true when there are none, or
  // when the user saved them or chose to drop them.
  bool ConfirmDropEdits();

 private:
  QPointer<QWidget> owner_;
  TvtThumbSource& document_;
  std::function<void(const std::string&)> open_;
  QPointer<QAction> save_;
  TvtFolderBrowse browse_;
  TkelShellAction* next_ = nullptr;
  TkelShellAction* previous_ = nullptr;
};

}  // namespace vt
