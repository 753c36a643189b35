#include "jpeg/ahead_decode.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "jpeg/bit_reader.h"
#include "jpeg/markers.h"

namespace vt {

TkelAheadDecoder::TkelAheadDecoder(const TkelBaseJpegParser& scan, TZeroedBlock data, int64_t size, int64_t from,
                                   int32_t maxMCUs)
    : TkelBaseJpegParser(int32_t{1} << 16),
      data_(std::move(data)),
      from_(from),
      maxMCUs_(maxMCUs),
      record_(static_cast<size_t>(maxMCUs) * sizeof(TkelAheadMCU)) {
  for (int t = 0; t < 4; ++t) {
    DcTables[t] = scan.DcTables[t];
    AcTables[t] = scan.AcTables[t];
  }
  ScanComponentCount = scan.ScanComponentCount;
  for (int i = 0; i < ScanComponentCount; ++i) {
    ScanComponents[i] = scan.ScanComponents[i];
    ScanComponents[i].DcPredictor = 0;
    ScanComponents[i].ForceDc = 0;
    const TkelScanComponent& sc = ScanComponents[i];
    storage_[i] = TZeroedBlock(static_cast<size_t>(maxMCUs_) * static_cast<size_t>(sc.BlocksAcross * sc.BlocksDown) *
                               sizeof(TkelCoefBlock));
    blocks_[i] = reinterpret_cast<TkelCoefBlock*>(storage_[i].Data());
  }
  MCUsPerRow = scan.MCUsPerRow;
  RestartInterval = scan.RestartInterval;
  MCURows = scan.MCURows;
  scanKind_ = kScanSequential;
  dataStream_.SetPointer(data_.Data(), size);
  // Position values are the scan parser's: the first byte held is Position `from`.
  AttachStream(dataStream_, -from_);
}

TkelAheadDecoder::~TkelAheadDecoder() { Stop(); }

bool TkelAheadDecoder::Start() {
  running_.store(true, std::memory_order_release);
  try {
    thread_ = std::thread([this] {
      Run();
      running_.store(false, std::memory_order_release);
    });
  } catch (const std::system_error&) {
    running_.store(false, std::memory_order_release);
    return false;
  }
  return true;
}

void TkelAheadDecoder::Stop() {
  stop_.store(true, std::memory_order_relaxed);
  if (thread_.joinable()) thread_.join();
}

void TkelAheadDecoder::Wait() {
  if (thread_.joinable()) thread_.join();
}

bool TkelAheadDecoder::PrefaultStep(int32_t endSlot) {
  // About a megabyte of the largest component a step: a few milliseconds of clearing, so that
  // the end of the decoding is not waited for long.
  int32_t perSlot = 0;
  for (int i = 0; i < ScanComponentCount; ++i)
    perSlot = std::max(perSlot, ScanComponents[i].BlocksAcross * int32_t(sizeof(TkelCoefBlock)));
  const int32_t step = std::max<int32_t>(256, (int32_t{1} << 20) / std::max(perSlot, 1));
  if (prefaulted_ < 0) prefaulted_ = std::min(endSlot, maxMCUs_);
  const int32_t lo = prefaulted_ - step;
  // Two steps clear of the decoding: its own writes fault the pages it reaches first.
  if (!running_.load(std::memory_order_acquire) || lo <= Published() + 2 * step) return false;
  for (int i = 0; i < ScanComponentCount; ++i) {
    const TkelScanComponent& sc = ScanComponents[i];
    const size_t slotBytes = size_t(sc.BlocksAcross) * sizeof(TkelCoefBlock);
    for (int32_t dy = 0; dy < sc.BlocksDown; ++dy)
      storage_[i].Prefault((size_t(dy) * size_t(maxMCUs_) + size_t(lo)) * slotBytes, size_t(step) * slotBytes);
  }
  record_.Prefault(size_t(lo) * sizeof(TkelAheadMCU), size_t(step) * sizeof(TkelAheadMCU));
  prefaulted_ = lo;
  return true;
}

void TkelAheadDecoder::StartPredictors(int32_t k, int32_t (&p)[4]) const {
  const TkelAheadMCU* record = Record();
  const bool continues = k > 0 && record[k - 1].Run == record[k].Run;
  for (int i = 0; i < 4; ++i) p[i] = continues ? record[k - 1].EndPredictors[i] : 0;
}

int TkelAheadDecoder::DecodeSlot(int32_t k) {
  for (int i = 0; i < ScanComponentCount; ++i) {
    TkelScanComponent& sc = ScanComponents[i];
    for (int32_t dy = 0; dy < sc.BlocksDown; ++dy)
      for (int32_t dx = 0; dx < sc.BlocksAcross; ++dx) {
        const int r = DecodeSequentialBlock(sc, Block(i, dx, dy, k));
        if (r != jrOK) return r;
      }
  }
  return jrOK;
}

void TkelAheadDecoder::ClearSlot(int32_t k) {
  for (int i = 0; i < ScanComponentCount; ++i) {
    const TkelScanComponent& sc = ScanComponents[i];
    for (int32_t dy = 0; dy < sc.BlocksDown; ++dy)
      std::memset(static_cast<void*>(Block(i, 0, dy, k)), 0, sizeof(TkelCoefBlock) * static_cast<size_t>(sc.BlocksAcross));
  }
}

void TkelAheadDecoder::Run() {
  if (!SeekBit(from_, 0)) return;
  if (RestartInterval > 0) {
    RunIntervals();
    return;
  }
  int32_t run = 0;
  for (int32_t k = 0; k < maxMCUs_ && !stop_.load(std::memory_order_relaxed);) {
    TkelAheadMCU& m = Record()[k];
    m.Start = CurrentBit();
    reachedCode_ = -1;
    if (DecodeSlot(k) != jrOK) {
      ClearSlot(k);
      // A marker or the end of the data: nothing after it belongs to this scan's run of data.
      if (reachedCode_ >= 0) break;
      // Not on the code boundaries yet (or damaged data): a new run from where this one failed.
      ++run;
      for (int i = 0; i < ScanComponentCount; ++i) ScanComponents[i].DcPredictor = 0;
      continue;
    }
    m.End = CurrentBit();
    m.Resume = m.End;
    m.Run = run;
    for (int i = 0; i < ScanComponentCount; ++i) m.EndPredictors[i] = ScanComponents[i].DcPredictor;
    published_.store(++k, std::memory_order_release);
  }
}

// Reads on to the next restart marker, past data and other markers as the restart search of
// the scan's decoding does; false at the end of the data or at a marker that ends the image or
// starts another one, where that search stops too.
bool TkelAheadDecoder::FindRestartMarker(int& marker) {
  for (;;) {
    int b = ReadByte();
    while (b >= 0 && b != 0xFF) b = ReadByte();
    do {
      b = ReadByte();
    } while (b == 0xFF);
    if (b < 0 || b == mkEOI || b == mkSOI || b == mkSOS || b == mkDNL) return false;
    if (IsRestartMarker(b)) {
      marker = b;
      return true;
    }
  }
}

void TkelAheadDecoder::RunIntervals() {
  int marker = 0;
  if (!FindRestartMarker(marker)) return;
  int32_t run = 0;
  for (int32_t k = 0; !stop_.load(std::memory_order_relaxed);) {
    const int expected = marker == mkRST7 ? mkRST0 : marker + 1;
    DropBits();
    for (int i = 0; i < ScanComponentCount; ++i) ScanComponents[i].DcPredictor = 0;
    const int32_t first = k;
    if (first + RestartInterval > maxMCUs_) return;
    int r = jrOK;
    reachedCode_ = -1;
    for (; k < first + RestartInterval && r == jrOK; ++k) {
      TkelAheadMCU& m = Record()[k];
      m.Start = CurrentBit();
      m.Run = run;
      m.IntervalStart = k == first;
      r = DecodeSlot(k);
      m.End = CurrentBit();
      m.Resume = m.End;
      for (int i = 0; i < ScanComponentCount; ++i) m.EndPredictors[i] = ScanComponents[i].DcPredictor;
    }
    // The interval counts when its own marker follows, fill bytes allowed, nothing else.
    int b = -1;
    if (r == jrOK) {
      ReturnLookahead();
      b = ReadByte();
      if (b == 0xFF) {
        do {
          b = ReadByte();
        } while (b == 0xFF);
        if (b == expected) {
          marker = b;
          Record()[k - 1].Resume = Position * 8;
          published_.store(k, std::memory_order_release);
          continue;
        }
      } else {
        b = -1;
      }
    }
    // Anything else: its MCUs are dropped and a new run starts after the next restart marker.
    for (int32_t j = first; j < k; ++j) ClearSlot(j);
    k = first;
    ++run;
    if (r != jrOK && IsRestartMarker(reachedCode_)) {
      marker = reachedCode_;  // the decoding ran into it and read it
    } else if (IsRestartMarker(b)) {
      marker = b;
    } else if (r != jrOK && reachedCode_ >= 0) {
      return;  // the end of the data or a marker of another kind
    } else if (!FindRestartMarker(marker)) {
      return;
    }
  }
}

}  // namespace vt
