// "Found images": the pictures an open beyond the default one found (a deep scan of a card
// image may find thousands), one row each: a preview with the offset in hex and decimal, the
// pixel size, the bytes, the decoded percent and notes ("broken", where a replacement header
// came from). A click on a column's header sorts by it (offset, size, bytes, decoded), and two
// boxes leave out the broken pictures or the small ones (thumbnails, embedded previews). The
// user chooses the one the document shows. TvtFoundImagesChooser is the seam through which the
// commands show it (the tests give one that answers by itself).
#pragma once

#include <QDialog>
#include <QObject>
#include <QPixmap>
#include <string>

#include "source/source_open.h"
#include "viewer/found_images.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTreeView;

namespace vt {

class TvtFoundImagesModel;

// A found item's preview centred in a 120 x 90 cell (transparent around and in its holes); an
// empty cell when there is none.
QPixmap FoundItemPixmap(const TvtFoundItem& item);

class TvtFoundImagesDialog : public QDialog {
 public:
  // The columns, in order; a click on the header of the first four sorts by it.
  enum TColumn { fcOffset, fcSize, fcBytes, fcDecoded, fcPieces, fcNotes, fcColumnCount };

  // result must outlive the dialog; preselected: the item chosen at first (-1: none).
  TvtFoundImagesDialog(const TvtOpenResult& result, int32_t preselected, const std::string& fileName,
                       QWidget* parent = nullptr);
  ~TvtFoundImagesDialog() override;

  // The chosen item (an index into the result's items), -1 when none is.
  int32_t Selected() const;
  void SetSelected(int32_t item);

  // The order and the filters; the chosen item stays chosen while it is listed.
  const TvtFoundListView& View() const;
  void SetView(const TvtFoundListView& view);
  // The item shown in a row of the list.
  int32_t ItemAtRow(int row) const;

  QTreeView* List() const { return list_; }
  QLabel* Summary() const { return summary_; }
  QCheckBox* HideBrokenBox() const { return hideBroken_; }
  QCheckBox* HideSmallBox() const { return hideSmall_; }
  QPushButton* OkButton() const { return ok_; }

 private:
  void UpdateCount();

  const TvtOpenResult& result_;
  TvtFoundImagesModel* model_ = nullptr;
  QTreeView* list_ = nullptr;
  QLabel* summary_ = nullptr;
  QLabel* count_ = nullptr;
  QCheckBox* hideBroken_ = nullptr;
  QCheckBox* hideSmall_ = nullptr;
  QPushButton* ok_ = nullptr;
};

class TvtFoundImagesChooser : public QObject {
 public:
  explicit TvtFoundImagesChooser(QObject* parent = nullptr) : QObject(parent) {}
  // Shows the list modally, owned by owner. Returns the chosen item, or -1 when cancelled.
  virtual int32_t Execute(QWidget* owner, const TvtOpenResult& result, int32_t preselected,
                          const std::string& fileName);
};

}  // namespace vt
