// Vendor blocks whose JPEG stream lacks its headers: APP4 and APP5 entropy-coded data rebuilt
// with the quality-85 template, and Samsung's JPEG streams without SOI split over APP5s.
#include "thumbs/vendor_rebuilt_handlers.h"

#include "thumbs/vendor_fixture.h"

namespace vt {
namespace {

using test::Bytes;
using test::Cat;
using test::Segment;
using test::Text;

// The two quantisation tables of a cjpeg file, zig-zag order, as stored in its DQT segments.
Bytes TablesOf(const Bytes& jpeg) {
  Bytes tables(128);
  size_t pos = 2;
  while (pos + 4 <= jpeg.size() && jpeg[pos + 1] != 0xDA) {
    const size_t length = size_t(jpeg[pos + 2] << 8 | jpeg[pos + 3]);
    if (jpeg[pos + 1] == 0xDB)
      for (size_t p = pos + 4; p + 65 <= pos + 2 + length; p += 65)
        std::copy_n(jpeg.begin() + p + 1, 64, tables.begin() + (jpeg[p] & 1) * 64);
    pos += 2 + length;
  }
  return tables;
}

Bytes Encoded(int w, int h, int quality = 85) {
  return test::SmoothJpeg("-baseline -sample 2x1 -quality " + std::to_string(quality), w, h);
}

// An APP4 block that relies on the template's tables: 11 bytes of vendor header, then data.
Bytes App4WithoutTables(const Bytes& scan) {
  Bytes data = Cat({Text("VENDORHEAD"), {0}, scan});
  // The word at 128 must not look like the marker of a block with its own tables.
  EXPECT_FALSE(data[128] == 0 && data[129] <= 1);
  return data;
}

const TkelJpegThumb* FindKind(TkelJpegThumbs& thumbs, TkelJpegThumbKind kind) {
  for (int i = 0; i < thumbs.ThumbCount(); ++i)
    if (thumbs.GetThumbs(i)->Kind == kind) return thumbs.GetThumbs(i);
  return nullptr;
}

void ExpectRebuiltRecord(const TkelJpegThumb& t, const Bytes& file, const Bytes& segmentData, int w, int h) {
  EXPECT_EQ(t.Kind, tkJpegRebuilt);
  EXPECT_EQ(t.Caption, "1");
  EXPECT_EQ(t.Offset, 0);
  EXPECT_EQ(t.Size, int32_t(segmentData.size()));
  EXPECT_EQ(t.Width, w);
  EXPECT_EQ(t.Height, h);
  ASSERT_EQ(t.Blocks.size(), 1u);
  EXPECT_EQ(t.Blocks[0], (TkelJpegBlock{test::SegmentDataOffset(file, 0), int32_t(segmentData.size())}));
  // The saved bytes are a JPEG file that libjpeg reads at the same size.
  const test::RefImage again = test::LibjpegDecode(test::StreamBytes(t.Data.get()));
  EXPECT_TRUE(again.Ok) << again.Error;
  EXPECT_EQ(again.Width, w);
  EXPECT_EQ(again.Height, h);
}

TEST(APP4Handler, BlockWithItsOwnTablesDecodesAt480x360) {
  const Bytes jpeg = Encoded(480, 360, 40);
  for (const Bytes& word : {Bytes{0, 0}, Bytes{0, 1}}) {
    const Bytes data = Cat({TablesOf(jpeg), word, test::ScanData(jpeg)});
    const Bytes file = test::HostWith({Segment(0xE4, data)});
    auto thumbs = test::Collect(file);
    ASSERT_EQ(thumbs->ThumbCount(), 1);
    const TkelJpegThumb& t = *thumbs->GetThumbs(0);
    ExpectRebuiltRecord(t, file, data, 480, 360);
    EXPECT_EQ(t.Completeness, 100);
    ASSERT_TRUE(t.Bitmap);
    EXPECT_LT(test::MeanDiff(*t.Bitmap, test::LibjpegDecode(jpeg)), 2.0);
  }
}

TEST(APP4Handler, BlockWithoutTablesUsesTheQuality85Template) {
  const Bytes jpeg = Encoded(480, 360);
  const Bytes data = App4WithoutTables(test::ScanData(jpeg));
  const Bytes file = test::HostWith({Segment(0xE4, data)});
  auto thumbs = test::Collect(file);
  ASSERT_EQ(thumbs->ThumbCount(), 1);
  const TkelJpegThumb& t = *thumbs->GetThumbs(0);
  ExpectRebuiltRecord(t, file, data, 480, 360);
  EXPECT_EQ(t.Completeness, 100);
  ASSERT_TRUE(t.Bitmap);
  EXPECT_LT(test::MeanDiff(*t.Bitmap, test::LibjpegDecode(jpeg)), 2.0);
}

TEST(APP4Handler, SmallerPictureIsDecodedAgainAt320x240) {
  const Bytes jpeg = Encoded(320, 240);
  const Bytes data = App4WithoutTables(test::ScanData(jpeg));
  const Bytes file = test::HostWith({Segment(0xE4, data)});
  auto thumbs = test::Collect(file);
  ASSERT_EQ(thumbs->ThumbCount(), 1);
  ExpectRebuiltRecord(*thumbs->GetThumbs(0), file, data, 320, 240);
  EXPECT_EQ(thumbs->GetThumbs(0)->Completeness, 100);
  EXPECT_LT(test::MeanDiff(*thumbs->GetThumbs(0)->Bitmap, test::LibjpegDecode(jpeg)), 2.0);
}

// A 480 x 360 block cut short decodes only partly at that size; the second decode at 320 x 240
// is kept whatever it reaches. 1350 MCUs make 480 x 360, 600 make 320 x 240.
TEST(APP4Handler, PartialBlockIsKeptAtTheSecondSize) {
  const Bytes scan = test::ScanData(Encoded(480, 360));
  struct TCut {
    double Share;
    int MinPercent, MaxPercent;
  };
  for (const TCut cut : {TCut{0.6, 100, 100}, TCut{0.3, 31, 99}}) {
    const Bytes data = App4WithoutTables(test::Slice(scan, 0, size_t(scan.size() * cut.Share)));
    auto thumbs = test::Collect(test::HostWith({Segment(0xE4, data)}));
    ASSERT_EQ(thumbs->ThumbCount(), 1) << cut.Share;
    const TkelJpegThumb& t = *thumbs->GetThumbs(0);
    EXPECT_EQ(t.Width, 320);
    EXPECT_EQ(t.Height, 240);
    EXPECT_GE(t.Completeness, cut.MinPercent);
    EXPECT_LE(t.Completeness, cut.MaxPercent);
  }
}

TEST(APP4Handler, BlocksAtFivePercentOrLessAreDropped) {
  const Bytes tiny = App4WithoutTables(test::Slice(test::ScanData(Encoded(480, 360)), 0, 140));
  auto thumbs = test::Collect(test::HostWith({Segment(0xE4, tiny)}));
  EXPECT_EQ(FindKind(*thumbs, tkJpegRebuilt), nullptr);

  const Bytes zeros = test::Zeros(200);
  EXPECT_FALSE(TkelJpegThumbAPP4Handler::CanHandle(0xE4, zeros.data(), 200, 200));
  EXPECT_EQ(test::Collect(test::HostWith({Segment(0xE4, zeros)}))->ThumbCount(), 0);
}

TEST(APP4Handler, EmbeddedJpegIsStillFoundByTheScan) {
  const Bytes small = test::Cjpeg("-quality 85", 40, 30, false, 5);
  const Bytes data = Cat({Bytes(140, 0x55), small});
  auto thumbs = test::Collect(test::HostWith({Segment(0xE4, data)}));
  const TkelJpegThumb* found = FindKind(*thumbs, tkJpeg);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->Offset, 140);
  EXPECT_EQ(found->Width, 40);
  EXPECT_EQ(found->Caption, "1");
}

Bytes App5Data(const Bytes& jpeg, int w, int h) {
  return Cat({TablesOf(jpeg), {0, 0, 0, 1}, test::Be16Bytes(w), test::Be16Bytes(h), test::ScanData(jpeg)});
}

TEST(APP5Handler, TakesItsSizeFromTheSegment) {
  const Bytes jpeg = Encoded(200, 150, 60);
  const Bytes data = App5Data(jpeg, 200, 150);
  const Bytes file = test::HostWith({Segment(0xE5, data)});
  auto thumbs = test::Collect(file);
  ASSERT_EQ(thumbs->ThumbCount(), 1);
  const TkelJpegThumb& t = *thumbs->GetThumbs(0);
  ExpectRebuiltRecord(t, file, data, 200, 150);
  EXPECT_EQ(t.Completeness, 100);
  EXPECT_LT(test::MeanDiff(*t.Bitmap, test::LibjpegDecode(jpeg)), 2.0);
}

TEST(APP5Handler, RecognisesOnlyItsMarkerWordAndNonZeroSizes) {
  const Bytes jpeg = Encoded(64, 48, 60);
  const Bytes good = App5Data(jpeg, 64, 48);
  auto accepts = [](Bytes d) { return TkelJpegThumbAPP5Handler::CanHandle(0xE5, d.data(), int32_t(d.size()), int32_t(d.size())); };
  EXPECT_TRUE(accepts(good));
  EXPECT_FALSE(TkelJpegThumbAPP5Handler::CanHandle(0xE4, good.data(), int32_t(good.size()), int32_t(good.size())));
  Bytes d = good;
  d[131] = 2;
  EXPECT_FALSE(accepts(d));
  d = good;
  d[132] = d[133] = 0;
  EXPECT_FALSE(accepts(d));
  d = good;
  d[134] = d[135] = 0;
  EXPECT_FALSE(accepts(d));
  EXPECT_FALSE(accepts(test::Slice(good, 0, 136)));
}

// Samsung: the JPEG stream without its SOI, in numbered APP5 segments of one image id.
Bytes SamsungSegment(int imageId, int number, const Bytes& piece) {
  return Segment(0xE5, Cat({Text("Samsung"), {0, 9, 9, 9, 9}, test::Le16Bytes(imageId), test::Le16Bytes(number),
                            number == 1 ? Bytes{7, 7} : Bytes(), piece}));
}

std::vector<Bytes> SamsungSegments(const Bytes& jpeg, std::vector<int> numbers, std::vector<int> ids) {
  const std::vector<Bytes> pieces = test::SplitInto(test::Slice(jpeg, 2, jpeg.size()), 3);
  std::vector<Bytes> segments;
  for (size_t i = 0; i < 3; ++i) segments.push_back(SamsungSegment(ids[i], numbers[i], pieces[i]));
  return segments;
}

TEST(SamsungHandler, JoinsNumberedSegmentsIntoAJpegWithoutSoi) {
  const Bytes jpeg = test::Cjpeg("-quality 85", 40, 30, false, 5);
  const Bytes file = test::HostWith(SamsungSegments(jpeg, {1, 2, 3}, {0x1234, 0x1234, 0x1234}));
  auto thumbs = test::Collect(file);
  ASSERT_EQ(thumbs->ThumbCount(), 1);
  const TkelJpegThumb& t = *thumbs->GetThumbs(0);
  EXPECT_EQ(t.Kind, tkJpegNoSOI);
  EXPECT_EQ(t.Caption, "");
  EXPECT_EQ(t.Offset, 0);
  EXPECT_EQ(t.Width, 40);
  EXPECT_EQ(t.Height, 30);
  EXPECT_EQ(t.Completeness, 100);
  EXPECT_NE(t.JpegID, nullptr);
  // The saved bytes are a whole JPEG file again: SOI + the stream + EOI.
  const Bytes saved = test::StreamBytes(t.Data.get());
  ASSERT_EQ(saved.size(), size_t(t.Size) + 4);
  EXPECT_TRUE(std::equal(saved.begin(), saved.begin() + t.Size + 2, jpeg.begin()));
  EXPECT_EQ(Bytes(saved.end() - 2, saved.end()), (Bytes{0xFF, 0xD9}));
  EXPECT_LT(test::MeanDiff(*t.Bitmap, test::LibjpegDecode(jpeg)), 2.0);
  ASSERT_EQ(t.Blocks.size(), 3u);
  EXPECT_EQ(t.Blocks[0].Offset, test::SegmentDataOffset(file, 0) + 18);
  EXPECT_EQ(t.Blocks[1].Offset, test::SegmentDataOffset(file, 1) + 16);
  EXPECT_EQ(t.Blocks[2].Offset, test::SegmentDataOffset(file, 2) + 16);
}

TEST(SamsungHandler, BrokenNumberingOrAnotherImageIdEndsTheJoin) {
  const Bytes jpeg = test::Cjpeg("-quality 85", 40, 30, false, 5);
  for (const auto& [numbers, ids] :
       {std::pair<std::vector<int>, std::vector<int>>{{1, 2, 4}, {5, 5, 5}}, {{1, 3, 4}, {5, 5, 5}},
        {{1, 2, 3}, {5, 6, 6}}}) {
    auto thumbs = test::Collect(test::HostWith(SamsungSegments(jpeg, numbers, ids)));
    for (int i = 0; i < thumbs->ThumbCount(); ++i) {
      EXPECT_LT(thumbs->GetThumbs(i)->Completeness, 100);
      EXPECT_LE(thumbs->GetThumbs(i)->Blocks.size(), 2u);
    }
  }
  // Only segment number 1 starts a picture.
  const Bytes second = SamsungSegment(5, 2, test::Zeros(10));
  EXPECT_FALSE(TkelJpegThumbSamsungHandler::CanHandle(0xE5, second.data() + 4, int32_t(second.size() - 4),
                                                      int32_t(second.size() - 4)));
}

}  // namespace
}  // namespace vt
