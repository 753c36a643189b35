#include "viewer/image_view_core.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "support/test_support.h"
#include "viewer/document_fixture.h"
#include "viewer/view_picture.h"

namespace vt {
namespace {

using test::Bytes;

struct Host : IvtImageViewHost {
  void Repaint() override { ++repaints; }
  void UpdateScrollBars() override { ++scrollUpdates; }
  void ScrollInView(const TRect& r) override { shown.push_back(r); }
  int repaints = 0, scrollUpdates = 0;
  std::vector<TRect> shown;
};

// The first part of a JPEG: its lower rows are missing (transparent).
Bytes Truncated(const Bytes& jpeg, double keep) {
  return Bytes(jpeg.begin(), jpeg.begin() + static_cast<long>(jpeg.size() * keep));
}

// A document whose only thumbnail is a solid colour, chosen as the main thumbnail.
void AddSolidThumb(TvtThumbSource& doc, int w, int h, TColor32 c) {
  auto b = std::make_unique<TBitmap32>(w, h);
  b->Clear(c);
  new TvtThumb(doc, std::move(b));
  doc.SetMainThumb(doc.ThumbCount() - 1);
}

bool IsChecker(TColor32 c) { return c == kCheckerColor || c == clWhite32; }

TEST(ImageViewCore, CheckerboardSquaresOfEqualParityAreGrey) {
  TBitmap32 b(32, 16);
  DrawCheckerboard(b);
  EXPECT_EQ(b.Pixel(0, 0), kCheckerColor);
  EXPECT_EQ(b.Pixel(7, 7), kCheckerColor);
  EXPECT_EQ(b.Pixel(8, 0), clWhite32);
  EXPECT_EQ(b.Pixel(0, 8), clWhite32);
  EXPECT_EQ(b.Pixel(9, 9), kCheckerColor);
}

TEST(ImageViewCore, FitKeepsProportionsAndNeverEnlarges) {
  EXPECT_EQ(FitImageSize(40, 30, 100, 80), (TPictureSize{40, 30}));
  EXPECT_EQ(FitImageSize(400, 300, 100, 100), (TPictureSize{100, 75}));
  EXPECT_EQ(FitImageSize(4000, 10, 100, 100), (TPictureSize{100, 1}));  // never a zero side
  EXPECT_EQ(FitImageSize(400, 300, 0, 0), (TPictureSize{1, 1}));
  EXPECT_EQ(FitImageSize(0, 0, 100, 100), (TPictureSize{}));
}

TEST(ImageViewCore, SmallImageIsCentredAtFullSizeAndLargeOneFittedDown) {
  TvtGR32Resizer resizer;
  Host host;
  TvtImageViewCore view(host, &resizer);
  TvtThumbSource doc;
  test::LoadJpegBytes(doc, test::Cjpeg("-quality 95", 40, 30));
  view.SetSource(&doc);
  const TBitmap32& p = view.Picture(100, 80);
  EXPECT_EQ(view.PictureRect(), MakeRect(30, 25, 70, 55));
  EXPECT_DOUBLE_EQ(view.FitScale(), 100.0);
  EXPECT_EQ(p.Pixel(30 + 13, 25 + 7), doc.MainImage()->Pixel(13, 7));
  EXPECT_EQ(p.Pixel(29, 40), kPictureFrame) << "the frame lies just outside the picture";
  EXPECT_EQ(p.Pixel(70, 40), kPictureFrame);
  EXPECT_TRUE(IsChecker(p.Pixel(28, 40)));
  EXPECT_TRUE(IsChecker(p.Pixel(71, 40)));
  EXPECT_EQ(view.PendingJob(), 0u) << "drawn at its own size: nothing to resample";

  test::LoadJpegBytes(doc, test::Cjpeg("-quality 95", 400, 300));
  view.Picture(100, 100);
  EXPECT_EQ(view.PictureRect(), MakeRect(0, 12, 100, 87));
  EXPECT_DOUBLE_EQ(view.FitScale(), 25.0);
  EXPECT_NE(view.PendingJob(), 0u) << "scaled down: a smooth copy is asked for";
}

TEST(ImageViewCore, HolesShowTheHatchOrTheThumbnailBackground) {
  TvtGR32Resizer resizer;
  Host host;
  TvtImageViewCore view(host, &resizer);
  TvtThumbSource doc;
  test::LoadJpegBytes(doc, Truncated(test::Cjpeg("-quality 90", 64, 64), 0.5));
  ASSERT_TRUE(doc.HasImage());
  ASSERT_EQ(doc.MainImage()->Pixel(32, 63), 0u) << "the cut-off rows are holes";
  view.SetSource(&doc);
  const TBitmap32& plain = view.Picture(64, 64);
  EXPECT_EQ(plain.Pixel(32, 63), HolePattern(32, 63)) << "holes differ from the window's checkerboard";
  EXPECT_FALSE(IsChecker(plain.Pixel(32, 63)));
  EXPECT_EQ(plain.Pixel(32, 2), doc.MainImage()->Pixel(32, 2));

  AddSolidThumb(doc, 16, 16, Color32(200, 0, 0));
  view.SetUseThumbnail(true);
  const TBitmap32& filled = view.Picture(64, 64);
  EXPECT_EQ(filled.Pixel(32, 63), Color32(200, 0, 0));
  EXPECT_EQ(filled.Pixel(32, 2), doc.MainImage()->Pixel(32, 2)) << "decoded pixels stay on top";

  view.SetShowFilledAreas(true);
  EXPECT_EQ(view.Picture(64, 64).Pixel(32, 63), TintFilled(Color32(200, 0, 0))) << "Show Filled Areas";
  EXPECT_EQ(view.Picture(64, 64).Pixel(32, 2), doc.MainImage()->Pixel(32, 2)) << "decoded blocks untinted";
  view.SetShowFilledAreas(false);

  doc.SetMainThumb(-1);  // the list's last entry
  const TBitmap32& none = view.Picture(64, 64);
  EXPECT_EQ(none.Pixel(32, 63), HolePattern(32, 63));
}

TEST(ImageViewCore, TheResizersPictureReplacesTheQuickOneAndResizingWaitsForThePendingJob) {
  TvtGR32Resizer resizer;
  Host host;
  TvtImageViewCore view(host, &resizer);
  TvtThumbSource doc;
  test::LoadJpegBytes(doc, Truncated(test::Cjpeg("-quality 90", 320, 240), 0.6));
  AddSolidThumb(doc, 32, 24, Color32(0, 0, 200));
  view.SetUseThumbnail(true);
  view.SetSource(&doc);
  view.Picture(160, 120);
  const uint32_t first = view.PendingJob();
  ASSERT_NE(first, 0u);
  EXPECT_FALSE(view.ResizeWanted());

  view.Invalidate();  // the window is resized while the job runs: no second job
  view.Picture(80, 60);
  EXPECT_EQ(view.PendingJob(), first);
  EXPECT_EQ(resizer.JobCount(), 1u);

  resizer.WaitForWorker();
  resizer.Poll();  // the result for 160 x 120 arrives
  ASSERT_NE(view.Scaled(), nullptr);
  EXPECT_EQ(view.Scaled()->Width(), 160);
  const TBitmap32& p = view.Picture(80, 60);
  const uint32_t second = view.PendingJob();
  EXPECT_NE(second, 0u) << "the old size was drawn, so the new size is asked for";
  EXPECT_NE(second, first);
  EXPECT_EQ(AlphaComponent(p.Pixel(40, 58)), 255);
  EXPECT_NEAR(BlueComponent(p.Pixel(40, 58)), 200, 2) << "the composite carries the background into the holes";

  resizer.WaitForWorker();
  resizer.Poll();
  EXPECT_EQ(view.Scaled()->Width(), 80);
  view.Picture(80, 60);
  EXPECT_EQ(view.PendingJob(), 0u);
}

TEST(ImageViewCore, DocumentChangesDropTheScaledPictureAndAStaleResultIsIgnored) {
  TvtGR32Resizer resizer;
  Host host;
  TvtImageViewCore view(host, &resizer);
  TvtThumbSource doc;
  test::LoadJpegBytes(doc, test::Cjpeg("-quality 90", 320, 240));
  view.SetSource(&doc);
  view.Picture(100, 100);
  ASSERT_NE(view.PendingJob(), 0u);
  test::LoadJpegBytes(doc, test::Cjpeg("-quality 90", 300, 200));  // a new document before the result came
  EXPECT_EQ(view.PendingJob(), 0u);
  EXPECT_TRUE(view.ResizeWanted());
  resizer.WaitForWorker();
  resizer.Poll();
  EXPECT_EQ(view.Scaled(), nullptr) << "the first document's picture is not taken";
  const int before = host.scrollUpdates;
  doc.ClearMCU({0, 0});
  EXPECT_GT(host.scrollUpdates, before);
}

TEST(ImageViewCore, EditingKeysMoveTheCursorAndEditTheDocument) {
  TvtGR32Resizer resizer;
  Host host;
  TvtImageViewCore view(host, &resizer);
  TvtThumbSource doc;
  test::LoadJpegBytes(doc, test::Cjpeg("-quality 90", 32, 24, true));  // 4 x 3 MCUs of 8 x 8
  view.SetSource(&doc);
  view.Picture(32, 24);
  ASSERT_TRUE(view.EditingActive());
  auto at = [&] { return std::make_pair(view.Cursor().Col, view.Cursor().Row); };

  view.Execute(TvtEditCommand::Left);
  view.Execute(TvtEditCommand::Up);
  EXPECT_EQ(at(), std::make_pair(0, 0)) << "clamped at the first MCU";
  view.Execute(TvtEditCommand::End);
  EXPECT_EQ(at(), std::make_pair(3, 0));
  view.Execute(TvtEditCommand::Right);
  EXPECT_EQ(at(), std::make_pair(3, 0));
  view.Execute(TvtEditCommand::Down);
  view.Execute(TvtEditCommand::Home);
  EXPECT_EQ(at(), std::make_pair(0, 1));
  EXPECT_EQ(view.CursorRect(), MakeRect(0, 8, 8, 16));

  // Delete clears the MCU and moves on, wrapping to the next row.
  view.SetCursor({3, 0});
  view.Execute(TvtEditCommand::Clear);
  EXPECT_FALSE(doc.IsMCUDecoded({3, 0}));
  EXPECT_EQ(at(), std::make_pair(0, 1));
  // Ctrl+Home from (2, 1): back to the start of the decoded run, which begins after the hole.
  view.SetCursor({2, 1});
  view.Execute(TvtEditCommand::PrevDecodedRunStart);
  EXPECT_EQ(at(), std::make_pair(0, 1));
  // Ctrl+End from (1, 0): to the last decoded MCU before the hole at (3, 0).
  view.SetCursor({1, 0});
  view.Execute(TvtEditCommand::NextDecodedRunEnd);
  EXPECT_EQ(at(), std::make_pair(2, 0));
  // From the hole itself, Ctrl+End skips it and runs to the last MCU.
  view.SetCursor({3, 0});
  view.Execute(TvtEditCommand::NextDecodedRunEnd);
  EXPECT_EQ(at(), std::make_pair(3, 2));

  // Backspace removes the MCU before... the cursor's MCU moves back and the cursor follows it.
  view.SetCursor({0, 1});
  view.Execute(TvtEditCommand::Remove);
  EXPECT_EQ(at(), std::make_pair(3, 0));
  EXPECT_TRUE(doc.IsMCUDecoded({3, 0})) << "the decoded MCU (0, 1) moved into the hole";
  EXPECT_FALSE(doc.IsMCUDecoded({3, 2})) << "the last MCU is cleared";

  // Ctrl+Space inserts a row and moves down; on the last row the cursor goes to the last MCU.
  view.SetCursor({1, 0});
  view.Execute(TvtEditCommand::InsertRow);
  EXPECT_EQ(at(), std::make_pair(1, 1));
  EXPECT_FALSE(doc.IsMCUDecoded({1, 0}));
  view.SetCursor({1, 2});
  view.Execute(TvtEditCommand::InsertRow);
  EXPECT_EQ(at(), std::make_pair(3, 2));

  // Ctrl+R decodes again from the cursor's own offsets: the image is complete again.
  view.SetCursor({0, 0});
  EXPECT_TRUE(view.Execute(TvtEditCommand::Redecode));
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_TRUE(doc.IsMCUDecoded({c, r})) << c << "," << r;

  view.SetEditingEnabled(false);
  EXPECT_FALSE(view.Execute(TvtEditCommand::Clear));
  EXPECT_TRUE(doc.IsMCUDecoded({0, 0}));
}

TEST(ImageViewCore, AClickMovesTheCursorToTheMcuUnderThePointerAtTheFitScale) {
  TvtGR32Resizer resizer;
  Host host;
  TvtImageViewCore view(host, &resizer);
  TvtThumbSource doc;
  test::LoadJpegBytes(doc, test::Cjpeg("-quality 90 -sample 2x2", 128, 64));  // 8 x 4 MCUs of 16 x 16
  view.SetSource(&doc);
  view.Picture(64, 64);  // half size, centred: rows 16..47
  ASSERT_EQ(view.PictureRect(), MakeRect(0, 16, 64, 48));
  view.ClickAt(25, 16 + 17);  // 25 / 8 = 3.1, 17 / 8 = 2.1
  EXPECT_EQ(view.Cursor().Col, 3);
  EXPECT_EQ(view.Cursor().Row, 2);
  EXPECT_EQ(view.CursorRect(), MakeRect(24, 32, 32, 40));
  view.ClickAt(500, 500);  // clamped to the last MCU
  EXPECT_EQ(view.Cursor().Col, 7);
  EXPECT_EQ(view.Cursor().Row, 3);
}

}  // namespace
}  // namespace vt
