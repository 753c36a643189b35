// "Found images": the list of the pictures an open beyond the default one found (a preview, the
// offset in hex and decimal, the size, the decoded percent, "broken", where a replacement header
// came from), from which the user chooses the one the document shows. TvtFoundImagesChooser is
// the seam through which the commands show it (the tests give one that answers by itself).
#pragma once

#include <QDialog>
#include <QObject>
#include <QPixmap>
#include <string>

#include "source/source_open.h"

class QLabel;
class QListView;
class QPushButton;

namespace vt {

class TvtFoundImagesModel;

// A found item's preview centred in a 120 x 90 cell (transparent around and in its holes); an
// empty cell when there is none.
QPixmap FoundItemPixmap(const TvtFoundItem& item);

class TvtFoundImagesDialog : public QDialog {
 public:
  // result must outlive the dialog; preselected: the row chosen at first (-1: none).
  TvtFoundImagesDialog(const TvtOpenResult& result, int32_t preselected, const std::string& fileName,
                       QWidget* parent = nullptr);
  ~TvtFoundImagesDialog() override;

  // The chosen row, -1 when none is.
  int32_t Selected() const;
  void SetSelected(int32_t row);

  QListView* List() const { return list_; }
  QLabel* Summary() const { return summary_; }
  QPushButton* OkButton() const { return ok_; }

 private:
  TvtFoundImagesModel* model_ = nullptr;
  QListView* list_ = nullptr;
  QLabel* summary_ = nullptr;
  QPushButton* ok_ = nullptr;
};

class TvtFoundImagesChooser : public QObject {
 public:
  explicit TvtFoundImagesChooser(QObject* parent = nullptr) : QObject(parent) {}
  // Shows the list modally, owned by owner. Returns the chosen row, or -1 when cancelled.
  virtual int32_t Execute(QWidget* owner, const TvtOpenResult& result, int32_t preselected,
                          const std::string& fileName);
};

}  // namespace vt
