#include <gtest/gtest.h>

#include <cmath>

#include "bitmap/bitmap32.h"
#include "jpeg/color_convert.h"
#include "jpeg/color_tables.h"
#include "jpeg/jpeg_constants.h"
#include "jpeg/presence.h"

namespace vt {
namespace {

TEST(ColorTables, EntriesAreRoundedProductsOfTheFactors) {
  const TkelColorTables& t = ColorTables();
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(t.Luma[i], i * 1024);
    // Exact decimal products: i * 1435.648 = i * 1435648 / 1000, and so on.
    auto rounded = [](int64_t num, int64_t den) {
      const int64_t q = num / den, r = num % den;  // toward zero
      if (2 * std::llabs(r) > den) return q + (num < 0 ? -1 : 1);
      if (2 * std::llabs(r) == den) return q % 2 == 0 ? q : q + (num < 0 ? -1 : 1);
      return q;
    };
    EXPECT_EQ(t.CrR[i], rounded(i * 1435648LL, 1000)) << i;
    EXPECT_EQ(t.CbG[i], rounded(-i * 35239936LL, 100000)) << i;
    EXPECT_EQ(t.CrG[i], rounded(-i * 73127936LL, 100000)) << i;
    EXPECT_EQ(t.CbB[i], rounded(i * 1814528LL, 1000)) << i;
  }
  EXPECT_EQ(kRedOffset, -183763);
  EXPECT_EQ(kGreenOffset, 138790);
  EXPECT_EQ(kBlueOffset, -232260);
  EXPECT_EQ(t.CrR[128], 183763);
  EXPECT_EQ(t.CbB[128], 232260);
}

// A planes fixture: up to four 16 x 8 planes with the given samples at every pixel, and a
// presence map in which only the left 8 x 8 area is present.
struct Planes {
  TkelComponentData plane[4];
  TkelAlphaComponentData presence;
  TBitmap32 bitmap;
  Planes(int count, std::initializer_list<int> samples) {
    auto it = samples.begin();
    for (int p = 0; p < count; ++p, ++it) {
      plane[p].SetColumns(16);
      plane[p].SetRows(8);
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) plane[p].Samples(y)[x] = int16_t(*it);
    }
    DimensionPresence(presence, 16, 8);
    SetPresent(presence, 0, 0, 1, 1);
    bitmap.SetSize(16, 8);
    bitmap.Clear(0);
  }
  TkelPlaneSet Set() const {
    TkelPlaneSet s;
    for (int p = 0; p < 4; ++p) s.Plane[p] = plane[p].Columns ? &plane[p] : nullptr;
    return s;
  }
  TColor32 Convert(int colorModel) {
    TkelConversion f = ConversionOfKind(ConversionKindOf(colorModel));
    EXPECT_NE(f, nullptr);
    f(Set(), bitmap, presence, 0, 8);
    // The absent right half stays (0, 0, 0, 0) whatever the samples say.
    for (int y = 0; y < 8; ++y)
      for (int x = 8; x < 16; ++x) EXPECT_EQ(bitmap.Pixel(x, y), 0u);
    return bitmap.Pixel(3, 5);
  }
};

struct ConversionCase {
  int model;
  int count;
  std::initializer_list<int> samples;
  TColor32 expected;  // A, R, G, B word
};

class Conversions : public ::testing::TestWithParam<int> {};

const ConversionCase kCases[] = {
    // YCbCr at its extremes: black, white (up to the truncation of the tables), pure colours.
    {cmYCbCr, 3, {0, 128, 128}, 0xFF000000u},
    {cmYCbCr, 3, {255, 128, 128}, 0xFFFFFFFFu},
    {cmYCbCr, 3, {76, 85, 255}, Color32(254, 0, 0)},  // (76*1024 + 1435.648*127) / 1024 = 254.07
    {cmYCbCr, 3, {0, 0, 0}, Color32(0, 135, 0)},  // G = 138790 / 1024
    {cmYCbCr, 3, {255, 255, 255}, Color32(255, 120, 255)},
    {cmYCbCrSwapped, 3, {76, 85, 255}, Color32(0, 0, 254)},
    // CMYK: K = 0 is black whatever C, M, Y; K = 255 with C = M = Y = 255 is white.
    {cmCMYK, 4, {255, 255, 255, 0}, 0xFF000000u},
    {cmCMYK, 4, {0, 128, 255, 255}, Color32(0, 128, 255)},
    {cmCMYK, 4, {255, 255, 255, 255}, 0xFFFFFFFFu},
    {cmCMYK, 4, {100, 200, 50, 128}, Color32(51, 101, 26)},
    // YCCK: K = 0 black; K = 255 with Y = 0 and neutral chroma is (nearly) white.
    {cmYCCK, 4, {200, 30, 220, 0}, 0xFF000000u},
    {cmYCCK, 4, {0, 128, 128, 255}, Color32(255, 254, 255)},  // green carries the +79 offset
    {cmYCCK, 4, {255, 128, 128, 255}, 0xFF000000u},
    // Direct models.
    {cmRGB, 3, {10, 20, 30}, Color32(10, 20, 30)},
    {cmRGBA, 4, {10, 20, 30, 40}, Color32(10, 20, 30, 40)},
    {cmGray, 1, {77}, Color32(77, 77, 77)},
    {cmGrayAlpha, 2, {77, 9}, Color32(77, 77, 77, 9)},
};

TEST_P(Conversions, PresentPixelsConvertAndAbsentOnesStayZero) {
  const ConversionCase& c = kCases[GetParam()];
  Planes p(c.count, c.samples);
  EXPECT_EQ(p.Convert(c.model), c.expected) << std::hex << "model " << std::dec << c.model;
}

INSTANTIATE_TEST_SUITE_P(AllModels, Conversions, ::testing::Range(0, int(std::size(kCases))));

TEST(Conversions, YCbCrFollowsTheIntegerFormulaEverywhere) {
  // Sweep the whole cube coarsely against the formula written with floor/ceil-free integers.
  const TkelColorTables& t = ColorTables();
  auto clamp = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
  for (int y = 0; y < 256; y += 15)
    for (int cb = 0; cb < 256; cb += 17)
      for (int cr = 0; cr < 256; cr += 17) {
        Planes p(3, {y, cb, cr});
        const TColor32 got = p.Convert(cmYCbCr);
        const int r = clamp((y * 1024 + t.CrR[cr] - 183763) / 1024);
        const int g = clamp((y * 1024 + t.CbG[cb] + t.CrG[cr] + 138790) / 1024);
        const int b = clamp((y * 1024 + t.CbB[cb] - 232260) / 1024);
        ASSERT_EQ(got, Color32(uint8_t(r), uint8_t(g), uint8_t(b))) << y << " " << cb << " " << cr;
        // And the float model it approximates, within one level.
        ASSERT_NEAR(RedComponent(got), clamp(int(std::lround(y + 1.402 * (cr - 128)))), 1);
      }
}

// Every chroma pair at a spread of luma values, through the vectorised conversion, against the
// formula with the tables: 256 x 256 pixels per luma value, all present.
TEST(Conversions, YCbCrMatchesTheTablesForEveryChromaPair) {
  const TkelColorTables& t = ColorTables();
  auto clamp = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
  TkelComponentData plane[3];
  for (auto& pl : plane) {
    pl.SetColumns(256);
    pl.SetRows(256);
  }
  TkelAlphaComponentData presence;
  DimensionPresence(presence, 256, 256);
  SetPresent(presence, 0, 0, 32, 32);
  TkelPlaneSet set;
  for (int i = 0; i < 3; ++i) set.Plane[i] = &plane[i];
  for (int y : {0, 1, 16, 77, 128, 200, 235, 254, 255}) {
    for (int cr = 0; cr < 256; ++cr)
      for (int cb = 0; cb < 256; ++cb) {
        plane[0].Samples(cr)[cb] = int16_t(y);
        plane[1].Samples(cr)[cb] = int16_t(cb);
        plane[2].Samples(cr)[cb] = int16_t(cr);
      }
    TBitmap32 out(256, 256);
    ConvertYCbCr(set, out, presence, 0, 256);
    for (int cr = 0; cr < 256; ++cr)
      for (int cb = 0; cb < 256; ++cb) {
        const int r = clamp((y * 1024 + t.CrR[cr] - 183763) / 1024);
        const int g = clamp((y * 1024 + t.CbG[cb] + t.CrG[cr] + 138790) / 1024);
        const int b = clamp((y * 1024 + t.CbB[cb] - 232260) / 1024);
        ASSERT_EQ(out.Pixel(cb, cr), Color32(uint8_t(r), uint8_t(g), uint8_t(b))) << y << " " << cb << " " << cr;
      }
  }
}

TEST(Conversions, GreyViewOfOneComponentAndUnknownModels) {
  Planes p(3, {11, 22, 33});
  RenderComponent(p.Set(), p.bitmap, p.presence, 0, 8, 2);
  EXPECT_EQ(p.bitmap.Pixel(0, 0), Color32(33, 33, 33));
  EXPECT_EQ(p.bitmap.Pixel(8, 0), 0u);
  for (int model : {cmFourComponent, cmFourComponentICC, cmYCc, cmYCcA, cmG3Fax, 0, 99})
    EXPECT_EQ(ConversionKindOf(model), 0) << model;
}

TEST(Conversions, RowBandsOnlyTouchTheirRows) {
  Planes p(3, {255, 128, 128});
  SetPresent(p.presence, 0, 0, 2, 1);
  ConvertYCbCr(p.Set(), p.bitmap, p.presence, 2, 5);
  for (int y = 0; y < 8; ++y)
    EXPECT_EQ(p.bitmap.Pixel(12, y), y >= 2 && y < 5 ? 0xFFFFFFFFu : 0u) << y;
}

}  // namespace
}  // namespace vt
