// Decoding a long sequential scan on two cores: the ahead decoder (ahead_decode.h) decodes the
// second part of the data while this parser decodes from the start; where this parser's MCU
// start meets one the ahead decoder recorded, the MCUs of that run are placed as if decoded here
// (their DC values moved by the difference of the predictors, their offset entries, counters and
// finished rows) and the decoding goes on after the last of them. Without restart markers the run
// is placed as the ahead decoder publishes it, row by row. Anything that runs differently from
// here on (damage, a marker, the end of the data) is met by this parser itself, so the outcome
// is the one-core decoding's in every detail. While both decode, the picture rendered while
// decoding waits (its bands are rendered by this parser whenever it waits for the ahead decoder).
#include <algorithm>
#include <cstring>
#include <chrono>
#include <thread>

#include "base/limits.h"
#include "jpeg/ahead_decode.h"
#include "jpeg/bit_reader.h"
#include "jpeg/markers.h"

namespace vt {

namespace {

// DC predictors wrap around in 32 bits, as the decoding keeps them.
int32_t AddWrapped(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
int32_t SubWrapped(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// The DC values of count blocks moved by delta, as the 16-bit coefficients keep them.
void ShiftDC(TkelCoefBlock* blocks, int32_t count, int32_t delta) {
  const uint16_t shift = static_cast<uint16_t>(delta);
  if (shift == 0) return;
  for (int32_t b = 0; b < count; ++b)
    blocks[b].Coef[0] = static_cast<int16_t>(static_cast<uint16_t>(blocks[b].Coef[0]) + shift);
}

}  // namespace

void TkelBaseJpegParser::AttachStream(TStream& stream, int64_t origin) {
  stream_ = &stream;
  DropReadBuffer();
  StreamOrigin = origin;
  streamPos_ = origin;
  Position = 0;
}

void TkelBaseJpegParser::StartAheadDecode(int32_t total) {
  StopAheadDecode();
  AheadMCUs = 0;
  if (SplitScans == 0) return;
  if (scanKind_ != kScanSequential || HeightFromDNL || !KeepsCoefficients) return;
  // Without the search the marker after an interval is met by the next MCU's decoding instead.
  if (RestartInterval > 0 && (Flags & pfNoRestartSearch)) return;
  if (trialMCU_ || !stream_ || total <= 1 || ScanComponentCount < 1) return;
  for (int i = 0; i < ScanComponentCount; ++i) {
    const TkelScanComponent& sc = ScanComponents[i];
    if (sc.ForceDc || sc.DcPredictor != 0 || !MCUs[sc.FrameIndex]) return;
  }
  // The data runs to the end of the stream or of what may be read, whichever comes first.
  int64_t end = stream_->GetSize() - StreamOrigin;
  if (readLimit_ < end) end = readLimit_;
  const int64_t length = end - Position;
  if (length < (SplitScans >= 1 ? 64 : kSplitScanMinBytes) || length > kSplitScanMaxBytes) return;
  if (std::thread::hardware_concurrency() < 2) return;
  // The decoding from the start also places every block in the maps, records every MCU's
  // offsets and renders the bands held back; the ahead decoder clears its own fresh pages until
  // the other comes to help. Measured on 24-megapixel photos, both are done at about the same
  // time when they meet a little before the middle of the data.
  const int64_t from = Position + length * 9 / 20;
  TZeroedBlock data;
  try {
    data = TZeroedBlock(static_cast<size_t>(end - from));
  } catch (const std::bad_alloc&) {
    return;
  }
  if (ReadDataAt(from, data.Data(), end - from) != end - from) return;
  // An MCU takes at least two bits a block (a DC and an end-of-block code).
  int32_t blocksPerMCU = 0;
  for (int i = 0; i < ScanComponentCount; ++i)
    blocksPerMCU += ScanComponents[i].BlocksAcross * ScanComponents[i].BlocksDown;
  const int64_t fit = (end - from) * 8 / (2 * blocksPerMCU) + 1;
  const int32_t maxMCUs = static_cast<int32_t>(std::min<int64_t>(total, fit));
  try {
    auto ahead = std::make_unique<TkelAheadDecoder>(*this, std::move(data), end - from, from, maxMCUs);
    if (!ahead->Start()) return;
    ahead_ = std::move(ahead);
    SplitDecodeRunning(&ahead_->Running());
  } catch (const std::bad_alloc&) {
    return;
  }
  aheadFrom_ = from;
  // At restart markers the ahead decoder is in step from its first interval on.
  aheadGiveUp_ = RestartInterval > 0 ? INT64_MAX : (from + kSplitSyncBytes) * 8;
  aheadCursor_ = 0;
}

void TkelBaseJpegParser::StopAheadDecode() {
  aheadFrom_ = INT64_MAX;
  if (!ahead_) return;
  SplitDecodeRunning(nullptr);
  ahead_.reset();
}

bool TkelBaseJpegParser::TakeAheadMCUs(int32_t total, int32_t& col, int32_t& row) {
  TkelAheadDecoder& ahead = *ahead_;
  // Asked for whenever possible (tests): the ahead decoder's whole record, whatever the timing.
  if (SplitScans >= 1) ahead.Wait();
  const TkelBitPos here = CurrentBit();
  if (here >= aheadGiveUp_) {
    StopAheadDecode();
    return false;
  }
  // With restart markers only the start of an interval can meet one.
  const int32_t interval = RestartInterval;
  if (interval > 0 && MCUsSinceRestart != 0) return false;
  int32_t published = ahead.Published();
  while (aheadCursor_ < published && ahead.MCU(aheadCursor_).Start < here) ++aheadCursor_;
  if (aheadCursor_ >= published || ahead.MCU(aheadCursor_).Start != here) return false;
  if (interval > 0 && !ahead.MCU(aheadCursor_).IntervalStart) return false;

  // In step. With restart markers the rest of the ahead decoder's run is taken once it has
  // finished it, helped meanwhile (all the held work is done when the whole record was asked
  // for, whatever the timing).
  if (interval == 0) return FollowAheadRun(total, col, row);
  const int32_t endSlot = aheadCursor_ + (total - MCUCounter);
  while ((SplitScans >= 1 || ahead.Running().load(std::memory_order_acquire)) && HelpAheadDecoder(endSlot)) {
  }
  ahead.Wait();
  published = ahead.Published();
  const int32_t first = aheadCursor_;
  int32_t last = first;
  while (last + 1 < published && ahead.MCU(last + 1).Run == ahead.MCU(first).Run) ++last;
  // Whole intervals whose marker the decoding from the start would read too: the last interval
  // of the frame is decoded without a look for its marker, so it is left to that decoding.
  const int32_t count = std::min(last - first + 1, total - MCUCounter - 1) / interval * interval;
  if (count <= 0) return false;
  if (PlaceAheadMCUs(first, count, col, row))
    for (int i = 0; i < ScanComponentCount; ++i) MCUs[ScanComponents[i].FrameIndex]->KeepStorage(ahead.TakeStorage(i));
  // After damage the decoding from the start finds the next restart marker as the ahead decoder
  // did, and may meet its next run there.
  aheadCursor_ = first + count;
  return true;
}

bool TkelBaseJpegParser::HelpAheadDecoder(int32_t endSlot) {
  // It decodes the rest of the frame from the MCU met, its slot aheadCursor_, up to endSlot.
  return WorkWhileWaiting() || ahead_->PrefaultStep(endSlot);
}

bool TkelBaseJpegParser::FollowAheadRun(int32_t total, int32_t& col, int32_t& row) {
  TkelAheadDecoder& ahead = *ahead_;
  // The run is taken as the ahead decoder publishes it, whole MCU rows at a time, so that the
  // rows it has decoded are rendered while it decodes the rows below; it is helped between.
  const int32_t run = ahead.MCU(aheadCursor_).Run;
  const int32_t endSlot = aheadCursor_ + (total - MCUCounter);
  bool adopted = false;
  for (;;) {
    // Once the decoding has ended, what it published is all there is.
    const bool running = ahead.Running().load(std::memory_order_acquire);
    const int32_t published = ahead.Published();
    int32_t last = aheadCursor_ - 1;
    while (last + 1 < published && ahead.MCU(last + 1).Run == run) ++last;
    int32_t count = std::min(last - aheadCursor_ + 1, total - MCUCounter);
    const bool whole = !running || last + 1 < published || count == total - MCUCounter;
    if (!whole) count -= (col + count) % MCUsPerRow;  // the rows the run may go on in wait
    if (SplitScans == 2) count = std::min(count, MCUsPerRow - col);  // tests: a row at a time
    if (count > 0) {
      adopted |= PlaceAheadMCUs(aheadCursor_, count, col, row);
      aheadCursor_ += count;
      if (SplitScans == 2) HelpAheadDecoder(endSlot);  // tests: as if each row had been waited for
      continue;
    }
    if (whole) break;
    if (!HelpAheadDecoder(endSlot)) std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  // Without markers nothing follows the run: after damage this decoding goes on by itself.
  ahead.Stop();
  if (adopted)
    for (int i = 0; i < ScanComponentCount; ++i) MCUs[ScanComponents[i].FrameIndex]->KeepStorage(ahead.TakeStorage(i));
  StopAheadDecode();
  return true;
}

bool TkelBaseJpegParser::PlaceAheadMCUs(int32_t first, int32_t count, int32_t& col, int32_t& row) {
  TkelAheadDecoder& ahead = *ahead_;
  const int32_t interval = RestartInterval;
  int32_t start[4] = {}, delta[4] = {};
  if (interval == 0) ahead.StartPredictors(first, start);
  for (int i = 0; i < ScanComponentCount; ++i) delta[i] = SubWrapped(ScanComponents[i].DcPredictor, start[i]);

  const auto recordOffsets = [&](const TkelAheadMCU& m, int32_t c, int32_t r) {
    if (!Offsets) return;
    if (r >= Offsets->Rows && r < MCURows) Offsets->SetRows(r + 1);
    if (TkelOffsetEntry* e = Offsets->WritableEntry(c, r)) {
      e->StartByte = static_cast<int32_t>(m.Start >> 3);
      e->StartBit = static_cast<int32_t>(m.Start & 7);
      e->EndByte = static_cast<int32_t>(m.End >> 3);
      e->EndBit = static_cast<int32_t>(m.End & 7);
      e->Valid = 1;
    }
  };
  // Whole MCU rows take the ahead decoder's blocks where they lie; the partial rows at either
  // end of the run are copied block by block.
  bool adopted = false;
  for (int32_t k = first; k < first + count;) {
    if (col == 0 && first + count - k >= MCUsPerRow) {
      for (int i = 0; i < ScanComponentCount; ++i) {
        const TkelScanComponent& sc = ScanComponents[i];
        TkelMCUs& map = *MCUs[sc.FrameIndex];
        if (map.Rows < (row + 1) * sc.BlocksDown) map.SetRows((row + 1) * sc.BlocksDown);
        const int32_t cells = MCUsPerRow * sc.BlocksAcross;
        for (int32_t dy = 0; dy < sc.BlocksDown; ++dy) {
          TkelCoefBlock* blocks = ahead.Block(i, 0, dy, k);
          ShiftDC(blocks, cells, delta[i]);
          map.AdoptRow(row * sc.BlocksDown + dy, reinterpret_cast<uint8_t*>(blocks));
        }
      }
      for (int32_t c = 0; c < MCUsPerRow; ++c) recordOffsets(ahead.MCU(k + c), c, row);
      k += MCUsPerRow;
      ++row;
      adopted = true;
      if (RowsHook) ScanRowsDone(row);
      continue;
    }
    recordOffsets(ahead.MCU(k), col, row);
    for (int i = 0; i < ScanComponentCount; ++i) {
      const TkelScanComponent& sc = ScanComponents[i];
      for (int32_t dy = 0; dy < sc.BlocksDown; ++dy)
        for (int32_t dx = 0; dx < sc.BlocksAcross; ++dx) {
          TkelCoefBlock* dst = LocateBlock(sc, dy * sc.BlocksAcross + dx, col, row, true);
          std::memcpy(static_cast<void*>(dst), ahead.Block(i, dx, dy, k), sizeof(TkelCoefBlock));
          ShiftDC(dst, 1, delta[i]);
        }
    }
    ++k;
    if (++col >= MCUsPerRow) {
      col = 0;
      ++row;
      if (RowsHook) ScanRowsDone(row);
    }
  }
  MCUCounter += count;
  CleanMCUs += count;
  for (int i = 0; i < ScanComponentCount; ++i) {
    TkelFrameComponent& fc = FrameComponents[ScanComponents[i].FrameIndex];
    fc.DecodedMCUs = static_cast<int32_t>(std::min<int64_t>(INT32_MAX, int64_t{fc.DecodedMCUs} + count));
  }
  AheadMCUs += count;
  const TkelAheadMCU end = ahead.MCU(first + count - 1);
  if (interval > 0) {
    // Each interval ended at its marker in sequence, as the search after it would have found.
    const int32_t intervals = count / interval;
    RestartsMet += intervals;
    RestartsInSync += intervals;
    NextRestartMarker = mkRST0 + (NextRestartMarker - mkRST0 + intervals) % 8;
    for (int i = 0; i < ScanComponentCount; ++i) ScanComponents[i].DcPredictor = 0;
  } else {
    for (int i = 0; i < ScanComponentCount; ++i)
      ScanComponents[i].DcPredictor = AddWrapped(ScanComponents[i].DcPredictor, SubWrapped(end.EndPredictors[i], start[i]));
  }
  SeekBit(end.Resume >> 3, static_cast<int>(end.Resume & 7));
  return adopted;
}

}  // namespace vt
