#include "jpeg/image.h"

#include <algorithm>

#include <thread>

#include "jpeg/band_render.h"
#include "jpeg/color_convert.h"
#include "jpeg/idct_scaled.h"
#include "jpeg/presence.h"
#include "jpeg/reconstruct.h"
#include "jpeg/writer_state.h"

namespace vt {

TkelJpegImage::TkelJpegImage(int32_t bufferSize, bool overridesAppBlock)
    : TkelBaseJpegParser(bufferSize, overridesAppBlock) {}

TkelJpegImage::~TkelJpegImage() = default;

void TkelJpegImage::Reset() {
  aheadBitmap_.reset();
  MCUWidth = 0;
  MCUHeight = 0;
  ReleaseSamples();
  if (Bitmap) Bitmap->SetSize(0, 0);
  LastMCUWidth = 0;
  LastMCUHeight = 0;
  LastScanComponentCount = 0;
  TkelBaseJpegParser::Reset();
}

int TkelJpegImage::Parse(uint16_t flags, int colorModel) {
  // A picture rendered after the parse may be rendered while decoding instead (PrepareScan
  // starts it); whatever happens, no worker outlives the parse.
  aheadBitmap_.reset();
  const bool renders = !(flags & (pfNoRender | pfHeadersOnly));
  const bool ahead = !(flags & pfHeadersOnly) && (RenderPlanesWhileDecoding || ScaleWhileDecoding);
  pipelineWanted_ = RenderWhileDecoding && (renders || ahead);
  pipelineCrop_ = renders;
  pipelineShift_ = 0;
  pipelineScans_ = 0;
  RenderedWhileDecoding = false;
  struct PipelineGuard {
    TkelJpegImage& image;
    ~PipelineGuard() {
      image.StopPipeline();
      image.pipelineWanted_ = false;
    }
  } guard{*this};
  const int parsed = TkelBaseJpegParser::Parse(flags, colorModel);
  LastMCUWidth = MCUWidth;
  LastMCUHeight = MCUHeight;
  LastScanComponentCount = ScanComponentCount;
  if (!FrameSeen || !renders) {
    if (FrameSeen && !(flags & pfHeadersOnly)) {
      int rendered = jrOK;
      FinishPipeline(rendered);  // the planes-size or reduced picture waits for its render
    }
    return parsed;
  }
  int rendered = jrOK;
  if (!FinishPipeline(rendered)) rendered = RenderOwnBitmap();
  return parsed != jrOK ? parsed : rendered;
}

void TkelJpegImage::PrepareScan() {
  // A further scan changes blocks that bands may be reading: the rendering while decoding ends
  // here, and the picture is rendered after the parse.
  if (pipeline_) StopPipeline();
  TkelBaseJpegParser::PrepareScan();
  for (int i = 0; i < ScanComponentCount && i < 4; ++i) {
    const TkelScanComponent& sc = ScanComponents[i];
    if (sc.FrameIndex < 0 || sc.FrameIndex >= 4 || sc.QuantTable >= 4) continue;
    FrameComponents[sc.FrameIndex].Quant = QuantTables[sc.QuantTable];
  }
  if (++pipelineScans_ == 1 && pipelineWanted_) StartPipeline();
}

void TkelJpegImage::ReleaseSamples() {
  for (auto& plane : ComponentPlanes)
    if (plane) plane->ReleaseCells();
  if (PresenceMap) PresenceMap->ReleaseCells();
}

TkelPlaneSet TkelJpegImage::PlaneSet() const {
  TkelPlaneSet set;
  for (int i = 0; i < 4; ++i) set.Plane[i] = ComponentPlanes[i].get();
  return set;
}

void TkelJpegImage::DimensionPlane(TkelComponentData& plane, int32_t width, int32_t height) {
  plane.SetColumns(width);
  plane.SetRows(height);  // new rows of a dense map are zero
}

bool TkelJpegImage::PlaneSize(int32_t& width, int32_t& height, int32_t blockRows[4]) const {
  width = 0;
  height = 0;
  bool any = false;
  for (int i = 0; i < ComponentCount && i < 4; ++i) {
    blockRows[i] = 0;
    const TkelMCUs* m = MCUs[i].get();
    if (!m || m->MCUWidth <= 0 || m->MCUHeight <= 0 || m->BlocksDown <= 0) continue;
    any = true;
    const int64_t w = int64_t(m->MCUsPerRow) * m->MCUWidth;
    // MCU rows: those the map holds (the data reached), at most those the frame needs.
    const int64_t needed = (int64_t(Height) + m->MCUHeight - 1) / m->MCUHeight;
    const int64_t held = (int64_t(m->Rows) + m->BlocksDown - 1) / m->BlocksDown;
    const int64_t rows = std::min(needed, held);
    blockRows[i] = int32_t(rows * m->BlocksDown);
    width = int32_t(std::min<int64_t>(std::max<int64_t>(width, w), INT32_MAX));
    height = int32_t(std::min<int64_t>(std::max<int64_t>(height, rows * m->MCUHeight), INT32_MAX));
  }
  return any && width > 0;
}

void TkelJpegImage::ReconstructComponent(int component) {
  const TkelMCUs* m = MCUs[component].get();
  TkelComponentData* plane = ComponentPlanes[component].get();
  if (!m || !plane || !PresenceMap) return;
  if (plane->Columns != planeWidth_ || plane->Rows != planeHeight_) {
    plane->ReleaseCells();
    DimensionPlane(*plane, planeWidth_, planeHeight_);
  }
  const int64_t needed = (int64_t(Height) + m->MCUHeight - 1) / std::max(m->MCUHeight, 1);
  const int64_t blockRows = std::min<int64_t>(m->Rows, needed * m->BlocksDown);
  ReconstructPlane(*m, FrameComponents[component].Quant.Scaled512, int32_t(blockRows), *plane,
                   *PresenceMap);
}

int TkelJpegImage::Render(std::unique_ptr<TBitmap32>& bitmap, bool crop, int viewMode) {
  if (!FrameSeen) return jrBadData;
  if (!bitmap) bitmap = std::make_unique<TBitmap32>();
  return Render(*bitmap, crop, viewMode);
}

int TkelJpegImage::RenderReference(TBitmap32& bitmap, bool crop, int viewMode) {
  if (!FrameSeen) return jrBadData;
  int32_t planeWidth = 0, planeHeight = 0, blockRows[4] = {0, 0, 0, 0};
  if (!PlaneSize(planeWidth, planeHeight, blockRows)) return jrBadData;
  const bool parallel = ForceParallel >= 0 ? ForceParallel != 0
                                            : planeWidth > kParallelThreshold && planeHeight > kParallelThreshold;
  RenderedInParallel = parallel;

  // Planes and presence map, freshly dimensioned (new rows of a dense map are zero).
  const int components = std::min(ComponentCount, 4);
  if (!PresenceMap) PresenceMap = std::make_unique<TkelAlphaComponentData>();
  PresenceMap->ReleaseCells();
  DimensionPresence(*PresenceMap, planeWidth, planeHeight);
  for (int i = 0; i < components; ++i) {
    if (!ComponentPlanes[i]) ComponentPlanes[i] = std::make_unique<TkelComponentData>();
    ComponentPlanes[i]->ReleaseCells();
    // A plane with blocks to reconstruct is dimensioned by its own job, so that on the worker
    // pool the planes' memory is claimed in parallel; the others here.
    if (!MCUs[i]) DimensionPlane(*ComponentPlanes[i], planeWidth, planeHeight);
  }
  planeWidth_ = planeWidth;
  planeHeight_ = planeHeight;

  int result = jrOK;
  std::exception_ptr errors[4];
  int dispatched = 0;
  for (int i = 0; i < components; ++i) {
    if (!MCUs[i]) {
      result = jrBadData;
      continue;
    }
    if (!parallel) {
      ReconstructComponent(i);
      continue;
    }
    TkelJpegJob job;
    job.JobKind = jkReconstruct;
    job.Image = this;
    job.Component = i;
    job.Done = &Events[dispatched];
    job.Error = &errors[dispatched];
    Events[dispatched].Reset();
    DispatchJpegJob(job);
    ++dispatched;
  }
  for (int i = 0; i < dispatched; ++i) Events[i].Wait();
  for (int i = 0; i < dispatched; ++i)
    if (errors[i]) std::rethrow_exception(errors[i]);

  const bool reused = bitmap.Width() == planeWidth && bitmap.Height() == planeHeight;
  bitmap.SetSize(planeWidth, planeHeight);
  if (reused) bitmap.Clear(0);  // a new allocation of TBitmap32 is zero already

  uint8_t kind = 0;
  if (viewMode == vmColor) {
    kind = uint8_t(ConversionKindOf(GetColorModel()));
  } else if (viewMode >= 1 && viewMode <= 4 && viewMode <= components) {
    kind = uint8_t(jkFirstComponentView + viewMode - 1);
  }
  if (kind == 0) return jrUnsupportedColorModel;

  TkelJpegJob job;
  job.JobKind = kind;
  job.Image = this;
  job.Planes = PlaneSet();
  job.Bitmap = &bitmap;
  job.Presence = PresenceMap.get();
  job.ViewMode = viewMode;
  if (!parallel) {
    job.FirstRow = 0;
    job.EndRow = planeHeight;
    RunJpegJob(job);
  } else {
    const int32_t third = planeHeight / 3;
    const int32_t bounds[4] = {0, third, 2 * third, planeHeight};
    for (int band = 0; band < 3; ++band) {
      job.FirstRow = bounds[band];
      job.EndRow = bounds[band + 1];
      job.Done = &Events[band];
      job.Error = &errors[band];
      errors[band] = nullptr;
      Events[band].Reset();
      DispatchJpegJob(job);
    }
    for (int band = 0; band < 3; ++band) Events[band].Wait();
    for (int band = 0; band < 3; ++band)
      if (errors[band]) std::rethrow_exception(errors[band]);
  }

  if (crop && (bitmap.Width() != Width || bitmap.Height() != Height)) {
    // The full frame only when that is modest or the data is big enough to stand for it;
    // otherwise the rows that the data reached.
    int32_t height = Height;
    if (!FrameIsPlausible(Width, Height, Position)) height = std::min(Height, planeHeight);
    TBitmap32 cropped(Width, height);
    cropped.Clear(0);
    bitmap.DrawMode = dmCustom;
    bitmap.DrawTo(cropped, TRect{0, 0, Width, Height}, TRect{0, 0, Width, Height});
    cropped.DrawMode = dmOpaque;
    bitmap = std::move(cropped);
  }
  return result;
}

bool TkelJpegImage::PlanRender(bool crop, int viewMode, TkelBandPlan& plan, int32_t& width, int32_t& height,
                               int& result, int shift) const {
  int32_t planeWidth = 0, planeHeight = 0, blockRows[4] = {0, 0, 0, 0};
  if (!FrameSeen || !PlaneSize(planeWidth, planeHeight, blockRows)) return false;
  const int components = std::min(ComponentCount, 4);
  plan = TkelBandPlan();
  plan.PlaneWidth = planeWidth;
  plan.PlaneHeight = planeHeight;
  plan.Components = components;
  result = jrOK;
  for (int i = 0; i < components; ++i) {
    const TkelMCUs* m = MCUs[i].get();
    if (!m) {
      result = jrBadData;  // rendered with samples 0
      continue;
    }
    const int64_t needed = (int64_t(Height) + m->MCUHeight - 1) / std::max(m->MCUHeight, 1);
    plan.Comp[i].Map = m;
    plan.Comp[i].Quant = FrameComponents[i].Quant.Scaled512;
    plan.Comp[i].BlockRows = int32_t(std::min<int64_t>(m->Rows, needed * m->BlocksDown));
  }
  if (viewMode == vmColor) {
    plan.Kind = uint8_t(ConversionKindOf(GetColorModel()));
  } else if (viewMode >= 1 && viewMode <= 4 && viewMode <= components) {
    plan.Kind = uint8_t(jkFirstComponentView + viewMode - 1);
  }
  // The picture comes out at its final size: the frame when cropping (the full frame only when
  // the data can stand for it, otherwise the rows it reached), the planes' size otherwise. A
  // model without conversion gives an empty picture of the planes' size.
  width = planeWidth;
  height = planeHeight;
  if (crop && plan.Kind != 0 && (planeWidth != Width || planeHeight != Height)) {
    width = Width;
    height = FrameIsPlausible(Width, Height, Position) ? Height : std::min(Height, planeHeight);
  }
  if (plan.Kind == 0) result = jrUnsupportedColorModel;
  // A reduced picture: every side divided by 2^shift, rounded up (a part cell counts whole).
  plan.Shift = shift;
  width = int32_t((int64_t(width) + (1 << shift) - 1) >> shift);
  height = int32_t((int64_t(height) + (1 << shift) - 1) >> shift);
  PlanBands(plan);
  return true;
}

int TkelJpegImage::Render(TBitmap32& bitmap, bool crop, int viewMode) {
  // The planes-size picture made while decoding, when it is still what this render would give.
  if (aheadBitmap_ && aheadShift_ == 0) {
    const std::unique_ptr<TBitmap32> ahead = std::move(aheadBitmap_);
    if (!crop && viewMode == vmColor && aheadEdits_ == BlockEdits && FrameSeen) {
      bitmap.TakePixels(*ahead);
      RenderedInParallel = true;
      return aheadResult_;
    }
  }
  return RenderPlanned(bitmap, crop, viewMode, 0);
}

int TkelJpegImage::RenderScaled(TBitmap32& bitmap, int shift, int viewMode) {
  if (!FrameSeen) return jrBadData;
  shift = std::clamp(shift, 0, kMaxScaleShift);
  // The reduced picture made while decoding, when it is still what this render would give.
  if (aheadBitmap_ && aheadShift_ > 0) {
    const std::unique_ptr<TBitmap32> ahead = std::move(aheadBitmap_);
    if (shift == aheadShift_ && viewMode == vmColor && aheadEdits_ == BlockEdits) {
      bitmap.TakePixels(*ahead);
      RenderedInParallel = true;
      return aheadResult_;
    }
  }
  return RenderPlanned(bitmap, true, viewMode, shift);
}

int TkelJpegImage::RenderPlanned(TBitmap32& bitmap, bool crop, int viewMode, int shift) {
  TkelBandPlan plan;
  int32_t width = 0, height = 0;
  int result = jrOK;
  if (!PlanRender(crop, viewMode, plan, width, height, result, shift)) return jrBadData;
  const bool parallel = ForceParallel >= 0 ? ForceParallel != 0
                                            : plan.PlaneWidth > kParallelThreshold && plan.PlaneHeight > kParallelThreshold;
  RenderedInParallel = parallel;
  const bool reused = bitmap.Width() == width && bitmap.Height() == height;
  bitmap.SetSize(width, height);
  if (reused) bitmap.Clear(0);  // a new allocation of TBitmap32 is zero already
  if (plan.Kind == 0) return jrUnsupportedColorModel;

  // The bands go to the pool's workers and to this thread alike, each taking the next band.
  std::atomic<int32_t> next{0};
  const int helpers =
      parallel ? int(std::min<int64_t>({int64_t(std::thread::hardware_concurrency()) - 1, 4, plan.BandCount() - 1}))
               : 0;
  std::exception_ptr errors[4];
  for (int i = 0; i < helpers; ++i) {
    TkelJpegJob job;
    job.JobKind = jkBands;
    job.Image = this;
    job.Bitmap = &bitmap;
    job.Plan = &plan;
    job.NextBand = &next;
    job.Done = &Events[i];
    job.Error = &errors[i];
    Events[i].Reset();
    DispatchJpegJob(job);
  }
  std::exception_ptr own;
  try {
    TkelBandScratch scratch;
    RenderBands(plan, bitmap, next, scratch);
  } catch (...) {
    own = std::current_exception();
    next.store(plan.BandCount());  // the others stop after their band
  }
  for (int i = 0; i < helpers; ++i) Events[i].Wait();
  if (own) std::rethrow_exception(own);
  for (int i = 0; i < helpers; ++i)
    if (errors[i]) std::rethrow_exception(errors[i]);
  return result;
}

int TkelJpegImage::RenderOwnBitmap() { return Render(Bitmap, true, vmColor); }

}  // namespace vt
