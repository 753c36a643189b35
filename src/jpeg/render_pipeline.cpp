#include "jpeg/render_pipeline.h"

#include <algorithm>
#include <chrono>

namespace vt {

TkelRenderPipeline::TkelRenderPipeline(const TkelBandPlan& plan, TBitmap32& out) : plan_(plan), out_(out) {
  for (int c = 0; c < plan_.Components; ++c) {
    const TkelMCUs* m = plan_.Comp[c].Map;
    if (!m) continue;
    mcuHeight_ = std::max(mcuHeight_, m->MCUHeight);
    tables_[c].assign(size_t(std::max(plan_.Comp[c].BlockRows, 0)), nullptr);
    plan_.Comp[c].RowTables = tables_[c].data();
  }
  rendered_.assign(size_t(plan_.BandCount()), 0);
}

void TkelRenderPipeline::RowsDone(int32_t mcuRows) {
  int32_t published[4], mapRows[4];
  for (int c = 0; c < plan_.Components; ++c) {
    published[c] = published_[c];
    mapRows[c] = mapRows_[c];
    const TkelMCUs* m = plan_.Comp[c].Map;
    if (!m) continue;
    // Only this thread writes the tables; readers see the rows below published_ once they
    // have read it under the lock.
    mapRows[c] = m->Rows;
    const int64_t finished = std::min<int64_t>({int64_t(mcuRows) * m->BlocksDown, m->Rows, plan_.Comp[c].BlockRows});
    for (int32_t i = published[c]; i < finished; ++i) tables_[c][size_t(i)] = m->RowChunks(i);
    published[c] = std::max(published[c], int32_t(finished));
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (int c = 0; c < plan_.Components; ++c) {
      published_[c] = published[c];
      mapRows_[c] = mapRows[c];
    }
    rowsDone_ = std::max(rowsDone_, mcuRows);
  }
  changed_.notify_all();
}

void TkelRenderPipeline::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
  }
  changed_.notify_all();
}

bool TkelRenderPipeline::BandReady(int32_t band) const {
  const int32_t y1 = std::min((band + 1) * plan_.BandHeight, plan_.PlaneHeight);
  return mcuHeight_ > 0 && int64_t(rowsDone_) * mcuHeight_ >= y1;
}

bool TkelRenderPipeline::BandCovered(int32_t band) const {
  const int32_t y1 = std::min((band + 1) * plan_.BandHeight, plan_.PlaneHeight);
  for (int c = 0; c < plan_.Components; ++c) {
    const TkelMCUs* m = plan_.Comp[c].Map;
    if (!m) continue;
    const int32_t need = std::min(plan_.Comp[c].BlockRows, y1 / (8 * std::max(m->UpsampleV, 1)));
    if (mapRows_[c] < need || published_[c] < need) return false;
  }
  return true;
}

void TkelRenderPipeline::HoldWhile(const std::atomic<bool>* busy) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    busy_ = busy;
  }
  changed_.notify_all();
}

int32_t TkelRenderPipeline::TakeBand() {
  while (nextBand_ < plan_.BandCount() && BandReady(nextBand_)) {
    const int32_t band = nextBand_++;
    if (BandCovered(band)) return band;  // else damaged rows: the pass after the parse renders it
  }
  return -1;
}

void TkelRenderPipeline::Work() {
  TkelBandScratch scratch;
  const int32_t bands = plan_.BandCount();
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    const auto go = [&] { return stopped_ || nextBand_ >= bands || (!Held() && BandReady(nextBand_)); };
    // The flag that holds the workers is cleared by a thread that does not tell them: look again
    // now and then.
    while (!go()) {
      if (busy_ != nullptr)
        changed_.wait_for(lock, std::chrono::milliseconds(1));
      else
        changed_.wait(lock);
    }
    if (stopped_ || nextBand_ >= bands) return;
    const int32_t band = TakeBand();
    if (band < 0) continue;
    lock.unlock();
    RenderBand(plan_, out_, band, scratch);
    lock.lock();
    rendered_[size_t(band)] = 1;
  }
}

bool TkelRenderPipeline::WorkOne() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (stopped_) return false;
  const int32_t band = TakeBand();
  if (band < 0) return false;
  lock.unlock();
  RenderBand(plan_, out_, band, decoderScratch_);
  lock.lock();
  rendered_[size_t(band)] = 1;
  return true;
}

std::vector<int32_t> TkelRenderPipeline::PendingBands() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<int32_t> pending;
  for (size_t b = 0; b < rendered_.size(); ++b)
    if (!rendered_[b]) pending.push_back(int32_t(b));
  return pending;
}

}  // namespace vt
