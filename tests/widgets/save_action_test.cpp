// File > Save As offscreen: the proposed name and folder, the restored file as libjpeg reads it,
// and saves that fail or are refused leaving every file as it was.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include <QFileDialog>

#include "base/safe_file.h"
#include "source/vt_common.h"
#include "support/test_support.h"
#include "viewer/widgets/file_dialog.h"
#include "viewer/widgets/main_form.h"
#include "viewer/widgets/source_actions.h"
#include "widgets/widget_support.h"

namespace vt {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

class SaveActionTest : public test::RecordedErrorBoxes {
 protected:
  void SetUp() override {
    RecordedErrorBoxes::SetUp();
    SaveFolder.clear();
    dir = test::TempPath("save");
    fs::create_directories(dir + "/in");
    fs::create_directories(dir + "/out");
    source = dir + "/in/photo.jpeg";
    fs::copy_file(test::SamplePath(), source);
    form = std::make_unique<TMainForm>(QStringList{QString::fromStdString(source)});
    form->SetSaveDialog(&dialog);
    SaveFolder.clear();  // as if nothing had been opened through the disc source's folder rule
  }
  void TearDown() override {
    form.reset();
    RecordedErrorBoxes::TearDown();
  }
  void Save() { form->SaveAction().Execute(); }

  std::string dir, source;
  test::AnsweringDialog dialog;
  std::unique_ptr<TMainForm> form;
};

TEST_F(SaveActionTest, ProposesTheRestoredNameInTheDocumentsFolderThenTheFolderLastSavedTo) {
  Save();  // cancelled
  EXPECT_EQ(dialog.seenName, "photo (restored).jpg");
  EXPECT_EQ(dialog.seenDir, dir + "/in/");
  EXPECT_NE(dialog.seenFilter.find("(*.jpg)|*.jpg|Any file|*.*"), std::string::npos) << dialog.seenFilter;
  EXPECT_EQ(dialog.seenExt, "jpg") << "a name typed without an extension still gets .jpg";
  EXPECT_FALSE(fs::exists(dir + "/in/photo (restored).jpg"));

  dialog.answer = dir + "/out/first.jpg";
  Save();
  EXPECT_TRUE(fs::exists(dialog.answer));
  EXPECT_EQ(SaveFolder, dir + "/out/");
  dialog.answer.clear();
  Save();
  EXPECT_EQ(dialog.seenDir, dir + "/out/") << "the next save starts where the last one went";
  EXPECT_TRUE(shown.empty());
}

TEST_F(SaveActionTest, TheRestoredFileIsACompleteBaselineJpegThatLibjpegReadsWithoutAWarning) {
  dialog.answer = dir + "/out/restored.jpg";
  Save();
  ASSERT_TRUE(shown.empty()) << shown[0].Text;
  const Bytes bytes = test::ReadBytes(dialog.answer);
  const test::RefImage ref = test::LibjpegDecode(bytes);
  ASSERT_TRUE(ref.Ok) << ref.Error;
  EXPECT_EQ(ref.Warnings, 0);
  EXPECT_EQ(ref.Width, 800);
  EXPECT_EQ(ref.Height, 600);
  // The cut-off bottom came from the thumbnail: the last row is a picture, not flat grey.
  int distinct = 0;
  const size_t last = static_cast<size_t>(599) * 800 * 3;
  for (int x = 1; x < 800; ++x) distinct += ref.Pixels[last + x * 3] != ref.Pixels[last + (x - 1) * 3];
  EXPECT_GT(distinct, 100);
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xD8);
}

TEST_F(SaveActionTest, TheOpenFileItselfIsRefusedWithAMessageAndLeftAsItWas) {
  const Bytes before = test::ReadBytes(source);
  dialog.answer = source;
  Save();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].Text.find("is the file being read"), std::string::npos) << shown[0].Text;
  EXPECT_EQ(shown[0].Style, esError);
  EXPECT_EQ(test::ReadBytes(source), before);
}

// A disc that fills up: writes beyond the file-size limit fail (EFBIG) as they would on a full
// disc. The old file stays, no temporary file is left, and the box names the file and the reason.
TEST_F(SaveActionTest, AWriteThatFailsLeavesTheOldFileAndNoTemporaryFile) {
  const std::string target = dir + "/out/old.jpg";
  test::WriteBytes(target, Bytes(10, 0x42));
  dialog.answer = target;
  struct rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  Save();
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previousHandler);

  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].Text.find(target), std::string::npos) << shown[0].Text;
  EXPECT_NE(shown[0].Text.find("File too large"), std::string::npos) << shown[0].Text;
  EXPECT_NE(shown[0].Text.find("0x0000001B"), std::string::npos) << "errno 27 as the error code";
  EXPECT_EQ(test::ReadBytes(target), Bytes(10, 0x42));
  for (const auto& e : fs::directory_iterator(dir + "/out"))
    EXPECT_EQ(e.path().filename().string().rfind(SafeTempPrefix(target), 0), std::string::npos) << e.path();
}

TEST_F(SaveActionTest, DisabledWithoutAnImageOrADialog) {
  test::RefreshActions();
  EXPECT_TRUE(form->SaveAction().isEnabled());
  form->OpenFile(dir + "/missing.jpg");
  test::RefreshActions();
  EXPECT_FALSE(form->SaveAction().isEnabled());
  form->OpenFile(source);
  form->SaveAction().SetDialog(nullptr);
  test::RefreshActions();
  EXPECT_FALSE(form->SaveAction().isEnabled());
  SaveFolder.clear();
  EXPECT_EQ(InitialSaveFolder("/a/b/c.jpg"), "/a/b/") << "with no save folder yet";
  SaveFolder = "/x/";
  EXPECT_EQ(InitialSaveFolder("/a/b/c.jpg"), "/x/");
}

// The Qt dialog as the save commands show it: the proposed name in the chosen folder, and a
// name typed without an extension completed with the command's own.
TEST(FileDialogSetUp, SaveDialogProposesTheNameInTheFolderAndCompletesTheExtension) {
  const std::string dir = test::TempPath("dialogsetup");
  fs::create_directories(dir);
  TvtFileDialog ours(TvtFileDialog::dkSave);
  ours.InitialDir = dir;
  ours.FileName = "photo (restored).jpg";
  ours.Filter = ViewerFileFilter("*.jpg");
  ours.DefaultExt = "jpg";
  QFileDialog dialog;
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  ours.Configure(dialog);
  EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
  EXPECT_EQ(dialog.defaultSuffix(), "jpg");
  EXPECT_EQ(dialog.directory().absolutePath().toStdString(), fs::canonical(dir).string());
  ASSERT_EQ(dialog.selectedFiles().size(), 1);
  EXPECT_EQ(dialog.selectedFiles().front().toStdString(), fs::canonical(dir).string() + "/photo (restored).jpg");

  TvtFileDialog open(TvtFileDialog::dkOpen);
  QFileDialog openDialog;
  openDialog.setOption(QFileDialog::DontUseNativeDialog, true);
  open.Configure(openDialog);
  EXPECT_EQ(openDialog.acceptMode(), QFileDialog::AcceptOpen);
  EXPECT_EQ(openDialog.fileMode(), QFileDialog::ExistingFile);
  EXPECT_TRUE(openDialog.defaultSuffix().isEmpty());
}

}  // namespace
}  // namespace vt
