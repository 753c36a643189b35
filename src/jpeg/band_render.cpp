#include "jpeg/band_render.h"

#include <algorithm>
#include <numeric>

#include "jpeg/color_convert.h"
#include "jpeg/jpeg_thread.h"
#include "jpeg/presence.h"
#include "jpeg/reconstruct.h"

namespace vt {

namespace {

// Bands of at least this many rows: fewer, larger bands cost less to hand out, and the planes of
// a band of a 6000-pixel-wide picture still fit in the second-level cache.
constexpr int32_t kMinBandRows = 16;

int32_t BlockHeightOf(const TkelBandComponent& c) { return c.Map ? 8 * std::max(c.Map->UpsampleV, 1) : 8; }

// The components whose samples a job kind reads.
int SampledComponents(uint8_t kind) {
  switch (kind) {
    case 1: return 1;         // grey
    case 2: return 2;         // grey + alpha
    case 3: case 4: case 7: return 3;  // YCbCr, swapped, RGB
    default: return 4;        // YCCK, CMYK, RGBA
  }
}

}  // namespace

void PlanBands(TkelBandPlan& plan) {
  int32_t height = 8;
  for (int c = 0; c < plan.Components; ++c) height = std::lcm(height, BlockHeightOf(plan.Comp[c]));
  while (height < (kMinBandRows << plan.Shift)) height *= 2;  // as many output rows as at full size
  plan.BandHeight = height;
  const bool view = plan.Kind >= jkFirstComponentView;
  for (int c = 0; c < plan.Components; ++c)
    plan.Comp[c].Samples = view ? c == plan.Kind - jkFirstComponentView : c < SampledComponents(plan.Kind);
}

namespace {

// Sizes the scratch for the plan (kept when it already fits) and returns the plane set.
TkelPlaneSet PrepareScratch(const TkelBandPlan& plan, TkelBandScratch& scratch) {
  TkelPlaneSet set;
  for (int c = 0; c < plan.Components; ++c) {
    if (!plan.Comp[c].Map) continue;
    // Sized also when only its presence is wanted: the plane's size bounds the blocks marked.
    TkelComponentData& p = scratch.Planes[c];
    if (p.Columns != plan.PlaneWidth || p.Rows != plan.BandHeight) {
      p.ReleaseCells();
      p.SetColumns(plan.PlaneWidth);
      p.SetRows(plan.BandHeight);
    }
    set.Plane[c] = &p;
  }
  if (scratch.Presence.Columns != (plan.PlaneWidth + 63) / 64 || scratch.Presence.Rows != plan.BandHeight / 8)
    DimensionPresence(scratch.Presence, plan.PlaneWidth, plan.BandHeight);
  return set;
}

void RenderPreparedBand(const TkelBandPlan& plan, TBitmap32& out, int32_t band, TkelBandScratch& scratch,
                        TkelPlaneSet& set) {
  const int32_t bandHeight = plan.BandHeight;
  const int32_t y0 = band * bandHeight;
  const int32_t y1 = std::min(y0 + bandHeight, plan.PlaneHeight);
  if (y0 >= out.Height() || y0 >= y1) return;
  scratch.Presence.ClearCells();
  for (int c = 0; c < plan.Components; ++c) {
    const TkelBandComponent& comp = plan.Comp[c];
    if (!comp.Map) continue;
    const int32_t bh = BlockHeightOf(comp);
    const int32_t first = y0 / bh;
    const int32_t end = std::min(comp.BlockRows, y1 / bh);
    if (comp.Samples) {
      // Whatever no block covers reads as 0, as in a freshly made plane.
      TkelComponentData& p = scratch.Planes[c];
      const int32_t bw = 8 * std::max(comp.Map->UpsampleH, 1);
      const bool covered = std::min(comp.Map->Columns, plan.PlaneWidth / bw) * bw >= p.Columns &&
                           std::max(end - first, 0) * bh >= bandHeight;
      if (!covered) p.ClearCells();
    }
    ReconstructPlaneRows(TkelBlockSource{comp.Map, comp.RowTables}, comp.Quant, first, end, y0,
                         scratch.Planes[c], scratch.Presence, comp.Samples);
  }
  set.FirstRow = y0;
  if (plan.Kind < jkFirstComponentView)
    ConversionOfKind(plan.Kind)(set, out, scratch.Presence, y0, y1);
  else
    RenderComponent(set, out, scratch.Presence, y0, y1, plan.Kind - jkFirstComponentView);
}

}  // namespace

void RenderBands(const TkelBandPlan& plan, TBitmap32& out, std::atomic<int32_t>& next, TkelBandScratch& scratch) {
  const int32_t bands = plan.BandCount();
  if (plan.Shift > 0) {
    for (int32_t band = next.fetch_add(1, std::memory_order_relaxed); band < bands;
         band = next.fetch_add(1, std::memory_order_relaxed))
      RenderScaledBand(plan, out, band, scratch);
    return;
  }
  TkelPlaneSet set = PrepareScratch(plan, scratch);
  for (int32_t band = next.fetch_add(1, std::memory_order_relaxed); band < bands;
       band = next.fetch_add(1, std::memory_order_relaxed))
    RenderPreparedBand(plan, out, band, scratch, set);
}

void RenderBand(const TkelBandPlan& plan, TBitmap32& out, int32_t band, TkelBandScratch& scratch) {
  if (plan.Shift > 0) {
    RenderScaledBand(plan, out, band, scratch);
    return;
  }
  TkelPlaneSet set = PrepareScratch(plan, scratch);
  RenderPreparedBand(plan, out, band, scratch, set);
}

}  // namespace vt
