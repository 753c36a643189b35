#include "repair/dc_correction.h"

#include <algorithm>
#include <utility>
#include <cmath>
#include <vector>

#include "jpeg/idct.h"

namespace vt::repair {

namespace {

// Borders decide when there are enough of them; a few pixels of one MCU's edge are not enough.
constexpr int32_t kMinBorderPixels = 64;
constexpr int32_t kMinGuideBlocks = 16;

// The mean of the middle half: as robust against a few wrong blocks as the median, but with the
// resolution of a mean (each sample difference is a whole number of levels, several DC steps).
double MiddleMean(std::vector<double>& v) {
  std::sort(v.begin(), v.end());
  const size_t lo = v.size() / 4, hi = v.size() - v.size() / 4;
  double sum = 0;
  for (size_t i = lo; i < hi; ++i) sum += v[i];
  return hi > lo ? sum / static_cast<double>(hi - lo) : 0.0;
}

}  // namespace

TDcShift EstimateDcShift(const TEvidence& evidence, int32_t first, int32_t count, int32_t skipFirst,
                         int32_t skipEnd, bool borders, const TGuideCalibration* calibration) {
  TDcShift out;
  const TkelBaseJpegParser& image = evidence.Image();
  const int32_t perRow = image.MCUsPerRow;
  const int32_t total = evidence.Total();
  // One pair of lists for every component, sized once: a long run's lists are megabytes, and
  // fresh ones, grown by doubling, would be cleared page by page for each component again.
  std::vector<double> border, guide;
  guide.reserve(static_cast<size_t>(std::max(count, 0)) * static_cast<size_t>(evidence.BlocksPerMCU()));
  for (int sc = 0; sc < image.ScanComponentCount; ++sc) {
    const TkelScanComponent& c = image.ScanComponents[sc];
    const TkelQuantTable& q = image.QuantTables[c.QuantTable & 3];
    const double step = q.Scaled512[0] / 512.0 / 8.0;  // sample levels per DC step
    if (step <= 0) continue;
    border.clear();
    guide.clear();
    for (int32_t k = 0; k < count; ++k) {
      const int32_t mcu = first + k;
      for (int b = 0; b < evidence.BlocksPerMCU(); ++b) {
        if (evidence.ComponentOf(b) != sc) continue;
        const TkelCoefBlock* blk = evidence.MapBlock(mcu, b);
        if (!blk) continue;
        int32_t bx, by;
        evidence.BlockXY(mcu, b, bx, by);
        const float g = evidence.Guide().Level(sc, bx, by);
        if (g >= 0) {
          const double level = calibration && calibration->Valid
                                   ? (g - calibration->Offset[sc]) / calibration->Gain[sc]
                                   : static_cast<double>(g);
          guide.push_back((level - evidence.Level(sc, *blk)) / step);
        }
        // Borders with decoded blocks that are not part of the run.
        static constexpr int kDx[4] = {0, 0, -1, 1}, kDy[4] = {-1, 1, 0, 0};
        uint8_t own[64];
        bool haveOwn = false;
        for (int d = 0; d < 4 && borders; ++d) {
          const int32_t nx = bx + kDx[d], ny = by + kDy[d];
          if (nx < 0 || ny < 0 || nx >= perRow * c.BlocksAcross) continue;
          const int32_t nm = (ny / c.BlocksDown) * perRow + nx / c.BlocksAcross;
          if (nm < 0 || nm >= total) continue;
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
          // Each border pixel with the one behind it on both sides: across the border the
          // samples should step as much as they step on either side of it.
          for (int t = 0; t < 8; ++t) {
            int a0, a1, z0, z1;
            switch (d) {
              case 0: a0 = own[t], a1 = own[8 + t], z0 = theirs[56 + t], z1 = theirs[48 + t]; break;
              case 1: a0 = own[56 + t], a1 = own[48 + t], z0 = theirs[t], z1 = theirs[8 + t]; break;
              case 2: a0 = own[t * 8], a1 = own[t * 8 + 1], z0 = theirs[t * 8 + 7], z1 = theirs[t * 8 + 6]; break;
              default: a0 = own[t * 8 + 7], a1 = own[t * 8 + 6], z0 = theirs[t * 8], z1 = theirs[t * 8 + 1]; break;
            }
            // Clipped samples say nothing about the offset.
            if (a0 == 0 || a0 == 255 || z0 == 0 || z0 == 255) continue;
            const double slope = 0.5 * ((z0 - z1) + (a1 - a0));
            border.push_back((slope - (a0 - z0)) / step);
          }
        }
      }
    }
    // Each estimate with its standard error; border pixels come eight to a block edge and guide
    // values follow the thumbnail's own smoothness, so neither counts as many independent
    // measurements as it has values.
    auto estimate = [](std::vector<double>& v, double perUnit, double& mean, double& error) {
      if (v.empty()) return false;
      mean = MiddleMean(v);
      double var = 0;
      for (double x : v) var += (x - mean) * (x - mean);
      var /= static_cast<double>(v.size());
      error = std::sqrt(var / std::max(1.0, static_cast<double>(v.size()) / perUnit)) + 1e-3;
      return true;
    };
    double bMean = 0, bError = 0, gMean = 0, gError = 0;
    const bool haveBorder = static_cast<int32_t>(border.size()) >= kMinBorderPixels && estimate(border, 8.0, bMean, bError);
    const bool haveGuide = static_cast<int32_t>(guide.size()) >= kMinGuideBlocks && estimate(guide, 4.0, gMean, gError);
    double shift = 0;
    if (haveBorder && haveGuide) {
      const double wb = 1.0 / (bError * bError), wg = 1.0 / (gError * gError);
      shift = (bMean * wb + gMean * wg) / (wb + wg);
    } else if (haveBorder) {
      shift = bMean;
    } else if (haveGuide) {
      shift = gMean;
    } else {
      continue;
    }
    if (haveBorder) out.Borders += static_cast<int32_t>(border.size());
    out.GuideBlocks += static_cast<int32_t>(guide.size());
    out.Shift[sc] = static_cast<int32_t>(std::lround(shift));
    out.Found = true;
  }
  return out;
}

TGuideCalibration CalibrateGuide(const TEvidence& evidence, int32_t first, int32_t end) {
  TGuideCalibration cal;
  const TkelBaseJpegParser& image = evidence.Image();
  if (!evidence.Guide().Present()) return cal;
  first = std::max(first, 0);
  end = std::min(end, evidence.Total());
  const int32_t stride = std::max<int32_t>(1, (end - first) / 20000);
  std::vector<std::pair<double, double>> pairs;  // (level, guide), one list for every component
  if (end > first)
    pairs.reserve(static_cast<size_t>((end - first + stride - 1) / stride) * static_cast<size_t>(evidence.BlocksPerMCU()));
  for (int sc = 0; sc < image.ScanComponentCount; ++sc) {
    pairs.clear();
    for (int32_t m = first; m < end; m += stride)
      for (int b = 0; b < evidence.BlocksPerMCU(); ++b) {
        if (evidence.ComponentOf(b) != sc) continue;
        const TkelCoefBlock* blk = evidence.MapBlock(m, b);
        if (!blk) continue;
        int32_t bx, by;
        evidence.BlockXY(m, b, bx, by);
        const float g = evidence.Guide().Level(sc, bx, by);
        if (g >= 0) pairs.emplace_back(evidence.Level(sc, *blk), g);
      }
    if (static_cast<int32_t>(pairs.size()) < kMinGuideBlocks * 16) return cal;
    // Least squares, then once more without the tenth that fits worst (edges the thumbnail blurs).
    double gain = 1, offset = 0;
    for (int pass = 0; pass < 2; ++pass) {
      double sx = 0, sy = 0, sxx = 0, sxy = 0;
      for (const auto& [x, y] : pairs) {
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
      }
      const double n = static_cast<double>(pairs.size());
      const double den = n * sxx - sx * sx;
      if (std::fabs(den) < 1e-9) return cal;
      gain = (n * sxy - sx * sy) / den;
      offset = (sy - gain * sx) / n;
      if (pass == 0) {
        std::sort(pairs.begin(), pairs.end(), [&](const auto& a, const auto& b) {
          return std::fabs(a.second - gain * a.first - offset) < std::fabs(b.second - gain * b.first - offset);
        });
        pairs.resize(pairs.size() * 9 / 10);
      }
    }
    // A thumbnail of this photo is never far from it; a wild fit is no calibration.
    if (gain < 0.7 || gain > 1.3) return cal;
    cal.Gain[sc] = gain;
    cal.Offset[sc] = offset;
  }
  cal.Valid = true;
  return cal;
}

void ApplyDcShift(TkelBaseJpegParser& image, const TDcShift& shift, int32_t first, int32_t count) {
  for (int sc = 0; sc < image.ScanComponentCount; ++sc)
    image.AddToDC(image.ScanComponents[sc].FrameIndex, shift.Shift[sc], first, count);
}

}  // namespace vt::repair
