// Decoding the second part of a long sequential scan on another core, ahead of the decoder
// that reads the scan from its start (split_scan.cpp).
//
// The ahead decoder starts at a byte in the middle of the entropy-coded data, where it cannot
// know which block of the MCU comes next nor the DC predictors, so it assumes the first block of
// an MCU and predictors of 0. Huffman codes resynchronise by themselves: after a few wrong
// symbols the decoding usually falls onto the true code boundaries, and once it is on a true MCU
// start it stays in step for good. It records every MCU it completes (where it starts and ends,
// the predictors after it) in runs of uninterrupted MCUs; an error starts a new run with
// predictors of 0 where it stopped, a marker or the end of the data ends the work.
//
// A scan with restart markers is simpler: the ahead decoder starts after the first restart
// marker past its byte, where the MCU and the predictors are known, and records the intervals
// that decode whole and end at the next marker in sequence; any other interval ends the run,
// and the next starts after the next restart marker, where the decoding from the start goes on
// after damage too.
//
// When the decoder from the start meets an MCU start that the ahead decoder recorded, both
// decode the same bits from there on, with the same tables in the same order, so the recorded
// MCUs of that run are exactly what it would decode itself except that every DC value is off
// by a constant per component (the difference of the true and the assumed predictor).
//
// Blocks are kept per scan component and block row of the MCU, the blocks of one MCU next to
// each other, so that a run of MCUs along an MCU row lies as consecutive cells of each block row.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
#include <type_traits>

#include "base/stream.h"
#include "base/zeroed_block.h"
#include "jpeg/parser.h"

namespace vt {

struct TkelAheadMCU {
  TkelBitPos Start = 0;
  TkelBitPos End = 0;             // the bit after its last one
  TkelBitPos Resume = 0;          // where the decoding goes on: End, or past the restart marker
  int32_t EndPredictors[4] = {};  // the ahead decoder's DC predictors after it
  int32_t Run = 0;                // MCUs of one run follow each other without a gap
  bool IntervalStart = false;     // the first MCU after a restart marker
};

// Zero bytes are an empty record: the record's pages are touched by the decoding thread only.
static_assert(std::is_trivially_copyable_v<TkelAheadMCU>);

class TkelAheadDecoder : public TkelBaseJpegParser {
 public:
  // scan: the parser whose current scan (sequential, no restart interval) is decoded; its
  // tables and scan components are copied. data: the scan's bytes from Position value `from` to
  // the end of what the parser may read (`size` of them). At most maxMCUs MCUs are decoded.
  TkelAheadDecoder(const TkelBaseJpegParser& scan, TZeroedBlock data, int64_t size, int64_t from, int32_t maxMCUs);
  ~TkelAheadDecoder() override;

  // Starts the decoding on a thread of its own; false when none could be started.
  bool Start();
  // Asks the decoding to stop after the MCU in hand and waits for the thread.
  void Stop();
  // Waits until the decoding ends by itself.
  void Wait();
  // True until the decoding thread is done with its work.
  const std::atomic<bool>& Running() const { return running_; }
  // Called by one other thread while the decoding runs: makes the storage of the next step of
  // MCU slots present (cleared by the system), going from endSlot back toward the slots being
  // decoded; false, doing nothing, once it comes near them or the decoding has ended. The
  // clearing of fresh pages then no longer holds up the decoding thread alone.
  bool PrefaultStep(int32_t endSlot);

  // MCUs recorded so far (they stay as they are); safe while the decoding runs.
  int32_t Published() const { return published_.load(std::memory_order_acquire); }
  const TkelAheadMCU& MCU(int32_t k) const { return Record()[k]; }
  // The DC predictors the ahead decoder had at the start of MCU k.
  void StartPredictors(int32_t k, int32_t (&p)[4]) const;
  // The blocks of scan component sc, to keep where they were decoded (after the decoding ended).
  // Block() stays valid: the storage is only moved.
  TZeroedBlock TakeStorage(int sc) { return std::move(storage_[sc]); }
  // Block (dx, dy) of scan component sc in MCU slot k.
  TkelCoefBlock* Block(int sc, int32_t dx, int32_t dy, int32_t k) const {
    const TkelScanComponent& c = ScanComponents[sc];
    return blocks_[sc] +
           (static_cast<size_t>(dy) * static_cast<size_t>(maxMCUs_) + static_cast<size_t>(k)) *
               static_cast<size_t>(c.BlocksAcross) +
           static_cast<size_t>(dx);
  }

 private:
  void Run();
  void RunIntervals();
  bool FindRestartMarker(int& marker);
  TkelAheadMCU* Record() const { return reinterpret_cast<TkelAheadMCU*>(record_.Data()); }
  int DecodeSlot(int32_t k);
  void ClearSlot(int32_t k);

  TZeroedBlock data_;
  TTempMemoryStream dataStream_;
  int64_t from_;
  int32_t maxMCUs_;
  TZeroedBlock record_;              // maxMCUs_ TkelAheadMCU, written by the decoding thread only
  TZeroedBlock storage_[4];          // per scan component: BlocksDown rows of maxMCUs_ MCUs
  TkelCoefBlock* blocks_[4] = {};    // their data, also once taken
  std::atomic<int32_t> published_{0};
  std::atomic<bool> stop_{false};
  std::atomic<bool> running_{false};
  int32_t prefaulted_ = -1;  // PrefaultStep's: the slots from here on are present (-1: none yet)
  std::thread thread_;
};

}  // namespace vt
