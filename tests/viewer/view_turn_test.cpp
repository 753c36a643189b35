// The turned view: the eight Exif orientations as turns, the maps between the view's and the
// picture's positions against ApplyOrientation as the oracle, the picture drawn turned, and zoom,
// clicks and the cursor keys of a turned view.
#include <gtest/gtest.h>

#include <cmath>

#include "support/test_support.h"
#include "thumbs/picture_geometry.h"
#include "viewer/document_fixture.h"
#include "viewer/image_view_core.h"
#include "viewer/view_picture.h"
#include "viewer/view_turn.h"

namespace vt {
namespace {

using Host = test::TScrollRecordingHost;

// A 5 x 3 bitmap whose every pixel is distinct: its value tells where it came from.
TBitmap32 Numbered(int32_t w = 5, int32_t h = 3) {
  TBitmap32 b(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) b.ScanLine(y)[x] = 0xFF000000u | uint32_t(y << 8 | x);
  return b;
}

bool Same(const TBitmap32& a, const TBitmap32& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int32_t y = 0; y < a.Height(); ++y)
    for (int32_t x = 0; x < a.Width(); ++x)
      if (a.ScanLine(y)[x] != b.ScanLine(y)[x]) return false;
  return true;
}

struct ExifCase {
  int exif;
  int quarterTurns;
  bool mirrored;
};

// The Exif standard's eight values: 6 is a camera held turned right (the picture turned
// clockwise to show it), 8 the other way; 2, 4, 5 and 7 carry a mirror.
constexpr ExifCase kExif[] = {{1, 0, false}, {2, 0, true}, {3, 2, false}, {4, 2, true},
                              {5, 1, true},  {6, 1, false}, {7, 3, true}, {8, 3, false}};

TEST(ViewTurn, EachExifValueIsItsTurnAndMapsPixelsWhereApplyOrientationPutsThem) {
  const TBitmap32 picture = Numbered();
  const TPictureSize size{picture.Width(), picture.Height()};
  for (const ExifCase& c : kExif) {
    const uint8_t code = OrientationOfExif(c.exif);
    EXPECT_EQ(TurnOf(code), (TvtViewTurn{c.quarterTurns, c.mirrored})) << "Exif " << c.exif;
    TBitmap32 shown = picture;
    ApplyOrientation(shown, code);
    ASSERT_EQ(TurnedSize(size, code), (TPictureSize{shown.Width(), shown.Height()})) << "Exif " << c.exif;
    const TvtTurnMap toView = PictureToViewPixels(code, size);
    int wrong = 0;
    for (int32_t y = 0; y < size.Height; ++y)
      for (int32_t x = 0; x < size.Width; ++x) {
        int32_t vx, vy;
        toView.Apply(x, y, vx, vy);
        wrong += vx < 0 || vy < 0 || vx >= shown.Width() || vy >= shown.Height() ||
                 shown.ScanLine(vy)[vx] != picture.ScanLine(y)[x];
      }
    EXPECT_EQ(wrong, 0) << "Exif " << c.exif;
  }
  for (int broken : {0, 9, -1, 65535}) EXPECT_EQ(OrientationOfExif(broken), 0) << broken;
}

TEST(ViewTurn, MapsAndTheirInversesRoundTripAndRectanglesStayOnThePicture) {
  const TPictureSize size{7, 4};
  for (uint8_t code = 0; code < 8; ++code) {
    for (const TvtTurnMap& m : {PictureToViewPixels(code, size), PictureToViewPoints(code, size)}) {
      const TvtTurnMap back = m.Inverse();
      for (double x : {0.0, 2.5, 7.0})
        for (double y : {0.0, 1.25, 4.0}) {
          double vx, vy, px, py;
          m.Apply(x, y, vx, vy);
          back.Apply(vx, vy, px, py);
          EXPECT_DOUBLE_EQ(px, x) << int(code);
          EXPECT_DOUBLE_EQ(py, y) << int(code);
        }
    }
    const TPictureSize shown = TurnedSize(size, code);
    EXPECT_EQ(PictureToViewRect(code, size, MakeRect(0, 0, 7, 4)), MakeRect(0, 0, shown.Width, shown.Height));
    // One pixel's square is the square of the pixel it maps to.
    int32_t vx, vy;
    PictureToViewPixels(code, size).Apply(6, 0, vx, vy);
    EXPECT_EQ(PictureToViewRect(code, size, MakeRect(6, 0, 7, 1)), MakeRect(vx, vy, vx + 1, vy + 1)) << int(code);
  }
}

TEST(ViewTurn, RotatingLeftAndRightComposesWithTheExifTurn) {
  for (uint8_t code = 0; code < 8; ++code) {
    TBitmap32 expected = Numbered(), turned = Numbered();
    ApplyOrientation(expected, code);
    expected.TurnClockwise();
    ApplyOrientation(turned, TurnRight(code));
    EXPECT_TRUE(Same(turned, expected)) << "right of " << int(code);
    EXPECT_EQ(TurnLeft(TurnRight(code)), code);
    EXPECT_EQ(TurnRight(TurnRight(TurnRight(TurnRight(code)))), code);
  }
}

TEST(ViewTurn, TheDrawnPictureIsTheTurnedBitmapWithItsBackgroundTurnedAlike) {
  const TBitmap32 picture = Numbered();
  TBitmap32 image = picture, background(5, 3);
  image.ScanLine(1)[3] = 0;  // a hole: the background's pixel shows there
  background.Clear(0xFF123456u);
  background.ScanLine(1)[3] = 0xFFABCDEFu;
  for (uint8_t code = 0; code < 8; ++code) {
    TBitmap32 expected = picture;
    expected.ScanLine(1)[3] = 0xFFABCDEFu;
    ApplyOrientation(expected, code);
    TvtPictureLayers layers;
    layers.Image = &image;
    layers.Background = &background;
    layers.Turn = code;
    // At twice the size, scrolled by one pixel: every shown pixel is a 2 x 2 square.
    TBitmap32 out(2 * expected.Width() - 1, 2 * expected.Height() - 1);
    DrawPictureNearest(out, layers, -1, -1, 2 * expected.Width(), 2 * expected.Height());
    int wrong = 0;
    for (int32_t y = 0; y < out.Height(); ++y)
      for (int32_t x = 0; x < out.Width(); ++x) wrong += out.ScanLine(y)[x] != expected.ScanLine((y + 1) / 2)[(x + 1) / 2];
    EXPECT_EQ(wrong, 0) << "code " << int(code);
  }
}

class TurnedViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // 64 x 32 with 16 x 16 MCUs (4:2:0): 4 columns, 2 rows.
    test::LoadJpegBytes(doc, test::Cjpeg("-quality 95 -sample 2x2", 64, 32));
    view.SetSource(&doc);
  }
  TvtGR32Resizer resizer;
  Host host;
  TvtImageViewCore view{host, &resizer};
  TvtThumbSource doc;
};

TEST_F(TurnedViewTest, ExifOrientationAppliesOnlyWhenAskedAndRotationsTurnFurther) {
  doc.Jpeg->Orientation = OrientationOfExif(6);
  EXPECT_EQ(view.Turn(), 0) << "off by default: the frame as stored";
  view.SetApplyExifOrientation(true);
  EXPECT_EQ(view.Turn(), 5);
  EXPECT_EQ(view.ShownSize(), (TPictureSize{32, 64}));
  view.RotateLeft();
  EXPECT_EQ(view.Turn(), 0);
  view.RotateLeft();
  EXPECT_EQ(view.Turn(), 7);
  view.SetApplyExifOrientation(false);
  EXPECT_EQ(view.Turn(), 2) << "two left turns of the stored frame";
  view.MainImageChanged(true);
  EXPECT_EQ(view.Turn(), 0) << "another file starts unturned";
}

TEST_F(TurnedViewTest, ActualSizeOfATurnedPictureShowsItsPixelsOneToOneTurned) {
  view.RotateRight();
  view.Picture(200, 200);
  view.ActualSize();
  const TBitmap32& out = view.Picture(200, 200);
  const TRect r = view.PictureRect();
  ASSERT_EQ(r.Width(), 32);
  ASSERT_EQ(r.Height(), 64);
  TBitmap32 expected = *doc.MainImage();
  expected.TurnClockwise();
  int wrong = 0;
  for (int32_t y = 0; y < 64; ++y)
    for (int32_t x = 0; x < 32; ++x) wrong += out.ScanLine(r.Top + y)[r.Left + x] != expected.ScanLine(y)[x];
  EXPECT_EQ(wrong, 0);
}

TEST_F(TurnedViewTest, ZoomAroundThePointerAndTurningKeepThePicturePointInPlace) {
  view.SetApplyExifOrientation(true);
  doc.Jpeg->Orientation = OrientationOfExif(5);  // turned and mirrored: 32 x 64 shown
  view.Picture(40, 40);
  // The shown picture's point under the pointer, in shown pixels.
  auto under = [this](int32_t x, int32_t y) {
    const TRect r = view.PictureRect();
    const double s = view.FitScale() / 100.0;
    return std::pair<double, double>{(x - r.Left) / s, (y - r.Top) / s};
  };
  view.ZoomAt(400, 10, 30);
  view.SetScroll(host.scrollX, host.scrollY);
  view.Picture(40, 40);
  EXPECT_EQ(view.ContentSize(), (TPictureSize{128, 256}));
  const auto before = under(10, 30);
  view.ZoomAt(800, 10, 30);
  view.SetScroll(host.scrollX, host.scrollY);
  view.Picture(40, 40);
  const auto after = under(10, 30);
  EXPECT_NEAR(after.first, before.first, 0.5 / 4);
  EXPECT_NEAR(after.second, before.second, 0.5 / 4);
  // A turn keeps the stored pixel at the client's centre there.
  const auto centre = under(20, 20);
  double px, py;
  PictureToViewPoints(view.Turn(), {64, 32}).Inverse().Apply(centre.first, centre.second, px, py);
  view.RotateRight();
  view.SetScroll(host.scrollX, host.scrollY);
  view.Picture(40, 40);
  EXPECT_EQ(view.ContentSize(), (TPictureSize{512, 256}));
  const auto turned = under(20, 20);
  double qx, qy;
  PictureToViewPoints(view.Turn(), {64, 32}).Inverse().Apply(turned.first, turned.second, qx, qy);
  EXPECT_NEAR(qx, px, 1.0 / 8);
  EXPECT_NEAR(qy, py, 1.0 / 8);
}

TEST_F(TurnedViewTest, ClicksCursorFrameAndArrowsFollowTheTurnedPicture) {
  view.RotateRight();  // 32 x 64 shown: stored MCU (col, row) shows at (1 - row, col)
  view.Picture(32, 64);
  ASSERT_EQ(view.PictureRect(), MakeRect(0, 0, 32, 64));
  view.ClickAt(3, 50);  // shown column 0, row 3 of 16-pixel cells
  EXPECT_EQ(view.Cursor().Col, 3);
  EXPECT_EQ(view.Cursor().Row, 1);
  EXPECT_EQ(view.CursorRect(), MakeRect(0, 48, 16, 64));
  view.Execute(TvtEditCommand::Up);  // up on the screen: one column back in the frame
  EXPECT_EQ(view.Cursor().Col, 2);
  EXPECT_EQ(view.Cursor().Row, 1);
  view.Execute(TvtEditCommand::Right);  // right on the screen: one row up in the frame
  EXPECT_EQ(view.Cursor().Col, 2);
  EXPECT_EQ(view.Cursor().Row, 0);
  EXPECT_EQ(view.CursorRect(), MakeRect(16, 32, 32, 48));
}

}  // namespace
}  // namespace vt
