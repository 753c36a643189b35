// Damage made the way memory cards and recovery tools make it, on the bytes of a JPEG file:
// whole clusters (counted from the start of the file, 4096 bytes unless told) read as zeros,
// hold another photo's scan data, are missing or are one too many; a single bit flips. Every
// operation returns the damaged bytes and a description of what was damaged in the coordinates
// of the intact file, which is what a scorer needs to tell the MCUs whose data survived.
//
// The Pick* helpers choose positions from a seed, at cluster boundaries inside the main image's
// entropy-coded data (between the end of its first scan header and the marker that ends the
// scan), so that the damage hits the picture and never the headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace vt::test {

constexpr size_t kClusterSize = 4096;

enum class TDamageKind { Zero, Replace, Delete, Insert, FlipBit };

// "zero", "replace", "delete", "insert", "flip".
const char* DamageKindName(TDamageKind kind);

// One damaged place, in the intact file's coordinates.
struct TDamagePlace {
  TDamageKind Kind = TDamageKind::Zero;
  size_t Offset = 0;  // first byte damaged, the insertion point, or the flipped bit's byte
  size_t Length = 0;  // bytes zeroed, replaced, deleted or inserted (1 for a bit flip)
  int Bit = 0;        // FlipBit: 0 (least significant) .. 7
  // Replace and Insert: where in the donor file the foreign bytes start.
  size_t DonorOffset = 0;
};

// A damaged byte range of the intact file, [Begin, End). Begin == End is an insertion point:
// the bytes before and after it are intact, but whatever straddles it is broken.
struct TByteRange {
  size_t Begin = 0;
  size_t End = 0;
  bool operator==(const TByteRange&) const = default;
};

struct TDamage {
  std::vector<TByteRange> Ranges;  // by offset
  std::string Text;                // "zero 4096@40960", places joined by " + "

  // True when [begin, end] (the first and the last byte of something, inclusive) touches a
  // damaged range: overlaps it, or holds an insertion point strictly inside.
  bool Touches(size_t first, size_t last) const;
};

struct TDamaged {
  Bytes Data;
  TDamage Damage;
};

// The main image's entropy-coded data: from the end of its first scan header to the first
// marker after it that is neither a restart marker nor a stuffed FF (usually the EOI).
// {0, 0} when the file has no scan header.
struct TScanSpan {
  size_t Begin = 0;
  size_t End = 0;
  size_t Size() const { return End - Begin; }
};
TScanSpan ScanDataSpan(const Bytes& jpeg);

// Applies the places (which must not overlap) to intact. donor gives the bytes of Replace and
// Insert places (from each place's DonorOffset). Raises std::invalid_argument for places that
// overlap or reach outside the files.
TDamaged ApplyDamage(const Bytes& intact, std::vector<TDamagePlace> places, const Bytes& donor = {});

// The single operations, clusters counted from the start of the file.
TDamaged ZeroClusters(const Bytes& jpeg, size_t firstCluster, size_t count = 1, size_t clusterSize = kClusterSize);
// Replaces with bytes from the middle of donor's entropy-coded data (its restart markers
// included).
TDamaged ReplaceClusters(const Bytes& jpeg, size_t firstCluster, size_t count, const Bytes& donor,
                         size_t clusterSize = kClusterSize);
TDamaged DeleteClusters(const Bytes& jpeg, size_t firstCluster, size_t count = 1, size_t clusterSize = kClusterSize);
// Inserts count clusters of donor's scan data before cluster atCluster.
TDamaged InsertClusters(const Bytes& jpeg, size_t atCluster, size_t count, const Bytes& donor,
                        size_t clusterSize = kClusterSize);
// bit 0 is the least significant.
TDamaged FlipBit(const Bytes& jpeg, size_t byte, int bit);

// Where donor's entropy-coded data gives count bytes from its middle. Raises
// std::invalid_argument when it holds fewer.
size_t DonorMiddle(const Bytes& donor, size_t count);

// A place of the kind chosen from seed: clusters (count of them) that lie wholly inside the
// entropy-coded data, an insertion at a cluster boundary inside it, or any bit of it. donor is
// needed for Replace and Insert. Raises std::invalid_argument when the data holds no such place.
TDamagePlace PickPlace(const Bytes& jpeg, TDamageKind kind, uint32_t seed, size_t clusters = 1,
                       const Bytes& donor = {}, size_t clusterSize = kClusterSize);
// Two places, the first in the first half of the entropy-coded data and the second in the
// second half, at least a cluster apart.
std::vector<TDamagePlace> PickTwoPlaces(const Bytes& jpeg, TDamageKind first, TDamageKind second, uint32_t seed,
                                        const Bytes& donor = {}, size_t clusterSize = kClusterSize);

}  // namespace vt::test
