#include "viewer/widgets/found_images_dialog.h"

#include <QAbstractListModel>
#include <QCache>
#include <QDialogButtonBox>
#include <QIcon>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "viewer/found_images.h"
#include "viewer/image_view_core.h"
#include "viewer/widgets/image_view.h"

namespace vt {

namespace {

constexpr int kCellWidth = 120;
constexpr int kCellHeight = 90;

}  // namespace

QPixmap FoundItemPixmap(const TvtFoundItem& item) {
  QPixmap cell(kCellWidth, kCellHeight);
  cell.fill(Qt::transparent);
  TBitmap32* preview = nullptr;
  try {
    preview = item.Preview();
  } catch (...) {
    preview = nullptr;  // a preview that cannot be read back shows as an empty cell
  }
  if (preview == nullptr || preview->Empty()) return cell;
  const QImage image = BitmapImage(*preview);
  const int w = std::min(image.width(), kCellWidth), h = std::min(image.height(), kCellHeight);
  const QRect place((kCellWidth - w) / 2, (kCellHeight - h) / 2, w, h);
  // The holes of a broken picture show the checkerboard, as in the image view.
  TBitmap32 checker(w, h);
  DrawCheckerboard(checker);
  QPainter painter(&cell);
  painter.drawImage(place, BitmapImage(checker));
  painter.drawImage(place, image);
  return cell;
}

// The rows of the list; previews are made when a row is painted and only the recent ones are
// kept, so a card image with thousands of pictures costs no more than the rows in sight.
class TvtFoundImagesModel : public QAbstractListModel {
 public:
  explicit TvtFoundImagesModel(const TvtOpenResult& result, QObject* parent)
      : QAbstractListModel(parent), result_(result), icons_(200) {}

  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : static_cast<int>(result_.Items.size());
  }

  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= rowCount({})) return {};
    const TvtFoundItem& item = result_.Items[static_cast<size_t>(index.row())];
    if (role == Qt::DisplayRole) return QString::fromStdString(FoundItemText(item));
    if (role == Qt::DecorationRole) {
      // The same picture when the row is selected (not tinted with the selection's colour).
      if (QIcon* cached = icons_.object(index.row())) return *cached;
      const QPixmap pixmap = FoundItemPixmap(item);
      auto* icon = new QIcon(pixmap);
      icon->addPixmap(pixmap, QIcon::Selected);
      const QIcon copy = *icon;
      icons_.insert(index.row(), icon);
      return copy;
    }
    if (role == Qt::ToolTipRole) {
      std::string folders;
      for (const std::string& f : item.Folders) folders += (folders.empty() ? "" : ", ") + f;
      return QString::fromStdString("Filed in: " + folders);
    }
    return {};
  }

 private:
  const TvtOpenResult& result_;
  mutable QCache<int, QIcon> icons_;
};

TvtFoundImagesDialog::TvtFoundImagesDialog(const TvtOpenResult& result, int32_t preselected,
                                           const std::string& fileName, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(tr("Found images"));
  setSizeGripEnabled(true);
  auto* layout = new QVBoxLayout(this);
  summary_ = new QLabel(QString::fromStdString(FoundImagesSummary(result, fileName)), this);
  summary_->setWordWrap(true);
  layout->addWidget(summary_);

  model_ = new TvtFoundImagesModel(result, this);
  list_ = new QListView(this);
  list_->setModel(model_);
  list_->setIconSize(QSize(kCellWidth, kCellHeight));
  list_->setUniformItemSizes(true);
  list_->setSpacing(3);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setAlternatingRowColors(true);
  layout->addWidget(list_, 1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  ok_->setText(tr("&Open"));
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  // A double click opens the picture (Enter does, through the default button).
  connect(list_, &QListView::doubleClicked, this, [this] {
    if (Selected() >= 0) accept();
  });
  connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { ok_->setEnabled(Selected() >= 0); });

  SetSelected(preselected);
  ok_->setEnabled(Selected() >= 0);
  list_->setFocus();
  // Room for four rows at first.
  resize(520, 4 * (kCellHeight + 2 * 3 + 4) + 110);
}

TvtFoundImagesDialog::~TvtFoundImagesDialog() = default;

int32_t TvtFoundImagesDialog::Selected() const {
  const QModelIndexList rows = list_->selectionModel()->selectedIndexes();
  return rows.isEmpty() ? -1 : rows.front().row();
}

void TvtFoundImagesDialog::SetSelected(int32_t row) {
  if (row < 0 || row >= model_->rowCount({})) {
    list_->clearSelection();
    return;
  }
  const QModelIndex index = model_->index(row);
  list_->setCurrentIndex(index);
  list_->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect);
  list_->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

int32_t TvtFoundImagesChooser::Execute(QWidget* owner, const TvtOpenResult& result, int32_t preselected,
                                       const std::string& fileName) {
  TvtFoundImagesDialog dialog(result, preselected, fileName, owner);
  if (dialog.exec() != QDialog::Accepted) return -1;
  return dialog.Selected();
}

}  // namespace vt
