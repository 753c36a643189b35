#include "repair/damage_start.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace vt::repair {

namespace {

bool IsRst(int code) { return code >= 0xD0 && code <= 0xD7; }

// A run of this many zero bytes is a zeroed cluster, not entropy-coded data.
constexpr int kZeroRun = 32;
// Blocks with fewer non-zero AC coefficients than this are never taken for garbage.
constexpr double kMinStrangeLimit = 56;
// The content test needs this many contradicting MCUs in a row (one odd block is no damage).
constexpr int kBadInARow = 2;

double Percentile(std::vector<double>& v, double p) {
  if (v.empty()) return 0;
  const size_t k = std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())));
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(k), v.end());
  return v[k];
}

double MCUStrangeness(const TEvidence& evidence, int32_t mcu) {
  double worst = 0;
  for (int b = 0; b < evidence.BlocksPerMCU(); ++b)
    if (const TkelCoefBlock* blk = evidence.MapBlock(mcu, b)) worst = std::max(worst, TEvidence::Strangeness(*blk));
  return worst;
}

bool MCURange(const TkelBaseJpegParser& image, int32_t mcu, int64_t& begin, int64_t& end) {
  if (!image.Offsets || image.MCUsPerRow <= 0) return false;
  const TkelOffsetEntry* e = image.Offsets->Entry(mcu % image.MCUsPerRow, mcu / image.MCUsPerRow);
  if (!e || !e->Valid) return false;
  begin = e->StartByte;
  end = std::max<int64_t>(e->EndByte + 1, begin + 1);
  return true;
}

}  // namespace

double CostAboveLeft(const TEvidence& evidence, int32_t mcu) {
  const TFitCost c = evidence.Cost([&](int32_t, int b) { return evidence.MapBlock(mcu, b); }, 1, mcu, nullptr,
                                   mcu + 1, evidence.Total());
  return c.Measured() ? c.Combined() : -1.0;
}

namespace {

TFitCost AboveLeft(const TEvidence& evidence, int32_t mcu, const int32_t shift[4]) {
  return evidence.Cost([&](int32_t, int b) { return evidence.MapBlock(mcu, b); }, 1, mcu, shift, mcu + 1,
                       evidence.Total());
}

}  // namespace

bool LooksDamaged(const TEvidence& evidence, const TBaseline& baseline, int32_t mcu, const int32_t shift[4]) {
  if (MCUStrangeness(evidence, mcu) > baseline.StrangeLimit) return true;
  if (!baseline.Valid) return false;
  const TFitCost c = AboveLeft(evidence, mcu, shift);
  if (c.GuideBlocks > 0 && baseline.GuideLimit > 0) return c.Guide > baseline.GuideLimit;
  return c.SeamPairs > 0 && baseline.SeamLimit > 0 && c.Seam > baseline.SeamLimit;
}

TBaseline MeasureBaseline(const TEvidence& evidence, int32_t first, int32_t end) {
  TBaseline base;
  first = std::max(first, 0);
  end = std::min(end, evidence.Total());
  if (end - first < 8) return base;
  const int32_t step = std::max<int32_t>(1, (end - first) / 2000);
  std::vector<double> costs, strange, seams, guides;
  for (int32_t m = first; m < end; m += step) {
    if (!evidence.MapBlock(m, 0)) continue;
    const TFitCost c = AboveLeft(evidence, m, nullptr);
    if (c.Measured()) costs.push_back(c.Combined());
    if (c.SeamPairs > 0) seams.push_back(c.Seam);
    if (c.GuideBlocks > 0) guides.push_back(c.Guide);
    strange.push_back(MCUStrangeness(evidence, m));
  }
  auto limit = [](std::vector<double>& v) {
    if (v.size() < 8) return 0.0;
    const double median = Percentile(v, 0.5);
    return std::max(Percentile(v, 0.9) * 1.5, median * 3.0);
  };
  base.SeamLimit = limit(seams);
  base.GuideLimit = limit(guides);
  if (costs.size() < 8) return base;
  base.CostMedian = Percentile(costs, 0.5);
  const double p90 = Percentile(costs, 0.9);
  base.CostLimit = std::max(p90 * 1.6, base.CostMedian * 3.0);
  base.StrangeLimit = std::max(Percentile(strange, 0.999) + 4.0, kMinStrangeLimit);
  base.Valid = true;
  return base;
}

TDamageStart FindDamageStart(const TEvidence& evidence, const TScanData& data, const TBaseline& baseline,
                             int32_t first, int32_t end) {
  TDamageStart found;
  const TkelBaseJpegParser& image = evidence.Image();
  first = std::max(first, 0);
  end = std::min(end, evidence.Total());
  int bad = 0;
  for (int32_t m = first; m < end; ++m) {
    int64_t b0 = 0, b1 = 0;
    if (MCURange(image, m, b0, b1)) {
      // A run of zeros that starts inside the MCU's bytes (its own part of it may be short).
      if (data.HasZeroRun(b0, b1 + kZeroRun - 1, kZeroRun)) {
        found.MCU = m;
        found.Evidence = "a run of zero bytes";
        break;
      }
      bool foreign = false;
      for (const TMarkerAt& mk : data.Markers())
        if (mk.Pos >= b0 && mk.Pos < b1 && !IsRst(mk.Code)) foreign = true;
      if (foreign) {
        found.MCU = m;
        found.Evidence = "a marker inside the data";
        break;
      }
    }
    if (!evidence.MapBlock(m, 0)) continue;
    bool contradicts = MCUStrangeness(evidence, m) > baseline.StrangeLimit;
    if (!contradicts && baseline.Valid) {
      const double c = CostAboveLeft(evidence, m);
      contradicts = c > baseline.CostLimit;
    }
    bad = contradicts ? bad + 1 : 0;
    if (bad >= kBadInARow) {
      found.MCU = m - (kBadInARow - 1);
      found.Evidence = "blocks that contradict the picture around them";
      break;
    }
  }
  if (found.MCU < 0) return found;
  // Damage on a card starts at a cluster boundary: when one lies a little before the MCU found,
  // the MCUs from the one holding it on decoded from damaged bytes too.
  int64_t start = 0, stop = 0;
  if (MCURange(image, found.MCU, start, stop)) {
    found.Byte = start;
    const int64_t fileStart = data.FileOrigin() + start;
    const int64_t boundary = (fileStart / kClusterBytes) * kClusterBytes - data.FileOrigin();
    int64_t firstByte = 0, unused = 0;
    if (boundary > data.Begin() && MCURange(image, first, firstByte, unused) && boundary >= firstByte) {
      int32_t m = found.MCU;
      while (m > first) {
        int64_t s = 0, e = 0;
        if (!MCURange(image, m - 1, s, e) || e <= boundary) break;
        --m;
      }
      if (m < found.MCU) {
        found.MCU = m;
        found.Byte = boundary;
        found.Evidence += ", from the cluster boundary before it";
      }
    }
  }
  return found;
}

}  // namespace vt::repair
