// File > Open with deep scan..., Open with reference photo... and Found images... offscreen:
// photos behind junk and in card-image-like files, the list of found images and the picture
// chosen from it (down to what Save As writes), photos whose header is lost opened with a
// reference, references that fit nothing, and the progress dialog of long scans.
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QTreeView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>

#include "jpeg/decode_helpers.h"
#include "source/disc_source_thread.h"
#include "source/vt_common.h"
#include "support/test_support.h"
#include "viewer/widgets/deep_open_actions.h"
#include "viewer/widgets/found_images_dialog.h"
#include "viewer/widgets/main_form.h"
#include "viewer/widgets/scan_progress.h"
#include "viewer/widgets/source_actions.h"
#include "widgets/widget_support.h"

namespace vt {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

Bytes Junk(size_t n, uint32_t seed) { return test::JunkWithoutMarkers(n, seed); }

// How a picture among several of a file is named: " @0x" and its offset in eight hex digits.
std::string Mark(uint64_t offset) {
  char mark[32];
  std::snprintf(mark, sizeof mark, " @0x%08llX", static_cast<unsigned long long>(offset));
  return mark;
}

// A 4:2:0 photo whose tables and scan header lie behind a comment of padding (past the first
// 4 KB, as behind an Exif block).
Bytes PaddedPhoto(const std::string& args, uint32_t seed) {
  const Bytes jpeg = test::Cjpeg("-quality 85 -sample 2x2 " + args, 320, 240, false, seed);
  Bytes out(jpeg.begin(), jpeg.begin() + 2);
  const size_t n = 6000;
  out.insert(out.end(), {0xFF, 0xFE, static_cast<uint8_t>((n + 2) >> 8), static_cast<uint8_t>(n + 2)});
  out.insert(out.end(), n, 'x');
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

Bytes Zeroed(Bytes jpeg, size_t count) {
  std::fill(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(count), 0);
  return jpeg;
}

// Whether two files hold the same quantised coefficients (libjpeg reads both).
::testing::AssertionResult SameCoefficients(const Bytes& a, const Bytes& b) {
  const test::RefCoefficients ra = test::LibjpegCoefficients(a), rb = test::LibjpegCoefficients(b);
  if (!ra.Ok || !rb.Ok) return ::testing::AssertionFailure() << "libjpeg: " << ra.Error << " / " << rb.Error;
  if (ra.Width != rb.Width || ra.Height != rb.Height)
    return ::testing::AssertionFailure() << ra.Width << "x" << ra.Height << " vs " << rb.Width << "x" << rb.Height;
  if (ra.Components.size() != rb.Components.size()) return ::testing::AssertionFailure() << "components differ";
  for (size_t c = 0; c < ra.Components.size(); ++c)
    if (ra.Components[c].Coef != rb.Components[c].Coef)
      return ::testing::AssertionFailure() << "component " << c << " differs";
  return ::testing::AssertionSuccess();
}

// A list that answers by itself: records what it was shown and chooses `answer` (-1 cancels).
class AnsweringChooser : public TvtFoundImagesChooser {
 public:
  int32_t Execute(QWidget*, const TvtOpenResult& result, int32_t preselected, const std::string& fileName) override {
    ++calls;
    seenOffsets.clear();
    for (const TvtFoundItem& f : result.Items) seenOffsets.push_back(f.Offset);
    seenPreselected = preselected;
    seenFile = fileName;
    return answer;
  }
  int32_t answer = -1;
  int calls = 0;
  std::vector<uint64_t> seenOffsets;
  int32_t seenPreselected = -2;
  std::string seenFile;
};

// An open dialog that chooses several files.
class AnsweringMultiDialog : public test::AnsweringDialog {
 public:
  AnsweringMultiDialog() : test::AnsweringDialog(dkOpen) {}
  bool Execute(QWidget* owner) override {
    seenTitle = Title;
    seenMulti = MultiSelect;
    if (!test::AnsweringDialog::Execute(owner)) return false;
    FileNames = answers.empty() ? std::vector<std::string>{answer} : answers;
    FileName = FileNames.front();
    return true;
  }
  std::vector<std::string> answers;
  std::string seenTitle;
  bool seenMulti = false;
};

class DeepOpenTest : public test::RecordedErrorBoxes {
 protected:
  void SetUp() override {
    RecordedErrorBoxes::SetUp();
    LastOpenDir.clear();
    LastReferenceDir.clear();
    dir = test::TempPath("deepopen");
    fs::create_directories(dir + "/refs");
    form = std::make_unique<TMainForm>();
    open.answer.clear();
    form->SetOpenDialog(&open);
    form->SetSaveDialog(&save);
    Deep().SetReferenceDialog(&reference);
    Deep().SetChooser(&chooser);
    Deep().ProgressDelayMs = 1 << 30;  // no progress dialog in these tests
  }
  void TearDown() override {
    form.reset();
    RecordedErrorBoxes::TearDown();
  }

  TvtDeepOpen& Deep() { return form->DeepOpen(); }
  TvtThumbSource& Doc() { return form->Source(); }
  int32_t ShownWidth() { return Doc().HasImage() ? Doc().MainImage()->Width() : 0; }
  std::string Write(const std::string& name, const Bytes& bytes) {
    const std::string path = dir + "/" + name;
    test::WriteBytes(path, bytes);
    return path;
  }
  // File > Save As into the test folder; the bytes written.
  Bytes SaveAs(const std::string& name) {
    save.answer = dir + "/" + name;
    form->SaveAction().Execute();
    return fs::exists(save.answer) ? test::ReadBytes(save.answer) : Bytes{};
  }

  std::string dir;
  test::AnsweringDialog open{TvtFileDialog::dkOpen};
  test::AnsweringDialog save{TvtFileDialog::dkSave};
  AnsweringMultiDialog reference;
  AnsweringChooser chooser;
  std::unique_ptr<TMainForm> form;
};

TEST_F(DeepOpenTest, MenuEntriesAndShortcuts) {
  const QList<QAction*> file = form->FileMenu()->actions();
  QAction* deep = Deep().DeepScanAction();
  QAction* ref = Deep().ReferenceAction();
  QAction* found = Deep().FoundImagesAction();
  ASSERT_TRUE(file.contains(deep) && file.contains(ref) && file.contains(found));
  EXPECT_EQ(file.indexOf(deep), file.indexOf(form->OpenMenuItem()) + 1) << "right below File > Open";
  EXPECT_EQ(deep->text(), "Open with deep scan...");
  EXPECT_EQ(ref->text(), "Open with reference photo...");
  EXPECT_EQ(deep->shortcut(), QKeySequence("Ctrl+Shift+O"));
  for (QAction* a : file)
    if (a != deep && !a->shortcut().isEmpty()) {
      EXPECT_NE(a->shortcut(), deep->shortcut()) << a->text().toStdString();
    }
  test::RefreshActions();
  EXPECT_TRUE(deep->isEnabled());
  EXPECT_TRUE(ref->isEnabled());
  EXPECT_FALSE(found->isEnabled()) << "nothing was scanned yet";
}

// Three photos of different sizes with junk between them: the list shows the three at their
// offsets, starts at the largest, and the one chosen is what the document shows and what
// File > Save As writes; File > Found images... comes back to the list.
TEST_F(DeepOpenTest, CardImageListsEveryPhotoAndTheChosenOneIsShownAndSaved) {
  const std::vector<Bytes> photos = {test::Cjpeg("-quality 85", 320, 240, false, 1),
                                     test::Cjpeg("-quality 85", 200, 150, false, 2),
                                     test::Cjpeg("-quality 85", 640, 480, false, 3)};
  Bytes card = Junk(3000, 1);
  std::vector<uint64_t> offsets;
  for (size_t i = 0; i < photos.size(); ++i) {
    offsets.push_back(card.size());
    card.insert(card.end(), photos[i].begin(), photos[i].end());
    const Bytes gap = Junk(1234 + i, static_cast<uint32_t>(i + 5));
    card.insert(card.end(), gap.begin(), gap.end());
  }
  open.answer = Write("card.img", card);
  chooser.answer = 1;
  form->DeepOpen().OpenWithDeepScan();

  ASSERT_TRUE(shown.empty()) << shown[0].Text;
  EXPECT_EQ(chooser.calls, 1);
  EXPECT_EQ(chooser.seenOffsets, offsets);
  EXPECT_EQ(chooser.seenPreselected, 2) << "the largest decoded area, as vantrelle-cli";
  EXPECT_EQ(chooser.seenFile, open.answer);
  EXPECT_NE(open.seenFilter.find("(*.jpg;*.jpeg)|*.jpg;*.jpeg|Any file|*.*"), std::string::npos) << open.seenFilter;
  EXPECT_EQ(LastOpenDir, dir + "/");
  const std::string mark = Mark(offsets[1]);
  EXPECT_EQ(form->windowTitle().toStdString(), "card.img" + mark + " - Vantrelle viewer")
      << "the caption tells which of the card's pictures is shown";
  EXPECT_EQ(ShownWidth(), 200);
  EXPECT_EQ(Doc().MainImage()->Height(), 150);
  EXPECT_EQ(Deep().ShownRow(), 1);
  EXPECT_TRUE(SameCoefficients(SaveAs("second.jpg"), photos[1])) << "Save As writes the chosen picture";
  EXPECT_EQ(save.seenName, "card" + mark + " (restored).jpg") << "and proposes a name of its own";

  test::RefreshActions();
  ASSERT_TRUE(Deep().FoundImagesAction()->isEnabled());
  chooser.answer = 0;
  Deep().FoundImagesAction()->trigger();
  EXPECT_EQ(chooser.calls, 2);
  EXPECT_EQ(chooser.seenPreselected, 1) << "the list comes back at the picture shown";
  EXPECT_EQ(ShownWidth(), 320);
  EXPECT_TRUE(SameCoefficients(SaveAs("first.jpg"), photos[0]));

  // Cancelled: the picture stays.
  chooser.answer = -1;
  Deep().ShowFoundImages();
  EXPECT_EQ(ShownWidth(), 320);

  // File > Open of another file: the list belongs to the last open only.
  form->OpenFile(Write("plain.jpg", test::Cjpeg("-quality 85", 96, 64)));
  test::RefreshActions();
  EXPECT_FALSE(Deep().FoundImagesAction()->isEnabled());
  EXPECT_EQ(Deep().LastResult(), nullptr);
  EXPECT_EQ(ShownWidth(), 96);
  EXPECT_TRUE(shown.empty());
}

TEST_F(DeepOpenTest, TheListDialogShowsEachPictureWithItsPreview) {
  Bytes card = Junk(500, 3);
  const Bytes a = test::Cjpeg("-quality 85", 160, 120, false, 4), b = test::Cjpeg("-quality 85", 90, 120, false, 5);
  const Bytes damaged = test::ReadBytes(test::SamplePath());  // 800 x 600, its last fifth cut off
  for (const Bytes* photo : {&a, &b, &damaged}) {
    card.insert(card.end(), photo->begin(), photo->end());
    card.insert(card.end(), 700, 0);
  }
  open.answer = Write("three.img", card);
  chooser.answer = -1;
  Deep().OpenWithDeepScan();
  const TvtOpenResult* result = Deep().LastResult();
  ASSERT_NE(result, nullptr);
  ASSERT_EQ(result->Items.size(), 3u);

  TvtFoundImagesDialog dialog(*result, result->DefaultItem, open.answer);
  EXPECT_EQ(dialog.windowTitle(), "Found images");
  EXPECT_EQ(dialog.Summary()->text(), "3 pictures found in three.img. Choose the one to show.");
  QAbstractItemModel* model = dialog.List()->model();
  ASSERT_EQ(model->rowCount(), 3);
  const auto cell = [model](int row, int column) { return model->index(row, column).data().toString().toStdString(); };
  EXPECT_EQ(cell(0, TvtFoundImagesDialog::fcOffset), "0x1F4 (500)");
  EXPECT_EQ(cell(0, TvtFoundImagesDialog::fcSize), "160 x 120");
  EXPECT_EQ(cell(0, TvtFoundImagesDialog::fcBytes), std::to_string(a.size()) + " bytes");
  EXPECT_EQ(cell(0, TvtFoundImagesDialog::fcDecoded), "100%");
  EXPECT_EQ(cell(0, TvtFoundImagesDialog::fcNotes), "");
  EXPECT_EQ(model->index(0, 0).data(Qt::ToolTipRole).toString().toStdString().rfind(
                "Offset 0x1F4 (500), " + std::to_string(a.size()) + " bytes\n160 x 120, 100% decoded\nFiled in: All", 0),
            0u);
  EXPECT_EQ(cell(1, TvtFoundImagesDialog::fcOffset).rfind("0x", 0), 0u);
  EXPECT_EQ(cell(2, TvtFoundImagesDialog::fcSize), "800 x 600");
  EXPECT_EQ(cell(2, TvtFoundImagesDialog::fcNotes), "broken");
  EXPECT_EQ(dialog.Selected(), 2) << "the default: the largest decoded area";
  EXPECT_TRUE(dialog.OkButton()->isEnabled());

  // The previews: each picture fitted into 120 x 90 and centred, opaque where it lies, the
  // same when its row is selected; the holes of the broken one show the checkerboard.
  std::vector<QImage> cells;
  for (int row = 0; row < 3; ++row) {
    const QIcon icon = model->index(row, 0).data(Qt::DecorationRole).value<QIcon>();
    cells.push_back(icon.pixmap(QSize(120, 90)).toImage());
    ASSERT_EQ(cells.back().size(), QSize(120, 90));
    EXPECT_EQ(icon.pixmap(QSize(120, 90), QIcon::Selected).toImage(), cells.back()) << "not tinted when selected";
  }
  EXPECT_EQ(qAlpha(cells[0].pixel(1, 45)), 255);
  EXPECT_EQ(qAlpha(cells[1].pixel(60, 45)), 255);
  EXPECT_EQ(qAlpha(cells[1].pixel(2, 45)), 0) << "transparent beside a narrow preview";
  const QRgb hole = cells[2].pixel(60, 88);
  EXPECT_TRUE(hole == 0xFFFFFFFFu || hole == 0xFFEEEEEEu) << std::hex << hole;

  dialog.SetSelected(1);
  EXPECT_EQ(dialog.Selected(), 1);
  dialog.List()->clearSelection();
  EXPECT_FALSE(dialog.OkButton()->isEnabled()) << "nothing chosen";
  dialog.SetSelected(1);
  dialog.show();
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(dialog.List(), &enter);
  EXPECT_FALSE(dialog.isVisible()) << "Enter in the list opens the picture";
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.Selected(), 1);
}

TEST_F(DeepOpenTest, JunkBeforeASinglePhotoOpensItWithoutAList) {
  Bytes file = Junk(4000, 9);
  const Bytes photo = test::Cjpeg("-quality 85", 120, 80);
  file.insert(file.end(), photo.begin(), photo.end());
  open.answer = Write("carved.jpg", file);
  form->OpenFile(open.answer);
  ASSERT_EQ(shown.size(), 1u) << "the default open finds nothing at byte 0";
  shown.clear();

  Deep().OpenWithDeepScan();
  EXPECT_TRUE(shown.empty());
  EXPECT_EQ(chooser.calls, 0);
  EXPECT_EQ(ShownWidth(), 120);
  EXPECT_EQ(form->windowTitle().toStdString(), "carved.jpg - Vantrelle viewer");
  test::RefreshActions();
  EXPECT_FALSE(Deep().FoundImagesAction()->isEnabled()) << "one picture: no list to come back to";
  EXPECT_TRUE(SameCoefficients(SaveAs("carved (restored).jpg"), photo));
}

// Cancel in the list opens nothing and says nothing: the picture shown before stays, with its
// caption; the list can be had again.
TEST_F(DeepOpenTest, CancelInTheListKeepsThePictureShownBefore) {
  form->OpenFile(test::SamplePath());
  ASSERT_TRUE(Doc().HasImage());
  const std::string caption = form->windowTitle().toStdString();
  const std::string saveFolder = SaveFolder;
  Bytes card = test::Cjpeg("-quality 85", 64, 48, false, 1);
  card.insert(card.end(), 100, 0x11);
  const Bytes second = test::Cjpeg("-quality 85", 48, 64, false, 2);
  card.insert(card.end(), second.begin(), second.end());
  open.answer = Write("refs/two.img", card);
  chooser.answer = -1;
  Deep().OpenWithDeepScan();
  EXPECT_EQ(chooser.calls, 1);
  EXPECT_TRUE(shown.empty());
  EXPECT_EQ(Doc().FileName, test::SamplePath());
  EXPECT_EQ(ShownWidth(), 800);
  EXPECT_EQ(form->windowTitle().toStdString(), caption);
  EXPECT_EQ(SaveFolder, saveFolder) << "Save As still proposes the folder of the picture shown";
  test::RefreshActions();
  ASSERT_TRUE(Deep().FoundImagesAction()->isEnabled());
  chooser.answer = 1;
  Deep().ShowFoundImages();
  EXPECT_EQ(chooser.seenPreselected, 0) << "none of them shown: the default";
  EXPECT_EQ(ShownWidth(), 48);
  EXPECT_EQ(form->windowTitle().toStdString(),
            "two.img" + Mark(Deep().LastResult()->Items[1].Offset) + " - Vantrelle viewer");
  EXPECT_EQ(SaveFolder, dir + "/refs/");
}

// A photo whose first 4 KB (tables included) are zeroed, its scan header intact, opened with a
// reference made with the same encoder settings: it decodes completely, and Save As writes it.
TEST_F(DeepOpenTest, ZeroedHeaderOpensCompletelyWithAReferenceFromTheSameEncoder) {
  const Bytes original = PaddedPhoto("", 1);
  ASSERT_GT(test::FirstScanData(original), 4096u + 20);
  open.answer = Write("lost.jpg", Zeroed(original, 4096));
  reference.answer = Write("refs/intact.jpg", PaddedPhoto("", 2));

  Deep().OpenWithDeepScan();  // without the reference
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].Text.rfind("Invalid image.", 0), 0u) << shown[0].Text;
  shown.clear();

  Deep().OpenWithReference();
  ASSERT_TRUE(shown.empty()) << shown[0].Text;
  EXPECT_NE(reference.seenTitle.find("intact photo from the same camera"), std::string::npos) << reference.seenTitle;
  EXPECT_TRUE(reference.seenMulti);
  EXPECT_EQ(reference.seenDir, dir + "/") << "first in the damaged file's folder";
  EXPECT_NE(reference.seenFilter.find("(*.jpg;*.jpeg)|*.jpg;*.jpeg"), std::string::npos);
  EXPECT_EQ(LastReferenceDir, dir + "/refs/");
  EXPECT_EQ(LastOpenDir, dir + "/") << "the damaged file's folder for the next open";
  EXPECT_EQ(form->windowTitle().toStdString(), "lost.jpg - Vantrelle viewer");
  ASSERT_TRUE(Doc().HasImage());
  EXPECT_EQ(Doc().Jpeg->DecodedPercent(), 100);
  EXPECT_EQ(ShownWidth(), 320);
  const TvtOpenResult* result = Deep().LastResult();
  ASSERT_NE(result, nullptr);
  ASSERT_EQ(result->Items.size(), 1u);
  EXPECT_EQ(result->Items[0].Reference, reference.answer);
  EXPECT_TRUE(SameCoefficients(SaveAs("lost (restored).jpg"), original))
      << "Save As writes the picture decoded with the reference's header";

  // The next reference dialog opens where the last reference was.
  reference.answer.clear();
  Deep().OpenWithReference();
  EXPECT_EQ(reference.seenDir, dir + "/refs/");
  EXPECT_EQ(ShownWidth(), 320) << "cancelled: the picture stays";
}

// References that fit nothing: the error box says so, the picture shown before stays, and
// nothing is written. With a second reference that fits, the picture opens.
TEST_F(DeepOpenTest, AReferenceThatFitsNothingSaysSo) {
  const Bytes original = PaddedPhoto("", 1);
  const std::string damaged = Write("lost.jpg", Zeroed(original, 4096));
  const std::string other = Write("refs/other.jpg", test::Cjpeg("-quality 85 -sample 2x2 -optimize", 320, 240));
  const std::string text = Write("refs/notes.jpg", Bytes(5000, 'z'));
  const std::string good = Write("refs/good.jpg", PaddedPhoto("", 3));
  const auto count = [&] {
    return std::distance(fs::recursive_directory_iterator(dir), fs::recursive_directory_iterator{});
  };
  const auto files = count();
  form->OpenFile(test::SamplePath());

  for (const std::string& ref : {other, text}) {
    SCOPED_TRACE(ref);
    shown.clear();
    open.answer = damaged;
    reference.answer = ref;
    Deep().OpenWithReference();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].Text.rfind("Invalid image.", 0), 0u) << shown[0].Text;
    EXPECT_NE(shown[0].Text.find(fs::path(ref).filename().string() + ": the reference's header decodes none of the data"),
              std::string::npos)
        << shown[0].Text;
    EXPECT_EQ(shown[0].Style, esError);
    EXPECT_EQ(shown[0].Owner, form.get());
    EXPECT_EQ(Doc().FileName, test::SamplePath()) << "the picture shown before stays";
  }
  EXPECT_NE(shown[0].Text.find("(it is not a JPEG file)"), std::string::npos) << shown[0].Text;

  shown.clear();
  reference.answers = {text, good};
  Deep().OpenWithReference();
  EXPECT_TRUE(shown.empty()) << "one of them served";
  EXPECT_EQ(Doc().FileName, damaged);
  EXPECT_EQ(Doc().Jpeg->DecodedPercent(), 100);
  EXPECT_EQ(count(), files) << "nothing was written";
}

TEST_F(DeepOpenTest, ADeepScanOfAFifoOrAMissingFileIsRefusedAsFileOpenRefusesIt) {
  const std::string fifo = dir + "/pipe.jpg";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& bad : {fifo, dir + "/missing.jpg", Write("empty.jpg", {})}) {
    SCOPED_TRACE(bad);
    shown.clear();
    open.answer = bad;
    Deep().OpenWithDeepScan();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].Text.rfind("Invalid image.\n\n", 0), 0u) << shown[0].Text;
    EXPECT_GT(shown[0].Text.size(), std::string("Invalid image.\n\n").size() + 5) << "with the reason";
    EXPECT_FALSE(Doc().HasImage());
  }
}

// Thousands of fake start-of-image and scan headers: nothing that decodes, so the error box
// and no list of thousands of empty entries; with a real photo among them, that photo alone.
TEST_F(DeepOpenTest, ThousandsOfFakeMarkersListNothing) {
  Bytes file;
  for (int i = 0; i < 4000; ++i) {
    const Bytes soi = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0};
    const Bytes sos = {0xFF, 0xDA, 0x00, 0x0C, 0x03, 0x01, 0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3F, 0x00};
    file.insert(file.end(), soi.begin(), soi.end());
    const Bytes junk = Junk(40, static_cast<uint32_t>(i));
    file.insert(file.end(), junk.begin(), junk.end());
    file.insert(file.end(), sos.begin(), sos.end());
    file.insert(file.end(), junk.begin(), junk.end());
  }
  open.answer = Write("fakes.img", file);
  Deep().OpenWithDeepScan();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].Text.rfind("Invalid image.", 0), 0u) << shown[0].Text;
  EXPECT_EQ(chooser.calls, 0);

  shown.clear();
  const Bytes photo = test::Cjpeg("-quality 85", 120, 80);
  file.insert(file.begin() + 20000, photo.begin(), photo.end());
  open.answer = Write("fakes-and-a-photo.img", file);
  Deep().OpenWithDeepScan();
  EXPECT_TRUE(shown.empty());
  EXPECT_EQ(chooser.calls, 0) << "one picture: opened directly";
  ASSERT_NE(Deep().LastResult(), nullptr);
  EXPECT_EQ(Deep().LastResult()->Items.size(), 1u);
  EXPECT_EQ(ShownWidth(), 120);
}

// The progress dialog: not before the scan has run a moment; then modal, with the file's name,
// the phase in words and the percentage; Cancel stops the scan.
TEST_F(DeepOpenTest, TheProgressDialogShowsAfterAMomentAndItsCancelStopsTheScan) {
  TvtScanProgress quick(form.get(), "Open with deep scan", "/cards/card.img");
  quick.DelayMs = 1 << 30;
  EXPECT_TRUE(quick.Step(50, TvtScanPhase::Signatures));
  EXPECT_EQ(quick.Dialog(), nullptr) << "a scan that ends within the moment shows nothing";

  TvtScanProgress slow(form.get(), "Open with deep scan", "/cards/card.img");
  slow.DelayMs = 0;
  auto callback = slow.Callback();
  EXPECT_TRUE(callback(42, TvtScanPhase::Signatures));
  QProgressDialog* dialog = slow.Dialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_TRUE(dialog->isModal());
  EXPECT_EQ(dialog->windowTitle(), "Open with deep scan");
  EXPECT_EQ(dialog->labelText(), "card.img\nSearching the file for pictures...");
  EXPECT_EQ(dialog->value(), 42);
  EXPECT_TRUE(callback(70, TvtScanPhase::ScanMarkers));
  EXPECT_EQ(dialog->value(), 70);
  dialog->cancel();
  EXPECT_FALSE(callback(71, TvtScanPhase::ScanMarkers)) << "Cancel stops the scan";
  slow.Finish();
  EXPECT_EQ(slow.Dialog(), nullptr);
}

}  // namespace
}  // namespace vt

namespace vt {
namespace {

// A card or disk image is rarely named .jpg: the deep scan's dialog lists every file from the
// start, the reference photo's dialog JPEG files.
TEST_F(DeepOpenTest, TheDeepScanDialogStartsWithAnyFile) {
  Deep().DeepScanAction()->trigger();
  EXPECT_EQ(open.seenFilterIndex, kViewerFilterIndex + 1);
  EXPECT_NE(open.seenFilter.find("*.*"), std::string::npos);
  Deep().ReferenceAction()->trigger();
  EXPECT_EQ(open.seenFilterIndex, kViewerFilterIndex);
}

}  // namespace
}  // namespace vt
