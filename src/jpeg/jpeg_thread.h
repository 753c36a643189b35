// The process-wide pool of decoding workers. A job (inverse DCT of one component, or one row band
// of a colour conversion or grey view) goes to the first idle worker; a new worker is started when
// none is idle. Workers live until the process ends, when they are told to stop and joined. The
// completion event of a job is signalled in every case, also when the job fails; the failure
// travels back to the dispatcher through the job's error slot.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>

#include "bitmap/bitmap32.h"
#include "jpeg/color_convert.h"
#include "jpeg/jpeg_map.h"

namespace vt {

class TkelJpegImage;

// A manual-reset event: stays signalled until Reset.
class TManualResetEvent {
 public:
  void Set();
  void Reset();
  void Wait();
  bool IsSet();

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool signalled_ = false;
};

// Job kinds: 0 ReconstructComponent; 1..8 a conversion (grey, grey+alpha, YCbCr, YCbCr swapped,
// YCCK, CMYK, RGB, RGBA); 9..12 the grey view of component 0..3; 13 bands of a render, taken one
// by one until none is left (band_render.h); 14 the bands of a render while decoding, as they
// become ready (render_pipeline.h).
constexpr uint8_t jkReconstruct = 0;
constexpr uint8_t jkFirstComponentView = 9;
constexpr uint8_t jkBands = 13;
constexpr uint8_t jkPipeline = 14;

struct TkelBandPlan;
class TkelRenderPipeline;

struct TkelJpegJob {
  uint8_t JobKind = 0;
  TkelJpegImage* Image = nullptr;
  int Component = 0;
  TkelPlaneSet Planes;
  TBitmap32* Bitmap = nullptr;
  const TkelAlphaComponentData* Presence = nullptr;
  int ViewMode = 0;
  int32_t FirstRow = 0;
  int32_t EndRow = 0;
  const TkelBandPlan* Plan = nullptr;        // jkBands: the render's plan
  std::atomic<int32_t>* NextBand = nullptr;  // jkBands: the next band to take
  TkelRenderPipeline* Pipeline = nullptr;    // jkPipeline
  TManualResetEvent* Done = nullptr;     // signalled when the job ends (not owned)
  std::exception_ptr* Error = nullptr;   // receives the job's exception, if any (not owned)
};

// Runs a job on the calling thread (the workers call this; so does the sequential path).
void RunJpegJob(const TkelJpegJob& job);

class TkelJpegThread {
 public:
  TkelJpegThread();
  ~TkelJpegThread();  // requests termination and joins
  TkelJpegThread(const TkelJpegThread&) = delete;
  TkelJpegThread& operator=(const TkelJpegThread&) = delete;

  TManualResetEvent WakeEvent;
  std::atomic<bool> Idle{true};
  TkelJpegJob Job;

  void Terminate();
  void Join();

 private:
  void Execute();
  std::atomic<bool> terminated_{false};
  std::thread thread_;
};

// Hands the job to an idle worker of the pool, starting one when none is idle. Returns at once;
// the job's Done event tells when it has finished. Done is not reset here.
void DispatchJpegJob(const TkelJpegJob& job);
// Number of workers the pool has started so far.
int JpegWorkerCount();

}  // namespace vt
