#include "viewer/thumb_image_core.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace vt {
namespace {

// A picture whose pixels tell where they came from: red = x, green = y.
TBitmap32 Coded(int w, int h) {
  TBitmap32 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.SetPixel(x, y, Color32(static_cast<uint8_t>(x), static_cast<uint8_t>(y), 0));
  return b;
}

struct Spin : IvtThumbImageCropSizeClient {
  explicit Spin(TvtThumbImageCore& c) : core(c) {}
  void CropChanged(int32_t side) override {
    sides.push_back(side);
    value[side] = core.Crop(side);
  }
  TvtThumbImageCore& core;
  std::vector<int32_t> sides;
  std::array<int32_t, 4> value{-1, -1, -1, -1};
};

std::array<int32_t, 5> State(const TvtThumbImageCore& c) {
  return {c.Orientation(), c.CropLeft(), c.CropTop(), c.CropRight(), c.CropBottom()};
}

TEST(ThumbImageCore, TurnsAndFlipsComposeTheOrientationByTheTable) {
  const uint8_t right[8] = {5, 6, 7, 4, 1, 2, 3, 0};
  const uint8_t left[8] = {7, 4, 5, 6, 3, 0, 1, 2};
  for (uint8_t o = 0; o < 8; ++o) {
    EXPECT_EQ(RotateRightOrientation(o), right[o]);
    EXPECT_EQ(RotateLeftOrientation(o), left[o]);
    EXPECT_EQ(RotateLeftOrientation(RotateRightOrientation(o)), o);
    EXPECT_EQ(FlipHorizontallyOrientation(FlipHorizontallyOrientation(o)), o);
    EXPECT_EQ(FlipVerticallyOrientation(FlipVerticallyOrientation(o)), o);
  }
  const uint8_t flipH[8] = {1, 0, 3, 2, 5, 4, 7, 6};
  const uint8_t flipV[8] = {3, 2, 1, 0, 7, 6, 5, 4};
  for (uint8_t o = 0; o < 8; ++o) {
    EXPECT_EQ(FlipHorizontallyOrientation(o), flipH[o]);
    EXPECT_EQ(FlipVerticallyOrientation(o), flipV[o]);
  }
  // Every command does to the shown picture what its name says: turning or flipping the shown
  // picture gives the picture shown with the composed orientation, quarter turns included.
  const TBitmap32 src = Coded(6, 4);
  for (uint8_t o = 0; o < 8; ++o) {
    TBitmap32 shown(src);
    ApplyOrientation(shown, o);
    shown.TurnClockwise();
    TBitmap32 composed(src);
    ApplyOrientation(composed, RotateRightOrientation(o));
    ASSERT_EQ(shown.Width(), composed.Width());
    EXPECT_EQ(0, std::memcmp(shown.Bits(), composed.Bits(), size_t(shown.Width()) * shown.Height() * 4)) << int(o);
    for (bool horizontal : {true, false}) {
      TBitmap32 flipped(src);
      ApplyOrientation(flipped, o);
      if (horizontal)
        flipped.FlipHorizontal();
      else
        flipped.FlipVertical();
      TBitmap32 composedFlip(src);
      ApplyOrientation(composedFlip, horizontal ? FlipHorizontallyOrientation(o) : FlipVerticallyOrientation(o));
      EXPECT_EQ(0, std::memcmp(flipped.Bits(), composedFlip.Bits(), size_t(flipped.Width()) * flipped.Height() * 4))
          << int(o) << (horizontal ? " horizontally" : " vertically");
    }
    TBitmap32 left(src);
    ApplyOrientation(left, o);
    left.TurnCounterClockwise();
    TBitmap32 composedLeft(src);
    ApplyOrientation(composedLeft, RotateLeftOrientation(o));
    EXPECT_EQ(0, std::memcmp(left.Bits(), composedLeft.Bits(), size_t(left.Width()) * left.Height() * 4)) << int(o);
  }
}

TEST(ThumbImageCore, CropsMoveWithThePictureAndFourTurnsComeBack) {
  const TBitmap32 b = Coded(160, 120);
  TvtThumbImageCore c;
  c.SetBitmap(&b);
  c.LoadValues(0, 1, 2, 3, 4);
  c.RotateLeft();
  EXPECT_EQ(State(c), (std::array<int32_t, 5>{7, 2, 3, 4, 1})) << "the top crop moves to the left side";
  EXPECT_EQ(c.ShownWidth(), 120);
  c.RotateRight();
  EXPECT_EQ(State(c), (std::array<int32_t, 5>{0, 1, 2, 3, 4}));
  for (int i = 0; i < 4; ++i) c.RotateRight();
  EXPECT_EQ(State(c), (std::array<int32_t, 5>{0, 1, 2, 3, 4}));
  c.FlipHorizontally();
  EXPECT_EQ(State(c), (std::array<int32_t, 5>{1, 3, 2, 1, 4}));
  c.FlipHorizontally();
  c.FlipVertically();
  EXPECT_EQ(State(c), (std::array<int32_t, 5>{3, 1, 4, 3, 2}));
  // The shown picture is the bitmap turned by the orientation.
  EXPECT_EQ(c.Shown()->Pixel(0, 0), b.Pixel(0, 119)) << "orientation 3 mirrors top to bottom";
}

TEST(ThumbImageCore, CropClampsLeaveEightPixelsAndNeverGoNegative) {
  const TBitmap32 b = Coded(100, 50);
  TvtThumbImageCore c;
  c.SetBitmap(&b);
  Spin spin(c);
  c.AddClient(&spin);
  EXPECT_EQ(spin.sides, (std::vector<int32_t>{0, 1, 2, 3})) << "registration tells all four sides";
  spin.sides.clear();
  c.SetCropLeft(-5);
  EXPECT_EQ(c.CropLeft(), 0);
  EXPECT_TRUE(spin.sides.empty()) << "no change, no notification";
  c.SetCropRight(30);
  c.SetCropLeft(90);  // 100 - 90 - 30 < 8: left becomes 100 - 30 - 8
  EXPECT_EQ(c.CropLeft(), 62);
  EXPECT_EQ(spin.value[csLeft], 62);
  c.SetCropBottom(1000);
  EXPECT_EQ(c.CropBottom(), 42);
  // A picture narrower than 8 pixels: the clamp gives 0, never a negative crop.
  const TBitmap32 tiny = Coded(5, 3);
  TvtThumbImageCore t;
  t.SetBitmap(&tiny);
  t.SetCropLeft(2);
  t.SetCropTop(1);
  EXPECT_EQ(t.CropLeft(), 0);
  EXPECT_EQ(t.CropTop(), 0);
  c.RemoveClient(&spin);
}

TEST(ThumbImageCore, EdgesAreHitWithinThreePixelsAndDraggedThroughTheClamps) {
  const TBitmap32 b = Coded(100, 80);
  TvtThumbImageCore c;
  c.SetBitmap(&b);
  c.LoadValues(0, 10, 0, 0, 0);
  // Left edge at 16 + 10, right edge at 16 + 100, top at 16, bottom at 96.
  EXPECT_EQ(c.HitTest(26, 50), dsLeft);
  EXPECT_EQ(c.HitTest(29, 50), dsLeft);
  EXPECT_EQ(c.HitTest(30, 50), 0);
  EXPECT_EQ(c.HitTest(115, 18), dsRight | dsTop);
  EXPECT_EQ(c.HitTest(24, 97), dsLeft | dsBottom);
  c.BeginDrag(27, 50);
  c.DragTo(37, 50);
  EXPECT_EQ(c.CropLeft(), 20);
  c.DragTo(500, 50);  // past the right edge: stops 8 pixels before it
  EXPECT_EQ(c.CropLeft(), 92);
  c.DragTo(0, 50);
  EXPECT_EQ(c.CropLeft(), 0);
  c.EndDrag();
  c.DragTo(60, 50);
  EXPECT_EQ(c.CropLeft(), 0) << "no drag without a button";
  c.BeginDrag(116, 95);  // the bottom-right corner
  c.DragTo(106, 85);
  EXPECT_EQ(c.CropRight(), 10);
  EXPECT_EQ(c.CropBottom(), 10);
}

TEST(ThumbImageCore, TheSavedPictureAndItsSizeAfterAQuarterTurnAndCrop) {
  EXPECT_EQ(TransformedThumbSize(160, 120, 5, 10, 0, 0, 0), (TPictureSize{110, 160}));
  EXPECT_EQ(TransformedThumbSize(160, 120, 2, 10, 0, 0, 20), (TPictureSize{150, 100}));
  const TBitmap32 b = Coded(160, 120);
  auto saved = TransformedThumbForSaving(b, 5, 10, 0, 0, 0);  // turned clockwise, then 10 cut left
  ASSERT_EQ(saved->Width(), 110);
  ASSERT_EQ(saved->Height(), 160);
  TBitmap32 turned(b);
  turned.TurnClockwise();
  for (int y = 0; y < 160; y += 13)
    for (int x = 0; x < 110; x += 11) EXPECT_EQ(saved->Pixel(x, y), turned.Pixel(x + 10, y)) << x << "," << y;
}

// The editor fits the picture into its view: reduced to fit, enlarged up to eight times, centred,
// never closer than the margin to an edge; the edges' reach stays three screen pixels.
struct PlacementCase {
  const char* name;
  int32_t pictureW, pictureH, viewW, viewH;
  TvtThumbPlacement expected;
};

class ThumbPlacement : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(ThumbPlacement, FitsCentredWithinTheMargin) {
  const PlacementCase& c = GetParam();
  const TvtThumbPlacement p = FitThumbInView(c.pictureW, c.pictureH, c.viewW, c.viewH);
  EXPECT_EQ(p.Left, c.expected.Left);
  EXPECT_EQ(p.Top, c.expected.Top);
  EXPECT_EQ(p.Width, c.expected.Width);
  EXPECT_EQ(p.Height, c.expected.Height);
  EXPECT_DOUBLE_EQ(p.Scale, c.expected.Scale);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ThumbPlacement,
    ::testing::Values(PlacementCase{"ReducedByTheWidth", 640, 480, 352, 432, {16, 96, 320, 240, 0.5}},
                      PlacementCase{"ReducedByTheHeight", 640, 480, 1000, 272, {340, 16, 320, 240, 0.5}},
                      PlacementCase{"EnlargedToFit", 160, 120, 672, 512, {16, 16, 640, 480, 4.0}},
                      PlacementCase{"AtMostEightTimes", 40, 30, 2000, 2000, {840, 880, 320, 240, 8.0}},
                      PlacementCase{"ExactlyItsSize", 100, 80, 132, 112, {16, 16, 100, 80, 1.0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ThumbImageCore, EdgesReachThreeScreenPixelsAtAnyScale) {
  const TBitmap32 b = Coded(100, 80);
  TvtThumbImageCore c;
  c.SetBitmap(&b);
  c.LoadValues(0, 10, 0, 0, 0);  // the left edge at content x 26
  c.SetViewScale(0.5);           // a picture pixel is half a screen pixel: the reach is 6
  EXPECT_EQ(c.HitTest(32, 50), dsLeft);
  EXPECT_EQ(c.HitTest(33, 50), 0);
  c.SetViewScale(4.0);  // enlarged: the reach is under one picture pixel
  EXPECT_EQ(c.HitTest(26, 50), dsLeft);
  EXPECT_EQ(c.HitTest(27, 50), 0);
}

TEST(ThumbImageCore, ResultSizeAndTheNoticeOfAPulledBackCrop) {
  const TBitmap32 b = Coded(160, 120);
  TvtThumbImageCore c;
  c.SetBitmap(&b);
  c.LoadValues(5, 10, 4, 6, 0);  // turned a quarter: 120 x 160 shown
  EXPECT_EQ(ThumbResultSizeText(c.ResultSize()), "Result: 104 x 156 pixels");
  c.SetCropLeft(500);
  EXPECT_EQ(c.CropLeft(), 106);
  EXPECT_EQ(ThumbResultSizeText(c.ResultSize()), "Result: 8 x 156 pixels");
  EXPECT_EQ(CropClampNotice(csLeft, 500, c.CropLeft()),
            "The left crop is limited to 106 pixels: at least 8 pixels of the picture stay.");
  EXPECT_EQ(CropClampNotice(csBottom, 12, 12), "") << "a value kept as typed says nothing";
}

}  // namespace
}  // namespace vt
