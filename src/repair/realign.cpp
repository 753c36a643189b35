#include "repair/realign.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "jpeg/jpeg_constants.h"
#include "repair/damage_start.h"
#include "repair/dc_correction.h"
#include "repair/evidence.h"
#include "repair/scan_data.h"

namespace vt::repair {

namespace {

constexpr int32_t kQuickMCUs = 16;        // a start must decode this many MCUs cleanly
constexpr int32_t kSearchBits = 8192;     // bits searched after each candidate place
constexpr int32_t kMaxCandidates = 1024;  // candidate places after one damaged place
constexpr int64_t kSectorBytes = 512;     // the finer steps, after the clusters
constexpr int32_t kFitRun = 4;            // MCUs in a row that fit where a resumed run starts
constexpr int kMaxPlaces = 16;            // damaged places in one stretch

// One stretch of the scan: MCUs [First, End) whose data starts at DataBegin and ends at
// DataEnd, where the data of MCU End (or the end of the image) follows.
struct TSpan {
  int32_t First = 0, End = 0;
  int64_t DataBegin = 0, DataEnd = 0;
  int64_t ResumeFrom = 0;  // intact data found again can start no earlier (after the last marker)
  bool Anchored = false;   // the data is known to end exactly with MCU End - 1
};

// A run of intact data found after a damaged place.
struct TFound {
  TkelTrialRun Run;        // decoded without its blocks: positions only
  bool ReachesEnd = false; // ends exactly at the stretch's data end
  int64_t Candidate = 0;   // the candidate place the search started from
  int32_t Start = -1;      // MCU index it was placed at
  int32_t Skip = 0;        // leading MCUs of the run not placed
};

class TRealigner {
 public:
  TRealigner(TkelBaseJpegParser& image, const TGuide& guide, TRepairReport& report)
      : image_(image), evidence_(image, guide), data_(image), report_(report) {}

  bool Run();

 private:
  bool RepairSpan(const TSpan& span);
  bool FindResume(int64_t from, const TSpan& span, int32_t maxMCUs, TFound& found);
  bool QuickTest(TkelBitPos start);
  bool EndsAt(const TkelTrialRun& run, int64_t dataEnd) const;
  int32_t MatchRun(const TFound& found, int32_t lo, int32_t hi);
  int32_t PlaceAndFix(TFound& found, int32_t start, TRepairPlace& place, bool trimTail);
  int32_t FirstFit(int32_t first, int32_t end) const;
  bool Fits(int32_t mcu) const;
  std::vector<TSpan> Spans();

  TkelBaseJpegParser& image_;
  TEvidence evidence_;
  TScanData data_;
  TRepairReport& report_;
  TBaseline baseline_;
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
  for (int64_t p : candidates) {
    if (p < span.DataBegin || p >= span.DataEnd) continue;
    if (data_.HasZeroRun(p, std::min(p + 64, span.DataEnd), 64)) continue;
    const TkelBitPos limit = std::min<TkelBitPos>(p * 8 + kSearchBits, span.DataEnd * 8);
    for (TkelBitPos x = p * 8; x < limit; ++x) {
      if (!QuickTest(x)) continue;
      if (getenv("VT_DEBUG_RA")) fprintf(stderr, "candidate %lld passes at %lld.%lld\n", (long long)p, (long long)(x >> 3), (long long)(x & 7));
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

int32_t TRealigner::MatchRun(const TFound& found, int32_t lo, int32_t hi) {
  // A run between two damaged places: its DC pattern and borders against the guide and the rows
  // around, at every index the gap allows. Measured on its blocks decoded into a trial.
  if (hi < lo || !evidence_.Guide().Present()) return -1;
  TkelTrialRun run;
  run.Start = found.Run.Start;
  run.MaxMCUs = found.Run.Count;
  run.KeepBlocks = true;
  image_.TrialDecode(run);
  const int32_t bpm = run.BlocksPerMCU;
  const int32_t stride = std::max<int32_t>(1, run.Count / 512);
  double best = 1e300, second = 1e300;
  int32_t bestAt = -1;
  std::vector<double> residual;
  for (int32_t at = lo; at <= hi; ++at) {
    double spread = 0;
    int32_t n = 0;
    for (int sc = 0; sc < image_.ScanComponentCount; ++sc) {
      residual.clear();
      for (int32_t i = 0; i < run.Count; i += stride)
        for (int b = 0; b < bpm; ++b) {
          if (evidence_.ComponentOf(b) != sc) continue;
          int32_t bx, by;
          evidence_.BlockXY(at + i, b, bx, by);
          const float g = evidence_.Guide().Level(sc, bx, by);
          if (g < 0) continue;
          residual.push_back(g - evidence_.Level(sc, run.Blocks[static_cast<size_t>(i) * bpm + b]));
        }
      if (residual.size() < 8) continue;
      std::vector<double> sorted = residual;
      std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), sorted.end());
      const double median = sorted[sorted.size() / 2];
      for (double r : residual) spread += std::min(std::fabs(r - median), 64.0);
      n += static_cast<int32_t>(residual.size());
    }
    if (n == 0) continue;
    spread /= n;
    if (spread < best) {
      second = best;
      best = spread;
      bestAt = at;
    } else if (spread < second) {
      second = spread;
    }
  }
  // A place only when it is clearly the best one.
  if (bestAt < 0 || (hi > lo && best > 0.85 * second)) return -1;
  return bestAt;
}

int32_t TRealigner::PlaceAndFix(TFound& found, int32_t start, TRepairPlace& place, bool trimTail) {
  // Leading MCUs that would land before the stretch's free part are garbage decoded before the
  // run fell into step with the data.
  found.Start = start;
  TkelTrialRun run;
  run.Start = found.Skip > 0 ? found.Run.EndOf(found.Skip - 1) : found.Run.Start;
  run.MaxMCUs = found.Run.Count - found.Skip;
  run.PlaceAt = start + found.Skip;
  image_.TrialDecode(run);
  int32_t first = run.PlaceAt, end = run.PlaceAt + run.Count;
  if (run.Count <= 0) return 0;
  // Colours, then the MCUs at the run's start that still do not fit (decoded before the run fell
  // into step, or from damaged bytes that happened to decode), then the colours once more from
  // what stays.
  TDcShift shift = EstimateDcShift(evidence_, first, end - first, first, end);
  ApplyDcShift(image_, shift, first, end - first);
  const int32_t fit = FirstFit(first, end);
  if (fit > first) {
    image_.ClearMCURange(first, fit - first);
    first = fit;
    const TDcShift again = EstimateDcShift(evidence_, first, end - first, first, end);
    ApplyDcShift(image_, again, first, end - first);
    for (int i = 0; i < 4; ++i) shift.Shift[i] += again.Shift[i];
  }
  if (trimTail && first < end) {
    const TDamageStart d = FindDamageStart(evidence_, data_, baseline_, first, end);
    if (d.MCU >= 0) {
      image_.ClearMCURange(d.MCU, end - d.MCU);
      end = d.MCU;
    }
  }
  if (place.ResumeMCU < 0) {
    const TkelBitPos s = run.StartOf(std::max<int32_t>(0, first - run.PlaceAt));
    place.ResumeByte = s >> 3;
    place.ResumeBit = static_cast<int>(s & 7);
    place.ResumeMCU = first;
    for (int i = 0; i < 4; ++i) place.DCCorrection[i] = shift.Shift[i];
  }
  const int32_t placed = std::max(0, end - first);
  place.ResumedMCUs += placed;
  return placed;
}

bool TRealigner::RepairSpan(const TSpan& span) {
  int32_t headEnd = span.First;
  while (headEnd < span.End && evidence_.MapBlock(headEnd, evidence_.BlocksPerMCU() - 1)) ++headEnd;
  if (headEnd >= span.End) return false;
  TRepairPlace place;
  // Where the damage starts: the MCUs decoded from damaged bytes become holes.
  const TDamageStart d = FindDamageStart(evidence_, data_, baseline_, span.First, headEnd);
  int32_t damageMCU = d.MCU >= 0 ? d.MCU : headEnd;
  int64_t damageByte = span.DataBegin;
  if (d.MCU >= 0) {
    damageByte = d.Byte;
  } else if (headEnd > span.First && image_.Offsets) {
    const int32_t last = headEnd - 1;
    if (const TkelOffsetEntry* e = image_.Offsets->Entry(last % image_.MCUsPerRow, last / image_.MCUsPerRow))
      if (e->Valid) damageByte = e->EndByte;
  }
  image_.ClearMCURange(damageMCU, headEnd - damageMCU);
  place.FirstMCU = damageMCU;
  place.ClearedMCUs = headEnd - damageMCU;
  place.DamageBegin = damageByte;
  place.Evidence = d.MCU >= 0 ? d.Evidence : "the decoding failed";

  // Runs of intact data after it, in data order, until one runs on to the stretch's end.
  std::vector<TFound> runs;
  int64_t from = std::max(damageByte, span.ResumeFrom);
  const int places = image_.RestartInterval > 0 ? 1 : kMaxPlaces;
  for (int k = 0; k < places; ++k) {
    TFound f;
    // Inserted data may hold more MCUs than the room left: the surplus at the run's start is
    // cut off once it is placed.
    const int32_t room = span.End - damageMCU;
    if (!FindResume(from, span, room + std::max(room, 65536), f)) break;
    runs.push_back(f);
    if (f.ReachesEnd || f.Run.Count <= 0) break;
    // It stopped at a further damaged place: look again from the cluster boundary before that.
    const int64_t stop = f.Run.EndOf(f.Run.Count - 1) >> 3;
    const int64_t origin = data_.FileOrigin();
    int64_t next = ((origin + stop) / kClusterBytes) * kClusterBytes - origin;
    if (next <= (f.Run.Start >> 3)) next = stop;
    from = next;
  }
  if (!runs.empty()) place.DamageEnd = runs.front().Candidate;

  // Which MCUs they belong to: the last one, when it reaches the end, by counting back; the ones
  // before it by their fit between their neighbours.
  int32_t nextStart = span.End;
  bool placedAny = false;
  for (size_t j = runs.size(); j-- > 0;) {
    TFound& f = runs[j];
    int32_t start = -1;
    if (j + 1 == runs.size() && f.ReachesEnd) {
      start = span.End - f.Run.Count;
      place.Evidence += "; counted back from the end of the data";
    } else {
      start = MatchRun(f, damageMCU, nextStart - f.Run.Count);
      if (start < 0) continue;
      place.Evidence += "; placed by its fit to the guide";
    }
    if (start < damageMCU) f.Skip = damageMCU - start;
    if (f.Skip >= f.Run.Count) continue;
    PlaceAndFix(f, start, place, !(j + 1 == runs.size() && f.ReachesEnd));
    nextStart = start + f.Skip;
    placedAny = true;
  }
  if (place.ResumeMCU < 0 && runs.empty()) place.Evidence += "; no intact data found after it";
  report_.Places.push_back(place);
  return placedAny || place.ClearedMCUs > 0;
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
  // stands in its place; its data is the segment that begins it, and the last segment before
  // that next interval's marker.
  const std::vector<TSegment>& segs = data_.Segments();
  auto segmentAt = [&](int32_t mcu) -> int32_t {
    if (!image_.Offsets) return -1;
    const TkelOffsetEntry* e = image_.Offsets->Entry(mcu % image_.MCUsPerRow, mcu / image_.MCUsPerRow);
    if (!e || !e->Valid || e->StartBit != 0 || !evidence_.MapBlock(mcu, 0)) return -1;
    for (size_t i = 0; i < segs.size(); ++i)
      if (segs[i].Begin == e->StartByte) return static_cast<int32_t>(i);
    return -1;
  };
  const int32_t count = (total + ri - 1) / ri;
  std::vector<int32_t> segOf(static_cast<size_t>(count), -1);
  for (int32_t a = 0; a < count; ++a) segOf[static_cast<size_t>(a)] = segmentAt(a * ri);
  for (int32_t a = 0; a < count; ++a) {
    const int32_t first = a * ri, end = std::min(total, first + ri);
    bool whole = true;
    for (int32_t m = first; m < end && whole; ++m) whole = evidence_.MapBlock(m, evidence_.BlocksPerMCU() - 1) != nullptr;
    if (whole || segOf[static_cast<size_t>(a)] < 0) continue;
    // The next interval in place.
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
      s.Anchored = next.Begin - 2 >= own.Begin;
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

bool TRealigner::Run() {
  if (data_.Empty()) return false;
  const int32_t total = evidence_.Total();
  baseline_ = MeasureBaseline(evidence_, 0, total);
  bool changed = false;
  for (const TSpan& span : Spans()) changed = RepairSpan(span) || changed;
  if (!report_.Places.empty()) {
    const TRepairPlace& p = report_.Places.front();
    if (report_.FirstDamageMCU < 0 || p.FirstMCU < report_.FirstDamageMCU) {
      report_.FirstDamageMCU = p.FirstMCU;
      report_.FirstDamageByte = p.DamageBegin;
    }
  }
  if (changed) image_.RecountDecodedMCUs();
  return changed;
}

}  // namespace

bool RealignAutomatically(TkelBaseJpegParser& image, const TGuide& guide, TRepairReport& report) {
  if (!image.CanDecodeTrials()) return false;
  bool incomplete = false;
  for (int i = 0; i < image.ScanComponentCount; ++i) {
    const TkelFrameComponent& fc = image.FrameComponents[image.ScanComponents[i].FrameIndex];
    incomplete = incomplete || fc.DecodedMCUs < fc.ExpectedMCUs;
  }
  if (!image.DataErrors && !incomplete) return false;
  report.Damaged = true;
  TRealigner realigner(image, guide, report);
  return realigner.Run();
}

}  // namespace vt::repair
