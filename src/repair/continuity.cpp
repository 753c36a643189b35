#include "repair/continuity.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "jpeg/idct.h"

namespace vt::repair {

namespace {

// A band of jumps: this share of a row's MCUs step at their top border in one component...
constexpr double kBandShare = 0.6;
// ... by more than this multiple of the picture's usual step there (and at least kMinStep).
constexpr double kStepFactor = 2.5;
constexpr double kMinStep = 6.0;
// A band of drift: a row's mean signed step in one component beyond this many standard errors of
// the picture's own row means (and at least kMinDrift levels).
constexpr double kDriftSigmas = 8.0;
constexpr double kMinDrift = 1.5;
// Rows this short say nothing reliable about a band.
constexpr int32_t kMinMCUsPerRow = 8;

}  // namespace

bool TopBorder(const TEvidence& evidence, int32_t mcu, TBorderStep steps[4]) {
  const TkelBaseJpegParser& image = evidence.Image();
  const int32_t above = mcu - image.MCUsPerRow;
  for (int i = 0; i < 4; ++i) steps[i] = TBorderStep{};
  if (above < 0) return false;
  int seen[4] = {};
  for (int b = 0; b < evidence.BlocksPerMCU(); ++b) {
    const int sc = evidence.ComponentOf(b);
    const TkelScanComponent& c = image.ScanComponents[sc];
    if (seen[sc]++ >= c.BlocksAcross) continue;  // the MCU's top row of blocks only
    const TkelCoefBlock* own = evidence.MapBlock(mcu, b);
    const TkelCoefBlock* up = evidence.MapBlock(above, b + (c.BlocksDown - 1) * c.BlocksAcross);
    if (!own || !up) return false;
    const TkelQuantTable& q = image.QuantTables[c.QuantTable & 3];
    uint8_t a[64], z[64];
    InverseDct(own->Coef, q.Scaled512, a, 8);
    InverseDct(up->Coef, q.Scaled512, z, 8);
    for (int t = 0; t < 8; ++t) {
      const int d = int(a[t]) - int(z[56 + t]);
      steps[sc].Absolute += std::abs(d);
      steps[sc].Signed += d;
    }
    steps[sc].Pixels += 8;
  }
  for (int i = 0; i < 4; ++i)
    if (steps[i].Pixels > 0) {
      steps[i].Absolute /= steps[i].Pixels;
      steps[i].Signed /= steps[i].Pixels;
    }
  return true;
}

std::vector<int32_t> FindBreaks(const TEvidence& evidence, int32_t first, int32_t end) {
  std::vector<int32_t> breaks;
  const TkelBaseJpegParser& image = evidence.Image();
  const int32_t perRow = image.MCUsPerRow;
  const int comps = image.ScanComponentCount;
  first = std::max(first, 0);
  end = std::min(end, evidence.Total());
  if (perRow < kMinMCUsPerRow || end - first < 3 * perRow) return breaks;
  const size_t n = static_cast<size_t>(end - first);
  std::vector<TBorderStep> steps(n * 4);
  std::vector<uint8_t> valid(n, 0);
  std::vector<double> absolute[4];
  for (int32_t m = first + perRow; m < end; ++m) {
    TBorderStep* s = &steps[static_cast<size_t>(m - first) * 4];
    if (!TopBorder(evidence, m, s)) continue;
    valid[static_cast<size_t>(m - first)] = 1;
    for (int c = 0; c < comps; ++c) absolute[c].push_back(s[c].Absolute);
  }
  // The picture's usual steps, and the spread of a row's mean signed step.
  double limit[4] = {}, rowSigma[4] = {};
  for (int c = 0; c < comps; ++c) {
    if (absolute[c].size() < static_cast<size_t>(2 * perRow)) return breaks;
    std::vector<double>& v = absolute[c];
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    limit[c] = std::max(kMinStep, kStepFactor * v[v.size() / 2]);
    double sum = 0, sum2 = 0;
    int32_t k = 0;
    for (size_t i = 0; i < n; ++i)
      if (valid[i]) {
        const double s = steps[i * 4 + static_cast<size_t>(c)].Signed;
        sum += s;
        sum2 += s * s;
        ++k;
      }
    const double mean = sum / k;
    rowSigma[c] = std::sqrt(std::max(0.0, sum2 / k - mean * mean) / perRow);
  }
  // Sliding windows of one row.
  const int32_t need = static_cast<int32_t>(kBandShare * perRow + 0.5);
  int32_t count[4] = {}, measured = 0;
  double signedSum[4] = {};
  auto add = [&](int32_t m, int sign) {
    const size_t i = static_cast<size_t>(m - first);
    if (!valid[i]) return;
    measured += sign;
    for (int c = 0; c < comps; ++c) {
      count[c] += sign * (steps[i * 4 + c].Absolute > limit[c]);
      signedSum[c] += sign * steps[i * 4 + c].Signed;
    }
  };
  const int32_t start = first + perRow;
  for (int32_t m = start; m < start + perRow; ++m) add(m, 1);
  for (int32_t m = start; m + perRow <= end;) {
    bool band = false;
    if (measured >= need) {
      for (int c = 0; c < comps && !band; ++c) {
        const size_t i = static_cast<size_t>(m - first);
        const bool jumps = count[c] >= need && valid[i] && steps[i * 4 + c].Absolute > limit[c];
        const double drift = std::fabs(signedSum[c] / measured);
        const bool drifts = drift > std::max(kMinDrift, kDriftSigmas * rowSigma[c]) && valid[i] &&
                            std::fabs(steps[i * 4 + c].Signed) > 0.5 * drift;
        band = jumps || drifts;
      }
    }
    if (band) {
      breaks.push_back(m);
      const int32_t next = m + perRow;
      if (next + perRow > end) break;
      for (int c = 0; c < 4; ++c) count[c] = 0, signedSum[c] = 0;
      measured = 0;
      for (int32_t k = next; k < next + perRow; ++k) add(k, 1);
      m = next;
      continue;
    }
    add(m, -1);
    if (m + perRow < end) add(m + perRow, 1);
    ++m;
  }
  return breaks;
}

}  // namespace vt::repair
