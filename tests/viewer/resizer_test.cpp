#include "viewer/resizer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vt {
namespace {

struct Received {
  uint32_t Id;
  int32_t Width, Height;
  TColor32 Centre;
};

struct Client : TvtComponent, IvtGR32ResizerClient {
  explicit Client(bool t = true) : take(t) {}
  void ResizeDone(uint32_t id, std::unique_ptr<TBitmap32>& result) override {
    got.push_back({id, result->Width(), result->Height(), result->Pixel(result->Width() / 2, result->Height() / 2)});
    if (take) kept = std::move(result);
  }
  bool take;
  std::vector<Received> got;
  std::unique_ptr<TBitmap32> kept;
};

// Knows nothing of the resizer's interface: its jobs run, their results are thrown away.
struct Bystander : TvtComponent {};

struct FakeTimer : IvtResizerTimer {
  explicit FakeTimer(std::vector<bool>& l) : log(l) {}
  void SetEnabled(bool e) override { log.push_back(e); }
  std::vector<bool>& log;
};

TBitmap32 Solid(int w, int h, TColor32 c) {
  TBitmap32 b(w, h);
  b.Clear(c);
  return b;
}

// Holds every worker at its start until released, so a test sees the queue while a job runs.
class Gate {
 public:
  explicit Gate(TvtGR32Resizer& r) {
    r.SetWorkerGate([this] {
      std::unique_lock<std::mutex> lock(mutex_);
      cv_.wait(lock, [this] { return open_; });
    });
  }
  void Open() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      open_ = true;
    }
    cv_.notify_all();
  }
  void Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = false;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool open_ = false;
};

// Lets the held worker finish and collects its result, as the timer would; the next worker is
// held again.
void Tick(TvtGR32Resizer& r, Gate& gate) {
  gate.Open();
  r.WaitForWorker();
  gate.Close();
  r.Poll();
}

void Tick(TvtGR32Resizer& r) {
  r.WaitForWorker();
  r.Poll();
}

TEST(Resizer, JobsRunOneAtATimeInOrderAndTheNextStartsOnlyWhenTheLastIsCollected) {
  std::vector<bool> timerLog;
  TvtGR32Resizer r;
  Gate gate(r);
  r.SetTimerFactory([&](TvtGR32Resizer&) { return std::make_unique<FakeTimer>(timerLog); });
  Client c;
  const uint32_t a = r.AddJob(&c, Solid(64, 48, clWhite32), {32, 24});
  const uint32_t b = r.AddJob(&c, Solid(64, 48, clBlack32), {16, 12});
  EXPECT_NE(a, 0u);
  EXPECT_EQ(b, a + 1);
  EXPECT_EQ(r.WorkingJobID(), a);
  EXPECT_TRUE(r.TimerEnabled());
  gate.Open();
  r.WaitForWorker();
  gate.Close();
  EXPECT_EQ(r.WorkingJobID(), a) << "a finished worker waits for the timer's poll";
  EXPECT_TRUE(c.got.empty());
  r.Poll();
  ASSERT_EQ(c.got.size(), 1u);
  EXPECT_EQ(c.got[0].Id, a);
  EXPECT_EQ(c.got[0].Width, 32);
  EXPECT_EQ(c.got[0].Centre, clWhite32);
  EXPECT_EQ(r.WorkingJobID(), b);
  Tick(r, gate);
  ASSERT_EQ(c.got.size(), 2u);
  EXPECT_EQ(c.got[1].Id, b);
  EXPECT_EQ(c.got[1].Centre, clBlack32);
  EXPECT_EQ(r.JobCount(), 0u);
  EXPECT_FALSE(r.TimerEnabled());
  EXPECT_EQ(timerLog, (std::vector<bool>{true, true, false}));
}

TEST(Resizer, ACancelledJobDeliversNothingAndTheNextOneStarts) {
  TvtGR32Resizer r;
  Gate gate(r);
  Client c;
  const uint32_t a = r.AddJob(&c, Solid(400, 300, clWhite32), {100, 75});
  const uint32_t b = r.AddJob(&c, Solid(40, 30, clBlack32), {10, 7});
  const uint32_t q = r.AddJob(&c, Solid(40, 30, clBlack32), {5, 5});
  r.CancelJob(a);  // while its worker runs
  r.CancelJob(q);  // still queued
  EXPECT_EQ(r.WorkingJobID(), a);
  Tick(r, gate);
  EXPECT_TRUE(c.got.empty());
  EXPECT_EQ(r.WorkingJobID(), b);
  Tick(r, gate);
  ASSERT_EQ(c.got.size(), 1u);
  EXPECT_EQ(c.got[0].Id, b);
  EXPECT_EQ(r.JobCount(), 0u);
  EXPECT_EQ(r.WorkingJobID(), 0u);
}

TEST(Resizer, ResultsForClientsThatDoNotTakeThemAreFreedAndTheQueueGoesOn) {
  TvtGR32Resizer r;
  Bystander nobody;
  Client leaves(false), takes;
  r.AddJob(&nobody, Solid(20, 20, clWhite32), {10, 10});
  r.AddJob(&leaves, Solid(20, 20, clWhite32), {10, 10});
  const uint32_t last = r.AddJob(&takes, Solid(20, 20, clWhite32), {10, 10});
  Tick(r);
  Tick(r);
  Tick(r);
  EXPECT_EQ(leaves.got.size(), 1u);
  EXPECT_EQ(leaves.kept, nullptr);
  ASSERT_EQ(takes.got.size(), 1u);
  EXPECT_EQ(takes.got[0].Id, last);
  ASSERT_NE(takes.kept, nullptr);
  EXPECT_EQ(r.JobCount(), 0u);
}

// A client that asks for a new job while its result is delivered (a view repainting) gets it
// queued and started by the same poll.
TEST(Resizer, AJobAddedFromResizeDoneStartsAfterTheDelivery) {
  struct Chain : TvtComponent, IvtGR32ResizerClient {
    TvtGR32Resizer* r = nullptr;
    std::vector<uint32_t> got;
    void ResizeDone(uint32_t id, std::unique_ptr<TBitmap32>&) override {
      got.push_back(id);
      if (got.size() == 1) r->AddJob(this, Solid(8, 8, clWhite32), {4, 4});
    }
  } chain;
  TvtGR32Resizer r;
  chain.r = &r;
  const uint32_t first = r.AddJob(&chain, Solid(8, 8, clWhite32), {4, 4});
  Tick(r);
  EXPECT_EQ(r.WorkingJobID(), first + 1);
  Tick(r);
  EXPECT_EQ(chain.got, (std::vector<uint32_t>{first, first + 1}));
}

// The first worker is held until both jobs are queued (so no poll can collect it early), then
// let go just before the resizer is destroyed: the destructor must wait for it, deliver nothing
// and never start the second job.
TEST(Resizer, DestructionWaitsForARunningWorkerAndDeliversNothing) {
  Client c;
  std::mutex m;
  std::condition_variable cv;
  bool open = false;
  std::atomic<int> ran{0};
  {
    TvtGR32Resizer r;
    r.SetWorkerGate([&] {
      std::unique_lock<std::mutex> lock(m);
      cv.wait(lock, [&] { return open; });
      lock.unlock();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      ran.fetch_add(1);
    });
    r.AddJob(&c, Solid(800, 600, clWhite32), {400, 300});
    r.AddJob(&c, Solid(800, 600, clWhite32), {400, 300});
    {
      std::lock_guard<std::mutex> lock(m);
      open = true;
    }
    cv.notify_all();
  }
  EXPECT_EQ(ran.load(), 1) << "the destructor returned before its worker had run";
  EXPECT_TRUE(c.got.empty());
}

// Composite jobs: the image's opaque pixels stay, its holes show the background, and the
// background is stretched at the same aspect or made to cover the image otherwise.
TEST(Resizer, CompositeKeepsOpaquePixelsAndShowsTheBackgroundInTheHoles) {
  TBitmap32 image(160, 90);
  image.Clear(0);
  image.FillRect(0, 0, 80, 90, Color32(0, 0, 255));
  const TBitmap32 background = Solid(16, 9, Color32(0, 200, 0));
  TBitmap32 a = image, b = background;
  auto result = ResizeForJob(a, &b, {80, 45});
  ASSERT_EQ(result->Width(), 80);
  EXPECT_EQ(result->Pixel(10, 20), Color32(0, 0, 255));
  EXPECT_EQ(result->Pixel(70, 20), Color32(0, 200, 0));
}

// A background with red bands at its top and bottom tenth: stretched over a 16:9 image from a
// 16:9 background the bands show; a 4:3 background covers the 16:9 image with its top and bottom
// outside, so the bands are cut away and the middle colour reaches the edges.
TEST(Resizer, CompositeStretchesTheSameAspectAndCoversAnother) {
  auto banded = [](int w, int h) {
    TBitmap32 b(w, h);
    b.Clear(Color32(0, 200, 0));
    b.FillRect(0, 0, w, h / 10, Color32(255, 0, 0));
    b.FillRect(0, h - h / 10, w, h, Color32(255, 0, 0));
    return b;
  };
  TBitmap32 holes(320, 180);
  holes.Clear(0);
  {
    TBitmap32 image = holes, bg = banded(160, 90);
    auto r = ResizeForJob(image, &bg, {160, 90});
    EXPECT_GT(RedComponent(r->Pixel(80, 1)), 200) << "same aspect: stretched, bands at the edges";
    EXPECT_GT(RedComponent(r->Pixel(80, 88)), 200);
  }
  {
    TBitmap32 image = holes, bg = banded(160, 120);
    auto r = ResizeForJob(image, &bg, {160, 90});
    EXPECT_LT(RedComponent(r->Pixel(80, 1)), 60) << "4:3 under 16:9: covered, bands cut away";
    EXPECT_LT(RedComponent(r->Pixel(80, 88)), 60);
    EXPECT_GT(GreenComponent(r->Pixel(80, 45)), 190);
    EXPECT_EQ(AlphaComponent(r->Pixel(0, 0)), 255) << "the cover leaves no pixel empty";
  }
}

TEST(Resizer, PlainJobScalesAndAnEmptySizeGivesAnEmptyBitmap) {
  TBitmap32 b = Solid(30, 20, Color32(10, 20, 30));
  auto r = ResizeForJob(b, nullptr, {15, 10});
  ASSERT_EQ(r->Width(), 15);
  EXPECT_EQ(r->Pixel(7, 5), Color32(10, 20, 30));
  TBitmap32 c = Solid(30, 20, clWhite32);
  EXPECT_TRUE(ResizeForJob(c, nullptr, {0, 10})->Empty());
}

}  // namespace
}  // namespace vt
