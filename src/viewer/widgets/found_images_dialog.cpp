#include "viewer/widgets/found_images_dialog.h"

#include <QAbstractTableModel>
#include <QCache>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

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

// The rows of the list in the dialog's order and filter; previews are made when a row is painted
// and only the recent ones are kept, so a card image with thousands of pictures costs no more
// than the rows in sight.
class TvtFoundImagesModel : public QAbstractTableModel {
 public:
  explicit TvtFoundImagesModel(const TvtOpenResult& result, QObject* parent)
      : QAbstractTableModel(parent), result_(result), icons_(400) {
    rows_ = FoundListRows(result_.Items, view_);
  }

  const TvtFoundListView& View() const { return view_; }
  void SetView(const TvtFoundListView& view) {
    beginResetModel();
    view_ = view;
    rows_ = FoundListRows(result_.Items, view_);
    endResetModel();
  }
  int32_t ItemAt(int row) const {
    return row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[static_cast<size_t>(row)] : -1;
  }
  int RowOf(int32_t item) const {
    const auto at = std::find(rows_.begin(), rows_.end(), item);
    return at == rows_.end() ? -1 : static_cast<int>(at - rows_.begin());
  }

  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
  }
  int columnCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : TvtFoundImagesDialog::fcColumnCount;
  }

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
      case TvtFoundImagesDialog::fcOffset: return tr("Offset");
      case TvtFoundImagesDialog::fcSize: return tr("Size");
      case TvtFoundImagesDialog::fcBytes: return tr("Bytes");
      case TvtFoundImagesDialog::fcDecoded: return tr("Decoded");
      case TvtFoundImagesDialog::fcPieces: return tr("Pieces");
      case TvtFoundImagesDialog::fcNotes: return tr("Notes");
      default: return {};
    }
  }

  QVariant data(const QModelIndex& index, int role) const override {
    const int32_t at = index.isValid() ? ItemAt(index.row()) : -1;
    if (at < 0) return {};
    const TvtFoundItem& item = result_.Items[static_cast<size_t>(at)];
    const int column = index.column();
    if (role == Qt::DisplayRole) {
      switch (column) {
        case TvtFoundImagesDialog::fcOffset: return QString::fromStdString(FoundOffsetText(item));
        case TvtFoundImagesDialog::fcSize: return QString::fromStdString(FoundSizeText(item));
        case TvtFoundImagesDialog::fcBytes: return QString::fromStdString(FoundBytesText(item));
        case TvtFoundImagesDialog::fcDecoded: return QString::fromStdString(FoundDecodedText(item));
        case TvtFoundImagesDialog::fcPieces: return QString::fromStdString(FoundPiecesText(item));
        case TvtFoundImagesDialog::fcNotes: return QString::fromStdString(FoundNotesText(item));
        default: return {};
      }
    }
    if (role == Qt::TextAlignmentRole && column != TvtFoundImagesDialog::fcNotes)
      return QVariant::fromValue<Qt::Alignment>(
          (column == TvtFoundImagesDialog::fcOffset ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
    if (role == Qt::DecorationRole && column == TvtFoundImagesDialog::fcOffset) {
      // The same picture when the row is selected (not tinted with the selection's colour).
      if (QIcon* cached = icons_.object(at)) return *cached;
      const QPixmap pixmap = FoundItemPixmap(item);
      auto* icon = new QIcon(pixmap);
      icon->addPixmap(pixmap, QIcon::Selected);
      const QIcon copy = *icon;
      icons_.insert(at, icon);
      return copy;
    }
    if (role == Qt::ToolTipRole) {
      std::string folders;
      for (const std::string& f : item.Folders) folders += (folders.empty() ? "" : ", ") + f;
      return QString::fromStdString(FoundItemText(item) + "\nFiled in: " + folders);
    }
    return {};
  }

 private:
  const TvtOpenResult& result_;
  TvtFoundListView view_;
  std::vector<int32_t> rows_;
  mutable QCache<int32_t, QIcon> icons_;
};

namespace {

constexpr QSize kRowIcon(80, 60);

// The list's columns that sort, with their keys.
bool SortKeyOfColumn(int column, TvtFoundSortKey& key) {
  switch (column) {
    case TvtFoundImagesDialog::fcOffset: key = TvtFoundSortKey::Offset; return true;
    case TvtFoundImagesDialog::fcSize: key = TvtFoundSortKey::PixelSize; return true;
    case TvtFoundImagesDialog::fcBytes: key = TvtFoundSortKey::Bytes; return true;
    case TvtFoundImagesDialog::fcDecoded: key = TvtFoundSortKey::Decoded; return true;
    case TvtFoundImagesDialog::fcPieces: key = TvtFoundSortKey::Pieces; return true;
    default: return false;
  }
}

int ColumnOfSortKey(TvtFoundSortKey key) {
  for (int column = 0; column < TvtFoundImagesDialog::fcColumnCount; ++column) {
    TvtFoundSortKey k;
    if (SortKeyOfColumn(column, k) && k == key) return column;
  }
  return TvtFoundImagesDialog::fcOffset;
}

}  // namespace

TvtFoundImagesDialog::TvtFoundImagesDialog(const TvtOpenResult& result, int32_t preselected,
                                           const std::string& fileName, QWidget* parent)
    : QDialog(parent), result_(result) {
  setWindowTitle(tr("Found images"));
  setSizeGripEnabled(true);
  auto* layout = new QVBoxLayout(this);
  summary_ = new QLabel(QString::fromStdString(FoundImagesSummary(result, fileName)), this);
  summary_->setWordWrap(true);
  layout->addWidget(summary_);

  auto* filters = new QHBoxLayout;
  hideBroken_ = new QCheckBox(tr("Hide &broken pictures"), this);
  hideSmall_ = new QCheckBox(tr("Hide &small pictures (thumbnails, embedded previews)"), this);
  count_ = new QLabel(this);
  filters->addWidget(hideBroken_);
  filters->addWidget(hideSmall_);
  filters->addStretch(1);
  filters->addWidget(count_);
  layout->addLayout(filters);

  model_ = new TvtFoundImagesModel(result, this);
  list_ = new QTreeView(this);
  list_->setModel(model_);
  list_->setRootIsDecorated(false);
  list_->setItemsExpandable(false);
  list_->setUniformRowHeights(true);
  list_->setAllColumnsShowFocus(true);
  list_->setIconSize(kRowIcon);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setAlternatingRowColors(true);
  QHeaderView* header = list_->header();
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(true);
  header->setSortIndicator(fcOffset, Qt::AscendingOrder);
  header->setStretchLastSection(true);
  header->resizeSection(fcOffset, kRowIcon.width() + 190);
  for (int column : {fcSize, fcBytes, fcDecoded}) header->resizeSection(column, 110);
  header->resizeSection(fcPieces, 90);
  layout->addWidget(list_, 1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  ok_->setText(tr("&Open"));
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  // A double click opens the picture (Enter does, through the default button).
  connect(list_, &QTreeView::doubleClicked, this, [this] {
    if (Selected() >= 0) accept();
  });
  connect(header, &QHeaderView::sortIndicatorChanged, this, [this](int column, Qt::SortOrder order) {
    TvtFoundListView view = View();
    if (!SortKeyOfColumn(column, view.Key)) {
      // Notes do not sort: the indicator stays where the order is.
      QSignalBlocker hold(list_->header());
      list_->header()->setSortIndicator(ColumnOfSortKey(view.Key),
                                        view.Descending ? Qt::DescendingOrder : Qt::AscendingOrder);
      return;
    }
    view.Descending = order == Qt::DescendingOrder;
    SetView(view);
  });
  connect(hideBroken_, &QCheckBox::toggled, this, [this](bool on) {
    TvtFoundListView view = View();
    view.HideBroken = on;
    SetView(view);
  });
  connect(hideSmall_, &QCheckBox::toggled, this, [this](bool on) {
    TvtFoundListView view = View();
    view.HideSmall = on;
    SetView(view);
  });
  connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { ok_->setEnabled(Selected() >= 0); });

  SetSelected(preselected);
  ok_->setEnabled(Selected() >= 0);
  UpdateCount();
  list_->setFocus();
  // Most of the screen: a card's list is long.
  QSize size(900, 640);
  if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
    size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
  resize(size);
}

TvtFoundImagesDialog::~TvtFoundImagesDialog() = default;

const TvtFoundListView& TvtFoundImagesDialog::View() const { return model_->View(); }

void TvtFoundImagesDialog::SetView(const TvtFoundListView& view) {
  const int32_t chosen = Selected();
  model_->SetView(view);
  {
    QSignalBlocker hold(list_->header());
    list_->header()->setSortIndicator(ColumnOfSortKey(view.Key), view.Descending ? Qt::DescendingOrder : Qt::AscendingOrder);
  }
  {
    QSignalBlocker holdBroken(hideBroken_), holdSmall(hideSmall_);
    hideBroken_->setChecked(view.HideBroken);
    hideSmall_->setChecked(view.HideSmall);
  }
  SetSelected(chosen);
  ok_->setEnabled(Selected() >= 0);
  UpdateCount();
}

int32_t TvtFoundImagesDialog::ItemAtRow(int row) const { return model_->ItemAt(row); }

void TvtFoundImagesDialog::UpdateCount() {
  const int shown = model_->rowCount({});
  const int all = static_cast<int>(result_.Items.size());
  count_->setText(shown == all ? QString() : tr("Showing %1 of %2").arg(shown).arg(all));
}

int32_t TvtFoundImagesDialog::Selected() const {
  const QModelIndexList rows = list_->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : model_->ItemAt(rows.front().row());
}

void TvtFoundImagesDialog::SetSelected(int32_t item) {
  const int row = model_->RowOf(item);
  if (row < 0) {
    list_->clearSelection();
    return;
  }
  const QModelIndex index = model_->index(row, 0);
  list_->setCurrentIndex(index);
  list_->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  list_->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

int32_t TvtFoundImagesChooser::Execute(QWidget* owner, const TvtOpenResult& result, int32_t preselected,
                                       const std::string& fileName) {
  TvtFoundImagesDialog dialog(result, preselected, fileName, owner);
  if (dialog.exec() != QDialog::Accepted) return -1;
  return dialog.Selected();
}

}  // namespace vt
