// Rendering band by band: the picture is reconstructed and converted a few block rows at a time
// into small planes that stay in the cache, and each band's pixels go straight into the output
// bitmap at its final (cropped) size. No plane of the whole image is ever made, so memory is the
// coefficient maps and the bitmap alone, and the bands are shared out among the worker pool and
// the calling thread. The pixels are exactly those of reconstructing whole planes, converting them
// and cropping the result.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "bitmap/bitmap32.h"
#include "jpeg/jpeg_map.h"

namespace vt {

// One frame component as a band reads it.
struct TkelBandComponent {
  const TkelMCUs* Map = nullptr;   // nullptr: the component never appeared (samples 0)
  const int32_t* Quant = nullptr;  // quantisation entries x 512, natural order
  int32_t BlockRows = 0;           // block rows that hold data for the picture
  uint8_t* const* const* RowTables = nullptr;  // see TkelBlockSource (reconstruct.h)
  bool Samples = false;            // the conversion reads this component's samples
};

// What every band of one render shares. Read-only while the bands run.
struct TkelBandPlan {
  int32_t PlaneWidth = 0;   // the size whole planes would have
  int32_t PlaneHeight = 0;
  int32_t BandHeight = 0;   // plane rows per band: a multiple of every component's block height
  int Components = 0;
  TkelBandComponent Comp[4];
  uint8_t Kind = 0;         // a conversion job kind (1..8) or a component view (jkFirstComponentView + c)
  // The picture is made at 1/2^Shift of the planes' size straight from the coefficients
  // (idct_scaled.h): band b still covers plane rows [b, b + 1) x BandHeight, written to output
  // rows divided by 2^Shift. 0: full size.
  int Shift = 0;

  int32_t BandCount() const { return BandHeight > 0 ? (PlaneHeight + BandHeight - 1) / BandHeight : 0; }
};

// Plans a render of Kind (and Shift) from the components' maps; the band height is chosen here.
void PlanBands(TkelBandPlan& plan);

// The planes and presence map of one band, reused from band to band by one thread.
struct TkelBandScratch {
  TkelComponentData Planes[4];
  TkelAlphaComponentData Presence;
  std::vector<uint8_t> Areas;  // reduced bands: which 8x8 plane areas hold decoded data
};

// Renders bands into out (already sized and cleared) until none is left: each call takes the
// next band number from next. Several threads may run this at once on the same plan and bitmap,
// each with its own scratch.
void RenderBands(const TkelBandPlan& plan, TBitmap32& out, std::atomic<int32_t>& next, TkelBandScratch& scratch);

// One band (0-based), on the calling thread.
void RenderBand(const TkelBandPlan& plan, TBitmap32& out, int32_t band, TkelBandScratch& scratch);

// One band of a reduced picture (plan.Shift > 0; scaled_band.cpp). The holes come out
// transparent as at full size: an output pixel is present when its 8x8 plane area is.
void RenderScaledBand(const TkelBandPlan& plan, TBitmap32& out, int32_t band, TkelBandScratch& scratch);

}  // namespace vt
