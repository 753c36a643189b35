#include "jpeg/jpeg_map.h"

#include <algorithm>

namespace vt {

namespace {

std::unique_ptr<uint8_t[]> NewZeroedRow(int32_t stride) {
  return std::unique_ptr<uint8_t[]>(new uint8_t[static_cast<size_t>(stride)]());
}

}  // namespace

TkelJpegMap::TkelJpegMap(int32_t cellSize, bool dense) : CellSize(cellSize), Dense(dense) {}

uint8_t* TkelJpegMap::WritableRow(int32_t row) {
  if (row < 0 || row >= Rows || RowStride <= 0) return nullptr;
  auto& r = rows_[static_cast<size_t>(row)];
  if (!r) {
    r = NewZeroedRow(RowStride);
    Size += RowStride;
  }
  return r.get();
}

int32_t TkelJpegMap::PresentRows() const {
  int32_t n = 0;
  for (const auto& r : rows_) n += r ? 1 : 0;
  return n;
}

void TkelJpegMap::SetColumns(int32_t n) {
  if (n < 0) n = 0;
  if (n == Columns) return;
  const int32_t newStride = n * CellSize;
  if (n == 0) {
    for (auto& r : rows_) r.reset();
    Size = 0;
  } else {
    Size = 0;
    for (auto& r : rows_) {
      if (!r) {
        if (!Dense) continue;
        r = NewZeroedRow(newStride);
      } else {
        auto nr = NewZeroedRow(newStride);
        std::memcpy(nr.get(), r.get(), static_cast<size_t>(std::min(newStride, RowStride)));
        r = std::move(nr);
      }
      Size += newStride;
    }
  }
  Columns = n;
  RowStride = newStride;
}

void TkelJpegMap::SetRows(int32_t n) {
  if (n < 0) n = 0;
  if (n == Rows) return;
  if (n < Rows) {
    for (size_t i = static_cast<size_t>(n); i < rows_.size(); ++i)
      if (rows_[i]) Size -= RowStride;
    rows_.resize(static_cast<size_t>(n));
  } else {
    rows_.resize(static_cast<size_t>(n));
    if (Dense && RowStride > 0) {
      for (size_t i = static_cast<size_t>(Rows); i < rows_.size(); ++i) {
        rows_[i] = NewZeroedRow(RowStride);
        Size += RowStride;
      }
    }
  }
  if (n == 0) {
    rows_.clear();
    rows_.shrink_to_fit();
    Size = 0;
  }
  Rows = n;
}

void TkelJpegMap::ClearCells() {
  for (auto& r : rows_)
    if (r) std::memset(r.get(), 0, static_cast<size_t>(RowStride));
}

void TkelJpegMap::ReleaseCells() {
  rows_.clear();
  rows_.shrink_to_fit();
  Size = 0;
  Columns = 0;
  Rows = 0;
  RowStride = 0;
}

}  // namespace vt
