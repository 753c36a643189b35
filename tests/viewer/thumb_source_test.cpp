#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/stream.h"
#include "bitmap/bitmap32.h"
#include "jpeg/jpeg_constants.h"
#include "source/items.h"
#include "support/test_support.h"
#include "viewer/document_fixture.h"
#include "viewer/thumb_source.h"

namespace vt {
namespace {

using test::Bytes;

std::unique_ptr<TBitmap32> Solid(int w, int h, TColor32 c) {
  auto b = std::make_unique<TBitmap32>(w, h);
  b->Clear(c);
  return b;
}

// Views that implement different sets of notifications and log what they receive.
struct Log {
  std::vector<std::string> Lines;
};
struct ImageView : IvtSourceClient, IvtSourceMainImageClient, IvtSourceThumbnailsClient {
  ImageView(Log& l, std::string n) : log(l), name(std::move(n)) {}
  void MainImageChanged(bool reset) override { log.Lines.push_back(name + ":image" + (reset ? "+" : "-")); }
  void ThumbnailsChanged() override { log.Lines.push_back(name + ":thumbs"); }
  Log& log;
  std::string name;
};
struct ThumbView : IvtSourceClient, IvtSourceMainThumbClient, IvtSourceThumbClient {
  ThumbView(Log& l, std::string n) : log(l), name(std::move(n)) {}
  void MainThumbChanged() override { log.Lines.push_back(name + ":main"); }
  void ThumbChanged(int32_t i) override { log.Lines.push_back(name + ":thumb" + std::to_string(i)); }
  Log& log;
  std::string name;
};
struct SilentView : IvtSourceClient {};

TEST(ThumbSource, NotificationsReachOnlyImplementersInRegistrationOrder) {
  Log log;
  ThumbView t(log, "T");
  ImageView a(log, "A");
  SilentView s;
  TvtThumbSource doc;  // destroyed before the views, which do not unregister themselves
  doc.AddClient(&t);
  doc.AddClient(&s);
  doc.AddClient(&a);  // registration sends these two to A alone
  EXPECT_EQ(log.Lines, (std::vector<std::string>{"A:image+", "A:thumbs"}));
  log.Lines.clear();

  test::LoadJpegBytes(doc, test::Cjpeg("-quality 80", 64, 48));
  EXPECT_EQ(log.Lines, (std::vector<std::string>{"A:image+", "A:thumbs", "A:image+", "A:thumbs"}));
  ASSERT_TRUE(doc.HasImage());
  log.Lines.clear();

  new TvtThumb(doc, Solid(8, 6, clWhite32));
  new TvtThumb(doc, Solid(8, 6, clBlack32));
  doc.SetMainThumb(1);
  doc.SetMainThumb(1);  // the same choice again: nothing
  doc.SetThumbTransform(1, 2, 0, 0, 0, 0);
  doc.SetThumbTransform(0, 1, 0, 0, 0, 0);
  doc.RemoveClient(&t);
  doc.SetMainThumb(-1);
  EXPECT_EQ(log.Lines, (std::vector<std::string>{"T:main", "T:main", "T:thumb1", "T:thumb0"}));
  EXPECT_EQ(doc.MainThumb(), nullptr);
  EXPECT_EQ(doc.GetThumbBackground(), nullptr);
}

struct LinkedView : TvtSourceClientLink, IvtSourceMainThumbClient {
  void MainThumbChanged() override { ++calls; }
  int calls = 0;
};

TEST(ThumbSource, ViewLinksAreClearedFromEitherSide) {
  auto doc = std::make_unique<TvtThumbSource>();
  new TvtThumb(*doc, Solid(4, 3, clWhite32));
  LinkedView kept;
  {
    LinkedView gone;
    gone.SetSource(doc.get());
    kept.SetSource(doc.get());
  }  // gone leaves the list when destroyed: no call reaches it afterwards
  doc->SetMainThumb(0);
  EXPECT_EQ(kept.calls, 1);
  doc.reset();  // the document goes first: the view forgets it
  EXPECT_EQ(kept.Source(), nullptr);
}

TEST(ThumbSource, PlacementStretchesSimilarShapesAndCentresOthers) {
  TvtThumbSource doc;
  test::LoadJpegBytes(doc, test::Cjpeg("-quality 80", 160, 90));  // 16:9
  ASSERT_TRUE(doc.HasImage());
  ASSERT_EQ(doc.MainImage()->Width(), 160);
  TvtThumb* wide = new TvtThumb(doc, Solid(32, 18, clWhite32));
  TvtThumb* nearly = new TvtThumb(doc, Solid(31, 17, clWhite32));  // within 5 %
  TvtThumb* classic = new TvtThumb(doc, Solid(40, 30, clWhite32));  // 4:3
  EXPECT_EQ(wide->GetBoundsInImage(), (TRect{0, 0, 160, 90}));
  EXPECT_EQ(nearly->GetBoundsInImage(), (TRect{0, 0, 160, 90}));
  // Scaled to the image's width (120 high) and centred: 15 rows above and below lie outside.
  EXPECT_EQ(classic->GetBoundsInImage(), (TRect{0, -15, 160, 105}));
  // Turned a quarter, the 4:3 thumbnail becomes 3:4: scaled to 160 x 213, centred.
  classic->SetOrientation(5);
  EXPECT_FALSE(classic->BoundsValid);
  EXPECT_EQ(classic->GetBitmap()->Width(), 30);
  EXPECT_EQ(classic->GetBoundsInImage(), (TRect{0, -61, 160, 152}));
}

TEST(ThumbSource, TransformsAreCachedDroppedOnChangeAndCropsClamped) {
  TvtThumbSource doc;
  auto b = std::make_unique<TBitmap32>(4, 2);
  for (int x = 0; x < 4; ++x) {
    b->SetPixel(x, 0, Color32(static_cast<uint8_t>(x), 0, 0));
    b->SetPixel(x, 1, Color32(static_cast<uint8_t>(x), 1, 0));
  }
  TvtThumb* t = new TvtThumb(doc, std::move(b));
  EXPECT_EQ(t->GetBitmap(), t->Bitmap.get());  // untransformed: the bitmap itself
  t->SetCropLeft(-5);
  EXPECT_EQ(t->GetCropLeft(), 0);
  EXPECT_EQ(t->GetBitmap(), t->Bitmap.get());
  t->SetOrientation(1);  // flip horizontally
  t->SetCropLeft(1);
  TBitmap32* tr = t->GetBitmap();
  ASSERT_NE(tr, t->Bitmap.get());
  EXPECT_EQ(tr, t->GetBitmap());  // cached
  ASSERT_EQ(tr->Width(), 3);
  ASSERT_EQ(tr->Height(), 2);
  EXPECT_EQ(RedComponent(tr->Pixel(0, 0)), 2);  // flipped 3,2,1,0 then the first column cut
  EXPECT_EQ(GreenComponent(tr->Pixel(2, 1)), 1);
  t->SetCropLeft(1);  // same value: cache stays
  EXPECT_EQ(tr, t->Transformed.get());
  t->SetCropRight(9);  // more than the width: an empty picture, not a crash
  EXPECT_TRUE(t->GetBitmap()->Empty());
}

TEST(ThumbSource, FirstThumbnailWithAPictureIsChosenAndFillsTheBackground) {
  TvtThumbSource doc;
  // Item sub-items: the first yields no picture (no preview), the second is a 4:3 BMP.
  auto* item = new TvtItem;
  TMemoryStream store, data;
  new TvtSubItem(item);
  auto* sub = new TvtSubItem(item);
  auto pic = std::make_unique<TBitmap32>(40, 30);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) pic->SetPixel(x, y, Color32(static_cast<uint8_t>(x * 6), static_cast<uint8_t>(y * 8), 90));
  pic->SaveToStream(data);
  sub->Stream = &data;
  sub->Length = static_cast<int32_t>(data.GetSize());
  sub->SetPreview(std::make_unique<TBitmap32>(*pic), &store);
  test::LoadJpegBytes(doc, test::Cjpeg("-quality 80", 120, 90), item);
  ASSERT_EQ(doc.ThumbCount(), 1);
  EXPECT_EQ(doc.MainThumbIndex, 0);  // the list index of the first usable thumbnail
  ASSERT_NE(doc.MainThumb(), nullptr);
  TBitmap32* bg = doc.GetThumbBackground();
  ASSERT_NE(bg, nullptr);
  EXPECT_EQ(bg->Width(), 120);
  EXPECT_EQ(bg->Height(), 90);
  EXPECT_EQ(bg, doc.GetThumbBackground());  // built once
  int transparent = 0;
  for (int y = 0; y < 90; ++y)
    for (int x = 0; x < 120; ++x) transparent += AlphaComponent(bg->Pixel(x, y)) != 255;
  EXPECT_EQ(transparent, 0);
  // The thumbnail is scaled 3 times: its pixel (20, 10) lands near (61, 31).
  const TColor32 mid = bg->Pixel(61, 31);
  EXPECT_NEAR(RedComponent(mid), 120, 8);
  EXPECT_NEAR(GreenComponent(mid), 80, 8);
  doc.Clear();
  item->Release();
}

TEST(ThumbSource, EmbeddedThumbnailsAreCandidatesWithoutAnItem) {
  TvtThumbSource doc;
  const Bytes flower = test::ReadBytes(test::CorpusPath("pil-flower.jpg"));
  test::LoadJpegBytes(doc, flower);
  ASSERT_TRUE(doc.HasImage());
  ASSERT_GE(doc.ThumbCount(), 1);
  EXPECT_EQ(doc.MainThumbIndex, 0);
  EXPECT_EQ(doc.MainThumb(), doc.GetThumbs(0)->GetBitmap());
  EXPECT_EQ(doc.MCUWidth, doc.Jpeg->LastMCUWidth);
  EXPECT_EQ(doc.MCUCols, (doc.Jpeg->Width + doc.MCUWidth - 1) / doc.MCUWidth);
}

TEST(ThumbSource, NoFrameMeansNoImageAndEmptyGrid) {
  TvtThumbSource doc;
  test::LoadJpegBytes(doc, Bytes{0xFF, 0xD8, 0xFF, 0xFE, 0x00, 0x03, 'x'});
  EXPECT_FALSE(doc.HasImage());
  EXPECT_EQ(doc.MCUCols, 0);
  EXPECT_EQ(doc.ThumbCount(), 0);
  EXPECT_EQ(doc.GetThumbBackground(), nullptr);
  doc.ClearMCU({0, 0});  // outside the (empty) grid: nothing happens
}

TEST(ThumbSource, McuEditsMoveAndClearPixelsAndIgnorePositionsOutsideTheGrid) {
  TvtThumbSource doc;
  // 4 x 3 MCUs of 8 x 8 (grey).
  test::LoadJpegBytes(doc, test::Cjpeg("-quality 90", 32, 24, true));
  ASSERT_EQ(doc.MCUCols, 4);
  ASSERT_EQ(doc.MCURows, 3);
  Log log;
  ImageView v(log, "V");
  doc.AddClient(&v);
  log.Lines.clear();
  const TBitmap32 before = *doc.MainImage();
  auto mcuPixel = [&](const TBitmap32& b, int index) { return b.Pixel((index % 4) * 8 + 3, (index / 4) * 8 + 5); };

  doc.DeleteMCU({0, 0});
  doc.ClearMCU({4, 0});
  doc.InsertMCU({0, 5});
  doc.DeleteMCU({-1, 2});
  EXPECT_TRUE(log.Lines.empty());
  EXPECT_EQ(0, std::memcmp(before.Bits(), doc.MainImage()->Bits(), 32 * 24 * 4));

  doc.InsertMCU({3, 2});  // the last MCU: only cleared
  EXPECT_FALSE(doc.IsMCUDecoded({3, 2}));
  EXPECT_EQ(mcuPixel(*doc.MainImage(), 11), 0u);
  EXPECT_EQ(mcuPixel(*doc.MainImage(), 10), mcuPixel(before, 10));

  doc.InsertMCU({1, 0});  // MCUs 1..10 move to 2..11, MCU 1 cleared
  EXPECT_FALSE(doc.IsMCUDecoded({1, 0}));
  EXPECT_TRUE(doc.IsMCUDecoded({2, 0}));
  EXPECT_EQ(mcuPixel(*doc.MainImage(), 1), 0u);
  EXPECT_EQ(mcuPixel(*doc.MainImage(), 2), mcuPixel(before, 1));
  EXPECT_EQ(mcuPixel(*doc.MainImage(), 11), mcuPixel(before, 10));

  doc.DeleteMCU({2, 0});  // back again: MCU 1 gets the old MCU 1, the last is cleared
  EXPECT_EQ(mcuPixel(*doc.MainImage(), 1), mcuPixel(before, 1));
  EXPECT_EQ(mcuPixel(*doc.MainImage(), 11), 0u);
  EXPECT_TRUE(doc.IsMCUDecoded({1, 0}));
  EXPECT_EQ(log.Lines, (std::vector<std::string>{"V:image-", "V:image-", "V:image-"}));
  doc.RemoveClient(&v);
}

}  // namespace
}  // namespace vt
