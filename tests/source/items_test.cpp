#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "source/items.h"
#include "support/test_support.h"

namespace vt {
namespace {

std::unique_ptr<TBitmap32> gradient(int w, int h) {
  auto b = std::make_unique<TBitmap32>(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) b->SetPixel(x, y, Color32(uint8_t(x * 255 / std::max(1, w - 1)), uint8_t(y), 128));
  }
  return b;
}

struct FitCase {
  int32_t w, h, pw, ph;
};
class PreviewFit : public ::testing::TestWithParam<FitCase> {};

TEST_P(PreviewFit, FitsInto120By90KeepingTheAspect) {
  const FitCase c = GetParam();
  int32_t pw = -1, ph = -1;
  PreviewSize(c.w, c.h, pw, ph);
  EXPECT_EQ(pw, c.pw);
  EXPECT_EQ(ph, c.ph);
}

INSTANTIATE_TEST_SUITE_P(Sizes, PreviewFit,
                         ::testing::Values(FitCase{640, 480, 120, 90}, FitCase{1920, 1080, 120, 68},
                                           FitCase{480, 640, 68, 90}, FitCase{160, 120, 120, 90},
                                           FitCase{10000, 1, 120, 1}, FitCase{1, 10000, 1, 90},
                                           FitCase{0, 50, 0, 0}, FitCase{50, 0, 0, 0},
                                           // 90 x 240 / 16 = 1350 / 16 = 33.75 -> 34; 240 x 120 / 320 = 90
                                           FitCase{320, 240, 120, 90}, FitCase{16, 240, 6, 90},
                                           // 120 x 3 / 16 = 22.5: halves go to the even 22
                                           FitCase{16, 3, 120, 22}));

TEST(SubItem, PreviewIsStoredAsBmpAndReloadsIdentically) {
  TMemoryStream store;
  store.WriteBuffer("head", 4);
  TvtItem* item = new TvtItem;
  auto src = gradient(400, 300);
  auto preview = MakePreview(*src);
  ASSERT_EQ(preview->Width(), 120);
  ASSERT_EQ(preview->Height(), 90);
  EXPECT_EQ(src->DrawMode, dmBlend);
  EXPECT_NE(dynamic_cast<TKernelResampler*>(&src->Resampler()), nullptr);
  // Resampled, not just sampled: the right edge is near full red, the middle in between.
  EXPECT_GT(RedComponent(preview->Pixel(119, 45)), 240);
  EXPECT_NEAR(RedComponent(preview->Pixel(60, 45)), 128, 8);
  const TBitmap32 copy(*preview);
  item->SetPreview(std::move(preview), &store);
  EXPECT_EQ(item->PreviewOffset, 4u);
  EXPECT_EQ(item->PreviewSize, store.GetSize() - 4);
  ASSERT_GT(item->PreviewSize, 54);
  EXPECT_EQ(store.Memory()[4], 'B');
  EXPECT_EQ(store.Memory()[5], 'M');

  item->FreePreview();
  EXPECT_EQ(item->Preview, nullptr);
  TBitmap32* back = item->GetPreview();
  ASSERT_NE(back, nullptr);
  ASSERT_EQ(back->Width(), 120);
  for (int y = 0; y < 90; y += 7) {
    for (int x = 0; x < 120; x += 5) ASSERT_EQ(back->Pixel(x, y), copy.Pixel(x, y));
  }
  item->Release();
  EXPECT_EQ(ThumbCache().Entries().size(), 0u) << "a freed item stayed in the cache";

  TvtItem none;
  EXPECT_EQ(none.GetPreview(), nullptr);
}

TEST(SubItem, APreviewMadeOnRequestIsMadeOnceAndStoredLikeAnyOther) {
  TMemoryStream store;
  TvtItem* item = new TvtItem;
  item->PreviewStore = &store;
  int made = 0;
  item->PreviewMaker = [&made] {
    ++made;
    return gradient(12, 9);
  };
  EXPECT_EQ(item->PreviewSize, 0) << "nothing is made before it is asked for";
  TBitmap32* first = item->GetPreview();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Width(), 12);
  EXPECT_GT(item->PreviewSize, 54);
  EXPECT_EQ(item->PreviewSize, store.GetSize());
  item->FreePreview();
  TBitmap32* again = item->GetPreview();
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->Height(), 9);
  EXPECT_EQ(made, 1) << "reloaded from the store, not made again";
  item->Release();

  // A maker that fails (the file cannot be read again) leaves no preview and is not retried.
  TvtItem failing;
  failing.PreviewStore = &store;
  int tries = 0;
  failing.PreviewMaker = [&tries]() -> std::unique_ptr<TBitmap32> {
    ++tries;
    throw EStreamError("gone");
  };
  EXPECT_EQ(failing.GetPreview(), nullptr);
  EXPECT_EQ(failing.GetPreview(), nullptr);
  EXPECT_EQ(tries, 1);
}

TEST(ThumbCache, HoldsAtMost100PreviewsAndReloadsEvictedOnes) {
  TMemoryStream store;
  auto* owner = new TvtItem;
  std::vector<TvtSubItem*> subs;
  for (int i = 0; i < 101; ++i) {
    subs.push_back(new TvtSubItem(owner));
    subs.back()->SetPreview(gradient(12, 9), &store);
  }
  EXPECT_EQ(owner->SubItemCount(), 101);
  EXPECT_EQ(ThumbCache().Entries().size(), 100u);
  EXPECT_EQ(subs[0]->Preview, nullptr) << "the least recently used one is unloaded";
  EXPECT_NE(subs[1]->Preview, nullptr);
  EXPECT_EQ(ThumbCache().Entries().front(), subs[100]);

  // Touching sub-item 1 protects it; reloading 0 evicts the then oldest, sub-item 2.
  ASSERT_NE(subs[1]->GetPreview(), nullptr);
  TBitmap32* again = subs[0]->GetPreview();
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->Width(), 12);
  EXPECT_EQ(ThumbCache().Entries().front(), subs[0]);
  EXPECT_EQ(subs[2]->Preview, nullptr);
  EXPECT_NE(subs[1]->Preview, nullptr);
  EXPECT_EQ(ThumbCache().Entries().size(), 100u);

  delete subs[5];  // leaves the owner and the cache
  EXPECT_EQ(owner->SubItemCount(), 100);
  EXPECT_EQ(ThumbCache().Entries().size(), 99u);
  owner->Release();
  EXPECT_EQ(ThumbCache().Entries().size(), 0u);
}

TEST(SubItem, KindFromTheFirstBytesAndTheImageOfABitmap) {
  TMemoryStream data;
  data.WriteBuffer("xx", 2);
  const int64_t bmpAt = data.GetSize();
  auto bmp = gradient(7, 5);
  bmp->SaveToStream(data);
  const int64_t bmpLen = data.GetSize() - bmpAt;
  const int64_t jpegAt = data.GetSize();
  const uint8_t jpegStart[6] = {0xFF, 0xD8, 0xFF, 0xE0, 0, 0};
  data.WriteBuffer(jpegStart, 6);

  TMemoryStream store;
  TvtItem owner;
  TvtSubItem asBmp(&owner), asJpeg(&owner), tiny(&owner), junk(&owner);
  for (TvtSubItem* s : {&asBmp, &asJpeg, &tiny, &junk}) s->Stream = &data;
  asBmp.Offset = static_cast<uint64_t>(bmpAt);
  asBmp.Length = static_cast<int32_t>(bmpLen);
  asJpeg.Offset = static_cast<uint64_t>(jpegAt);
  asJpeg.Length = 6;
  tiny.Offset = static_cast<uint64_t>(bmpAt);
  tiny.Length = 4;
  junk.Offset = 0;
  junk.Length = 10;
  EXPECT_EQ(asBmp.GetKind(), kKindBitmap);
  EXPECT_EQ(data.GetPosition(), bmpAt) << "the stream is put back at the offset";
  EXPECT_EQ(asJpeg.GetKind(), kKindJpeg);
  EXPECT_EQ(tiny.GetKind(), kKindNone);
  EXPECT_EQ(junk.GetKind(), kKindNone);

  EXPECT_EQ(asBmp.GetImage(), nullptr) << "no preview: no image";
  asBmp.SetPreview(MakePreview(*bmp), &store);
  auto image = asBmp.GetImage();
  ASSERT_NE(image, nullptr);
  ASSERT_EQ(image->Width(), 7);
  ASSERT_EQ(image->Height(), 5);
  EXPECT_EQ(image->Pixel(6, 4), bmp->Pixel(6, 4));
  junk.SetPreview(MakePreview(*bmp), &store);
  EXPECT_EQ(junk.GetImage(), nullptr);
}

TEST(SubItem, ImageOfAJpegDecodesFromItsOffset) {
  const test::Bytes jpeg = test::Cjpeg("-quality 90", 64, 48);
  TMemoryStream data;
  data.WriteBuffer("garbage!", 8);
  data.WriteBuffer(jpeg.data(), static_cast<int64_t>(jpeg.size()));
  TMemoryStream store;
  TvtItem item;
  item.Stream = &data;
  item.Offset = 8;
  item.Length = static_cast<int32_t>(jpeg.size());
  auto small = gradient(64, 48);
  item.SetPreview(MakePreview(*small), &store);
  auto image = item.GetImage();
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->Width(), 64);
  EXPECT_EQ(image->Height(), 48);
  EXPECT_EQ(AlphaComponent(image->Pixel(63, 47)), 255);
}

}  // namespace
}  // namespace vt
