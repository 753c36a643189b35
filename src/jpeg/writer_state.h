// The baseline writer's working state, held by each TkelJpegImage: encoding Huffman tables,
// the writer's colour model, component table and MCU geometry, one-MCU work maps, and the
// output buffer.
#pragma once

#include <cstdint>
#include <vector>

#include "jpeg/huffman_encode.h"
#include "jpeg/jpeg_map.h"

namespace vt {

struct TkelWriterComponent {
  uint8_t Id = 0;
  int32_t Index = 0;        // frame component index
  int32_t H = 1, V = 1;
  int32_t BlockWidth = 8;   // pixels covered by one block: (MaxH / H) x 8
  int32_t BlockHeight = 8;  // (MaxV / V) x 8
  int32_t BlocksAcross = 1;  // blocks per MCU across
  int32_t BlocksDown = 1;
  uint8_t QuantTable = 0;
  uint8_t DcTable = 0;
  uint8_t AcTable = 0;
  int32_t DcPredictor = 0;
};

// Component table and MCU geometry of the file being written.
struct TkelWriterComponentTable {
  int32_t Count = 0;
  TkelWriterComponent Components[4];
  int32_t MaxH = 1, MaxV = 1;
  int32_t MCUWidth = 0, MCUHeight = 0;
  int32_t MCUsPerRow = 0, MCURows = 0;
  // The height the file is written with: the frame's, or for a frame the data cannot plausibly
  // cover (FrameIsPlausible, base/limits.h) the rows that decoding reached.
  int32_t Height = 0;
};

struct TkelJpegWriterState {
  TkelHuffmanEncodeTable DcTables[4];
  TkelHuffmanEncodeTable AcTables[4];
  bool TablesBuilt = false;
  uint8_t ColorModel = 0;
  TkelWriterComponentTable Table;
  // Per component: the blocks of one MCU, and its samples (MCU width x MCU height).
  TkelMCUs MCUBlocks[4];
  TkelComponentData MCUPlanes[4];
  // The output buffer (1,048,576 bytes once used); fill count and bit accumulator live in the
  // TkelBitWriter of a write.
  std::vector<uint8_t> Output;
  // Threads that encode the MCUs: 0 chooses two for a large picture and one otherwise; 1 or 2
  // asks for that many (two need at least two MCU rows). The bytes are the same either way.
  int EncodeThreads = 0;
};

}  // namespace vt
