#include "repair/cluster_verdicts.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/zeroed_block.h"

namespace vt::repair {

namespace {

bool IsRst(int code) { return code >= 0xD0 && code <= 0xD7; }

// A cluster is damaged when at least this share of its MCUs looks wrong, right when at most
// kRightShare does; in between it takes the side of its neighbours.
constexpr double kDamagedShare = 0.7;
constexpr double kRightShare = 0.5;

}  // namespace

std::vector<TClusterVerdict> JudgeClusters(const TEvidence& evidence, const TScanData& data,
                                           const TBaseline& baseline, int32_t first, int32_t end,
                                           const int32_t shift[4]) {
  std::vector<TClusterVerdict> out;
  const TkelBaseJpegParser& image = evidence.Image();
  if (!image.Offsets || image.MCUsPerRow <= 0) return out;
  first = std::max(first, 0);
  end = std::min(end, evidence.Total());
  const int64_t origin = data.FileOrigin();
  int32_t bad = 0, measured = 0;
  int64_t current = -1;  // the cluster the last verdict's MCUs start in
  auto close = [&]() {
    if (out.empty()) return;
    TClusterVerdict& v = out.back();
    v.BadShare = measured > 0 ? static_cast<double>(bad) / measured : 0.0;
    if (v.BadShare >= kDamagedShare) {
      v.Damaged = true;
      if (v.Why.empty()) v.Why = "most of its blocks contradict the picture";
    }
    bad = measured = 0;
  };
  for (int32_t m = first; m < end; ++m) {
    const TkelOffsetEntry* e = image.Offsets->Entry(m % image.MCUsPerRow, m / image.MCUsPerRow);
    if (!e || !e->Valid) continue;
    const int64_t cluster = (origin + e->StartByte) / kClusterBytes;
    if (out.empty() || cluster != current) {
      close();
      TClusterVerdict v;
      v.FirstMCU = m;
      v.Byte = cluster * kClusterBytes - origin;
      out.push_back(v);
      current = cluster;
    }
    // The MCU's own bytes: zeros, or a marker that has no place in the data. The damage starts
    // with this MCU (it reaches into the damaged cluster); the MCUs before it in its own cluster
    // were decoded from good bytes, so a new verdict starts here.
    const int64_t b0 = e->StartByte, b1 = std::max<int64_t>(e->EndByte + 1, b0 + 1);
    const char* why = nullptr;
    if (!out.back().Damaged) {
      if (data.HasZeroRun(b0, b1 + 31, 32)) why = "a run of zero bytes";
      for (const TMarkerAt& mk : data.Markers())
        if (!why && mk.Pos >= b0 && mk.Pos < b1 && (!IsRst(mk.Code) || image.RestartInterval == 0))
          why = "a marker inside the data";
    }
    if (why) {
      if (out.back().FirstMCU < m) {
        close();
        TClusterVerdict v;
        v.FirstMCU = m;
        v.Byte = std::min<int64_t>(((origin + b1) / kClusterBytes) * kClusterBytes - origin, b1);
        out.push_back(v);
      }
      out.back().Damaged = true;
      out.back().Why = why;
    }
    TClusterVerdict& v = out.back();
    v.EndMCU = m + 1;
    if (!evidence.MapBlock(m, 0)) continue;
    ++measured;
    bad += LooksDamaged(evidence, baseline, m, shift);
  }
  close();
  return out;
}

TDamageStart DamageBefore(const TEvidence& evidence, const TScanData& data, const TBaseline& baseline,
                          int32_t first, int32_t end) {
  TDamageStart found;
  const std::vector<TClusterVerdict> clusters = JudgeClusters(evidence, data, baseline, first, end);
  size_t k = clusters.size();
  // Back from the end over the clusters that are damaged or not clearly right.
  while (k > 0 && (clusters[k - 1].Damaged || clusters[k - 1].BadShare > kRightShare)) --k;
  if (k == clusters.size()) return found;  // the last cluster looks right: the damage is where decoding stopped
  found.MCU = clusters[k].FirstMCU;
  found.Byte = clusters[k].Byte;
  found.Evidence = clusters[k].Why.empty() ? "its cluster's blocks contradict the picture" : clusters[k].Why;
  return found;
}

int32_t FirstRightCluster(const TEvidence& evidence, const TScanData& data, const TBaseline& baseline,
                          int32_t first, int32_t end) {
  const std::vector<TClusterVerdict> clusters = JudgeClusters(evidence, data, baseline, first, end);
  size_t k = 0;
  while (k < clusters.size() && (clusters[k].Damaged || clusters[k].BadShare > kRightShare)) ++k;
  if (k == 0) return first;
  return k < clusters.size() ? clusters[k].FirstMCU : end;
}

}  // namespace vt::repair

namespace vt::repair {

namespace {

// The change must move the mean difference to the guide by at least this many levels in some
// component, and stand out from the variation of the means by kChangeSigmas standard errors.
constexpr double kMinChangeLevels = 2.0;
constexpr double kChangeSigmas = 10.0;
constexpr int32_t kMinChangeMCUs = 32;
// Or, for displaced blocks whose DC happens to be about right: the variance of the differences
// after the point must reach this share of the guide's own variance there, and this many times
// the share before it.
constexpr double kMinDisplacedShare = 0.5;
constexpr double kMinShareRatio = 4.0;

}  // namespace

int32_t GuideChangePoint(const TEvidence& evidence, int32_t first, int32_t end, bool spread) {
  if (!evidence.Guide().Present()) return -1;
  first = std::max(first, 0);
  end = std::min(end, evidence.Total());
  const int comps = evidence.Image().ScanComponentCount;
  if (end - first < 2 * kMinChangeMCUs) return -1;
  // Per MCU and component: the mean signed difference of its blocks' levels to the guide.
  const size_t n = static_cast<size_t>(end - first);
  // The per-MCU arrays below share one zeroed arena: for a large photo they are megabytes, and
  // fresh memory from the heap is cleared page by page at its first write.
  const size_t arrayLength = (n + 1) * 4;
  const TZeroedBlock arena(6 * arrayLength * sizeof(double));
  double* const r = reinterpret_cast<double*>(arena.Data());
  double* const gl = r + arrayLength;
  std::vector<uint8_t> have(n, 0);
  for (int32_t m = first; m < end; ++m) {
    double sum[4] = {}, gsum[4] = {};
    int cnt[4] = {};
    for (int b = 0; b < evidence.BlocksPerMCU(); ++b) {
      const TkelCoefBlock* blk = evidence.MapBlock(m, b);
      if (!blk) continue;
      const int sc = evidence.ComponentOf(b);
      int32_t bx, by;
      evidence.BlockXY(m, b, bx, by);
      const float g = evidence.Guide().Level(sc, bx, by);
      if (g < 0) continue;
      sum[sc] += std::clamp(evidence.Level(sc, *blk) - g, -64.0f, 64.0f);
      gsum[sc] += g;
      ++cnt[sc];
    }
    bool all = true;
    for (int sc = 0; sc < comps; ++sc) {
      all = all && cnt[sc] > 0;
      if (cnt[sc] > 0) {
        r[static_cast<size_t>(m - first) * 4 + sc] = sum[sc] / cnt[sc];
        gl[static_cast<size_t>(m - first) * 4 + sc] = gsum[sc] / cnt[sc];
      }
    }
    have[static_cast<size_t>(m - first)] = all;
  }
  // Prefix sums over the MCUs that have all components.
  double* const s1 = gl + arrayLength;
  double* const s2 = s1 + arrayLength;
  double* const t1 = s2 + arrayLength;
  double* const t2 = t1 + arrayLength;
  std::vector<int32_t> k(n + 1, 0);
  for (size_t i = 0; i < n; ++i) {
    k[i + 1] = k[i] + have[i];
    for (int sc = 0; sc < 4; ++sc) {
      const double v = have[i] ? r[i * 4 + sc] : 0.0;
      s1[(i + 1) * 4 + sc] = s1[i * 4 + sc] + v;
      s2[(i + 1) * 4 + sc] = s2[i * 4 + sc] + v * v;
      const double g = have[i] ? gl[i * 4 + sc] : 0.0;
      t1[(i + 1) * 4 + sc] = t1[i * 4 + sc] + g;
      t2[(i + 1) * 4 + sc] = t2[i * 4 + sc] + g * g;
    }
  }
  const int32_t total = k[n];
  if (total < 2 * kMinChangeMCUs) return -1;
  double bestScore = 0;
  int32_t best = -1;
  double bestMove = 0, bestShareA = 0, bestShareB = 0;
  for (size_t i = 1; i < n; ++i) {
    const int32_t a = k[i], b = total - k[i];
    if (a < kMinChangeMCUs || b < kMinChangeMCUs) continue;
    double score = 0, move = 0, shareA = 0, shareB = 0;
    for (int sc = 0; sc < comps; ++sc) {
      const double ma = s1[i * 4 + sc] / a, mb = (s1[n * 4 + sc] - s1[i * 4 + sc]) / b;
      const double va = std::max(1e-6, s2[i * 4 + sc] / a - ma * ma);
      const double vb = std::max(1e-6, (s2[n * 4 + sc] - s2[i * 4 + sc]) / b - mb * mb);
      // The difference of the means in standard errors.
      const double z = (mb - ma) / std::sqrt(va / a + vb / b);
      double sc2 = z * z;
      if (spread) {
        // The log-likelihood ratio of two normal stretches against one: a moved mean and a
        // grown spread both count.
        const double m = s1[n * 4 + sc] / total;
        const double v = std::max(1e-6, s2[n * 4 + sc] / total - m * m);
        sc2 = std::max(sc2, total * std::log(v) - a * std::log(va) - b * std::log(vb));
      }
      if (sc2 > score) {
        score = sc2;
        move = std::fabs(mb - ma);
        // How much of the guide's own variation the differences reach on either side: blocks
        // in their place follow the guide (a small share), displaced ones do not (about twice
        // it), whatever the detail of the picture there.
        const double ga = t1[i * 4 + sc] / a, gb = (t1[n * 4 + sc] - t1[i * 4 + sc]) / b;
        const double gva = std::max(1.0, t2[i * 4 + sc] / a - ga * ga);
        const double gvb = std::max(1.0, (t2[n * 4 + sc] - t2[i * 4 + sc]) / b - gb * gb);
        shareA = va / gva;
        shareB = vb / gvb;
      }
    }
    if (score > bestScore) {
      bestScore = score;
      best = first + static_cast<int32_t>(i);
      bestMove = move;
      bestShareA = shareA;
      bestShareB = shareB;
    }
  }
  if (best < 0 || bestScore < kChangeSigmas * kChangeSigmas) return -1;
  const bool displaced = spread && bestShareB >= kMinDisplacedShare && bestShareB >= kMinShareRatio * bestShareA;
  if (bestMove < kMinChangeLevels && !displaced) return -1;
  return best;
}

}  // namespace vt::repair
