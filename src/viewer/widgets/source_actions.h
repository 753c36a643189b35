// The commands that act on the document: TvtSourceAction holds it, TvtSourceSaveAction is
// File > Save As, which writes the document as a restored baseline JPEG ("NAME (restored).jpg"):
// decoded blocks keep their coefficients, missing ones are encoded from the thumbnail background.
#pragma once

#include <QPointer>

#include "shell/shell_action.h"
#include "viewer/source_clients.h"
#include "viewer/widgets/file_dialog.h"

namespace vt {

class TvtThumbSource;

class TvtSourceAction : public TkelShellAction {
 public:
  explicit TvtSourceAction(QObject* parent = nullptr);
  // Attaches the document; a destroyed document detaches itself.
  void SetSource(TvtThumbSource* source) { link_.SetSource(source); }
  TvtThumbSource* Source() const { return link_.Source(); }
  bool GetEnabled() override;

 private:
  TvtSourceClientLink link_;
};

class TvtSourceSaveAction : public TvtSourceAction {
 public:
  explicit TvtSourceSaveAction(QObject* parent = nullptr);
  // The save dialog; a destroyed dialog detaches itself.
  void SetDialog(TvtFileDialog* dialog) { dialog_ = dialog; }
  TvtFileDialog* Dialog() const { return dialog_; }
  // A document with an image, and a dialog.
  bool GetEnabled() override;
  void DoExecute() override;

 private:
  QPointer<TvtFileDialog> dialog_;
};

// Where a save dialog opens: SaveFolder, else the folder of the document's file.
std::string InitialSaveFolder(const std::string& documentFile);

}  // namespace vt
