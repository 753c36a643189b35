// The signatures the deep scan stops at (FF D8 FF, FF DA), found in blocks and chunk by chunk
// ahead on a helper thread: exactly the positions a byte-by-byte look finds, with the bytes that
// follow them, across chunk boundaries, at the end of the file, when the reader jumps forward or
// goes back, and when a read fails. The helper stays within its bounds however far it could run.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "source/buffered_stream.h"
#include "source/signature_finder.h"
#include "source/signature_search.h"
#include "support/test_support.h"

namespace vt {
namespace {

using test::Bytes;

// Every position whose bytes start FF D8 FF or FF DA, looked at one by one.
std::vector<uint64_t> NaiveSignatures(const Bytes& b) {
  std::vector<uint64_t> out;
  for (size_t i = 0; i + 1 < b.size(); ++i) {
    if (b[i] != 0xFF) continue;
    if (b[i + 1] == 0xDA || (b[i + 1] == 0xD8 && i + 2 < b.size() && b[i + 2] == 0xFF)) out.push_back(i);
  }
  return out;
}

// Random bytes with FF common, and the patterns (and their halves) planted at the given places.
Bytes Planted(size_t size, const std::vector<size_t>& at, uint32_t seed) {
  Bytes b(size);
  for (auto& v : b) {
    seed = seed * 1103515245u + 12345u;
    const uint8_t r = static_cast<uint8_t>(seed >> 16);
    v = r < 40 ? 0xFF : r < 60 ? 0xD8 : r < 80 ? 0xDA : r;
  }
  int k = 0;
  for (size_t p : at) {
    const Bytes pattern = (k++ % 2) ? Bytes{0xFF, 0xDA, 0x00, 0x08} : Bytes{0xFF, 0xD8, 0xFF, 0xE0};
    for (size_t j = 0; j < pattern.size() && p + j < size; ++j) b[p + j] = pattern[j];
  }
  return b;
}

TEST(FindSignatures, FindsWhatAByteByByteLookFindsWithinStartsAndGot) {
  const Bytes b = Planted(5000, {0, 1000, 2047, 2048, 4996, 4997, 4998, 4999}, 3);
  const std::vector<uint64_t> naive = NaiveSignatures(b);
  struct Range {
    int64_t starts, got;
  };
  for (const Range r : {Range{5000, 5000}, Range{2048, 2050}, Range{2048, 2049}, Range{2047, 2064}, Range{0, 16}}) {
    SCOPED_TRACE(testing::Message() << "starts " << r.starts << " got " << r.got);
    std::vector<uint32_t> found;
    FindSignatures(b.data(), r.starts, r.got, found);
    // A pattern counts when it starts before starts and lies whole within got.
    std::vector<uint32_t> expected;
    const Bytes seen(b.begin(), b.begin() + r.got);
    for (uint64_t p : NaiveSignatures(seen))
      if (static_cast<int64_t>(p) < r.starts) expected.push_back(static_cast<uint32_t>(p));
    EXPECT_EQ(found, expected);
  }
  std::vector<uint32_t> all;
  FindSignatures(b.data(), 5000, 5000, all);
  EXPECT_EQ(all.size(), naive.size());
}

TEST(FindSignatures, APatternAnywhereAroundTheBlocksLookedAtTogether) {
  // The block is looked at 64 bytes at a time and its rest byte by byte: each pattern, alone or
  // behind another FF, at every place of 200 bytes of zeros, of bytes without FF and of FF
  // alone, with starts and got on either side of it and at the 64-byte steps.
  const std::vector<Bytes> patterns = {{0xFF, 0xD8, 0xFF}, {0xFF, 0xDA}, {0xFF, 0xFF, 0xD8, 0xFF}, {0xFF, 0xD8, 0xFF, 0xDA}};
  const size_t size = 200;
  for (uint8_t fill : {uint8_t{0x00}, uint8_t{0x5A}, uint8_t{0xFF}}) {
    for (size_t k = 0; k < patterns.size(); ++k) {
      for (size_t p = 0; p < size; ++p) {
        Bytes b(size, fill);
        for (size_t j = 0; j < patterns[k].size() && p + j < size; ++j) b[p + j] = patterns[k][j];
        for (int64_t starts : {int64_t(p) - 1, int64_t(p), int64_t(p) + 1, int64_t(p) + 2, int64_t{63}, int64_t{64},
                               int64_t{65}, int64_t{128}, int64_t{192}, int64_t{size}}) {
          if (starts < 0 || starts > int64_t(size)) continue;
          for (int64_t got : {starts, starts + 1, starts + 2, int64_t{size}}) {
            if (got > int64_t(size)) continue;
            std::vector<uint32_t> found, expected;
            FindSignatures(b.data(), starts, got, found);
            for (uint64_t at : NaiveSignatures(Bytes(b.begin(), b.begin() + got)))
              if (int64_t(at) < starts) expected.push_back(static_cast<uint32_t>(at));
            ASSERT_EQ(found, expected) << "fill " << int(fill) << " pattern " << k << " at " << p << " starts "
                                       << starts << " got " << got;
          }
        }
      }
    }
  }
}

// A file in memory, read at positions as the helper reads the opened file.
struct MemoryFile {
  explicit MemoryFile(Bytes b) : bytes(std::move(b)) {}
  TvtSignatureFinder::ReadAtFn ReadAt() {
    return [this](uint64_t offset, void* buffer, int64_t count) -> int64_t {
      ++reads;
      if (failAt >= 0 && static_cast<int64_t>(offset) <= failAt && failAt < static_cast<int64_t>(offset) + count &&
          failures.fetch_sub(1) > 0)
        throw std::runtime_error("read error");
      if (offset >= bytes.size()) return 0;
      // Short reads, as a file may give them.
      const int64_t n = std::min<int64_t>({count, static_cast<int64_t>(bytes.size() - offset), 50000});
      std::memcpy(buffer, bytes.data() + offset, static_cast<size_t>(n));
      return n;
    };
  }
  Bytes bytes;
  std::atomic<int> reads{0};
  int64_t failAt = -1;
  std::atomic<int> failures{0};
};

TvtBufferedStream* StreamOver(const Bytes& b) {
  auto* mem = new TMemoryStream;
  mem->WriteBuffer(b.data(), static_cast<int64_t>(b.size()));
  return new TvtBufferedStream(mem, true);
}

// Walks the finder chunk by chunk from start as the scan does, jumping from a position in the
// list to the one after it; returns every signature met at or after the position, with its bytes.
std::vector<TvtFoundSignature> Walk(TvtSignatureFinder& finder, uint64_t start,
                                    const std::vector<std::pair<uint64_t, uint64_t>>& jumps = {}) {
  std::vector<TvtFoundSignature> out;
  uint64_t pos = start;
  for (;;) {
    const TvtSignatureChunk& c = finder.At(pos);
    if (c.End <= pos) break;
    EXPECT_LE(c.Start, pos);
    uint64_t next = c.End;
    for (const TvtFoundSignature& f : c.Found) {
      if (f.Offset < pos) continue;
      EXPECT_LT(f.Offset, c.End);
      out.push_back(f);
      const auto jump = std::find_if(jumps.begin(), jumps.end(), [&](const auto& j) { return j.first == f.Offset; });
      if (jump != jumps.end()) {
        next = jump->second;
        break;
      }
    }
    pos = next;
  }
  return out;
}

void ExpectSignaturesOf(const Bytes& file, const std::vector<TvtFoundSignature>& found,
                        const std::vector<uint64_t>& offsets) {
  ASSERT_EQ(found.size(), offsets.size());
  for (size_t i = 0; i < found.size(); ++i) {
    SCOPED_TRACE(offsets[i]);
    EXPECT_EQ(found[i].Offset, offsets[i]);
    const int64_t count = std::min<int64_t>(16, static_cast<int64_t>(file.size() - offsets[i]));
    ASSERT_EQ(found[i].Count, count);
    EXPECT_TRUE(std::equal(found[i].Bytes, found[i].Bytes + count, file.begin() + static_cast<std::ptrdiff_t>(offsets[i])));
  }
}

class SignatureFinderModes : public ::testing::TestWithParam<bool> {};

TEST_P(SignatureFinderModes, FindsEverySignatureAcrossChunkBoundariesAndAtTheEnd) {
  const size_t c = TvtSignatureFinder::kAheadChunk, s = TvtSignatureFinder::kStreamChunk;
  const size_t size = 3 * c + 100;
  // At the last bytes of chunks (of both sizes), a scan header cut by a boundary, the last bytes.
  const Bytes file = Planted(size, {c - 1, c - 2, 2 * c - 8, s - 1, 2 * s - 2, 3 * c - 3, size - 4, size - 2}, 11);
  std::unique_ptr<TvtBufferedStream> stream(StreamOver(file));
  MemoryFile memory(file);
  TvtSignatureFinder finder(*stream, size, GetParam() ? memory.ReadAt() : nullptr);
  ExpectSignaturesOf(file, Walk(finder, 0), NaiveSignatures(file));
  if (GetParam()) EXPECT_GT(memory.reads, 0);
}

TEST_P(SignatureFinderModes, JumpsForwardWithinAndPastChunksAndStartsAnywhere) {
  const size_t c = TvtSignatureFinder::kAheadChunk;
  const size_t size = 6 * c;
  const Bytes file = Planted(size, {10, c + 5, 3 * c + 7}, 5);
  const std::vector<uint64_t> all = NaiveSignatures(file);
  std::unique_ptr<TvtBufferedStream> stream(StreamOver(file));
  MemoryFile memory(file);
  TvtSignatureFinder finder(*stream, size, GetParam() ? memory.ReadAt() : nullptr);
  // From 10 past a few bytes, from c + 5 past the next three chunks.
  const std::vector<std::pair<uint64_t, uint64_t>> jumps = {{10, 300}, {c + 5, 4 * c + 17}};
  std::vector<uint64_t> expected;
  for (uint64_t p : all)
    if ((p <= 10 || p >= 300) && (p <= c + 5 || p >= 4 * c + 17) && p >= 7) expected.push_back(p);
  ExpectSignaturesOf(file, Walk(finder, 7, jumps), expected);
}

INSTANTIATE_TEST_SUITE_P(ReadAheadAndStream, SignatureFinderModes, ::testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "ReadAhead" : "Stream"); });

TEST(SignatureFinder, GoingBackReadsTheChunkAgain) {
  const size_t c = TvtSignatureFinder::kAheadChunk;
  const Bytes file = Planted(5 * c, {100, 3 * c + 100}, 9);
  const std::vector<uint64_t> all = NaiveSignatures(file);
  std::unique_ptr<TvtBufferedStream> stream(StreamOver(file));
  MemoryFile memory(file);
  TvtSignatureFinder finder(*stream, file.size(), memory.ReadAt());
  const TvtSignatureChunk& far = finder.At(3 * c + 50);
  EXPECT_EQ(far.Start, 3 * c);
  ExpectSignaturesOf(file, Walk(finder, 0), all);
}

TEST(SignatureFinder, AFailedReadRaisesAtItsChunkAndIsTriedAgain) {
  const size_t c = TvtSignatureFinder::kAheadChunk;
  const Bytes file = Planted(4 * c, {c + 3}, 13);
  std::unique_ptr<TvtBufferedStream> stream(StreamOver(file));
  MemoryFile memory(file);
  memory.failAt = static_cast<int64_t>(2 * c + 100);  // past the bytes chunk 1 reads of it
  memory.failures = 1;
  TvtSignatureFinder finder(*stream, file.size(), memory.ReadAt());
  EXPECT_EQ(finder.At(c).Start, c) << "the chunks before the failure are served";
  EXPECT_THROW(finder.At(2 * c), std::runtime_error);
  const std::vector<uint64_t> all = NaiveSignatures(file);
  std::vector<uint64_t> rest;
  for (uint64_t p : all)
    if (p >= 2 * c) rest.push_back(p);
  ExpectSignaturesOf(file, Walk(finder, 2 * c), rest);
}

TEST(SignatureFinder, ReadsAheadPastFourGigabytes) {
  // Zeros but for two patterns past 5 GiB, one of them across a chunk boundary: the helper
  // reads at 64-bit positions and the offsets found keep all their bits.
  const uint64_t c = TvtSignatureFinder::kAheadChunk;
  const uint64_t base = uint64_t{5} << 30;
  const uint64_t size = base + 3 * c + 7;
  const uint64_t soi = base + c - 1, sos = size - 2;
  const std::vector<std::pair<uint64_t, uint8_t>> planted = {{soi, 0xFF}, {soi + 1, 0xD8}, {soi + 2, 0xFF},
                                                             {sos, 0xFF}, {sos + 1, 0xDA}};
  auto readAt = [&](uint64_t offset, void* buffer, int64_t count) -> int64_t {
    if (offset >= size) return 0;
    const int64_t n = std::min<int64_t>(count, static_cast<int64_t>(size - offset));
    auto* out = static_cast<uint8_t*>(buffer);
    std::memset(out, 0, static_cast<size_t>(n));
    for (const auto& [at, value] : planted)
      if (at >= offset && at < offset + static_cast<uint64_t>(n)) out[at - offset] = value;
    return n;
  };
  TMemoryStream unused;
  TvtSignatureFinder finder(unused, size, readAt);
  const std::vector<TvtFoundSignature> found = Walk(finder, base);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].Offset, soi);
  EXPECT_EQ(found[0].Bytes[2], 0xFF);
  EXPECT_TRUE(found[0].StartOfImage());
  EXPECT_EQ(found[1].Offset, sos);
  EXPECT_EQ(found[1].Count, 2);
}

TEST(SignatureFinder, BytesTheFileNoLongerHasReadAsZerosUpToItsSize) {
  // The file shrank after its size was taken: the scan sees zeros, as through the buffered stream.
  Bytes file(TvtSignatureFinder::kAheadChunk + 50, 0x11);
  const Bytes soi = {0xFF, 0xD8, 0xFF, 0xE0};
  std::copy(soi.begin(), soi.end(), file.begin() + 20);
  MemoryFile memory(Bytes(file.begin(), file.begin() + 30));
  std::unique_ptr<TvtBufferedStream> stream(StreamOver(file));
  TvtSignatureFinder finder(*stream, file.size(), memory.ReadAt());
  const TvtSignatureChunk& chunk = finder.At(0);
  EXPECT_EQ(chunk.End, TvtSignatureFinder::kAheadChunk);
  ASSERT_FALSE(chunk.Found.empty());
  EXPECT_EQ(chunk.Found.front().Offset, 20u);
  EXPECT_EQ(chunk.Found.back().Offset, 20u) << "nothing past the bytes that are still there";
  EXPECT_EQ(chunk.Found.front().Bytes[12], 0) << "byte 32 is gone";
}

TEST(SignatureFinder, TheHelperStaysWithinItsChunksAndSignaturesAhead) {
  // 48 MiB that never exist, all FF DA: a chunk holds 64 Ki signatures, so the signatures waiting
  // bound the helper before the chunks do. Each read checks how far ahead of the reader it is.
  const int64_t c = TvtSignatureFinder::kAheadChunk;
  const uint64_t size = uint64_t{48} << 20;
  std::atomic<int64_t> readerChunk{0};
  std::atomic<int64_t> farthest{0};
  std::atomic<bool> tooFar{false};
  auto readAt = [&](uint64_t offset, void* buffer, int64_t count) -> int64_t {
    const int64_t chunk = static_cast<int64_t>(offset) / c;
    farthest = std::max<int64_t>(farthest, chunk);
    const int64_t perChunk = c / 2;
    const int64_t bySignatures = static_cast<int64_t>(TvtSignatureFinder::kAheadSignatures) / perChunk + 1;
    if (chunk > readerChunk + std::min<int64_t>(bySignatures, TvtSignatureFinder::kAheadChunks)) tooFar = true;
    auto* out = static_cast<uint8_t*>(buffer);
    for (int64_t i = 0; i < count; ++i) out[i] = ((offset + static_cast<uint64_t>(i)) % 2) ? 0xDA : 0xFF;
    return count;
  };
  TMemoryStream unused;
  TvtSignatureFinder finder(unused, size, readAt);
  for (uint64_t pos = 0; pos < size; pos += 3 * uint64_t(c)) {
    readerChunk = static_cast<int64_t>(pos) / c;
    const TvtSignatureChunk& chunk = finder.At(pos);
    ASSERT_EQ(chunk.Found.size(), static_cast<size_t>(c / 2));
  }
  EXPECT_FALSE(tooFar);
  EXPECT_GT(farthest, 0);
}

}  // namespace
}  // namespace vt
