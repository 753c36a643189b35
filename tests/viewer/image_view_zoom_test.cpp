// The image view's zoom and its first picture: the zoom steps and limits, Actual Size showing
// image pixels one to one, a zoom around a point keeping the pixel under it, sharp pixels above
// 100 %, and the reduced first picture with the full image made when a zoom needs it.
#include <gtest/gtest.h>

#include <cmath>

#include "support/test_support.h"
#include "viewer/document_fixture.h"
#include "viewer/image_view_core.h"
#include "viewer/preview_scale.h"
#include "viewer/view_picture.h"
#include "viewer/zoom_steps.h"

namespace vt {
namespace {

using Host = test::TScrollRecordingHost;

TEST(ZoomSteps, StepInAndOutFromAnyScaleAndStopAtTheLimits) {
  struct Case {
    double from, in, out;
  };
  for (const Case& c : {Case{100, 150, 200.0 / 3}, Case{25, 100.0 / 3, 20}, Case{70, 100, 200.0 / 3},
                        Case{1, 2, 1}, Case{3200, 3200, 2400}, Case{0.5, 1, 1}, Case{5000, 3200, 3200}}) {
    EXPECT_DOUBLE_EQ(ZoomInStep(c.from), c.in) << c.from;
    EXPECT_DOUBLE_EQ(ZoomOutStep(c.from), c.out) << c.from;
  }
}

TEST(PreviewScale, TheLargestReductionThatStillCoversTheFittedSize) {
  struct Case {
    int32_t w, h, boxW, boxH;
    int shift;
  };
  for (const Case& c : {Case{6000, 4000, 1280, 800, 2},   // fitted 1200 x 800; 1/4 is 1500 x 1000
                        Case{6000, 4000, 100, 100, 3},    // 1/8 at most
                        Case{6000, 4000, 2000, 1400, 1},  // fitted 2000 x 1333; 1/4 would be 1500 wide
                        Case{640, 480, 1280, 800, 0},     // fits: no reduction
                        Case{6000, 4000, 0, 0, 0}}) {     // no box: the full image
    EXPECT_EQ(PreviewShiftFor(c.w, c.h, {c.boxW, c.boxH}), c.shift) << c.w << "x" << c.h << " in " << c.boxW;
  }
  EXPECT_EQ(ReducedSize(13, 9, 3), (TPictureSize{2, 2}));
}

TEST(ImageViewZoom, ZoomInAndOutWalkTheStepsToTheirLimits) {
  TvtGR32Resizer resizer;
  Host host;
  TvtImageViewCore view(host, &resizer);
  TvtThumbSource doc;
  test::LoadJpegBytes(doc, test::Cjpeg("-quality 90", 400, 300));
  view.SetSource(&doc);
  view.Picture(100, 100);
  EXPECT_TRUE(view.Fitted());
  EXPECT_EQ(view.ZoomPercent(), 25);
  view.ZoomIn();
  EXPECT_EQ(view.ZoomPercent(), 33);
  for (int i = 0; i < 40; ++i) view.ZoomIn();
  EXPECT_EQ(view.ZoomPercent(), 3200);
  for (int i = 0; i < 40; ++i) view.ZoomOut();
  EXPECT_EQ(view.ZoomPercent(), 1);
  EXPECT_EQ(view.ContentSize(), (TPictureSize{4, 3}));
  view.FitToWindow();
  view.Picture(100, 100);
  EXPECT_EQ(view.ZoomPercent(), 25);
  EXPECT_EQ(view.ContentSize(), (TPictureSize{})) << "fitted: no scroll bars";
}

TEST(ImageViewZoom, ActualSizeShowsImagePixelsOneToOneWhereverItIsScrolled) {
  TvtGR32Resizer resizer;
  Host host;
  TvtImageViewCore view(host, &resizer);
  TvtThumbSource doc;
  test::LoadJpegBytes(doc, test::Cjpeg("-quality 90 -sample 2x2", 161, 97));
  view.SetSource(&doc);
  view.Picture(60, 50);
  view.ActualSize();
  EXPECT_EQ(view.ContentSize(), (TPictureSize{161, 97}));
  for (const auto& [sx, sy] : {std::pair{0, 0}, std::pair{55, 20}, std::pair{101, 47}}) {
    view.SetScroll(sx, sy);
    const TBitmap32& p = view.Picture(60, 50);
    EXPECT_EQ(view.PictureRect(), MakeRect(-sx, -sy, 161 - sx, 97 - sy));
    for (int32_t y = 0; y < 50; ++y)
      for (int32_t x = 0; x < 60; ++x) ASSERT_EQ(p.Pixel(x, y), doc.MainImage()->Pixel(x + sx, y + sy)) << x << "," << y;
  }
}

TEST(ImageViewZoom, ZoomAroundAPointKeepsTheImagePixelUnderItAndDrawsSharpSquares) {
  TvtGR32Resizer resizer;
  Host host;
  TvtImageViewCore view(host, &resizer);
  TvtThumbSource doc;
  test::LoadJpegBytes(doc, test::Cjpeg("-quality 90", 200, 150));
  view.SetSource(&doc);
  view.Picture(100, 100);  // 50 %, rows 12..87
  struct Case {
    int32_t x, y;
    double percent;
  };
  for (const Case& c : {Case{30, 40, 200}, Case{70, 20, 400}, Case{10, 80, 800}, Case{50, 50, 100}}) {
    view.FitToWindow();
    view.Picture(100, 100);
    const TRect before = view.PictureRect();
    const double ix = (c.x - before.Left) * 100.0 / view.FitScale(), iy = (c.y - before.Top) * 100.0 / view.FitScale();
    view.ZoomAt(c.percent, c.x, c.y);
    view.SetScroll(host.scrollX, host.scrollY);  // as the scroll bars report it back
    const TBitmap32& p = view.Picture(100, 100);
    const TRect after = view.PictureRect();
    const int32_t px = int32_t(std::floor((c.x - after.Left) * 100.0 / c.percent));
    const int32_t py = int32_t(std::floor((c.y - after.Top) * 100.0 / c.percent));
    EXPECT_NEAR(px, ix, 1.0) << "zoom to " << c.percent;
    EXPECT_NEAR(py, iy, 1.0) << "zoom to " << c.percent;
    EXPECT_EQ(p.Pixel(c.x, c.y), doc.MainImage()->Pixel(px, py));
    // Above 100 % each image pixel is a square of equal screen pixels.
    const int cell = int(c.percent / 100);
    const int32_t x0 = after.Left + px * cell, y0 = after.Top + py * cell;
    for (int dy = 0; dy < cell; ++dy)
      for (int dx = 0; dx < cell; ++dx)
        if (x0 + dx >= 0 && x0 + dx < 100 && y0 + dy >= 0 && y0 + dy < 100)
          EXPECT_EQ(p.Pixel(x0 + dx, y0 + dy), p.Pixel(c.x, c.y));
  }
}

TEST(ImageViewZoom, TheFirstPictureIsReducedAndTheFullImageComesWhenAZoomNeedsIt) {
  TvtGR32Resizer resizer;
  Host host;
  TvtImageViewCore view(host, &resizer);
  TvtThumbSource doc;
  doc.PreviewBox = {100, 80};
  test::LoadJpegBytes(doc, test::Cjpeg("-quality 90 -sample 2x2", 400, 300));
  ASSERT_NE(doc.Preview(), nullptr);
  EXPECT_EQ(doc.PreviewShift(), 2) << "fitted 100 x 75: 1/4 is 100 x 75, 1/8 would be too small";
  view.SetSource(&doc);
  view.Picture(100, 80);
  EXPECT_FALSE(doc.HasFullImage()) << "the fitted picture is drawn from the reduced one";
  view.ZoomAt(25, 50, 40);
  view.Picture(100, 80);
  EXPECT_FALSE(doc.HasFullImage()) << "25 % is the reduced picture's own scale";
  view.ZoomIn();
  view.Picture(100, 80);
  EXPECT_TRUE(doc.HasFullImage()) << "beyond the reduction the full image is made";
  EXPECT_NE(doc.Preview(), nullptr) << "and the reduced picture stays for the small scales";

  // An edit of a document that made no full image makes its reduced picture again.
  TvtThumbSource edited;
  edited.PreviewBox = {100, 80};
  test::LoadJpegBytes(edited, test::Cjpeg("-quality 90 -sample 2x2", 400, 300));
  ASSERT_EQ(AlphaComponent(edited.Preview()->Pixel(2, 2)), 255);
  edited.ClearMCU({0, 0});
  ASSERT_NE(edited.Preview(), nullptr);
  EXPECT_FALSE(edited.HasFullImage());
  EXPECT_EQ(AlphaComponent(edited.Preview()->Pixel(2, 2)), 0) << "the cleared MCU is a hole";
  EXPECT_EQ(AlphaComponent(edited.Preview()->Pixel(9, 2)), 255);
}

}  // namespace
}  // namespace vt
