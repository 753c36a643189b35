// The thumbnail list and its commands offscreen, on the main window: entries, selection by mouse
// and keys, the rebuild after a new open, the commands' state, and Save as of an edited thumbnail.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <filesystem>

#include "source/vt_common.h"
#include "support/test_support.h"
#include "viewer/thumb_image_core.h"
#include "viewer/widgets/file_dialog.h"
#include "viewer/widgets/main_form.h"
#include "viewer/widgets/thumb_box.h"
#include "viewer/widgets/thumb_box_actions.h"
#include "widgets/widget_support.h"

namespace vt {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

class ThumbBoxTest : public test::RecordedErrorBoxes {
 protected:
  void Open(const std::string& file) {
    if (!form) form = std::make_unique<TMainForm>();
    form->OpenFile(file);
    form->ThumbBox().resize(form->ThumbBox().width(), 400);
  }
  void TearDown() override {
    form.reset();
    RecordedErrorBoxes::TearDown();
  }
  TvtThumbBox& Box() { return form->ThumbBox(); }
  void Key(int key) {
    QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(&Box(), &e);
  }
  void ClickEntry(int index) {
    const TRect r = Box().Core().GetItemRect(index);
    const QPoint client = Box().ContentToClient({r.Left + 20, r.Top + 20}) + Box().ClientRect().topLeft();
    QMouseEvent e(QEvent::MouseButtonPress, QPointF(client), QPointF(client), Qt::LeftButton, Qt::LeftButton,
                  Qt::NoModifier);
    QCoreApplication::sendEvent(&Box(), &e);
  }
  bool CommandsEnabled() {
    test::RefreshActions();
    return form->EditThumbAction().isEnabled() && form->SaveThumbAction().isEnabled();
  }
  std::unique_ptr<TMainForm> form;
};

TEST_F(ThumbBoxTest, TheSamplesThumbnailIsListedAndChosenAndTheLastEntryChoosesNone) {
  Open(test::SamplePath());
  ASSERT_EQ(Box().Core().Count(), 2);
  EXPECT_EQ(Box().SelectedIndex(), 0);
  EXPECT_EQ(form->EditThumbAction().text(), "&Edit");
  EXPECT_EQ(form->SaveThumbAction().text(), "&Save as...");
  EXPECT_TRUE(CommandsEnabled());
  EXPECT_EQ(Box().width(), Box().Core().EntryWidth() + 2 + Box().style()->pixelMetric(QStyle::PM_ScrollBarExtent))
      << "one column: the entry width, the border and room for the bar";

  ClickEntry(1);
  EXPECT_EQ(Box().SelectedIndex(), 1);
  EXPECT_EQ(form->Source().MainThumbIndex, -1);
  EXPECT_EQ(form->Source().GetThumbBackground(), nullptr);
  EXPECT_FALSE(CommandsEnabled());
  Key(Qt::Key_Up);
  EXPECT_EQ(form->Source().MainThumbIndex, 0);
  EXPECT_TRUE(CommandsEnabled());
  Key(Qt::Key_Down);
  Key(Qt::Key_Down);
  EXPECT_EQ(Box().SelectedIndex(), 1);
  ClickEntry(0);
  EXPECT_EQ(form->Source().MainThumbIndex, 0);
}

// A double click on a thumbnail entry opens the editor on it; one on the empty space below the
// entries, or with another button, does not.
TEST_F(ThumbBoxTest, ADoubleClickOnAThumbnailOpensTheEditor) {
  Open(test::SamplePath());
  Box().resize(Box().width(), 600);  // room below the two entries
  int opened = 0;
  const auto doubleClick = [&](QPoint content, Qt::MouseButton button) {
    QTimer::singleShot(0, [&] {
      if (QWidget* modal = QApplication::activeModalWidget()) {
        if (modal->windowTitle() == "Edit thumbnail") ++opened;
        static_cast<QDialog*>(modal)->reject();
      }
    });
    const QPointF at(Box().ContentToClient(content) + Box().ClientRect().topLeft());
    QMouseEvent e(QEvent::MouseButtonDblClick, at, at, button, button, Qt::NoModifier);
    QCoreApplication::sendEvent(&Box(), &e);
    QCoreApplication::processEvents();
  };
  const TRect first = Box().Core().GetItemRect(0);
  doubleClick({first.Left + 30, first.Top + 30}, Qt::LeftButton);
  EXPECT_EQ(opened, 1);
  doubleClick({first.Left + 30, Box().Core().ContentHeight() + 40}, Qt::LeftButton);
  EXPECT_EQ(opened, 1) << "below the entries";
  doubleClick({first.Left + 30, first.Top + 30}, Qt::RightButton);
  EXPECT_EQ(opened, 1) << "right button";
  EXPECT_EQ(Box().SelectedIndex(), 0);
  EXPECT_TRUE(shown.empty());
}

TEST_F(ThumbBoxTest, WithoutThumbnailsTheListIsEmptyAndAfterANewOpenItIsRebuilt) {
  const std::string plain = test::TempPath("plain.jpg");
  test::WriteBytes(plain, test::Cjpeg("-quality 90", 64, 48));
  Open(test::SamplePath());
  ASSERT_EQ(Box().Core().Count(), 2);
  Open(plain);
  EXPECT_EQ(Box().Core().Count(), 0) << "no entries at all, not even the last one";
  EXPECT_FALSE(CommandsEnabled());
  const QImage shot = Box().grab().toImage();
  EXPECT_EQ(shot.pixelColor(Box().width() / 2, 40), Box().ControlColor());
  Open(test::SamplePath());
  EXPECT_EQ(Box().Core().Count(), 2);
  EXPECT_EQ(Box().SelectedIndex(), 0);
}

TEST_F(ThumbBoxTest, EntriesShowThePictureItsCaptionAndTheLastEntrysText) {
  Open(test::SamplePath());
  test::FinishResizerJobs();
  const QImage shot = Box().grab().toImage().convertToFormat(QImage::Format_ARGB32);
  // The 160 x 120 thumbnail fills the first cell (inside the border at 1, 1).
  const TBitmap32& thumb = *form->Source().GetThumbs(0)->GetBitmap();
  const QPoint cell = Box().ContentToClient({8, 8}) + Box().ClientRect().topLeft();
  EXPECT_EQ(shot.pixel(cell.x() + 50, cell.y() + 60), thumb.Pixel(50, 60));
  EXPECT_EQ(TvtThumbBoxCore::Caption(*form->Source().GetThumbs(0)), "160x120");
}

TEST_F(ThumbBoxTest, SaveAsWritesTheTurnedAndCroppedThumbnailUnderItsProposedName) {
  SaveFolder.clear();
  const std::string dir = test::TempPath("thumbsave");
  fs::create_directories(dir);
  const std::string source = dir + "/holiday.jpg";
  fs::copy_file(test::SamplePath(), source);
  Open(source);
  test::AnsweringDialog dialog;
  form->SaveThumbAction().SetDialog(&dialog);
  // A quarter turn and 10 pixels off the left of the 160 x 120 thumbnail.
  form->Source().SetThumbTransform(0, 5, 10, 0, 0, 0);
  form->SaveThumbAction().Execute();  // cancelled
  EXPECT_EQ(dialog.seenName, "holiday (thumb 110x160).bmp");
  EXPECT_EQ(dialog.seenDir, dir + "/");
  EXPECT_NE(dialog.seenFilter.find("(*.bmp)|*.bmp|Any file|*.*"), std::string::npos) << dialog.seenFilter;
  EXPECT_EQ(dialog.seenExt, "bmp");
  dialog.answer = dir + "/out.bmp";
  form->SaveThumbAction().Execute();
  ASSERT_TRUE(shown.empty()) << shown[0].Text;
  TBitmap32 saved;
  saved.LoadFromFile(dialog.answer);
  ASSERT_EQ(saved.Width(), 110);
  ASSERT_EQ(saved.Height(), 160);
  const auto expected = TransformedThumbForSaving(*form->Source().GetThumbs(0)->Bitmap, 5, 10, 0, 0, 0);
  for (int y = 0; y < 160; y += 7)
    for (int x = 0; x < 110; x += 7) ASSERT_EQ(saved.Pixel(x, y) & 0xFFFFFF, expected->Pixel(x, y) & 0xFFFFFF);
  EXPECT_EQ(expected->Pixel(3, 3), form->Source().GetThumbs(0)->GetBitmap()->Pixel(3, 3))
      << "the saved picture is the one the document uses";
  EXPECT_EQ(SaveFolder, dir + "/");

  dialog.answer = source;  // the open photo itself
  form->SaveThumbAction().Execute();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].Text.find("is the file being read"), std::string::npos);
  EXPECT_EQ(test::ReadBytes(source), test::ReadBytes(test::SamplePath()));
}

}  // namespace
}  // namespace vt
