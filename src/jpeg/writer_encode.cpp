// Encoding of the writer's MCUs: in row order on the calling thread, or for a large picture in
// two halves, the second on a worker thread into memory, joined behind the first bit for bit.
// Each half starts with the DC predictors that the first would leave: the DC of each
// component's last block before the split, which the coefficient maps already hold.
#include <algorithm>
#include <exception>
#include <thread>
#include <vector>

#include "base/stream.h"
#include "jpeg/huffman_encode.h"
#include "jpeg/writer_stages.h"

namespace vt {

namespace {

// Below this many blocks a second thread costs more than it saves.
constexpr int64_t kBlocksForTwoThreads = 100000;

const int16_t kZeroBlock[64] = {};

// Where the worker's half goes: each flushed buffer kept as it came, with no copying or zeroing
// of what came before (a growing memory stream would do both). The writer never splits a 0xFF and
// its stuffed 0x00 between two flushes, so every piece is whole.
class TPieceSink : public TStream {
 public:
  std::vector<std::vector<uint8_t>> Pieces;
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* buffer, int64_t count) override {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    Pieces.emplace_back(bytes, bytes + count);
    return count;
  }
  int64_t Seek(int64_t, TSeekOrigin) override { return 0; }
};

// Encodes MCU rows [row0, row1); predictors[c] is component c's DC predictor, updated.
void EncodeRows(const TkelBaseJpegParser& p, const TkelJpegWriterState& st, int32_t row0, int32_t row1,
                int32_t* predictors, TkelBitWriter& out) {
  const TkelWriterComponentTable& t = st.Table;
  for (int32_t y = row0; y < row1; ++y)
    for (int32_t x = 0; x < t.MCUsPerRow; ++x)
      for (int c = 0; c < t.Count; ++c) {
        const TkelWriterComponent& wc = t.Components[c];
        const TkelMCUs& m = *p.MCUs[c];
        const TkelHuffmanEncodeTable& dc = st.DcTables[wc.DcTable];
        const TkelHuffmanEncodeTable& ac = st.AcTables[wc.AcTable];
        for (int by = 0; by < wc.BlocksDown; ++by)
          for (int bx = 0; bx < wc.BlocksAcross; ++bx) {
            const TkelCoefBlock* b = m.Block(x * wc.BlocksAcross + bx, y * wc.BlocksDown + by);
            EncodeBlock(out, dc, ac, b ? b->Coef : kZeroBlock, predictors[c]);
          }
      }
}

// Component c's DC predictor after rows [0, row): the DC of its last block there, clamped as
// EncodeBlock clamps it (0 for row 0 or an absent block).
int32_t PredictorBefore(const TkelBaseJpegParser& p, const TkelWriterComponentTable& t, int c, int32_t row) {
  if (row <= 0) return 0;
  const TkelWriterComponent& wc = t.Components[c];
  const TkelCoefBlock* b = p.MCUs[c]->Block(t.MCUsPerRow * wc.BlocksAcross - 1, row * wc.BlocksDown - 1);
  return b ? std::clamp<int32_t>(b->Coef[0], -1024, 1023) : 0;
}

}  // namespace

void EncodeMCUs(const TkelBaseJpegParser& p, TkelJpegWriterState& st, TkelBitWriter& out) {
  TkelWriterComponentTable& t = st.Table;
  int32_t predictors[4] = {};
  int64_t blocks = 0;
  for (int c = 0; c < t.Count; ++c)
    blocks += int64_t(t.Components[c].BlocksAcross) * t.Components[c].BlocksDown * t.MCUsPerRow * t.MCURows;
  const int32_t split = t.MCURows / 2;
  const bool two = st.EncodeThreads == 2 || (st.EncodeThreads == 0 && blocks >= kBlocksForTwoThreads);
  if (!two || split < 1) {
    EncodeRows(p, st, 0, t.MCURows, predictors, out);
  } else {
    int32_t second[4] = {};
    for (int c = 0; c < t.Count; ++c) second[c] = PredictorBefore(p, t, c, split);
    TPieceSink piece;
    std::vector<uint8_t> buffer;
    uint32_t tailBits = 0;
    int tailCount = 0;
    std::exception_ptr failure;
    std::thread worker([&] {
      try {
        TkelBitWriter w(piece, buffer);
        EncodeRows(p, st, split, t.MCURows, second, w);
        w.TakeTail(tailBits, tailCount);
        w.FlushBuffer();
      } catch (...) {
        failure = std::current_exception();
      }
    });
    try {
      EncodeRows(p, st, 0, split, predictors, out);
    } catch (...) {
      worker.join();
      throw;
    }
    worker.join();
    if (failure) std::rethrow_exception(failure);
    for (const std::vector<uint8_t>& bytes : piece.Pieces) out.AppendEntropyData(bytes.data(), bytes.size(), 0, 0);
    out.AppendEntropyData(nullptr, 0, tailBits, tailCount);
    std::copy(second, second + 4, predictors);
  }
  for (int c = 0; c < t.Count; ++c) t.Components[c].DcPredictor = predictors[c];
}

}  // namespace vt
