#include "viewer/widgets/main_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QTimer>
#include <QUrl>


#include "shell/error_box.h"
#include "source/vt_common.h"
#include "viewer/open_document.h"
#include "viewer/widgets/deep_open_actions.h"
#include "viewer/widgets/file_browse_actions.h"
#include "viewer/widgets/file_dialog.h"
#include "viewer/widgets/image_view.h"
#include "viewer/widgets/repair_actions.h"
#include "viewer/widgets/status_bar.h"
#include "viewer/widgets/open_error_box.h"
#include "viewer/widgets/save_all_action.h"
#include "viewer/widgets/source_actions.h"
#include "viewer/widgets/thumb_box.h"
#include "viewer/widgets/thumb_box_actions.h"
#include "viewer/widgets/view_actions.h"

namespace vt {

std::string LastOpenDir;

namespace {

constexpr int kClientWidth = 554;
constexpr int kClientHeight = 289;

}  // namespace

namespace {

std::vector<std::string> Paths(const QStringList& arguments) {
  std::vector<std::string> paths;
  for (const QString& argument : arguments) paths.push_back(QFile::encodeName(argument).toStdString());
  return paths;
}

}  // namespace

TMainForm::TMainForm(const QStringList& arguments, QWidget* parent) : TMainForm(Paths(arguments), parent) {}

TMainForm::TMainForm(const std::vector<std::string>& arguments, QWidget* parent) : QMainWindow(parent) {
  setWindowTitle(QString::fromStdString(MakeCaption("")));
  setAcceptDrops(true);

  discSource_ = std::make_unique<TvtDiscSource>();
  source_ = std::make_unique<TvtThumbSource>();

  auto* client = new QWidget(this);
  auto* layout = new QHBoxLayout(client);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  image_ = new TvtImage(client);
  image_->SetEditingEnabled(false);
  image_->SetSource(source_.get());
  image_->SetUseThumbnail(true);
  layout->addWidget(image_, 1);
  thumbBox_ = new TvtThumbBox(client);
  thumbBox_->SetSource(source_.get());
  thumbBox_->SetImage(image_);
  layout->addWidget(thumbBox_);
  setCentralWidget(client);

  openDialog_ = new TvtFileDialog(TvtFileDialog::dkOpen, this);
  saveDialog_ = new TvtFileDialog(TvtFileDialog::dkSave, this);
  saveAction_ = new TvtSourceSaveAction(this);
  saveAction_->SetSource(source_.get());
  saveAction_->SetDialog(saveDialog_);
  editThumbAction_ = new TvtEditThumbAction(this);
  editThumbAction_->SetThumbBox(thumbBox_);
  saveThumbAction_ = new TvtSaveThumbAction(this);
  saveThumbAction_->SetThumbBox(thumbBox_);
  deepOpen_ = std::make_unique<TvtDeepOpen>(this, *source_, *discSource_, [this] { return openDialog_; });
  statusBar_ = new TvtStatusBar(*image_, this);
  setStatusBar(statusBar_);
  image_->Painted = [this] {
    statusBar_->Changed();
    // Where the damage starts is found once the first picture is on the screen and the smooth
    // one has followed (the search would hold the window's thread, which shows it, and changes
    // no block: it only tells the status bar).
    if (source_->RepairReport.FirstDamagePending && !image_->Core().SmoothPending())
      QTimer::singleShot(0, this, [this] {
        if (image_->Core().SmoothPending()) return;  // asked for since: its paint comes back here
        source_->FinishDamageSearch();
        statusBar_->Changed();
      });
  };
  repairActions_ = new TvtRepairActions(this, *image_, *statusBar_, [this] {
    const std::string file = source_->FileName;
    OpenFile(file);
  });
  saveAllFound_ = new TvtSaveAllFoundAction(*deepOpen_, this);
  fileBrowse_ = std::make_unique<TvtFileBrowse>(this, *source_, [this](const std::string& path) { OpenFile(path); },
                                                saveAction_);
  BuildMenus();

  const int menuHeight = menuBar()->sizeHint().height() + statusBar_->sizeHint().height();
  resize(kClientWidth, kClientHeight + menuHeight);
  move(0, 0);

  OpenCommandLine(arguments);
}

void TMainForm::OpenCommandLine(const std::vector<std::string>& arguments) {
  if (arguments.size() == 1) OpenFile(arguments.front());
}

TMainForm::~TMainForm() {
  // The views and commands leave the document before it goes; the document before the source
  // whose streams it reads.
  image_->Painted = nullptr;
  image_->SetSource(nullptr);
  thumbBox_->SetSource(nullptr);
  saveAction_->SetSource(nullptr);
  source_.reset();
  deepOpen_.reset();
  discSource_.reset();
}

void TMainForm::SetSaveDialog(TvtFileDialog* dialog) {
  saveDialog_ = dialog;
  saveAction_->SetDialog(dialog);
}

void TMainForm::BuildMenus() {
  fileMenu_ = menuBar()->addMenu(tr("&File"));
  openMenuItem_ = fileMenu_->addAction(tr("&Open..."));
  openMenuItem_->setShortcut(QKeySequence::Open);
  connect(openMenuItem_, &QAction::triggered, this, [this] {
    // Opening reports its own failures; anything the dialog raises goes to the box too, never
    // into the event loop.
    try {
      OpenMenuItemClick();
    } catch (...) {
      ShowError(this, std::current_exception());
    }
  });
  fileMenu_->addAction(deepOpen_->DeepScanAction());
  fileMenu_->addAction(deepOpen_->ReferenceAction());
  fileMenu_->addAction(deepOpen_->FoundImagesAction());
  fileMenu_->addAction(saveAction_);
  fileMenu_->addAction(saveAllFound_);
  fileMenu_->addSeparator();
  QAction* quit = fileMenu_->addAction(tr("E&xit"));
  quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  connect(quit, &QAction::triggered, this, &QWidget::close);

  menuBar()->addMenu(repairActions_->Menu());
  viewMenu_ = AddViewMenu(*this, *image_)->Menu();
  viewMenu_->addSeparator();
  viewMenu_->addAction(fileBrowse_->NextAction());
  viewMenu_->addAction(fileBrowse_->PreviousAction());

  thumbnailMenu_ = menuBar()->addMenu(tr("Thumbnail"));
  thumbnailMenu_->addAction(editThumbAction_);
  thumbnailMenu_->addAction(saveThumbAction_);
  editThumbMenuItem_ = editThumbAction_;
  saveThumbMenuItem_ = saveThumbAction_;

  helpMenu_ = menuBar()->addMenu(tr("&Help"));
  QAction* about = helpMenu_->addAction(tr("&About Vantrelle viewer..."));
  connect(about, &QAction::triggered, this, [this] { ShowAbout(); });
}

void TMainForm::ShowAbout() {
  QMessageBox::about(this, tr("About Vantrelle viewer"),
                     tr("<b>Vantrelle viewer %1</b><p>Shows JPEG photos that a failing card, a crash or a recovery "
                        "tool has cut or scrambled: what the decoder cannot read is filled from the thumbnail "
                        "stored inside the file.</p><p>File &gt; Save As writes a restored copy; the Thumbnail "
                        "menu edits and saves the thumbnail.</p><p>MIT licence.</p>")
                         .arg(QCoreApplication::applicationVersion()));
}

void TMainForm::OpenFile(const std::string& path) {
  try {
    // The document lets go of what the last open beyond the default one found before that goes.
    source_->Load(nullptr, nullptr, false, nullptr);
    statusBar_->ShowReport({});
    deepOpen_->Forget();
    SaveFolder = FolderOf(path);
    setWindowTitle(QString::fromStdString(MakeCaption(path)));
    // The first picture is made for the view's size (the full image when something needs it).
    const QSize box = image_->DevicePixels();
    source_->PreviewBox = {box.width(), box.height()};
    const TvtOpened opened = OpenDocument(*discSource_, *source_, path, {});
    if (opened.Item == nullptr) {
      ShowOpenFailure(this, *discSource_, path, [this, path] {
        TvtOpenOptions deep;
        deep.Deep = true;
        deepOpen_->Open(path, std::move(deep));
      });
    }
  } catch (...) {
    const std::exception_ptr error = std::current_exception();
    ShowError(this, error, {}, {}, {}, mbOK, WarningOrErrorStyle(error));
  }
}

void TMainForm::OpenMenuItemClick() {
  if (!fileBrowse_->ConfirmDropEdits()) return;
  TvtFileDialog& dialog = *openDialog_;
  dialog.InitialDir = LastOpenDir;
  dialog.FileName.clear();
  dialog.Filter = ViewerFileFilter("*.jpg;*.jpeg");
  dialog.FilterIndex = kViewerFilterIndex;
  if (!dialog.Execute(this)) return;
  LastOpenDir = FolderOf(dialog.FileName);
  OpenFile(dialog.FileName);
}

bool TMainForm::SingleDroppedFile(const QMimeData* data, std::string* path) {
  if (data == nullptr || !data->hasUrls()) return false;
  const QList<QUrl> urls = data->urls();
  if (urls.size() != 1 || !urls.front().isLocalFile()) return false;
  // The path's bytes as the URL carries them (percent-encoded), so that a name that is not valid
  // UTF-8 survives; toLocalFile() would replace such bytes.
  const std::string file =
      QByteArray::fromPercentEncoding(urls.front().path(QUrl::FullyEncoded).toLatin1()).toStdString();
  if (file.empty()) return false;
  if (path) *path = file;
  return true;
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
  if (SingleDroppedFile(event->mimeData()))
    event->acceptProposedAction();
  else
    event->ignore();
}

void TMainForm::dragMoveEvent(QDragMoveEvent* event) {
  if (SingleDroppedFile(event->mimeData()))
    event->acceptProposedAction();
  else
    event->ignore();
}

void TMainForm::dropEvent(QDropEvent* event) {
  std::string path;
  if (!SingleDroppedFile(event->mimeData(), &path)) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  // Opened once the drop has returned, so the program the file came from is not kept waiting.
  QMetaObject::invokeMethod(
      this,
      [this, path] {
        if (fileBrowse_->ConfirmDropEdits()) OpenFile(path);
      },
      Qt::QueuedConnection);
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (fileBrowse_->ConfirmDropEdits())
    event->accept();
  else
    event->ignore();
}

}  // namespace vt
