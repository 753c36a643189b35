#include "jpeg/jpeg_map.h"

#include <algorithm>

namespace vt {

namespace {

std::unique_ptr<uint8_t[]> NewZeroed(size_t bytes) { return std::unique_ptr<uint8_t[]>(new uint8_t[bytes]()); }

}  // namespace

TkelJpegMap::TkelJpegMap(int32_t cellSize, bool dense) : CellSize(cellSize), Dense(dense) {}

uint8_t* TkelJpegMap::WritableCell(int32_t col, int32_t row) {
  if (col < 0 || col >= Columns || row < 0 || row >= Rows) return nullptr;
  if (Dense) return rows_[static_cast<size_t>(row)].get() + static_cast<size_t>(col) * CellSize;
  auto& table = chunks_[static_cast<size_t>(row)];
  if (!table) table = std::make_unique<std::unique_ptr<uint8_t[]>[]>(static_cast<size_t>(ChunksPerRow()));
  auto& chunk = table[static_cast<size_t>(col) >> kChunkShift];
  if (!chunk) {
    chunk = NewZeroed(static_cast<size_t>(kChunkCells) * CellSize);
    Size += kChunkCells * CellSize;
  }
  return chunk.get() + static_cast<size_t>(col & (kChunkCells - 1)) * CellSize;
}

bool TkelJpegMap::RowPresent(int32_t row) const {
  if (row < 0 || row >= Rows) return false;
  if (Dense) return true;
  const auto& table = chunks_[static_cast<size_t>(row)];
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
    for (auto& r : rows_) {
      if (n == 0) {
        r.reset();
        continue;
      }
      auto nr = NewZeroed(static_cast<size_t>(newStride));
      if (r) std::memcpy(nr.get(), r.get(), static_cast<size_t>(std::min(newStride, RowStride)));
      r = std::move(nr);
      Size += newStride;
    }
  } else {
    const int32_t oldChunks = ChunksPerRow();
    const int32_t newChunks = (n + kChunkCells - 1) >> kChunkShift;
    for (auto& table : chunks_) {
      if (!table) continue;
      if (n == 0) {
        for (int32_t i = 0; i < oldChunks; ++i)
          if (table[static_cast<size_t>(i)]) Size -= kChunkCells * CellSize;
        table.reset();
        continue;
      }
      auto nt = std::make_unique<std::unique_ptr<uint8_t[]>[]>(static_cast<size_t>(newChunks));
      for (int32_t i = 0; i < oldChunks; ++i) {
        auto& c = table[static_cast<size_t>(i)];
        if (!c) continue;
        if (i < newChunks) {
          nt[static_cast<size_t>(i)] = std::move(c);
        } else {
          c.reset();
          Size -= kChunkCells * CellSize;
        }
      }
      // Cells of a kept partial chunk that fall outside the new width are cleared, so that
      // growing again yields zero cells.
      if (n < Columns && (n & (kChunkCells - 1)) != 0) {
        auto& last = nt[static_cast<size_t>(newChunks - 1)];
        if (last) {
          const int32_t keep = n & (kChunkCells - 1);
          std::memset(last.get() + static_cast<size_t>(keep) * CellSize, 0,
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
    } else {
      rows_.resize(static_cast<size_t>(n));
      if (RowStride > 0) {
        for (size_t i = static_cast<size_t>(Rows); i < rows_.size(); ++i) {
          rows_[i] = NewZeroed(static_cast<size_t>(RowStride));
          Size += RowStride;
        }
      }
    }
  } else {
    if (n < Rows) {
      for (size_t r = static_cast<size_t>(n); r < chunks_.size(); ++r) {
        if (!chunks_[r]) continue;
        for (int32_t i = 0; i < ChunksPerRow(); ++i)
          if (chunks_[r][static_cast<size_t>(i)]) Size -= kChunkCells * CellSize;
      }
    }
    chunks_.resize(static_cast<size_t>(n));
  }
  if (n == 0) {
    rows_.clear();
    rows_.shrink_to_fit();
    chunks_.clear();
    chunks_.shrink_to_fit();
    Size = 0;
  }
  Rows = n;
}

void TkelJpegMap::ClearCells() {
  if (Dense) {
    for (auto& r : rows_)
      if (r) std::memset(r.get(), 0, static_cast<size_t>(RowStride));
    return;
  }
  for (auto& table : chunks_) {
    if (!table) continue;
    for (int32_t i = 0; i < ChunksPerRow(); ++i)
      if (table[static_cast<size_t>(i)])
        std::memset(table[static_cast<size_t>(i)].get(), 0, static_cast<size_t>(kChunkCells) * CellSize);
  }
}

void TkelJpegMap::ReleaseCells() {
  rows_.clear();
    rows_.shrink_to_fit();
  chunks_.clear();
    chunks_.shrink_to_fit();
  Size = 0;
  Columns = 0;
  Rows = 0;
  RowStride = 0;
}

}  // namespace vt
