// View > Apply Exif Orientation, Rotate Left and Rotate Right in the main window, offscreen: the
// painted picture turns, its shortcuts collide with no other command of the window, and the
// restored file saved from a turned view is the file saved from an unturned one.
#include <gtest/gtest.h>

#include <QAction>
#include <QImage>

#include <filesystem>
#include <map>

#include "support/camera_photo.h"
#include "support/test_support.h"
#include "viewer/view_turn.h"
#include "viewer/widgets/image_view.h"
#include "viewer/widgets/main_form.h"
#include "viewer/widgets/source_actions.h"
#include "widgets/widget_support.h"

namespace vt {
namespace {

namespace fs = std::filesystem;

class ViewTurnActionsTest : public test::RecordedErrorBoxes {
 protected:
  void Open(int exifOrientation) {
    if (!test::CameraPhotosPossible()) GTEST_SKIP() << "exiftool is needed for the Exif tag";
    test::TCameraPhotoOptions options;
    options.Width = 96;
    options.Height = 64;
    options.ExifOrientation = exifOrientation;
    dir = test::TempPath("turn");
    fs::create_directories(dir);
    source = dir + "/photo.jpg";
    test::WriteBytes(source, test::CameraPhoto(options));
    form = std::make_unique<TMainForm>(QStringList{QString::fromStdString(source)});
    form->resize(600, 400);
    form->SetSaveDialog(&dialog);
  }
  void TearDown() override {
    form.reset();
    RecordedErrorBoxes::TearDown();
  }
  QAction* Action(const QString& text) {
    for (QAction* a : form->findChildren<QAction*>())
      if (a->text() == text) return a;
    ADD_FAILURE() << "no action " << text.toStdString();
    return nullptr;
  }
  // The picture as the view paints it, in the view's own rectangle.
  QImage Painted() {
    TvtImage& view = form->Image();
    return view.grab().toImage().convertToFormat(QImage::Format_ARGB32);
  }
  test::Bytes SaveRestored(const std::string& name) {
    dialog.answer = dir + "/" + name;
    form->SaveAction().Execute();
    return test::ReadBytes(dialog.answer);
  }

  std::string dir, source;
  test::AnsweringDialog dialog;
  std::unique_ptr<TMainForm> form;
};

TEST_F(ViewTurnActionsTest, RotateRightShowsThePicturesTopLeftAtTheTopRight) {
  Open(0);
  if (!form) return;
  QAction* right = Action("Rotate &Right");
  ASSERT_NE(right, nullptr);
  right->trigger();
  const QImage shot = Painted();
  const TRect r = form->Image().Core().PictureRect();
  ASSERT_EQ(r.Width(), 64) << "a 96 x 64 picture fits unscaled, turned on its side";
  ASSERT_EQ(r.Height(), 96);
  TBitmap32 expected = *form->Source().MainImage();
  expected.TurnClockwise();
  EXPECT_EQ(shot.pixel(r.Right - 1, r.Top), form->Source().MainImage()->ScanLine(0)[0]);
  int wrong = 0;
  for (int32_t y = 0; y < r.Height(); ++y)
    for (int32_t x = 0; x < r.Width(); ++x) wrong += shot.pixel(r.Left + x, r.Top + y) != expected.ScanLine(y)[x];
  EXPECT_EQ(wrong, 0);
  Action("Rotate &Left")->trigger();
  EXPECT_EQ(form->Image().Core().Turn(), 0);
}

TEST_F(ViewTurnActionsTest, ExifOrientationIsOffByDefaultAndTheShortcutsAreTheWindowsOwn) {
  Open(8);
  if (!form) return;
  QAction* exif = Action("Apply Exif Orientation");
  ASSERT_NE(exif, nullptr);
  EXPECT_TRUE(exif->isCheckable());
  EXPECT_FALSE(exif->isChecked());
  EXPECT_EQ(form->Image().Core().ShownSize(), (TPictureSize{96, 64}));
  exif->setChecked(true);
  EXPECT_EQ(form->Image().Core().Turn(), OrientationOfExif(8));
  EXPECT_EQ(form->Image().Core().ShownSize(), (TPictureSize{64, 96}));
  // Every key of the window starts one command.
  std::map<QString, QString> owner;
  for (QAction* a : form->findChildren<QAction*>())
    for (const QKeySequence& key : a->shortcuts()) {
      auto [it, fresh] = owner.emplace(key.toString(), a->text());
      EXPECT_TRUE(fresh) << key.toString().toStdString() << ": " << it->second.toStdString() << " and "
                         << a->text().toStdString();
    }
  EXPECT_EQ(owner.count(QKeySequence(Qt::CTRL | Qt::Key_BracketLeft).toString()), 1u);
  EXPECT_EQ(owner.count(QKeySequence(Qt::CTRL | Qt::Key_BracketRight).toString()), 1u);
}

TEST_F(ViewTurnActionsTest, ATurnedViewSavesTheSameRestoredFileAndLeavesTheSourceAlone) {
  Open(6);
  if (!form) return;
  const test::Bytes original = test::ReadBytes(source);
  const test::Bytes plain = SaveRestored("plain.jpg");
  ASSERT_FALSE(plain.empty());
  Action("Apply Exif Orientation")->setChecked(true);
  Action("Rotate &Right")->trigger();
  Action("Zoom &In")->trigger();
  Painted();
  EXPECT_EQ(SaveRestored("turned.jpg"), plain);
  EXPECT_EQ(test::ReadBytes(source), original);
  EXPECT_TRUE(shown.empty());
}

}  // namespace
}  // namespace vt
