// The writer's MCUs encoded in two halves on two threads and joined must give the bytes of one
// thread: every layout, odd sizes, damaged files filled from a bitmap, extreme coefficients.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/stream.h"
#include "bitmap/bitmap32.h"
#include "jpeg/image.h"
#include "jpeg/writer.h"
#include "support/test_support.h"

namespace vt {
namespace {

using test::Bytes;

Bytes Write(const Bytes& jpeg, int threads, bool withBitmap) {
  TkelJpegImage image(0);
  TTempMemoryStream in;
  in.SetPointer(jpeg.data(), static_cast<int64_t>(jpeg.size()));
  image.LoadFromStream(in, pfRecordSegments | pfNoRender, 0);
  image.WriterState = std::make_unique<TkelJpegWriterState>();
  image.WriterState->EncodeThreads = threads;
  TBitmap32 bitmap(image.Width, image.Height);
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x) bitmap.SetPixel(x, y, Color32(uint8_t(x * 7), uint8_t(y * 3), uint8_t(x ^ y)));
  TMemoryStream out;
  EXPECT_TRUE(WriteBaselineJpeg(image, out, withBitmap ? &bitmap : nullptr, nullptr));
  return Bytes(out.Memory(), out.Memory() + out.GetSize());
}

struct Layout {
  const char* Name;
  const char* Args;
  int Width, Height;
  bool Grey;
};

class WriterThreadsTest : public ::testing::TestWithParam<Layout> {};

TEST_P(WriterThreadsTest, TwoHalvesJoinIntoTheBytesOfOneThread) {
  const Layout& l = GetParam();
  const Bytes intact = test::Cjpeg(l.Args, l.Width, l.Height, l.Grey, 31);
  // Intact, and cut at two thirds (the rest filled from a bitmap, or left zero).
  Bytes cut(intact.begin(), intact.begin() + static_cast<long>(intact.size() * 2 / 3));
  for (const auto& [input, bitmap] : {std::pair<const Bytes*, bool>{&intact, false}, {&cut, true}, {&cut, false}}) {
    const Bytes one = Write(*input, 1, bitmap), two = Write(*input, 2, bitmap);
    ASSERT_GT(one.size(), 600u);
    EXPECT_TRUE(one == two) << l.Name << (input == &cut ? " cut" : " intact") << (bitmap ? " with bitmap" : "") << ": "
                            << one.size() << " vs " << two.size() << " bytes";
  }
  // The joined file decodes to the input's coefficients (libjpeg-turbo as the judge).
  const test::RefCoefficients want = test::LibjpegCoefficients(intact), got = test::LibjpegCoefficients(Write(intact, 2, false));
  ASSERT_TRUE(got.Ok) << got.Error;
  EXPECT_EQ(got.Warnings, 0);
  ASSERT_EQ(got.Components.size(), want.Components.size());
  for (size_t c = 0; c < got.Components.size(); ++c) EXPECT_TRUE(got.Components[c].Coef == want.Components[c].Coef) << c;
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, WriterThreadsTest,
    ::testing::Values(Layout{"baseline420", "-quality 90 -sample 2x2", 333, 245, false},
                      Layout{"progressive420", "-quality 92 -sample 2x2 -progressive", 250, 170, false},
                      Layout{"restart422", "-quality 85 -sample 2x1 -restart 1", 301, 99, false},
                      Layout{"baseline444", "-quality 100 -sample 1x1", 129, 131, false},
                      Layout{"grey", "-quality 75", 203, 61, true},
                      Layout{"twoMcuRows", "-quality 90 -sample 2x2", 64, 17, false}),
    [](const ::testing::TestParamInfo<Layout>& i) { return std::string(i.param.Name); });

// Coefficients at the ends of what the tables code and beyond (clamped), DC jumps across the
// split, and an absent last block before it: the second half's predictors must still match.
TEST(WriterThreads, ExtremeCoefficientsAndAbsentBlocksAtTheSplit) {
  const Bytes jpeg = test::Cjpeg("-quality 90", 64, 64, true, 3);  // one component, 8 x 8 MCUs
  for (int variant = 0; variant < 3; ++variant) {
    std::vector<Bytes> outputs;
    for (int threads : {1, 2}) {
      TkelJpegImage image(0);
      TTempMemoryStream in;
      in.SetPointer(jpeg.data(), static_cast<int64_t>(jpeg.size()));
      image.LoadFromStream(in, pfRecordSegments | pfNoRender, 0);
      TkelMCUs& m = *image.MCUs[0];
      for (int32_t row = 0; row < m.Rows; ++row)
        for (int32_t col = 0; col < m.Columns; ++col) {
          TkelCoefBlock* b = m.WritableBlock(col, row);
          b->Coef[0] = static_cast<int16_t>(row % 2 ? 32767 : -32768);  // clamped to 1023 / -1024
          b->Coef[63] = static_cast<int16_t>(variant == 1 ? 1023 : -1024);
          b->Coef[1] = static_cast<int16_t>(col * 150 - 600);
        }
      // The last block of the first half (row 3 of 8) never decoded: encoded as zeros.
      if (variant == 2) m.WritableBlock(7, 3)->Decoded = 0;
      image.WriterState = std::make_unique<TkelJpegWriterState>();
      image.WriterState->EncodeThreads = threads;
      TMemoryStream out;
      ASSERT_TRUE(WriteBaselineJpeg(image, out, nullptr, nullptr));
      outputs.emplace_back(out.Memory(), out.Memory() + out.GetSize());
    }
    EXPECT_TRUE(outputs[0] == outputs[1]) << "variant " << variant;
    const test::RefCoefficients ref = test::LibjpegCoefficients(outputs[1]);
    ASSERT_TRUE(ref.Ok) << ref.Error;
    EXPECT_EQ(ref.Components[0].Block(0, 4)[0], -1024);
    EXPECT_EQ(ref.Components[0].Block(7, 3)[0], variant == 2 ? 0 : 1023);
  }
}

}  // namespace
}  // namespace vt
