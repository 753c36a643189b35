// The 2-D cell maps of the decoder: MCU offsets, coefficient blocks, sample planes and the
// presence map are all TkelJpegMap with a different cell size.
//
// Two kinds of storage:
// - dense maps (TkelComponentData, TkelAlphaComponentData) allocate and zero every row when
//   they are dimensioned, like a plain array; Row(i) gives a row's contiguous bytes.
// - sparse maps (TkelMCUs, TkelOffsets) allocate cells in small chunks on first write
//   (WritableCell); cells never written cost nothing and read back as absent
//   (Cell() == nullptr). Access them through Cell()/Block()/Entry() only; Row() is nullptr.
//
// For the coefficient and offset maps `Rows` is the number of rows that decoding has reached
// so far, not the height the frame header declares: the decoder grows a map as MCU rows are
// met in the data, and memory follows the blocks actually decoded (a tiny file that declares
// 65535 x 65535 never claims gigabytes). Readers treat every cell at or beyond `Rows`, and
// every absent cell, as never decoded (blocks with Decoded = 0, entries with Valid = 0).
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "base/zeroed_block.h"

namespace vt {

class TkelJpegMap {
 public:
  TkelJpegMap(int32_t cellSize, bool dense);
  virtual ~TkelJpegMap() = default;
  TkelJpegMap(const TkelJpegMap&) = delete;
  TkelJpegMap& operator=(const TkelJpegMap&) = delete;

  int32_t Size = 0;  // bytes allocated for cells
  int32_t Columns = 0;
  int32_t Rows = 0;
  const int32_t CellSize;
  int32_t RowStride = 0;  // Columns * CellSize
  const bool Dense;

  // Changes the column count keeping the contents of cells that stay inside (new cells 0).
  void SetColumns(int32_t n);
  // Changes the row count keeping the rows that stay (dense maps zero the new rows).
  void SetRows(int32_t n);
  // Zeroes every allocated cell.
  void ClearCells();
  // Frees all storage and sets all counts to 0.
  void ReleaseCells();

  // Dense maps: the row's bytes (nullptr outside the map). Sparse maps: always nullptr.
  uint8_t* Row(int32_t row) const {
    if (!Dense || row < 0 || row >= Rows) return nullptr;
    return rows_[static_cast<size_t>(row)];
  }
  // The cell's bytes, or nullptr when outside the map or never written (sparse maps).
  uint8_t* Cell(int32_t col, int32_t row) const {
    if (col < 0 || col >= Columns || row < 0 || row >= Rows) return nullptr;
    if (Dense) return rows_[static_cast<size_t>(row)] + static_cast<size_t>(col) * CellSize;
    const auto& table = chunks_[static_cast<size_t>(row)];
    if (!table) return nullptr;
    uint8_t* chunk = table[static_cast<size_t>(col) >> kChunkShift];
    return chunk ? chunk + static_cast<size_t>(col & (kChunkCells - 1)) * CellSize : nullptr;
  }
  // The cell's bytes, allocated (zeroed) on first use; nullptr only outside the map.
  uint8_t* WritableCell(int32_t col, int32_t row);
  // Sparse maps: true when some cell of the row holds storage. Dense maps: inside the map.
  bool RowPresent(int32_t row) const;

  // Sparse maps: the row's table of chunk pointers (nullptr when the row holds no cell). The
  // table stays where it is, and a row's cells where they are, until the map is re-dimensioned,
  // so another thread may read a finished row through it while later rows are written.
  uint8_t* const* RowChunks(int32_t row) const {
    if (Dense || row < 0 || row >= Rows) return nullptr;
    return chunks_[static_cast<size_t>(row)].get();
  }
  // The cell at col of such a table (nullptr when absent), and whether the table holds a cell.
  const uint8_t* CellOfRowChunks(uint8_t* const* table, int32_t col) const {
    if (!table || col < 0 || col >= Columns) return nullptr;
    const uint8_t* chunk = table[static_cast<size_t>(col) >> kChunkShift];
    return chunk ? chunk + static_cast<size_t>(col & (kChunkCells - 1)) * CellSize : nullptr;
  }
  bool RowChunksPresent(uint8_t* const* table) const;

  // Sparse maps: the cells of `row` become the Columns consecutive cells at `cells`, which lie
  // in storage handed over with KeepStorage. Whole chunks are used where they lie; a partial
  // last chunk, and chunks the row holds already, get a copy. Takes over instead of copying a
  // decoded row: its pages were touched once, by whoever decoded it.
  void AdoptRow(int32_t row, uint8_t* cells);
  // Storage whose cells AdoptRow took: freed with the map's own.
  void KeepStorage(TZeroedBlock storage);
  // Sparse maps: the rows the map is expected to fill. A large map then takes its storage in
  // slabs of whole huge pages from the start instead of growing through small heap slabs.
  void ExpectRows(int32_t rows);

  static constexpr int kChunkShift = 4;
  static constexpr int kChunkCells = 1 << kChunkShift;

 private:
  using ZeroedBlock = TZeroedBlock;
  struct RowBlock {
    int32_t FirstRow;
    ZeroedBlock Storage;
  };

  using ChunkTable = std::unique_ptr<uint8_t*[]>;
  int32_t ChunksPerRow() const { return (Columns + kChunkCells - 1) >> kChunkShift; }
  size_t ChunkBytes() const { return static_cast<size_t>(kChunkCells) * static_cast<size_t>(CellSize); }
  uint8_t* NewChunk();              // zeroed, from the slabs or the free list
  void FreeChunk(uint8_t* chunk);   // back to the free list
  void FreeAllStorage();

  // Dense maps: row pointers into blocks; each growth of the row count adds one block.
  std::vector<uint8_t*> rows_;
  std::vector<RowBlock> rowBlocks_;
  // Sparse maps: per row, per 16 cells, chunks carved from slabs that grow geometrically.
  std::vector<ChunkTable> chunks_;
  std::vector<ZeroedBlock> slabs_;
  size_t slabUsed_ = 0;     // bytes handed out from the last slab
  size_t slabTotal_ = 0;    // bytes of all slabs
  int32_t expectedRows_ = 0;  // told by ExpectRows
  std::vector<uint8_t*> freeChunks_;
  std::vector<ZeroedBlock> adopted_;
};

// One MCU offset entry (cell of TkelOffsets). Byte values are Position values.
struct TkelOffsetEntry {
  int32_t StartByte;
  int32_t StartBit;  // 0..7, from the most significant bit
  int32_t EndByte;   // byte holding the bit after the MCU's last bit
  int32_t EndBit;
  uint8_t Valid;     // set when the start was recorded
};
static_assert(sizeof(TkelOffsetEntry) == 20);

// One coefficient block (cell of TkelMCUs): quantised coefficients in natural order. Kept as
// small as it can be: a 24-megapixel photo holds over half a million of them, and every byte
// of them is fresh memory that the system must clear before the first picture.
struct TkelCoefBlock {
  int16_t Coef[64];
  uint8_t Decoded;  // the block's DC value was decoded in this image
  uint8_t Padding;
};
static_assert(sizeof(TkelCoefBlock) == 130);

// One offset entry per MCU position of the current scan (Columns = MCUs per row).
class TkelOffsets : public TkelJpegMap {
 public:
  TkelOffsets() : TkelJpegMap(sizeof(TkelOffsetEntry), false) {}
  const TkelOffsetEntry* Entry(int32_t col, int32_t row) const {
    return reinterpret_cast<const TkelOffsetEntry*>(Cell(col, row));
  }
  TkelOffsetEntry* WritableEntry(int32_t col, int32_t row) {
    return reinterpret_cast<TkelOffsetEntry*>(WritableCell(col, row));
  }
};

// The coefficient blocks of one frame component, block rows by block columns.
class TkelMCUs : public TkelJpegMap {
 public:
  TkelMCUs() : TkelJpegMap(sizeof(TkelCoefBlock), false) {}
  // Geometry of the scan that last dimensioned the map.
  int32_t MCUsPerRow = 0;
  int32_t MCURows = 0;      // MCU rows of the frame (the map's Rows may be fewer: see above)
  int32_t MCUWidth = 0;
  int32_t MCUHeight = 0;
  int32_t BlocksAcross = 0;  // blocks per MCU across
  int32_t BlocksDown = 0;    // blocks per MCU down
  int32_t BlocksPerMCU = 0;
  int32_t BlockWidth = 0;    // pixels covered by one block: (MaxH / H) * 8
  int32_t BlockHeight = 0;
  int32_t UpsampleH = 0;     // MaxH / H
  int32_t UpsampleV = 0;     // MaxV / V

  // nullptr when absent (never decoded).
  const TkelCoefBlock* Block(int32_t col, int32_t row) const {
    return reinterpret_cast<const TkelCoefBlock*>(Cell(col, row));
  }
  TkelCoefBlock* WritableBlock(int32_t col, int32_t row) {
    return reinterpret_cast<TkelCoefBlock*>(WritableCell(col, row));
  }
};

// A sample plane of one component: signed 16-bit samples, Columns x Rows pixels.
class TkelComponentData : public TkelJpegMap {
 public:
  TkelComponentData() : TkelJpegMap(2, true) {}
  int16_t* Samples(int32_t row) const { return reinterpret_cast<int16_t*>(Row(row)); }
};

// The presence map: one bit per 8x8 pixel area, eight areas per byte.
class TkelAlphaComponentData : public TkelJpegMap {
 public:
  TkelAlphaComponentData() : TkelJpegMap(1, true) {}
};

}  // namespace vt
