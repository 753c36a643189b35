// Sample reconstruction stages through their public functions: inverse DCT of one block,
// replication of a subsampled block into a plane, and every colour conversion of planes into a
// bitmap. Kept small on purpose: the stages' internals change, these calls stay.
#include <benchmark/benchmark.h>

#include <array>
#include <vector>

#include "bitmap/bitmap32.h"
#include "jpeg/color_convert.h"
#include "jpeg/idct.h"
#include "jpeg/idct_scaled.h"
#include "jpeg/reconstruct.h"

namespace vt::bench {
namespace {

constexpr int kBlocks = 4096;

// Quantised coefficients as a quality-92 photo has them: a DC and a few small AC values.
std::vector<int16_t> Coefficients() {
  std::vector<int16_t> coef(size_t(kBlocks) * 64, 0);
  uint32_t s = 7;
  for (int b = 0; b < kBlocks; ++b) {
    int16_t* c = &coef[size_t(b) * 64];
    s = s * 1664525u + 1013904223u;
    c[0] = int16_t(int(s >> 24) - 128);
    for (int k = 1; k < 20; ++k) {
      s = s * 1664525u + 1013904223u;
      c[k] = int16_t((s >> 29) == 0 ? int(s >> 20 & 31) - 16 : 0);
    }
  }
  return coef;
}

// A quantisation table (x 512, as the transforms take it) coarser towards the high frequencies.
std::array<int32_t, 64> Quant512() {
  std::array<int32_t, 64> q{};
  for (int i = 0; i < 64; ++i) q[size_t(i)] = (2 + i / 8) * 512;
  return q;
}

void BM_InverseDct(benchmark::State& state) {
  const std::vector<int16_t> coef = Coefficients();
  const std::array<int32_t, 64> quant = Quant512();
  const int32_t* quant512 = quant.data();
  uint8_t out[64];
  for (auto _ : state) {
    for (int b = 0; b < kBlocks; ++b) {
      InverseDct(&coef[size_t(b) * 64], quant512, out, 8);
      benchmark::DoNotOptimize(out);
    }
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kBlocks);
}
BENCHMARK(BM_InverseDct);

// The reduced transform of the viewer's first picture: 1/2 (4 x 4 samples) and 1/4 (2 x 2).
void BM_InverseDctScaled(benchmark::State& state) {
  const int shift = int(state.range(0));
  const std::vector<int16_t> coef = Coefficients();
  const std::array<int32_t, 64> quant = Quant512();
  const int32_t* quant512 = quant.data();
  uint8_t out[64];
  for (auto _ : state) {
    for (int b = 0; b < kBlocks; ++b) {
      InverseDctScaled(&coef[size_t(b) * 64], quant512, shift, shift, out, 8 >> shift);
      benchmark::DoNotOptimize(out);
    }
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kBlocks);
}
BENCHMARK(BM_InverseDctScaled)->Arg(1)->Arg(2);

// A 2 x 2 subsampled chroma block replicated into a 1024 x 1024 plane.
void BM_ReplicateBlock(benchmark::State& state) {
  const int factor = int(state.range(0));
  TkelComponentData plane;
  plane.SetColumns(1024);
  plane.SetRows(1024);
  uint8_t samples[64];
  for (int i = 0; i < 64; ++i) samples[i] = uint8_t(i * 3);
  const int step = 8 * factor, across = 1024 / step;
  for (auto _ : state) {
    for (int by = 0; by < across; ++by)
      for (int bx = 0; bx < across; ++bx) ReplicateBlock(samples, factor, factor, plane, bx * step, by * step);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * 1024 * 1024);
}
BENCHMARK(BM_ReplicateBlock)->Arg(1)->Arg(2);

// Planes of 1024 x 1024 samples (all present) converted into a bitmap by each model's routine.
void BM_ColorConversion(benchmark::State& state) {
  constexpr int kSide = 1024;
  const int kind = int(state.range(0));
  TkelComponentData planes[4];
  TkelPlaneSet set;
  for (int c = 0; c < 4; ++c) {
    planes[c].SetColumns(kSide);
    planes[c].SetRows(kSide);
    for (int y = 0; y < kSide; ++y) {
      int16_t* row = planes[c].Samples(y);
      for (int x = 0; x < kSide; ++x) row[x] = int16_t((x * (c + 1) + y * (3 - c)) & 255);
    }
    set.Plane[c] = &planes[c];
  }
  TkelAlphaComponentData presence;
  presence.SetColumns(kSide / 64);
  presence.SetRows(kSide / 8);
  for (int y = 0; y < presence.Rows; ++y)
    for (int x = 0; x < presence.Columns; ++x) *presence.Cell(x, y) = 0xFF;
  TBitmap32 bitmap(kSide, kSide);
  const TkelConversion convert = ConversionOfKind(kind);
  for (auto _ : state) {
    convert(set, bitmap, presence, 0, kSide);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kSide * kSide);
  static const char* const kNames[] = {"", "grey", "grey+alpha", "YCbCr", "YCbCr swapped", "YCCK", "CMYK", "RGB", "RGBA"};
  state.SetLabel(kNames[kind]);
}
BENCHMARK(BM_ColorConversion)->DenseRange(1, 8);

}  // namespace
}  // namespace vt::bench
