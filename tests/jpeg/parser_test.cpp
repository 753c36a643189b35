// The marker parser: structural result codes, skipped bytes, events, APP blocks, segment
// validation, the colour-model decision and the header ID.
#include <gtest/gtest.h>

#include "jpeg/decode_helpers.h"
#include "jpeg/jpeg_id.h"
#include "jpeg/kel_swap.h"

namespace vt::test {
namespace {

Bytes Seg(int marker, const Bytes& payload) {
  Bytes b = {0xFF, static_cast<uint8_t>(marker), static_cast<uint8_t>((payload.size() + 2) >> 8),
             static_cast<uint8_t>(payload.size() + 2)};
  b.insert(b.end(), payload.begin(), payload.end());
  return b;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

const Bytes kSOI = {0xFF, 0xD8};
const Bytes kEOI = {0xFF, 0xD9};

Bytes Sof(int marker, int w, int h, std::initializer_list<std::array<int, 3>> comps) {
  Bytes p = {8, static_cast<uint8_t>(h >> 8), static_cast<uint8_t>(h), static_cast<uint8_t>(w >> 8),
             static_cast<uint8_t>(w), static_cast<uint8_t>(comps.size())};
  for (const auto& c : comps) {
    p.push_back(static_cast<uint8_t>(c[0]));
    p.push_back(static_cast<uint8_t>(c[1]));
    p.push_back(static_cast<uint8_t>(c[2]));
  }
  return Seg(marker, p);
}

TEST(Swap, ReversesBytes) {
  EXPECT_EQ(Swap16(0x1234), 0x3412);
  EXPECT_EQ(Swap32(0x12345678u), 0x78563412u);
}

struct StructureCase {
  const char* Name;
  Bytes Data;
  int Result;
};

void PrintTo(const StructureCase& c, std::ostream* os) { *os << c.Name; }

class StructureTest : public ::testing::TestWithParam<StructureCase> {};

TEST_P(StructureTest, ResultCode) {
  KeepingParser p;
  EXPECT_EQ(LoadBytes(p, GetParam().Data), GetParam().Result);
}

const Bytes kGreyFrame = Sof(0xC0, 8, 8, {{{1, 0x11, 0}}});

INSTANTIATE_TEST_SUITE_P(
    Parser, StructureTest,
    ::testing::Values(
        StructureCase{"OnlySoiEoi", Cat({kSOI, kEOI}), jrBadStructure},
        StructureCase{"OtherMarkerFirst", Cat({Seg(0xE0, {1, 2}), kEOI}), jrBadStructure},
        StructureCase{"NotAMarkerFirst", Bytes{0x89, 0x50, 0x4E, 0x47}, jrBadData},
        StructureCase{"Empty", {}, jrEndOfData},
        StructureCase{"SecondSof", Cat({kSOI, kGreyFrame, kGreyFrame}), jrBadStructure},
        StructureCase{"Sof3AtFirstSos",
                      Cat({kSOI, Sof(0xC3, 8, 8, {{{1, 0x11, 0}}}), Seg(0xDA, {1, 1, 0x00, 0, 63, 0})}),
                      jrUnsupportedProcess},
        StructureCase{"ArithmeticAtFirstSos",
                      Cat({kSOI, Sof(0xC9, 8, 8, {{{1, 0x11, 0}}}), Seg(0xDA, {1, 1, 0x00, 0, 63, 0})}),
                      jrUnsupportedProcess},
        StructureCase{"SosBeforeSof", Cat({kSOI, Seg(0xDA, {1, 1, 0x00, 0, 63, 0})}), jrBadStructure},
        // Skipped up to the frame, which is then the last thing the data holds.
        StructureCase{"GarbageBetweenSegments", Cat({kSOI, Seg(0xE0, {1}), {0x42}, kGreyFrame}), jrEndOfData},
        StructureCase{"GarbageBeforeAMarkerWithoutParser", Cat({kSOI, {0x42, 0x43}, Seg(0xCC, {0, 0})}), jrBadStructure},
        StructureCase{"MarkerWithoutParser", Cat({kSOI, Seg(0xCC, {0, 0})}), jrBadStructure},
        StructureCase{"RstBeforeScan", Cat({kSOI, {0xFF, 0xD0}}), jrBadStructure},
        StructureCase{"ShortSegment", Cat({kSOI, Seg(0xDB, Bytes(65, 1))}).size() ? Bytes{0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0, 1} : Bytes{}, jrEndOfData},
        StructureCase{"LengthBelowTwo", Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x01}, jrEndOfData},
        StructureCase{"CutInLength", Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0x00}, jrEndOfData},
        StructureCase{"SofWidthZero", Cat({kSOI, Sof(0xC0, 0, 8, {{{1, 0x11, 0}}})}), jrBadData},
        StructureCase{"SofFiveComponents",
                      Cat({kSOI, Sof(0xC0, 8, 8, {{{1, 0x11, 0}}, {{2, 0x11, 0}}, {{3, 0x11, 0}}, {{4, 0x11, 0}}, {{5, 0x11, 0}}})}),
                      jrBadData},
        StructureCase{"SofSamplingThree", Cat({kSOI, Sof(0xC0, 8, 8, {{{1, 0x31, 0}}})}), jrBadData},
        StructureCase{"SofQuantTableFour", Cat({kSOI, Sof(0xC0, 8, 8, {{{1, 0x11, 4}}})}), jrBadData},
        StructureCase{"SofTrailingByte", Cat({kSOI, Seg(0xC0, {8, 0, 8, 0, 8, 1, 1, 0x11, 0, 0})}), jrBadData},
        StructureCase{"DqtTableFour", Cat({kSOI, Seg(0xDB, [] { Bytes b(65, 1); b[0] = 4; return b; }())}), jrBadData},
        StructureCase{"DqtPrecisionTwo", Cat({kSOI, Seg(0xDB, [] { Bytes b(65, 1); b[0] = 0x20; return b; }())}), jrBadData},
        StructureCase{"DqtTooShort", Cat({kSOI, Seg(0xDB, Bytes(64, 0))}), jrBadData},
        StructureCase{"DhtClassTwo", Cat({kSOI, Seg(0xC4, [] { Bytes b(17, 0); b[0] = 0x20; return b; }())}), jrBadData},
        StructureCase{"DhtValuesMissing", Cat({kSOI, Seg(0xC4, [] { Bytes b(17, 0); b[3] = 4; return b; }())}), jrBadData},
        StructureCase{"DriThreeBytes", Cat({kSOI, Seg(0xDD, {0, 1, 0})}), jrBadData},
        StructureCase{"SosUnknownComponent", Cat({kSOI, kGreyFrame, Seg(0xDA, {1, 9, 0x00, 0, 63, 0})}), jrBadData},
        StructureCase{"SosTablesUndefined", Cat({kSOI, kGreyFrame, Seg(0xDA, {1, 1, 0x00, 0, 63, 0})}), jrBadData}),
    [](const auto& info) { return std::string(info.param.Name); });

// One 8x8 grey block whose data is a single zero byte: DC code "0" (difference 0), AC code
// "0" (end of block). Each table is the smallest valid one: one code of length 1, value 0.
const Bytes kOneCodeTables = Cat({Seg(0xDB, [] { Bytes b(65, 1); b[0] = 0x00; return b; }()),
                                  Seg(0xC4, [] { Bytes b(18, 0); b[1] = 1; return b; }()),
                                  Seg(0xC4, [] { Bytes b(18, 0); b[0] = 0x10; b[1] = 1; return b; }())});
const Bytes kScanData = {0x00};

Bytes GreyScan(int frameMarker, const Bytes& tables, const Bytes& sos) {
  return Cat({kSOI, Sof(frameMarker, 8, 8, {{{1, 0x11, 0}}}), tables, Seg(0xDA, sos), kScanData, kEOI});
}

// Scan header checks and the table checks made when a scan starts. The first two cases show
// that the fixture itself decodes, so every failure below comes from the one byte changed.
class ScanHeaderTest : public ::testing::TestWithParam<StructureCase> {};

TEST_P(ScanHeaderTest, ResultCode) {
  KeepingParser p;
  EXPECT_EQ(LoadBytes(p, GetParam().Data), GetParam().Result);
}

INSTANTIATE_TEST_SUITE_P(
    Parser, ScanHeaderTest,
    ::testing::Values(
        StructureCase{"BaselineFixtureDecodes", GreyScan(0xC0, kOneCodeTables, {1, 1, 0x00, 0, 63, 0}), jrOK},
        StructureCase{"ProgressiveDcFixtureDecodes", GreyScan(0xC2, kOneCodeTables, {1, 1, 0x00, 0, 0, 0x0D}), jrOK},
        StructureCase{"NoComponents", GreyScan(0xC0, kOneCodeTables, {0, 0, 63, 0}), jrBadData},
        StructureCase{"FiveComponents", GreyScan(0xC0, kOneCodeTables, {5, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 0, 63, 0}), jrBadData},
        StructureCase{"ComponentBytesMissing", GreyScan(0xC0, kOneCodeTables, {2, 1, 0x00, 0, 63}), jrBadData},
        StructureCase{"TableByteAbove63", GreyScan(0xC2, kOneCodeTables, {1, 1, 0x40, 0, 0, 0}), jrBadData},
        StructureCase{"AcTableFour", GreyScan(0xC0, kOneCodeTables, {1, 1, 0x04, 0, 63, 0}), jrBadData},
        StructureCase{"SpectralBytesMissing", GreyScan(0xC0, kOneCodeTables, {1, 1, 0x00, 0, 63}), jrBadData},
        StructureCase{"TrailingByte", GreyScan(0xC0, kOneCodeTables, {1, 1, 0x00, 0, 63, 0, 0}), jrBadData},
        // Slots 0 and 1 fall back on the standard tables; slots 2 and 3 have none.
        StructureCase{"BaselineDcTableUndefined", GreyScan(0xC0, kOneCodeTables, {1, 1, 0x20, 0, 63, 0}), jrBadData},
        StructureCase{"BaselineAcTableThreeUndefined", GreyScan(0xC0, kOneCodeTables, {1, 1, 0x03, 0, 63, 0}), jrBadData},
        // Standard chrominance DC table: code 00 is a zero difference, then the one-code AC table.
        StructureCase{"BaselineDcTableOneIsStandard", GreyScan(0xC0, kOneCodeTables, {1, 1, 0x10, 0, 63, 0}), jrOK},
        StructureCase{"ProgressiveDcWithAcBand", GreyScan(0xC2, kOneCodeTables, {1, 1, 0x00, 0, 5, 0}), jrBadData},
        StructureCase{"ProgressiveBandEndsBeforeStart", GreyScan(0xC2, kOneCodeTables, {1, 1, 0x00, 5, 3, 0}), jrBadData},
        StructureCase{"ProgressiveBandPast63", GreyScan(0xC2, kOneCodeTables, {1, 1, 0x00, 1, 64, 0}), jrBadData},
        StructureCase{"ProgressiveAlAbove13", GreyScan(0xC2, kOneCodeTables, {1, 1, 0x00, 0, 0, 0x0E}), jrBadData},
        StructureCase{"ProgressiveRefinementSkipsABit", GreyScan(0xC2, kOneCodeTables, {1, 1, 0x00, 0, 0, 0x20}), jrBadData},
        StructureCase{"ProgressiveAcScanOfTwoComponents",
                      Cat({kSOI, Sof(0xC2, 8, 8, {{{1, 0x11, 0}}, {{2, 0x11, 0}}}), kOneCodeTables,
                           Seg(0xDA, {2, 1, 0x00, 2, 0x00, 1, 5, 0}), kScanData, kEOI}),
                      jrBadData},
        // Checked when the scan starts: a progressive DC scan needs its DC table, every scan
        // its quantisation table, and a Huffman table must form a prefix code.
        StructureCase{"ProgressiveDcTableUndefined", GreyScan(0xC2, kOneCodeTables, {1, 1, 0x20, 0, 0, 0}), jrBadData},
        StructureCase{"QuantTableUndefined",
                      Cat({kSOI, Sof(0xC0, 8, 8, {{{1, 0x11, 1}}}), kOneCodeTables, Seg(0xDA, {1, 1, 0x00, 0, 63, 0}),
                           kScanData, kEOI}),
                      jrBadData},
        StructureCase{"ThreeCodesOfLengthOne",
                      GreyScan(0xC0,
                               Cat({Seg(0xDB, [] { Bytes b(65, 1); b[0] = 0x00; return b; }()),
                                    Seg(0xC4, [] { Bytes b(20, 0); b[1] = 3; return b; }()),
                                    Seg(0xC4, [] { Bytes b(18, 0); b[0] = 0x10; b[1] = 1; return b; }())}),
                               {1, 1, 0x00, 0, 63, 0}),
                      jrBadData},
        StructureCase{"TableWithoutCodes",
                      GreyScan(0xC0,
                               Cat({Seg(0xDB, [] { Bytes b(65, 1); b[0] = 0x00; return b; }()),
                                    Seg(0xC4, Bytes(17, 0)),
                                    Seg(0xC4, [] { Bytes b(18, 0); b[0] = 0x10; b[1] = 1; return b; }())}),
                               {1, 1, 0x00, 0, 63, 0}),
                      jrBadData},
        StructureCase{"MoreThan256HuffmanValues",
                      Cat({kSOI, Seg(0xC4, [] { Bytes b(17 + 257, 0); b[9] = 255; b[10] = 2; return b; }())}),
                      jrBadData}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(Parser, SkippedFillBytesAndMarkerOffset) {
  // FF D8, then FF FF FF E1: two fill bytes reported, APP1 parsed at the last FF.
  const Bytes data = Cat({kSOI, {0xFF, 0xFF}, Seg(0xE1, {'a', 'b'}), kGreyFrame});
  KeepingParser p(0, true);
  EXPECT_EQ(LoadBytes(p, data), jrEndOfData);
  EXPECT_EQ(p.Skipped.size(), 2u);
  EXPECT_EQ(p.Skipped[0], 0xFF);
  ASSERT_EQ(p.AppSegments.size(), 1u);
  EXPECT_EQ(p.AppSegments[0].Marker, 0xE1);
  ASSERT_GE(p.AppBlocks.size(), 1u);
  EXPECT_EQ(p.AppBlocks[0].Offset, 4);
}

TEST(Parser, GarbageByteIsReportedAndSkipped) {
  const Bytes data = Cat({kSOI, Seg(0xE0, {1}), {0x42}, kGreyFrame});
  KeepingParser p(0, true);
  EXPECT_EQ(LoadBytes(p, data), jrEndOfData);
  ASSERT_EQ(p.Skipped.size(), 1u);
  EXPECT_EQ(p.Skipped[0], 0x42);
  EXPECT_TRUE(p.DataErrors);
  EXPECT_TRUE(p.FrameSeen);
  // The APP block ends at the garbage byte; the frame behind it is read.
  ASSERT_EQ(p.AppBlocks.size(), 1u);
  EXPECT_EQ(p.AppBlocks[0].Data.size(), 5u);
  EXPECT_EQ(p.Position, static_cast<int64_t>(data.size()));
}

TEST(Parser, GarbageBeforeTheStartOfImageIsNotSkipped) {
  // Only a file that begins with its start-of-image marker is a JPEG; the byte stays unread.
  KeepingParser p;
  EXPECT_EQ(LoadBytes(p, Cat({{0x42}, kSOI, kGreyFrame})), jrBadData);
  EXPECT_EQ(p.Skipped, std::vector<int>{0x42});
  EXPECT_EQ(p.Position, 0);
}

TEST(Parser, AppSegmentRunningPastTheEnd) {
  Bytes data = Cat({kSOI, Seg(0xE1, Bytes(100, 7))});
  data.resize(data.size() - 60);
  KeepingParser p(0, true);
  EXPECT_EQ(LoadBytes(p, data), jrEndOfData);
  ASSERT_EQ(p.AppSegments.size(), 1u);
  EXPECT_EQ(p.AppSegments[0].Length, 100);
  EXPECT_EQ(p.AppSegments[0].Count, 40);
  ASSERT_EQ(p.AppBlocks.size(), 1u);
  EXPECT_EQ(p.AppBlocks[0].Data.size(), 44u);
  EXPECT_EQ(p.AppBlocks[0].Data[3], 102);  // the header keeps the declared length
}

TEST(Parser, AppBlocksGroupConsecutiveSegmentsOnlyWhenAsked) {
  const Bytes jpeg = Cjpeg("-quality 80", 16, 16);
  const Bytes data = Cat({kSOI, Seg(0xE1, {1, 2}), Seg(0xFE, {3}), Bytes(jpeg.begin() + 2, jpeg.end())});
  KeepingParser collecting(0, true), plain(0, false);
  EXPECT_EQ(LoadBytes(collecting, data), jrOK);
  EXPECT_EQ(LoadBytes(plain, data), jrOK);
  EXPECT_TRUE(plain.AppBlocks.empty());
  ASSERT_EQ(collecting.AppBlocks.size(), 1u);  // APP1, COM and cjpeg's APP0 are adjacent
  EXPECT_EQ(collecting.AppBlocks[0].Offset, 2);
  EXPECT_EQ(collecting.AppBlocks[0].Data.size(), 6u + 5u + 18u);
}

TEST(Parser, HeadersOnlyStopsAfterScanHeader) {
  const Bytes jpeg = Cjpeg("-quality 80 -sample 2x2", 40, 30);
  KeepingParser p;
  EXPECT_EQ(LoadBytes(p, jpeg, pfHeadersOnly), jrOK);
  EXPECT_EQ(p.ScanDataOffset, static_cast<int64_t>(FirstScanData(jpeg)));
  EXPECT_EQ(p.Position, p.ScanDataOffset);
  EXPECT_EQ(p.ScanCount, 0);
  EXPECT_EQ(p.MCUsPerRow, 3);
  EXPECT_EQ(p.MCURows, 2);
}

TEST(Parser, StopWhenCompleteSkipsTheRest) {
  Bytes jpeg = Cjpeg("-quality 80", 24, 24);
  const size_t end = jpeg.size();
  jpeg.insert(jpeg.end() - 2, {0x13, 0x37});  // garbage before EOI that a full parse rejects
  KeepingParser full, stop;
  EXPECT_EQ(LoadBytes(full, jpeg), jrBadData);
  EXPECT_EQ(LoadBytes(stop, jpeg, pfStopWhenComplete), jrOK);
  EXPECT_EQ(stop.Position, static_cast<int64_t>(end - 2));
}

TEST(Parser, RecordsRawAppSegmentsAndHeaderID) {
  const Bytes plain = Cjpeg("-quality 80", 16, 16);
  // cjpeg's APP0 (JFIF, 14 payload bytes) is at offset 2; add a COM segment after it.
  Bytes jpeg = Cat({Bytes(plain.begin(), plain.begin() + 20), Seg(0xFE, {'h', 'e', 'l', 'l', 'o'}),
                    Bytes(plain.begin() + 20, plain.end())});
  KeepingParser p;
  EXPECT_EQ(LoadBytes(p, jpeg, pfRecordSegments), jrOK);
  // APP0 and COM ("hello"), each with marker and length.
  ASSERT_EQ(p.RawSegments.Length, 18 + 9);
  EXPECT_EQ(p.RawSegments.Data[1], 0xE0);
  EXPECT_EQ(p.RawSegments.Data[19], 0xFE);
  EXPECT_EQ(p.RawSegments.Data[26], 'o');
  ASSERT_NE(p.ID, nullptr);
  EXPECT_EQ(p.ID->Data[0], 0xFF);
  EXPECT_EQ(p.ID->Data[1], 0xD8);
  EXPECT_EQ(p.ID->Width, 16);
  EXPECT_EQ(p.ID->ScanHeader.size(), 14u);  // FF DA, length, 1 + 3 * 2 + 3 payload bytes
  EXPECT_EQ(static_cast<size_t>(p.ID->Length), FirstScanData(jpeg) - 18 - 9);  // all but APPn/COM
}

TEST(JpegID, CloneCompareAndPatch) {
  const Bytes jpeg = Cjpeg("-quality 80", 20, 12);
  KeepingParser a, b;
  LoadBytes(a, jpeg, pfHeadersOnly);
  LoadBytes(b, jpeg, pfHeadersOnly);
  ASSERT_TRUE(a.ID && b.ID);
  EXPECT_TRUE(a.ID->SameAs(*b.ID));
  EXPECT_TRUE(a.ID->SameScanHeader(b.ID->ScanHeader.data(), static_cast<int32_t>(b.ID->ScanHeader.size())));
  // The scan header sets the size to whole MCUs.
  EXPECT_EQ(a.ID->Width, 32);
  EXPECT_EQ(a.ID->Height, 16);
  std::unique_ptr<TkelJpegID> c = a.ID->Clone();
  c->Text1 = "x";
  c->SetHeight(300);
  EXPECT_EQ(c->Height, 300);
  EXPECT_EQ(c->Data[static_cast<size_t>(c->SofSizeOffset)], 1);
  EXPECT_EQ(c->Data[static_cast<size_t>(c->SofSizeOffset) + 1], 44);
  EXPECT_FALSE(c->SameAs(*a.ID));
  c->SetHeight(16);
  EXPECT_TRUE(c->SameAs(*a.ID));
}

// ---------------------------------------------------------------- colour model

struct ColorCase {
  const char* Name;
  Bytes Apps;
  std::vector<std::array<int, 3>> Comps;
  int Forced;
  int Model;
};

void PrintTo(const ColorCase& c, std::ostream* os) { *os << c.Name; }

class ColorModelTest : public ::testing::TestWithParam<ColorCase> {};

TEST_P(ColorModelTest, Decision) {
  const ColorCase& c = GetParam();
  Bytes p = {8, 0, 8, 0, 8, static_cast<uint8_t>(c.Comps.size())};
  for (const auto& comp : c.Comps) p.insert(p.end(), {static_cast<uint8_t>(comp[0]), static_cast<uint8_t>(comp[1]), static_cast<uint8_t>(comp[2])});
  const Bytes data = Cat({kSOI, c.Apps, Seg(0xC0, p)});
  KeepingParser parser;
  TTempMemoryStream s;
  s.SetPointer(data.data(), static_cast<int64_t>(data.size()));
  parser.LoadFromStream(s, 0, c.Forced);
  EXPECT_EQ(parser.GetColorModel(), c.Model);
}

const Bytes kJfif = Seg(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
Bytes Adobe(int transform, size_t size = 12) {
  Bytes b = {'A', 'd', 'o', 'b', 'e', 0, 0, 100, 0, 0, 0, 0};
  b[11] = static_cast<uint8_t>(transform);
  b.resize(size, 0);
  return Seg(0xEE, b);
}

INSTANTIATE_TEST_SUITE_P(
    Parser, ColorModelTest,
    ::testing::Values(
        ColorCase{"Grey", {}, {{1, 0x11, 0}}, 0, cmGray},
        ColorCase{"TwoComponents", {}, {{1, 0x11, 0}, {2, 0x11, 0}}, 0, cmGrayAlpha},
        ColorCase{"Ids123Sampled1x1IsYCbCr", {}, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}}, 0, cmYCbCr},
        ColorCase{"Ids012", {}, {{0, 0x22, 0}, {1, 0x11, 0}, {2, 0x11, 0}}, 0, cmYCbCr},
        ColorCase{"RgbIdsWithLumaSampling", {}, {{'R', 0x22, 0}, {'G', 0x11, 0}, {'B', 0x11, 0}}, 0, cmRGB},
        ColorCase{"OtherIds1x1IsRGB", {}, {{7, 0x11, 0}, {8, 0x11, 0}, {9, 0x11, 0}}, 0, cmRGB},
        ColorCase{"OtherIdsSubsampledStaysYCbCr", {}, {{7, 0x22, 0}, {8, 0x11, 0}, {9, 0x11, 0}}, 0, cmYCbCr},
        ColorCase{"YCc", {}, {{'Y', 0x22, 0}, {'C', 0x11, 0}, {'c', 0x11, 0}}, 0, cmYCc},
        ColorCase{"JfifWins", kJfif, {{'R', 0x11, 0}, {'G', 0x11, 0}, {'B', 0x11, 0}}, 0, cmYCbCr},
        ColorCase{"AdobeZeroThree", Adobe(0), {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}}, 0, cmRGB},
        ColorCase{"AdobeZeroFour", Adobe(0), {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}, {4, 0x11, 0}}, 0, cmCMYK},
        ColorCase{"AdobeTwo", Adobe(2), {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}, {4, 0x11, 0}}, 0, cmYCCK},
        ColorCase{"AdobeOne", Adobe(1), {{'R', 0x11, 0}, {'G', 0x11, 0}, {'B', 0x11, 0}}, 0, cmYCbCr},
        ColorCase{"AdobeThirteenBytesIgnored", Adobe(0, 13), {{1, 0x22, 0}, {2, 0x11, 0}, {3, 0x11, 0}}, 0, cmYCbCr},
        ColorCase{"G3Fax", Seg(0xE1, {'G', '3', 'F', 'A', 'X', 0}), {{1, 0x11, 0}}, 0, cmG3Fax},
        ColorCase{"FourComponent", {}, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}, {4, 0x11, 0}}, 0, cmFourComponent},
        ColorCase{"FourComponentIcc", Seg(0xE2, {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, 1}),
                  {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}, {4, 0x11, 0}}, 0, cmFourComponentICC},
        ColorCase{"Rgba", {}, {{'R', 0x11, 0}, {'G', 0x11, 0}, {'B', 0x11, 0}, {'A', 0x11, 0}}, 0, cmRGBA},
        ColorCase{"YCcA", {}, {{'Y', 0x22, 0}, {'C', 0x11, 0}, {'c', 0x11, 0}, {'A', 0x22, 0}}, 0, cmYCcA},
        ColorCase{"FourSubsampledDefault", {}, {{5, 0x22, 0}, {6, 0x11, 0}, {7, 0x11, 0}, {8, 0x11, 0}}, 0, cmYCCK},
        ColorCase{"Forced", {}, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}}, cmYCbCrSwapped, cmYCbCrSwapped}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(Parser, NoFrameNoColorModel) {
  KeepingParser p;
  LoadBytes(p, Cat({kSOI, kJfif}));
  EXPECT_EQ(p.GetColorModel(), 0);
  EXPECT_EQ(p.DecodedPercent(), 0);
}

// ---------------------------------------------------------------- maps

TEST(JpegMap, ResizingKeepsCellsInsideAndZeroesNewOnes) {
  for (bool dense : {true, false}) {
    SCOPED_TRACE(dense);
    TkelJpegMap m(2, dense);
    m.SetColumns(20);
    m.SetRows(3);
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 20; ++c) m.WritableCell(c, r)[0] = static_cast<uint8_t>(r * 20 + c + 1);
    m.SetColumns(17);  // shrink inside a chunk
    m.SetColumns(33);  // and grow again
    m.SetRows(5);
    EXPECT_EQ(m.RowStride, 66);
    for (int r = 0; r < 5; ++r)
      for (int c = 0; c < 33; ++c) {
        const uint8_t* cell = m.Cell(c, r);
        const uint8_t want = (r < 3 && c < 17) ? static_cast<uint8_t>(r * 20 + c + 1) : 0;
        EXPECT_EQ(cell ? cell[0] : 0, want) << c << "," << r;
      }
    EXPECT_EQ(m.Cell(33, 0), nullptr);
    EXPECT_EQ(m.Cell(0, 5), nullptr);
    m.ClearCells();
    EXPECT_EQ(m.Cell(1, 1) ? m.Cell(1, 1)[0] : 0, 0);
    m.ReleaseCells();
    EXPECT_EQ(m.Rows, 0);
    EXPECT_EQ(m.Size, 0);
  }
}

TEST(JpegMap, SparseMapAllocatesOnlyWrittenChunks) {
  TkelMCUs m;
  m.SetColumns(100000);
  m.SetRows(100000);
  EXPECT_EQ(m.Size, 0);
  m.WritableBlock(99999, 99999)->Decoded = 1;
  EXPECT_EQ(m.Size, TkelJpegMap::kChunkCells * int32_t(sizeof(TkelCoefBlock)));
  EXPECT_EQ(m.Block(0, 0), nullptr);
  EXPECT_TRUE(m.Block(99999, 99999)->Decoded);
}

}  // namespace
}  // namespace vt::test

namespace vt::test {
namespace {

TEST(Parser, Limit16MStopsReadingPastSixteenMegabytes) {
  const Bytes image = Cjpeg("-quality 80", 16, 16);
  Bytes data = {0xFF, 0xD8};
  const Bytes app = Seg(0xEF, Bytes(65533, 0x20));
  for (int i = 0; i < 257; ++i) data.insert(data.end(), app.begin(), app.end());
  data.insert(data.end(), image.begin() + 2, image.end());
  KeepingParser limited(65536), full(65536);
  EXPECT_EQ(LoadBytes(limited, data, pfLimit16M), jrEndOfData);
  EXPECT_FALSE(limited.FrameSeen);
  EXPECT_LE(limited.Position, 16777216 + 65537);
  EXPECT_EQ(LoadBytes(full, data), jrOK);
  EXPECT_TRUE(full.FrameSeen);
}

}  // namespace
}  // namespace vt::test
