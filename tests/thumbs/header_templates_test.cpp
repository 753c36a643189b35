// The header templates against libjpeg-turbo: cjpeg, given the same quantisation tables and
// 2x1 luma sampling, must write the very tables the templates hold, and a template followed by
// cjpeg's entropy-coded data must decode to exactly cjpeg's pixels.
#include "thumbs/header_templates.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/test_support.h"

namespace vt {
namespace {

using test::Bytes;

int Word(const uint8_t* p) { return p[0] << 8 | p[1]; }

struct TCjpegParts {
  Bytes Tables[2];  // zig-zag order, as stored in DQT
  Bytes ScanData;   // everything after the SOS header, up to and including EOI
};

TCjpegParts Split(const Bytes& jpeg) {
  TCjpegParts parts;
  size_t pos = 2;
  while (pos + 4 <= jpeg.size()) {
    const int marker = jpeg[pos + 1];
    const int length = Word(&jpeg[pos + 2]);
    if (marker == 0xDB) {
      size_t p = pos + 4;
      while (p < pos + 2 + length) {
        const int id = jpeg[p] & 0x0F;
        if (id < 2) parts.Tables[id].assign(jpeg.begin() + p + 1, jpeg.begin() + p + 65);
        p += 65;
      }
    }
    if (marker == 0xDA) {
      parts.ScanData.assign(jpeg.begin() + pos + 2 + length, jpeg.end());
      break;
    }
    pos += 2 + length;
  }
  return parts;
}

// Annex K.1 in natural order with template C's two changed luminance entries (zig-zag 31 and
// 53 lie at natural positions 28 and 31).
std::string WriteTablesOfC() {
  const int luma[64] = {16, 11, 10, 16, 24, 40, 51, 61, 12, 12, 14, 19, 26, 58, 60, 55,
                        14, 13, 16, 24, 40, 57, 69, 56, 14, 17, 22, 29, 61, 87, 80, 94,
                        18, 22, 37, 56, 68, 109, 103, 77, 24, 35, 55, 64, 81, 104, 113, 92,
                        49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
  const int chroma[64] = {17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
                          24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
                          99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
                          99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
  const std::string path = test::TempPath(".qtables");
  std::ofstream out(path);
  for (const int* t : {luma, chroma}) {
    for (int i = 0; i < 64; ++i) out << t[i] << ((i % 8 == 7) ? "\n" : " ");
    out << "\n";
  }
  return path;
}

struct TTemplateCase {
  const char* Name;
  const THeaderTemplate& (*Get)();
  int Width, Height;
  bool UsesTablesOfC;  // else cjpeg's own Annex K.1 tables
  int Quality;         // cjpeg's scaling: 85 -> 30 %, 44 -> 113 %, 50 -> 100 %
};

void PrintTo(const TTemplateCase& c, std::ostream* os) { *os << c.Name; }

class HeaderTemplateTest : public ::testing::TestWithParam<TTemplateCase> {};

TEST_P(HeaderTemplateTest, LayoutOfTheSegments) {
  const THeaderTemplate& h = GetParam().Get();
  EXPECT_EQ(Word(&h[0]), 0xFFD8);
  EXPECT_EQ(Word(&h[2]), 0xFFDB);
  EXPECT_EQ(Word(&h[4]), 132);
  EXPECT_EQ(h[6], 0x00);
  EXPECT_EQ(h[71], 0x01);
  EXPECT_EQ(Word(&h[kTemplateDhtOffset]), 0xFFC4);
  EXPECT_EQ(Word(&h[kTemplateDhtOffset + 2]), 418);
  EXPECT_EQ(Word(&h[kTemplateSofOffset]), 0xFFC0);
  EXPECT_EQ(Word(&h[kTemplateSofOffset + 2]), 17);
  EXPECT_EQ(h[kTemplateSofOffset + 4], 8);
  EXPECT_EQ(Word(&h[kTemplateHeightOffset]), GetParam().Height);
  EXPECT_EQ(Word(&h[kTemplateWidthOffset]), GetParam().Width);
  const Bytes components(h.begin() + 565, h.begin() + 575);
  EXPECT_EQ(components, (Bytes{3, 1, 0x21, 0, 2, 0x11, 1, 3, 0x11, 1}));
  const Bytes sos(h.begin() + kTemplateSosOffset, h.end());
  EXPECT_EQ(sos, (Bytes{0xFF, 0xDA, 0, 12, 3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0}));
}

TEST_P(HeaderTemplateTest, MatchesCjpegTablesAndDecodesItsData) {
  const TTemplateCase& c = GetParam();
  std::string args = "-baseline -sample 2x1 -quality " + std::to_string(c.Quality);
  if (c.UsesTablesOfC) args += " -qtables " + test::Quote(WriteTablesOfC());
  const Bytes reference = test::Cjpeg(args, c.Width, c.Height);
  const TCjpegParts parts = Split(reference);
  ASSERT_FALSE(parts.ScanData.empty());

  const THeaderTemplate& h = c.Get();
  EXPECT_EQ(Bytes(h.begin() + kTemplateTable0Offset, h.begin() + kTemplateTable0Offset + 64), parts.Tables[0]);
  EXPECT_EQ(Bytes(h.begin() + kTemplateTable1Offset, h.begin() + kTemplateTable1Offset + 64), parts.Tables[1]);

  Bytes rebuilt = TemplateCopy(h);
  rebuilt.insert(rebuilt.end(), parts.ScanData.begin(), parts.ScanData.end());
  const test::RefImage expected = test::LibjpegDecode(reference);
  const test::RefImage actual = test::LibjpegDecode(rebuilt);
  ASSERT_TRUE(expected.Ok) << expected.Error;
  ASSERT_TRUE(actual.Ok) << actual.Error;
  EXPECT_EQ(actual.Warnings, 0);
  EXPECT_EQ(actual.Width, c.Width);
  EXPECT_EQ(actual.Height, c.Height);
  EXPECT_TRUE(actual.Pixels == expected.Pixels);
}

INSTANTIATE_TEST_SUITE_P(Templates, HeaderTemplateTest,
                         ::testing::Values(TTemplateCase{"A", HeaderTemplateA, 160, 120, false, 85},
                                           TTemplateCase{"B", HeaderTemplateB, 160, 120, true, 44},
                                           TTemplateCase{"C", HeaderTemplateC, 640, 480, true, 50}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(HeaderTemplate, SetTemplateSizeWritesBigEndianAndKeepsTheRest) {
  Bytes h = TemplateCopy(HeaderTemplateA());
  SetTemplateSize(h.data(), 480, 360);
  EXPECT_EQ(Word(&h[kTemplateHeightOffset]), 360);
  EXPECT_EQ(Word(&h[kTemplateWidthOffset]), 480);
  h[kTemplateHeightOffset] = 0, h[kTemplateHeightOffset + 1] = 120;
  h[kTemplateWidthOffset] = 0, h[kTemplateWidthOffset + 1] = 160;
  EXPECT_TRUE(std::equal(h.begin(), h.end(), HeaderTemplateA().begin()));
}

}  // namespace
}  // namespace vt
