// The filter list of the open and save dialogs: patterns such as "*.jpg;*.jpeg" with their
// descriptions, kept in the Windows common-dialog form and turned into Qt's name filters only
// when a dialog is set up.
#pragma once

#include <QStringList>
#include <string>
#include <vector>

class QFileDialog;

namespace vt {

class TkelShellFilterArray {
 public:
  // Appends the pattern with a description derived from it; returns the new index.
  int Add(const std::string& pattern);
  // Appends both unchanged; returns the new index.
  int Add(const std::string& pattern, const std::string& description);

  int Count() const { return static_cast<int>(patterns_.size()); }
  // Index checked: out of range raises std::out_of_range.
  const std::string& Pattern(int i) const;
  const std::string& Description(int i) const;
  // Replaces the pattern and derives its description anew.
  void SetPattern(int i, const std::string& pattern);

  // "desc|pattern|desc|pattern...", empty for an empty list.
  std::string FilterText() const;

  // One Qt name filter per entry: the description followed by the patterns in Qt's syntax
  // ("(*.jpg *.jpeg)"; "*.*" becomes "*", which matches names without an extension too).
  // Shown with QFileDialog::HideNameFilterDetails, the user sees the description alone.
  QStringList QtNameFilters() const;

  // The description for a pattern: the type name of a file "1." + the extension of the
  // pattern's first piece (from the MIME database, by name only), or the extension in upper
  // case + " File" when no type is known; then " (" + the whole pattern + ")".
  static std::string DeriveDescription(const std::string& pattern);

 private:
  void checkIndex(int i) const;
  std::vector<std::string> patterns_;
  std::vector<std::string> descriptions_;
};

// The longest type name taken from the MIME database, in characters.
constexpr int kMaxTypeNameLength = 80;

// Sets the dialog's name filters from the array, hides Qt's pattern suffix so the descriptions
// show exactly, and selects the entry filterIndex (1-based, as in the Windows dialogs; an index
// out of range selects the first entry).
void ApplyFileDialogFilters(QFileDialog& dialog, const TkelShellFilterArray& filters,
                            int filterIndex);

// The 1-based index of the dialog's selected filter within the array, 0 when it is none.
int SelectedFilterIndex(const QFileDialog& dialog, const TkelShellFilterArray& filters);

// The filter of every dialog of the viewer: the pattern with its derived description, then
// "Any file" for "*.*"; the viewer selects kViewerFilterIndex.
TkelShellFilterArray ViewerFileFilter(const std::string& pattern);
constexpr int kViewerFilterIndex = 1;

}  // namespace vt
