#include "jpeg/jpeg_map.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace vt {

namespace {

// Slabs of a sparse map grow with the map, up to this size.
constexpr size_t kMaxSlabBytes = size_t{8} << 20;

}  // namespace

TkelJpegMap::TkelJpegMap(int32_t cellSize, bool dense) : CellSize(cellSize), Dense(dense) {}

uint8_t* TkelJpegMap::NewChunk() {
  const size_t bytes = ChunkBytes();
  if (!freeChunks_.empty()) {
    uint8_t* c = freeChunks_.back();
    freeChunks_.pop_back();
    std::memset(c, 0, bytes);
    return c;
  }
  if (slabs_.empty() || slabUsed_ + bytes > slabs_.back().Bytes()) {
    // Each new slab is as large as all earlier ones together (at least 16 chunks, at most
    // kMaxSlabBytes), so storage stays within about twice the cells in use.
    size_t want = std::clamp(slabTotal_, bytes * 16, std::max(kMaxSlabBytes, bytes));
    const size_t expected = static_cast<size_t>(expectedRows_) * static_cast<size_t>(ChunksPerRow()) * bytes;
    if (expected > slabTotal_ && expected - slabTotal_ >= TZeroedBlock::kMapThreshold)
      want = std::max(want, std::min(kMaxSlabBytes, expected - slabTotal_));
    want = want / bytes * bytes;
    slabs_.emplace_back(want);
    slabTotal_ += want;
    slabUsed_ = 0;
  }
  uint8_t* c = slabs_.back().Data() + slabUsed_;
  slabUsed_ += bytes;
  return c;
}

void TkelJpegMap::FreeChunk(uint8_t* chunk) { freeChunks_.push_back(chunk); }

void TkelJpegMap::FreeAllStorage() {
  rows_.clear();
  rows_.shrink_to_fit();
  rowBlocks_.clear();
  rowBlocks_.shrink_to_fit();
  chunks_.clear();
  chunks_.shrink_to_fit();
  slabs_.clear();
  slabs_.shrink_to_fit();
  freeChunks_.clear();
  freeChunks_.shrink_to_fit();
  adopted_.clear();
  adopted_.shrink_to_fit();
  slabUsed_ = 0;
  slabTotal_ = 0;
  expectedRows_ = 0;
}

uint8_t* TkelJpegMap::WritableCell(int32_t col, int32_t row) {
  if (col < 0 || col >= Columns || row < 0 || row >= Rows) return nullptr;
  if (Dense) return rows_[static_cast<size_t>(row)] + static_cast<size_t>(col) * CellSize;
  auto& table = chunks_[static_cast<size_t>(row)];
  if (!table) table = std::make_unique<uint8_t*[]>(static_cast<size_t>(ChunksPerRow()));
  auto& chunk = table[static_cast<size_t>(col) >> kChunkShift];
  if (!chunk) {
    chunk = NewChunk();
    Size += kChunkCells * CellSize;
  }
  return chunk + static_cast<size_t>(col & (kChunkCells - 1)) * CellSize;
}

void TkelJpegMap::AdoptRow(int32_t row, uint8_t* cells) {
  if (Dense || row < 0 || row >= Rows) return;
  auto& table = chunks_[static_cast<size_t>(row)];
  if (!table) table = std::make_unique<uint8_t*[]>(static_cast<size_t>(ChunksPerRow()));
  for (int32_t j = 0; j < ChunksPerRow(); ++j) {
    uint8_t* from = cells + static_cast<size_t>(j) * ChunkBytes();
    const int32_t n = std::min(kChunkCells, Columns - j * kChunkCells);
    uint8_t*& chunk = table[static_cast<size_t>(j)];
    if (!chunk) {
      // A partial chunk's storage would run on into the cells of the next row.
      chunk = n == kChunkCells ? from : NewChunk();
      Size += kChunkCells * CellSize;
      if (chunk == from) continue;
    }
    std::memcpy(chunk, from, static_cast<size_t>(n) * static_cast<size_t>(CellSize));
  }
}

void TkelJpegMap::ExpectRows(int32_t rows) { expectedRows_ = std::max(rows, 0); }

void TkelJpegMap::KeepStorage(TZeroedBlock storage) {
  if (storage.Data()) adopted_.push_back(std::move(storage));
}

bool TkelJpegMap::RowPresent(int32_t row) const {
  if (row < 0 || row >= Rows) return false;
  if (Dense) return true;
  return RowChunksPresent(chunks_[static_cast<size_t>(row)].get());
}

bool TkelJpegMap::RowChunksPresent(uint8_t* const* table) const {
  if (!table) return false;
  for (int32_t i = 0; i < ChunksPerRow(); ++i)
    if (table[static_cast<size_t>(i)]) return true;
  return false;
}

void TkelJpegMap::SetColumns(int32_t n) {
  if (n < 0) n = 0;
  if (n == Columns) return;
  const int32_t newStride = n * CellSize;
  if (Dense) {
    Size = 0;
    if (n == 0 || rows_.empty()) {
      std::fill(rows_.begin(), rows_.end(), nullptr);
      rowBlocks_.clear();
    } else {
      // All rows move into one new block, keeping the cells that stay.
      ZeroedBlock block(rows_.size() * static_cast<size_t>(newStride));
      for (size_t i = 0; i < rows_.size(); ++i) {
        uint8_t* nr = block.Data() + i * static_cast<size_t>(newStride);
        if (rows_[i]) std::memcpy(nr, rows_[i], static_cast<size_t>(std::min(newStride, RowStride)));
        rows_[i] = nr;
        Size += newStride;
      }
      rowBlocks_.clear();
      rowBlocks_.push_back(RowBlock{0, std::move(block)});
    }
  } else {
    const int32_t oldChunks = ChunksPerRow();
    const int32_t newChunks = (n + kChunkCells - 1) >> kChunkShift;
    for (auto& table : chunks_) {
      if (!table) continue;
      if (n == 0) {
        for (int32_t i = 0; i < oldChunks; ++i)
          if (table[static_cast<size_t>(i)]) {
            FreeChunk(table[static_cast<size_t>(i)]);
            Size -= kChunkCells * CellSize;
          }
        table.reset();
        continue;
      }
      auto nt = std::make_unique<uint8_t*[]>(static_cast<size_t>(newChunks));
      for (int32_t i = 0; i < oldChunks; ++i) {
        uint8_t* c = table[static_cast<size_t>(i)];
        if (!c) continue;
        if (i < newChunks) {
          nt[static_cast<size_t>(i)] = c;
        } else {
          FreeChunk(c);
          Size -= kChunkCells * CellSize;
        }
      }
      // Cells of a kept partial chunk that fall outside the new width are cleared, so that
      // growing again yields zero cells.
      if (n < Columns && (n & (kChunkCells - 1)) != 0) {
        uint8_t* last = nt[static_cast<size_t>(newChunks - 1)];
        if (last) {
          const int32_t keep = n & (kChunkCells - 1);
          std::memset(last + static_cast<size_t>(keep) * CellSize, 0,
                      static_cast<size_t>(kChunkCells - keep) * CellSize);
        }
      }
      table = std::move(nt);
    }
  }
  Columns = n;
  RowStride = newStride;
}

void TkelJpegMap::SetRows(int32_t n) {
  if (n < 0) n = 0;
  if (n == Rows) return;
  if (Dense) {
    if (n < Rows) {
      Size -= (Rows - n) * RowStride;
      rows_.resize(static_cast<size_t>(n));
      // Blocks that hold only dropped rows go back; a block holding kept rows stays whole.
      while (!rowBlocks_.empty() && rowBlocks_.back().FirstRow >= n) rowBlocks_.pop_back();
    } else {
      const size_t old = rows_.size();
      rows_.resize(static_cast<size_t>(n), nullptr);
      if (RowStride > 0) {
        ZeroedBlock block((static_cast<size_t>(n) - old) * static_cast<size_t>(RowStride));
        for (size_t i = old; i < rows_.size(); ++i) {
          rows_[i] = block.Data() + (i - old) * static_cast<size_t>(RowStride);
          Size += RowStride;
        }
        rowBlocks_.push_back(RowBlock{static_cast<int32_t>(old), std::move(block)});
      }
    }
  } else {
    if (n < Rows) {
      for (size_t r = static_cast<size_t>(n); r < chunks_.size(); ++r) {
        if (!chunks_[r]) continue;
        for (int32_t i = 0; i < ChunksPerRow(); ++i)
          if (chunks_[r][static_cast<size_t>(i)]) {
            FreeChunk(chunks_[r][static_cast<size_t>(i)]);
            Size -= kChunkCells * CellSize;
          }
      }
    }
    chunks_.resize(static_cast<size_t>(n));
  }
  if (n == 0) {
    FreeAllStorage();
    Size = 0;
  }
  Rows = n;
}

void TkelJpegMap::ClearCells() {
  if (Dense) {
    for (uint8_t* r : rows_)
      if (r) std::memset(r, 0, static_cast<size_t>(RowStride));
    return;
  }
  for (auto& table : chunks_) {
    if (!table) continue;
    for (int32_t i = 0; i < ChunksPerRow(); ++i)
      if (table[static_cast<size_t>(i)]) std::memset(table[static_cast<size_t>(i)], 0, ChunkBytes());
  }
}

void TkelJpegMap::ReleaseCells() {
  FreeAllStorage();
  Size = 0;
  Columns = 0;
  Rows = 0;
  RowStride = 0;
}

}  // namespace vt
