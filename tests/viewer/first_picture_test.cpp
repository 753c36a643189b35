// The first picture of a document fitted to a window: made at the reduction the window needs
// while the scan decodes, and shown before the search for where the damage starts, which the
// document finishes afterwards (or before any edit) with what a document that shows everything
// at once reports.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "support/test_support.h"
#include "thumbs/jpeg_with_thumbs.h"
#include "viewer/open_document.h"
#include "viewer/preview_scale.h"
#include "viewer/thumb_source.h"

namespace vt {
namespace {

// A photo of 800 x 600 without restart markers (whose damage only the search locates) with the
// end of its data cut off.
std::string CutSample(double keep) {
  test::Bytes bytes = test::Cjpeg("-quality 90 -sample 2x2", 800, 600, false, 5);
  bytes.resize(size_t(double(bytes.size()) * keep));
  const std::string path = test::TempPath("cut.jpg");
  test::WriteBytes(path, bytes);
  return path;
}

struct Opened {
  TvtDiscSource Source;
  TvtThumbSource Document;
  Opened(const std::string& path, TPictureSize box) {
    Document.PreviewBox = box;
    const TvtOpened opened = OpenDocument(Source, Document, path, {});
    EXPECT_NE(opened.Item, nullptr) << opened.Error;
  }
};

class FirstPicture : public ::testing::TestWithParam<double> {};

TEST_P(FirstPicture, IsMadeWhileDecodingAndTheDamageIsFoundAfterIt) {
  const std::string path = CutSample(GetParam());
  Opened whole(path, {});
  const repair::TRepairReport& expected = whole.Document.RepairReport;
  ASSERT_FALSE(expected.FirstDamagePending);

  Opened fitted(path, {300, 200});
  TvtThumbSource& doc = fitted.Document;
  ASSERT_NE(doc.Preview(), nullptr);
  EXPECT_EQ(doc.PreviewShift(), PreviewShiftFor(800, 600, {300, 200}));
  if (std::thread::hardware_concurrency() > 1) {
    EXPECT_TRUE(doc.Jpeg->RenderedWhileDecoding) << "the reduced picture is made on the other cores";
  }
  // The picture made while decoding is the one the blocks give after it.
  TBitmap32 after;
  doc.Jpeg->RenderScaled(after, doc.PreviewShift());
  ASSERT_EQ(after.Width(), doc.Preview()->Width());
  ASSERT_EQ(after.Height(), doc.Preview()->Height());
  int64_t differing = 0;
  for (int32_t y = 0; y < after.Height(); ++y)
    for (int32_t x = 0; x < after.Width(); ++x) differing += after.Pixel(x, y) != doc.Preview()->Pixel(x, y);
  EXPECT_EQ(differing, 0);

  const bool damaged = expected.FirstDamageMCU >= 0;
  EXPECT_EQ(doc.RepairReport.FirstDamagePending, damaged);
  EXPECT_EQ(doc.RepairReport.Damaged, expected.Damaged);
  doc.FinishDamageSearch();
  EXPECT_FALSE(doc.RepairReport.FirstDamagePending);
  EXPECT_EQ(doc.RepairReport.FirstDamageMCU, expected.FirstDamageMCU);
  EXPECT_EQ(doc.RepairReport.FirstDamageByte, expected.FirstDamageByte);
}

// Intact, and cut at several places of the data.
INSTANTIATE_TEST_SUITE_P(Cuts, FirstPicture, ::testing::Values(1.0, 0.9, 0.6, 0.35));

// An edit before the search: the search runs first, on the blocks as decoded.
TEST(FirstPicture, AnEditFirstFindsTheDamageOfTheDecodedBlocks) {
  const std::string path = CutSample(0.6);
  Opened whole(path, {});
  ASSERT_GE(whole.Document.RepairReport.FirstDamageMCU, 0);
  Opened fitted(path, {300, 200});
  ASSERT_TRUE(fitted.Document.RepairReport.FirstDamagePending);
  fitted.Document.ClearMCU({1, 1});
  EXPECT_FALSE(fitted.Document.RepairReport.FirstDamagePending);
  EXPECT_EQ(fitted.Document.RepairReport.FirstDamageMCU, whole.Document.RepairReport.FirstDamageMCU);
  EXPECT_EQ(fitted.Document.RepairReport.FirstDamageByte, whole.Document.RepairReport.FirstDamageByte);
}

}  // namespace
}  // namespace vt
