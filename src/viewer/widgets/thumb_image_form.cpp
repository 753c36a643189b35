#include "viewer/widgets/thumb_image_form.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <filesystem>
#include <iterator>

#include "shell/error_box.h"
#include "source/vt_common.h"
#include "viewer/thumb_file.h"
#include "viewer/widgets/file_dialog.h"
#include "viewer/widgets/thumb_image.h"

namespace vt {

namespace {

constexpr int kViewMinimumWidth = 240;
constexpr int kViewMinimumHeight = 180;
// The dialog at first: room for a 640 x 480 preview at half its size and more.
constexpr int kDialogWidth = 860;
constexpr int kDialogHeight = 640;

}  // namespace

TvtThumbImageForm::TvtThumbImageForm(QWidget* parent, const TBitmap32& bitmap, const std::string& sourceFile)
    : QDialog(parent), bitmap_(bitmap), sourceFile_(sourceFile) {
  setWindowTitle(tr("Edit thumbnail"));
  FileName = std::filesystem::path(sourceFile).filename().string();

  cropLabel_ = new QLabel(tr("Crop:"), this);
  view_ = new TvtThumbImage(this);
  view_->Core().SetBitmap(&bitmap_);
  view_->setMinimumSize(kViewMinimumWidth, kViewMinimumHeight);
  view_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  result_ = new QLabel(this);
  notice_ = new QLabel(this);
  notice_->setWordWrap(true);
  QPalette warning = notice_->palette();
  warning.setColor(QPalette::WindowText, QColor(0xB0, 0x30, 0x00));
  notice_->setPalette(warning);
  for (int32_t side = 0; side < 4; ++side) {
    spins_[side] = new TvtThumbSpinEdit(this);
    spins_[side]->SetImage(view_, side);
    spins_[side]->OnClamped = [this](int32_t side, int32_t typed, int32_t kept) {
      notice_->setText(QString::fromStdString(CropClampNotice(side, typed, kept)));
    };
  }
  const int spinWidth = spins_[csTop]->sizeHint().width();
  for (TvtThumbSpinEdit* s : spins_) s->setFixedWidth(spinWidth);

  flipH_ = new QPushButton(tr("Flip &Horizontally"), this);
  flipV_ = new QPushButton(tr("Flip &Vertically"), this);
  rotateL_ = new QPushButton(tr("Rotate &Left"), this);
  rotateR_ = new QPushButton(tr("Rotate &Right"), this);
  save_ = new QPushButton(tr("&Save to file..."), this);
  ok_ = new QPushButton(tr("OK"), this);
  cancel_ = new QPushButton(tr("&Cancel"), this);
  ok_->setDefault(true);
  for (QPushButton* b : {flipH_, flipV_, rotateL_, rotateR_, save_}) b->setAutoDefault(false);
  connect(flipH_, &QPushButton::clicked, this, [this] { view_->Core().FlipHorizontally(); });
  connect(flipV_, &QPushButton::clicked, this, [this] { view_->Core().FlipVertically(); });
  connect(rotateL_, &QPushButton::clicked, this, [this] { view_->Core().RotateLeft(); });
  connect(rotateR_, &QPushButton::clicked, this, [this] { view_->Core().RotateRight(); });
  connect(save_, &QPushButton::clicked, this, [this] { SaveToFile(); });
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

  // "Crop:" at the top left; the top field centred over the picture, the left and right ones
  // beside it, the bottom one under it; the four commands in a column at the right, all as wide
  // as the widest; the dialog's buttons in a row at the bottom.
  auto* crop = new QGridLayout;
  crop->addWidget(cropLabel_, 0, 0, 1, 3, Qt::AlignLeft);
  crop->addWidget(spins_[csTop], 1, 1, Qt::AlignHCenter);
  crop->addWidget(spins_[csLeft], 2, 0, Qt::AlignVCenter);
  crop->addWidget(view_, 2, 1);
  crop->addWidget(spins_[csRight], 2, 2, Qt::AlignVCenter);
  crop->addWidget(spins_[csBottom], 3, 1, Qt::AlignHCenter);
  crop->addWidget(result_, 4, 0, 1, 3, Qt::AlignLeft);
  crop->addWidget(notice_, 5, 0, 1, 3);
  crop->setColumnStretch(1, 1);
  crop->setRowStretch(2, 1);

  auto* commands = new QVBoxLayout;
  int commandWidth = 0;
  for (QPushButton* b : {flipH_, flipV_, rotateL_, rotateR_}) commandWidth = std::max(commandWidth, b->sizeHint().width());
  for (QPushButton* b : {flipH_, flipV_, rotateL_, rotateR_}) {
    b->setFixedWidth(commandWidth);
    commands->addWidget(b);
  }
  commands->addStretch(1);

  auto* top = new QHBoxLayout;
  top->addLayout(crop, 1);
  top->addLayout(commands);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(save_);
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addLayout(buttons);

  // Tab goes through the fields as they are laid out (top, left, right, bottom), then the
  // commands, then the dialog's buttons.
  QWidget* const order[] = {spins_[csTop], spins_[csLeft], spins_[csRight], spins_[csBottom], flipH_, flipV_,
                            rotateL_,      rotateR_,      save_,          ok_,              cancel_};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
  spins_[csTop]->setFocus();

  ownDialog_ = new TvtFileDialog(TvtFileDialog::dkSave, this);
  saveDialog_ = ownDialog_;
  view_->Core().AddClient(this);
  setSizeGripEnabled(true);
  resize(kDialogWidth, kDialogHeight);
}

void TvtThumbImageForm::CropChanged(int32_t) {
  result_->setText(QString::fromStdString(ThumbResultSizeText(view_->Core().ResultSize())));
  notice_->clear();
}

TvtThumbImageForm::~TvtThumbImageForm() {
  // The fields and the size line leave the picture before it goes.
  for (TvtThumbSpinEdit* s : spins_) s->SetImage(nullptr, s->Side());
  view_->Core().RemoveClient(this);
}

bool TvtThumbImageForm::Execute(uint8_t& orientation, int32_t& cropLeft, int32_t& cropTop, int32_t& cropRight,
                                int32_t& cropBottom) {
  view_->Core().LoadValues(orientation, cropLeft, cropTop, cropRight, cropBottom);
  if (exec() != QDialog::Accepted) return false;
  const TvtThumbImageCore& core = view_->Core();
  orientation = core.Orientation();
  cropLeft = core.CropLeft();
  cropTop = core.CropTop();
  cropRight = core.CropRight();
  cropBottom = core.CropBottom();
  return true;
}

void TvtThumbImageForm::SaveToFile() {
  try {
    if (!saveDialog_) saveDialog_ = ownDialog_;
    TvtFileDialog& dialog = *saveDialog_;
    const TvtThumbImageCore& c = view_->Core();
    dialog.InitialDir = SaveFolder;
    dialog.FileName = ProposedThumbFileName(FileName, bitmap_, c.Orientation(), c.CropLeft(), c.CropTop(),
                                            c.CropRight(), c.CropBottom());
    dialog.Filter = ViewerFileFilter("*.bmp");
    dialog.FilterIndex = kViewerFilterIndex;
    dialog.DefaultExt = "bmp";
    if (!dialog.Execute(this)) return;
    SaveFolder = FolderOf(dialog.FileName);
    SaveThumbBitmapFile(bitmap_, c.Orientation(), c.CropLeft(), c.CropTop(), c.CropRight(), c.CropBottom(),
                        dialog.FileName, sourceFile_);
  } catch (...) {
    ShowError(this, std::current_exception(), {}, {}, {}, mbOK, esError);
  }
}

}  // namespace vt
