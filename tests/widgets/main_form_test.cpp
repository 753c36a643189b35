// The main window offscreen: opening by argument, by the menu and by drops, the caption, and
// what reaches the error box for files that hold no image.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QMimeData>
#include <QUrl>

#include <sys/stat.h>

#include <filesystem>

#include "shell/error_box.h"
#include "support/test_support.h"
#include "source/vt_common.h"
#include "viewer/widgets/app_identity.h"
#include "viewer/widgets/file_dialog.h"
#include "viewer/widgets/image_view.h"
#include "viewer/widgets/main_form.h"
#include "viewer/widgets/found_images_dialog.h"
#include "source/source_open.h"
#include "viewer/widgets/deep_open_actions.h"
#include "viewer/widgets/save_all_action.h"
#include "viewer/widgets/file_browse_actions.h"
#include "viewer/widgets/thumb_box.h"
#include "viewer/widgets/source_actions.h"
#include "widgets/widget_support.h"

namespace vt {
namespace {

namespace fs = std::filesystem;

class MainFormTest : public test::RecordedErrorBoxes {};

QStringList Args(std::initializer_list<std::string> files) {
  QStringList list;
  for (const std::string& f : files) list << QString::fromStdString(f);
  return list;
}

TEST_F(MainFormTest, OneArgumentOpensTheFileAndSetsTheCaption) {
  const std::string sample = test::SamplePath();
  TMainForm form(Args({sample}));
  EXPECT_EQ(form.windowTitle().toStdString(), "sample-damaged.jpg - Vantrelle viewer");
  EXPECT_TRUE(form.Source().HasImage());
  EXPECT_EQ(form.Source().FileName, sample);
  EXPECT_GE(form.Source().ThumbCount(), 1);
  EXPECT_EQ(form.Source().MainThumbIndex, 0) << "the holes are filled from the thumbnail";
  EXPECT_TRUE(shown.empty());
  EXPECT_EQ(SaveFolder, FolderOf(sample));
}

// Where the damage starts is looked for (for the status bar) once the smooth picture is in: the
// search holds the window's thread, which shows that picture, and changes no block.
TEST_F(MainFormTest, TheDamageSearchWaitsForTheSmoothPicture) {
  // A photo without restart markers cut short (the search changes none of its blocks).
  test::Bytes photo = test::Cjpeg("-quality 90 -sample 2x2", 1600, 1200, false, 5);
  photo.resize(photo.size() * 6 / 10);
  const std::string path = test::TempPath("cut.jpg");
  test::WriteBytes(path, photo);
  TMainForm form;
  form.resize(420, 360);
  form.show();
  QApplication::processEvents();
  form.OpenFile(path);
  for (int i = 0; i < 20; ++i) QApplication::processEvents();
  const TvtImageViewCore& view = form.Image().Core();
  ASSERT_TRUE(view.SmoothPending()) << "a fitted picture has a smooth one to come";
  EXPECT_TRUE(form.Source().RepairReport.FirstDamagePending);
  test::FinishResizerJobs();
  for (int i = 0; i < 50 && form.Source().RepairReport.FirstDamagePending; ++i) QApplication::processEvents();
  EXPECT_NE(view.Scaled(), nullptr);
  EXPECT_FALSE(form.Source().RepairReport.FirstDamagePending);
  EXPECT_GE(form.Source().RepairReport.FirstDamageMCU, 0);
}

TEST_F(MainFormTest, AnyOtherNumberOfArgumentsOpensNothing) {
  const std::string sample = test::SamplePath();
  TMainForm none;
  EXPECT_EQ(none.windowTitle().toStdString(), "Vantrelle viewer");
  EXPECT_FALSE(none.Source().HasImage());
  TMainForm two(Args({sample, sample}));
  EXPECT_EQ(two.windowTitle().toStdString(), "Vantrelle viewer");
  EXPECT_FALSE(two.Source().HasImage());
  EXPECT_TRUE(shown.empty());
}

TEST_F(MainFormTest, WindowMenusAndShortcuts) {
  TMainForm form;
  form.show();
  EXPECT_EQ(form.centralWidget()->size(), QSize(554, 289)) << "the client area at first";
  EXPECT_EQ(form.FileMenu()->title(), "&File");
  EXPECT_EQ(form.OpenMenuItem()->text(), "&Open...");
  EXPECT_EQ(form.OpenMenuItem()->shortcut(), QKeySequence(QKeySequence::Open));
  EXPECT_EQ(form.ThumbnailMenu()->title(), "Thumbnail");
  QAction* save = &form.SaveAction();
  EXPECT_EQ(save->text(), "&Save As...");
  EXPECT_EQ(save->shortcut(), QKeySequence(QKeySequence::Save));
  EXPECT_TRUE(form.FileMenu()->actions().contains(save));
  test::RefreshActions();
  EXPECT_FALSE(save->isEnabled()) << "no document image yet";
  form.OpenFile(test::SamplePath());
  test::RefreshActions();
  EXPECT_TRUE(save->isEnabled());

  // File > Exit on Ctrl+Q closes the window.
  QAction* exit = form.FileMenu()->actions().back();
  EXPECT_EQ(exit->text(), "E&xit");
  EXPECT_EQ(exit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
  exit->trigger();
  EXPECT_FALSE(form.isVisible());
}

// With its editing mode off the image view has no keys: the keyboard goes to the thumbnail
// list, so Up and Down choose a thumbnail as soon as the window opens.
TEST_F(MainFormTest, TheKeyboardFocusGoesToTheThumbnailList) {
  TMainForm form(Args({test::SamplePath()}));
  form.show();
  form.activateWindow();
  QApplication::setActiveWindow(&form);
  QCoreApplication::processEvents();
  EXPECT_EQ(form.Image().focusPolicy(), Qt::NoFocus);
  EXPECT_EQ(QApplication::focusWidget(), static_cast<QWidget*>(&form.ThumbBox()));
  const QPointF middle(form.Image().width() / 2, form.Image().height() / 2);
  QMouseEvent click(QEvent::MouseButtonPress, middle, middle, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&form.Image(), &click);
  EXPECT_EQ(QApplication::focusWidget(), static_cast<QWidget*>(&form.ThumbBox())) << "a click on the picture keeps it";
  form.Image().SetEditingEnabled(true);
  EXPECT_EQ(form.Image().focusPolicy(), Qt::StrongFocus) << "the editing mode takes keys again";
}

// Files in which no JPEG is found: the box names the file and says why in the error style
// ("Invalid image." for what is no picture, words of their own for a missing file and a
// folder), and the document that was open before is cleared.
TEST_F(MainFormTest, FilesWithoutAnImageReportInvalidImageAndClearTheDocument) {
  const std::string dir = test::TempPath("badfiles");
  fs::create_directories(dir);
  const std::string empty = dir + "/empty.jpg", text = dir + "/text.jpg", fifo = dir + "/pipe.jpg";
  test::WriteBytes(empty, {});
  test::WriteBytes(text, {'h', 'e', 'l', 'l', 'o'});
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  TMainForm form(Args({test::SamplePath()}));
  for (const std::string& bad : {empty, text, fifo, dir, dir + "/missing.jpg"}) {
    form.OpenFile(test::SamplePath());
    ASSERT_TRUE(form.Source().HasImage());
    shown.clear();
    form.OpenFile(bad);
    ASSERT_EQ(shown.size(), 1u) << bad;
    const std::string headline = bad == dir ? "This is a folder.\n\n"
                                 : bad == dir + "/missing.jpg" ? "File not found.\n\n"
                                                               : "Invalid image.\n\n";
    EXPECT_EQ(shown[0].Text.rfind(headline + bad + "\n", 0), 0u) << shown[0].Text;
    EXPECT_GT(shown[0].Text.size(), headline.size() + bad.size() + 5) << "with the reason";
    EXPECT_TRUE(shown[0].Command.empty()) << "no JPEG further on: nothing to offer";
    EXPECT_EQ(shown[0].Style, esError);
    EXPECT_EQ(shown[0].Owner, &form);
    EXPECT_FALSE(form.Source().HasImage()) << bad;
    EXPECT_EQ(form.Source().ThumbCount(), 0);
  }
}

QMimeData* Files(const std::vector<std::string>& files) {
  auto* data = new QMimeData;
  QList<QUrl> urls;
  for (const std::string& f : files) urls << QUrl::fromLocalFile(QString::fromStdString(f));
  data->setUrls(urls);
  return data;
}

bool DragAccepted(TMainForm& form, QMimeData* data) {
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&form, &enter);
  return enter.isAccepted();
}

void Drop(TMainForm& form, QMimeData* data) {
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&form, &drop);
  QCoreApplication::processEvents();
}

TEST_F(MainFormTest, OneDroppedFileReplacesTheDocumentAndTwoAreIgnored) {
  const std::string other = test::TempPath("dropped.jpg");
  test::WriteBytes(other, test::Cjpeg("-quality 90", 96, 64));
  TMainForm form(Args({test::SamplePath()}));
  ASSERT_TRUE(form.Source().HasImage());

  std::unique_ptr<QMimeData> two(Files({other, other}));
  EXPECT_FALSE(DragAccepted(form, two.get()));
  Drop(form, two.get());
  EXPECT_EQ(form.Source().FileName, test::SamplePath()) << "two files: nothing happens";

  std::unique_ptr<QMimeData> web(new QMimeData);
  web->setUrls({QUrl("https://example.com/a.jpg")});
  EXPECT_FALSE(DragAccepted(form, web.get()));

  std::unique_ptr<QMimeData> one(Files({other}));
  EXPECT_TRUE(DragAccepted(form, one.get()));
  Drop(form, one.get());
  EXPECT_EQ(form.Source().FileName, other);
  EXPECT_EQ(form.Source().MainImage()->Width(), 96);
  EXPECT_EQ(form.windowTitle().toStdString(), fs::path(other).filename().string() + " - Vantrelle viewer");
  EXPECT_TRUE(shown.empty());
}

// Cards written by old cameras and systems carry names in Latin-1 and other 8-bit sets, which are
// no valid UTF-8: such a file opens from the command line (as a file manager passes it) and by a
// drop, its bytes unchanged.
TEST_F(MainFormTest, ANameThatIsNotUtf8OpensByArgumentAndByDrop) {
  const std::string dir = test::TempPath("latin1");
  fs::create_directories(dir);
  const std::string file = dir + "/r\xE9" "cup\xE9r\xE9.jpg";
  test::WriteBytes(file, test::Cjpeg("-quality 90", 64, 48));
  TMainForm byArgument(std::vector<std::string>{file});
  EXPECT_TRUE(shown.empty()) << (shown.empty() ? "" : shown[0].Text);
  EXPECT_TRUE(byArgument.Source().HasImage());
  EXPECT_EQ(byArgument.Source().FileName, file);

  TMainForm byDrop;
  std::unique_ptr<QMimeData> data(new QMimeData);
  data->setUrls({QUrl::fromEncoded(QByteArray("file://") + QByteArray::fromStdString(dir).toPercentEncoding("/") +
                                   "/r%E9cup%E9r%E9.jpg")});
  EXPECT_TRUE(DragAccepted(byDrop, data.get()));
  Drop(byDrop, data.get());
  EXPECT_TRUE(shown.empty()) << (shown.empty() ? "" : shown[0].Text);
  EXPECT_EQ(byDrop.Source().FileName, file);
  EXPECT_TRUE(byDrop.Source().HasImage());
}

TEST_F(MainFormTest, TheOpenCommandRemembersItsFolderAndACancelChangesNothing) {
  LastOpenDir.clear();
  const std::string dir = test::TempPath("opendir");
  fs::create_directories(dir);
  const std::string file = dir + "/photo.jpg";
  test::WriteBytes(file, test::Cjpeg("-quality 90", 64, 48));
  TMainForm form;
  // The form's own dialog is swapped for one that answers.
  test::AnsweringDialog dialog(TvtFileDialog::dkOpen);
  form.SetOpenDialog(&dialog);

  form.OpenMenuItemClick();  // cancelled
  EXPECT_EQ(dialog.seenDir, "");
  EXPECT_EQ(LastOpenDir, "");
  EXPECT_FALSE(form.Source().HasImage());
  const std::string filter = dialog.seenFilter;
  EXPECT_NE(filter.find("(*.jpg;*.jpeg)|*.jpg;*.jpeg|Any file|*.*"), std::string::npos) << filter;

  dialog.answer = file;
  form.OpenMenuItemClick();
  EXPECT_EQ(LastOpenDir, dir + "/");
  EXPECT_TRUE(form.Source().HasImage());
  dialog.answer.clear();
  form.OpenMenuItemClick();
  EXPECT_EQ(dialog.seenDir, dir + "/");
  EXPECT_TRUE(form.Source().HasImage()) << "cancelled: the document stays";
}

TEST(ApplicationIdentity, TheWindowIconIsBuiltInAndTheDesktopEntryNamed) {
  const QIcon icon = ApplicationIcon();
  ASSERT_FALSE(icon.isNull());
  EXPECT_EQ(icon.pixmap(QSize(48, 48)).size(), QSize(48, 48));
  EXPECT_EQ(icon.pixmap(QSize(128, 128)).size(), QSize(128, 128));
  SetUpApplicationIdentity("1.2.3");
  EXPECT_EQ(QGuiApplication::desktopFileName(), "vantrelle") << "as the installed vantrelle.desktop";
  EXPECT_EQ(QGuiApplication::applicationVersion(), "1.2.3");
  EXPECT_FALSE(QGuiApplication::windowIcon().isNull());
}

// A file with junk before its JPEG: the box offers the deep scan, which then shows the picture;
// a PNG says what it is.
TEST_F(MainFormTest, AJpegFurtherOnIsOfferedToTheDeepScanAndAPngSaysWhatItIs) {
  const std::string dir = test::TempPath("offer");
  fs::create_directories(dir);
  test::Bytes carved = test::JunkWithoutMarkers(20, 4);
  const test::Bytes photo = test::Cjpeg("-quality 85", 64, 48);
  carved.insert(carved.end(), photo.begin(), photo.end());
  test::WriteBytes(dir + "/carved.jpg", carved);
  test::WriteBytes(dir + "/image.jpg", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'});

  TMainForm form;
  answer = idOk;  // dismissed: nothing more happens
  form.OpenFile(dir + "/carved.jpg");
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].Text.rfind("Invalid image.\n\n" + dir + "/carved.jpg\n", 0), 0u) << shown[0].Text;
  EXPECT_NE(shown[0].Text.find("at offset 0x14 (20)"), std::string::npos) << shown[0].Text;
  EXPECT_EQ(shown[0].Command, "Open with &Deep Scan");
  EXPECT_FALSE(form.Source().HasImage());

  shown.clear();
  answer = idCommand;
  form.OpenFile(dir + "/carved.jpg");
  ASSERT_EQ(shown.size(), 1u) << "the deep scan finds the one picture and says nothing";
  ASSERT_TRUE(form.Source().HasImage());
  EXPECT_EQ(form.Source().MainImage()->Width(), 64);
  EXPECT_EQ(form.windowTitle().toStdString(), "carved.jpg - Vantrelle viewer");

  shown.clear();
  answer = idOk;
  form.OpenFile(dir + "/image.jpg");
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].Text, "Invalid image.\n\n" + dir + "/image.jpg\nThe file is a PNG image, not a JPEG.");
}

// View > Next File and Previous File go through the JPEGs of the folder in name order, the
// caption following, and stop at the ends; repairs not saved are not dropped without asking.
TEST_F(MainFormTest, PageDownAndPageUpBrowseTheFolderAndAskBeforeDroppingRepairs) {
  const std::string dir = test::TempPath("browse");
  fs::create_directories(dir);
  for (const char* name : {"f2.jpg", "f10.jpg", "f1.jpg"})
    test::WriteBytes(dir + "/" + name, test::Cjpeg("-quality 85", 64, 48));
  test::WriteBytes(dir + "/f5.png", {1, 2, 3});
  TMainForm form(Args({dir + "/f1.jpg"}));
  TvtFileBrowse& browse = form.FileBrowse();
  QAction* next = browse.NextAction();
  QAction* previous = browse.PreviousAction();
  EXPECT_EQ(next->text(), "&Next File");
  EXPECT_EQ(next->shortcut(), QKeySequence(Qt::Key_PageDown));
  EXPECT_EQ(previous->text(), "&Previous File");
  EXPECT_EQ(previous->shortcut(), QKeySequence(Qt::Key_PageUp));
  EXPECT_TRUE(form.ViewMenu()->actions().contains(next));
  test::RefreshActions();
  EXPECT_FALSE(previous->isEnabled()) << "the first file";
  next->trigger();
  EXPECT_EQ(form.windowTitle().toStdString(), "f2.jpg - Vantrelle viewer");
  next->trigger();
  EXPECT_EQ(form.windowTitle().toStdString(), "f10.jpg - Vantrelle viewer") << "f5.png is skipped";
  test::RefreshActions();
  EXPECT_FALSE(next->isEnabled()) << "the last file: browsing stops";
  EXPECT_TRUE(previous->isEnabled());

  // A repair makes the question come: Cancel stays, No drops it, Yes saves first.
  form.Source().ClearMCU({0, 0});
  ASSERT_TRUE(form.Source().Modified());
  answer = idCancel;
  previous->trigger();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].Style, esQuestion);
  EXPECT_EQ(shown[0].Buttons, mbYesNoCancel);
  EXPECT_EQ(shown[0].Text.rfind("The repairs of f10.jpg are not saved.", 0), 0u) << shown[0].Text;
  EXPECT_EQ(form.windowTitle().toStdString(), "f10.jpg - Vantrelle viewer");
  EXPECT_TRUE(form.Source().Modified());

  test::AnsweringDialog save;
  save.answer = dir + "/repaired.jpg";
  form.SetSaveDialog(&save);
  answer = idYes;
  previous->trigger();
  EXPECT_TRUE(fs::exists(save.answer)) << "saved before going on";
  EXPECT_EQ(form.windowTitle().toStdString(), "f2.jpg - Vantrelle viewer");
  EXPECT_FALSE(form.Source().Modified());

  form.Source().ClearMCU({0, 0});
  shown.clear();
  answer = idNo;
  previous->trigger();
  EXPECT_EQ(shown.size(), 1u);
  EXPECT_EQ(form.windowTitle().toStdString(), "f1.jpg - Vantrelle viewer") << "No drops the repair";
  shown.clear();
  next->trigger();
  EXPECT_TRUE(shown.empty()) << "nothing to ask without repairs";
}

// A list of found images that is cancelled at once.
class CancellingChooser : public TvtFoundImagesChooser {
 public:
  int32_t Execute(QWidget*, const TvtOpenResult&, int32_t, const std::string&) override { return -1; }
};

// File > Save All Found: every picture of the last deep scan, restored into the chosen folder.
TEST_F(MainFormTest, SaveAllFoundWritesEveryPictureOfTheCardIntoTheChosenFolder) {
  const std::string dir = test::TempPath("saveall");
  fs::create_directories(dir + "/out");
  test::Bytes card = test::JunkWithoutMarkers(600, 1);
  for (uint32_t seed : {1u, 2u, 3u}) {
    const test::Bytes photo = test::Cjpeg("-quality 85", 48 + 16 * static_cast<int>(seed), 40, false, seed);
    card.insert(card.end(), photo.begin(), photo.end());
    const test::Bytes gap = test::JunkWithoutMarkers(900, seed + 7);
    card.insert(card.end(), gap.begin(), gap.end());
  }
  test::WriteBytes(dir + "/card.img", card);
  TMainForm form;
  TvtSaveAllFoundAction& saveAll = form.SaveAllFoundAction();
  EXPECT_EQ(saveAll.text(), "Save All Found...");
  EXPECT_TRUE(form.FileMenu()->actions().contains(&saveAll));
  test::RefreshActions();
  EXPECT_FALSE(saveAll.isEnabled()) << "nothing found yet";

  CancellingChooser chooser;
  form.DeepOpen().SetChooser(&chooser);
  TvtOpenOptions deep;
  deep.Deep = true;
  form.DeepOpen().Open(dir + "/card.img", deep);  // the list comes and is cancelled in passing
  test::RefreshActions();
  ASSERT_TRUE(saveAll.isEnabled());
  test::AnsweringDialog folder(TvtFileDialog::dkFolder);
  folder.answer = dir + "/out";
  saveAll.SetDialog(&folder);
  shown.clear();
  saveAll.trigger();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].Text, "3 of 3 pictures saved in " + dir + "/out.");
  EXPECT_EQ(shown[0].Style, esInformation);
  size_t jpegs = 0;
  for (const auto& entry : fs::directory_iterator(dir + "/out"))
    jpegs += entry.path().filename().string().rfind("card @0x", 0) == 0;
  EXPECT_EQ(jpegs, 3u);
  EXPECT_EQ(SaveFolder, dir + "/out/");
}

}  // namespace
}  // namespace vt
