// Entropy decoding: the parser on an in-memory JPEG with pfNoRender (scan decoding into the
// coefficient maps, no reconstruction), for a baseline and a progressive 4:2:0 picture.
#include <benchmark/benchmark.h>

#include "base/stream.h"
#include "jpeg/image.h"
#include "jpeg/jpeg_constants.h"
#include "micro/inputs.h"

namespace vt::bench {
namespace {

constexpr int kWidth = 2048, kHeight = 1536;  // 3 MP: a tenth of a camera photo's work per run

void DecodeScan(benchmark::State& state, bool progressive) {
  static const Bytes baseline = PhotoJpeg(kWidth, kHeight, false);
  static const Bytes prog = PhotoJpeg(kWidth, kHeight, true);
  const Bytes& jpeg = progressive ? prog : baseline;
  for (auto _ : state) {
    TTempMemoryStream stream;
    stream.SetPointer(jpeg.data(), int64_t(jpeg.size()));
    TkelJpegImage image(0);
    const int result = image.LoadFromStream(stream, pfNoRender, 0);
    if (result != jrOK || image.DecodedPercent() != 100) state.SkipWithError("the input did not decode");
    benchmark::DoNotOptimize(image.MCUs[0].get());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(jpeg.size()));
  state.counters["MPixel/s"] =
      benchmark::Counter(double(kWidth) * kHeight * 1e-6 * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_HuffmanDecodeBaseline(benchmark::State& state) { DecodeScan(state, false); }
void BM_HuffmanDecodeProgressive(benchmark::State& state) { DecodeScan(state, true); }
BENCHMARK(BM_HuffmanDecodeBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HuffmanDecodeProgressive)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vt::bench
