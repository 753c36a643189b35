// The image view on a screen with two device pixels per unit (QT_SCALE_FACTOR=2, set before the
// application starts, so this file runs in its own program): the photo is drawn in the screen's
// own pixels, at full resolution, and a click finds the MCU under it in those pixels.
#include <gtest/gtest.h>

#include <QMouseEvent>
#include <cstdlib>

#include "support/test_support.h"
#include "viewer/thumb_source.h"
#include "viewer/widgets/image_view.h"
#include "widgets/widget_support.h"

namespace vt {
namespace {

const bool kDoubleDensity = [] {
  setenv("QT_SCALE_FACTOR", "2", 1);
  return true;
}();

class ImageViewHiDpiTest : public test::RecordedErrorBoxes {
 protected:
  TvtThumbSource doc;
};

TEST_F(ImageViewHiDpiTest, ThePhotoIsDrawnInDevicePixelsAndClicksFindTheirMcu) {
  ASSERT_TRUE(kDoubleDensity);
  TMemoryStream* file = new TMemoryStream;
  file->LoadFromFile(test::SamplePath());
  doc.Load(nullptr, file, true, nullptr);
  ASSERT_TRUE(doc.HasImage());
  const TBitmap32& image = *doc.MainImage();
  ASSERT_EQ(image.Width(), 800);

  TvtImage view;
  view.SetEditingEnabled(false);  // no cursor frame over the photo
  view.resize(500, 400);  // 1000 x 800 device pixels: the 800 x 600 photo fits at full size
  view.SetSource(&doc);
  ASSERT_EQ(view.devicePixelRatioF(), 2.0);
  const QImage shot = view.grab().toImage().convertToFormat(QImage::Format_ARGB32);
  ASSERT_EQ(shot.size(), QSize(1000, 800));
  EXPECT_EQ(view.Core().FitScale(), 100.0) << "a 800 pixel photo in 1000 device pixels is not scaled";
  const TRect placed = view.Core().PictureRect();
  EXPECT_EQ(placed.Left, 100);
  EXPECT_EQ(placed.Top, 100);
  int same = 0, compared = 0;
  for (int y = 0; y < 200; y += 3)  // the top of the photo decodes
    for (int x = 0; x < 800; x += 7) {
      ++compared;
      same += shot.pixel(100 + x, 100 + y) == image.Pixel(x, y);
    }
  EXPECT_EQ(same, compared) << "every device pixel is the photo's own pixel";

  // Editing mode: a click at (60, 60) in widget units is (120, 120) on the screen, which is
  // (20, 20) in the photo: MCU (1, 1) of its 16 x 16 MCUs.
  view.SetEditingEnabled(true);
  ASSERT_EQ(doc.MCUWidth, 16);
  const QPointF at(60, 60);
  QMouseEvent click(QEvent::MouseButtonPress, at, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&view, &click);
  EXPECT_EQ(view.Core().Cursor().Col, 1);
  EXPECT_EQ(view.Core().Cursor().Row, 1);
  // The cursor's red frame is drawn on the screen's pixels around that MCU: from 116 to 132.
  const QImage framed = view.grab().toImage().convertToFormat(QImage::Format_ARGB32);
  EXPECT_EQ(QColor(framed.pixel(116, 124)), QColor(Qt::red));
  EXPECT_EQ(QColor(framed.pixel(132, 124)), QColor(Qt::red));
  EXPECT_EQ(framed.pixel(124, 124), image.Pixel(24, 24)) << "inside the frame: the photo";
}

}  // namespace
}  // namespace vt
