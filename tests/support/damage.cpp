#include "support/damage.h"

#include <algorithm>
#include <stdexcept>

namespace vt::test {

namespace {

constexpr int kMarkerSOS = 0xDA;

bool IsRestartMarker(int code) { return code >= 0xD0 && code <= 0xD7; }

// A small deterministic generator (the places must not depend on the standard library's
// distributions, which differ between implementations).
struct TSeededRandom {
  uint64_t State;
  explicit TSeededRandom(uint32_t seed) : State(0x9E3779B97F4A7C15ull ^ (uint64_t(seed) * 0xBF58476D1CE4E5B9ull)) {}
  uint64_t Next() {
    State += 0x9E3779B97F4A7C15ull;
    uint64_t z = State;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [low, high].
  size_t Between(size_t low, size_t high) { return low + static_cast<size_t>(Next() % (high - low + 1)); }
};

std::string PlaceText(const TDamagePlace& p) {
  if (p.Kind == TDamageKind::FlipBit)
    return std::string("flip bit ") + std::to_string(p.Bit) + "@" + std::to_string(p.Offset);
  return std::string(DamageKindName(p.Kind)) + " " + std::to_string(p.Length) + "@" + std::to_string(p.Offset);
}

// The bytes the place covers in the intact file (an insertion covers none).
size_t IntactLength(const TDamagePlace& p) { return p.Kind == TDamageKind::Insert ? 0 : p.Length; }

bool NeedsDonor(TDamageKind kind) { return kind == TDamageKind::Replace || kind == TDamageKind::Insert; }

// A place of the kind inside [begin, end) of the file (a part of its entropy-coded data).
TDamagePlace PickIn(size_t begin, size_t end, TDamageKind kind, TSeededRandom& random,
                    size_t clusters, const Bytes& donor, size_t clusterSize) {
  if (clusterSize == 0 || clusters == 0) throw std::invalid_argument("cluster size and count must be positive");
  TDamagePlace p;
  p.Kind = kind;
  if (kind == TDamageKind::FlipBit) {
    if (end <= begin) throw std::invalid_argument("no entropy-coded data to flip a bit in");
    p.Offset = random.Between(begin, end - 1);
    p.Length = 1;
    p.Bit = static_cast<int>(random.Next() % 8);
    return p;
  }
  const size_t length = clusters * clusterSize;
  const size_t first = (begin + clusterSize - 1) / clusterSize;  // the first cluster boundary at or after begin
  if (kind == TDamageKind::Insert) {
    // A boundary strictly inside, so that something straddles it.
    const size_t low = begin % clusterSize == 0 ? first + 1 : first;
    if (end == 0 || low * clusterSize >= end) throw std::invalid_argument("no cluster boundary inside the entropy-coded data");
    const size_t high = (end - 1) / clusterSize;
    p.Offset = random.Between(low, high) * clusterSize;
  } else {
    if (end < length || first * clusterSize + length > end)
      throw std::invalid_argument("the entropy-coded data holds no " + std::to_string(clusters) + " whole clusters");
    const size_t last = (end - length) / clusterSize;
    p.Offset = random.Between(first, last) * clusterSize;
  }
  p.Length = length;
  if (NeedsDonor(kind)) p.DonorOffset = DonorMiddle(donor, length);
  return p;
}

}  // namespace

const char* DamageKindName(TDamageKind kind) {
  switch (kind) {
    case TDamageKind::Zero: return "zero";
    case TDamageKind::Replace: return "replace";
    case TDamageKind::Delete: return "delete";
    case TDamageKind::Insert: return "insert";
    case TDamageKind::FlipBit: return "flip";
  }
  return "?";
}

bool TDamage::Touches(size_t first, size_t last) const {
  for (const TByteRange& r : Ranges) {
    if (r.Begin == r.End) {
      if (first < r.Begin && r.Begin <= last) return true;
    } else if (first < r.End && r.Begin <= last) {
      return true;
    }
  }
  return false;
}

TScanSpan ScanDataSpan(const Bytes& jpeg) {
  size_t i = 2;
  while (i + 4 <= jpeg.size()) {
    if (jpeg[i] != 0xFF) return {};
    const int marker = jpeg[i + 1];
    if (marker == 0xFF) {  // fill byte before a marker
      ++i;
      continue;
    }
    const size_t length = (size_t(jpeg[i + 2]) << 8) | jpeg[i + 3];
    if (marker != kMarkerSOS) {
      i += 2 + length;
      continue;
    }
    TScanSpan span;
    span.Begin = std::min(jpeg.size(), i + 2 + length);
    span.End = jpeg.size();
    for (size_t k = span.Begin; k + 1 < jpeg.size(); ++k) {
      if (jpeg[k] != 0xFF) continue;
      const int code = jpeg[k + 1];
      if (code == 0x00 || code == 0xFF || IsRestartMarker(code)) continue;
      span.End = k;
      break;
    }
    return span;
  }
  return {};
}

size_t DonorMiddle(const Bytes& donor, size_t count) {
  const TScanSpan span = ScanDataSpan(donor);
  if (span.Size() < count) throw std::invalid_argument("the donor's entropy-coded data is shorter than the damage");
  return span.Begin + (span.Size() - count) / 2;
}

TDamaged ApplyDamage(const Bytes& intact, std::vector<TDamagePlace> places, const Bytes& donor) {
  std::sort(places.begin(), places.end(), [](const TDamagePlace& a, const TDamagePlace& b) { return a.Offset < b.Offset; });
  TDamaged out;
  for (size_t i = 0; i < places.size(); ++i) {
    const TDamagePlace& p = places[i];
    if (p.Offset + IntactLength(p) > intact.size()) throw std::invalid_argument("damage beyond the end of the file");
    if (i > 0) {
      const TDamagePlace& q = places[i - 1];
      // Places meet at most at a boundary; an insertion at the very byte another place damages
      // is an overlap too.
      if (q.Offset + IntactLength(q) > p.Offset || (q.Offset == p.Offset)) throw std::invalid_argument("damaged places overlap");
    }
    if (NeedsDonor(p.Kind) && p.DonorOffset + p.Length > donor.size())
      throw std::invalid_argument("the donor holds too few bytes");
    if (p.Kind == TDamageKind::FlipBit && (p.Bit < 0 || p.Bit > 7)) throw std::invalid_argument("bit outside 0..7");
    out.Damage.Ranges.push_back({p.Offset, p.Offset + IntactLength(p)});
    out.Damage.Text += (i > 0 ? " + " : "") + PlaceText(p);
  }
  // From the last place to the first: the intact offsets of the places before stay valid.
  out.Data = intact;
  Bytes& d = out.Data;
  for (auto it = places.rbegin(); it != places.rend(); ++it) {
    const TDamagePlace& p = *it;
    const auto at = d.begin() + static_cast<std::ptrdiff_t>(p.Offset);
    const auto from = donor.begin() + static_cast<std::ptrdiff_t>(p.DonorOffset);
    switch (p.Kind) {
      case TDamageKind::Zero: std::fill(at, at + static_cast<std::ptrdiff_t>(p.Length), uint8_t{0}); break;
      case TDamageKind::Replace: std::copy(from, from + static_cast<std::ptrdiff_t>(p.Length), at); break;
      case TDamageKind::Delete: d.erase(at, at + static_cast<std::ptrdiff_t>(p.Length)); break;
      case TDamageKind::Insert: d.insert(at, from, from + static_cast<std::ptrdiff_t>(p.Length)); break;
      case TDamageKind::FlipBit: *at = static_cast<uint8_t>(*at ^ (1u << p.Bit)); break;
    }
  }
  return out;
}

TDamaged ZeroClusters(const Bytes& jpeg, size_t firstCluster, size_t count, size_t clusterSize) {
  return ApplyDamage(jpeg, {{TDamageKind::Zero, firstCluster * clusterSize, count * clusterSize}});
}

TDamaged ReplaceClusters(const Bytes& jpeg, size_t firstCluster, size_t count, const Bytes& donor, size_t clusterSize) {
  const size_t length = count * clusterSize;
  return ApplyDamage(jpeg, {{TDamageKind::Replace, firstCluster * clusterSize, length, 0, DonorMiddle(donor, length)}},
                     donor);
}

TDamaged DeleteClusters(const Bytes& jpeg, size_t firstCluster, size_t count, size_t clusterSize) {
  return ApplyDamage(jpeg, {{TDamageKind::Delete, firstCluster * clusterSize, count * clusterSize}});
}

TDamaged InsertClusters(const Bytes& jpeg, size_t atCluster, size_t count, const Bytes& donor, size_t clusterSize) {
  const size_t length = count * clusterSize;
  return ApplyDamage(jpeg, {{TDamageKind::Insert, atCluster * clusterSize, length, 0, DonorMiddle(donor, length)}}, donor);
}

TDamaged FlipBit(const Bytes& jpeg, size_t byte, int bit) {
  return ApplyDamage(jpeg, {{TDamageKind::FlipBit, byte, 1, bit}});
}

TDamagePlace PickPlace(const Bytes& jpeg, TDamageKind kind, uint32_t seed, size_t clusters, const Bytes& donor,
                       size_t clusterSize) {
  const TScanSpan span = ScanDataSpan(jpeg);
  TSeededRandom random(seed);
  return PickIn(span.Begin, span.End, kind, random, clusters, donor, clusterSize);
}

std::vector<TDamagePlace> PickTwoPlaces(const Bytes& jpeg, TDamageKind first, TDamageKind second, uint32_t seed,
                                        const Bytes& donor, size_t clusterSize) {
  const TScanSpan span = ScanDataSpan(jpeg);
  TSeededRandom random(seed);
  const size_t middle = span.Begin + span.Size() / 2;
  TDamagePlace a = PickIn(span.Begin, middle, first, random, 1, donor, clusterSize);
  // The second place starts a cluster after the first one ends (or after the middle).
  const size_t after = std::max(middle, a.Offset + std::max<size_t>(IntactLength(a), 1) + clusterSize);
  TDamagePlace b = PickIn(after, span.End, second, random, 1, donor, clusterSize);
  if (a.Kind == TDamageKind::Replace || a.Kind == TDamageKind::Insert) {
    // Foreign bytes from another part of the donor than the second place's.
    const TScanSpan d = ScanDataSpan(donor);
    if (d.Size() >= 2 * a.Length) a.DonorOffset = d.Begin + d.Size() / 4;
  }
  return {a, b};
}

}  // namespace vt::test
