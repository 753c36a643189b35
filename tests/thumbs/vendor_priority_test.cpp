// Segments that several handler classes accept go to the class registered last: the camera
// makers' classes sit at their listed places in the process-wide registry, and the records that
// an ambiguous segment produces show which class took it.
#include <nlohmann/json.hpp>

#include <set>
#include <tuple>

#include "thumbs/handler_registry.h"
#include "thumbs/vendor_fixture.h"

namespace vt {
namespace {

using test::Bytes;
using test::Cat;
using test::Segment;
using test::Text;

TEST(VendorPriority, EveryClassIsRegisteredAtItsPlace) {
  const auto& classes = TkelJpegThumbHandlerRegistry::Instance().Classes();
  std::vector<std::string> names;
  for (const auto& c : classes) names.emplace_back(c.Name);
  const std::vector<std::string> expected = {
      "Base",  "APP2v1",  "APP2v2",  "APP3",    "APP4",      "APP5",    "JFIF",    "JFXX",    "Exif",
      "MPF",   "FPXR2",   "FPXR4",   "FLIR",    "Photoshop", "H3X0",    "HPSC2",   "HPSC1",   "SCRNAIL",
      "PDBigTN", "QVGA",  "BGTH",    "Prv",     "Samsung",   "SCALADO", "QTIDebugMetadata", "Qualcomm"};
  EXPECT_EQ(names, expected);
}

const TkelJpegThumbHandlerClass* ClassNamed(const std::string& name) {
  for (const auto& c : TkelJpegThumbHandlerRegistry::Instance().Classes())
    if (name == c.Name) return &c;
  return nullptr;
}

Bytes SmallJpeg() { return test::Cjpeg("-quality 85", 40, 30, false, 5); }

// An HP header: signature, the word at 4, big-endian width and height, index 1 of 1, padded.
Bytes HpHeader(const char* signature, int wordAt4, int w, int h, size_t size) {
  Bytes header = Cat({Text(signature), test::Be32Bytes(wordAt4), test::Be32Bytes(w), test::Be32Bytes(h),
                      test::Zeros(4), test::Be32Bytes(1), test::Be32Bytes(1)});
  header.resize(size, 0x11);
  return header;
}

// A JPEG stream without SOI whose first segment is a comment long enough to hold, at offset
// 128 of a Samsung segment's data, the marker word and sizes that the APP5 handler looks for.
Bytes SamsungLookingLikeApp5() {
  const Bytes jpeg = SmallJpeg();
  Bytes comment(150, 'c');
  const Bytes app5Fields = {0, 0, 0, 1, 0, 40, 0, 30};  // 128..135 of the segment data
  std::copy(app5Fields.begin(), app5Fields.end(), comment.begin() + (128 - 18 - 4));
  const Bytes noSoi = Cat({{0xFF, 0xFE}, test::Be16Bytes(int(comment.size() + 2)), comment,
                           Bytes(jpeg.begin() + 2, jpeg.end())});
  return Cat({Text("Samsung"), test::Zeros(5), test::Le16Bytes(7), test::Le16Bytes(1), {0, 0}, noSoi});
}

struct TRecord {
  TkelJpegThumbKind Kind;
  std::string Caption;
  int32_t Offset, Width, Height, Completeness;
};

struct TAmbiguous {
  const char* Name;
  uint8_t Marker;
  Bytes Data;
  std::vector<std::string> AcceptedBy;  // the classes that would take the segment, last one wins
  TRecord Expected;
};

void PrintTo(const TAmbiguous& c, std::ostream* os) { *os << c.Name; }

std::vector<TAmbiguous> Cases() {
  const Bytes jpeg = SmallJpeg();
  const Bytes soiThenFiller = Cat({{0xFF, 0xD8, 0xFF}, Bytes(57, 'x')});  // 60 bytes, FF D8 FF at 0
  const Bytes yuv(16 * 8 * 2, 0x80);
  return {
      // The word 1 at 4 picks the 32-byte header; any other word the 36-byte one.
      {"HPSCWordOne", 0xE4, Cat({HpHeader("HPSC", 1, 16, 8, 32), yuv}), {"APP4", "HPSC2", "HPSC1"},
       {tkYCbCr, "1", 0, 16, 8, 100}},
      {"HPSCWordTwo", 0xE4, Cat({HpHeader("HPSC", 2, 16, 8, 36), yuv}), {"APP4", "HPSC2"},
       {tkYCbCr, "2", 0, 16, 8, 100}},
      {"H3X0", 0xE4, Cat({HpHeader("H3X0", 0, 16, 8, 28), yuv}), {"APP4", "H3X0"}, {tkYCbCr, "", 0, 16, 8, 100}},
      {"SCRNAIL", 0xE4, Cat({Text("SCRNAIL"), {0}, Bytes(15360, 0x80)}), {"APP4", "SCRNAIL"},
       {tkYCbCr, "", 0, 320, 240, 10}},
      {"PDBigTN", 0xE4, Cat({Text("PDBigTN"), test::Zeros(11), jpeg}), {"APP4", "PDBigTN"},
       {tkJpeg, "", 18, 40, 30, 100}},
      {"SCALADO", 0xE4, Cat({Text("SCALADO"), {0}, jpeg}), {"APP4", "SCALADO"}, {tkJpeg, "", 0, 40, 30, 100}},
      {"QTIDebugMetadata", 0xE4, Cat({Text("QTI Debug Metadata"), {0}, jpeg}), {"APP4", "QTIDebugMetadata"},
       {tkJpeg, "", 0, 40, 30, 100}},
      {"Qualcomm", 0xE4, Cat({Text("Qualcomm Camera Debug"), {0}, jpeg}), {"APP4", "Qualcomm"},
       {tkJpeg, "", 0, 40, 30, 100}},
      {"Samsung", 0xE5, SamsungLookingLikeApp5(), {"APP5", "Samsung"}, {tkJpegNoSOI, "", 0, 40, 30, 100}},
      // FF D8 FF at 0 and at 60: the 60-byte header layout is asked first.
      {"APP2v2", 0xE2, Cat({soiThenFiller, jpeg}), {"APP2v1", "APP2v2"}, {tkJpeg, "2", 0, 40, 30, 100}},
      {"BGTH", 0xE2, Cat({Text("BGTH"), test::Slice(soiThenFiller, 0, 56), jpeg}), {"APP2v2", "BGTH"},
       {tkJpeg, "", 60, 40, 30, 100}},
      {"QVGA", 0xE2, Cat({Text("QVGA"), {0}, test::Slice(soiThenFiller, 0, 55), jpeg}), {"APP2v2", "QVGA"},
       {tkJpeg, "", 60, 40, 30, 100}},
  };
}

class AmbiguousSegmentTest : public ::testing::TestWithParam<TAmbiguous> {};

TEST_P(AmbiguousSegmentTest, GoesToTheClassRegisteredLast) {
  const TAmbiguous& c = GetParam();
  const int32_t n = int32_t(c.Data.size());
  for (const std::string& name : c.AcceptedBy) {
    const TkelJpegThumbHandlerClass* cls = ClassNamed(name);
    ASSERT_NE(cls, nullptr) << name;
    EXPECT_TRUE(cls->CanHandle(c.Marker, c.Data.data(), n, n)) << name << " should accept the segment";
  }
  auto thumbs = test::Collect(test::HostWith({Segment(c.Marker, c.Data)}));
  ASSERT_EQ(thumbs->ThumbCount(), 1);
  const TkelJpegThumb& t = *thumbs->GetThumbs(0);
  const TRecord& e = c.Expected;
  EXPECT_EQ(t.Kind, e.Kind);
  EXPECT_EQ(t.Caption, e.Caption);
  EXPECT_EQ(t.Offset, e.Offset);
  EXPECT_EQ(t.Width, e.Width);
  EXPECT_EQ(t.Height, e.Height);
  EXPECT_EQ(t.Completeness, e.Completeness);
}

INSTANTIATE_TEST_SUITE_P(Segments, AmbiguousSegmentTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.Name); });

// A picture that follows another of the same layout does not continue it: the numbering
// breaks, the instance ends, and the segment starts a new instance of the same class.
struct TBackToBack {
  const char* Name;
  std::vector<Bytes> (*Segments)(const Bytes& jpeg, int picture);
  TkelJpegThumbKind Kind;
};

void PrintTo(const TBackToBack& c, std::ostream* os) { *os << c.Name; }

std::vector<Bytes> App3Chain(const Bytes& jpeg, int) {
  const std::vector<Bytes> pieces = test::SplitInto(jpeg, 2);
  return {Segment(0xE3, pieces[0]), Segment(0xE4, pieces[1])};
}

std::vector<Bytes> QualcommChain(const Bytes& jpeg, int) {
  const std::vector<Bytes> pieces = test::SplitInto(jpeg, 2);
  const Bytes header = Cat({Text("Qualcomm Camera Debug"), {0}});
  return {Segment(0xE4, Cat({header, pieces[0]})), Segment(0xE5, Cat({header, pieces[1]}))};
}

std::vector<Bytes> SamsungChain(const Bytes& jpeg, int) {  // the same image id both times
  const std::vector<Bytes> pieces = test::SplitInto(test::Slice(jpeg, 2, jpeg.size()), 2);
  const Bytes head = Cat({Text("Samsung"), test::Zeros(5), test::Le16Bytes(5)});
  return {Segment(0xE5, Cat({head, test::Le16Bytes(1), {0, 0}, pieces[0]})),
          Segment(0xE5, Cat({head, test::Le16Bytes(2), pieces[1]}))};
}

std::vector<Bytes> H3X0Chain(const Bytes&, int picture) {  // 16 x 8 in two segments, same size both times
  std::vector<Bytes> out;
  for (int i = 1; i <= 2; ++i) {
    Bytes header = HpHeader("H3X0", 0, 16, 8, 28);
    std::copy_n(test::Be32Bytes(i).begin(), 4, header.begin() + 20);
    std::copy_n(test::Be32Bytes(2).begin(), 4, header.begin() + 24);
    out.push_back(Segment(0xE4, Cat({header, Bytes(128, uint8_t(0x40 + picture * 0x40))})));
  }
  return out;
}

std::vector<Bytes> PrvChain(const Bytes&, int picture) {  // 4 x 2 RGB in one piece
  return {Segment(0xEA, Cat({Text("prv0"), test::Be16Bytes(1), test::Be16Bytes(4), test::Be16Bytes(2),
                             Bytes(24, uint8_t(0x40 + picture * 0x40))}))};
}

class BackToBackTest : public ::testing::TestWithParam<TBackToBack> {};

TEST_P(BackToBackTest, SecondPictureStartsANewInstance) {
  const TBackToBack& c = GetParam();
  const Bytes first = test::Cjpeg("-quality 85", 40, 30, false, 5), second = test::Cjpeg("-quality 85", 48, 32, false, 6);
  std::vector<Bytes> segments = c.Segments(first, 0);
  for (const Bytes& s : c.Segments(second, 1)) segments.push_back(s);
  auto thumbs = test::Collect(test::HostWith(segments));
  ASSERT_EQ(thumbs->ThumbCount(), 2);
  for (int i = 0; i < 2; ++i) {
    const TkelJpegThumb& t = *thumbs->GetThumbs(i);
    EXPECT_EQ(t.Kind, c.Kind);
    EXPECT_EQ(t.Completeness, 100);
  }
  if (c.Kind != tkJpeg && c.Kind != tkJpegNoSOI) {
    // The raw pictures differ in their bytes: each record holds its own.
    EXPECT_NE(thumbs->GetThumbs(0)->Bitmap->Pixel(0, 0), thumbs->GetThumbs(1)->Bitmap->Pixel(0, 0));
  } else {
    EXPECT_EQ(thumbs->GetThumbs(0)->Width, 40);
    EXPECT_EQ(thumbs->GetThumbs(1)->Width, 48);
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, BackToBackTest,
                         ::testing::Values(TBackToBack{"APP3", App3Chain, tkJpeg},
                                           TBackToBack{"Qualcomm", QualcommChain, tkJpeg},
                                           TBackToBack{"Samsung", SamsungChain, tkJpegNoSOI},
                                           TBackToBack{"H3X0", H3X0Chain, tkYCbCr},
                                           TBackToBack{"Prv", PrvChain, tkRGB}),
                         [](const auto& info) { return std::string(info.param.Name); });

// The same choices as the command line reports them, all in one file.
TEST(VendorPriority, CliReportsTheRecordsOfTheWinningClasses) {
  std::vector<Bytes> segments;
  std::multiset<std::tuple<int, std::string, int, int, int>> expected;
  for (const TAmbiguous& c : Cases()) {
    segments.push_back(Segment(c.Marker, c.Data));
    // A COM segment between the blocks keeps a multi-segment class from continuing into the next.
    segments.push_back(Segment(0xFE, Text("next")));
    expected.insert({int(c.Expected.Kind), c.Expected.Caption, c.Expected.Width, c.Expected.Height,
                     c.Expected.Completeness});
  }
  const std::string path = test::TempPath(".jpg");
  test::WriteBytes(path, test::HostWith(segments));
  std::string out;
  ASSERT_EQ(test::RunCommand(std::string(VT_CLI) + " info --json " + test::Quote(path), &out), 0);
  const nlohmann::json info = nlohmann::json::parse(out);
  std::multiset<std::tuple<int, std::string, int, int, int>> found;
  for (const auto& t : info["thumbnails"])
    found.insert({t["kind"].get<int>(), t["caption"].get<std::string>(), t["width"].get<int>(),
                  t["height"].get<int>(), t["completeness"].get<int>()});
  EXPECT_TRUE(found == expected) << out;
}

}  // namespace
}  // namespace vt
