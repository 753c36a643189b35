// Rendering while decoding. In a sequential scan that holds every component, an MCU row is final
// once the decoder has moved past it, so its bands can be reconstructed and converted on other
// cores while the decoder goes on with the rows below. The decoding thread publishes each
// finished row (the chunk tables of its block rows, and how far each component's map reaches);
// workers take the bands in order as they become ready. A band that not every component covers
// yet (damaged data) is left for the pass after the parse, which renders whatever was left with
// the final state. Whether the result can stand as the image's render is the image's decision
// (image.cpp): only when the parse decoded that one scan and nothing else changed.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "bitmap/bitmap32.h"
#include "jpeg/band_render.h"

namespace vt {

class TkelRenderPipeline {
 public:
  // plan: the components' maps, quantisation and kind; its BlockRows are the frame's block rows
  // (a band is rendered only where every component's data has reached them). out: the picture
  // at its final size, zero.
  TkelRenderPipeline(const TkelBandPlan& plan, TBitmap32& out);
  TkelRenderPipeline(const TkelRenderPipeline&) = delete;
  TkelRenderPipeline& operator=(const TkelRenderPipeline&) = delete;

  // Decoding thread: MCU rows [0, mcuRows) are final.
  void RowsDone(int32_t mcuRows);
  // No band is started after this; the caller then waits for the workers' jobs to end before
  // anything may change the blocks. Safe to call more than once.
  void Stop();
  // Worker (and, at the end, the decoding thread): renders the bands that become ready until
  // Stop or until every band has been taken.
  void Work();
  // While *busy holds (nullptr: never), workers take no band. A scan decoded on two cores keeps
  // both busy; a band worker would take its time from the second decoder, which the first then
  // waits for, idle. Decoding thread; the flag must outlive the hold.
  void HoldWhile(const std::atomic<bool>* busy);
  // Decoding thread, held or not: renders one ready band; false when none is ready.
  bool WorkOne();
  // After Stop and the end of every Work: the bands not rendered, in order.
  std::vector<int32_t> PendingBands() const;

 private:
  // Whether band b lies in rows [0, rowsDone_) and is covered by every component (under mutex_).
  bool BandReady(int32_t band) const;
  bool BandCovered(int32_t band) const;
  bool Held() const { return busy_ != nullptr && busy_->load(std::memory_order_acquire); }
  // Takes the next ready band for this thread (under mutex_): -1 when none.
  int32_t TakeBand();

  TkelBandPlan plan_;
  TBitmap32& out_;
  int32_t mcuHeight_ = 0;
  std::vector<uint8_t* const*> tables_[4];  // per component and block row, once published
  int32_t published_[4] = {0, 0, 0, 0};     // block rows of tables_ filled
  int32_t mapRows_[4] = {0, 0, 0, 0};       // each map's Rows at the last publication

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  int32_t rowsDone_ = 0;
  int32_t nextBand_ = 0;
  bool stopped_ = false;
  const std::atomic<bool>* busy_ = nullptr;
  std::vector<uint8_t> rendered_;  // per band
  TkelBandScratch decoderScratch_;  // WorkOne's
};

}  // namespace vt
