// Decoding one scan: table checks, the MCU loop with its offsets, restart-marker
// synchronisation and forward search after damaged data, and the DNL line count.
#include <algorithm>
#include <cstring>

#include "jpeg/bit_reader.h"

namespace vt {

namespace {

bool IsRst(int code) { return code >= 0xD0 && code <= 0xD7; }

int32_t SaturatingAdd(int32_t a, int32_t b) {
  const int64_t s = static_cast<int64_t>(a) + b;
  return s > INT32_MAX ? INT32_MAX : static_cast<int32_t>(s);
}

}  // namespace

bool BuildHuffmanTable(TkelHuffmanTable& t);

int TkelBaseJpegParser::SetUpScanTables() {
  const int32_t total = MCUsPerRow * MCURows;
  bool needDc = true, needAc = true;
  if (Process == 0xC0 || Process == 0xC1) {
    for (int i = 0; i < ScanComponentCount; ++i) FrameComponents[ScanComponents[i].FrameIndex].ExpectedMCUs = total;
  } else if (Process == 0xC2) {
    for (int i = 0; i < ScanComponentCount; ++i) {
      TkelFrameComponent& fc = FrameComponents[ScanComponents[i].FrameIndex];
      fc.ExpectedMCUs = SaturatingAdd(fc.ExpectedMCUs, total);
    }
    needDc = Ss == 0 && Ah == 0;
    needAc = Ss > 0;
  } else {
    return jrBadData;
  }
  for (int i = 0; i < ScanComponentCount; ++i) {
    const TkelScanComponent& sc = ScanComponents[i];
    if (!QuantTables[sc.QuantTable].Defined) return jrBadData;
    if (needDc) {
      TkelHuffmanTable& t = DcTables[sc.DcTable];
      if (!UseStandardHuffmanTable(0, sc.DcTable) || (!t.Built && !BuildHuffmanTable(t))) return jrBadData;
    }
    if (needAc) {
      TkelHuffmanTable& t = AcTables[sc.AcTable];
      if (!UseStandardHuffmanTable(1, sc.AcTable) || (!t.Built && !BuildHuffmanTable(t))) return jrBadData;
    }
  }
  if (Process != 0xC2)
    scanKind_ = kScanSequential;
  else if (Ss == 0)
    scanKind_ = Ah == 0 ? kScanDcFirst : kScanDcRefine;
  else
    scanKind_ = Ah == 0 ? kScanAcFirst : kScanAcRefine;
  return jrOK;
}

void TkelBaseJpegParser::PrepareScan() {
  if (KeepsCoefficients) {
    for (int i = 0; i < ScanComponentCount; ++i) {
      const TkelScanComponent& sc = ScanComponents[i];
      auto& map = MCUs[sc.FrameIndex];
      if (!map) map = std::make_unique<TkelMCUs>();
      map->MCUsPerRow = MCUsPerRow;
      map->MCURows = MCURows;
      map->MCUWidth = MCUWidth;
      map->MCUHeight = MCUHeight;
      map->BlocksAcross = sc.BlocksAcross;
      map->BlocksDown = sc.BlocksDown;
      map->BlocksPerMCU = sc.BlocksAcross * sc.BlocksDown;
      map->BlockWidth = sc.BlockWidth;
      map->BlockHeight = sc.BlockHeight;
      map->UpsampleH = MaxH / sc.H;
      map->UpsampleV = MaxV / sc.V;
      map->SetColumns(MCUsPerRow * sc.BlocksAcross);
      // Rows grow as the data reaches them; only cut rows beyond this scan's extent.
      map->SetRows(std::min(map->Rows, MCURows * sc.BlocksDown));
      map->ExpectRows(MCURows * sc.BlocksDown);
    }
  }
  if (Flags & pfRecordSegments) {
    if (!Offsets) Offsets = std::make_unique<TkelOffsets>();
    Offsets->SetColumns(MCUsPerRow);
    Offsets->SetRows(std::min(Offsets->Rows, MCURows));
    Offsets->ExpectRows(MCURows);
  }
}

void TkelBaseJpegParser::ResetRestartState() {
  DropBits();
  MCUsSinceRestart = 0;
  for (auto& sc : ScanComponents) sc.DcPredictor = 0;
  // An end-of-band run never spans a restart marker; a run left by damaged data must not
  // swallow blocks of the next interval.
  EobRun = 0;
}

void TkelBaseJpegParser::SynchronizeRestart(int marker) {
  ++RestartsMet;
  while (marker != NextRestartMarker) {
    MCUCounter = SaturatingAdd(MCUCounter, RestartInterval);
    NextRestartMarker = NextRestartMarker == 0xD7 ? 0xD0 : NextRestartMarker + 1;
    DataErrors = true;
  }
  NextRestartMarker = NextRestartMarker == 0xD7 ? 0xD0 : NextRestartMarker + 1;
  ResetRestartState();
}

// True when the last two bytes consumed are an end-of-image marker. Entropy-coded data never
// holds FF D9, so this is the marker the bit reader has just met.
bool TkelBaseJpegParser::JustPassedImageEnd() {
  if (Position < 2) return false;
  UnreadBytes(2);
  const int b1 = ReadByte();
  const int b2 = b1 < 0 ? -1 : ReadByte();
  return b1 == 0xFF && b2 == 0xD9;
}

void TkelBaseJpegParser::StopAtImageEnd() {
  // The image's data ends here: the MCUs not reached are missing, and the marker stays for
  // the main loop. Searching on would take restart markers from whatever follows the image
  // (the next picture of a Multi-Picture file, a host file around an embedded thumbnail).
  UnreadBytes(2);
  imageEndMet_ = true;
  DataErrors = true;
}

void TkelBaseJpegParser::SearchNextRestart(bool intervalComplete) {
  ReturnLookahead();
  if (JustPassedImageEnd()) {
    StopAtImageEnd();
    return;
  }
  if (Flags & pfNoRestartSearch) return;
  // A complete interval whose data ends right at the expected marker was read with the tables
  // it was written with.
  bool skipped = false;
  for (;;) {
    int b = ReadByte();
    if (b < 0) return;
    if (b != 0xFF) {
      skipped = true;
      ++BytesBeforeRestarts;
      continue;
    }
    do {
      b = ReadByte();
    } while (b == 0xFF);
    if (b < 0) return;
    if (IsRst(b)) {
      if (intervalComplete && !skipped && b == NextRestartMarker) ++RestartsInSync;
      SynchronizeRestart(b);
      return;
    }
    skipped = true;
    if (b == 0xD9) {
      StopAtImageEnd();
      return;
    }
    if ((b == 0xD8 || b == 0xDA) && (Flags & pfSearchStopsAtHeaders)) {
      StopAtImageEnd();
      headerMetInSearch_ = true;
      return;
    }
    if (b == 0xDC && HeightFromDNL) {
      // The height is still open: the DNL segment ends this scan's data, so leave it for
      // the decoding to meet instead of searching past it.
      UnreadBytes(2);
      return;
    }
  }
}

void TkelBaseJpegParser::AdvanceToIntervalEnd() {
  // The marker that ends the failed interval announces the interval after it, so the
  // counter moves to that interval's first MCU, also when the failure was in the interval's
  // first MCU. An interval that was already complete (its marker not yet read) stays.
  if (MCUsSinceRestart >= RestartInterval) return;
  const int64_t next = (static_cast<int64_t>(MCUCounter) / RestartInterval + 1) * RestartInterval;
  MCUCounter = next > INT32_MAX ? INT32_MAX : static_cast<int32_t>(next);
}

void TkelBaseJpegParser::RecordMCUStart(int32_t col, int32_t row) {
  if (!Offsets) return;
  if (row >= Offsets->Rows && (HeightFromDNL || row < MCURows)) Offsets->SetRows(row + 1);
  TkelOffsetEntry* e = Offsets->WritableEntry(col, row);
  if (!e) return;
  const int64_t pos = Position - LookaheadBytes();
  const int bits = accBits_ & 7;
  e->StartByte = static_cast<int32_t>(bits ? pos - 1 : pos);
  e->StartBit = bits ? 8 - bits : 0;
  e->Valid = 1;
}

void TkelBaseJpegParser::RecordMCUEnd(int32_t counter) {
  if (!Offsets || MCUsPerRow <= 0 || counter < 0) return;
  const int32_t col = counter % MCUsPerRow;
  const int32_t row = counter / MCUsPerRow;
  if (row >= Offsets->Rows && (HeightFromDNL || row < MCURows)) Offsets->SetRows(row + 1);
  TkelOffsetEntry* e = Offsets->WritableEntry(col, row);
  if (!e) return;
  const int64_t pos = Position - LookaheadBytes();
  const int bits = accBits_ & 7;
  e->EndByte = static_cast<int32_t>(bits ? pos - 1 : pos);
  e->EndBit = bits ? 8 - bits : 0;
}

TkelCoefBlock* TkelBaseJpegParser::LocateBlock(const TkelScanComponent& sc, int b, int32_t col, int32_t row,
                                                bool allocate) {
  if (trialMCU_) return trialMCU_ + trialBase_[&sc - ScanComponents] + b;
  if (!KeepsCoefficients) return &scratch_;
  TkelMCUs* map = MCUs[sc.FrameIndex].get();
  if (!map) return &scratch_;
  const int32_t by = row * sc.BlocksDown + b / sc.BlocksAcross;
  const int32_t bx = col * sc.BlocksAcross + b % sc.BlocksAcross;
  if (by >= map->Rows) {
    if (!allocate) return nullptr;
    map->SetRows((row + 1) * sc.BlocksDown);
  }
  if (!allocate) return const_cast<TkelCoefBlock*>(map->Block(bx, by));
  TkelCoefBlock* blk = map->WritableBlock(bx, by);
  return blk ? blk : &scratch_;
}

int TkelBaseJpegParser::DecodeOneMCU(int32_t col, int32_t row) {
  if (HeightFromDNL) {
    // The height comes from the data until the DNL segment; a line count is 16-bit.
    if (static_cast<int64_t>(row + 1) * MCUHeight > 65535) return jrBadData;
    for (int i = 0; i < ScanComponentCount; ++i)
      FrameComponents[ScanComponents[i].FrameIndex].ExpectedMCUs = (row + 1) * MCUsPerRow;
    MCURows = row + 1;
    Height = (row + 1) * MCUHeight;
  }
  for (int i = 0; i < ScanComponentCount; ++i) {
    TkelScanComponent& sc = ScanComponents[i];
    const int blocks = sc.BlocksAcross * sc.BlocksDown;
    for (int b = 0; b < blocks; ++b) {
      int r;
      switch (scanKind_) {
        case kScanSequential:
          r = DecodeSequentialBlock(sc, LocateBlock(sc, b, col, row, true));
          break;
        case kScanDcFirst:
          r = DecodeDcFirst(sc, LocateBlock(sc, b, col, row, true));
          break;
        case kScanDcRefine:
          r = DecodeDcRefine(LocateBlock(sc, b, col, row, true));
          break;
        case kScanAcFirst:
          if (EobRun > 0) {  // the block is inside an end-of-band run: nothing to read
            --EobRun;
            r = jrOK;
          } else {
            r = DecodeAcFirst(sc, LocateBlock(sc, b, col, row, true));
          }
          break;
        default: {
          TkelCoefBlock* blk = LocateBlock(sc, b, col, row, EobRun == 0);
          if (!blk) {  // never decoded, all zero: a run costs no correction bits here
            --EobRun;
            r = jrOK;
          } else {
            r = DecodeAcRefine(sc, blk);
          }
        }
      }
      if (r != jrOK) return r;
    }
  }
  return jrOK;
}

void TkelBaseJpegParser::ClearMCUBlocks(int32_t counter) {
  if (!KeepsCoefficients || MCUsPerRow <= 0) return;
  const int32_t col = counter % MCUsPerRow;
  const int32_t row = counter / MCUsPerRow;
  for (int i = 0; i < ScanComponentCount; ++i) {
    const TkelScanComponent& sc = ScanComponents[i];
    const int blocks = sc.BlocksAcross * sc.BlocksDown;
    for (int b = 0; b < blocks; ++b) {
      TkelCoefBlock* blk = LocateBlock(sc, b, col, row, false);
      if (blk && blk != &scratch_) std::memset(static_cast<void*>(blk), 0, sizeof(TkelCoefBlock));
    }
  }
}

int TkelBaseJpegParser::ReadDNL() {
  const int l1 = ReadByte();
  const int l2 = l1 < 0 ? -1 : ReadByte();
  if (l2 < 0) return jrEndOfData;
  if (((l1 << 8) | l2) != 4) return jrBadData;
  const int n1 = ReadByte();
  const int n2 = n1 < 0 ? -1 : ReadByte();
  if (n2 < 0) return jrEndOfData;
  const int lines = (n1 << 8) | n2;
  if (lines > 0 && lines < Height) Height = lines;
  MCURows = MCUHeight > 0 ? (Height + MCUHeight - 1) / MCUHeight : 0;
  for (int i = 0; i < ScanComponentCount; ++i)
    FrameComponents[ScanComponents[i].FrameIndex].ExpectedMCUs = MCUsPerRow * MCURows;
  HeightFromDNL = false;
  return jrOK;
}

int TkelBaseJpegParser::DecodeMCUs(int32_t total, int search, bool repair) {
  int32_t col = MCUsPerRow > 0 ? MCUCounter % MCUsPerRow : 0;
  int32_t row = MCUsPerRow > 0 ? MCUCounter / MCUsPerRow : 0;
  bool decodedAny = false;
  imageEndMet_ = false;
  while ((HeightFromDNL || MCUCounter < total) && !imageEndMet_) {
    if (Position >= aheadFrom_ && TakeAheadMCUs(total, col, row)) continue;
    RecordMCUStart(col, row);
    const int r = DecodeOneMCU(col, row);
    if (r != jrOK) {
      if (repair && search != 0 && !decodedAny && r != jrEndOfData && r != 0xDC) {
        ClearMCUBlocks(MCUCounter);
        if (!IsRst(r)) {
          DataErrors = true;
          if (!StepSearchPosition(search)) return jrBadData;
          // The retry starts from the same predictors as the failed try did.
          RestoreRetryState();
          continue;
        }
      }
      if (r == jrEndOfData) {
        RecordMCUEnd(MCUCounter);
        ReturnLookahead();
        return jrEndOfData;
      }
      if (IsRst(r)) {
        // A marker met after a complete interval is the interval's own end (the forward
        // search was skipped or found nothing): no data was lost unless it skips markers.
        const bool intervalComplete = MCUsSinceRestart >= RestartInterval;
        AdvanceToIntervalEnd();
        SynchronizeRestart(r);
        if (!intervalComplete) DataErrors = true;
      } else if (r == 0xDC) {
        RecordMCUEnd(MCUCounter);
        ReturnLookahead();
        return ReadDNL();
      } else if (RestartInterval > 0) {
        AdvanceToIntervalEnd();
        SearchNextRestart(false);
        DataErrors = true;
      } else {
        RecordMCUEnd(MCUCounter);
        ReturnLookahead();
        return jrBadData;
      }
      RecordMCUEnd(MCUCounter);
      col = MCUCounter % MCUsPerRow;
      row = MCUCounter / MCUsPerRow;
      if (RowsHook && !repair) ScanRowsDone(row);
      continue;
    }
    RecordMCUEnd(MCUCounter);
    ++MCUCounter;
    for (int i = 0; i < ScanComponentCount; ++i) {
      TkelFrameComponent& fc = FrameComponents[ScanComponents[i].FrameIndex];
      fc.DecodedMCUs = SaturatingAdd(fc.DecodedMCUs, 1);
    }
    ++CleanMCUs;
    decodedAny = true;
    if (++col >= MCUsPerRow) {
      col = 0;
      ++row;
      if (RowsHook && !repair) ScanRowsDone(row);
    }
    // While the height comes from DNL every MCU may be followed by more.
    if (RestartInterval > 0 && (HeightFromDNL || MCUCounter < total)) {
      if (++MCUsSinceRestart == RestartInterval) {
        SearchNextRestart(true);
        col = MCUCounter % MCUsPerRow;
        row = MCUCounter / MCUsPerRow;
        if (RowsHook && !repair) ScanRowsDone(row);
      }
    }
  }
  if (RestartInterval > 0) AllowMarker(NextRestartMarker, true);
  ReturnLookahead();
  return jrOK;
}

int TkelBaseJpegParser::DecodeScan() {
  int r = SetUpScanTables();
  if (r != jrOK) return r;
  PrepareScan();
  acc_ = 0;
  accBits_ = 0;
  stuffedMask_ = 0;
  pendingCode_ = -1;
  pendingBytes_ = 0;
  NextRestartMarker = 0xD0;
  MCUCounter = 0;
  EobRun = 0;
  headerMetInSearch_ = false;
  // Each scan starts a fresh restart interval (a count left over from the previous scan
  // would search for a marker in the middle of this scan's first interval).
  MCUsSinceRestart = 0;
  if (MCUsPerRow <= 0) return jrBadData;
  const int32_t total = MCUsPerRow * MCURows;
  StartAheadDecode(total);
  try {
    r = DecodeMCUs(total, 0, false);
  } catch (...) {
    StopAheadDecode();  // a map that could not grow: the second core stops with the scan
    throw;
  }
  StopAheadDecode();
  return r;
}

}  // namespace vt
