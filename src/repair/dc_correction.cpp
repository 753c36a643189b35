#include "repair/dc_correction.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "jpeg/idct.h"

namespace vt::repair {

namespace {

// Borders decide when there are enough of them; a few pixels of one MCU's edge are not enough.
constexpr int32_t kMinBorderPixels = 64;
constexpr int32_t kMinGuideBlocks = 16;

double Median(std::vector<double>& v) {
  const size_t k = v.size() / 2;
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(k), v.end());
  return v[k];
}

}  // namespace

TDcShift EstimateDcShift(const TEvidence& evidence, int32_t first, int32_t count, int32_t skipFirst,
                         int32_t skipEnd) {
  TDcShift out;
  const TkelBaseJpegParser& image = evidence.Image();
  const int32_t perRow = image.MCUsPerRow;
  const int32_t total = evidence.Total();
  for (int sc = 0; sc < image.ScanComponentCount; ++sc) {
    const TkelScanComponent& c = image.ScanComponents[sc];
    const TkelQuantTable& q = image.QuantTables[c.QuantTable & 3];
    const double step = q.Scaled512[0] / 512.0 / 8.0;  // sample levels per DC step
    if (step <= 0) continue;
    std::vector<double> border, guide;
    auto outside = [&](int32_t m) {
      return m < 0 || m >= total || (m >= first && m < first + count) || (m >= skipFirst && m < skipEnd);
    };
    for (int32_t k = 0; k < count; ++k) {
      const int32_t mcu = first + k;
      for (int b = 0; b < evidence.BlocksPerMCU(); ++b) {
        if (evidence.ComponentOf(b) != sc) continue;
        const TkelCoefBlock* blk = evidence.MapBlock(mcu, b);
        if (!blk) continue;
        int32_t bx, by;
        evidence.BlockXY(mcu, b, bx, by);
        const float g = evidence.Guide().Level(sc, bx, by);
        if (g >= 0) guide.push_back((g - evidence.Level(sc, *blk)) / step);
        // Borders with decoded blocks that are not part of the run.
        static constexpr int kDx[4] = {0, 0, -1, 1}, kDy[4] = {-1, 1, 0, 0};
        uint8_t own[64];
        bool haveOwn = false;
        for (int d = 0; d < 4; ++d) {
          const int32_t nx = bx + kDx[d], ny = by + kDy[d];
          if (nx < 0 || ny < 0 || nx >= perRow * c.BlocksAcross) continue;
          const int32_t nm = (ny / c.BlocksDown) * perRow + nx / c.BlocksAcross;
          if (!outside(nm) || nm < 0 || nm >= total) continue;
          if (nm >= skipFirst && nm < skipEnd) continue;
          if (nm >= first && nm < first + count) continue;
          const int nb = (ny % c.BlocksDown) * c.BlocksAcross + nx % c.BlocksAcross;
          const TkelCoefBlock* other = image.BlockOfMCU(sc, nb, nm);
          if (!other || !other->Decoded) continue;
          if (!haveOwn) {
            InverseDct(blk->Coef, q.Scaled512, own, 8);
            haveOwn = true;
          }
          uint8_t theirs[64];
          InverseDct(other->Coef, q.Scaled512, theirs, 8);
          for (int t = 0; t < 8; ++t) {
            int a, z;
            switch (d) {
              case 0: a = own[t], z = theirs[56 + t]; break;
              case 1: a = own[56 + t], z = theirs[t]; break;
              case 2: a = own[t * 8], z = theirs[t * 8 + 7]; break;
              default: a = own[t * 8 + 7], z = theirs[t * 8]; break;
            }
            // Clipped samples say nothing about the offset.
            if (a == 0 || a == 255 || z == 0 || z == 255) continue;
            border.push_back((z - a) / step);
          }
        }
      }
    }
    double shift = 0;
    if (static_cast<int32_t>(border.size()) >= kMinBorderPixels) {
      shift = Median(border);
      out.Borders += static_cast<int32_t>(border.size());
    } else if (static_cast<int32_t>(guide.size()) >= kMinGuideBlocks) {
      shift = Median(guide);
    } else {
      continue;
    }
    out.GuideBlocks += static_cast<int32_t>(guide.size());
    out.Shift[sc] = static_cast<int32_t>(std::lround(shift));
    out.Found = true;
  }
  return out;
}

void ApplyDcShift(TkelBaseJpegParser& image, const TDcShift& shift, int32_t first, int32_t count) {
  for (int sc = 0; sc < image.ScanComponentCount; ++sc)
    image.AddToDC(image.ScanComponents[sc].FrameIndex, shift.Shift[sc], first, count);
}

}  // namespace vt::repair
