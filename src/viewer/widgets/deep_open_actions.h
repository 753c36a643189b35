// File > "Open with deep scan...", File > "Open with reference photo..." and File > "Found
// images...": opens beyond the default one. The file is searched from end to end (and, with
// reference photos, their header sets are tried on picture data whose own header is lost) into
// a disc source of this object's own, with a progress dialog for long scans; then the one
// picture found opens, or the user chooses from the list of found images, which stays at hand
// until the next open. The document changes only when a picture is chosen, so a cancelled list
// leaves the picture shown before.
#pragma once

#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "source/source_open.h"

class QAction;
class QWidget;

namespace vt {

class TkelShellAction;
class TvtDiscSource;
class TvtFileDialog;
class TvtFoundImagesChooser;
class TvtThumbSource;

// The folder of the reference photo last chosen, for the whole run (the damaged file's folder
// goes to LastOpenDir as with File > Open).
extern std::string LastReferenceDir;

class TvtDeepOpen {
 public:
  // owner: the main window (dialogs, caption); document: what shows the chosen picture;
  // defaultSource: the disc source of File > Open, closed once a picture of ours is shown;
  // openDialog: the open dialog of File > Open (asked for each use, so a replaced one counts).
  TvtDeepOpen(QWidget* owner, TvtThumbSource& document, TvtDiscSource& defaultSource,
              std::function<TvtFileDialog*()> openDialog);
  ~TvtDeepOpen();
  TvtDeepOpen(const TvtDeepOpen&) = delete;
  TvtDeepOpen& operator=(const TvtDeepOpen&) = delete;

  // The commands, owned by the owner window.
  TkelShellAction* DeepScanAction() const { return deepScanAction_; }
  TkelShellAction* ReferenceAction() const { return referenceAction_; }
  TkelShellAction* FoundImagesAction() const { return foundImagesAction_; }

  // File > Open with deep scan...: the open dialog, then Open with a deep scan.
  void OpenWithDeepScan();
  // File > Open with reference photo...: the open dialog for the damaged file, then the
  // reference dialog (several may be chosen), then Open with them.
  void OpenWithReference();
  // File > Found images...: the list of the last open again; the chosen picture opens.
  void ShowFoundImages();
  // Opens path with options: progress, then an error box, the one picture, or the list.
  void Open(const std::string& path, TvtOpenOptions options);

  // Another open cleared the document: drops what the last open found. Call after the clear.
  void Forget();

  // Whether the last open found more than one picture (File > Found images... applies).
  bool HasFoundImages() const;
  // What the last open found (nullptr after Forget or before any open), and the row the
  // document shows (-1: none of them).
  const TvtOpenResult* LastResult() const;
  int32_t ShownRow() const;
  // The file the last open searched, and how its pictures were repaired (empty and none after
  // Forget or before any open).
  std::string LastPath() const;
  TvtRepair LastRepair() const;

  TvtFileDialog& ReferenceDialog() { return *referenceDialog_; }
  // Another reference dialog or list (the tests give ones that answer by themselves).
  void SetReferenceDialog(TvtFileDialog* dialog);
  void SetChooser(TvtFoundImagesChooser* chooser);
  // How long a scan runs before its progress dialog shows.
  int ProgressDelayMs = 400;

 private:
  struct TOpened;
  // filterIndex: the filter the dialog starts with (1 JPEG files, 2 any file).
  bool PickFile(TvtFileDialog& dialog, const QString& title, std::string& path, int filterIndex);
  void Show(const std::shared_ptr<TOpened>& opened, int32_t row);
  // After a picture of opened was loaded (or its load failed): the default open's file is let
  // go, the caption and the save folder follow the file shown.
  void Shown(const TOpened& opened);

  QPointer<QWidget> owner_;
  TvtThumbSource& document_;
  TvtDiscSource& defaultSource_;
  std::function<TvtFileDialog*()> openDialog_;
  QPointer<TvtFileDialog> referenceDialog_;
  QPointer<TvtFoundImagesChooser> chooser_;
  TkelShellAction* deepScanAction_ = nullptr;
  TkelShellAction* referenceAction_ = nullptr;
  TkelShellAction* foundImagesAction_ = nullptr;
  std::shared_ptr<TOpened> last_;   // the last open beyond the default one
  std::shared_ptr<TOpened> shown_;  // the open whose picture the document shows
  int32_t shownRow_ = -1;
};

}  // namespace vt
