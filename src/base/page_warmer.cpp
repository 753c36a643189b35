#include "base/page_warmer.h"

#include <sys/mman.h>

#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

namespace vt {

namespace {

// One step populates this much, so that Forget never waits long and the owner's writes meet
// populated pages soon after the range is queued.
constexpr size_t kStepBytes = size_t{1} << 21;

struct TRange {
  uintptr_t Begin;
  uintptr_t End;
};

bool Overlaps(const TRange& a, uintptr_t begin, uintptr_t end) { return a.Begin < end && begin < a.End; }

class TPageWarmer {
 public:
  void Add(uintptr_t begin, uintptr_t end) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!supported_) return;
    pending_.push_back({begin, end});
    if (!started_) {
      started_ = true;
      // Lives as long as the process: the warmer is never destroyed (see Instance).
      std::thread([this] { Run(); }).detach();
    }
    wake_.notify_one();
  }

  void Forget(uintptr_t begin, uintptr_t end) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (auto it = pending_.begin(); it != pending_.end();) {
      if (!Overlaps(*it, begin, end)) {
        ++it;
        continue;
      }
      // Keep what lies outside the forgotten range.
      const TRange r = *it;
      it = pending_.erase(it);
      if (r.Begin < begin) it = std::next(pending_.insert(it, {r.Begin, begin}));
      if (end < r.End) it = std::next(pending_.insert(it, {end, r.End}));
    }
    stepDone_.wait(lock, [&] { return !busy_ || !Overlaps(step_, begin, end); });
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return !pending_.empty(); });
      TRange& front = pending_.front();
      step_ = {front.Begin, front.End - front.Begin > kStepBytes ? front.Begin + kStepBytes : front.End};
      front.Begin = step_.End;
      if (front.Begin >= front.End) pending_.pop_front();
      busy_ = true;
      lock.unlock();
      const bool ok = Populate(step_);
      lock.lock();
      busy_ = false;
      if (!ok) {
        supported_ = false;  // an older system: stop trying
        pending_.clear();
      }
      stepDone_.notify_all();
    }
  }

  static bool Populate(const TRange& r) {
#ifdef MADV_POPULATE_WRITE
    // Page-aligned inside the range: the pages the range covers wholly or in part.
    const uintptr_t page = 4096;
    const uintptr_t begin = r.Begin & ~(page - 1);
    if (madvise(reinterpret_cast<void*>(begin), r.End - begin, MADV_POPULATE_WRITE) == 0) return true;
    return errno != EINVAL;  // EINVAL: the system does not know the advice
#else
    (void)r;
    return false;
#endif
  }

  std::mutex mutex_;
  std::condition_variable wake_, stepDone_;
  std::deque<TRange> pending_;
  TRange step_{0, 0};
  bool busy_ = false;
  bool started_ = false;
  bool supported_ = true;
};

// Never destroyed: blocks freed during static destruction still call Forget.
TPageWarmer& Instance() {
  static TPageWarmer* warmer = new TPageWarmer;
  return *warmer;
}

}  // namespace

void WarmPagesAhead(void* data, size_t bytes) {
  if (data == nullptr || bytes == 0) return;
  const uintptr_t begin = reinterpret_cast<uintptr_t>(data);
  Instance().Add(begin, begin + bytes);
}

void ForgetWarmPages(void* data, size_t bytes) {
  if (data == nullptr || bytes == 0) return;
  const uintptr_t begin = reinterpret_cast<uintptr_t>(data);
  Instance().Forget(begin, begin + bytes);
}

}  // namespace vt
