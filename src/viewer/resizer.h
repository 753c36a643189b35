// TvtGR32Resizer: high-quality (Lanczos) scaling on a worker thread, one job at a time, so that a
// view can show a quick nearest-neighbour picture at once and swap in the smooth one when it is
// ready. A plain job scales one bitmap; a composite job first lays the image over a background
// picture (the thumbnail under the holes of a damaged image) and scales the result.
//
// Jobs work on private copies, so nothing is shared with the caller while a worker runs. Results
// are collected by Poll on the caller's (user-interface) thread: the timer that the user
// interface installs calls it every 500 ms while a worker exists, and AddJob calls it at once.
// Engine code: no Qt here; the Qt layer supplies the timer through SetTimerFactory.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "bitmap/bitmap32.h"
#include "thumbs/picture_geometry.h"

namespace vt {

// Anything that can ask for a job. Whether it gets the result depends on whether it also
// implements IvtGR32ResizerClient.
class TvtComponent {
 public:
  virtual ~TvtComponent() = default;
};

// {C9E320FF-DF09-4C98-ABB2-17F16609FF53}
class IvtGR32ResizerClient {
 public:
  virtual ~IvtGR32ResizerClient() = default;
  // The client takes the bitmap by moving it out of result; whatever it leaves is freed.
  virtual void ResizeDone(uint32_t jobId, std::unique_ptr<TBitmap32>& result) = 0;
};

// The resizer's polling timer, as the user interface provides it.
class IvtResizerTimer {
 public:
  virtual ~IvtResizerTimer() = default;
  virtual void SetEnabled(bool enabled) = 0;
};

class TvtGR32Resizer;

struct TvtGR32ResizerJob {
  TvtGR32Resizer* Resizer = nullptr;
  TvtComponent* Client = nullptr;
  std::unique_ptr<TBitmap32> Bitmap;
  std::unique_ptr<TBitmap32> Background;  // composite jobs only
  TPictureSize Size;
  uint32_t ID = 0;
};

// One job's worker: takes the job's bitmaps (the job keeps none), copies its size and id, and
// starts at once. Result belongs to the worker until it is delivered.
class TvtGR32ResizerThread {
 public:
  // gate (may be empty) runs on the worker thread before the work: tests hold a worker with it.
  TvtGR32ResizerThread(TvtGR32ResizerJob& job, std::function<void()> gate = {});
  ~TvtGR32ResizerThread();  // waits for the thread
  TvtGR32ResizerThread(const TvtGR32ResizerThread&) = delete;
  TvtGR32ResizerThread& operator=(const TvtGR32ResizerThread&) = delete;

  bool Finished() const { return finished_.load(std::memory_order_acquire); }
  void WaitFor();

  const uint32_t ID;
  const TPictureSize Size;
  std::unique_ptr<TBitmap32> Result;  // read only once Finished

 private:
  void Execute();
  std::unique_ptr<TBitmap32> bitmap_;
  std::unique_ptr<TBitmap32> background_;
  std::function<void()> gate_;
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

// The work of one job, on the calling thread: bitmap scaled to size with the Lanczos kernel;
// with a background, the background first covers (or, at the same aspect within 5 %, fills) an
// image-sized canvas, the image is blended over it, and the canvas is scaled. An empty size gives
// an empty bitmap. The bitmaps are the job's own copies: their resampler and draw mode are changed.
std::unique_ptr<TBitmap32> ResizeForJob(TBitmap32& bitmap, TBitmap32* background, TPictureSize size);

class TvtGR32Resizer {
 public:
  static constexpr std::chrono::milliseconds kPollInterval{500};
  using TimerFactory = std::function<std::unique_ptr<IvtResizerTimer>(TvtGR32Resizer&)>;

  TvtGR32Resizer() = default;
  ~TvtGR32Resizer();  // waits for a running worker, frees it and every job
  TvtGR32Resizer(const TvtGR32Resizer&) = delete;
  TvtGR32Resizer& operator=(const TvtGR32Resizer&) = delete;

  // Plain job: a copy of bitmap scaled to size for client. Returns the job id (never 0).
  uint32_t AddJob(TvtComponent* client, const TBitmap32& bitmap, TPictureSize size);
  // Composite job; a null background makes it plain.
  uint32_t AddJob(TvtComponent* client, const TBitmap32& bitmap, const TBitmap32* background, TPictureSize size);
  // Drops the queued job; a result already being computed for it is discarded when collected.
  void CancelJob(uint32_t jobId);
  // Drops every job, last first.
  void ClearJobs();
  // Collects a finished worker's result (delivering it when its job still exists), then starts
  // the next job. Does nothing while a worker runs, and nothing when called from inside itself.
  void Poll();

  // How the timer is made when the first job comes (none: callers poll themselves).
  void SetTimerFactory(TimerFactory factory) { timerFactory_ = std::move(factory); }
  bool HasTimerFactory() const { return static_cast<bool>(timerFactory_); }
  // Runs on each worker before its work (tests hold a worker with it to see the queue's states).
  void SetWorkerGate(std::function<void()> gate) { workerGate_ = std::move(gate); }

  size_t JobCount() const { return jobs_.size(); }
  // The id of the job a worker is computing, or 0.
  uint32_t WorkingJobID() const { return worker_ ? worker_->ID : 0; }
  bool TimerEnabled() const { return timerEnabled_; }
  // Blocks until the running worker (if any) has finished; its result still waits for Poll.
  void WaitForWorker();

 private:
  TvtGR32ResizerJob* FindJob(uint32_t id);
  void SetTimerEnabled(bool enabled);

  std::vector<std::unique_ptr<TvtGR32ResizerJob>> jobs_;
  std::unique_ptr<TvtGR32ResizerThread> worker_;
  std::unique_ptr<IvtResizerTimer> timer_;
  TimerFactory timerFactory_;
  std::function<void()> workerGate_;
  bool timerEnabled_ = false;
  uint32_t lastJobId_ = 0;
  bool polling_ = false;
};

// The one resizer of the process, made on first use.
TvtGR32Resizer& GR32Resizer();
// Ends it: waits for its worker and frees every job (the program's shut-down calls this; a
// later GR32Resizer() makes a new one).
void FinalizeGR32Resizer();

}  // namespace vt
