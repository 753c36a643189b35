// The viewer document's MCU edits at fuzzed positions: the front of the input is the JPEG,
// loaded and rendered by TvtThumbSource; integers from the back choose clears, inserts, row
// inserts, deletes and re-decodes (each patches the rendered pixels), with a thumbnail chosen
// in between so the composed image is rebuilt.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/stream.h"
#include "viewer/thumb_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider fdp(data, size);
  const int opCount = fdp.ConsumeIntegralInRange<int>(0, 8);
  struct Op {
    uint8_t Kind;
    int32_t Col, Row;
  };
  std::vector<Op> ops;
  for (int i = 0; i < opCount; ++i)
    ops.push_back(Op{fdp.ConsumeIntegral<uint8_t>(), fdp.ConsumeIntegralInRange<int32_t>(-2, 300),
                     fdp.ConsumeIntegralInRange<int32_t>(-2, 300)});
  std::vector<uint8_t> jpeg = fdp.ConsumeRemainingBytes<uint8_t>();
  auto* stream = new vt::TTempMemoryStream;
  stream->SetPointer(jpeg.data(), static_cast<int64_t>(jpeg.size()));
  vt::TvtThumbSource doc;
  doc.Load(nullptr, stream, true, nullptr);
  for (const Op& op : ops) {
    const vt::TvtMCUPos p{doc.MCUCols > 0 ? op.Col % (doc.MCUCols + 1) : op.Col,
                          doc.MCURows > 0 ? op.Row % (doc.MCURows + 1) : op.Row};
    switch (op.Kind % 7) {
      case 0:
        doc.ClearMCU(p);
        break;
      case 1:
        doc.InsertMCU(p);
        break;
      case 2:
        doc.InsertMCURow(p);
        break;
      case 3:
        doc.DeleteMCU(p);
        break;
      case 4:
        doc.RedecodeFrom(p, doc.GetMCUOffsets(p), (op.Kind >> 3) % 3, (op.Kind & 0x80) != 0);
        break;
      case 5:
        doc.SetMainThumb(doc.ThumbCount() > 0 ? (op.Kind >> 3) % (doc.ThumbCount() + 1) - 1 : -1);
        (void)doc.GetThumbBackground();
        break;
      default:
        (void)doc.IsMCUDecoded(p);
        break;
    }
  }
  doc.Load(nullptr, nullptr, false, nullptr);
  return 0;
}
