// Rendering while decoding, with its band workers held: while the flag holds, a worker takes no
// band however many are ready, the decoding thread still renders them one at a time, and once
// the flag is cleared the worker renders the rest; the picture is then the one rendered after
// the parse, pixel for pixel, for every sampling.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "base/stream.h"
#include "jpeg/color_convert.h"
#include "jpeg/image.h"
#include "jpeg/render_pipeline.h"
#include "support/test_support.h"

namespace vt {
namespace {

struct HoldCase {
  const char* Name;
  const char* Args;
  int Width, Height;
};

class PipelineHold : public ::testing::TestWithParam<HoldCase> {};

TEST_P(PipelineHold, HeldWorkersTakeNoBandAndTheDecodingThreadStillRenders) {
  const HoldCase& c = GetParam();
  const test::Bytes data = test::Cjpeg(c.Args, c.Width, c.Height);
  TTempMemoryStream stream;
  stream.SetPointer(data.data(), int64_t(data.size()));
  TkelJpegImage image(0);
  ASSERT_EQ(image.LoadFromStream(stream, pfNoRender, 0), jrOK);

  TkelBandPlan plan;
  plan.PlaneWidth = image.MCUsPerRow * image.MCUWidth;
  plan.PlaneHeight = image.MCURows * image.MCUHeight;
  plan.Components = image.ComponentCount;
  plan.Kind = uint8_t(ConversionKindOf(image.GetColorModel()));
  for (int i = 0; i < image.ComponentCount; ++i) {
    const TkelMCUs* m = image.MCUs[i].get();
    ASSERT_NE(m, nullptr);
    plan.Comp[i].Map = m;
    plan.Comp[i].Quant = image.FrameComponents[i].Quant.Scaled512;
    plan.Comp[i].BlockRows = image.MCURows * m->BlocksDown;
  }
  PlanBands(plan);
  const size_t bands = size_t(plan.BandCount());
  ASSERT_GE(bands, 3u);

  TBitmap32 out(plan.PlaneWidth, plan.PlaneHeight);
  TkelRenderPipeline pipeline(plan, out);
  std::atomic<bool> busy{true};
  pipeline.HoldWhile(&busy);
  pipeline.RowsDone(image.MCURows);  // every band is ready
  std::thread worker([&] { pipeline.Work(); });
  // Long enough for a worker that ignored the hold to take a band of these small pictures.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(pipeline.PendingBands().size(), bands) << "a held worker rendered a band";
  ASSERT_TRUE(pipeline.WorkOne());
  EXPECT_EQ(pipeline.PendingBands().size(), bands - 1);
  busy = false;
  worker.join();  // the worker ends once it has taken the last band
  EXPECT_TRUE(pipeline.PendingBands().empty());

  TBitmap32 after;
  image.Render(after, false, vmColor);
  ASSERT_EQ(after.Width(), out.Width());
  ASSERT_EQ(after.Height(), out.Height());
  for (int32_t y = 0; y < out.Height(); ++y)
    for (int32_t x = 0; x < out.Width(); ++x)
      ASSERT_EQ(out.ScanLine(y)[x], after.ScanLine(y)[x]) << "pixel " << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Samplings, PipelineHold,
                         ::testing::Values(HoldCase{"s444", "-quality 90 -sample 1x1", 96, 200},
                                           HoldCase{"s420", "-quality 90 -sample 2x2", 101, 203},
                                           HoldCase{"s422", "-quality 90 -sample 2x1", 64, 150}),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace vt
