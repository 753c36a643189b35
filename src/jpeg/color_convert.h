// Conversion of the component planes into TBitmap32 rows, one routine per colour model, and the
// grey view of a single component. Every routine writes bitmap rows [firstRow, endRow) across
// the bitmap's width, which may be narrower than the planes (a cropped picture); the bitmap is
// already cleared to 0. Pixels outside present areas are left (0, 0, 0, 0). Disjoint row bands
// may be converted on several threads.
#pragma once

#include <cstdint>

#include "bitmap/bitmap32.h"
#include "jpeg/jpeg_map.h"

namespace vt {

// Planes by frame component index; a missing plane (nullptr) reads as samples of 0. The planes
// and the presence map may hold a band of the image: their row 0 is image row FirstRow (a
// multiple of 8), and rows outside the band are not converted.
struct TkelPlaneSet {
  const TkelComponentData* Plane[4] = {nullptr, nullptr, nullptr, nullptr};
  int32_t FirstRow = 0;
};

using TkelConversion = void (*)(const TkelPlaneSet& planes, TBitmap32& bitmap,
                                const TkelAlphaComponentData& presence, int32_t firstRow,
                                int32_t endRow);

void ConvertGray(const TkelPlaneSet&, TBitmap32&, const TkelAlphaComponentData&, int32_t, int32_t);
void ConvertGrayAlpha(const TkelPlaneSet&, TBitmap32&, const TkelAlphaComponentData&, int32_t, int32_t);
void ConvertYCbCr(const TkelPlaneSet&, TBitmap32&, const TkelAlphaComponentData&, int32_t, int32_t);
void ConvertYCbCrSwapped(const TkelPlaneSet&, TBitmap32&, const TkelAlphaComponentData&, int32_t, int32_t);
void ConvertYCCK(const TkelPlaneSet&, TBitmap32&, const TkelAlphaComponentData&, int32_t, int32_t);
void ConvertCMYK(const TkelPlaneSet&, TBitmap32&, const TkelAlphaComponentData&, int32_t, int32_t);
void ConvertRGB(const TkelPlaneSet&, TBitmap32&, const TkelAlphaComponentData&, int32_t, int32_t);
void ConvertRGBA(const TkelPlaneSet&, TBitmap32&, const TkelAlphaComponentData&, int32_t, int32_t);

// Conversion job kinds 1..8 (grey, grey+alpha, YCbCr, YCbCr swapped, YCCK, CMYK, RGB, RGBA).
TkelConversion ConversionOfKind(int kind);
// The job kind that serves a colour model, or 0 for a model without conversion.
int ConversionKindOf(int colorModel);

// Grey view of one component: present pixels get B = G = R = the sample, A = 255.
void RenderComponent(const TkelPlaneSet& planes, TBitmap32& bitmap,
                     const TkelAlphaComponentData& presence, int32_t firstRow, int32_t endRow,
                     int component);

}  // namespace vt
