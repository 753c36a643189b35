#include "source/fragment_search.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "base/limits.h"
#include "jpeg/jpeg_constants.h"
#include "jpeg/trial_run.h"
#include "repair/continuity.h"
#include "repair/damage_start.h"
#include "repair/evidence.h"
#include "repair/guide.h"
#include "repair/realign.h"
#include "source/fragment_stream.h"
#include "source/picture_repair.h"
#include "thumbs/jpeg_with_thumbs.h"

namespace vt {

namespace {

using repair::TEvidence;

// A continuation must fit the rows above this much better than the data that follows the break
// on the card, so that a photo whose data is whole is never taken apart.
constexpr double kBetterThanNatural = 0.75;
// A continuation agrees with the rows above when its MCUs fit them about as well as the photo's
// own MCUs fit theirs: within this factor of their median.
constexpr double kAgreesWithRows = 2.3;
// Beyond this many times the median, no continuation fits the rows above, however it compares.
constexpr double kPlausibleFit = 6.5;
// A continuation is taken over the others tried at the same place when its misfit is below this
// share of theirs; one that fits the rows about as well as the photo's own needs only to stay
// below the second share (two places that continue a photo about as well are a doubt).
constexpr double kClearlyBetter = 0.6;
constexpr double kNotAmbiguous = 0.8;
// More bits than any MCU of a photo takes.
constexpr TkelBitPos kLongestMCUBits = 8 * 1024 * 8;
// The photo's own fit of its rows is measured up to a multiple of this many MCU rows.
constexpr int32_t kBaselineRows = 4;
// MCUs of a continuation measured against the rows above and to its left (those whose data lies
// in its first cluster, but at least the second number).
constexpr int32_t kMeasuredMCUs = 96;
constexpr int32_t kLeastMeasuredMCUs = 16;
// Candidates are screened on this many MCUs; of those that pass, the best kScreenKept (at least
// kScreenLeast, the rest only within kScreenShare times the best one's misfit) are tried whole.
constexpr int32_t kScreenMCUs = 24;
constexpr size_t kScreenKept = 6;
constexpr size_t kScreenLeast = 3;
constexpr double kScreenShare = 3.0;
// More candidates than kPreScreenKept are screened on kPreScreenMCUs first, and the best of them
// on kScreenMCUs.
constexpr int32_t kPreScreenMCUs = 8;
constexpr size_t kPreScreenKept = 48;

// The decoder's state at the first MCU whose data crosses a cluster boundary.
struct TBreakState {
  int32_t MCU = 0;
  TkelBitPos Start = 0;
  int32_t Predictors[4] = {};
};

struct TChain {
  int32_t Count = 0;      // MCUs decoded cleanly
  TkelBitPos End = 0;     // the bit after the last of them
  bool Failed = false;    // bad data, a marker out of place or a restart marker out of turn
  bool EndsRight = false; // the picture's last MCU, then its end-of-image marker
  int32_t Within = 0;     // MCUs that end before the limit bit given
  TkelBitPos After = 0;   // with EndsRight: the bit after the end-of-image marker
};

// Whether the marker code follows the data that ends at bit (after the padding bits, a stuffed
// zero of a last FF and fill bytes); next receives the bit after it.
bool MarkerAfter(TkelBaseJpegParser& image, TkelBitPos bit, int code, TkelBitPos& next) {
  const int64_t pos = (bit + 7) / 8;
  uint8_t b[16];
  const int64_t got = image.ReadDataAt(pos, b, sizeof b);
  int64_t i = 0;
  if (i < got && b[i] == 0x00) ++i;  // the stuffed zero of the data's last FF
  if (i >= got || b[i] != 0xFF) return false;
  while (i + 1 < got && b[i + 1] == 0xFF) ++i;
  if (i + 1 >= got || b[i + 1] != code) return false;
  next = (pos + i + 2) * 8;
  return true;
}

// Decodes on from the state for at most maxMCUs MCUs, across restart markers (each must be the
// next in turn); with place, the blocks go into the image's maps from the state's MCU on.
TChain Continue(TkelBaseJpegParser& image, const TBreakState& state, int32_t maxMCUs, bool place,
               TkelBitPos limit = 0) {
  TChain chain;
  const int32_t total = image.MCUsPerRow * image.MCURows;
  const int32_t ri = image.RestartInterval;
  int32_t m = state.MCU;
  TkelBitPos bit = state.Start;
  int32_t predictors[4];
  std::copy(std::begin(state.Predictors), std::end(state.Predictors), predictors);
  chain.End = bit;
  while (chain.Count < maxMCUs && m < total) {
    int32_t n = std::min(maxMCUs - chain.Count, total - m);
    if (ri > 0) n = std::min(n, ri - m % ri);
    TkelTrialRun run;
    run.Start = bit;
    run.MaxMCUs = n;
    std::copy(std::begin(predictors), std::end(predictors), run.Predictors);
    run.PlaceAt = place ? m : -1;
    image.TrialDecode(run);
    chain.Count += run.Count;
    for (int32_t i = 0; i < run.Count; ++i) chain.Within += run.Ends[static_cast<size_t>(i)] <= limit;
    m += run.Count;
    if (run.Count > 0) bit = run.Ends.back();
    chain.End = bit;
    std::copy(std::begin(run.EndPredictors), std::end(run.EndPredictors), predictors);
    if (run.Count < n) {
      chain.Failed = true;
      break;
    }
    if (m >= total) {
      chain.EndsRight = MarkerAfter(image, bit, 0xD9, chain.After);
      chain.Failed = !chain.EndsRight;
      break;
    }
    if (ri > 0 && m % ri == 0) {
      if (!MarkerAfter(image, bit, 0xD0 + (m / ri - 1) % 8, bit)) {
        chain.Failed = true;
        break;
      }
      std::fill(std::begin(predictors), std::end(predictors), 0);
    }
  }
  return chain;
}

// One try: the photo's data from the break on read from the cluster at candidate.
struct TTry {
  bool Passes = false;
  double Cost = 0;
};

class TFollower {
 public:
  TFollower(TStream& file, TvtCardClusters& clusters, uint64_t offset, const std::function<bool()>& terminated,
            const TvtFragmentList& known)
      : file_(file), clusters_(clusters), offset_(offset), terminated_(terminated), known_(known),
        view_(file, {{offset, clusters.FileSize() - offset}}) {}

  TvtFollowed Run();

 private:
  bool Stop() const { return terminated_ && terminated_(); }
  // The pieces with the last one cut at the file offset cut and, unless next is the cut itself,
  // continued at next to the end of the file.
  TvtFragmentList Joined(uint64_t cut, uint64_t next) const;
  TTry Try(TkelJpegWithThumbs& image, const TEvidence& evidence, const TBreakState& state, uint64_t cut,
           uint64_t next, int64_t boundaryPos, int32_t trialMCUs, int64_t slackBytes);
  std::vector<uint64_t> Candidates(uint64_t cut, bool wide);

  TStream& file_;
  TvtCardClusters& clusters_;
  uint64_t offset_;
  const std::function<bool()>& terminated_;
  const TvtFragmentList& known_;
  TvtFragmentStream view_;
  TvtFragmentList pieces_;
};

TvtFragmentList TFollower::Joined(uint64_t cut, uint64_t next) const {
  TvtFragmentList out = pieces_;
  TvtFragment& last = out.back();
  if (next == cut) return out;
  last.Length = cut - last.Offset;
  out.push_back({next, clusters_.FileSize() - next});
  return out;
}

std::vector<uint64_t> TFollower::Candidates(uint64_t cut, bool wide) {
  std::vector<uint64_t> out;
  const uint64_t natural = clusters_.IndexOf(cut);
  const uint64_t ownFirst = clusters_.IndexOf(pieces_.back().Offset);
  auto usable = [&](uint64_t i) {
    return i != natural && !(i >= ownFirst && i < natural) && !clusters_.Claimed(i) &&
           (wide ? clusters_.MayBeData(i) : clusters_.StartsLikeData(i));
  };
  // The first data clusters after the break however far the clusters of other files between
  // reach (a file system fills the first free clusters), then the clusters around the photo's
  // first piece (a camera writes into the free clusters near where it started, before or
  // after), then where any piece may start; with wide, every unclaimed cluster that may be data
  // (a photo's data may go without an FF for a cluster).
  const uint64_t first = clusters_.IndexOf(pieces_.front().Offset);
  const uint64_t w = kFragmentWindowClusters;
  std::set<uint64_t> taken;
  auto add = [&](uint64_t i) {
    if (usable(i) && taken.insert(i).second) out.push_back(i);
  };
  for (uint64_t i : clusters_.DataAfter(natural + 1, w)) add(i);
  for (uint64_t i = first > w ? first - w : 0; i < first + w + 1 && i < clusters_.Count(); ++i) add(i);
  for (uint64_t i : clusters_.PieceStarts(kFragmentCandidates)) add(i);
  if (wide)
    for (uint64_t i : clusters_.DataAfter(0, kFragmentCandidates, true)) add(i);
  return out;
}

TTry TFollower::Try(TkelJpegWithThumbs& image, const TEvidence& evidence, const TBreakState& state, uint64_t cut,
                    uint64_t next, int64_t boundaryPos, int32_t trialMCUs, int64_t slackBytes) {
  TTry t;
  view_.SetFragments(Joined(cut, next));
  // The blocks go into the maps as they decode (the photo's own after the break are not looked
  // at again: boundaries are tried from the latest back, and a fit looks only above and left).
  const TkelBitPos clusterEnd = (boundaryPos + clusters_.Bytes() - slackBytes) * 8;
  const TChain quick = Continue(image, state, trialMCUs, true, (boundaryPos + clusters_.Bytes()) * 8);
  // The continuation decodes cleanly through its first cluster (or to the picture's end); the
  // MCU that runs on into the next cluster may fail there (that one may be another break).
  if (quick.Failed && !quick.EndsRight && quick.End < clusterEnd) return t;
  // Measured on its first cluster only: the next one may be another break already.
  const int32_t measured = std::min({quick.Count, kMeasuredMCUs, std::max(quick.Within, kLeastMeasuredMCUs)});
  if (measured <= 0) return t;
  double sum = 0;
  int32_t n = 0;
  for (int32_t i = 0; i < measured; ++i) {
    const double c = repair::CostAboveLeft(evidence, state.MCU + i);
    if (c >= 0) sum += c, ++n;
  }
  if (n == 0) return t;
  t.Passes = true;
  t.Cost = sum / n;
  return t;
}

TvtFollowed TFollower::Run() {
  TvtFollowed out;
  const uint64_t size = clusters_.FileSize();
  if (offset_ >= size) return out;
  pieces_ = {{offset_, size - offset_}};
  if (known_.size() > 1 && known_.front().Offset == offset_ && known_.back().Offset < size) {
    pieces_ = known_;
    pieces_.back().Length = size - pieces_.back().Offset;
    out.Moved = true;
  }
  for (int round = static_cast<int>(pieces_.size()) - 1; round < kMaxFragments && !Stop(); ++round) {
    view_.SetFragments(pieces_);
    TkelJpegWithThumbs image(true, 0);
    view_.Seek(static_cast<int64_t>(offset_), soBeginning);
    const int r = image.LoadFromStream(view_, pfRecordSegments | pfNoRender | pfSearchStopsAtHeaders);
    if (!image.CanDecodeTrials()) return out;  // nothing the search can continue: left as found
    const int32_t total = image.MCUsPerRow * image.MCURows;
    const std::unique_ptr<TBitmap32> guidePicture = RepairGuide(image);
    const repair::TGuide guide(image, guidePicture.get());
    const bool clean = r == jrOK && image.DecodedPercent() == 100 && !image.DataErrors;
    // A picture the decoder read whole may still hold foreign data that decodes (the realignment's
    // damage detection tells); one it did not read whole shows its break where it stopped and
    // where the rows stop continuing each other, which is cheaper to look for.
    repair::TRepairReport report;
    if (clean) repair::FindFirstDamage(image, guide, report);
    TvtFragment& last = pieces_.back();
    const int64_t lastPos = view_.PositionOf(pieces_.size() - 1, last.Offset);
    if (clean && report.FirstDamageMCU < 0) {
      last.Length = static_cast<uint64_t>(static_cast<int64_t>(offset_) + image.Position - lastPos);
      out.Complete = true;
      break;
    }
    // MCU start bits, up to the first one not decoded (whose start is where the last one ends).
    std::vector<TkelBitPos> starts;
    TkelBitPos lastEndBit = -1;
    for (int32_t m = 0; m < total; ++m) {
      const TkelOffsetEntry e = image.GetMCUOffsets(m % image.MCUsPerRow, m / image.MCUsPerRow);
      const TkelCoefBlock* lastBlock = image.BlockOfMCU(image.ScanComponentCount - 1, 0, m);
      if (!e.Valid || !lastBlock || !lastBlock->Decoded) break;
      starts.push_back(TkelBitPos(e.StartByte) * 8 + e.StartBit);
      lastEndBit = TkelBitPos(e.EndByte) * 8 + e.EndBit;
    }
    const int32_t decoded = static_cast<int32_t>(starts.size());
    // (An end not recorded reads as 0: only an end past the last start is one.)
    if (decoded < total && lastEndBit > (starts.empty() ? 0 : starts.back()) &&
        (image.RestartInterval <= 0 || decoded % image.RestartInterval != 0))
      starts.push_back(lastEndBit);
    // Where the data goes wrong: the damage the realignment sees, or sooner, the first MCU from
    // which the row above no longer continues the picture (data of the photo's own, or of the
    // same camera's, read in the wrong place decodes without an error).
    int32_t damageMCU = report.FirstDamageMCU;
    const TEvidence evidence(image, guide);
    for (int32_t m : repair::FindBreaks(evidence, 0, decoded))
      if (damageMCU < 0 || m < damageMCU) damageMCU = m;
    int64_t damagePos = report.FirstDamageByte;  // Position units
    if (damageMCU >= 0 && damageMCU < static_cast<int32_t>(starts.size()))
      damagePos = std::min<int64_t>(damagePos < 0 ? INT64_MAX : damagePos, starts[static_cast<size_t>(damageMCU)] / 8);
    if (damagePos < 0) damagePos = image.Position;
    // The boundaries the break may be at, latest first: inside the last piece, up to two
    // clusters after where the damage shows (its start is put back to a 4 KiB boundary, and the
    // rows may stop continuing each other a little before the break).
    const int64_t lastEnd = lastPos + static_cast<int64_t>(last.Length) - static_cast<int64_t>(offset_);
    const int64_t limitPos = std::min<int64_t>(damagePos + 2 * std::max(repair::kClusterBytes, clusters_.Bytes()), lastEnd);
    // (The byte before the limit: the limit may be the end of the file.)
    const int64_t limitFile =
        limitPos > 0 ? view_.FileOffsetOf(static_cast<uint64_t>(static_cast<int64_t>(offset_) + limitPos - 1)) + 1 : -1;
    // Where the decoding stopped (a break into another photo's headers or into the end of the
    // card stops it there). A picture decoded to its last MCU stopped where that MCU ends (the
    // end-of-image marker the decoder looks for after it may lie further on, in someone else's
    // data); one that decoded no MCU, where the decoder stopped reading.
    const int64_t lastData = starts.empty()   ? image.Position
                             : decoded < total ? starts.back() / 8 + 1
                             : lastEndBit > 0  ? lastEndBit / 8 + 1
                                               : image.Position;
    const int64_t stopPos = std::min<int64_t>(lastEnd, lastData);
    const int64_t stopFile =
        stopPos > 0 ? view_.FileOffsetOf(static_cast<uint64_t>(static_cast<int64_t>(offset_) + stopPos - 1)) + 1 : -1;
    const int64_t scanStart = image.ScanDataOffset;
    // The decoder's state at a boundary: the first MCU whose data reaches it, its start and the
    // predictors; and how many MCUs run through a cluster at the rate of the data before.
    struct TAt {
      bool Valid = false;
      TBreakState State;
      int64_t BoundaryPos = 0;
      int32_t TrialMCUs = 0;
      int64_t Slack = 0;
      double PerMCU = 0;  // bytes
    };
    auto stateAt = [&](uint64_t b) {
      TAt a;
      view_.SetFragments(pieces_);  // a trial leaves the view as it joined the pieces
      a.BoundaryPos = view_.PositionOf(pieces_.size() - 1, b) - static_cast<int64_t>(offset_);
      const auto after = std::upper_bound(starts.begin(), starts.end(), TkelBitPos(a.BoundaryPos) * 8);
      if (after == starts.begin()) return a;
      // Past the last MCU known to start, the boundary must lie inside that MCU's data.
      if (after == starts.end() && TkelBitPos(a.BoundaryPos) * 8 - starts.back() > kLongestMCUBits) return a;
      TBreakState& state = a.State;
      state.MCU = static_cast<int32_t>(after - starts.begin()) - 1;
      state.Start = starts[static_cast<size_t>(state.MCU)];
      const bool intervalStart = image.RestartInterval > 0 && state.MCU % image.RestartInterval == 0;
      for (int sc = 0; sc < image.ScanComponentCount && state.MCU > 0 && !intervalStart; ++sc) {
        const TkelScanComponent& c = image.ScanComponents[sc];
        const TkelCoefBlock* blk = image.BlockOfMCU(sc, c.BlocksAcross * c.BlocksDown - 1, state.MCU - 1);
        if (!blk || !blk->Decoded) return a;
        state.Predictors[sc] = blk->Coef[0];
      }
      const double perMCU = state.MCU > 0 ? double(a.BoundaryPos - scanStart) / state.MCU : 64.0;
      a.TrialMCUs = static_cast<int32_t>(
          std::clamp<double>(2.0 * double(clusters_.Bytes()) / std::max(perMCU, 1.0) + 16, 16, kFragmentTrialMCUs));
      a.Slack = static_cast<int64_t>(2 * perMCU) + 16;
      a.PerMCU = perMCU;
      a.Valid = true;
      return a;
    };
    // How the photo's own rows fit each other before an MCU: sampled over the whole run before
    // it, so boundaries a few clusters apart share one measure (kept per band of MCU rows).
    std::map<int32_t, repair::TBaseline> baselines;
    auto baselineAt = [&](int32_t mcu) -> const repair::TBaseline& {
      const int32_t band = std::max(1, image.MCUsPerRow * kBaselineRows);
      const int32_t end = mcu / band * band;
      auto it = baselines.find(end);
      if (it == baselines.end()) it = baselines.emplace(end, repair::MeasureBaseline(evidence, 0, end > 0 ? end : mcu)).first;
      return it->second;
    };
    auto boundaryBefore = [&](uint64_t b) { return clusters_.StartOf(clusters_.IndexOf(b - 1)); };
    std::vector<uint64_t> boundaries;
    auto addBefore = [&](int64_t fileLimit, size_t count) {
      if (fileLimit <= 0) return;
      uint64_t b = clusters_.StartOf(clusters_.IndexOf(static_cast<uint64_t>(fileLimit)));
      if (static_cast<uint64_t>(fileLimit) >= clusters_.FileSize()) b = clusters_.FileSize();
      for (size_t n = 0; b > last.Offset && n < count; ++n) {
        if (clusters_.IsBoundary(b) || b == clusters_.FileSize()) boundaries.push_back(b);
        if (b < static_cast<uint64_t>(clusters_.Bytes())) break;
        b = boundaryBefore(b);
      }
    };
    addBefore(limitFile, kFragmentBreakBoundaries);
    // The decoder may run on through foreign data for a while before it stops, and the MCU it
    // stopped in may have started before the break: the boundaries before where it stopped, and
    // the one after.
    const int64_t stopReach = std::min<int64_t>(stopFile + clusters_.Bytes(), static_cast<int64_t>(last.Offset + last.Length));
    addBefore(stopReach, kFragmentBreakBoundaries + 2);
    // Further back, the last cluster through which the card's data still runs on as the photo's
    // own (it fits the rows above as they fit each other) tells the break: the boundary after it.
    {
      const repair::TBaseline& reference = baselineAt(decoded);
      uint64_t b = stopReach > 0 ? clusters_.StartOf(clusters_.IndexOf(static_cast<uint64_t>(stopReach - 1))) : 0;
      for (int n = 0; b > last.Offset && n < kFragmentWalkBoundaries && reference.Valid && !Stop(); ++n) {
        const uint64_t before = boundaryBefore(b);
        const TAt a = stateAt(before);
        if (a.Valid && before > last.Offset) {
          const TTry t = Try(image, evidence, a.State, before, before, a.BoundaryPos, a.TrialMCUs, a.Slack);
          if (t.Passes && t.Cost <= kAgreesWithRows * reference.CostMedian) {
            boundaries.push_back(b);
            break;
          }
        }
        b = before;
      }
    }
    std::sort(boundaries.rbegin(), boundaries.rend());
    boundaries.erase(std::unique(boundaries.begin(), boundaries.end()), boundaries.end());
    // One boundary judged: the decoder's state there, the card's own data after it and the
    // candidates (with wide, every unclaimed cluster that may be data as well).
    struct TJudged {
      bool Valid = false;
      bool Take = false;          // the best candidate continues the photo
      bool Strong = false;        // and fits the rows as the photo's own do, or counts out to the end
      double Fit = 0;             // its misfit against the photo's own rows' (or the next best's)
      size_t Passed = 0;          // candidates that decode cleanly from the state
      bool NaturalFits = false;   // the card's data runs on through the boundary as the photo's own
      uint64_t At = 0;            // the best candidate
      TBreakState State;
    };
    auto judge = [&](uint64_t b, bool wide) {
      TJudged j;
      const TAt a = stateAt(b);
      if (!a.Valid) return j;
      j.Valid = true;
      j.State = a.State;
      const TTry natural = Try(image, evidence, a.State, b, b, a.BoundaryPos, a.TrialMCUs, a.Slack);
      TTry best, second;
      // The rest of a photo that is near its end is decoded on from the finalists: data in the
      // wrong place does not count out to the picture's last MCU with the end-of-image marker.
      const bool countOut = double(total - a.State.MCU) * a.PerMCU <= double(kFragmentCountOutBytes);
      auto countsOut = [&](uint64_t at) {
        view_.SetFragments(Joined(b, at));
        return Continue(image, a.State, total - a.State.MCU, false).EndsRight;
      };
      std::vector<uint64_t> finalists;
      // Every candidate is screened on its first MCUs (most are other photos' data, which the
      // same camera's tables decode as cleanly as the photo's own); the whole trial is for the few
      // that fit about as well as the best of them.
      const int32_t screenMCUs = std::min(a.TrialMCUs, kScreenMCUs);
      std::vector<std::pair<double, uint64_t>> screened;
      auto screen = [&](const std::vector<uint64_t>& starts, int32_t mcus) {
        screened.clear();
        for (uint64_t at : starts) {
          if (Stop()) break;
          const TTry t = Try(image, evidence, a.State, b, at, a.BoundaryPos, mcus, a.Slack);
          if (t.Passes) screened.emplace_back(t.Cost, at);
        }
        std::sort(screened.begin(), screened.end());
      };
      std::vector<uint64_t> starts;
      for (uint64_t c : Candidates(b, wide)) starts.push_back(clusters_.StartOf(c));
      // Thousands of candidates (the rests of photos not yet followed, the remains of deleted
      // ones) are first screened on fewer MCUs.
      if (starts.size() > kPreScreenKept) {
        screen(starts, std::min(screenMCUs, kPreScreenMCUs));
        starts.clear();
        for (size_t i = 0; i < screened.size() && i < kPreScreenKept; ++i) starts.push_back(screened[i].second);
      }
      screen(starts, screenMCUs);
      j.Passed = screened.size();
      for (size_t i = 0; i < screened.size() && i < kScreenKept && !Stop(); ++i) {
        if (i >= kScreenLeast && screened[i].first > kScreenShare * screened.front().first) break;
        const uint64_t at = screened[i].second;
        TTry t;
        if (screenMCUs < a.TrialMCUs) {
          t = Try(image, evidence, a.State, b, at, a.BoundaryPos, a.TrialMCUs, a.Slack);
        } else {
          t.Passes = true;
          t.Cost = screened[i].first;
        }
        if (!t.Passes) continue;
        finalists.push_back(at);
        if (!best.Passes || t.Cost < best.Cost) second = best, best = t, j.At = at;
        else if (!second.Passes || t.Cost < second.Cost) second = t;
      }
      const repair::TBaseline& baseline = baselineAt(a.State.MCU);
      // How well the photo's own rows fit each other varies over the picture (sky, foliage), so a
      // continuation is judged against the others tried at the same place as well: it fits when
      // it is about as good as the photo's rows and no other comes close, or when it is clearly
      // better than every other (or the only one that decodes) and not beyond what the photo's
      // rows ever do.
      const double scale = baseline.Valid ? baseline.CostMedian : 0;
      auto share = [](const TTry& t, const TTry& other) {
        return other.Passes && other.Cost > 0 ? t.Cost / other.Cost : 0;
      };
      auto agrees = [&](const TTry& t, const TTry& other) {
        return t.Passes && scale > 0 && t.Cost <= kAgreesWithRows * scale && share(t, other) < kNotAmbiguous;
      };
      auto fits = [&](const TTry& t, const TTry& other) {
        if (!t.Passes) return false;
        if (scale <= 0) return share(t, other) < kClearlyBetter;
        return agrees(t, other) || (t.Cost <= kPlausibleFit * scale && share(t, other) < kClearlyBetter);
      };
      j.Take = fits(best, second) && (!natural.Passes || best.Cost < natural.Cost * kBetterThanNatural);
      j.Strong = j.Take && agrees(best, second);
      j.Fit = scale > 0 ? best.Cost / scale : share(best, second);
      j.NaturalFits = fits(natural, best);
      // Finalists that fit the rows about as well as each other (the photo's own later clusters
      // among them), where the card's data does not run on as the photo's own: the best fit is
      // the continuation when it alone counts out to the end and the card's own data does not.
      // (Another photo of the same camera broken at the same MCU may count out from here as
      // well, but does not fit best; and from a boundary a cluster after the break, the photo's
      // next cluster may count out when the foreign cluster holds as many MCUs as its own.)
      if (!j.Take && !j.NaturalFits && countOut && best.Passes && (scale <= 0 || best.Cost <= kPlausibleFit * scale) &&
          countsOut(j.At) && !countsOut(b)) {
        j.Take = j.Strong = std::none_of(finalists.begin(), finalists.end(),
                                         [&](uint64_t at) { return at != j.At && countsOut(at); });
      }
      return j;
    };
    bool accepted = false;
    auto accept = [&](uint64_t b, const TJudged& j) {
      clusters_.Claim(last.Offset, b);
      pieces_ = Joined(b, j.At);
      out.Moved = true;
      accepted = true;
      // The rest decoded in place from the break: a run that goes cleanly from the join to the
      // picture's last MCU, through every restart marker in turn, and meets the end-of-image
      // marker right there is whole (data in the wrong place cannot count out to the exact end).
      // Otherwise the next round reads the photo again through its pieces and looks for the next
      // break.
      view_.SetFragments(pieces_);
      const TChain rest = Continue(image, j.State, total - j.State.MCU, true);
      if (rest.EndsRight) {
        TvtFragment& tail = pieces_.back();
        const int64_t tailPos = view_.PositionOf(pieces_.size() - 1, tail.Offset);
        tail.Length = static_cast<uint64_t>(static_cast<int64_t>(offset_) + rest.After / 8 - tailPos);
        out.Complete = true;
      }
    };
    uint64_t cutAt = 0;
    uint64_t naturalEnd = 0;  // the lowest boundary tried where the card's data does not run on
    bool runsOn = false;      // and below it, a boundary where it does
    // A continuation that fits only clearly better than the others tried at its boundary (not as
    // the photo's own rows fit) is held while the boundaries before are tried: the one that fits
    // the rows best of those is taken if none fits as the photo's own.
    TJudged held;
    uint64_t heldAt = 0;
    for (uint64_t b : boundaries) {
      if (Stop()) break;
      if (cutAt == 0 && b <= static_cast<uint64_t>(std::max<int64_t>(view_.FileOffsetOf(offset_ + damagePos), 0)))
        cutAt = b;
      TJudged j = judge(b, false);
      if (!j.Valid) continue;
      // Where the card's data does not run on as the photo's own and no cluster near the break
      // continues it, the continuation may lie anywhere behind the remains of deleted files
      // (whose data before it makes it look like their middle): every unclaimed cluster that
      // may be data is tried there.
      // (Where no candidate at all decodes from the state, the state itself is foreign data.)
      if (!j.Take && !j.NaturalFits && j.Passed > 0 && !Stop()) j = judge(b, true);
      if (j.Strong) {
        accept(b, j);
        break;
      }
      if (j.Take) {
        if (!held.Take || j.Fit < held.Fit) held = j, heldAt = b;
        continue;
      }
      // The data that follows on the card runs on through this boundary as the photo's own:
      // unless a break further back shows otherwise, the piece ends at the boundary tried
      // before (where it did not run on).
      if (j.NaturalFits) {
        if (naturalEnd != 0 && !runsOn) cutAt = naturalEnd;
        runsOn = true;
      } else if (!runsOn) {
        naturalEnd = b;
      }
    }
    if (!accepted && held.Take && !Stop()) accept(heldAt, held);
    if (cutAt == 0 && !boundaries.empty()) cutAt = boundaries.front();
    if (out.Complete) break;
    if (accepted) continue;
    // No cluster continues the photo. A decode that stopped leaves it partial, its pieces ending
    // at the break; one the decoder read whole (only its content looked damaged) is left as found.
    if (clean) {
      last.Length = static_cast<uint64_t>(static_cast<int64_t>(offset_) + image.Position - lastPos);
      out.Complete = true;
    } else {
      if (cutAt > last.Offset) last.Length = cutAt - last.Offset;
      out.MissingPiece = true;
    }
    break;
  }
  const TvtFragment& last = pieces_.back();
  clusters_.Claim(last.Offset, last.Offset + last.Length);
  out.Fragments = pieces_;
  return out;
}

}  // namespace

TvtFollowed FollowPhoto(TStream& file, TvtCardClusters& clusters, uint64_t offset,
                        const std::function<bool()>& terminated, const TvtFragmentList& known) {
  try {
    TFollower follower(file, clusters, offset, terminated, known);
    return follower.Run();
  } catch (...) {
    return {};
  }
}

}  // namespace vt
