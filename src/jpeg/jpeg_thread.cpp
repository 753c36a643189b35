#include "jpeg/jpeg_thread.h"

#include <memory>
#include <stdexcept>
#include <vector>

#include "jpeg/band_render.h"
#include "jpeg/image.h"
#include "jpeg/render_pipeline.h"

namespace vt {

// The notification goes out under the lock: the waiter may destroy the event as soon as its
// Wait returns (a job's event lives in the image that waits for it), so the setter must be
// done with the condition variable before the waiter can get the lock back.
void TManualResetEvent::Set() {
  std::lock_guard<std::mutex> lock(mutex_);
  signalled_ = true;
  cv_.notify_all();
}

void TManualResetEvent::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  signalled_ = false;
}

void TManualResetEvent::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  cv_.wait(lock, [this] { return signalled_; });
}

bool TManualResetEvent::IsSet() {
  std::lock_guard<std::mutex> lock(mutex_);
  return signalled_;
}

void RunJpegJob(const TkelJpegJob& job) {
  if (job.JobKind == jkPipeline) {
    if (!job.Pipeline) throw std::invalid_argument("pipeline job without its pipeline");
    job.Pipeline->Work();
    return;
  }
  if (job.JobKind == jkBands) {
    if (!job.Plan || !job.Bitmap || !job.NextBand) throw std::invalid_argument("band job without its plan or bitmap");
    TkelBandScratch scratch;
    RenderBands(*job.Plan, *job.Bitmap, *job.NextBand, scratch);
    return;
  }
  if (job.JobKind == jkReconstruct ? !job.Image : (!job.Bitmap || !job.Presence))
    throw std::invalid_argument("decoding job without its image or bitmap");
  if (job.JobKind == jkReconstruct) {
    job.Image->ReconstructComponent(job.Component);
  } else if (job.JobKind >= jkFirstComponentView) {
    RenderComponent(job.Planes, *job.Bitmap, *job.Presence, job.FirstRow, job.EndRow,
                    job.JobKind - jkFirstComponentView);
  } else if (TkelConversion convert = ConversionOfKind(job.JobKind)) {
    convert(job.Planes, *job.Bitmap, *job.Presence, job.FirstRow, job.EndRow);
  }
}

TkelJpegThread::TkelJpegThread() : thread_([this] { Execute(); }) {}

TkelJpegThread::~TkelJpegThread() {
  Terminate();
  Join();
}

void TkelJpegThread::Terminate() {
  terminated_ = true;
  WakeEvent.Set();
}

void TkelJpegThread::Join() {
  if (thread_.joinable()) thread_.join();
}

void TkelJpegThread::Execute() {
  for (;;) {
    WakeEvent.Wait();
    WakeEvent.Reset();
    if (terminated_) return;
    const TkelJpegJob job = Job;
    try {
      RunJpegJob(job);
    } catch (...) {
      if (job.Error) *job.Error = std::current_exception();
    }
    // Idle before the completion signal: the worker works on its own copy of the job, so it can
    // take the next one at once; the dispatcher that waits for this job then finds it idle
    // instead of starting another worker.
    Idle = true;
    if (job.Done) job.Done->Set();
  }
}

namespace {

// The pool: workers are created on demand and kept until the process ends, when the static
// object's destructor stops and joins them all.
class TkelJpegPool {
 public:
  ~TkelJpegPool() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& worker : workers_) worker->Terminate();
    for (auto& worker : workers_) worker->Join();
    workers_.clear();
  }

  void Dispatch(const TkelJpegJob& job) {
    std::lock_guard<std::mutex> lock(mutex_);
    TkelJpegThread* worker = nullptr;
    for (auto& w : workers_)
      if (w->Idle) {
        worker = w.get();
        break;
      }
    if (!worker) {
      if (workers_.size() == workers_.capacity()) workers_.reserve(workers_.size() + 4);
      workers_.push_back(std::make_unique<TkelJpegThread>());
      worker = workers_.back().get();
    }
    worker->Idle = false;
    worker->Job = job;
    worker->WakeEvent.Set();
  }

  int Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return int(workers_.size());
  }

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<TkelJpegThread>> workers_;
};

TkelJpegPool& Pool() {
  static TkelJpegPool pool;
  return pool;
}

// Created while the program starts, so it is destroyed (and its workers joined) at exit.
[[maybe_unused]] TkelJpegPool& gPoolAtStart = Pool();

}  // namespace

void DispatchJpegJob(const TkelJpegJob& job) { Pool().Dispatch(job); }

int JpegWorkerCount() { return Pool().Count(); }

}  // namespace vt
