// The Thumbnail menu's commands on the list's selected thumbnail: Edit opens the editor, Save as
// writes the edited thumbnail as "NAME (thumb WxH).bmp". Both apply only while a thumbnail entry
// (not "Don`t use thumbnail") is selected.
#pragma once

#include <QPointer>

#include "shell/shell_action.h"
#include "viewer/widgets/file_dialog.h"

namespace vt {

class TvtThumbBox;

class TvtThumbBoxAction : public TkelShellAction {
 public:
  explicit TvtThumbBoxAction(QObject* parent = nullptr) : TkelShellAction(parent) {}
  void SetThumbBox(TvtThumbBox* box) { box_ = box; }
  TvtThumbBox* ThumbBox() const { return box_; }
  bool GetEnabled() override;

 private:
  QPointer<TvtThumbBox> box_;
};

class TvtEditThumbAction : public TvtThumbBoxAction {
 public:
  explicit TvtEditThumbAction(QObject* parent = nullptr);
  void DoExecute() override;
};

class TvtSaveThumbAction : public TvtThumbBoxAction {
 public:
  explicit TvtSaveThumbAction(QObject* parent = nullptr);
  // Another save dialog (by default the command makes its own for each use).
  void SetDialog(TvtFileDialog* dialog) { dialog_ = dialog; }
  void DoExecute() override;

 private:
  QPointer<TvtFileDialog> dialog_;
};

}  // namespace vt
