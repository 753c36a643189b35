// Manual repair of the MCU grid: re-decoding the scan from a chosen MCU at a chosen bit
// (optionally searching bit by bit for a position that decodes cleanly), and moving,
// inserting, deleting and clearing MCUs.
#include <algorithm>
#include <cstring>

#include "jpeg/bit_reader.h"

namespace vt {

namespace {

constexpr int kMaxAttempts = 385;

}  // namespace

bool TkelBaseJpegParser::SeekBit(int64_t byte, int bit) {
  if (byte < 0 || bit < 0 || bit > 7) return false;
  SeekToPosition(byte);
  acc_ = 0;
  accBits_ = 0;
  stuffedMask_ = 0;
  pendingCode_ = -1;
  pendingBytes_ = 0;
  int discard = 0;
  ReadBits(bit, discard);  // at the end of the data the first MCU reports it
  return true;
}

void TkelBaseJpegParser::RestoreRetryState() {
  for (int i = 0; i < 4; ++i) {
    ScanComponents[i].DcPredictor = retryPredictor_[i];
    ScanComponents[i].ForceDc = retryForce_[i];
  }
  EobRun = 0;
}

bool TkelBaseJpegParser::StepSearchPosition(int search) {
  if (search == 1) {
    if (++searchBit_ > 7) {
      searchBit_ = 0;
      ++searchByte_;
    }
  } else {
    if (--searchBit_ < 0) {
      searchBit_ = 7;
      --searchByte_;
    }
  }
  return SeekBit(searchByte_, searchBit_);
}

int TkelBaseJpegParser::RedecodePass(int32_t startMCU, int search, bool useNextDC) {
  if (!SeekBit(searchByte_, searchBit_)) return jrBadData;
  const int r = SetUpScanTables();
  if (r != jrOK) return r;
  const int32_t total = MCUsPerRow * MCURows;
  for (int i = 0; i < ScanComponentCount; ++i) {
    TkelScanComponent& sc = ScanComponents[i];
    sc.ForceDc = 0;
    sc.DcPredictor = 0;
    if (startMCU <= 0) continue;
    const int blocks = sc.BlocksAcross * sc.BlocksDown;
    const int32_t prev = startMCU - 1;
    const TkelCoefBlock* last = LocateBlock(sc, blocks - 1, prev % MCUsPerRow, prev / MCUsPerRow, false);
    if (last && last != &scratch_ && last->Decoded) {
      sc.DcPredictor = last->Coef[0];
    } else if (useNextDC) {
      const TkelCoefBlock* first = LocateBlock(sc, 0, startMCU % MCUsPerRow, startMCU / MCUsPerRow, false);
      if (first && first != &scratch_ && first->Decoded) {
        sc.ForceDc = 1;
        sc.ForcedDc = first->Coef[0];
      }
    }
  }
  for (int i = 0; i < 4; ++i) {
    retryPredictor_[i] = ScanComponents[i].DcPredictor;
    retryForce_[i] = ScanComponents[i].ForceDc;
  }
  for (int32_t m = startMCU; m < total; ++m) {
    bool anyRows = false;
    for (int i = 0; i < ScanComponentCount && !anyRows; ++i) {
      const TkelMCUs* map = MCUs[ScanComponents[i].FrameIndex].get();
      anyRows = map && (m / MCUsPerRow) * ScanComponents[i].BlocksDown < map->Rows;
    }
    if (!anyRows) break;  // nothing was ever stored from here on
    ClearMCUBlocks(m);
  }
  MCUCounter = startMCU;
  EobRun = 0;
  if (RestartInterval > 0) {
    NextRestartMarker = 0xD0 + (startMCU / RestartInterval) % 8;
    MCUsSinceRestart = startMCU % RestartInterval;
  }
  return DecodeMCUs(total, search, true);
}

int TkelBaseJpegParser::RedecodeFrom(int32_t startMCU, int32_t startByte, int32_t startBit, int search,
                                     bool useNextDC) {
  ++BlockEdits;
  if (!FrameSeen || !stream_ || ScanComponentCount <= 0 || MCUsPerRow <= 0 || ScanCount == 0) return jrBadData;
  const int32_t total = MCUsPerRow * MCURows;
  if (startMCU < 0 || startMCU >= total || startByte < 0 || startBit < 0 || startBit > 7) return jrBadData;
  if (search < 0 || search > 2) search = 0;
  searchByte_ = startByte;
  searchBit_ = startBit;
  int result = jrBadData;
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    CleanMCUs = 0;
    result = RedecodePass(startMCU, search, useNextDC);
    if (result == jrOK || result == jrEndOfData || search == 0) break;
    if (CleanMCUs >= std::min(5, total - startMCU)) break;
    // Next attempt one bit on from where this one started decoding.
    if (search == 1) {
      if (++searchBit_ > 7) {
        searchBit_ = 0;
        ++searchByte_;
      }
    } else {
      if (--searchBit_ < 0) {
        searchBit_ = 7;
        if (--searchByte_ < 0) break;
      }
    }
  }
  ReturnLookahead();
  if (bufferSize_ == 0) EmptyReadBuffer();
  return result;
}

// ------------------------------------------------------------------ grid edits

bool TkelBaseJpegParser::InGrid(int32_t col, int32_t row) const {
  return ScanComponentCount > 0 && col >= 0 && row >= 0 && col < MCUsPerRow && row < MCURows;
}

void TkelBaseJpegParser::CopyMCU(int32_t from, int32_t to) {
  const int32_t fc = from % MCUsPerRow, fr = from / MCUsPerRow;
  const int32_t tc = to % MCUsPerRow, tr = to / MCUsPerRow;
  for (int i = 0; i < ScanComponentCount; ++i) {
    const TkelScanComponent& sc = ScanComponents[i];
    TkelMCUs* map = MCUs[sc.FrameIndex].get();
    if (!map) continue;
    const int blocks = sc.BlocksAcross * sc.BlocksDown;
    for (int b = 0; b < blocks; ++b) {
      const int32_t sy = fr * sc.BlocksDown + b / sc.BlocksAcross;
      const int32_t sx = fc * sc.BlocksAcross + b % sc.BlocksAcross;
      const int32_t dy = tr * sc.BlocksDown + b / sc.BlocksAcross;
      const int32_t dx = tc * sc.BlocksAcross + b % sc.BlocksAcross;
      const TkelCoefBlock* src = map->Block(sx, sy);
      if (!src) {
        if (TkelCoefBlock* dst = const_cast<TkelCoefBlock*>(map->Block(dx, dy)))
          std::memset(static_cast<void*>(dst), 0, sizeof(TkelCoefBlock));
        continue;
      }
      if (dy >= map->Rows) map->SetRows(dy + 1);
      if (TkelCoefBlock* dst = map->WritableBlock(dx, dy)) std::memcpy(dst, src, sizeof(TkelCoefBlock));
    }
  }
  if (Offsets) {
    const TkelOffsetEntry* src = Offsets->Entry(fc, fr);
    if (!src) {
      if (auto* dst = const_cast<TkelOffsetEntry*>(Offsets->Entry(tc, tr))) std::memset(dst, 0, sizeof(*dst));
    } else {
      if (tr >= Offsets->Rows) Offsets->SetRows(tr + 1);
      if (TkelOffsetEntry* dst = Offsets->WritableEntry(tc, tr)) *dst = *src;
    }
  }
}

bool TkelBaseJpegParser::IsMCUDecoded(int32_t col, int32_t row) const {
  if (!InGrid(col, row)) return false;
  const TkelScanComponent& sc = ScanComponents[0];
  const TkelMCUs* map = MCUs[sc.FrameIndex].get();
  if (!map) return false;
  const TkelCoefBlock* blk = map->Block(col * sc.BlocksAcross, row * sc.BlocksDown);
  return blk && blk->Decoded;
}

void TkelBaseJpegParser::ClearMCU(int32_t col, int32_t row) {
  ++BlockEdits;
  if (!InGrid(col, row)) return;
  for (int i = 0; i < ScanComponentCount; ++i) {
    const TkelScanComponent& sc = ScanComponents[i];
    const int blocks = sc.BlocksAcross * sc.BlocksDown;
    for (int b = 0; b < blocks; ++b) {
      TkelCoefBlock* blk = LocateBlock(sc, b, col, row, false);
      if (blk && blk != &scratch_) blk->Decoded = 0;
    }
  }
}

int32_t TkelBaseJpegParser::ReachedMCUEnd() const {
  int64_t rows = 0;
  for (int i = 0; i < ScanComponentCount; ++i) {
    const TkelScanComponent& sc = ScanComponents[i];
    const TkelMCUs* map = MCUs[sc.FrameIndex].get();
    const int32_t down = sc.BlocksDown > 0 ? sc.BlocksDown : 1;
    if (map) rows = std::max<int64_t>(rows, (int64_t(map->Rows) + down - 1) / down);
  }
  if (Offsets) rows = std::max<int64_t>(rows, Offsets->Rows);
  return static_cast<int32_t>(std::min<int64_t>(rows * MCUsPerRow, int64_t(MCUsPerRow) * MCURows));
}

void TkelBaseJpegParser::InsertMCU(int32_t col, int32_t row) {
  ++BlockEdits;
  if (!InGrid(col, row)) return;
  const int32_t p = row * MCUsPerRow + col;
  const int32_t last = MCUsPerRow * MCURows - 1;
  for (int32_t i = std::min(last, ReachedMCUEnd()); i > p; --i) CopyMCU(i - 1, i);
  ClearMCU(col, row);
}

void TkelBaseJpegParser::InsertMCURow(int32_t col, int32_t row) {
  ++BlockEdits;
  if (!InGrid(col, row)) return;
  const int32_t p = row * MCUsPerRow + col;
  const int32_t last = MCUsPerRow * MCURows - 1;
  if (row != MCURows - 1) {
    const int32_t from = std::min<int64_t>(last, int64_t(ReachedMCUEnd()) + MCUsPerRow - 1);
    for (int32_t i = from; i >= p + MCUsPerRow; --i) CopyMCU(i - MCUsPerRow, i);
  }
  for (int32_t i = p; i < p + MCUsPerRow && i <= last; ++i) ClearMCU(i % MCUsPerRow, i / MCUsPerRow);
}

void TkelBaseJpegParser::DeleteMCU(int32_t col, int32_t row) {
  ++BlockEdits;
  if (!InGrid(col, row) || (col == 0 && row == 0)) return;
  const int32_t p = row * MCUsPerRow + col;
  const int32_t last = MCUsPerRow * MCURows - 1;
  const int32_t to = std::min(last, ReachedMCUEnd());
  for (int32_t i = p; i <= to; ++i) CopyMCU(i, i - 1);
  ClearMCU(last % MCUsPerRow, last / MCUsPerRow);
}

void TkelBaseJpegParser::MoveMCUs(int32_t from, int32_t to, int32_t count) {
  ++BlockEdits;
  const int64_t total = int64_t(MCUsPerRow) * MCURows;
  if (ScanComponentCount <= 0 || MCUsPerRow <= 0 || from == to || count <= 0 || from < 0 || to < 0) return;
  count = static_cast<int32_t>(std::min<int64_t>(count, total - std::max(from, to)));
  // From the reached end on every MCU is absent: a copy between two such positions changes
  // nothing, so only the pairs with one side before it are walked.
  const int32_t reached = ReachedMCUEnd();
  const int32_t n = std::clamp(reached - std::min(from, to), 0, std::max(count, 0));
  if (to > from) {
    for (int32_t i = n - 1; i >= 0; --i) CopyMCU(from + i, to + i);
  } else {
    for (int32_t i = 0; i < n; ++i) CopyMCU(from + i, to + i);
  }
}

TkelOffsetEntry TkelBaseJpegParser::GetMCUOffsets(int32_t col, int32_t row) const {
  TkelOffsetEntry e{};
  if (!Offsets || !InGrid(col, row)) return e;
  if (const TkelOffsetEntry* src = Offsets->Entry(col, row)) e = *src;
  return e;
}

}  // namespace vt
