#include "viewer/resizer.h"

#include <algorithm>

namespace vt {

namespace {

void UseLanczos(TBitmap32& b) {
  b.SetResampler(std::make_unique<TKernelResampler>(std::make_unique<TLanczosKernel>()));
  b.DrawMode = dmBlend;
}

std::unique_ptr<TvtGR32Resizer>& Instance() {
  static std::unique_ptr<TvtGR32Resizer> resizer;
  return resizer;
}

}  // namespace

std::unique_ptr<TBitmap32> ResizeForJob(TBitmap32& bitmap, TBitmap32* background, TPictureSize size) {
  auto result = std::make_unique<TBitmap32>(std::max(size.Width, 0), std::max(size.Height, 0));
  result->Clear(0);
  result->DrawMode = dmBlend;
  if (result->Empty() || bitmap.Empty()) return result;

  TBitmap32* picture = &bitmap;
  TBitmap32 canvas;
  if (background != nullptr && !background->Empty()) {
    canvas.SetSize(bitmap.Width(), bitmap.Height());
    canvas.Clear(0);
    canvas.DrawMode = dmBlend;
    TRect dest = canvas.BoundsRect();
    if (!SameAspect(bitmap.Width(), bitmap.Height(), *background)) {
      const TPictureSize cover = FillSize(background->Width(), background->Height(), canvas.Width(), canvas.Height());
      const int32_t x = (canvas.Width() - cover.Width) / 2;
      const int32_t y = (canvas.Height() - cover.Height) / 2;
      dest = MakeRect(x, y, x + cover.Width, y + cover.Height);
    }
    UseLanczos(*background);
    background->DrawTo(canvas, dest, background->BoundsRect());
    bitmap.DrawMode = dmBlend;
    bitmap.DrawTo(canvas, 0, 0);
    picture = &canvas;
  }
  UseLanczos(*picture);
  picture->DrawTo(*result, result->BoundsRect(), picture->BoundsRect());
  return result;
}

TvtGR32ResizerThread::TvtGR32ResizerThread(TvtGR32ResizerJob& job, std::function<void()> gate)
    : ID(job.ID),
      Size(job.Size),
      bitmap_(std::move(job.Bitmap)),
      background_(std::move(job.Background)),
      gate_(std::move(gate)) {
  thread_ = std::thread([this] { Execute(); });
}

TvtGR32ResizerThread::~TvtGR32ResizerThread() { WaitFor(); }

void TvtGR32ResizerThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

void TvtGR32ResizerThread::Execute() {
  try {
    if (gate_) gate_();
    if (bitmap_) Result = ResizeForJob(*bitmap_, background_.get(), Size);
  } catch (...) {
    Result.reset();  // nothing is delivered for a job that failed
  }
  bitmap_.reset();
  background_.reset();
  finished_.store(true, std::memory_order_release);
}

TvtGR32Resizer::~TvtGR32Resizer() {
  if (worker_) worker_->WaitFor();
  worker_.reset();
  while (!jobs_.empty()) jobs_.pop_back();
  timer_.reset();
}

uint32_t TvtGR32Resizer::AddJob(TvtComponent* client, const TBitmap32& bitmap, TPictureSize size) {
  return AddJob(client, bitmap, nullptr, size);
}

uint32_t TvtGR32Resizer::AddJob(TvtComponent* client, const TBitmap32& bitmap, const TBitmap32* background,
                                TPictureSize size) {
  if (!timer_ && timerFactory_) timer_ = timerFactory_(*this);
  auto job = std::make_unique<TvtGR32ResizerJob>();
  job->Resizer = this;
  job->Client = client;
  job->Bitmap = std::make_unique<TBitmap32>(bitmap);
  if (background != nullptr) job->Background = std::make_unique<TBitmap32>(*background);
  job->Size = size;
  if (++lastJobId_ == 0) ++lastJobId_;  // 0 means "no job" to the clients
  job->ID = lastJobId_;
  jobs_.push_back(std::move(job));
  const uint32_t id = lastJobId_;
  Poll();
  return id;
}

TvtGR32ResizerJob* TvtGR32Resizer::FindJob(uint32_t id) {
  for (auto& j : jobs_)
    if (j->ID == id) return j.get();
  return nullptr;
}

void TvtGR32Resizer::CancelJob(uint32_t jobId) {
  if (jobId == 0) return;
  auto it = std::find_if(jobs_.begin(), jobs_.end(), [&](const auto& j) { return j->ID == jobId; });
  if (it != jobs_.end()) jobs_.erase(it);
}

void TvtGR32Resizer::ClearJobs() {
  while (!jobs_.empty()) jobs_.pop_back();
}

void TvtGR32Resizer::SetTimerEnabled(bool enabled) {
  timerEnabled_ = enabled;
  if (timer_) timer_->SetEnabled(enabled);
}

void TvtGR32Resizer::Poll() {
  if (polling_) return;
  polling_ = true;
  struct Guard {
    bool& flag;
    ~Guard() { flag = false; }
  } guard{polling_};

  if (worker_ && !worker_->Finished()) return;
  if (worker_) {
    worker_->WaitFor();
    const uint32_t id = worker_->ID;
    if (TvtGR32ResizerJob* job = FindJob(id)) {
      if (auto* client = dynamic_cast<IvtGR32ResizerClient*>(job->Client)) {
        std::unique_ptr<TBitmap32> result = std::move(worker_->Result);
        client->ResizeDone(id, result);  // what the client leaves is freed here
      }
      CancelJob(id);  // found again: the client may have changed the list
    }
    worker_.reset();
  }
  if (jobs_.empty()) {
    SetTimerEnabled(false);
  } else {
    worker_ = std::make_unique<TvtGR32ResizerThread>(*jobs_.front(), workerGate_);
    SetTimerEnabled(true);
  }
}

void TvtGR32Resizer::WaitForWorker() {
  if (worker_) worker_->WaitFor();
}

TvtGR32Resizer& GR32Resizer() {
  auto& r = Instance();
  if (!r) r = std::make_unique<TvtGR32Resizer>();
  return *r;
}

void FinalizeGR32Resizer() { Instance().reset(); }

}  // namespace vt
