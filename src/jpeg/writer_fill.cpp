#include <algorithm>
#include <cstring>

#include "jpeg/fdct.h"
#include "jpeg/forward_color.h"
#include "jpeg/jpeg_constants.h"
#include "jpeg/writer_stages.h"

namespace vt {

bool HasForwardConversion(const TkelJpegWriterState& state) {
  switch (state.ColorModel) {
    case cmGray: return state.Table.Count == 1;
    case cmRGB:
    case cmYCbCr: return state.Table.Count == 3;
    case cmCMYK: return state.Table.Count == 4;
    default: return false;
  }
}

void ConvertMCUPixels(TkelJpegWriterState& state, const TBitmap32& bitmap, int32_t mcuX, int32_t mcuY) {
  const TkelWriterComponentTable& t = state.Table;
  const int32_t x0 = mcuX * t.MCUWidth, y0 = mcuY * t.MCUHeight;
  const int32_t lastX = bitmap.Width() - 1, lastY = bitmap.Height() - 1;
  const TkelForwardColorTables& ct = ForwardColorTables();
  const int model = state.ColorModel;
  for (int32_t py = 0; py < t.MCUHeight; ++py) {
    const TColor32* src = bitmap.ScanLine(std::min(y0 + py, lastY));
    int16_t* p[4] = {};
    for (int c = 0; c < t.Count; ++c) p[c] = state.MCUPlanes[c].Samples(py);
    for (int32_t px = 0; px < t.MCUWidth; ++px) {
      const TColor32 pixel = src[std::min(x0 + px, lastX)];
      const uint8_t r = RedComponent(pixel), g = GreenComponent(pixel), b = BlueComponent(pixel);
      switch (model) {
        case cmGray: {
          int16_t cb, cr;
          RgbToYCbCr(ct, r, g, b, p[0][px], cb, cr);
          break;
        }
        case cmRGB:
          p[0][px] = r;
          p[1][px] = g;
          p[2][px] = b;
          break;
        case cmYCbCr: RgbToYCbCr(ct, r, g, b, p[0][px], p[1][px], p[2][px]); break;
        case cmCMYK: RgbToCmyk(r, g, b, p[0][px], p[1][px], p[2][px], p[3][px]); break;
        default: break;
      }
    }
  }
}

void TransformMCUBlocks(TkelJpegWriterState& state, int c, const int32_t* divisors) {
  const TkelWriterComponent& wc = state.Table.Components[c];
  const int hf = wc.BlockWidth / 8, vf = wc.BlockHeight / 8;
  const int n = hf * vf;
  TkelComponentData& plane = state.MCUPlanes[c];
  TkelMCUs& blocks = state.MCUBlocks[c];
  int16_t samples[64];
  int32_t dct[64];
  for (int by = 0; by < wc.BlocksDown; ++by) {
    for (int bx = 0; bx < wc.BlocksAcross; ++bx) {
      for (int j = 0; j < 8; ++j) {
        for (int i = 0; i < 8; ++i) {
          int32_t sum = 0;
          for (int dy = 0; dy < vf; ++dy) {
            const int16_t* row = plane.Samples(by * wc.BlockHeight + j * vf + dy) + bx * wc.BlockWidth + i * hf;
            for (int dx = 0; dx < hf; ++dx) sum += row[dx];
          }
          // Mean rounded to nearest, ties to even (sum is never negative).
          int32_t q = sum / n;
          const int32_t rem = sum - q * n;
          if (rem * 2 > n || (rem * 2 == n && (q & 1) != 0)) ++q;
          samples[j * 8 + i] = static_cast<int16_t>(q);
        }
      }
      ForwardDct(samples, dct);
      TkelCoefBlock* out = blocks.WritableBlock(bx, by);
      QuantizeBlock(dct, divisors, out->Coef);
    }
  }
}

}  // namespace vt
