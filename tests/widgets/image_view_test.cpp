// The image view rendered offscreen: what the widget paints is its picture, the holes of the
// damaged sample show the thumbnail (or their hatch without it), the smooth picture replaces
// the quick one, the editing mode draws its cursor and takes its keys, and a zoom shows scroll
// bars exactly when the zoomed picture is larger than the client area.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>

#include <cmath>

#include "support/test_support.h"
#include "viewer/document_fixture.h"
#include "viewer/image_view_core.h"
#include "viewer/view_picture.h"
#include "viewer/widgets/image_view.h"
#include "widgets/widget_support.h"

namespace vt {
namespace {

class ImageViewTest : public test::RecordedErrorBoxes {
 protected:
  TvtThumbSource doc;
};

QImage Grab(TvtImage& view) { return view.grab().toImage().convertToFormat(QImage::Format_ARGB32); }

bool Checker(QRgb c) { return c == kCheckerColor || c == clWhite32; }

// The sample's last rows are cut off: the bottom of the picture.
int HoleRow(const TvtImage& view) { return const_cast<TvtImage&>(view).Core().PictureRect().Bottom - 2; }

TEST_F(ImageViewTest, TheWidgetPaintsItsPictureWithTheThumbnailUnderTheHoles) {
  TvtThumbSource& d = doc;
  TMemoryStream* file = new TMemoryStream;
  file->LoadFromFile(test::SamplePath());
  d.Load(nullptr, file, true, nullptr);
  ASSERT_GE(d.ThumbCount(), 1);
  TvtImage view;
  view.SetEditingEnabled(false);  // as the main window has it: no cursor frame
  view.resize(320, 240);
  view.SetSource(&d);
  view.SetUseThumbnail(true);
  QImage shot = Grab(view);
  ASSERT_EQ(shot.size(), QSize(320, 240));
  const TBitmap32& picture = view.Core().BackBuffer();
  const QImage painted = BitmapImage(picture).convertToFormat(QImage::Format_ARGB32);
  int differ = 0;
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x)
      if (shot.pixel(x, y) != painted.pixel(x, y) && differ++ < 3)
        ADD_FAILURE() << x << "," << y << ": " << std::hex << shot.pixel(x, y) << " vs " << painted.pixel(x, y);
  EXPECT_EQ(differ, 0);
  const int y = HoleRow(view);
  int filled = 0;
  for (int x = 10; x < 310; x += 10) filled += !Checker(shot.pixel(x, y)) && qAlpha(shot.pixel(x, y)) == 255;
  EXPECT_EQ(filled, 30) << "every sampled hole pixel shows the thumbnail";

  view.SetUseThumbnail(false);
  shot = Grab(view);
  int hatch = 0;
  for (int x = 10; x < 310; x += 10) hatch += shot.pixel(x, y) == HolePattern(x, y);
  EXPECT_EQ(hatch, 30) << "without the thumbnail the holes show their hatch";
}

TEST_F(ImageViewTest, TheSmoothPictureReplacesTheQuickOne) {
  TMemoryStream* file = new TMemoryStream;
  file->LoadFromFile(test::SamplePath());
  doc.Load(nullptr, file, true, nullptr);
  TvtImage view;
  view.SetEditingEnabled(false);
  view.resize(320, 240);
  view.SetSource(&doc);
  view.SetUseThumbnail(true);
  const QImage quick = Grab(view);
  // The smooth picture's job is asked for once the quick picture has been shown.
  EXPECT_EQ(view.Core().PendingJob(), 0u);
  QCoreApplication::processEvents();
  ASSERT_NE(view.Core().PendingJob(), 0u);
  test::FinishResizerJobs();
  ASSERT_NE(view.Core().Scaled(), nullptr);
  EXPECT_EQ(view.Core().Scaled()->Width(), 320);
  const QImage smooth = Grab(view);
  EXPECT_NE(quick, smooth);
  // At the fitted size the smooth picture is drawn as it came: the widget shows its pixels.
  const TRect place = view.Core().PictureRect();
  ASSERT_EQ(place.Width(), view.Core().Scaled()->Width());
  const TBitmap32& scaled = *view.Core().Scaled();
  int differ = 0;
  for (int y = 0; y < place.Height(); y += 3)
    for (int x = 0; x < place.Width(); x += 3)
      differ += smooth.pixel(place.Left + x, place.Top + y) != scaled.Pixel(x, y);
  EXPECT_EQ(differ, 0);
  EXPECT_EQ(view.Core().PendingJob(), 0u);
}

TEST_F(ImageViewTest, EditingModeDrawsTheCursorAndTakesItsKeys) {
  test::LoadJpegBytes(doc, test::Cjpeg("-quality 90", 64, 48, true));  // 8 x 6 MCUs of 8 x 8, shown at 100 %
  TvtImage view;
  view.resize(64, 48);
  view.SetSource(&doc);
  QImage shot = Grab(view);
  EXPECT_EQ(shot.pixel(0, 0), qRgb(255, 0, 0)) << "the red frame around MCU (0, 0)";
  EXPECT_EQ(shot.pixel(8, 4), qRgb(255, 0, 0)) << "its right side on the first column after the MCU";

  QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
  QCoreApplication::sendEvent(&view, &right);
  QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
  QCoreApplication::sendEvent(&view, &down);
  EXPECT_EQ(view.Core().Cursor().Col, 1);
  EXPECT_EQ(view.Core().Cursor().Row, 1);
  QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
  QCoreApplication::sendEvent(&view, &del);
  EXPECT_FALSE(doc.IsMCUDecoded({1, 1}));
  EXPECT_EQ(view.Core().Cursor().Col, 2);
  QKeyEvent shifted(QEvent::KeyPress, Qt::Key_Delete, Qt::ShiftModifier);
  QCoreApplication::sendEvent(&view, &shifted);
  EXPECT_TRUE(doc.IsMCUDecoded({2, 1})) << "Shift+Delete is not a command";

  QMouseEvent click(QEvent::MouseButtonPress, QPointF(40, 20), QPointF(40, 20), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(&view, &click);
  EXPECT_EQ(view.Core().Cursor().Col, 5);
  EXPECT_EQ(view.Core().Cursor().Row, 2);

  // The main window switches the mode off: no frame, keys do nothing.
  view.SetEditingEnabled(false);
  shot = Grab(view);
  EXPECT_NE(shot.pixel(40, 16), qRgb(255, 0, 0));
  QCoreApplication::sendEvent(&view, &del);
  EXPECT_TRUE(doc.IsMCUDecoded({5, 2}));
}

// A control whose picture cannot be made: the paint event survives, the area is left plain.
class FailingPicture : public TvtScrollControl {
 protected:
  void PaintClient(QPainter&, const QRect&) override { throw std::bad_alloc(); }
};

TEST(ScrollControlPaint, AFailingPictureLeavesThePlainColourInsteadOfEndingTheProgram) {
  FailingPicture control;
  control.resize(60, 40);
  const QImage shot = control.grab().toImage().convertToFormat(QImage::Format_ARGB32);
  EXPECT_EQ(QColor(shot.pixel(30, 20)), control.palette().color(QPalette::Window));
  EXPECT_EQ(QColor(control.grab().toImage().pixel(30, 20)), control.palette().color(QPalette::Window))
      << "and again on the next paint";
}

TEST_F(ImageViewTest, ScrollBarsShowExactlyWhenTheZoomedPictureExceedsTheClientArea) {
  test::LoadJpegBytes(doc, test::Cjpeg("-quality 90", 150, 100));
  TvtImage view;
  view.SetEditingEnabled(false);
  view.resize(200, 140);
  view.SetSource(&doc);
  Grab(view);
  EXPECT_FALSE(view.HorizontalBar().Visible || view.VerticalBar().Visible) << "fitted";
  const int extent = view.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &view);
  // 100 %: fits; 133 %: 200 x 133 fits the width exactly and the height too; 150 %: 225 x 150
  // needs both; then back to fitting.
  for (double percent : {100.0, 400.0 / 3, 150.0, 1600.0, 50.0}) {
    view.Core().ZoomAt(percent, 10, 10);
    Grab(view);
    const TPictureSize content = view.Core().ContentSize();
    const QRect client = view.ClientRect();
    EXPECT_EQ(view.HorizontalBar().Visible, content.Width > client.width()) << percent;
    EXPECT_EQ(view.VerticalBar().Visible, content.Height > client.height()) << percent;
    // A showing bar's room is the only thing that shrank the client area.
    EXPECT_EQ(client.width(), 200 - (view.VerticalBar().Visible ? extent : 0)) << percent;
    EXPECT_EQ(client.height(), 140 - (view.HorizontalBar().Visible ? extent : 0)) << percent;
    EXPECT_EQ(view.ZoomPercent(), int(std::lround(percent)));
  }
  view.Core().FitToWindow();
  Grab(view);
  EXPECT_FALSE(view.HorizontalBar().Visible || view.VerticalBar().Visible);
}

}  // namespace
}  // namespace vt
