#include "repair/guide.h"

#include <algorithm>
#include <cmath>

#include "jpeg/jpeg_constants.h"

namespace vt::repair {

namespace {

struct TRgb {
  float R, G, B;
};

// Bilinear sample of the picture at (u, v) in its pixel coordinates (centres at .5).
TRgb Sample(const TBitmap32& p, float u, float v) {
  const float x = std::clamp(u - 0.5f, 0.0f, static_cast<float>(p.Width() - 1));
  const float y = std::clamp(v - 0.5f, 0.0f, static_cast<float>(p.Height() - 1));
  const int32_t x0 = static_cast<int32_t>(x), y0 = static_cast<int32_t>(y);
  const int32_t x1 = std::min(x0 + 1, p.Width() - 1), y1 = std::min(y0 + 1, p.Height() - 1);
  const float fx = x - static_cast<float>(x0), fy = y - static_cast<float>(y0);
  auto at = [&](int32_t xx, int32_t yy) {
    const TColor32 c = p.Pixel(xx, yy);
    return TRgb{static_cast<float>(RedComponent(c)), static_cast<float>(GreenComponent(c)),
                static_cast<float>(BlueComponent(c))};
  };
  const TRgb a = at(x0, y0), b = at(x1, y0), c = at(x0, y1), d = at(x1, y1);
  auto mix = [&](float pa, float pb, float pc, float pd) {
    return (pa * (1 - fx) + pb * fx) * (1 - fy) + (pc * (1 - fx) + pd * fx) * fy;
  };
  return {mix(a.R, b.R, c.R, d.R), mix(a.G, b.G, c.G, d.G), mix(a.B, b.B, c.B, d.B)};
}

}  // namespace

TGuide::TGuide(const TkelBaseJpegParser& image, const TBitmap32* picture) {
  if (!picture || picture->Empty() || !image.FrameSeen || image.Precision != 8 || image.Width <= 0 ||
      image.Height <= 0 || image.MCUsPerRow <= 0)
    return;
  const int model = image.GetColorModel();
  const bool grey = model == cmGray && image.ScanComponentCount == 1;
  const bool ycc = model == cmYCbCr && image.ScanComponentCount == 3;
  const bool rgb = model == cmRGB && image.ScanComponentCount == 3;
  if (!grey && !ycc && !rgb) return;
  const float su = static_cast<float>(picture->Width()) / static_cast<float>(image.Width);
  const float sv = static_cast<float>(picture->Height()) / static_cast<float>(image.Height);
  for (int i = 0; i < image.ScanComponentCount; ++i) {
    const TkelScanComponent& sc = image.ScanComponents[i];
    Grid& g = grids_[i];
    g.Width = image.MCUsPerRow * sc.BlocksAcross;
    g.Height = image.MCURows * sc.BlocksDown;
    // Written cell by cell below, so not cleared first (in huge pages for a large photo).
    g.Levels = TZeroedBlock(static_cast<size_t>(g.Width) * static_cast<size_t>(g.Height) * sizeof(float));
    float* const levels = reinterpret_cast<float*>(g.Levels.Data());
    const int channel = grey ? 0 : sc.FrameIndex;  // component order Y, Cb, Cr (or R, G, B)
    for (int32_t by = 0; by < g.Height; ++by) {
      for (int32_t bx = 0; bx < g.Width; ++bx) {
        const float x0 = static_cast<float>(bx * sc.BlockWidth), y0 = static_cast<float>(by * sc.BlockHeight);
        if (x0 >= static_cast<float>(image.Width) || y0 >= static_cast<float>(image.Height)) {
          levels[static_cast<size_t>(by) * g.Width + bx] = -1.0f;  // outside the frame: unknown
          continue;
        }
        const float w = std::min(static_cast<float>(sc.BlockWidth), static_cast<float>(image.Width) - x0);
        const float h = std::min(static_cast<float>(sc.BlockHeight), static_cast<float>(image.Height) - y0);
        // Four points over the block's area, in the picture's coordinates.
        float sum = 0;
        for (int q = 0; q < 4; ++q) {
          const float x = x0 + w * (q & 1 ? 0.75f : 0.25f), y = y0 + h * (q & 2 ? 0.75f : 0.25f);
          const TRgb c = Sample(*picture, x * su, y * sv);
          float v;
          if (grey || (ycc && channel == 0))
            v = 0.299f * c.R + 0.587f * c.G + 0.114f * c.B;
          else if (ycc && channel == 1)
            v = -0.168736f * c.R - 0.331264f * c.G + 0.5f * c.B + 128.0f;
          else if (ycc)
            v = 0.5f * c.R - 0.418688f * c.G - 0.081312f * c.B + 128.0f;
          else
            v = channel == 0 ? c.R : channel == 1 ? c.G : c.B;
          sum += v;
        }
        levels[static_cast<size_t>(by) * g.Width + bx] = sum * 0.25f;
      }
    }
  }
  present_ = true;
}

}  // namespace vt::repair
