// The "Edit thumbnail" dialog offscreen: its controls, the fields bound to the picture, the
// buttons, dragging an edge, and OK and Cancel (also after a save to file).
#include <gtest/gtest.h>

#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

#include <filesystem>

#include "source/vt_common.h"
#include "support/test_support.h"
#include "viewer/widgets/file_dialog.h"
#include "viewer/widgets/thumb_image.h"
#include "viewer/widgets/thumb_image_form.h"
#include "widgets/widget_support.h"

namespace vt {
namespace {

namespace fs = std::filesystem;

TBitmap32 Picture(int w, int h) {
  TBitmap32 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.SetPixel(x, y, Color32(static_cast<uint8_t>(x), static_cast<uint8_t>(y), 100));
  return b;
}

class ThumbImageFormTest : public test::RecordedErrorBoxes {
 protected:
  // Runs Execute with the dialog open: `whileOpen` acts on it, then it is closed with `accept`.
  bool Run(TvtThumbImageForm& form, std::array<int32_t, 5>& values, const std::function<void()>& whileOpen,
           bool accept) {
    QTimer::singleShot(0, &form, [&] {
      whileOpen();
      (accept ? form.OkButton() : form.CancelButton())->click();
    });
    uint8_t o = static_cast<uint8_t>(values[0]);
    const bool ok = form.Execute(o, values[1], values[2], values[3], values[4]);
    values[0] = o;
    return ok;
  }
};

TEST_F(ThumbImageFormTest, ControlsAndTheirTexts) {
  const TBitmap32 b = Picture(160, 120);
  TvtThumbImageForm form(nullptr, b, "/photos/holiday.jpg");
  EXPECT_EQ(form.windowTitle(), "Edit thumbnail");
  EXPECT_EQ(form.FileName, "holiday.jpg");
  EXPECT_EQ(form.FlipHorizontallyButton()->text(), "Flip &Horizontally");
  EXPECT_EQ(form.FlipVerticallyButton()->text(), "Flip &Vertically");
  EXPECT_EQ(form.RotateLeftButton()->text(), "Rotate &Left");
  EXPECT_EQ(form.RotateRightButton()->text(), "Rotate &Right");
  EXPECT_EQ(form.SaveButton()->text(), "&Save to file...");
  EXPECT_EQ(form.OkButton()->text(), "OK");
  EXPECT_TRUE(form.OkButton()->isDefault());
  EXPECT_EQ(form.CancelButton()->text(), "&Cancel");
  EXPECT_FALSE(form.findChildren<QLabel*>().isEmpty());
  EXPECT_EQ(form.findChildren<QLabel*>().front()->text(), "Crop:");
  for (int side = 0; side < 4; ++side) {
    EXPECT_EQ(form.Spin(side)->minimum(), 0);
    EXPECT_EQ(form.Spin(side)->maximum(), 65536);
    EXPECT_EQ(form.Spin(side)->width(), form.Spin(0)->width());
  }
  // Tab visits the fields as laid out, then the commands and the dialog's buttons.
  const std::vector<QWidget*> expected = {
      form.Spin(csTop), form.Spin(csLeft), form.Spin(csRight), form.Spin(csBottom), form.FlipHorizontallyButton(),
      form.FlipVerticallyButton(), form.RotateLeftButton(), form.RotateRightButton(), form.SaveButton(),
      form.OkButton(), form.CancelButton()};
  std::vector<QWidget*> tabbed;  // the controls above in the order of the focus chain
  QWidget* w = form.Spin(csTop);
  for (int i = 0; i < 200 && tabbed.size() < expected.size(); ++i, w = w->nextInFocusChain())
    if (std::find(expected.begin(), expected.end(), w) != expected.end() &&
        std::find(tabbed.begin(), tabbed.end(), w) == tabbed.end())
      tabbed.push_back(w);
  EXPECT_EQ(tabbed, expected);
}

TEST_F(ThumbImageFormTest, OkReturnsTheEditedValuesAndCancelLeavesTheCallersEvenAfterASave) {
  const TBitmap32 b = Picture(160, 120);
  std::array<int32_t, 5> values{0, 4, 0, 0, 0};
  {
    TvtThumbImageForm form(nullptr, b, "/x/holiday.jpg");
    EXPECT_TRUE(Run(form, values, [&] {
      EXPECT_EQ(form.Spin(csLeft)->value(), 4) << "the fields start from the caller's values";
      form.RotateRightButton()->click();
      EXPECT_EQ(form.Spin(csTop)->value(), 4) << "the left crop moved to the top";
      form.Spin(csBottom)->setValue(500);  // typed beyond the picture: pulled back
      EXPECT_EQ(form.Spin(csBottom)->value(), 160 - 4 - 8);
    }, true));
    EXPECT_EQ(values, (std::array<int32_t, 5>{5, 0, 4, 0, 148}));
  }
  {
    const std::string dir = test::TempPath("editor-save");
    fs::create_directories(dir);
    test::AnsweringDialog dialog;
    dialog.answer = dir + "/thumb.bmp";
    TvtThumbImageForm form(nullptr, b, "/x/holiday.jpg");
    form.SetSaveDialog(&dialog);
    std::array<int32_t, 5> before = values;
    EXPECT_FALSE(Run(form, values, [&] {
      form.FlipHorizontallyButton()->click();
      form.SaveButton()->click();
      EXPECT_TRUE(form.isVisible()) << "the dialog stays open after saving";
    }, false));
    EXPECT_EQ(values, before) << "Cancel keeps the caller's values";
    EXPECT_EQ(dialog.seenName, "holiday (thumb 120x8).bmp");
    EXPECT_EQ(dialog.seenExt, "bmp");
    TBitmap32 saved;
    saved.LoadFromFile(dialog.answer);
    EXPECT_EQ(saved.Width(), 120);
    EXPECT_EQ(saved.Height(), 8);
    EXPECT_TRUE(shown.empty());
  }
}

TEST_F(ThumbImageFormTest, ASaveThatFailsShowsTheErrorAndKeepsTheDialogOpen) {
  const TBitmap32 b = Picture(40, 30);
  test::AnsweringDialog dialog;
  dialog.answer = test::TempPath("no-such-folder") + "/thumb.bmp";
  TvtThumbImageForm form(nullptr, b, "/x/a.jpg");
  form.SetSaveDialog(&dialog);
  std::array<int32_t, 5> values{0, 0, 0, 0, 0};
  Run(form, values, [&] {
    form.SaveButton()->click();
    EXPECT_TRUE(form.isVisible());
  }, true);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].Text.find("thumb.bmp"), std::string::npos) << shown[0].Text;
  EXPECT_EQ(shown[0].Owner, &form);
}

TEST_F(ThumbImageFormTest, DraggingTheLeftEdgePastTheRightStopsEightPixelsBeforeIt) {
  const TBitmap32 b = Picture(100, 80);
  TvtThumbImageForm form(nullptr, b, "/x/a.jpg");
  form.show();
  TvtThumbImage& view = *form.View();
  // The picture is fitted into the view: screen points are found through its placement.
  const QPoint offset = view.ClientRect().topLeft();
  const QPoint edge = view.ClientPoint({16, 50}) + offset;
  auto send = [&](QEvent::Type type, QPoint p, Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(p), QPointF(p), Qt::LeftButton, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &e);
  };
  send(QEvent::MouseMove, edge, Qt::NoButton);
  EXPECT_EQ(view.cursor().shape(), Qt::SizeHorCursor);
  send(QEvent::MouseButtonPress, edge, Qt::LeftButton);
  send(QEvent::MouseMove, view.ClientPoint({16 + 30, 50}) + offset, Qt::LeftButton);
  EXPECT_EQ(form.Spin(csLeft)->value(), 30);
  send(QEvent::MouseMove, view.ClientPoint({16 + 300, 50}) + offset, Qt::LeftButton);
  EXPECT_EQ(view.Core().CropLeft(), 92);
  EXPECT_EQ(form.Spin(csLeft)->value(), 92);
  send(QEvent::MouseButtonRelease, view.ClientPoint({16 + 300, 50}) + offset, Qt::NoButton);
}

// The picture as the editor paints it: the kept part shows the thumbnail, the part cut away the
// control colour, and dotted red marks run from the crop corners out to the borders.
TEST_F(ThumbImageFormTest, OnlyTheKeptPartShowsAndTheCropMarksReachTheBorders) {
  const TBitmap32 bitmap = Picture(100, 60);
  TvtThumbImage view;
  view.resize(134, 94);  // the picture's size, the margins and the border: shown 1:1
  view.Core().SetBitmap(&bitmap);
  view.Core().LoadValues(0, 10, 5, 20, 15);
  ASSERT_EQ(view.Placement().Scale, 1.0);
  const QImage shot = view.grab().toImage().convertToFormat(QImage::Format_ARGB32);
  const QPoint origin = view.ClientPoint({16, 16}) + view.ClientRect().topLeft();
  const QColor control = view.palette().color(QPalette::Window);
  const auto at = [&](int x, int y) { return QColor(shot.pixel(origin.x() + x, origin.y() + y)); };
  EXPECT_EQ(shot.pixel(origin.x() + 40, origin.y() + 30), bitmap.Pixel(40, 30)) << "kept";
  EXPECT_EQ(at(5, 30), control) << "left of the left crop";
  EXPECT_EQ(at(40, 2), control) << "above the top crop";
  EXPECT_EQ(at(90, 30), control) << "right of the right crop";
  EXPECT_EQ(at(40, 50), control) << "below the bottom crop";
  // Inside the corners (which the marks start from) the kept part reaches the crop edges.
  EXPECT_EQ(shot.pixel(origin.x() + 11, origin.y() + 6), bitmap.Pixel(11, 6)) << "near the first kept pixel";
  EXPECT_EQ(shot.pixel(origin.x() + 78, origin.y() + 43), bitmap.Pixel(78, 43)) << "near the last kept pixel";
  EXPECT_EQ(at(9, 6), control) << "the column before the first kept one";
  EXPECT_EQ(at(80, 43), control) << "the column after the last kept one";
  // The left mark continues the left edge up to the top border; the right one lies on the last
  // kept column; both run on to the bottom border.
  const auto redOnColumn = [&](int x, int y0, int y1) {
    int red = 0;
    for (int y = y0; y < y1; ++y) red += QColor(shot.pixel(x, y)) == QColor(Qt::red);
    return red;
  };
  const QRect client = view.ClientRect();
  EXPECT_GT(redOnColumn(origin.x() + 10, client.top(), origin.y() + 5), (origin.y() + 5 - client.top()) / 4);
  EXPECT_GT(redOnColumn(origin.x() + 79, origin.y() + 45, client.bottom()), (client.bottom() - origin.y() - 45) / 4);
  EXPECT_EQ(redOnColumn(origin.x() + 40, client.top(), origin.y() + 5), 0) << "no mark where no edge runs";
}

// The picture grows with the dialog (enlarged pixels stay sharp squares), the size of the
// result is shown, and a crop typed beyond the picture is pulled back with a notice that goes
// with the next change.
TEST_F(ThumbImageFormTest, ThePictureGrowsWithTheDialogAndTheResultAndClampAreTold) {
  const TBitmap32 b = Picture(100, 80);
  TvtThumbImageForm form(nullptr, b, "/x/a.jpg");
  form.resize(500, 420);
  form.show();
  QCoreApplication::processEvents();
  TvtThumbImage& view = *form.View();
  const double small = view.Placement().Scale;
  form.resize(1100, 900);
  QCoreApplication::processEvents();
  const TvtThumbPlacement large = view.Placement();
  EXPECT_GT(large.Scale, small * 1.8) << "the picture grows with the dialog";
  EXPECT_GE(large.Scale, 2.0);
  const QImage shot = view.grab().toImage().convertToFormat(QImage::Format_ARGB32);
  const QPoint offset = view.ClientRect().topLeft();
  for (const QPoint pixel : {QPoint(0, 0), QPoint(37, 21), QPoint(99, 79)}) {
    // The middle of the square that shows the pixel.
    const QPoint at = view.ClientPoint({16 + pixel.x(), 16 + pixel.y()}) + offset +
                      QPoint(static_cast<int>(large.Scale / 2), static_cast<int>(large.Scale / 2));
    EXPECT_EQ(shot.pixel(at), b.Pixel(pixel.x(), pixel.y())) << pixel.x() << "," << pixel.y();
  }

  EXPECT_EQ(form.ResultLabel()->text(), "Result: 100 x 80 pixels");
  form.Spin(csTop)->setValue(10);
  EXPECT_EQ(form.ResultLabel()->text(), "Result: 100 x 70 pixels");
  EXPECT_TRUE(form.NoticeLabel()->text().isEmpty());
  form.Spin(csLeft)->setValue(250);
  EXPECT_EQ(form.Spin(csLeft)->value(), 92);
  EXPECT_EQ(form.ResultLabel()->text(), "Result: 8 x 70 pixels");
  EXPECT_EQ(form.NoticeLabel()->text(), "The left crop is limited to 92 pixels: at least 8 pixels of the picture stay.");
  form.Spin(csLeft)->setValue(300);  // pulled back again, to the value it already has
  EXPECT_FALSE(form.NoticeLabel()->text().isEmpty());
  form.RotateRightButton()->click();
  EXPECT_TRUE(form.NoticeLabel()->text().isEmpty()) << "the next change clears it";
  EXPECT_EQ(form.ResultLabel()->text(), "Result: 70 x 8 pixels");
}

}  // namespace
}  // namespace vt
