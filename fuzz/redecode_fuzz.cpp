// The decoder's MCU repair at fuzzed positions: the front of the input is the JPEG, loaded with
// its offsets map; integers taken from the back choose a sequence of RedecodeFrom (any start,
// byte, bit, search direction) and grid edits (clear, insert, insert row, delete), each followed
// by the checks the viewer makes (IsMCUDecoded, GetMCUOffsets, DecodedPercent).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/stream.h"
#include "jpeg/image.h"
#include "jpeg/jpeg_constants.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider fdp(data, size);
  const int opCount = fdp.ConsumeIntegralInRange<int>(0, 8);
  struct Op {
    uint8_t Kind;
    int32_t Col, Row, Byte, Bit;
  };
  std::vector<Op> ops;
  for (int i = 0; i < opCount; ++i)
    ops.push_back(Op{fdp.ConsumeIntegral<uint8_t>(), fdp.ConsumeIntegralInRange<int32_t>(-2, 300),
                     fdp.ConsumeIntegralInRange<int32_t>(-2, 300), fdp.ConsumeIntegral<int32_t>(),
                     fdp.ConsumeIntegralInRange<int32_t>(-1, 8)});
  std::vector<uint8_t> jpeg = fdp.ConsumeRemainingBytes<uint8_t>();
  vt::TTempMemoryStream stream;
  stream.SetPointer(jpeg.data(), static_cast<int64_t>(jpeg.size()));
  vt::TkelJpegImage image(0);
  image.LoadFromStream(stream, vt::pfRecordSegments | vt::pfNoRender, 0);
  const int32_t cols = image.MCUsPerRow, rows = image.MCURows;
  for (const Op& op : ops) {
    const int32_t col = cols > 0 ? op.Col % (cols + 2) : op.Col;
    const int32_t row = rows > 0 ? op.Row % (rows + 2) : op.Row;
    switch (op.Kind % 6) {
      case 0:
        image.ClearMCU(col, row);
        break;
      case 1:
        image.InsertMCU(col, row);
        break;
      case 2:
        image.InsertMCURow(col, row);
        break;
      case 3:
        image.DeleteMCU(col, row);
        break;
      default: {
        const vt::TkelOffsetEntry at = image.GetMCUOffsets(col, row);
        const bool own = (op.Kind & 0x40) != 0;  // the entry's own offsets, or fuzzed ones
        image.RedecodeFrom(row * (cols > 0 ? cols : 1) + col, own ? at.StartByte : op.Byte,
                           own ? at.StartBit : op.Bit, (op.Kind >> 3) % 3, (op.Kind & 0x80) != 0);
        break;
      }
    }
    (void)image.IsMCUDecoded(col, row);
    (void)image.GetMCUOffsets(col, row);
    (void)image.DecodedPercent();
  }
  return 0;
}
