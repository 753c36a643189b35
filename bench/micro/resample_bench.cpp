// Lanczos resampling of a 24-megapixel picture to 1280 x 800, as the viewer's background resizer
// does it for a fitted window.
#include <benchmark/benchmark.h>

#include <memory>

#include "bitmap/bitmap32.h"
#include "micro/inputs.h"

namespace vt::bench {
namespace {

void BM_LanczosResample24MpTo1280x800(benchmark::State& state) {
  constexpr int kWidth = 6000, kHeight = 4000;
  static TBitmap32 source = [] {
    TBitmap32 b(kWidth, kHeight);
    const Bytes rgb = PhotoRgb(kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        const uint8_t* p = &rgb[(size_t(y) * kWidth + x) * 3];
        b.SetPixel(x, y, Color32(p[0], p[1], p[2]));
      }
    return b;
  }();
  source.SetResampler(std::make_unique<TKernelResampler>(std::make_unique<TLanczosKernel>()));
  TBitmap32 target(1280, 800);
  for (auto _ : state) {
    source.DrawTo(target, target.BoundsRect(), source.BoundsRect());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}
BENCHMARK(BM_LanczosResample24MpTo1280x800)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace vt::bench
