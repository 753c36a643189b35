// A band of a reduced picture: each block goes through the reduced inverse DCT, its samples are
// replicated for subsampled components as at full size, and the same colour conversions make the
// pixels. The conversions only know 8x8 presence areas, which a reduced picture does not have, so
// they convert the whole band and the areas that no component decoded are cleared afterwards.
#include <algorithm>

#include "jpeg/band_render.h"
#include "jpeg/color_convert.h"
#include "jpeg/idct_scaled.h"
#include "jpeg/jpeg_thread.h"
#include "jpeg/presence.h"
#include "jpeg/reconstruct.h"

namespace vt {

namespace {

void SizePlane(TkelJpegMap& map, int32_t columns, int32_t rows) {
  if (map.Columns == columns && map.Rows == rows) return;
  map.ReleaseCells();
  map.SetColumns(columns);
  map.SetRows(rows);
}

// How one direction of a component with upsampling factor f is reduced by 2^shift: the block's
// transform reduces by 2^own and each sample is repeated rep times. A subsampled direction is
// reduced less (by the factor it was subsampled by, for power-of-two factors), so that chroma
// keeps all the resolution the reduced picture can show.
struct TAxis {
  int own = 0;
  int32_t rep = 1;
};

TAxis AxisOf(int32_t f, int shift) {
  TAxis a;
  a.own = shift;
  if ((f & (f - 1)) == 0)
    for (int32_t g = f; g > 1 && a.own > 0; g >>= 1) --a.own;
  a.rep = ((8 * f) >> shift) / (8 >> a.own);
  return a;
}

// Reconstructs block rows [first, end) of one component into the band's reduced plane and marks
// the 8x8 plane areas of its decoded blocks in areas (areaCols per row, row 0 = plane row y0).
void ReconstructScaledRows(const TkelBandPlan& plan, const TkelBandComponent& comp, int32_t y0, int32_t y1,
                           TkelComponentData* plane, std::vector<uint8_t>& areas, int32_t areaCols) {
  const TkelMCUs& mcus = *comp.Map;
  const int shift = plan.Shift;
  const int32_t hf = std::max(mcus.UpsampleH, 1), vf = std::max(mcus.UpsampleV, 1);
  const TAxis ax = AxisOf(hf, shift), ay = AxisOf(vf, shift);
  const int32_t nx = 8 >> ax.own, ny = 8 >> ay.own;
  const int32_t bh = 8 * vf;
  const int32_t blockOutW = (8 * hf) >> shift;
  const int32_t cols = std::min(mcus.Columns, plan.PlaneWidth / (8 * hf));
  const int32_t first = y0 / bh, end = std::min(comp.BlockRows, y1 / bh);
  const TkelBlockSource blocks{comp.Map, comp.RowTables};
  uint8_t samples[64];
  for (int32_t i = first; i < end; ++i) {
    const bool reached = blocks.RowPresent(i);
    const int32_t areaRow = (i * bh - y0) / 8;
    const int32_t ry = (i * bh - y0) >> shift;
    for (int32_t k = 0; k < cols; ++k) {
      const TkelCoefBlock* block = reached ? blocks.Block(k, i) : nullptr;
      if (block && block->Decoded)
        for (int32_t r = 0; r < vf; ++r)
          std::fill_n(areas.begin() + (areaRow + r) * areaCols + k * hf, hf, uint8_t(1));
      if (!plane) continue;
      if (block)
        InverseDctScaled(block->Coef, comp.Quant, ax.own, ay.own, samples, nx);
      else
        std::fill_n(samples, nx * ny, uint8_t(128));  // an all-zero block
      for (int32_t y = 0; y < ny; ++y)
        for (int32_t r = 0; r < ay.rep; ++r) {
          int16_t* row = plane->Samples(ry + y * ay.rep + r) + k * blockOutW;
          for (int32_t x = 0; x < nx; ++x) std::fill_n(row + x * ax.rep, ax.rep, int16_t(samples[y * nx + x]));
        }
    }
  }
}

}  // namespace

void RenderScaledBand(const TkelBandPlan& plan, TBitmap32& out, int32_t band, TkelBandScratch& scratch) {
  const int shift = plan.Shift;
  const int32_t n = 8 >> shift;
  const int32_t y0 = band * plan.BandHeight;
  const int32_t y1 = std::min(y0 + plan.BandHeight, plan.PlaneHeight);
  const int32_t outY0 = y0 >> shift;
  if (outY0 >= out.Height() || y0 >= y1) return;
  const int32_t outRows = plan.BandHeight >> shift;
  // The conversions read runs of 8 samples: the planes are padded to a multiple of 8.
  const int32_t planeCols = ((plan.PlaneWidth >> shift) + 7) & ~7;
  const int32_t areaCols = plan.PlaneWidth / 8, areaRows = plan.BandHeight / 8;
  scratch.Areas.assign(size_t(areaCols) * size_t(areaRows), 0);
  TkelPlaneSet set;
  set.FirstRow = outY0;
  for (int c = 0; c < plan.Components; ++c) {
    const TkelBandComponent& comp = plan.Comp[c];
    if (!comp.Map) continue;
    TkelComponentData* plane = nullptr;
    if (comp.Samples) {
      plane = &scratch.Planes[c];
      SizePlane(*plane, planeCols, outRows);
      plane->ClearCells();  // whatever no block covers reads as 0, as in a fresh plane
      set.Plane[c] = plane;
    }
    ReconstructScaledRows(plan, comp, y0, y1, plane, scratch.Areas, areaCols);
  }
  // Every pixel converted; the holes are cleared below.
  if (scratch.Presence.Columns != (planeCols + 63) / 64 || scratch.Presence.Rows != (outRows + 7) / 8) {
    DimensionPresence(scratch.Presence, planeCols, outRows);
    SetPresent(scratch.Presence, 0, 0, scratch.Presence.Columns * 8, scratch.Presence.Rows);
  }
  const int32_t outY1 = std::min(outY0 + ((y1 - y0) >> shift), out.Height());
  if (plan.Kind < jkFirstComponentView)
    ConversionOfKind(plan.Kind)(set, out, scratch.Presence, outY0, outY1);
  else
    RenderComponent(set, out, scratch.Presence, outY0, outY1, plan.Kind - jkFirstComponentView);

  const int32_t width = out.Width();
  for (int32_t ay = 0; ay < areaRows; ++ay) {
    const uint8_t* flags = scratch.Areas.data() + size_t(ay) * size_t(areaCols);
    for (int32_t ax = 0; ax < areaCols; ++ax) {
      if (flags[ax]) continue;
      const int32_t x0 = ax * n, x1 = std::min(x0 + n, width);
      if (x0 >= width) break;
      for (int32_t y = outY0 + ay * n; y < std::min(outY0 + ay * n + n, outY1); ++y)
        std::fill(out.ScanLine(y) + x0, out.ScanLine(y) + x1, TColor32(0));
    }
  }
}

}  // namespace vt
