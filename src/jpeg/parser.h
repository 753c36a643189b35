// TkelBaseJpegParser: reads a JPEG stream marker by marker, keeps the tables, frame and scan
// records, and decodes each scan's entropy-coded data into coefficient blocks (kept in
// per-component TkelMCUs maps) with restart-marker resynchronisation. Every failure is a
// result code (jpeg_constants.h); everything read so far stays readable. Decoding never
// throws for bad input.
//
// The implementation is split by stage: byte_reader.cpp (buffered reading, markers,
// lengths), parser.cpp (main loop, events, recorders), segment_*.cpp (SOF, DQT, DHT, DRI,
// SOS), app_identify.cpp, color_model.cpp, bit_reader.h/.cpp and huffman_decode.cpp (entropy
// decoding), block_decode.cpp (sequential and progressive blocks), scan_decoder.cpp (MCU
// loop, restarts, DNL, offsets), split_scan.cpp with ahead_decode.* (a long sequential scan
// decoded on two cores), decoded_percent.cpp and mcu_repair.cpp (re-decoding and grid edits).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/stream.h"
#include "jpeg/jpeg_constants.h"
#include "jpeg/jpeg_id.h"
#include "jpeg/jpeg_map.h"
#include "jpeg/trial_run.h"

namespace vt {

class TkelAheadDecoder;

struct TkelQuantTable {
  uint16_t Entries[64];    // in segment (zig-zag) order
  uint8_t Defined;
  int32_t Scaled512[64];   // entry * 512 at the natural position
  int32_t Scaled8[64];     // entry * 8 at the natural position
};

// Fast-lookup width of the Huffman decoder (codes up to this length resolve in one step).
constexpr int kHuffLookupBits = 9;

struct TkelHuffmanTable {
  // Per code length 1..16 (index 0 unused).
  int32_t Counts[17];
  int32_t MinCode[17];   // smallest code
  int32_t MaxCode[17];   // largest code
  int32_t ValIndex[17];  // index of its first value
  uint8_t Values[256];   // in segment order
  int32_t MinLength;     // shortest length with a code (17 when none)
  uint8_t Defined;       // set by DHT
  uint8_t Built;         // code ranges derived; cleared by a DHT that redefines the table
  // Derived with Built: for each kHuffLookupBits-bit prefix, the code length (0 = longer
  // than kHuffLookupBits) and symbol that the bit-by-bit rule yields.
  uint8_t LookupLength[1 << kHuffLookupBits];
  uint8_t LookupValue[1 << kHuffLookupBits];
  // AC tables: when a prefix holds a whole code with s > 0 and its s value bits, the run,
  // the signed value and the bits used: (value << 16) | (run << 8) | bits; 0 otherwise.
  int32_t LookupAc[1 << kHuffLookupBits];
};

struct TkelFrameComponent {
  uint8_t Id;
  int32_t V;
  int32_t H;
  uint8_t QuantTable;
  TkelQuantTable Quant;  // copy of the table in force at the component's last scan (image)
  int32_t ExpectedMCUs;
  int32_t DecodedMCUs;
  uint8_t InScan;
};

struct TkelScanComponent {
  uint8_t Id;
  int32_t FrameIndex;
  int32_t H;
  int32_t V;
  int32_t BlockWidth;   // (MaxH / H) * 8
  int32_t BlockHeight;  // (MaxV / V) * 8
  int32_t BlocksAcross;  // blocks per MCU across
  int32_t BlocksDown;
  uint8_t QuantTable;
  uint8_t DcTable;
  uint8_t AcTable;
  int32_t DcPredictor;
  uint8_t ForceDc;   // the next DC value is ForcedDc (re-decoding)
  int32_t ForcedDc;
};

// Raw copies of every complete APPn/COM segment (FF, marker, length, payload), recorded
// under pfRecordSegments for the baseline writer. Data.size() is the capacity.
struct TkelRawSegments {
  std::vector<uint8_t> Data;
  int32_t Length = 0;
};

class TkelBaseJpegParser {
 public:
  // bufferSize 0: no read buffer of the caller's size (reads are still batched internally
  // and the stream is put back to the first unconsumed byte before Parse returns).
  // overridesAppBlock: the subclass replaces DoAppBlock, so APP blocks are collected.
  explicit TkelBaseJpegParser(int32_t bufferSize = 0, bool overridesAppBlock = false);
  virtual ~TkelBaseJpegParser();
  TkelBaseJpegParser(const TkelBaseJpegParser&) = delete;
  TkelBaseJpegParser& operator=(const TkelBaseJpegParser&) = delete;

  // --- virtual operations, in slot order ---
  virtual void Reset();
  virtual int Parse(uint16_t flags, int colorModel);
  // Dimensions the maps for the scan that starts (see jpeg_map.h on Rows).
  virtual void PrepareScan();

  // --- events (no-ops here) ---
  virtual void DoSkippedByte(int value);
  virtual void DoSegment(int marker, int32_t length, const uint8_t* payload, int32_t count);
  virtual void DoAppSegment(int marker, int32_t length, const uint8_t* payload, int32_t count);
  virtual void DoAppBlock(int64_t offset, const uint8_t* bytes, int32_t count);
  // Asked once per SOF; true only for progressive frames here.
  virtual bool KeepCoefficients();
  // While RowsHook is set, the scan decoding tells after each MCU row (and after each jump of a
  // restart synchronisation) that the MCU rows above row are final: no later MCU of the scan
  // writes to them. Called on the decoding thread.
  virtual void ScanRowsDone(int32_t row);
  // While a scan is decoded on two cores, work that would share their time waits for *running
  // (the ahead decoder's flag, cleared when it is done; nullptr: the split decoding is over).
  // Called on the decoding thread.
  virtual void SplitDecodeRunning(const std::atomic<bool>* running);
  // Called on the decoding thread while it waits for the ahead decoder: one piece of work that
  // was held back, done here; false when there is none.
  virtual bool WorkWhileWaiting();

  // Reads from the stream's current position; Position starts at 0 there.
  int LoadFromStream(TStream& stream, uint16_t flags, int colorModel);
  int GetColorModel() const;
  int DecodedPercent() const;

  // --- MCU repair (valid after a scan was decoded, until the next Reset) ---
  // search: 0 none, 1 forward, 2 backward (bit by bit, up to 385 attempts).
  int RedecodeFrom(int32_t startMCU, int32_t startByte, int32_t startBit, int search, bool useNextDC);
  bool IsMCUDecoded(int32_t col, int32_t row) const;
  void ClearMCU(int32_t col, int32_t row);
  void InsertMCU(int32_t col, int32_t row);
  void InsertMCURow(int32_t col, int32_t row);
  void DeleteMCU(int32_t col, int32_t row);
  // A copy of the entry; all zero when there is none.
  TkelOffsetEntry GetMCUOffsets(int32_t col, int32_t row) const;
  // Moves count MCUs (their blocks and offset entries, as the grid edits copy them) from MCU
  // index `from` to `to`; the ranges may overlap. What the grid edits shift, this shifts back.
  void MoveMCUs(int32_t from, int32_t to, int32_t count);
  // The first MCU index that no map has reached: every MCU from there on is absent.
  int32_t ReachedMCUs() const { return ReachedMCUEnd(); }

  // --- runs on trial and their placement, for the realignment (trial_decode.cpp) ---
  // True after a single interleaved sequential scan was decoded (no DNL): the only kind the
  // trials serve.
  bool CanDecodeTrials() const;
  // Decodes run (trial_run.h); returns run.Result. The image's counters, restart state and
  // stream position are as before, and so are its maps unless the run places its MCUs there.
  int TrialDecode(TkelTrialRun& run);
  // Zeroes the blocks of MCUs [first, first + count): they are holes again. Offsets stay.
  void ClearMCURange(int32_t first, int32_t count);
  // Adds delta to the DC coefficient of every decoded block of frame component `component`
  // in MCUs [first, first + count), clamped to the 16-bit range.
  void AddToDC(int component, int32_t delta, int32_t first, int32_t count);
  // Each scan component's DecodedMCUs counted again from the maps (after MCUs were moved).
  void RecountDecodedMCUs();
  // The block (0 .. blocks per MCU of the component - 1) of scan component sc in MCU mcu of the
  // last scan; nullptr when it was never written.
  const TkelCoefBlock* BlockOfMCU(int sc, int block, int32_t mcu) const;
  // Reads up to count bytes of the data from Position value `position` (the stream of the last
  // scan); returns how many arrived. The parse position stays.
  int64_t ReadDataAt(int64_t position, uint8_t* dst, int64_t count);

  // ------------------------------------------------------------------ state
  uint16_t Flags = 0;
  // Whether a sequential scan without restart markers is decoded on two cores (split_scan.cpp):
  // -1 when its data is long enough to gain from it, 0 never, 1 whenever the scan allows it,
  // 2 as 1 with the MCUs taken from the second core a row at a time (tests).
  // The blocks, maps and counters that come out are the same either way.
  int8_t SplitScans = -1;
  // MCUs of the last scan that came from the second core (0: decoded on one).
  int32_t AheadMCUs = 0;
  int64_t ScanDataOffset = 0;  // Position right after the most recent SOS header
  int64_t Position = 0;        // bytes consumed since LoadFromStream
  int64_t StreamOrigin = 0;    // stream position at which Position was 0
  const bool OverridesAppBlock;

  uint8_t AllowedMarkers[32] = {};  // one bit per marker code
  bool HasJFIF = false;
  bool HasAdobe = false;
  uint8_t AdobeTransform = 0;
  bool HasG3Fax = false;
  bool HasICCProfile = false;
  uint8_t ForcedColorModel = 0;

  TkelQuantTable QuantTables[4] = {};
  TkelHuffmanTable DcTables[4] = {};
  TkelHuffmanTable AcTables[4] = {};

  // Frame
  int32_t Process = 0;  // SOF marker code
  uint8_t Precision = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t ComponentCount = 0;
  TkelFrameComponent FrameComponents[4] = {};
  int32_t MaxH = 0;
  int32_t MaxV = 0;
  bool FrameSeen = false;
  bool HeightFromDNL = false;
  int32_t ScanCount = 0;
  std::string ComponentIds;

  // Scan
  int32_t ScanComponentCount = 0;
  TkelScanComponent ScanComponents[4] = {};
  int32_t Ss = 0, Se = 0, Ah = 0, Al = 0;

  // MCU geometry of the current scan
  int32_t MCUWidth = 0;
  int32_t MCUHeight = 0;
  int32_t MCUsPerRow = 0;
  int32_t MCURows = 0;

  // Restart state
  int32_t RestartInterval = 0;
  int32_t MCUsSinceRestart = 0;
  int32_t NextRestartMarker = 0xD0;
  int32_t MCUCounter = 0;

  bool KeepsCoefficients = false;  // KeepCoefficients answer at SOF
  std::unique_ptr<TkelJpegID> ID;
  bool DataErrors = false;
  // Counts the repair operations (RedecodeFrom and the grid edits): a picture rendered before
  // stands only while this has not changed.
  uint32_t BlockEdits = 0;
  int32_t EobRun = 0;           // progressive end-of-band run of the current scan
  int32_t CleanMCUs = 0;        // MCUs decoded without error in the current re-decoding run
  // Restart markers the decoding synchronised on, and those of them that came right where a
  // complete interval ended (the data fits the tables): how well a borrowed header fits.
  int32_t RestartsMet = 0;
  int32_t RestartsInSync = 0;
  // Bytes the search for the next restart marker passed over: data that was left over after an
  // interval's MCUs (a damaged interval can decode whole and still end elsewhere). No error by
  // itself; the repair reads it.
  int64_t BytesBeforeRestarts = 0;
  // Coefficient maps by frame component index, and the MCU offsets map (pfRecordSegments).
  // Their Rows count only the rows the data has reached, and cells are stored only once
  // written (jpeg_map.h): rows beyond Rows and absent cells are "never decoded".
  std::unique_ptr<TkelMCUs> MCUs[4];
  std::unique_ptr<TkelOffsets> Offsets;
  TkelRawSegments RawSegments;

 protected:
  // ---- byte reading (byte_reader.cpp) ----
  // Reads up to count bytes; returns how many arrived (Position advances by that).
  int64_t ReadBytes(uint8_t* dst, int64_t count);
  // Next byte or -1 at the end of the data.
  int ReadByte() {
    if (bufCur_ < bufEnd_ && Position < readLimit_) {
      ++Position;
      return *bufCur_++;
    }
    return ReadByteSlow();
  }
  int ReadByteSlow();
  void EmptyReadBuffer();     // drops unread buffered bytes; the stream is put back at Position
  void DropReadBuffer();      // drops buffered bytes without touching the stream
  void SeekToPosition(int64_t position);  // next byte read is the one at this Position value
  void BeforeEvent();         // without a caller's buffer: stream back at Position for events
  void UnreadBytes(int64_t count);  // gives back bytes just read (at most kReadHistory)
  int ReadMarker(int& marker);      // the start-of-image marker: FF, fill, the code
  int ReadNextMarker(int& marker);  // between segments: stray bytes are skipped (DataErrors)
  int ReadSegmentLength(int marker, int32_t& payloadLength);

  // ---- main loop helpers (parser.cpp) ----
  int ParseSegments(int colorModel);
  void FlushAppBlock();
  void AddToAppBlock(int64_t offset, int marker, int32_t declaredLength, const uint8_t* bytes, int32_t count);
  void RecordRawSegment(int marker, int32_t length, const uint8_t* payload);
  void AllowMarker(int marker, bool allowed);
  bool IsAllowed(int marker) const { return (AllowedMarkers[marker >> 3] >> (marker & 7)) & 1; }

  // ---- segment parsers (segment_*.cpp) ----
  int ParseFrame(int marker, const uint8_t* p, int32_t n);
  int ParseQuantTables(const uint8_t* p, int32_t n);
  int ParseHuffmanTables(const uint8_t* p, int32_t n);
  // A table that no DHT defined: slots 0 and 1 take the standard tables; false otherwise.
  bool UseStandardHuffmanTable(int cls, int number);
  int ParseRestartInterval(const uint8_t* p, int32_t n);
  int ParseScanHeader(const uint8_t* p, int32_t n);
  void IdentifyAppSegment(int marker, const uint8_t* p, int32_t n);

  // ---- entropy decoding (scan_decoder.cpp, block_decode.cpp, bit_reader.*) ----
  enum ScanKind { kScanSequential, kScanDcFirst, kScanDcRefine, kScanAcFirst, kScanAcRefine };
  int DecodeScan();
  int SetUpScanTables();
  int DecodeMCUs(int32_t total, int search, bool repair);
  int DecodeOneMCU(int32_t col, int32_t row);
  int DecodeDc(TkelScanComponent& sc, int32_t& dc);
  int DecodeSequentialBlock(TkelScanComponent& sc, TkelCoefBlock* block);
  int DecodeDcFirst(TkelScanComponent& sc, TkelCoefBlock* block);
  int DecodeDcRefine(TkelCoefBlock* block);
  int DecodeAcFirst(TkelScanComponent& sc, TkelCoefBlock* block);
  int DecodeAcRefine(TkelScanComponent& sc, TkelCoefBlock* block);
  void ResetRestartState();
  void SynchronizeRestart(int marker);
  void SearchNextRestart(bool intervalComplete);
  bool JustPassedImageEnd();
  void StopAtImageEnd();
  void AdvanceToIntervalEnd();
  void RecordMCUStart(int32_t col, int32_t row);
  void RecordMCUEnd(int32_t counter);
  int ReadDNL();
  // The block's cell; with allocate false, nullptr when it was never written.
  TkelCoefBlock* LocateBlock(const TkelScanComponent& sc, int b, int32_t col, int32_t row, bool allocate);
  void ClearMCUBlocks(int32_t counter);
  // Two-core decoding of one scan (split_scan.cpp): starts the ahead decoder in the middle of
  // the data; at an MCU start past that point, takes over the MCUs it decoded once they meet
  // (moving col and row, true when it did); stops it, as every scan's end does.
  void StartAheadDecode(int32_t total);
  bool TakeAheadMCUs(int32_t total, int32_t& col, int32_t& row);
  // While waiting for the ahead decoder: one piece of held work, or one step of clearing the
  // pages it has yet to fill (up to its slot endSlot); false when there is neither.
  bool HelpAheadDecoder(int32_t endSlot);
  // Without restart markers: the rest of the run met at aheadCursor_, as the ahead decoder goes.
  bool FollowAheadRun(int32_t total, int32_t& col, int32_t& row);
  // Places the ahead decoder's MCUs [first, first + count) as if decoded here, and moves on past
  // them; true when whole rows took its blocks where they lie (its storage is then to be kept).
  bool PlaceAheadMCUs(int32_t first, int32_t count, int32_t& col, int32_t& row);
  void StopAheadDecode();
  // Reads from `stream` from now on; stream position p is Position value p - origin.
  void AttachStream(TStream& stream, int64_t origin);
  // Re-decoding (mcu_repair.cpp).
  bool SeekBit(int64_t byte, int bit);  // next bit read is this one; false before the start
  bool StepSearchPosition(int search);  // one bit forward (1) or backward (2), then seek
  void RestoreRetryState();             // predictors as at the start of the re-decoding pass
  int RedecodePass(int32_t startMCU, int search, bool useNextDC);
  bool InGrid(int32_t col, int32_t row) const;
  void CopyMCU(int32_t from, int32_t to);
  // The index of the first MCU of the first MCU row that no map has reached: from there on
  // every MCU is absent everywhere, and moving absent MCUs onto absent ones changes nothing, so
  // the grid edits stop there instead of walking a declared frame of millions of MCUs.
  int32_t ReachedMCUEnd() const;

  // Bit reader (bit_reader.h / bit_reader.cpp): bits are held in acc_, next bit at bit 63.
  int FillBits();          // loads bytes; returns 0 or the pending code
  void FillFast();         // loads plain bytes straight from the buffer (no FF, no limit)
  int ReachPending();      // the decoding needs the bits beyond the pending marker / end
  int64_t LookaheadBytes() const;  // bytes consumed from the stream but not by the decoding
  void ReturnLookahead();  // gives those bytes back; keeps the bits of the current byte
  void DropBits();         // bits left = 0 (after giving back the look-ahead)
  int HuffDecode(const TkelHuffmanTable& t, int& symbol);
  int HuffDecodeSlow(const TkelHuffmanTable& t, int& symbol);
  int ReadBits(int n, int& value);
  int Receive(int s, int& value);

  // The bit after the last one the decoding took, as a TkelBitPos.
  TkelBitPos CurrentBit() const;

  uint64_t acc_ = 0;
  int accBits_ = 0;
  uint32_t stuffedMask_ = 0;  // bit i set: the i-th most recent whole byte in acc_ was FF 00
  int pendingCode_ = -1;      // -1 none; 256 end of data; else the marker code met ahead
  int pendingBytes_ = 0;      // bytes consumed for the pending code (given back if unused)
  int reachedCode_ = -1;      // the pending code the decoding last ran into (ReachPending)
  // While a trial runs: the MCU's blocks, and where each scan component's blocks start there.
  TkelCoefBlock* trialMCU_ = nullptr;
  int32_t trialBase_[4] = {};
  TkelCoefBlock scratch_{};
  bool RowsHook = false;  // call ScanRowsDone (off during re-decoding)
  ScanKind scanKind_ = kScanSequential;
  std::unique_ptr<TkelAheadDecoder> ahead_;
  int64_t aheadFrom_ = INT64_MAX;   // Position from which MCU starts are compared with it
  TkelBitPos aheadGiveUp_ = 0;      // no meeting before this bit: decode on alone
  int32_t aheadCursor_ = 0;         // its first MCU not behind the current one
  bool imageEndMet_ = false;  // the restart search stopped at the end-of-image marker
  bool headerMetInSearch_ = false;  // ... at a start-of-image or scan header (pfSearchStopsAtHeaders)
  // Re-decoding: where the current attempt started, for the bit-by-bit search.
  int64_t searchByte_ = 0;
  int searchBit_ = 0;
  int32_t retryPredictor_[4] = {};
  uint8_t retryForce_[4] = {};

 private:
  friend class TkelParserTestAccess;
  void FreeMaps();
  void ClearParseState();

  TStream* stream_ = nullptr;
  int32_t bufferSize_;
  std::vector<uint8_t> buffer_;    // kReadHistory bytes of history, then the data
  const uint8_t* bufCur_ = nullptr;
  const uint8_t* bufEnd_ = nullptr;
  const uint8_t* validStart_ = nullptr;  // first byte before bufCur_ that may be given back
  int64_t bufferStreamPos_ = 0;    // stream position at which the buffer was last filled
  int64_t streamPos_ = 0;          // stream position after the last stream read
  int64_t readLimit_ = INT64_MAX;  // Position values at or beyond this are not read
  std::vector<uint8_t> segment_;   // payload of the current segment
  int32_t segmentLength_ = 0;
  bool segmentIsApp_ = false;
  // The joined run of APPn/COM segments. Only the first appBlockLength_ bytes are ever read, so
  // the storage is not cleared (a cleared 640 KB buffer cost a thumbnail listing a third of its
  // page faults).
  std::unique_ptr<uint8_t[]> appBlock_;
  size_t appBlockCapacity_ = 0;
  int32_t appBlockLength_ = 0;
  int64_t appBlockOffset_ = 0;
};

}  // namespace vt
