// Runs on trial and their placement: the realignment decodes stretches of a sequential scan
// from chosen bits into storage of their own, and writes the ones it accepts into the maps.
#include <algorithm>
#include <cstring>

#include "jpeg/bit_reader.h"

namespace vt {

namespace {

bool IsRst(int code) { return code >= 0xD0 && code <= 0xD7; }

}  // namespace

TkelBitPos TkelBaseJpegParser::CurrentBit() const {
  const int64_t pos = Position - LookaheadBytes();
  const int bits = accBits_ & 7;
  return bits ? (pos - 1) * 8 + (8 - bits) : pos * 8;
}

bool TkelBaseJpegParser::CanDecodeTrials() const {
  return FrameSeen && stream_ != nullptr && ScanCount == 1 && (Process == 0xC0 || Process == 0xC1) &&
         !HeightFromDNL && ScanComponentCount == ComponentCount && ScanComponentCount > 0 && MCUsPerRow > 0 &&
         MCURows > 0 && KeepsCoefficients;
}

int TkelBaseJpegParser::TrialDecode(TkelTrialRun& run) {
  run.Result = jrBadData;
  run.StopMarker = -1;
  run.Count = 0;
  run.Ends.clear();
  run.Blocks.clear();
  run.BlocksPerMCU = 0;
  if (!CanDecodeTrials() || run.Start < 0 || run.MaxMCUs <= 0) return run.Result;
  if (SetUpScanTables() != jrOK) return run.Result;

  // Everything the decoding of an MCU touches besides its blocks, kept for afterwards.
  EmptyReadBuffer();
  const int64_t savedPosition = Position;
  TkelScanComponent savedComponents[4];
  std::memcpy(static_cast<void*>(savedComponents), ScanComponents, sizeof(ScanComponents));
  const int32_t savedEobRun = EobRun;

  int32_t bpm = 0;
  for (int i = 0; i < ScanComponentCount; ++i) {
    trialBase_[i] = bpm;
    bpm += ScanComponents[i].BlocksAcross * ScanComponents[i].BlocksDown;
    ScanComponents[i].DcPredictor = run.Predictors[i];
    ScanComponents[i].ForceDc = 0;
  }
  run.BlocksPerMCU = bpm;
  std::vector<TkelCoefBlock> scratch(static_cast<size_t>(bpm));
  if (run.PlaceAt >= 0) run.KeepBlocks = false;
  if (run.KeepBlocks) run.Blocks.reserve(static_cast<size_t>(std::min(run.MaxMCUs, 4096)) * bpm);
  run.Ends.reserve(static_cast<size_t>(std::min(run.MaxMCUs, 4096)));

  reachedCode_ = -1;
  int result = jrOK;
  const bool place = run.PlaceAt >= 0;
  const int32_t total = MCUsPerRow * MCURows;
  int32_t maxMCUs = run.MaxMCUs;
  if (place) {
    maxMCUs = std::min<int64_t>(maxMCUs, std::max<int64_t>(0, int64_t(total) - run.PlaceAt));
    ++BlockEdits;
  }
  if (SeekBit(run.Start >> 3, static_cast<int>(run.Start & 7))) {
    for (int32_t i = 0; i < maxMCUs; ++i) {
      if (place) {
        const int32_t m = run.PlaceAt + i;
        const int32_t col = m % MCUsPerRow, row = m / MCUsPerRow;
        ClearMCUBlocks(m);
        const TkelBitPos startBit = CurrentBit();
        result = DecodeOneMCU(col, row);
        if (result != jrOK) {
          ClearMCUBlocks(m);
          break;
        }
        ++run.Count;
        run.Ends.push_back(CurrentBit());
        if (Offsets) {
          if (row >= Offsets->Rows) Offsets->SetRows(row + 1);
          if (TkelOffsetEntry* e = Offsets->WritableEntry(col, row)) {
            const TkelBitPos endBit = run.Ends.back();
            e->StartByte = static_cast<int32_t>(startBit >> 3);
            e->StartBit = static_cast<int32_t>(startBit & 7);
            e->EndByte = static_cast<int32_t>(endBit >> 3);
            e->EndBit = static_cast<int32_t>(endBit & 7);
            e->Valid = 1;
          }
        }
        continue;
      }
      TkelCoefBlock* mcu;
      if (run.KeepBlocks) {
        run.Blocks.resize(run.Blocks.size() + static_cast<size_t>(bpm));
        mcu = run.Blocks.data() + run.Blocks.size() - static_cast<size_t>(bpm);
      } else {
        mcu = scratch.data();
        std::memset(static_cast<void*>(mcu), 0, sizeof(TkelCoefBlock) * static_cast<size_t>(bpm));
      }
      trialMCU_ = mcu;
      result = DecodeOneMCU(0, 0);
      trialMCU_ = nullptr;
      if (result != jrOK) {
        if (run.KeepBlocks) run.Blocks.resize(run.Blocks.size() - static_cast<size_t>(bpm));
        break;
      }
      ++run.Count;
      run.Ends.push_back(CurrentBit());
    }
  } else {
    result = jrEndOfData;
  }
  trialMCU_ = nullptr;
  run.Result = result;
  if (result == jrEndOfData) {
    run.StopMarker = 256;
  } else if (IsRst(result) || (result == jrBadData && reachedCode_ >= 0 && reachedCode_ != 256)) {
    run.StopMarker = reachedCode_;
  }
  for (int i = 0; i < ScanComponentCount; ++i) run.EndPredictors[i] = ScanComponents[i].DcPredictor;

  std::memcpy(static_cast<void*>(ScanComponents), savedComponents, sizeof(ScanComponents));
  EobRun = savedEobRun;
  acc_ = 0;
  accBits_ = 0;
  stuffedMask_ = 0;
  pendingCode_ = -1;
  pendingBytes_ = 0;
  SeekToPosition(savedPosition);
  return run.Result;
}

void TkelBaseJpegParser::ClearMCURange(int32_t first, int32_t count) {
  if (MCUsPerRow <= 0) return;
  ++BlockEdits;
  const int32_t total = MCUsPerRow * MCURows;
  const int32_t end = std::min<int64_t>(static_cast<int64_t>(first) + count, std::min(total, ReachedMCUEnd()));
  for (int32_t m = std::max(first, 0); m < end; ++m) ClearMCUBlocks(m);
}

void TkelBaseJpegParser::AddToDC(int component, int32_t delta, int32_t first, int32_t count) {
  if (component < 0 || component >= ComponentCount || MCUsPerRow <= 0 || delta == 0) return;
  int sci = -1;
  for (int i = 0; i < ScanComponentCount; ++i)
    if (ScanComponents[i].FrameIndex == component) sci = i;
  if (sci < 0) return;
  ++BlockEdits;
  const TkelScanComponent& sc = ScanComponents[sci];
  const int n = sc.BlocksAcross * sc.BlocksDown;
  const int32_t total = MCUsPerRow * MCURows;
  const int32_t end = std::min<int64_t>(static_cast<int64_t>(first) + count, total);
  for (int32_t m = std::max(first, 0); m < end; ++m) {
    for (int b = 0; b < n; ++b) {
      TkelCoefBlock* blk = LocateBlock(sc, b, m % MCUsPerRow, m / MCUsPerRow, false);
      if (!blk || blk == &scratch_ || !blk->Decoded) continue;
      const int32_t v = std::clamp<int32_t>(blk->Coef[0] + delta, INT16_MIN, INT16_MAX);
      blk->Coef[0] = static_cast<int16_t>(v);
    }
  }
}

void TkelBaseJpegParser::RecountDecodedMCUs() {
  if (MCUsPerRow <= 0) return;
  const int32_t end = std::min(MCUsPerRow * MCURows, ReachedMCUEnd());
  for (int i = 0; i < ScanComponentCount; ++i) {
    const TkelScanComponent& sc = ScanComponents[i];
    int32_t decoded = 0;
    for (int32_t m = 0; m < end; ++m) {
      const TkelCoefBlock* blk = LocateBlock(sc, 0, m % MCUsPerRow, m / MCUsPerRow, false);
      if (blk && blk != &scratch_ && blk->Decoded) ++decoded;
    }
    FrameComponents[sc.FrameIndex].DecodedMCUs = decoded;
  }
}

const TkelCoefBlock* TkelBaseJpegParser::BlockOfMCU(int sc, int block, int32_t mcu) const {
  if (sc < 0 || sc >= ScanComponentCount || MCUsPerRow <= 0 || mcu < 0) return nullptr;
  const TkelScanComponent& c = ScanComponents[sc];
  if (block < 0 || block >= c.BlocksAcross * c.BlocksDown) return nullptr;
  const TkelMCUs* map = MCUs[c.FrameIndex].get();
  if (!map) return nullptr;
  const int32_t col = mcu % MCUsPerRow, row = mcu / MCUsPerRow;
  return map->Block(col * c.BlocksAcross + block % c.BlocksAcross, row * c.BlocksDown + block / c.BlocksAcross);
}

int64_t TkelBaseJpegParser::ReadDataAt(int64_t position, uint8_t* dst, int64_t count) {
  if (!stream_ || position < 0 || count <= 0) return 0;
  EmptyReadBuffer();
  stream_->Seek(StreamOrigin + position, soBeginning);
  const int64_t got = stream_->Read(dst, count);
  stream_->Seek(streamPos_, soBeginning);
  return got < 0 ? 0 : got;
}

}  // namespace vt
