// The collection and its dispatch: which handler gets which segment, how joined data maps back
// to file blocks, Multi-Picture registration, Photoshop and FlashPix joining, sorting.
#include <gtest/gtest.h>

#include "segment_builder.h"
#include "thumbs/handler_registry.h"
#include "thumbs/jpeg_thumbs.h"

namespace vt {
namespace {

using test::Bytes;
using test::Cat;
using test::Segment;
using test::Str;
using test::TiffWriter;

Bytes SmallJpeg(int w = 24, int h = 16) { return test::Cjpeg("-quality 90", w, h); }

// A run of segments as the parser hands it over, starting at file offset 2.
struct SegmentRun {
  TkelJpegThumbs thumbs;
  explicit SegmentRun(const std::vector<Bytes>& segments, bool allMPImages = false) : thumbs(allMPImages) {
    Bytes run;
    for (const Bytes& s : segments) run.insert(run.end(), s.begin(), s.end());
    thumbs.ProcessAppBlock(2, run.data(), int32_t(run.size()));
  }
};

TEST(Dispatch, JpegInsideUnknownSegmentsIsFoundOnlyPastTwentyBytes) {
  const Bytes jpeg = SmallJpeg();
  SegmentRun com({Segment(0xFE, Cat({Str("some comment text here"), jpeg}))});
  ASSERT_EQ(com.thumbs.ThumbCount(), 1);
  PkelJpegThumb t = com.thumbs.GetThumbs(0);
  EXPECT_EQ(t->Kind, tkJpeg);
  EXPECT_EQ(t->Offset, 22);
  EXPECT_EQ(t->Width, 24);
  EXPECT_EQ(t->Height, 16);
  EXPECT_EQ(t->Completeness, 100);
  ASSERT_EQ(t->Blocks.size(), 1u);
  EXPECT_EQ(t->Blocks[0].Offset, 2 + 4 + 22);
  ASSERT_TRUE(t->Data);
  // The copy is the stream as consumed plus an EOI.
  const Bytes copy(t->Data->Memory(), t->Data->Memory() + t->Data->GetSize());
  EXPECT_EQ(Bytes(copy.begin(), copy.end() - 2), Bytes(jpeg.begin(), jpeg.begin() + t->Size));
  EXPECT_EQ(copy[copy.size() - 1], 0xD9);

  // Twenty bytes of data are not scanned at all.
  SegmentRun tiny({Segment(0xE7, Bytes{0xFF, 0xD8, 0xFF, 0xDB, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})});
  EXPECT_EQ(tiny.thumbs.ThumbCount(), 0);
}

TEST(Dispatch, PhotoshopResourceSplitOverTwoSegmentsGivesOneThumbnailWithTwoBlocks) {
  const Bytes jpeg = SmallJpeg(40, 30);
  auto be32 = [](uint32_t v) { return Bytes{uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; };
  Bytes header(28, 0);
  header[3] = 1;  // format 1: JPEG
  const Bytes resource = Cat({Str("8BIM"), Bytes{0x04, 0x0C}, Bytes{0, 0}, be32(uint32_t(28 + jpeg.size())),
                              header, jpeg});
  const Bytes sig = Str(std::string("Photoshop 3.0\0", 14));
  const size_t half = 60;
  const Bytes first = Segment(0xED, Cat({sig, Bytes(resource.begin(), resource.begin() + half)}));
  const Bytes second = Segment(0xED, Cat({sig, Bytes(resource.begin() + half, resource.end())}));
  SegmentRun r({first, second});
  ASSERT_EQ(r.thumbs.ThumbCount(), 1);
  PkelJpegThumb t = r.thumbs.GetThumbs(0);
  EXPECT_EQ(t->Width, 40);
  EXPECT_EQ(t->ColorModel, 0);
  ASSERT_EQ(t->Blocks.size(), 2u);
  const int32_t jpegInFirst = int32_t(half - 12 - 28);  // resource header 12 bytes, thumbnail header 28
  EXPECT_EQ(t->Blocks[0], (TkelJpegBlock{int32_t(2 + 4 + 14 + 40), jpegInFirst}));
  const int32_t secondData = int32_t(2 + first.size() + 4);
  EXPECT_EQ(t->Blocks[1], (TkelJpegBlock{secondData + 14, t->Size - jpegInFirst}));

  // An empty segment between them ends the handler: the resource no longer fits.
  SegmentRun broken({first, Segment(0xED, {}), second});
  EXPECT_EQ(broken.thumbs.ThumbCount(), 0);

  // Resource 1033 is decoded with red and blue exchanged and keeps no JPEG copy.
  Bytes old = resource;
  old[5] = 0x09;
  SegmentRun r1033({Segment(0xED, Cat({sig, old}))});
  ASSERT_EQ(r1033.thumbs.ThumbCount(), 1);
  EXPECT_EQ(r1033.thumbs.GetThumbs(0)->ColorModel, 6);
  EXPECT_FALSE(r1033.thumbs.GetThumbs(0)->Data);
}

TEST(Dispatch, FlashPixStreamsJoinPerVariant) {
  const Bytes jpeg = SmallJpeg(32, 32);
  auto fpxr = [](uint8_t type, uint16_t index, const Bytes& stream) {
    return Cat({Str(std::string("FPXR\0", 5)), Bytes{0, type, uint8_t(index), uint8_t(index >> 8), 0, 0, 0, 0},
                stream});
  };
  // Variant 1: every segment's stream data starts with 47 bytes of its own, then the JPEG goes
  // on; split over two APP2 segments.
  const size_t cut = 300;
  const Bytes part1 = Cat({Bytes(47, 0x11), Bytes(jpeg.begin(), jpeg.begin() + cut)});
  const Bytes part2 = Cat({Bytes(47, 0x22), Bytes(jpeg.begin() + cut, jpeg.end())});
  SegmentRun v1({Segment(0xE2, fpxr(2, 5, part1)), Segment(0xE2, fpxr(2, 5, part2))});
  ASSERT_EQ(v1.thumbs.ThumbCount(), 1);
  EXPECT_EQ(v1.thumbs.GetThumbs(0)->Caption, "1");
  EXPECT_EQ(v1.thumbs.GetThumbs(0)->Completeness, 100);
  EXPECT_EQ(v1.thumbs.GetThumbs(0)->Blocks.size(), 2u);

  // Another stream index ends a variant-1 run: the JPEG is cut and decodes only partly or not.
  SegmentRun other({Segment(0xE2, fpxr(2, 5, part1)), Segment(0xE2, fpxr(2, 6, part2))});
  for (int32_t i = 0; i < other.thumbs.ThumbCount(); ++i)
    EXPECT_LT(other.thumbs.GetThumbs(i)->Completeness, 100);

  // Variant 2 (JPEG at the stream start) continues whatever the index; APP4 works the same.
  SegmentRun v2({Segment(0xE4, fpxr(2, 1, Bytes(jpeg.begin(), jpeg.begin() + cut))),
          Segment(0xE4, fpxr(2, 9, Bytes(jpeg.begin() + cut, jpeg.end())))});
  ASSERT_EQ(v2.thumbs.ThumbCount(), 1);
  EXPECT_EQ(v2.thumbs.GetThumbs(0)->Caption, "2");
  EXPECT_EQ(v2.thumbs.GetThumbs(0)->Completeness, 100);
}

// MPF index with three images: the first a dependent parent of image 3.
Bytes MpfData(bool bigEndian) {
  TiffWriter w(bigEndian);
  const int ifd = w.AddIfd();
  w.Long(ifd, 0xB001, 3);
  Bytes entries;
  auto entry = [&](uint32_t attribute, uint32_t size, uint32_t offset, uint16_t dep1, uint16_t dep2) {
    for (const Bytes& b : {w.Num(attribute, 4), w.Num(size, 4), w.Num(offset, 4), w.Num(dep1, 2), w.Num(dep2, 2)})
      entries.insert(entries.end(), b.begin(), b.end());
  };
  entry(0x80000000u | 0x030000, 5000, 0, 3, 0);
  entry(0x020002, 700, 6000, 0, 0);
  entry(0x010001, 800, 7000, 0, 0);
  w.BlobData(ifd, 0xB002, 7, uint32_t(entries.size()), w.AddBlob(entries));
  return Cat({Str(std::string("MPF\0", 4)), w.Build()});
}

// Resource signatures: the five accepted byte strings let resource 1033 be decoded with red and
// blue exchanged (no copy kept); any other signature ends the walk, and the scan that follows
// then finds the same JPEG as an ordinary one.
struct SignatureCase {
  const char* signature;
  bool accepted;
};
class PhotoshopSignatureTest : public ::testing::TestWithParam<SignatureCase> {};
TEST_P(PhotoshopSignatureTest, OnlyTheListedSignaturesAreWalked) {
  const Bytes jpeg = SmallJpeg(40, 30);
  const uint32_t size = uint32_t(28 + jpeg.size());
  Bytes header(28, 0);
  header[3] = 1;
  const Bytes resource = Cat({Str(GetParam().signature), Bytes{0x04, 0x09}, Bytes{0, 0},
                              Bytes{uint8_t(size >> 24), uint8_t(size >> 16), uint8_t(size >> 8), uint8_t(size)},
                              header, jpeg});
  SegmentRun r({Segment(0xED, Cat({Str(std::string("Photoshop 3.0\0", 14)), resource}))});
  ASSERT_EQ(r.thumbs.ThumbCount(), 1);
  PkelJpegThumb t = r.thumbs.GetThumbs(0);
  EXPECT_EQ(t->Offset, 40);
  EXPECT_EQ(t->Width, 40);
  EXPECT_EQ(t->ColorModel, GetParam().accepted ? 6 : 0);
  EXPECT_EQ(bool(t->Data), !GetParam().accepted);
}
INSTANTIATE_TEST_SUITE_P(Signatures, PhotoshopSignatureTest,
                         ::testing::Values(SignatureCase{"8BIM", true}, SignatureCase{"PHUT", true},
                                           SignatureCase{"aSeM", true}, SignatureCase{"gHgA", true},
                                           SignatureCase{"RSCD", true}, SignatureCase{"MeSa", false},
                                           SignatureCase{"AgHg", false}, SignatureCase{"DCSR", false},
                                           SignatureCase{"8bim", false}));

// A resource after one with an odd name length and an odd data size is still reached: names of
// odd length take no pad byte, odd data sizes take one.
TEST(Dispatch, PhotoshopPaddingOfNamesAndData) {
  const Bytes jpeg = SmallJpeg(40, 30);
  const uint32_t size = uint32_t(28 + jpeg.size());
  Bytes header(28, 0);
  header[3] = 1;
  const Bytes filler = Cat({Str("8BIM"), Bytes{0x03, 0xED}, Bytes{3, 'a', 'b', 'c'}, Bytes{0, 0, 0, 3},
                            Bytes{1, 2, 3}, Bytes{0}});
  const Bytes named = Cat({Str("8BIM"), Bytes{0x04, 0x0C}, Bytes{2, 'x', 'y', 0},
                           Bytes{uint8_t(size >> 24), uint8_t(size >> 16), uint8_t(size >> 8), uint8_t(size)},
                           header, jpeg});
  SegmentRun r({Segment(0xED, Cat({Str(std::string("Photoshop 3.0\0", 14)), filler, named}))});
  ASSERT_EQ(r.thumbs.ThumbCount(), 1);
  EXPECT_EQ(r.thumbs.GetThumbs(0)->Offset, int32_t(filler.size() + 4 + 2 + 4 + 4 + 28));
  EXPECT_EQ(r.thumbs.GetThumbs(0)->Width, 40);
}

// JFXX with extension code 0x10: the JPEG at byte 6 is added once with caption "Jpg" (the scan
// that follows does not add it again); other codes add nothing but the scan.
TEST(Dispatch, JfxxJpegThumbnail) {
  const Bytes jpeg = SmallJpeg(32, 24);
  SegmentRun r({Segment(0xE0, Cat({Str(std::string("JFXX\0", 5)), Bytes{0x10}, jpeg}))});
  ASSERT_EQ(r.thumbs.ThumbCount(), 1);
  PkelJpegThumb t = r.thumbs.GetThumbs(0);
  EXPECT_EQ(t->Caption, "Jpg");
  EXPECT_EQ(t->Offset, 6);
  EXPECT_EQ(t->Width, 32);
  EXPECT_EQ(t->Completeness, 100);
  ASSERT_EQ(t->Blocks.size(), 1u);
  EXPECT_EQ(t->Blocks[0].Offset, 2 + 4 + 6);

  // Unknown extension code: only the scan runs, which finds the JPEG past twenty bytes.
  SegmentRun unknown({Segment(0xE0, Cat({Str(std::string("JFXX\0", 5)), Bytes{0x12}, Bytes(20, 0), jpeg}))});
  ASSERT_EQ(unknown.thumbs.ThumbCount(), 1);
  EXPECT_EQ(unknown.thumbs.GetThumbs(0)->Caption, "");
  EXPECT_EQ(unknown.thumbs.GetThumbs(0)->Offset, 26);
}

class MpfTest : public ::testing::TestWithParam<bool> {};
TEST_P(MpfTest, AllImagesOrOnlyTheDependentsOfTheFirst) {
  SegmentRun all({Segment(0xE2, MpfData(GetParam()))}, true);
  ASSERT_EQ(all.thumbs.PostThumbCount(), 2);
  EXPECT_EQ(all.thumbs.GetPostThumbs(0)->Offset, 2 + 8 + 6000);
  EXPECT_EQ(all.thumbs.GetPostThumbs(0)->Size, 700);
  EXPECT_EQ(all.thumbs.GetPostThumbs(1)->Offset, 2 + 8 + 7000);

  SegmentRun dependents({Segment(0xE2, MpfData(GetParam()))}, false);
  ASSERT_EQ(dependents.thumbs.PostThumbCount(), 1);
  EXPECT_EQ(dependents.thumbs.GetPostThumbs(0)->Offset, 2 + 8 + 7000);
  EXPECT_EQ(dependents.thumbs.GetPostThumbs(0)->Size, 800);
}
INSTANTIATE_TEST_SUITE_P(ByteOrders, MpfTest, ::testing::Values(false, true));

TEST(Collection, SortByAreaIsStable) {
  TkelJpegThumbs thumbs(false);
  const int sizes[][2] = {{10, 10}, {20, 5}, {30, 30}, {5, 20}, {1, 1}, {25, 4}};
  for (int i = 0; i < 6; ++i)
    thumbs.AddThumb(tkRGB, i, 0, sizes[i][0], sizes[i][1], 100, nullptr, nullptr, std::to_string(i));
  thumbs.SortThumbsByArea();
  std::string order;
  for (int32_t i = 0; i < thumbs.ThumbCount(); ++i) order += thumbs.GetThumbs(i)->Caption;
  EXPECT_EQ(order, "201354");  // 900, the four of area 100 in their first order, then 1
}

TEST(Registry, ClassesTakeTheirListedPlacesWhateverTheOrderOfAdding) {
  TkelJpegThumbHandlerRegistry r;
  r.Add(ThumbHandlerClass<TkelJpegThumbBaseHandler>("MPF"));
  r.Add(ThumbHandlerClass<TkelJpegThumbBaseHandler>("Qualcomm"));
  r.Add(ThumbHandlerClass<TkelJpegThumbBaseHandler>("Base"));
  r.Add(ThumbHandlerClass<TkelJpegThumbBaseHandler>("JFIF"));
  std::string names;
  for (const auto& c : r.Classes()) names += std::string(c.Name) + " ";
  EXPECT_EQ(names, "Base JFIF MPF Qualcomm ");
  EXPECT_THROW(r.Add(ThumbHandlerClass<TkelJpegThumbBaseHandler>("JFIF")), std::logic_error);
  EXPECT_THROW(r.Add(ThumbHandlerClass<TkelJpegThumbBaseHandler>("Nonsense")), std::logic_error);

  // The process-wide registry starts with the fallback and keeps the listed order.
  const auto& classes = TkelJpegThumbHandlerRegistry::Instance().Classes();
  ASSERT_FALSE(classes.empty());
  EXPECT_STREQ(classes.front().Name, "Base");
  size_t listed = 0;
  for (const auto& c : classes) {
    while (listed < kThumbHandlerOrder.size() && kThumbHandlerOrder[listed] != c.Name) ++listed;
    EXPECT_LT(listed, kThumbHandlerOrder.size()) << c.Name << " out of order";
  }
}

}  // namespace
}  // namespace vt
