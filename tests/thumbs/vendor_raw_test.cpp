// Vendor blocks with raw pixels: packed YUV 4:2:2 in numbered APP4 segments (H3X0, HPSC and
// SCRNAIL layouts) and raw RGB in APP10 "prv" pieces whose last 8 bytes sit in the first
// segment's table.
#include "thumbs/vendor_raw_handlers.h"

#include "thumbs/vendor_fixture.h"

namespace vt {
namespace {

using test::Bytes;
using test::Cat;
using test::Segment;
using test::Text;

// U, Y0, V, Y1 groups with chroma that changes from group to group, so that pairing a Y with
// the wrong V shows.
Bytes PackedYuv(int w, int h) {
  Bytes out;
  for (int i = 0; i < w * h / 2; ++i) {
    const int x = (i * 2) % w, y = (i * 2) / w;
    out.push_back(uint8_t(40 + (i * 37) % 180));             // U
    out.push_back(uint8_t(30 + (x * 3 + y * 2) % 200));      // Y0
    out.push_back(uint8_t(220 - (i * 53) % 190));            // V
    out.push_back(uint8_t(30 + (x * 3 + 3 + y * 2) % 200));  // Y1
  }
  return out;
}

uint8_t Clamped(double v) { return uint8_t(std::lround(std::clamp(v, 0.0, 255.0))); }

// JFIF's YCbCr-to-RGB formulas; the decoder's integer tables agree within 1.
TColor32 ExpectedColour(int y, int cb, int cr) {
  return Color32(Clamped(y + 1.402 * (cr - 128)), Clamped(y - 0.344136 * (cb - 128) - 0.714136 * (cr - 128)),
                 Clamped(y + 1.772 * (cb - 128)));
}

// Checks the pixels of the first `available` bytes: Y0 takes the previous group's V (128 first).
void ExpectYuvPixels(const TBitmap32& b, const Bytes& yuv, size_t available) {
  int u = 128, v = 128;
  int bad = 0;
  for (size_t i = 0; i < yuv.size(); ++i) {
    if (i % 4 == 0) u = yuv[i];
    if (i % 4 == 2) v = yuv[i];
    if (i % 2 == 0) continue;
    const TColor32 got = b.Bits()[i / 2];
    if (i >= available) {
      bad += got != 0;
      continue;
    }
    const TColor32 want = ExpectedColour(yuv[i], u, v);
    bad += AlphaComponent(got) != 255 || std::abs(RedComponent(got) - RedComponent(want)) > 1 ||
           std::abs(GreenComponent(got) - GreenComponent(want)) > 1 ||
           std::abs(BlueComponent(got) - BlueComponent(want)) > 1;
  }
  EXPECT_EQ(bad, 0);
}

struct TYuvLayout {
  const char* Name;
  std::string Caption;
  int HeaderSize;
  int WordAt4;
  bool Scrnail;
};

void PrintTo(const TYuvLayout& l, std::ostream* os) { *os << l.Name; }

Bytes HpHeader(const TYuvLayout& l, int64_t w, int64_t h, int index, int total) {
  Bytes header = Cat({Text(l.HeaderSize == 28 ? "H3X0" : "HPSC"), test::Be32Bytes(l.WordAt4), test::Be32Bytes(w),
                      test::Be32Bytes(h), test::Zeros(4), test::Be32Bytes(index), test::Be32Bytes(total)});
  header.resize(size_t(l.HeaderSize), 0xAA);
  return header;
}

std::vector<Bytes> YuvSegments(const TYuvLayout& l, const Bytes& yuv, int w, int h, std::vector<int> indexes,
                               int pieces = 3) {
  const std::vector<Bytes> parts = test::SplitInto(yuv, pieces);
  std::vector<Bytes> segments;
  for (size_t i = 0; i < parts.size(); ++i) {
    Bytes header = l.Scrnail ? (i == 0 ? Cat({Text("SCRNAIL"), {0}}) : Bytes())
                             : HpHeader(l, w, h, indexes[i], int(parts.size()));
    segments.push_back(Segment(0xE4, Cat({header, parts[i]})));
  }
  return segments;
}

int HeaderOf(const TYuvLayout& l, size_t segment) { return l.Scrnail ? (segment == 0 ? 8 : 0) : l.HeaderSize; }

class YuvTest : public ::testing::TestWithParam<TYuvLayout> {};

TEST_P(YuvTest, JoinsTheSegmentsIntoOnePicture) {
  const TYuvLayout& l = GetParam();
  const int w = l.Scrnail ? 320 : 48, h = l.Scrnail ? 240 : 20;
  const Bytes yuv = PackedYuv(w, h);
  const Bytes file = test::HostWith(YuvSegments(l, yuv, w, h, {1, 2, 3}));
  auto thumbs = test::Collect(file);
  ASSERT_EQ(thumbs->ThumbCount(), 1);
  const TkelJpegThumb& t = *thumbs->GetThumbs(0);
  EXPECT_EQ(t.Kind, tkYCbCr);
  EXPECT_EQ(t.Caption, l.Caption);
  EXPECT_EQ(t.Offset, 0);
  EXPECT_EQ(t.Size, w * h * 2);
  EXPECT_EQ(t.Width, w);
  EXPECT_EQ(t.Height, h);
  EXPECT_EQ(t.Completeness, 100);
  ASSERT_TRUE(t.Bitmap);
  ExpectYuvPixels(*t.Bitmap, yuv, yuv.size());
  ASSERT_EQ(t.Blocks.size(), 3u);
  for (size_t i = 0; i < 3; ++i)
    EXPECT_EQ(t.Blocks[i].Offset, test::SegmentDataOffset(file, int(i)) + HeaderOf(l, i));
}

TEST_P(YuvTest, MissingBytesLeaveTheRestTransparent) {
  const TYuvLayout& l = GetParam();
  const int w = l.Scrnail ? 320 : 48, h = l.Scrnail ? 240 : 20;
  const Bytes yuv = PackedYuv(w, h);
  // Half the picture in two segments (76,800 bytes for SCRNAIL's 320 x 240).
  const Bytes half = test::Slice(yuv, 0, yuv.size() / 2);
  std::vector<Bytes> segments = YuvSegments(l, half, w, h, {1, 2}, 2);
  if (!l.Scrnail)  // the header still announces the whole picture
    for (size_t i = 0; i < 2; ++i) {
      Bytes header = HpHeader(l, w, h, int(i) + 1, 2);
      std::copy(header.begin(), header.end(), segments[i].begin() + 4);
    }
  auto thumbs = test::Collect(test::HostWith(segments));
  ASSERT_EQ(thumbs->ThumbCount(), 1);
  const TkelJpegThumb& t = *thumbs->GetThumbs(0);
  EXPECT_EQ(t.Completeness, 50);
  EXPECT_EQ(t.Size, int32_t(half.size()));
  ASSERT_TRUE(t.Bitmap);
  EXPECT_EQ(AlphaComponent(t.Bitmap->Pixel(w - 1, h / 2 - 1)), 255);
  EXPECT_EQ(t.Bitmap->Pixel(0, h / 2), 0u);
  EXPECT_EQ(t.Bitmap->Pixel(w - 1, h - 1), 0u);
  ExpectYuvPixels(*t.Bitmap, yuv, half.size());
}

INSTANTIATE_TEST_SUITE_P(Layouts, YuvTest,
                         ::testing::Values(TYuvLayout{"H3X0", "", 28, 0, false},
                                           TYuvLayout{"HPSC1", "1", 32, 1, false},
                                           TYuvLayout{"HPSC2", "2", 36, 2, false},
                                           TYuvLayout{"SCRNAIL", "", 8, 0, true}),
                         [](const auto& info) { return std::string(info.param.Name); });

const TYuvLayout kH3X0{"H3X0", "", 28, 0, false};

const TkelJpegThumb* OnlyYuv(TkelJpegThumbs& thumbs) {
  const TkelJpegThumb* found = nullptr;
  for (int i = 0; i < thumbs.ThumbCount(); ++i)
    if (thumbs.GetThumbs(i)->Kind == tkYCbCr) {
      EXPECT_EQ(found, nullptr) << "more than one YCbCr picture";
      found = thumbs.GetThumbs(i);
    }
  return found;
}

TEST(YuvHandlers, WrongIndexOrOtherSizeEndsTheJoin) {
  const int w = 48, h = 20;
  const Bytes yuv = PackedYuv(w, h);
  std::vector<Bytes> skipped = YuvSegments(kH3X0, yuv, w, h, {1, 3, 4});
  std::vector<Bytes> resized = YuvSegments(kH3X0, yuv, w, h, {1, 2, 3});
  const Bytes otherHeader = HpHeader(kH3X0, w + 2, h, 2, 3);
  std::copy(otherHeader.begin(), otherHeader.end(), resized[1].begin() + 4);
  for (const auto& segments : {skipped, resized}) {
    auto thumbs = test::Collect(test::HostWith(segments));
    const TkelJpegThumb* t = OnlyYuv(*thumbs);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->Blocks.size(), 1u);
    EXPECT_EQ(t->Size, int32_t(test::SplitInto(yuv, 3)[0].size()));
    EXPECT_EQ(t->Completeness, 33);
  }
}

TEST(YuvHandlers, ScrnailStopsAtTheFirstSegmentThatIsNotAPP4) {
  const TYuvLayout scrnail{"SCRNAIL", "", 8, 0, true};
  const Bytes yuv = PackedYuv(320, 240);
  std::vector<Bytes> segments = YuvSegments(scrnail, yuv, 320, 240, {}, 3);
  segments[1][1] = 0xE5;
  auto thumbs = test::Collect(test::HostWith(segments));
  const TkelJpegThumb* t = OnlyYuv(*thumbs);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->Blocks.size(), 1u);
  EXPECT_EQ(t->Size, int32_t(test::SplitInto(yuv, 3)[0].size()));
}

TEST(YuvHandlers, HugeDeclaredSizesAddNothing) {
  for (const auto& [w, h] : {std::pair<int64_t, int64_t>{100000, 100000}, {0x7FFFFFFF, 0x7FFFFFFF}, {1 << 16, 1 << 15}, {2048, 1024}}) {
    const Bytes segment = Segment(0xE4, Cat({HpHeader(kH3X0, w, h, 1, 1), Bytes(4000, 0x80)}));
    auto thumbs = test::Collect(test::HostWith({segment}));
    EXPECT_EQ(OnlyYuv(*thumbs), nullptr) << w << " x " << h;
  }
  // Sizes with the top bit set are negative, not accepted at all.
  const Bytes negative = Cat({HpHeader(kH3X0, int64_t(0x80000000), 10, 1, 1), Bytes(10, 0)});
  EXPECT_FALSE(TkelJpegThumbH3X0Handler::CanHandle(0xE4, negative.data(), int32_t(negative.size()),
                                                   int32_t(negative.size())));
}

TEST(YuvHandlers, HpscWordAtFourChoosesTheLayout) {
  const TYuvLayout one{"HPSC1", "1", 32, 1, false}, two{"HPSC2", "2", 36, 1, false};
  const Bytes h1 = HpHeader(one, 8, 2, 1, 1), h2 = HpHeader(two, 8, 2, 1, 1);
  EXPECT_TRUE(TkelJpegThumbHPSCHandler1::CanHandle(0xE4, h1.data(), 32, 32));
  EXPECT_FALSE(TkelJpegThumbHPSCHandler1::CanHandle(0xE4, h1.data(), 31, 31));
  Bytes h3 = HpHeader({"HPSC", "", 36, 3, false}, 8, 2, 1, 1);
  EXPECT_FALSE(TkelJpegThumbHPSCHandler1::CanHandle(0xE4, h3.data(), 36, 36));
  EXPECT_TRUE(TkelJpegThumbHPSCHandler2::CanHandle(0xE4, h3.data(), 36, 36));
  EXPECT_FALSE(TkelJpegThumbHPSCHandler2::CanHandle(0xE4, h3.data(), 35, 35));
  EXPECT_FALSE(TkelJpegThumbH3X0Handler::CanHandle(0xE5, HpHeader(kH3X0, 8, 2, 1, 1).data(), 28, 28));
  Bytes secondFirst = HpHeader(kH3X0, 8, 2, 2, 2);
  EXPECT_FALSE(TkelJpegThumbH3X0Handler::CanHandle(0xE4, secondFirst.data(), 28, 28));
}

// Prv: a 20 x 10 RGB picture in three pieces; the 8 bytes that end pieces 0 and 1 are stored
// in the table of the first segment.
struct TPrvFile {
  Bytes Rgb, File;
};

TPrvFile PrvFile(std::vector<char> digits, int tableTails = 2) {
  TPrvFile f;
  f.Rgb = test::PhotoLikeRgb(20, 10, 4);
  const std::vector<Bytes> pieces = test::SplitInto(f.Rgb, 3);
  Bytes tails;
  for (int i = 0; i < tableTails; ++i) tails = Cat({tails, test::Slice(pieces[size_t(i)], 192, 8)});
  std::vector<Bytes> segments;
  segments.push_back(Segment(0xEA, Cat({Text(std::string("prv") + digits[0]), test::Be16Bytes(3),
                                        test::Be16Bytes(20), test::Be16Bytes(10), tails,
                                        tableTails == 2 ? test::Slice(pieces[0], 0, 192) : Bytes()})));
  for (size_t i = 1; i < digits.size(); ++i)
    segments.push_back(Segment(0xEA, Cat({Text(std::string("prv") + digits[i]),
                                          test::Slice(pieces[i], 0, i == 2 ? 200 : 192)})));
  f.File = test::HostWith(segments);
  return f;
}

TEST(PrvHandler, PiecesAndTheirTailsMakeThePicture) {
  const TPrvFile f = PrvFile({'0', '1', '2'});
  auto thumbs = test::Collect(f.File);
  ASSERT_EQ(thumbs->ThumbCount(), 1);
  const TkelJpegThumb& t = *thumbs->GetThumbs(0);
  EXPECT_EQ(t.Kind, tkRGB);
  EXPECT_EQ(t.Caption, "");
  EXPECT_EQ(t.Width, 20);
  EXPECT_EQ(t.Height, 10);
  EXPECT_EQ(t.Size, 600);
  EXPECT_EQ(t.Completeness, 100);
  ASSERT_TRUE(t.Bitmap);
  for (int i = 0; i < 200; ++i)
    ASSERT_EQ(t.Bitmap->Bits()[i], Color32(f.Rgb[i * 3], f.Rgb[i * 3 + 1], f.Rgb[i * 3 + 2])) << "pixel " << i;
  // Each piece where it lies, each tail where it lies in the first segment's table.
  const int32_t d0 = test::SegmentDataOffset(f.File, 0), d1 = test::SegmentDataOffset(f.File, 1),
                d2 = test::SegmentDataOffset(f.File, 2);
  const std::vector<TkelJpegBlock> expected = {{d0 + 26, 192}, {d0 + 10, 8}, {d1 + 4, 192}, {d0 + 18, 8}, {d2 + 4, 200}};
  EXPECT_EQ(t.Blocks, expected);
}

TEST(PrvHandler, PieceOutOfOrderEndsThePicture) {
  const TPrvFile f = PrvFile({'0', '2', '1'});
  auto thumbs = test::Collect(f.File);
  ASSERT_EQ(thumbs->ThumbCount(), 1);
  const TkelJpegThumb& t = *thumbs->GetThumbs(0);
  EXPECT_EQ(t.Size, 200);
  EXPECT_EQ(t.Completeness, 33);
  EXPECT_EQ(AlphaComponent(t.Bitmap->Bits()[65]), 255);
  EXPECT_EQ(t.Bitmap->Bits()[66], 0u);  // 200 bytes hold 66 whole pixels
}

TEST(PrvHandler, FirstSegmentTooShortForItsTableAddsNothing) {
  const TPrvFile f = PrvFile({'0', '1', '2'}, 1);
  EXPECT_EQ(test::Collect(f.File)->ThumbCount(), 0);
}

// After a first segment whose table is cut off the numbering stays at 0, so a further "prv0"
// continues the instance and is read as a first segment again. One too short for the header,
// or one that counts no pieces, adds nothing and spoils nothing that follows.
TEST(PrvHandler, RepeatedFirstPieceTooShortAddsNothing) {
  const Bytes cutTable = Cat({Text("prv0"), test::Be16Bytes(3), test::Be16Bytes(20), test::Be16Bytes(10), Bytes(8, 1)});
  const Bytes jpeg = test::Cjpeg("-quality 85", 40, 30, false, 5);
  const Bytes qvga = Segment(0xE2, Cat({Text("QVGA"), {0}, jpeg}));
  for (const Bytes& again : {Cat({Text("prv0"), {0, 0}}), Cat({Text("prv0"), {0, 2}}),
                             Cat({Text("prv0"), {0, 0}, test::Be16Bytes(20), test::Be16Bytes(10), Bytes(50, 3)})}) {
    auto thumbs = test::Collect(test::HostWith({Segment(0xEA, cutTable), Segment(0xEA, again), qvga}));
    ASSERT_EQ(thumbs->ThumbCount(), 1) << again.size();
    EXPECT_EQ(thumbs->GetThumbs(0)->Kind, tkJpeg);
    EXPECT_EQ(thumbs->GetThumbs(0)->Width, 40);
  }
}

TEST(PrvHandler, RecognisesSizesUpTo1999) {
  auto header = [](int pieces, int w, int h) {
    return Cat({Text("prv0"), test::Be16Bytes(pieces), test::Be16Bytes(w), test::Be16Bytes(h)});
  };
  auto accepts = [](const Bytes& d, uint8_t marker = 0xEA) {
    return TkelJpegThumbPrvHandler::CanHandle(marker, d.data(), int32_t(d.size()), int32_t(d.size()));
  };
  EXPECT_TRUE(accepts(header(1, 1999, 1)));
  EXPECT_FALSE(accepts(header(1, 2000, 10)));
  EXPECT_FALSE(accepts(header(1, 10, 0)));
  EXPECT_FALSE(accepts(header(0, 10, 10)));
  EXPECT_FALSE(accepts(header(1, 10, 10), 0xEB));
  EXPECT_FALSE(accepts(test::Slice(header(1, 10, 10), 0, 9)));
}

}  // namespace
}  // namespace vt
