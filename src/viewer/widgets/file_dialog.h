// The open and save dialogs of the viewer's commands, behind one small class so that a command
// can be given another dialog (the tests give one that answers by itself).
#pragma once

#include <QObject>
#include <string>
#include <vector>

#include "shell/filter_array.h"

class QFileDialog;
class QWidget;

namespace vt {

class TvtFileDialog : public QObject {
 public:
  // dkFolder chooses an existing folder (FileName is then the folder's path).
  enum TKind { dkOpen, dkSave, dkFolder };
  explicit TvtFileDialog(TKind kind, QObject* parent = nullptr);

  TKind Kind() const { return kind_; }
  // Set before Execute: the folder it opens in and the proposed file name. After a successful
  // Execute, FileName is the chosen file's path.
  std::string InitialDir;
  std::string FileName;
  TkelShellFilterArray Filter;
  int FilterIndex = kViewerFilterIndex;  // 1-based
  // The window title; empty: "Open" or "Save As".
  std::string Title;
  // An open dialog that lets the user choose several files; after a successful Execute,
  // FileNames holds every chosen file (and FileName the first).
  bool MultiSelect = false;
  std::vector<std::string> FileNames;
  // Added to a typed file name that has no extension ("jpg", "bmp"); empty adds nothing.
  std::string DefaultExt;

  // Shows the dialog modally, owned by owner; false when cancelled.
  virtual bool Execute(QWidget* owner);
  // Sets up a Qt dialog as Execute shows it: kind, title, folder, filters, proposed name.
  void Configure(QFileDialog& dialog) const;

 private:
  TKind kind_;
};

}  // namespace vt
