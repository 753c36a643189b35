// TkelJpegImage: rendering its own bitmap (or the planes-size or reduced picture that a later
// Render or RenderScaled asks for) while the scan is decoded (render_pipeline.h). The picture
// that comes out is the one that render makes after the parse, pixel for pixel; when
// the parse turns out to be anything but one sequential scan of every component that nothing
// changed afterwards, it is dropped and the picture is rendered after the parse as usual.
#include <algorithm>
#include <thread>

#include "base/limits.h"
#include "jpeg/color_convert.h"
#include "jpeg/idct_scaled.h"
#include "jpeg/image.h"
#include "jpeg/markers.h"

namespace vt {

void TkelJpegImage::StartPipeline() {
  const int helpers = int(std::min<int64_t>(int64_t(std::thread::hardware_concurrency()) - 1, 4));
  if (helpers <= 0 || ForceParallel == 0) return;
  if (Process != mkSOF0 && Process != mkSOF1) return;
  if (ComponentCount < 1 || ComponentCount > 4 || ScanComponentCount != ComponentCount) return;
  if (HeightFromDNL || Width <= 0 || Height <= 0) return;
  // The final picture is then the whole frame, whatever the data turns out to cover.
  if (int64_t(Width) * Height > kFullFramePixels) return;
  const int32_t planeWidth = MCUsPerRow * MCUWidth, planeHeight = MCURows * MCUHeight;
  const bool large = planeWidth > kParallelThreshold && planeHeight > kParallelThreshold;
  if (!large && ForceParallel != 1) return;

  // Without a render of the own bitmap: the planes-size picture, or the reduced one.
  if (!pipelineCrop_ && !RenderPlanesWhileDecoding) {
    pipelineShift_ = ScaleWhileDecoding ? std::clamp(ScaleWhileDecoding(Width, Height), 0, kMaxScaleShift) : 0;
    if (pipelineShift_ == 0) return;
  }

  TkelBandPlan plan;
  plan.Shift = pipelineShift_;
  plan.PlaneWidth = planeWidth;
  plan.PlaneHeight = planeHeight;
  plan.Components = ComponentCount;
  plan.Kind = uint8_t(ConversionKindOf(GetColorModel()));
  if (plan.Kind == 0) return;
  for (int i = 0; i < ComponentCount; ++i) {
    const TkelMCUs* m = MCUs[i].get();
    if (!m || m->MCUsPerRow != MCUsPerRow || m->MCUHeight != MCUHeight) return;
    plan.Comp[i].Map = m;
    plan.Comp[i].Quant = FrameComponents[i].Quant.Scaled512;
    plan.Comp[i].BlockRows = MCURows * m->BlocksDown;
  }
  PlanBands(plan);

  try {
    // The own bitmap is the frame; the planes' size grows with the rows the data reaches, so
    // that picture starts at the whole frame's planes and is cut to the rows reached after.
    // The reduced picture is the frame reduced, every side rounded up.
    const int32_t cell = int32_t(1) << pipelineShift_;
    pipelineBitmap_ = pipelineCrop_ ? std::make_unique<TBitmap32>(Width, Height)
                      : pipelineShift_ > 0
                          ? std::make_unique<TBitmap32>((Width + cell - 1) >> pipelineShift_,
                                                        (Height + cell - 1) >> pipelineShift_)
                          : std::make_unique<TBitmap32>(planeWidth, planeHeight);
    pipeline_ = std::make_unique<TkelRenderPipeline>(plan, *pipelineBitmap_);
  } catch (const std::bad_alloc&) {
    pipeline_.reset();
    pipelineBitmap_.reset();
    return;  // the render after the parse reports what it cannot allocate
  }
  pipelineWidth_ = Width;
  pipelineHeight_ = Height;
  pipelineKind_ = plan.Kind;
  pipelineJobs_ = helpers;
  for (int i = 0; i < helpers; ++i) {
    TkelJpegJob job;
    job.JobKind = jkPipeline;
    job.Image = this;
    job.Pipeline = pipeline_.get();
    job.Done = &Events[i];
    job.Error = nullptr;  // a band a worker fails on is left pending and rendered afterwards
    Events[i].Reset();
    DispatchJpegJob(job);
  }
  RowsHook = true;
}

void TkelJpegImage::ScanRowsDone(int32_t row) {
  if (pipeline_) pipeline_->RowsDone(row);
}

void TkelJpegImage::SplitDecodeRunning(const std::atomic<bool>* running) {
  if (pipeline_) pipeline_->HoldWhile(running);
}

bool TkelJpegImage::WorkWhileWaiting() { return RowsHook && pipeline_ && pipeline_->WorkOne(); }

void TkelJpegImage::StopPipeline() {
  RowsHook = false;
  if (!pipeline_) return;
  pipeline_->Stop();
  for (int i = 0; i < pipelineJobs_; ++i) Events[i].Wait();
  pipelineJobs_ = 0;
  pipeline_.reset();
  pipelineBitmap_.reset();
}

bool TkelJpegImage::FinishPipeline(int& rendered) {
  RowsHook = false;
  if (!pipeline_) return false;
  TkelBandPlan plan;
  int32_t width = 0, height = 0;
  int result = jrOK;
  // Only the one sequential scan it started on, and a frame and colour model as they were.
  const bool cropped = pipelineCrop_ || pipelineShift_ > 0;
  const bool stands = pipelineScans_ == 1 && !HeightFromDNL && Width == pipelineWidth_ &&
                      Height == pipelineHeight_ &&
                      PlanRender(cropped, vmColor, plan, width, height, result, pipelineShift_) &&
                      plan.Kind == pipelineKind_ && width == pipelineBitmap_->Width() &&
                      (cropped ? height == pipelineBitmap_->Height() : height <= pipelineBitmap_->Height());
  if (!stands) {
    StopPipeline();
    return false;
  }
  // Every row is final now: this thread takes what is left with the workers, then renders the
  // bands that damaged rows kept back, from the final state.
  pipeline_->RowsDone(MCURows);
  try {
    pipeline_->Work();
  } catch (...) {
    StopPipeline();
    throw;
  }
  pipeline_->Stop();
  for (int i = 0; i < pipelineJobs_; ++i) Events[i].Wait();
  pipelineJobs_ = 0;
  std::unique_ptr<TBitmap32> picture = std::move(pipelineBitmap_);
  const std::vector<int32_t> pending = pipeline_->PendingBands();
  pipeline_.reset();
  TkelBandScratch scratch;
  for (const int32_t band : pending)
    if (band < plan.BandCount()) RenderBand(plan, *picture, band, scratch);
  RenderedInParallel = true;
  RenderedWhileDecoding = true;
  rendered = result;
  if (pipelineCrop_) {
    Bitmap = std::move(picture);
    return true;
  }
  if (!cropped && height < picture->Height()) {
    // The data stopped early: the planes end at the last row it reached.
    auto cut = std::make_unique<TBitmap32>(width, height);
    for (int32_t y = 0; y < height; ++y)
      std::copy(picture->ScanLine(y), picture->ScanLine(y) + width, cut->ScanLine(y));
    picture = std::move(cut);
  }
  aheadBitmap_ = std::move(picture);
  aheadShift_ = pipelineShift_;
  aheadResult_ = result;
  aheadEdits_ = BlockEdits;
  return true;
}

}  // namespace vt
