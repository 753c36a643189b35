#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "jpeg/forward_color.h"

namespace vt {
namespace {

TEST(ForwardColor, TablesAreRoundedProductsOfTheFactors) {
  const TkelForwardColorTables& t = ForwardColorTables();
  EXPECT_EQ(t.RY[255], 78075);     // 78074.88
  EXPECT_EQ(t.GY[255], 153277);    // 153277.44
  EXPECT_EQ(t.BY[255], 29768);     // 29767.68
  EXPECT_EQ(t.RCb[255], -44051);   // -44050.944
  EXPECT_EQ(t.GCb[1], -339);
  EXPECT_EQ(t.BCb[77], 39424);
  EXPECT_EQ(t.GCr[10], -4287);     // -4287.488
  EXPECT_EQ(t.BCr[200], -16650);   // -16650.24
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(t.RCr[i], i * 512);
    EXPECT_EQ(t.RY[0] + t.GY[0] + t.BY[0], 0);
  }
}

TEST(ForwardColor, GreysKeepTheirLevelAndNeutralChroma) {
  const TkelForwardColorTables& t = ForwardColorTables();
  for (int i = 0; i < 256; ++i) {
    int16_t y, cb, cr;
    RgbToYCbCr(t, static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i), y, cb, cr);
    EXPECT_NEAR(y, i, 1) << i;
    EXPECT_NEAR(cb, 128, 1) << i;
    EXPECT_NEAR(cr, 128, 1) << i;
  }
}

TEST(ForwardColor, ColoursMatchTheJfifEquationsWithinTruncation) {
  const TkelForwardColorTables& t = ForwardColorTables();
  for (int r = 0; r < 256; r += 15)
    for (int g = 0; g < 256; g += 17)
      for (int b = 0; b < 256; b += 51) {
        int16_t y, cb, cr;
        RgbToYCbCr(t, static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b), y, cb, cr);
        const double fy = 0.299 * r + 0.587 * g + 0.114 * b;
        const double fcb = -0.168736 * r - 0.331264 * g + 0.5 * b + 128;
        const double fcr = 0.5 * r - 0.418688 * g - 0.081312 * b + 128;
        ASSERT_NEAR(y, std::clamp(fy, 0.0, 255.0), 1.01);
        ASSERT_NEAR(cb, std::clamp(fcb, 0.0, 255.0), 1.01);
        ASSERT_NEAR(cr, std::clamp(fcr, 0.0, 255.0), 1.01);
      }
}

// The decoder's CMYK rule: R = K - ((255 - C) x K) / 255.
TEST(ForwardColor, CmykRoundTripsThroughTheDecodersConversion) {
  for (int r = 0; r < 256; r += 5)
    for (int g = 0; g < 256; g += 7)
      for (int b = 0; b < 256; b += 11) {
        int16_t c, m, y, k;
        RgbToCmyk(static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b), c, m, y, k);
        EXPECT_EQ(k, std::max({r, g, b}));
        EXPECT_NEAR(k - ((255 - c) * k) / 255, r, 1);
        EXPECT_NEAR(k - ((255 - m) * k) / 255, g, 1);
        EXPECT_NEAR(k - ((255 - y) * k) / 255, b, 1);
      }
}

}  // namespace
}  // namespace vt
