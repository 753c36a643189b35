#include "repair/restart_placement.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "jpeg/jpeg_constants.h"
#include "repair/damage_start.h"
#include "repair/evidence.h"
#include "repair/scan_data.h"

namespace vt::repair {

namespace {

int NextRst(int marker) { return marker < 0 ? 0xD0 : (marker == 0xD7 ? 0xD0 : marker + 1); }

// A segment as it decodes on its own from its first bit (DC predictors 0, as after a marker).
struct TJudged {
  TSegment Seg;
  int32_t Clean = 0;      // MCUs decoded before an error (at most an interval's)
  bool Sync = false;      // a whole interval that ends where the segment ends
  bool SyncLast = false;  // the frame's last interval, ending where the segment ends
};

struct TChain {
  int32_t First = 0, Last = 0;  // segments
  int32_t Start = -1;           // interval index of its first segment; -1: not placed
  bool Anchored = false;
  int32_t Length() const { return Last - First + 1; }
};

class TPlacer {
 public:
  TPlacer(TkelBaseJpegParser& image, const TGuide& guide, TRepairReport& report)
      : image_(image), evidence_(image, guide), data_(image), report_(report) {
    ri_ = image.RestartInterval;
    total_ = image.MCUsPerRow * image.MCURows;
    count_ = (total_ + ri_ - 1) / ri_;
    lastLength_ = total_ - (count_ - 1) * ri_;
  }

  bool Run();

 private:
  int32_t IntervalLength(int32_t a) const { return a == count_ - 1 ? lastLength_ : ri_; }
  void Judge();
  void BuildChains();
  void Anchor();
  void SettleJoints();
  void SplitLuckyChain();
  void PlaceMiddle();
  bool Apply(const std::vector<int32_t>& wanted);
  void Trim();
  std::vector<int32_t> CurrentPlacement() const;
  std::vector<int32_t> Wanted() const;
  // A sample of a chain's intervals decoded with their blocks: runs of consecutive intervals
  // spread over the whole chain, the first at its start (where the borders with the rows above
  // are), so that a few intervals of another picture's data that happened to link to the chain's
  // front do not decide where it goes.
  struct TChainSample {
    std::vector<int32_t> Offsets;      // interval k of the sample is the chain's Offsets[k]-th
    std::vector<TkelTrialRun> Runs;
  };
  TChainSample DecodeChain(const TChain& chain) const;
  // The sample's fit with the chain's first interval at interval start; the neighbours in the
  // gap [gapBegin, gapEnd) (intervals) do not count.
  TFitCost ChainCost(const TChainSample& sample, int32_t start, int32_t gapBegin, int32_t gapEnd) const;
  struct TLimits {
    bool Measured = false;
    double Seam = 0, Guide = 0;  // 0: not known
  };
  TLimits IntervalLimits() const;
  // True when a chain's fit is worse than nearly every anchored interval's, on every measure
  // there is.
  bool Contradicts(const TFitCost& cost) const;
  // The index of the place whose fit stands out, kUndecided when none does, kContradicts when the
  // one that stands out still contradicts the picture.
  static constexpr int32_t kUndecided = -1, kContradicts = -2;
  static constexpr double kClearlyBetter = 0.8;
  static constexpr double kSplitGain = 1.5;  // sample levels
  static constexpr int32_t kSampleGroups = 8;     // runs of intervals a chain's fit is judged on
  static constexpr int32_t kSampleGroupMCUs = 64;  // MCUs in each
  static constexpr int32_t kSampleIntervals = 256;  // anchored intervals the limits are measured on
  int32_t ChooseCandidate(const std::vector<TFitCost>& costs) const;

  TkelBaseJpegParser& image_;
  TEvidence evidence_;
  TScanData data_;
  TRepairReport& report_;
  int32_t ri_ = 0, total_ = 0, count_ = 0, lastLength_ = 0;
  std::vector<TJudged> segs_;
  std::vector<TChain> chains_;
  mutable TLimits limits_;
  bool changed_ = false;
};

void TPlacer::Judge() {
  segs_.clear();
  for (const TSegment& s : data_.Segments()) {
    TJudged j;
    j.Seg = s;
    segs_.push_back(j);
  }
  // Where the decoder placed a segment as a whole interval that ended at the next marker, it
  // was in sync already; only the others are decoded again on trial.
  const std::vector<int32_t> current = CurrentPlacement();
  std::vector<int32_t> intervalOf(segs_.size(), -1);
  for (int32_t a = 0; a < count_; ++a)
    if (current[static_cast<size_t>(a)] >= 0) intervalOf[static_cast<size_t>(current[static_cast<size_t>(a)])] = a;
  for (size_t i = 0; i < segs_.size(); ++i) {
    TJudged& j = segs_[i];
    const TSegment& s = j.Seg;
    if (s.End <= s.Begin) continue;
    const TkelBitPos end = data_.DataEndBit(s.End);
    const int32_t a = intervalOf[i];
    if (a >= 0) {
      const int32_t len = IntervalLength(a), last = a * ri_ + len - 1;
      const TkelOffsetEntry* e = image_.Offsets->Entry(last % image_.MCUsPerRow, last / image_.MCUsPerRow);
      bool whole = e && e->Valid;
      for (int32_t m = a * ri_; m <= last && whole; ++m) whole = evidence_.MapBlock(m, evidence_.BlocksPerMCU() - 1);
      if (whole) {
        const TkelBitPos gap = end - (TkelBitPos(e->EndByte) * 8 + e->EndBit);
        if (gap >= 0 && gap < 8) {
          j.Clean = len;
          j.Sync = len == ri_;
          j.SyncLast = len == lastLength_;
          if (j.Sync || a == count_ - 1) continue;
        }
      }
    }
    TkelTrialRun run;
    run.Start = s.Begin * 8;
    run.MaxMCUs = ri_;
    image_.TrialDecode(run);
    j.Clean = run.Count;
    auto endsAt = [&](int32_t n) {
      if (n <= 0 || run.Count < n) return false;
      const TkelBitPos gap = end - run.EndOf(n - 1);
      return gap >= 0 && gap < 8;
    };
    j.Sync = endsAt(ri_);
    j.SyncLast = endsAt(lastLength_);
  }
}

void TPlacer::BuildChains() {
  chains_.clear();
  for (int32_t i = 0; i < static_cast<int32_t>(segs_.size()); ++i) {
    const bool linked = i > 0 && segs_[i - 1].Sync && segs_[i].Seg.Marker == NextRst(segs_[i - 1].Seg.Marker) &&
                        segs_[i - 1].Seg.End > segs_[i - 1].Seg.Begin;
    if (linked) {
      chains_.back().Last = i;
    } else {
      TChain c;
      c.First = c.Last = i;
      chains_.push_back(c);
    }
  }
}

void TPlacer::Anchor() {
  // The chain at the scan's start: interval 0, when the scan header that starts the data is the
  // picture's own (a parse resumed at a given offset only when it looks like a start).
  TChain& head = chains_.front();
  const TJudged& s0 = segs_[0];
  if (s0.Seg.End > s0.Seg.Begin) {
    const bool ownStart = image_.ScanDataOffset > 0;
    const bool looksLikeStart =
        s0.Sync && (segs_.size() < 2 || segs_[1].Seg.Marker == 0xD0 || count_ == 1);
    if (ownStart || looksLikeStart) {
      head.Start = 0;
      head.Anchored = true;
    }
  }
  // The chain at the end, counted back from the frame's last interval when the data runs on
  // to the end-of-image marker.
  if (!data_.EndsAtImageEnd()) return;
  TChain& tail = chains_.back();
  if (tail.Anchored) {
    SplitLuckyChain();
    return;
  }
  const TJudged& last = segs_[static_cast<size_t>(tail.Last)];
  const int expectedMarker = count_ >= 2 ? 0xD0 + ((count_ - 2) & 7) : -1;
  const bool lastFits = last.SyncLast || (last.Seg.Marker == expectedMarker && tail.Length() >= 2);
  if (!lastFits) return;
  const int32_t start = count_ - tail.Length();
  if (start < 0) return;
  // Its marker numbers must agree with the count.
  const int first = segs_[static_cast<size_t>(tail.First)].Seg.Marker;
  if (first >= 0 && ((first - 0xD0 + 1) & 7) != (start & 7)) return;
  if (first < 0 && start != 0) return;
  tail.Start = start;
  tail.Anchored = true;
}

void TPlacer::SplitLuckyChain() {
  // One chain from the scan's start to the end of the data, but shorter than the frame: where
  // data went missing, the two ends happened to decode as one whole interval, with marker numbers
  // that follow (a multiple of eight intervals lost). The guide shows where: from there on every
  // MCU fits the picture better that many intervals further on. (Restart intervals carry their
  // DC values in full, so each block's level is compared as it is.)
  TChain& only = chains_.back();
  const int32_t missing = count_ - only.Length();
  if (chains_.size() != 1 || missing <= 0 || !segs_[static_cast<size_t>(only.Last)].SyncLast ||
      !evidence_.Guide().Present())
    return;
  const int32_t shift = missing * ri_;
  const int32_t end = std::min(total_, only.Length() * ri_);
  auto cost = [&](int32_t mcu, int32_t at) {
    double sum = 0;
    int n = 0;
    for (int b = 0; b < evidence_.BlocksPerMCU(); ++b) {
      const TkelCoefBlock* blk = evidence_.MapBlock(mcu, b);
      if (!blk) continue;
      int32_t bx, by;
      evidence_.BlockXY(at, b, bx, by);
      const float g = evidence_.Guide().Level(evidence_.ComponentOf(b), bx, by);
      if (g < 0) continue;
      sum += std::min(std::fabs(evidence_.Level(evidence_.ComponentOf(b), *blk) - g), 64.0f);
      ++n;
    }
    return n > 0 ? sum / n : 0.0;
  };
  // gain[x]: how much better MCU x fits shifted; the split maximises the gain summed after it.
  std::vector<double> gain(static_cast<size_t>(end), 0.0);
  for (int32_t x = 0; x < end; ++x)
    if (x + shift < total_) gain[static_cast<size_t>(x)] = cost(x, x) - cost(x, x + shift);
  double suffix = 0, best = 0;
  int32_t split = -1;
  for (int32_t x = end - 1; x >= ri_; --x) {
    suffix += gain[static_cast<size_t>(x)];
    if (x % ri_ == 0 && suffix > best) {
      best = suffix;
      split = x;
    }
  }
  // Clearly better, not by chance: a mean gain of kSplitGain levels over at least a row.
  if (split < 0 || end - split < image_.MCUsPerRow || best / (end - split) < kSplitGain) return;
  TChain tail;
  tail.First = only.First + split / ri_;
  tail.Last = only.Last;
  tail.Start = count_ - tail.Length();
  tail.Anchored = true;
  only.Last = tail.First - 1;
  chains_.push_back(tail);
}

void TPlacer::SettleJoints() {
  // Data missing from right after a restart marker leaves the interval that follows the gap
  // behind the marker before the gap: that interval is in sync, its marker number follows the
  // chain before it, and only the marker after it (written by the camera right after its data)
  // says where it belongs, which is at the front of the chain after it. Where the two chains
  // around such an interval are anchored, the picture decides which of the two places it takes.
  for (size_t ci = 0; ci + 1 < chains_.size(); ++ci) {
    TChain& left = chains_[ci];
    TChain& right = chains_[ci + 1];
    if (!left.Anchored || !right.Anchored || left.Length() < 2) continue;
    const TJudged& joint = segs_[static_cast<size_t>(left.Last)];
    if (!joint.Sync) continue;  // a damaged interval: it is the one before the gap
    const int32_t here = left.Start + left.Length() - 1, there = right.Start - 1;
    if (there <= here) continue;
    TChain one;
    one.First = one.Last = left.Last;
    const TChainSample runs = DecodeChain(one);
    // Judged against the anchored chains as they now stand, the places between them left out.
    const TFitCost atHere = ChainCost(runs, here, here, right.Start);
    const TFitCost atThere = ChainCost(runs, there, here, right.Start);
    const bool both = atHere.Measured() && atThere.Measured();
    if (!both || atThere.Combined() >= kClearlyBetter * atHere.Combined()) continue;
    --left.Last;
    --right.First;
    --right.Start;
  }
}

TPlacer::TChainSample TPlacer::DecodeChain(const TChain& chain) const {
  TChainSample sample;
  const int32_t length = chain.Length();
  const int32_t perGroup = std::max(1, kSampleGroupMCUs / ri_);
  auto add = [&](int32_t k) {
    if (!sample.Offsets.empty() && sample.Offsets.back() >= k) return;
    TkelTrialRun run;
    run.Start = segs_[static_cast<size_t>(chain.First + k)].Seg.Begin * 8;
    run.MaxMCUs = ri_;
    run.KeepBlocks = true;
    image_.TrialDecode(run);
    sample.Offsets.push_back(k);
    sample.Runs.push_back(std::move(run));
  };
  if (length <= kSampleGroups * perGroup) {
    for (int32_t k = 0; k < length; ++k) add(k);
    return sample;
  }
  for (int32_t g = 0; g < kSampleGroups; ++g) {
    const int32_t from = static_cast<int32_t>(int64_t(g) * (length - perGroup) / (kSampleGroups - 1));
    for (int32_t k = from; k < from + perGroup; ++k) add(k);
  }
  return sample;
}

TFitCost TPlacer::ChainCost(const TChainSample& sample, int32_t start, int32_t gapBegin, int32_t gapEnd) const {
  // Each run of consecutive sampled intervals is measured where it would stand; the means are
  // pooled by the number of measurements behind them.
  TFitCost total;
  double seamSum = 0, guideSum = 0;
  const int32_t bpm = evidence_.BlocksPerMCU();
  size_t k = 0;
  while (k < sample.Runs.size()) {
    size_t end = k + 1;
    while (end < sample.Runs.size() && sample.Offsets[end] == sample.Offsets[end - 1] + 1) ++end;
    std::vector<const TkelTrialRun*> byMCU;
    std::vector<int32_t> within;
    const int32_t groupStart = start + sample.Offsets[k];
    for (size_t r = k; r < end; ++r) {
      const int32_t len = IntervalLength(start + sample.Offsets[r]);
      for (int32_t i = 0; i < len; ++i) {
        byMCU.push_back(&sample.Runs[r]);
        within.push_back(i);
      }
    }
    const TFitCost c = evidence_.Cost(
        [&](int32_t i, int b) -> const TkelCoefBlock* {
          const TkelTrialRun& r = *byMCU[static_cast<size_t>(i)];
          const int32_t w = within[static_cast<size_t>(i)];
          if (w >= r.Count) return nullptr;
          return &r.Blocks[static_cast<size_t>(w) * bpm + b];
        },
        static_cast<int32_t>(byMCU.size()), groupStart * ri_, nullptr, gapBegin * ri_, gapEnd * ri_);
    seamSum += c.Seam * c.SeamPairs;
    total.SeamPairs += c.SeamPairs;
    guideSum += c.Guide * c.GuideBlocks;
    total.GuideBlocks += c.GuideBlocks;
    k = end;
  }
  if (total.SeamPairs > 0) total.Seam = seamSum / total.SeamPairs;
  if (total.GuideBlocks > 0) total.Guide = guideSum / total.GuideBlocks;
  return total;
}

TPlacer::TLimits TPlacer::IntervalLimits() const {
  if (limits_.Measured) return limits_;
  // How well the anchored intervals fit where they stand: their borders with the intervals
  // around and their agreement with the guide, each on its own scale.
  std::vector<double> seams, guides;
  int32_t anchored = 0;
  for (const TChain& c : chains_)
    if (c.Anchored) anchored += c.Length();
  const int32_t stride = std::max(1, anchored / kSampleIntervals);
  for (const TChain& c : chains_) {
    if (!c.Anchored) continue;
    for (int32_t k = 0; k < c.Length(); k += stride) {
      if (!segs_[static_cast<size_t>(c.First + k)].Sync) continue;
      const int32_t a = c.Start + k;
      const TFitCost cost = evidence_.CostInPlace(a * ri_, IntervalLength(a));
      if (cost.SeamPairs > 0) seams.push_back(cost.Seam);
      if (cost.GuideBlocks > 0) guides.push_back(cost.Guide);
    }
  }
  auto limit = [](std::vector<double>& v) {
    if (v.size() < 8) return 0.0;
    std::sort(v.begin(), v.end());
    return std::max(v[std::min(v.size() - 1, v.size() * 95 / 100)] * 1.25, v[v.size() / 2] * 2.0);
  };
  limits_.Seam = limit(seams);
  limits_.Guide = limit(guides);
  limits_.Measured = true;
  return limits_;
}

bool TPlacer::Contradicts(const TFitCost& cost) const {
  const TLimits l = IntervalLimits();
  const bool seamKnown = cost.SeamPairs > 0 && l.Seam > 0;
  const bool guideKnown = cost.GuideBlocks > 0 && l.Guide > 0;
  if (!seamKnown && !guideKnown) return false;
  return (!seamKnown || cost.Seam > l.Seam) && (!guideKnown || cost.Guide > l.Guide);
}

void TPlacer::PlaceMiddle() {
  // The longer a chain, the more its fit says: the longest go in first, and the shorter ones
  // then find their places between them. A chain without a single interval in sync is a
  // fragment of damaged data, placed only by a link to the chain before it.
  std::vector<size_t> order;
  for (size_t ci = 0; ci < chains_.size(); ++ci) {
    const TChain& c = chains_[ci];
    if (c.Anchored) continue;
    const TJudged& first = segs_[static_cast<size_t>(c.First)];
    if (first.Seg.End <= first.Seg.Begin || first.Seg.Marker < 0) continue;  // no place can be told
    bool synced = false;
    for (int32_t k = c.First; k <= c.Last && !synced; ++k) synced = segs_[static_cast<size_t>(k)].Sync;
    if (synced) order.push_back(ci);
  }
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return chains_[a].Length() > chains_[b].Length(); });
  for (size_t ci : order) {
    TChain& chain = chains_[ci];
    const TJudged& first = segs_[static_cast<size_t>(chain.First)];
    // Between the placed chains before and after it in the data.
    int32_t lo = 0, hiEnd = count_;
    bool bounded = false;
    for (size_t p = ci; p-- > 0;)
      if (chains_[p].Start >= 0) {
        lo = chains_[p].Start + chains_[p].Length();
        break;
      }
    for (size_t n = ci + 1; n < chains_.size(); ++n)
      if (chains_[n].Start >= 0) {
        hiEnd = chains_[n].Start;
        bounded = true;
        break;
      }
    const int32_t residue = (first.Seg.Marker - 0xD0 + 1) & 7;
    std::vector<int32_t> candidates;
    for (int32_t a = lo; a + chain.Length() <= hiEnd; ++a)
      if ((a & 7) == residue) candidates.push_back(a);
    if (candidates.empty()) continue;  // no place agrees with its marker numbers: dropped
    const TChainSample runs = DecodeChain(chain);
    std::vector<TFitCost> costs;
    for (int32_t a : candidates) costs.push_back(ChainCost(runs, a, lo, hiEnd));
    const int32_t best = ChooseCandidate(costs);
    if (best == kContradicts) continue;  // contradicts every place: another picture's data
    if (best == kUndecided) {
      // Nothing tells the places apart. Where the next chain is anchored and only one place
      // fits, or the data was cut short after it, the marker number decides as the decoder does.
      if (bounded && candidates.size() > 1 && costs.front().Measured()) continue;
      chain.Start = candidates.front();
    } else {
      chain.Start = candidates[static_cast<size_t>(best)];
    }
    Apply(Wanted());
  }
}

int32_t TPlacer::ChooseCandidate(const std::vector<TFitCost>& costs) const {
  // The guide, where every place has it, ranks; the borders decide between places that the
  // guide cannot tell apart, and rank alone without a guide.
  const bool guide = std::all_of(costs.begin(), costs.end(), [](const TFitCost& c) { return c.GuideBlocks > 0; });
  auto measure = [&](const TFitCost& c) { return guide ? c.Guide : c.Seam; };
  std::vector<size_t> usable;
  for (size_t k = 0; k < costs.size(); ++k)
    if (guide || costs[k].SeamPairs > 0) usable.push_back(k);
  if (usable.empty()) return kUndecided;
  std::sort(usable.begin(), usable.end(), [&](size_t a, size_t b) { return measure(costs[a]) < measure(costs[b]); });
  size_t best = usable.front();
  if (usable.size() > 1) {
    const double second = measure(costs[usable[1]]);
    if (measure(costs[best]) > kClearlyBetter * second) {
      // Too close by the guide: among the close ones, the borders.
      if (!guide) return kUndecided;
      size_t byBorder = costs.size();
      for (size_t k : usable) {
        if (measure(costs[k]) > measure(costs[best]) / kClearlyBetter) break;
        if (costs[k].SeamPairs > 0 && (byBorder == costs.size() || costs[k].Seam < costs[byBorder].Seam)) byBorder = k;
      }
      if (byBorder == costs.size()) return kUndecided;
      best = byBorder;
    }
  }
  return Contradicts(costs[best]) ? kContradicts : static_cast<int32_t>(best);
}

std::vector<int32_t> TPlacer::CurrentPlacement() const {
  // Which segment the decoder put at each interval: the interval's first MCU starts at the
  // segment's first byte.
  std::vector<int32_t> current(static_cast<size_t>(count_), -1);
  if (!image_.Offsets) return current;
  std::map<int64_t, int32_t> byBegin;
  for (int32_t i = 0; i < static_cast<int32_t>(segs_.size()); ++i) byBegin[segs_[static_cast<size_t>(i)].Seg.Begin] = i;
  for (int32_t a = 0; a < count_; ++a) {
    const int32_t m = a * ri_;
    const TkelOffsetEntry* e = image_.Offsets->Entry(m % image_.MCUsPerRow, m / image_.MCUsPerRow);
    if (!e || !e->Valid || e->StartBit != 0 || !evidence_.MapBlock(m, 0)) continue;
    auto it = byBegin.find(e->StartByte);
    if (it != byBegin.end()) current[static_cast<size_t>(a)] = it->second;
  }
  return current;
}

std::vector<int32_t> TPlacer::Wanted() const {
  std::vector<int32_t> wanted(static_cast<size_t>(count_), -1);
  for (const TChain& c : chains_) {
    if (c.Start < 0) continue;
    for (int32_t k = 0; k < c.Length(); ++k) {
      const int32_t a = c.Start + k;
      if (a >= 0 && a < count_) wanted[static_cast<size_t>(a)] = c.First + k;
    }
  }
  return wanted;
}

bool TPlacer::Apply(const std::vector<int32_t>& wanted) {
  const std::vector<int32_t> current = CurrentPlacement();
  bool changed = false;
  for (int32_t a = 0; a < count_; ++a) {
    const int32_t want = wanted[static_cast<size_t>(a)];
    if (want == current[static_cast<size_t>(a)]) continue;
    const int32_t first = a * ri_, len = IntervalLength(a);
    image_.ClearMCURange(first, len);
    changed = true;
    changed_ = true;
    if (want < 0) continue;
    ++report_.Intervals.Moved;
    TkelTrialRun run;
    run.Start = segs_[static_cast<size_t>(want)].Seg.Begin * 8;
    run.MaxMCUs = len;
    run.PlaceAt = first;
    image_.TrialDecode(run);
  }
  return changed;
}

void TPlacer::Trim() {
  // Damaged intervals keep the MCUs decoded before the damage only.
  const TBaseline baseline = MeasureBaseline(evidence_, 0, total_);
  for (const TChain& c : chains_) {
    if (c.Start < 0) continue;
    for (int32_t k = 0; k < c.Length(); ++k) {
      const TJudged& s = segs_[static_cast<size_t>(c.First + k)];
      const int32_t a = c.Start + k;
      if (a < 0 || a >= count_ || (a == count_ - 1 ? s.SyncLast : s.Sync)) continue;
      // What decoded cleanly is searched for where the damage starts; from there to the
      // interval's end everything goes (the MCU the decoding failed in may have some blocks
      // decoded, garbage too).
      const int32_t first = a * ri_, end = first + IntervalLength(a);
      const int32_t clean = first + std::min(s.Clean, end - first);
      const TDamageStart d = FindDamageStart(evidence_, data_, baseline, first, clean);
      const int32_t from = d.MCU >= 0 ? d.MCU : clean;
      int32_t shown = 0;
      for (int32_t m = from; m < end; ++m)
        for (int b = 0; b < evidence_.BlocksPerMCU(); ++b)
          if (evidence_.MapBlock(m, b)) {
            ++shown;
            break;
          }
      if (shown > 0) image_.ClearMCURange(from, end - from);
      report_.Intervals.Trimmed += shown;
      if (report_.FirstDamageMCU < 0 || from < report_.FirstDamageMCU) {
        report_.FirstDamageMCU = from;
        report_.FirstDamageByte = d.MCU >= 0 ? d.Byte : s.Seg.Begin;
      }
    }
  }
}

bool TPlacer::Run() {
  if (data_.Empty() || ri_ <= 0 || total_ <= 0) return false;
  Judge();
  BuildChains();
  report_.Intervals.Segments = static_cast<int32_t>(segs_.size());
  Anchor();
  // The anchored chains go in first, so that the places between them are judged against them.
  Apply(Wanted());
  SettleJoints();
  Apply(Wanted());
  PlaceMiddle();
  Apply(Wanted());
  bool changed = changed_;
  for (const TChain& c : chains_)
    if (c.Start < 0) report_.Intervals.Dropped += c.Length();
  const int32_t trimmedBefore = report_.Intervals.Trimmed;
  Trim();
  changed = changed || report_.Intervals.Trimmed > trimmedBefore;
  // Data placed nowhere is damage too: it sits after the last interval placed before it.
  int32_t placedEnd = 0;
  for (const TChain& c : chains_) {
    if (c.Start >= 0) {
      placedEnd = c.Start + c.Length();
      continue;
    }
    const int32_t mcu = std::min(placedEnd * ri_, total_ - 1);
    if (report_.FirstDamageMCU < 0 || mcu < report_.FirstDamageMCU) {
      report_.FirstDamageMCU = mcu;
      report_.FirstDamageByte = segs_[static_cast<size_t>(c.First)].Seg.Begin;
    }
    break;
  }
  if (changed) image_.RecountDecodedMCUs();
  return changed;
}

}  // namespace

bool PlaceRestartIntervals(TkelBaseJpegParser& image, const TGuide& guide, TRepairReport& report) {
  if (!image.CanDecodeTrials() || image.RestartInterval <= 0 || (!image.DataErrors && image.BytesBeforeRestarts == 0))
    return false;
  report.Damaged = true;
  TPlacer placer(image, guide, report);
  return placer.Run();
}

}  // namespace vt::repair
