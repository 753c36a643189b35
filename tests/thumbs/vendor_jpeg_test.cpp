// Vendor blocks that carry ordinary JPEG streams: wrapped behind a short header in one segment,
// or split over consecutive segments that must be joined in the right order.
#include "thumbs/vendor_jpeg_handlers.h"

#include "thumbs/thumb_handler.h"
#include "thumbs/vendor_fixture.h"

namespace vt {
namespace {

using test::Bytes;
using test::Cat;
using test::Segment;
using test::Text;

Bytes SmallJpeg() { return test::Cjpeg("-quality 85", 40, 30, false, 5); }

void ExpectPictureOf(const TkelJpegThumb& t, const Bytes& jpeg) {
  EXPECT_EQ(t.Width, 40);
  EXPECT_EQ(t.Height, 30);
  EXPECT_EQ(t.Completeness, 100);
  EXPECT_GE(t.Size, int32_t(jpeg.size()) - 2);
  EXPECT_LE(t.Size, int32_t(jpeg.size()));
  const Bytes data = test::StreamBytes(t.Data.get());
  ASSERT_GE(data.size(), size_t(t.Size));
  EXPECT_TRUE(std::equal(data.begin(), data.begin() + t.Size, jpeg.begin()));
  ASSERT_TRUE(t.Bitmap);
  EXPECT_LT(test::MeanDiff(*t.Bitmap, test::LibjpegDecode(jpeg)), 2.0);
}

// One segment: signature, then the JPEG stream at a fixed place.
struct TWrapped {
  const char* Name;
  uint8_t Marker;
  Bytes Header;
};

void PrintTo(const TWrapped& c, std::ostream* os) { *os << c.Name; }

class WrappedJpegTest : public ::testing::TestWithParam<TWrapped> {};

TEST_P(WrappedJpegTest, FindsTheJpegBehindTheHeaderOnce) {
  const TWrapped& c = GetParam();
  const Bytes jpeg = SmallJpeg();
  const Bytes file = test::HostWith({Segment(c.Marker, Cat({c.Header, jpeg, Text("tail")}))});
  auto thumbs = test::Collect(file);
  ASSERT_EQ(thumbs->ThumbCount(), 1);
  const TkelJpegThumb& t = *thumbs->GetThumbs(0);
  EXPECT_EQ(t.Kind, tkJpeg);
  EXPECT_EQ(t.Caption, "");
  EXPECT_EQ(t.Offset, int32_t(c.Header.size()));
  ExpectPictureOf(t, jpeg);
  ASSERT_EQ(t.Blocks.size(), 1u);
  EXPECT_EQ(t.Blocks[0], (TkelJpegBlock{test::SegmentDataOffset(file, 0) + int32_t(c.Header.size()), t.Size}));
}

INSTANTIATE_TEST_SUITE_P(Layouts, WrappedJpegTest,
                         ::testing::Values(TWrapped{"PDBigTN", 0xE4, Cat({Text("PDBigTN"), test::Zeros(11)})},
                                           TWrapped{"QVGA", 0xE2, Cat({Text("QVGA"), test::Zeros(1)})},
                                           TWrapped{"BGTH", 0xE2, Text("BGTH")}),
                         [](const auto& info) { return std::string(info.param.Name); });

// A JPEG stream split over three segments, each with its own header.
struct TSplit {
  const char* Name;
  std::vector<uint8_t> Markers;
  Bytes Header;      // in front of every piece
  Bytes FirstExtra;  // in front of the first piece only (after Header)
  std::string Caption;
};

void PrintTo(const TSplit& c, std::ostream* os) { *os << c.Name; }

std::vector<Bytes> SplitSegments(const TSplit& c, const Bytes& jpeg, const std::vector<uint8_t>& markers) {
  const std::vector<Bytes> pieces = test::SplitInto(jpeg, 3);
  std::vector<Bytes> segments;
  for (int i = 0; i < 3; ++i)
    segments.push_back(Segment(markers[size_t(i)], Cat({c.Header, i == 0 ? c.FirstExtra : Bytes(), pieces[size_t(i)]})));
  return segments;
}

class SplitJpegTest : public ::testing::TestWithParam<TSplit> {};

TEST_P(SplitJpegTest, JoinsThePiecesIntoOnePicture) {
  const TSplit& c = GetParam();
  const Bytes jpeg = SmallJpeg();
  const Bytes file = test::HostWith(SplitSegments(c, jpeg, c.Markers));
  auto thumbs = test::Collect(file);
  ASSERT_EQ(thumbs->ThumbCount(), 1);
  const TkelJpegThumb& t = *thumbs->GetThumbs(0);
  EXPECT_EQ(t.Kind, tkJpeg);
  EXPECT_EQ(t.Caption, c.Caption);
  EXPECT_EQ(t.Offset, int32_t(c.FirstExtra.size()));
  ExpectPictureOf(t, jpeg);

  // One block in each segment, right after its header.
  const std::vector<Bytes> pieces = test::SplitInto(jpeg, 3);
  ASSERT_EQ(t.Blocks.size(), 3u);
  int32_t covered = 0;
  for (int i = 0; i < 3; ++i) {
    const int32_t extra = i == 0 ? int32_t(c.FirstExtra.size()) : 0;
    EXPECT_EQ(t.Blocks[size_t(i)].Offset, test::SegmentDataOffset(file, i) + int32_t(c.Header.size()) + extra);
    if (i < 2) {
      EXPECT_EQ(t.Blocks[size_t(i)].Size, int32_t(pieces[size_t(i)].size()));
    }
    covered += t.Blocks[size_t(i)].Size;
  }
  EXPECT_EQ(covered, t.Size);
}

const TSplit kSplitLayouts[] = {
    {"APP2v1", {0xE2, 0xE2, 0xE2}, {}, {}, "1"},
    {"APP2v1AtOne", {0xE2, 0xE2, 0xE2}, {}, {0x00}, "1"},
    {"APP2v2", {0xE2, 0xE2, 0xE2}, Bytes(60, 'h'), {}, "2"},
    {"APP3", {0xE3, 0xE4, 0xE5}, {}, {}, "1"},
    {"FLIR", {0xE1, 0xE1, 0xE1}, Cat({Text("FLIR"), {0, 1, 2, 3}}), {}, ""},
    {"SCALADO", {0xE4, 0xE4, 0xE4}, Cat({Text("SCALADO"), {0}}), {}, ""},
    {"QTIDebugMetadata", {0xE4, 0xE4, 0xE4}, Cat({Text("QTI Debug Metadata"), {0}}), {}, ""},
    {"Qualcomm", {0xE4, 0xE5, 0xE6}, Cat({Text("Qualcomm Camera Debug"), {7}}), {}, ""},
};

INSTANTIATE_TEST_SUITE_P(Layouts, SplitJpegTest, ::testing::ValuesIn(kSplitLayouts),
                         [](const auto& info) { return std::string(info.param.Name); });

// The same pieces with a segment that breaks the joining rule: the picture is never whole,
// and nothing spans the break.
struct TBroken {
  const char* Name;
  TSplit Layout;
  std::vector<uint8_t> Markers;
};

void PrintTo(const TBroken& c, std::ostream* os) { *os << c.Name; }

class BrokenJoinTest : public ::testing::TestWithParam<TBroken> {};

TEST_P(BrokenJoinTest, StopsJoiningAtTheBreak) {
  const TBroken& c = GetParam();
  const Bytes file = test::HostWith(SplitSegments(c.Layout, SmallJpeg(), c.Markers));
  auto thumbs = test::Collect(file);
  for (int i = 0; i < thumbs->ThumbCount(); ++i) {
    const TkelJpegThumb& t = *thumbs->GetThumbs(i);
    EXPECT_LT(t.Completeness, 100);
    EXPECT_LE(t.Blocks.size(), 1u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Breaks, BrokenJoinTest,
    ::testing::Values(TBroken{"APP3ThenAPP3", kSplitLayouts[3], {0xE3, 0xE3, 0xE4}},
                      TBroken{"APP3SkipsAPP4", kSplitLayouts[3], {0xE3, 0xE5, 0xE6}},
                      TBroken{"QualcommAllInAPP4", kSplitLayouts[7], {0xE4, 0xE4, 0xE4}},
                      TBroken{"APP2v1ThenAPP3", kSplitLayouts[0], {0xE2, 0xE3, 0xE3}},
                      TBroken{"APP2v2ThenAPP1", kSplitLayouts[2], {0xE2, 0xE1, 0xE2}},
                      TBroken{"FLIRThenAPP2", kSplitLayouts[4], {0xE1, 0xE2, 0xE1}},
                      TBroken{"SCALADOThenAPP5", kSplitLayouts[5], {0xE4, 0xE5, 0xE4}},
                      TBroken{"QTIDebugMetadataThenAPP3", kSplitLayouts[6], {0xE4, 0xE3, 0xE4}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(FLIRHandler, FindsPngAndJpegInTheJoinedData) {
  const std::string ppm = test::WriteSmoothPpm(24, 16);
  const std::string png = test::TempPath(".png");
  ASSERT_EQ(test::RunCommand(std::string(VT_CONVERT) + " " + test::Quote(ppm) + " " + test::Quote(png)), 0);
  const Bytes pngBytes = test::ReadBytes(png);
  const Bytes jpeg = SmallJpeg();
  const Bytes joined = Cat({pngBytes, Text("between"), jpeg});
  const std::vector<Bytes> pieces = test::SplitInto(joined, 3);
  std::vector<Bytes> segments;
  for (const Bytes& p : pieces) segments.push_back(Segment(0xE1, Cat({Text("FLIR"), {0, 0, 0, 0}, p})));
  auto thumbs = test::Collect(test::HostWith(segments));

  ASSERT_EQ(thumbs->ThumbCount(), 2);
  const TkelJpegThumb& fromPng = *thumbs->GetThumbs(0);
  EXPECT_EQ(fromPng.Offset, 0);
  EXPECT_EQ(fromPng.Width, 24);
  EXPECT_EQ(fromPng.Height, 16);
  EXPECT_EQ(fromPng.Completeness, 100);
  ASSERT_TRUE(fromPng.Bitmap);
  const Bytes rgb = test::ReadBytes(ppm);
  const size_t pixelsAt = rgb.size() - 24 * 16 * 3;
  EXPECT_EQ(fromPng.Bitmap->Pixel(5, 7),
            Color32(rgb[pixelsAt + (7 * 24 + 5) * 3], rgb[pixelsAt + (7 * 24 + 5) * 3 + 1],
                    rgb[pixelsAt + (7 * 24 + 5) * 3 + 2]));
  const TkelJpegThumb& fromJpeg = *thumbs->GetThumbs(1);
  EXPECT_EQ(fromJpeg.Offset, int32_t(pngBytes.size() + 7));
  ExpectPictureOf(fromJpeg, jpeg);
}

// Recognition limits: a segment one byte too short, a wrong marker or a wrong byte in the
// signature is left to the next class.
struct TRecognition {
  const char* Name;
  TkelJpegThumbCanHandle CanHandle;
  uint8_t Marker;
  Bytes Data;
  bool Expected;
};

void PrintTo(const TRecognition& c, std::ostream* os) { *os << c.Name; }

class RecognitionTest : public ::testing::TestWithParam<TRecognition> {};

TEST_P(RecognitionTest, CanHandle) {
  const TRecognition& c = GetParam();
  EXPECT_EQ(c.CanHandle(c.Marker, c.Data.data(), int32_t(c.Data.size()), int32_t(c.Data.size())), c.Expected);
}

const Bytes kSoi = {0xFF, 0xD8, 0xFF};

INSTANTIATE_TEST_SUITE_P(
    Limits, RecognitionTest,
    ::testing::Values(
        TRecognition{"APP2v1AtZero", TkelJpegThumbAPP2v1Handler::CanHandle, 0xE2, Cat({kSoi, {0, 0}}), true},
        TRecognition{"APP2v1ShortFour", TkelJpegThumbAPP2v1Handler::CanHandle, 0xE2, Cat({kSoi, {0}}), false},
        TRecognition{"APP2v1AtTwo", TkelJpegThumbAPP2v1Handler::CanHandle, 0xE2, Cat({{0, 0}, kSoi}), false},
        TRecognition{"APP2v1InAPP3", TkelJpegThumbAPP2v1Handler::CanHandle, 0xE3, Cat({kSoi, {0, 0}}), false},
        TRecognition{"APP2v2Len65", TkelJpegThumbAPP2v2Handler::CanHandle, 0xE2, Cat({Bytes(60, 1), kSoi, {0, 0}}), true},
        TRecognition{"APP2v2Len64", TkelJpegThumbAPP2v2Handler::CanHandle, 0xE2, Cat({Bytes(60, 1), kSoi, {0}}), false},
        TRecognition{"APP3Len4", TkelJpegThumbAPP3Handler::CanHandle, 0xE3, Cat({kSoi, {0}}), true},
        TRecognition{"APP3Len3", TkelJpegThumbAPP3Handler::CanHandle, 0xE3, kSoi, false},
        TRecognition{"QVGALen10", TkelJpegThumbQVGAHandler::CanHandle, 0xE2, Cat({Text("QVGA"), {0}, kSoi, {0, 0}}), true},
        TRecognition{"QVGALen9", TkelJpegThumbQVGAHandler::CanHandle, 0xE2, Cat({Text("QVGA"), {0}, kSoi, {0}}), false},
        TRecognition{"QVGANoZero", TkelJpegThumbQVGAHandler::CanHandle, 0xE2, Cat({Text("QVGAx"), kSoi, {0, 0}}), false},
        TRecognition{"BGTHLen9", TkelJpegThumbBGTHHandler::CanHandle, 0xE2, Cat({Text("BGTH"), kSoi, {0, 0}}), true},
        TRecognition{"BGTHLen8", TkelJpegThumbBGTHHandler::CanHandle, 0xE2, Cat({Text("BGTH"), kSoi, {0}}), false},
        TRecognition{"PDBigTNLen23", TkelJpegThumbPDBigTNHandler::CanHandle, 0xE4,
                     Cat({Text("PDBigTN"), test::Zeros(11), kSoi, {0, 0}}), true},
        TRecognition{"PDBigTNInAPP2", TkelJpegThumbPDBigTNHandler::CanHandle, 0xE2,
                     Cat({Text("PDBigTN"), test::Zeros(11), kSoi, {0, 0}}), false},
        TRecognition{"FLIRLen9", TkelJpegThumbFLIRHandler::CanHandle, 0xE1, Cat({Text("FLIR"), test::Zeros(5)}), true},
        TRecognition{"FLIRLen8", TkelJpegThumbFLIRHandler::CanHandle, 0xE1, Cat({Text("FLIR"), test::Zeros(4)}), false},
        TRecognition{"SCALADONoZero", TkelJpegThumbSCALADOHandler::CanHandle, 0xE4, Text("SCALADOxx"), false},
        TRecognition{"QTILen19", TkelJpegThumbQTIDebugMetadataHandler::CanHandle, 0xE4,
                     Cat({Text("QTI Debug Metadata"), {0}}), true},
        TRecognition{"QualcommLen22", TkelJpegThumbQualcommHandler::CanHandle, 0xE4,
                     Cat({Text("Qualcomm Camera Debug"), {0}}), true},
        TRecognition{"QualcommLen21", TkelJpegThumbQualcommHandler::CanHandle, 0xE4, Text("Qualcomm Camera Debug"),
                     false},
        TRecognition{"QualcommStartsInAPP5", TkelJpegThumbQualcommHandler::CanHandle, 0xE5,
                     Cat({Text("Qualcomm Camera Debug"), {0}}), false}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace vt
