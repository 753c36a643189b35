#include "viewer/thumb_box_core.h"

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "viewer/document_fixture.h"

namespace vt {
namespace {

struct Host : IvtThumbBoxHost {
  void Repaint() override { ++repaints; }
  void UpdateScrollBars() override { ++scrollUpdates; }
  void ScrollContentInView(const TRect& r) override { shown.push_back(r); }
  int repaints = 0, scrollUpdates = 0;
  std::vector<TRect> shown;
};

// A document with the given thumbnails (solid colours) as the load would make them: the first
// one chosen when the image exists.
void AddThumbs(TvtThumbSource& doc, std::initializer_list<std::pair<int, int>> sizes) {
  for (auto [w, h] : sizes) {
    auto b = std::make_unique<TBitmap32>(w, h);
    b->Clear(clWhite32);
    new TvtThumb(doc, std::move(b));
  }
}

TEST(ThumbBoxCore, LayoutOfTheEntries) {
  Host host;
  TvtThumbBoxCore box(host);
  box.SetTextHeight(15);
  EXPECT_EQ(box.EntryWidth(), 176);
  EXPECT_EQ(box.EntryHeight(), 8 + 120 + 8 + 15 + 2);
  EXPECT_EQ(box.LineStep(), 40);
  EXPECT_EQ(box.GetItemRect(2), MakeRect(0, 2 * 153, 176, 3 * 153));
  EXPECT_EQ(box.CellRect(1), MakeRect(8, 153 + 8, 168, 153 + 128));
  EXPECT_EQ(box.ItemAt(5, 10), -1) << "no entries yet";
}

TEST(ThumbBoxCore, NoThumbnailsGiveNoEntriesAtAllAndNoCommands) {
  Host host;
  TvtThumbBoxCore box(host);
  TvtThumbSource doc;
  test::LoadJpegBytes(doc, test::Cjpeg("-quality 90", 64, 48));
  box.SetSource(&doc);
  EXPECT_EQ(box.Count(), 0);
  EXPECT_EQ(box.SelectedIndex(), -1);
  EXPECT_FALSE(box.CommandsEnabled());
  box.SelectItem(0);
  EXPECT_EQ(box.SelectedIndex(), -1);
  EXPECT_EQ(box.ContentHeight(), 0);
}

TEST(ThumbBoxCore, SelectionChoosesTheDocumentsThumbnailAndTheLastEntryNone) {
  Host host;
  TvtThumbBoxCore box(host);
  TvtThumbSource doc;
  test::LoadJpegBytes(doc, test::Cjpeg("-quality 90", 64, 48));
  AddThumbs(doc, {{40, 30}, {20, 15}});
  doc.SetMainThumb(0);
  box.SetSource(&doc);  // the document tells the box its thumbnails at once
  ASSERT_EQ(box.Count(), 3);
  EXPECT_EQ(box.GetItem(2)->Thumb, nullptr);
  EXPECT_EQ(box.SelectedIndex(), 0);
  EXPECT_TRUE(box.CommandsEnabled());

  box.SelectItem(2);
  EXPECT_EQ(doc.MainThumbIndex, -1) << "the last entry uses no thumbnail";
  EXPECT_FALSE(box.CommandsEnabled());
  EXPECT_EQ(doc.GetThumbBackground(), nullptr);
  box.SelectItem(0);
  EXPECT_EQ(doc.MainThumbIndex, 0);
  box.SelectItem(99);
  EXPECT_EQ(box.SelectedIndex(), 2) << "beyond the end: the last entry";
  box.SelectItem(-7);
  EXPECT_EQ(box.SelectedIndex(), -1);
  EXPECT_EQ(doc.MainThumbIndex, -1);

  box.SelectNext();
  EXPECT_EQ(box.SelectedIndex(), 0);
  box.SelectNext();
  box.SelectNext();
  box.SelectNext();
  EXPECT_EQ(box.SelectedIndex(), 2) << "Down stops at the last entry";
  box.SelectPrevious();
  EXPECT_EQ(box.SelectedIndex(), 1);
  EXPECT_EQ(doc.MainThumbIndex, 1);
  EXPECT_EQ(box.SelectedThumb(), doc.GetThumbs(1));
  box.SelectItem(0);
  box.SelectPrevious();
  EXPECT_EQ(box.SelectedIndex(), 0) << "Up stops at the first entry";
}

TEST(ThumbBoxCore, ADocumentWithoutAnImageHasEntriesButNoSelection) {
  Host host;
  TvtThumbBoxCore box(host);
  TvtThumbSource doc;
  test::LoadJpegBytes(doc, test::Bytes{0xFF, 0xD8, 0xFF, 0xD9});
  AddThumbs(doc, {{40, 30}});
  box.SetSource(&doc);
  box.ThumbnailsChanged();  // as the document's next rebuild would
  EXPECT_EQ(box.Count(), 2);
  EXPECT_EQ(box.SelectedIndex(), -1);
  EXPECT_FALSE(box.CommandsEnabled());
  box.SelectItem(0);
  EXPECT_TRUE(box.CommandsEnabled());
}

TEST(ThumbBoxCore, ANewDocumentRebuildsTheListAndDetachingFreesIt) {
  Host host;
  TvtThumbBoxCore box(host);
  TvtThumbSource doc;
  test::LoadJpegBytes(doc, test::Cjpeg("-quality 90", 64, 48));
  AddThumbs(doc, {{40, 30}, {20, 15}});
  box.SetSource(&doc);
  box.ThumbnailsChanged();
  EXPECT_EQ(box.Count(), 3);
  test::LoadJpegBytes(doc, test::Cjpeg("-quality 90", 32, 32));  // a new open: no thumbnails
  EXPECT_EQ(box.Count(), 0);
  AddThumbs(doc, {{10, 10}});
  box.ThumbnailsChanged();
  EXPECT_EQ(box.Count(), 2);
  box.SetSource(nullptr);
  EXPECT_EQ(box.Count(), 0);
}

TEST(ThumbBoxCore, EntryPicturesAreFittedThenReplacedByTheResizersCopy) {
  TvtGR32Resizer resizer;
  Host host;
  TvtThumbBoxCore box(host, &resizer);
  TvtThumbSource doc;
  test::LoadJpegBytes(doc, test::Cjpeg("-quality 90", 64, 48));
  AddThumbs(doc, {{40, 30}, {160, 120}});
  box.SetSource(&doc);
  box.ThumbnailsChanged();
  auto drawn = box.PrepareEntryPicture(0);
  EXPECT_EQ(drawn.Picture, doc.GetThumbs(0)->GetBitmap());
  EXPECT_EQ(drawn.Place, MakeRect(8, 8, 168, 128)) << "fitted to the cell, enlarged too";
  const uint32_t job = box.GetItem(0)->PendingJob;
  EXPECT_NE(job, 0u);
  box.PrepareEntryPicture(0);
  EXPECT_EQ(box.GetItem(0)->PendingJob, job) << "one pending job per entry";
  box.PrepareEntryPicture(1);
  EXPECT_EQ(box.GetItem(1)->PendingJob, 0u) << "already at the cell's size";
  resizer.WaitForWorker();
  resizer.Poll();
  ASSERT_NE(box.GetItem(0)->Scaled, nullptr);
  EXPECT_EQ(box.GetItem(0)->Scaled->Width(), 160);
  EXPECT_FALSE(box.PictureValid());
  drawn = box.PrepareEntryPicture(0);
  EXPECT_EQ(drawn.Picture, box.GetItem(0)->Scaled.get());
  EXPECT_EQ(box.GetItem(0)->PendingJob, 0u);
  // A changed transform drops the copy; the caption follows the transformed bitmap.
  EXPECT_EQ(TvtThumbBoxCore::Caption(*doc.GetThumbs(0)), "40x30");
  doc.SetThumbTransform(0, 5, 0, 0, 0, 0);
  EXPECT_EQ(box.GetItem(0)->Scaled, nullptr);
  EXPECT_EQ(TvtThumbBoxCore::Caption(*doc.GetThumbs(0)), "30x40");
  drawn = box.PrepareEntryPicture(0);
  EXPECT_EQ(drawn.Place, MakeRect(8 + 35, 8, 8 + 35 + 90, 128));
  box.SetSource(nullptr);  // frees the entries, which cancel their jobs
  EXPECT_EQ(resizer.JobCount(), 0u);
}

}  // namespace
}  // namespace vt
