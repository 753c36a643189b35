// The baseline writer's per-block work: forward DCT, quantisation and Huffman encoding of the
// blocks of a photo-like picture with the standard tables, into a memory stream.
#include <benchmark/benchmark.h>

#include <vector>

#include "base/stream.h"
#include "jpeg/bit_writer.h"
#include "jpeg/fdct.h"
#include "jpeg/huffman_encode.h"
#include "jpeg/std_tables.h"
#include "micro/inputs.h"

namespace vt::bench {
namespace {

constexpr int kSide = 1024;

// The luma of the picture in 8 x 8 blocks, block after block.
std::vector<int16_t> LumaBlocks() {
  const Bytes rgb = PhotoRgb(kSide, kSide);
  std::vector<int16_t> blocks(size_t(kSide) * kSide);
  size_t i = 0;
  for (int by = 0; by < kSide; by += 8)
    for (int bx = 0; bx < kSide; bx += 8)
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
          const uint8_t* p = &rgb[(size_t(by + y) * kSide + bx + x) * 3];
          blocks[i++] = int16_t((299 * p[0] + 587 * p[1] + 114 * p[2]) / 1000);
        }
  return blocks;
}

// Quality-92-like divisors (table entry x 8).
void Divisors(int32_t* d) {
  for (int i = 0; i < 64; ++i) d[i] = (2 + (i % 8 + i / 8) / 2) * 8;
}

void BM_FdctQuantizeEncode(benchmark::State& state) {
  const std::vector<int16_t> samples = LumaBlocks();
  int32_t divisors[64];
  Divisors(divisors);
  TkelHuffmanEncodeTable dc, ac;
  BuildEncodeTable(kStdDcLuminance, dc);
  BuildEncodeTable(kStdAcLuminance, ac);
  std::vector<uint8_t> buffer;
  int64_t bytes = 0;
  for (auto _ : state) {
    TMemoryStream stream;
    TkelBitWriter out(stream, buffer);
    int32_t predictor = 0;
    int32_t coefficients[64];
    int16_t quantized[64];
    for (size_t b = 0; b < samples.size(); b += 64) {
      ForwardDct(&samples[b], coefficients);
      QuantizeBlock(coefficients, divisors, quantized);
      EncodeBlock(out, dc, ac, quantized, predictor);
    }
    out.PadBits();
    out.FlushBuffer();
    bytes = out.BytesOut();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kSide * kSide / 64);
  state.counters["output_bytes"] = double(bytes);
}
BENCHMARK(BM_FdctQuantizeEncode)->Unit(benchmark::kMillisecond);

// Encoding alone (the restore of an intact file does no FDCT): the quantised blocks are made once.
void BM_HuffmanEncode(benchmark::State& state) {
  const std::vector<int16_t> samples = LumaBlocks();
  int32_t divisors[64];
  Divisors(divisors);
  std::vector<int16_t> quantized(samples.size());
  int32_t coefficients[64];
  for (size_t b = 0; b < samples.size(); b += 64) {
    ForwardDct(&samples[b], coefficients);
    QuantizeBlock(coefficients, divisors, &quantized[b]);
  }
  TkelHuffmanEncodeTable dc, ac;
  BuildEncodeTable(kStdDcLuminance, dc);
  BuildEncodeTable(kStdAcLuminance, ac);
  std::vector<uint8_t> buffer;
  for (auto _ : state) {
    TMemoryStream stream;
    TkelBitWriter out(stream, buffer);
    int32_t predictor = 0;
    for (size_t b = 0; b < quantized.size(); b += 64) EncodeBlock(out, dc, ac, &quantized[b], predictor);
    out.PadBits();
    out.FlushBuffer();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kSide * kSide / 64);
}
BENCHMARK(BM_HuffmanEncode)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vt::bench
