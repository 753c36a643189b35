#include "repair/realign.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "jpeg/jpeg_constants.h"
#include "repair/cluster_verdicts.h"
#include "repair/continuity.h"
#include "repair/damage_start.h"
#include "repair/dc_correction.h"
#include "repair/evidence.h"
#include "repair/scan_data.h"

namespace vt::repair {

namespace {

constexpr int32_t kQuickMCUs = 16;        // a start must decode this many MCUs cleanly
constexpr int32_t kSearchBits = 8192;     // bits searched after each candidate place
constexpr int32_t kMaxCandidates = 1024;  // candidate places after one damaged place
constexpr int32_t kMaxQuickTests = 200000; // starts tried after one damaged place
constexpr int64_t kSectorBytes = 512;     // the finer steps, after the clusters
constexpr int32_t kFitRun = 4;            // MCUs in a row that fit where a resumed piece starts
constexpr int kMaxPlaces = 16;            // damaged places in one stretch
constexpr int32_t kMatchMCUs = 4096;      // MCUs of a piece that its place is matched on
constexpr int32_t kMatchNear = 3;         // places this close to the best are told apart by borders
constexpr double kMatchMargin = 0.85;     // the best place's spread against the best far one
constexpr double kForeignSpread = 4.0;    // a piece's best spread against right blocks' beyond which it is foreign
constexpr int32_t kBorderAgreement = 3;   // DC steps the borders may move the guide's constants

// One stretch of the scan: MCUs [First, End) whose data starts at DataBegin and ends at
// DataEnd, where the data of MCU End (or the end of the image) follows.
struct TSpan {
  int32_t First = 0, End = 0;
  int64_t DataBegin = 0, DataEnd = 0;
  int64_t ResumeFrom = 0;  // intact data found again can start no earlier (after the last marker)
  bool Anchored = false;   // the data is known to end exactly with MCU End - 1
};

// A stretch of intact data found after a damaged place: positions only.
struct TFound {
  TkelTrialRun Run;
  bool ReachesEnd = false;  // ends exactly at the stretch's data end
  int64_t Candidate = 0;    // the candidate place the search started from
};

// MCUs [From, To) of a found run, to be placed together.
struct TPiece {
  size_t Run = 0;
  int32_t From = 0, To = 0;
  bool Anchored = false;  // its last MCU is the stretch's last
  int32_t Length() const { return To - From; }
};

class TRealigner {
 public:
  TRealigner(TkelBaseJpegParser& image, const TGuide& guide, TRepairReport& report)
      : image_(image), evidence_(image, guide), data_(image), report_(report) {}

  bool Run(bool clean);
  void Locate();

 private:
  bool RepairSpan(const TSpan& span);
  TDamageStart HeadDamage(int32_t first, int32_t end);
  bool FindResume(int64_t from, const TSpan& span, int32_t maxMCUs, TFound& found);
  bool QuickTest(TkelBitPos start);
  bool EndsAt(const TkelTrialRun& run, int64_t dataEnd) const;
  int32_t Match(const TPiece& piece, int32_t lo, int32_t hi);
  // How far count blocks of a run shown from MCU at differ from the guide, around each
  // component's median difference (which goes to shift[sc] in DC steps when given); -1 without
  // guide values there.
  double GuideSpread(const TRunBlocks& blocks, int32_t count, int32_t at, int32_t shift[4]) const;
  int32_t Place(const TPiece& piece, int32_t at);
  // Adds the DC constants of MCUs [first, end) to them, and to applied (per scan component).
  void FixColours(int32_t first, int32_t end, int32_t applied[4]);
  int32_t FirstFit(int32_t first, int32_t end) const;
  bool Fits(int32_t mcu) const;
  bool RepairDrift();
  std::vector<TSpan> Spans();

  TkelBaseJpegParser& image_;
  TEvidence evidence_;
  TScanData data_;
  TRepairReport& report_;
  TBaseline baseline_;
  std::vector<TFound> runs_;
  TGuideCalibration calibration_;  // the guide against the blocks decoded right
  double referenceSpread_ = -1;    // GuideSpread of the blocks decoded right where they stand
};

bool TRealigner::EndsAt(const TkelTrialRun& run, int64_t dataEnd) const {
  if (run.Count <= 0) return false;
  const TkelBitPos gap = data_.DataEndBit(dataEnd) - run.EndOf(run.Count - 1);
  return gap >= 0 && gap < 8;
}

bool TRealigner::QuickTest(TkelBitPos start) {
  TkelTrialRun run;
  run.Start = start;
  run.MaxMCUs = kQuickMCUs;
  run.KeepBlocks = true;
  image_.TrialDecode(run);
  if (run.Count < kQuickMCUs) return false;
  for (const TkelCoefBlock& b : run.Blocks)
    if (TEvidence::Strangeness(b) > baseline_.StrangeLimit) return false;
  return true;
}

bool TRealigner::FindResume(int64_t from, const TSpan& span, int32_t maxMCUs, TFound& found) {
  // The places to try: the damaged place itself (a deletion leaves intact data right there, a
  // bit error a few bits on), then every cluster boundary after it, then every sector boundary.
  std::vector<int64_t> candidates{from};
  const int64_t origin = data_.FileOrigin();
  for (int64_t step : {kClusterBytes, kSectorBytes}) {
    int64_t b = ((origin + from) / step + 1) * step - origin;
    for (; b < span.DataEnd && static_cast<int32_t>(candidates.size()) < kMaxCandidates; b += step)
      if (step == kClusterBytes || (origin + b) % kClusterBytes != 0) candidates.push_back(b);
  }
  int32_t tests = 0;
  for (int64_t p : candidates) {
    if (tests >= kMaxQuickTests) break;
    if (p < span.ResumeFrom || p >= span.DataEnd) continue;
    if (data_.HasZeroRun(p, std::min(p + 64, span.DataEnd), 64)) continue;
    const TkelBitPos limit = std::min<TkelBitPos>(p * 8 + kSearchBits, span.DataEnd * 8);
    for (TkelBitPos x = p * 8; x < limit && tests < kMaxQuickTests; ++x) {
      ++tests;
      if (!QuickTest(x)) continue;
      found.Run = TkelTrialRun{};
      found.Run.Start = x;
      found.Run.MaxMCUs = maxMCUs;
      image_.TrialDecode(found.Run);
      found.ReachesEnd = span.Anchored && EndsAt(found.Run, span.DataEnd);
      found.Candidate = p;
      return true;
    }
  }
  return false;
}

bool TRealigner::Fits(int32_t mcu) const {
  for (int b = 0; b < evidence_.BlocksPerMCU(); ++b) {
    const TkelCoefBlock* blk = evidence_.MapBlock(mcu, b);
    if (!blk) return false;
    if (TEvidence::Strangeness(*blk) > baseline_.StrangeLimit) return false;
  }
  if (!baseline_.Valid) return true;
  const TFitCost c = evidence_.Cost([&](int32_t, int b) { return evidence_.MapBlock(mcu, b); }, 1, mcu);
  return !c.Measured() || c.Combined() <= baseline_.CostLimit;
}

int32_t TRealigner::FirstFit(int32_t first, int32_t end) const {
  int32_t run = 0;
  for (int32_t m = first; m < end; ++m) {
    run = Fits(m) ? run + 1 : 0;
    if (run >= kFitRun || m + 1 == end) return run > 0 ? m - run + 1 : end;
  }
  return end;
}

double TRealigner::GuideSpread(const TRunBlocks& blocks, int32_t count, int32_t at, int32_t shift[4]) const {
  // The blocks' levels against the guide, each component around its own median difference (the
  // constant a run's DC values are off by does not count).
  const int32_t stride = std::max<int32_t>(1, count / 512);
  double sum = 0;
  int32_t n = 0;
  std::vector<double> residual;
  for (int sc = 0; sc < image_.ScanComponentCount; ++sc) {
    residual.clear();
    for (int32_t i = 0; i < count; i += stride)
      for (int b = 0; b < evidence_.BlocksPerMCU(); ++b) {
        if (evidence_.ComponentOf(b) != sc) continue;
        const TkelCoefBlock* blk = blocks(i, b);
        if (!blk) continue;
        int32_t bx, by;
        evidence_.BlockXY(at + i, b, bx, by);
        const float g = evidence_.Guide().Level(sc, bx, by);
        if (g >= 0) residual.push_back(g - evidence_.Level(sc, *blk));
      }
    if (residual.size() < 8) continue;
    std::vector<double> sorted = residual;
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), sorted.end());
    const double median = sorted[sorted.size() / 2];
    for (double r : residual) sum += std::min(std::fabs(r - median), 64.0);
    n += static_cast<int32_t>(residual.size());
    if (shift) {
      const TkelCoefBlock zero{};
      const double step = evidence_.Level(sc, zero, 1) - evidence_.Level(sc, zero, 0);
      shift[sc] = step > 0 ? static_cast<int32_t>(std::lround(median / step)) : 0;
    }
  }
  return n > 0 ? sum / n : -1.0;
}

int32_t TRealigner::Match(const TPiece& piece, int32_t lo, int32_t hi) {
  // The piece's DC pattern against the guide at every place the gap allows (its constant is
  // unknown, so the spread around the median difference is what fits); the places next to the
  // best one are then told apart by the borders with the blocks around. A piece that fits
  // nowhere nearly as well as right blocks fit where they stand is another picture's data.
  if (hi < lo || !evidence_.Guide().Present() || referenceSpread_ <= 0) return -1;
  const TFound& f = runs_[piece.Run];
  TkelTrialRun run;
  run.Start = f.Run.StartOf(piece.From);
  run.MaxMCUs = std::min(piece.Length(), kMatchMCUs);
  run.KeepBlocks = true;
  image_.TrialDecode(run);
  if (run.Count <= 0) return -1;
  const int32_t bpm = run.BlocksPerMCU;
  const TRunBlocks blocksOf = [&](int32_t i, int b) -> const TkelCoefBlock* {
    return i < run.Count ? &run.Blocks[static_cast<size_t>(i) * bpm + b] : nullptr;
  };
  std::vector<double> spread(static_cast<size_t>(hi - lo + 1), 1e300);
  std::vector<std::array<int32_t, 4>> shifts(spread.size());
  for (int32_t at = lo; at <= hi; ++at) {
    const double s = GuideSpread(blocksOf, run.Count, at, shifts[static_cast<size_t>(at - lo)].data());
    if (s >= 0) spread[static_cast<size_t>(at - lo)] = s;
  }
  size_t best = 0;
  for (size_t k = 1; k < spread.size(); ++k)
    if (spread[k] < spread[best]) best = k;
  if (spread[best] >= 1e300 || spread[best] > kForeignSpread * referenceSpread_) return -1;
  double far = 1e300;
  for (size_t k = 0; k < spread.size(); ++k)
    if (std::abs(static_cast<int64_t>(k) - static_cast<int64_t>(best)) > kMatchNear) far = std::min(far, spread[k]);
  if (far < 1e300 && spread[best] > kMatchMargin * far) return -1;  // no place stands out
  // Among the places next to the best, the one whose borders continue the blocks around.
  int32_t bestAt = lo + static_cast<int32_t>(best);
  double bestBorder = 1e300;
  for (int32_t at = std::max(lo, bestAt - kMatchNear); at <= std::min(hi, lo + static_cast<int32_t>(best) + kMatchNear);
       ++at) {
    const TFitCost c = evidence_.Cost(blocksOf, run.Count, at, shifts[static_cast<size_t>(at - lo)].data());
    if (c.SeamPairs > 0 && c.Seam < bestBorder) {
      bestBorder = c.Seam;
      bestAt = at;
    }
  }
  return bestAt;
}

int32_t TRealigner::Place(const TPiece& piece, int32_t at) {
  const TFound& f = runs_[piece.Run];
  TkelTrialRun run;
  run.Start = f.Run.StartOf(piece.From);
  run.MaxMCUs = piece.Length();
  run.PlaceAt = at;
  image_.TrialDecode(run);
  return run.Count;
}

void TRealigner::FixColours(int32_t first, int32_t end, int32_t applied[4]) {
  // The guide gives the constants roughly and cannot be fooled by a few wrong blocks at the
  // piece's edge; the borders with the blocks around then give them exactly, where they agree.
  if (end <= first) return;
  const int32_t count = end - first;
  if (evidence_.Guide().Present()) {
    const TDcShift rough = EstimateDcShift(evidence_, first, count, first, end, false, &calibration_);
    ApplyDcShift(image_, rough, first, count);
    for (int sc = 0; sc < 4; ++sc) applied[sc] += rough.Shift[sc];
  }
  TDcShift exact = EstimateDcShift(evidence_, first, count, first, end, true, &calibration_);
  if (evidence_.Guide().Present())
    for (int sc = 0; sc < 4; ++sc)
      if (std::abs(exact.Shift[sc]) > kBorderAgreement) exact.Shift[sc] = 0;
  ApplyDcShift(image_, exact, first, count);
  for (int sc = 0; sc < 4; ++sc) applied[sc] += exact.Shift[sc];
}

TDamageStart TRealigner::HeadDamage(int32_t first, int32_t end) {
  // Bytes that cannot be the picture's (zeros, markers) are certain; where the blocks stop
  // agreeing with the guide is the next best; without either, the damaged clusters that lead up
  // to where the decoding failed.
  const std::vector<TClusterVerdict> clusters = JudgeClusters(evidence_, data_, baseline_, first, end);
  TDamageStart byBytes;
  for (const TClusterVerdict& v : clusters)
    if (v.Damaged && (v.Why == "a run of zero bytes" || v.Why == "a marker inside the data")) {
      byBytes.MCU = v.FirstMCU;
      byBytes.Byte = v.Byte;
      byBytes.Evidence = v.Why;
      break;
    }
  // The first of the places where the blocks stop agreeing: a deleted cluster early on can be
  // followed by a later damaged place that moves the difference further.
  int32_t change = GuideChangePoint(evidence_, first, byBytes.MCU >= 0 ? byBytes.MCU : end, true);
  for (int k = 0; k < kMaxPlaces && change >= 0; ++k) {
    const int32_t earlier = GuideChangePoint(evidence_, first, change, true);
    if (earlier < 0) break;
    change = earlier;
  }
  if (change >= 0) {
    // From the start of the cluster its data lies in: damage comes in clusters.
    for (const TClusterVerdict& v : clusters)
      if (change >= v.FirstMCU && change < v.EndMCU) {
        TDamageStart d;
        d.MCU = v.FirstMCU;
        d.Byte = v.Byte;
        d.Evidence = "the blocks stop agreeing with the thumbnail";
        return d;
      }
  }
  if (byBytes.MCU >= 0) return byBytes;
  return DamageBefore(evidence_, data_, baseline_, first, end);
}

bool TRealigner::RepairSpan(const TSpan& span) {
  int32_t headEnd = span.First;
  while (headEnd < span.End && evidence_.MapBlock(headEnd, evidence_.BlocksPerMCU() - 1)) ++headEnd;
  // Where the damage starts: in an interval, the first MCU that damaged bytes made; in a scan
  // without restart markers, the first of the damaged clusters that lead up to where the decoding
  // failed (the decoder notices late).
  if (image_.RestartInterval <= 0) {
    // What this photo's MCUs look like where they are right: the start of the scan, which was
    // decoded with the right predictors before any damage.
    const int32_t sample = std::max<int32_t>(4 * image_.MCUsPerRow, (headEnd - span.First) / 4);
    const TBaseline head = MeasureBaseline(evidence_, span.First, std::min(headEnd, span.First + sample));
    if (head.Valid) baseline_ = head;
  }
  const TDamageStart d = image_.RestartInterval > 0 ? FindDamageStart(evidence_, data_, baseline_, span.First, headEnd)
                                                   : HeadDamage(span.First, headEnd);
  if (headEnd >= span.End && d.MCU < 0) return false;
  TRepairPlace place;
  const int32_t damageMCU = d.MCU >= 0 ? d.MCU : headEnd;
  int64_t damageByte = span.DataBegin;
  auto endOf = [&](int32_t mcu) -> int64_t {
    const TkelOffsetEntry* e =
        image_.Offsets ? image_.Offsets->Entry(mcu % image_.MCUsPerRow, mcu / image_.MCUsPerRow) : nullptr;
    return e && e->Valid ? e->EndByte : -1;
  };
  if (d.Byte >= 0) {
    damageByte = d.Byte;
  } else if (damageMCU > span.First && endOf(damageMCU - 1) >= 0) {
    damageByte = endOf(damageMCU - 1);
  }
  image_.ClearMCURange(damageMCU, headEnd - damageMCU);
  // What stays before the damage was decoded with its true DC values: it shows how far the guide
  // is off.
  if (image_.RestartInterval <= 0) {
    calibration_ = CalibrateGuide(evidence_, span.First, damageMCU);
    referenceSpread_ = GuideSpread([&](int32_t i, int b) { return evidence_.MapBlock(span.First + i, b); },
                                   damageMCU - span.First, span.First, nullptr);
  }
  place.FirstMCU = damageMCU;
  place.ClearedMCUs = headEnd - damageMCU;
  place.DamageBegin = damageByte;
  place.Evidence = d.MCU >= 0 ? d.Evidence : "the decoding failed";

  // Runs of intact data after it, in data order, until one runs on to the stretch's end.
  runs_.clear();
  int64_t from = std::max(damageByte, span.ResumeFrom);
  const int places = image_.RestartInterval > 0 ? 1 : kMaxPlaces;
  for (int k = 0; k < places; ++k) {
    // Inserted data may hold more MCUs than the room left: the surplus at the run's start is
    // cut off once it is placed.
    const int32_t room = span.End - damageMCU;
    TFound f;
    if (!FindResume(from, span, room + std::max(room, 65536), f)) break;
    runs_.push_back(f);
    if (f.ReachesEnd || f.Run.Count <= 0) break;
    // It stopped at a further damaged place: look again from the cluster boundary before that.
    const int64_t stop = f.Run.EndOf(f.Run.Count - 1) >> 3;
    const int64_t origin = data_.FileOrigin();
    int64_t next = ((origin + stop) / kClusterBytes) * kClusterBytes - origin;
    if (next <= (f.Run.Start >> 3)) next = stop;
    from = next;
  }
  if (runs_.empty()) {
    place.Evidence += "; no intact data found after it";
    report_.Places.push_back(place);
    return place.ClearedMCUs > 0;
  }
  place.DamageEnd = runs_.front().Candidate;

  // Pieces, from the end: the last run, when it reaches the end, counted back from there; a
  // run cut short by a further damaged place, and the part of a run before a break, where the
  // guide and the borders put them.
  std::vector<TPiece> work;
  for (size_t j = 0; j < runs_.size(); ++j) {
    TPiece p;
    p.Run = j;
    p.To = runs_[j].Run.Count;
    p.Anchored = j + 1 == runs_.size() && runs_[j].ReachesEnd;
    work.push_back(p);
  }
  int32_t nextStart = span.End;
  bool counted = false, matched = false;
  while (!work.empty()) {
    TPiece piece = work.back();
    work.pop_back();
    int32_t at;
    if (piece.Anchored) {
      at = nextStart - piece.Length();
      counted = true;
    } else {
      at = Match(piece, damageMCU, nextStart - piece.Length());
      if (at < 0) continue;  // no place stands out: a hole
      matched = true;
    }
    if (at < damageMCU) {  // surplus at its start (inserted data, garbage before it fell into step)
      piece.From += damageMCU - at;
      at = damageMCU;
    }
    if (piece.Length() <= 0) continue;
    const int32_t placed = Place(piece, at);
    int32_t first = at, end = at + placed;
    int32_t dc[4] = {};
    if (piece.Anchored) {
      // Counted back from the end, the run is right from a damaged place it went through on: the
      // colours from its last part first, then the clusters judged back from the end.
      const int32_t tail = std::max(first, end - std::max<int32_t>(512, (end - first) / 4));
      const TDcShift shift = EstimateDcShift(evidence_, tail, end - tail, first, end, false, &calibration_);
      ApplyDcShift(image_, shift, first, end - first);
      for (int sc = 0; sc < 4; ++sc) dc[sc] += shift.Shift[sc];
      // Its start may lie in damaged data the search took for a start: whole clusters that do
      // not look right go; then a damaged place it ran through (the thumbnail's colours change).
      const int32_t rightCluster = FirstRightCluster(evidence_, data_, baseline_, first, end);
      // What goes may still be the picture's, displaced by a damaged place further back that
      // the run went through (a deleted cluster): it is matched as a piece of its own.
      if (rightCluster > first) {
        TPiece before = piece;
        before.To = piece.From + (rightCluster - first);
        before.Anchored = false;
        image_.ClearMCURange(first, rightCluster - first);
        piece.From += rightCluster - first;
        first = rightCluster;
        work.push_back(before);
      }
      const int32_t change = GuideChangePoint(evidence_, first, end);
      const int32_t right = change >= 0 ? change : first;
      if (right > first && right < end) {
        TPiece before = piece;
        before.To = piece.From + (right - first);
        before.Anchored = false;
        image_.ClearMCURange(first, right - first);
        first = right;
        work.push_back(before);
      }
    }
    FixColours(first, end, dc);
    // MCUs at its start that do not fit (decoded before the run fell into step with the data, or
    // from damaged bytes that happened to decode), then colours again from what stays.
    const int32_t fit = FirstFit(first, end);
    if (fit > first) {
      image_.ClearMCURange(first, fit - first);
      first = fit;
      FixColours(first, end, dc);
    }
    // A piece that ends at a further damaged place keeps what decoded before that.
    if (!piece.Anchored && first < end) {
      // With the guide, where the piece stops agreeing with it (a few blocks that do not continue
      // the rows above are no damage in a piece that fits the picture as a whole); else the
      // first blocks that contradict the picture around them.
      TDamageStart tail;
      if (image_.RestartInterval <= 0 && evidence_.Guide().Present())
        tail.MCU = GuideChangePoint(evidence_, first, end, true);
      else
        tail = FindDamageStart(evidence_, data_, baseline_, first, end);
      if (tail.MCU >= 0) {
        image_.ClearMCURange(tail.MCU, end - tail.MCU);
        end = tail.MCU;
      }
    }
    if (end > first) {
      place.ResumedMCUs += end - first;
      if (place.ResumeMCU < 0 || first < place.ResumeMCU) {
        const TkelOffsetEntry* e = image_.Offsets->Entry(first % image_.MCUsPerRow, first / image_.MCUsPerRow);
        if (e && e->Valid) {
          place.ResumeByte = e->StartByte;
          place.ResumeBit = e->StartBit;
        }
        place.ResumeMCU = first;
        for (int sc = 0; sc < 4; ++sc) place.DCCorrection[sc] = dc[sc];
      }
    }
    nextStart = first;
  }
  if (counted) place.Evidence += "; counted back from the end of the data";
  if (matched) place.Evidence += "; placed where its DC pattern fits the thumbnail";
  report_.Places.push_back(place);
  return true;
}

bool TRealigner::RepairDrift() {
  // A picture that decoded without an error can still have lost its DC predictor once (a bit of
  // a DC difference flipped): from there on one component is lighter or darker. Only taken
  // where the row above steps by one constant and the thumbnail agrees that the colour moved.
  if (!evidence_.Guide().Present()) return false;
  const int32_t total = evidence_.Total();
  const std::vector<int32_t> breaks = FindBreaks(evidence_, 0, total);
  bool changed = false;
  for (size_t k = 0; k < breaks.size(); ++k) {
    const int32_t first = breaks[k];
    const int32_t end = k + 1 < breaks.size() ? breaks[k + 1] : total;
    // The guide's view: the mean difference to it before and after the break.
    const TDcShift shift = EstimateDcShift(evidence_, first, end - first, first, end);
    if (!shift.Found || shift.Borders == 0) continue;
    bool any = false;
    for (int sc = 0; sc < image_.ScanComponentCount; ++sc) any = any || shift.Shift[sc] != 0;
    if (!any) continue;
    auto guideOffset = [&](int32_t a, int32_t b, int sc, int32_t extra) {
      std::vector<double> r;
      for (int32_t m = std::max(a, 0); m < b; m += std::max<int32_t>(1, (b - a) / 2000))
        for (int blk = 0; blk < evidence_.BlocksPerMCU(); ++blk) {
          if (evidence_.ComponentOf(blk) != sc) continue;
          const TkelCoefBlock* c = evidence_.MapBlock(m, blk);
          if (!c) continue;
          int32_t bx, by;
          evidence_.BlockXY(m, blk, bx, by);
          const float g = evidence_.Guide().Level(sc, bx, by);
          if (g >= 0) r.push_back(evidence_.Level(sc, *c, extra) - g);
        }
      if (r.size() < 16) return 0.0;
      std::nth_element(r.begin(), r.begin() + static_cast<std::ptrdiff_t>(r.size() / 2), r.end());
      return r[r.size() / 2];
    };
    const int32_t perRow = image_.MCUsPerRow;
    bool confirmed = true;
    for (int sc = 0; sc < image_.ScanComponentCount && confirmed; ++sc) {
      if (shift.Shift[sc] == 0) continue;
      const double above = guideOffset(first - 4 * perRow, first, sc, 0);
      const double before = guideOffset(first, std::min(end, first + 4 * perRow), sc, 0);
      const double after = guideOffset(first, std::min(end, first + 4 * perRow), sc, shift.Shift[sc]);
      // The correction must bring the run back to the guide's offset above the break, and that by
      // a clear step.
      confirmed = std::fabs(after - above) < 0.5 * std::fabs(before - above) && std::fabs(before - above) >= 2.0;
    }
    if (!confirmed) continue;
    ApplyDcShift(image_, shift, first, end - first);
    TRepairPlace place;
    place.FirstMCU = first;
    for (int i = 0; i < 4; ++i) place.DCCorrection[i] = shift.Shift[i];
    place.ResumeMCU = first;
    place.ResumedMCUs = end - first;
    place.Evidence = "the DC values step by one constant from here on (borders and thumbnail agree)";
    report_.Places.push_back(place);
    changed = true;
  }
  return changed;
}

std::vector<TSpan> TRealigner::Spans() {
  std::vector<TSpan> spans;
  const int32_t total = evidence_.Total();
  const int32_t ri = image_.RestartInterval;
  if (ri <= 0) {
    TSpan s;
    s.First = 0;
    s.End = total;
    s.DataBegin = data_.Begin();
    s.DataEnd = data_.End();
    s.ResumeFrom = s.DataBegin;
    s.Anchored = data_.EndsAtImageEnd();
    spans.push_back(s);
    return spans;
  }
  // With restart markers: each interval that is not whole, up to the next interval whose data
  // stands in its place; its data is the segment that begins it, up to that interval's marker.
  const std::vector<TSegment>& segs = data_.Segments();
  auto segmentAt = [&](int32_t mcu) -> int32_t {
    if (!image_.Offsets) return -1;
    const TkelOffsetEntry* e = image_.Offsets->Entry(mcu % image_.MCUsPerRow, mcu / image_.MCUsPerRow);
    if (!e || !e->Valid || e->StartBit != 0 || !evidence_.MapBlock(mcu, 0)) return -1;
    auto it = std::lower_bound(segs.begin(), segs.end(), static_cast<int64_t>(e->StartByte),
                               [](const TSegment& s, int64_t v) { return s.Begin < v; });
    return it != segs.end() && it->Begin == e->StartByte ? static_cast<int32_t>(it - segs.begin()) : -1;
  };
  const int32_t count = (total + ri - 1) / ri;
  std::vector<int32_t> segOf(static_cast<size_t>(count), -1);
  for (int32_t a = 0; a < count; ++a) segOf[static_cast<size_t>(a)] = segmentAt(a * ri);
  for (int32_t a = 0; a < count; ++a) {
    const int32_t first = a * ri, end = std::min(total, first + ri);
    bool whole = true;
    for (int32_t m = first; m < end && whole; ++m) whole = evidence_.MapBlock(m, evidence_.BlocksPerMCU() - 1) != nullptr;
    if (whole || segOf[static_cast<size_t>(a)] < 0) continue;
    int32_t b = a + 1;
    while (b < count && segOf[static_cast<size_t>(b)] < 0) ++b;
    TSpan s;
    s.First = first;
    const TSegment& own = segs[static_cast<size_t>(segOf[static_cast<size_t>(a)])];
    s.DataBegin = own.Begin;
    if (b < count) {
      const TSegment& next = segs[static_cast<size_t>(segOf[static_cast<size_t>(b)])];
      s.End = b * ri;
      s.DataEnd = next.Begin - 2;
      s.Anchored = s.DataEnd >= own.Begin;
    } else {
      s.End = total;
      s.DataEnd = data_.End();
      s.Anchored = data_.EndsAtImageEnd();
    }
    // A run of data cannot cross a restart marker: what reaches the anchor starts after the last
    // marker before it.
    s.ResumeFrom = s.DataBegin;
    for (const TSegment& g : segs)
      if (g.Begin > s.ResumeFrom && g.Begin <= s.DataEnd) s.ResumeFrom = g.Begin;
    spans.push_back(s);
    a = b - 1;
  }
  return spans;
}

bool TRealigner::Run(bool clean) {
  if (data_.Empty()) return false;
  const int32_t total = evidence_.Total();
  baseline_ = MeasureBaseline(evidence_, 0, total);
  bool changed = false;
  if (clean) {
    changed = image_.RestartInterval <= 0 && RepairDrift();
  } else {
    for (const TSpan& span : Spans()) changed = RepairSpan(span) || changed;
  }
  for (const TRepairPlace& p : report_.Places)
    if (p.FirstMCU >= 0 && (report_.FirstDamageMCU < 0 || p.FirstMCU < report_.FirstDamageMCU)) {
      report_.FirstDamageMCU = p.FirstMCU;
      report_.FirstDamageByte = p.DamageBegin;
    }
  if (changed) image_.RecountDecodedMCUs();
  return changed;
}

void TRealigner::Locate() {
  if (data_.Empty()) return;
  baseline_ = MeasureBaseline(evidence_, 0, evidence_.Total());
  for (const TSpan& span : Spans()) {
    int32_t headEnd = span.First;
    while (headEnd < span.End && evidence_.MapBlock(headEnd, evidence_.BlocksPerMCU() - 1)) ++headEnd;
    TDamageStart d;
    if (image_.RestartInterval <= 0) {
      const int32_t sample = std::max<int32_t>(4 * image_.MCUsPerRow, (headEnd - span.First) / 4);
      const TBaseline head = MeasureBaseline(evidence_, span.First, std::min(headEnd, span.First + sample));
      if (head.Valid) baseline_ = head;
      d = HeadDamage(span.First, headEnd);
    }
    if (d.MCU < 0 && headEnd < span.End) {
      // Where the decoding stopped.
      d.MCU = headEnd;
      const TkelOffsetEntry* e = image_.Offsets ? image_.Offsets->Entry(headEnd % image_.MCUsPerRow, headEnd / image_.MCUsPerRow) : nullptr;
      d.Byte = e && e->Valid ? e->StartByte : -1;
    }
    if (d.MCU >= 0 && (report_.FirstDamageMCU < 0 || d.MCU < report_.FirstDamageMCU)) {
      report_.FirstDamageMCU = d.MCU;
      report_.FirstDamageByte = d.Byte;
    }
    if (report_.FirstDamageMCU >= 0) return;  // the spans come in order
  }
}

}  // namespace

void FindFirstDamage(TkelBaseJpegParser& image, const TGuide& guide, TRepairReport& report) {
  if (!image.CanDecodeTrials()) return;
  report.Damaged = true;
  if (report.FirstDamageMCU >= 0) return;  // the interval placement found it
  if (image.RestartInterval > 0) {
    // The damage the intervals show: their first MCU that did not decode.
    const int32_t total = image.MCUsPerRow * image.MCURows;
    for (int32_t m = 0; m < total; ++m) {
      const TkelScanComponent& last = image.ScanComponents[image.ScanComponentCount - 1];
      const TkelCoefBlock* b = image.BlockOfMCU(image.ScanComponentCount - 1, last.BlocksAcross * last.BlocksDown - 1, m);
      if (b && b->Decoded) continue;
      report.FirstDamageMCU = m;
      const TkelOffsetEntry* e = image.Offsets ? image.Offsets->Entry(m % image.MCUsPerRow, m / image.MCUsPerRow) : nullptr;
      report.FirstDamageByte = e && e->Valid ? e->StartByte : -1;
      return;
    }
    return;
  }
  TRealigner realigner(image, guide, report);
  realigner.Locate();
}

bool RealignAutomatically(TkelBaseJpegParser& image, const TGuide& guide, TRepairReport& report) {
  if (!image.CanDecodeTrials()) return false;
  bool incomplete = false;
  for (int i = 0; i < image.ScanComponentCount; ++i) {
    const TkelFrameComponent& fc = image.FrameComponents[image.ScanComponents[i].FrameIndex];
    incomplete = incomplete || fc.DecodedMCUs < fc.ExpectedMCUs;
  }
  const bool clean = !image.DataErrors && !incomplete && image.BytesBeforeRestarts == 0;
  TRealigner realigner(image, guide, report);
  const bool changed = realigner.Run(clean);
  report.Damaged = report.Damaged || !clean || changed;
  return changed;
}

}  // namespace vt::repair
