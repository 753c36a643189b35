// The clusters of a card image, as the search for a fragmented photo's pieces sees them: the
// card's unit of allocation (found from where the photos start, or given), which clusters
// already belong to a photo (claimed), and which start like a JPEG's entropy-coded data. A
// photo's piece always starts at a cluster's first byte, so only cluster starts are tried as
// continuations.
#pragma once

#include <cstdint>
#include <vector>

#include "base/stream.h"

namespace vt {

// The cluster size the photo starts agree on: the largest power of two from kMinClusterBytes to
// kMaxClusterBytes at which all but a tenth of them fall on the same place in a cluster (at
// least two must); base receives that place. kDefaultClusterBytes (base 0) when too few tell.
int64_t FindClusterSize(const std::vector<uint64_t>& photoStarts, uint64_t& base);

// How the first bytes of a cluster look. Data: like the middle of entropy-coded data (every FF
// is stuffed, FF 00, or a restart marker, there is no long run of zeros, the byte values are
// varied, and a kilobyte or more holds a stuffed FF). Unmarked: a kilobyte or more with no FF at
// all that still takes nearly every other byte value, which a photo's data in a smooth sky can
// be and other files' data can be as well. An end-of-image marker ends what is judged (a
// photo's last piece may be short); endsInside, when given, says whether one did.
enum class TvtDataLook { Other, Data, Unmarked };
TvtDataLook LookOfData(const uint8_t* bytes, int64_t count, bool* endsInside = nullptr);

class TvtCardClusters {
 public:
  TvtCardClusters(TStream& file, uint64_t fileSize, int64_t clusterBytes, uint64_t base);

  int64_t Bytes() const { return bytes_; }
  uint64_t Count() const { return count_; }
  uint64_t FileSize() const { return size_; }
  // The cluster holding offset (offsets before the first cluster belong to none: Count()).
  uint64_t IndexOf(uint64_t offset) const;
  uint64_t StartOf(uint64_t index) const { return base_ + index * static_cast<uint64_t>(bytes_); }
  // Whether offset is a cluster's first byte.
  bool IsBoundary(uint64_t offset) const;

  // Claimed by a photo followed, or held by one not yet followed.
  bool Claimed(uint64_t index) const { return index < count_ && (claimed_[index] != 0 || held_[index] != 0); }
  // Claims every cluster that holds a byte of [from, to).
  void Claim(uint64_t from, uint64_t to) { Mark(from, to, 1); }
  // Gives the clusters of [from, to) back (a photo followed again claims its pieces anew).
  void Release(uint64_t from, uint64_t to) { Mark(from, to, 0); }
  // A photo not yet followed holds the clusters its first decode went through, until it is
  // followed: giving them back leaves what other photos claimed among them claimed (several
  // photos may hold the same clusters).
  void Hold(uint64_t from, uint64_t to) { Count(from, to, 1); }
  void Unhold(uint64_t from, uint64_t to) { Count(from, to, -1); }
  // Read once from the file, then remembered. MayBeData: data or unmarked.
  bool StartsLikeData(uint64_t index);
  bool MayBeData(uint64_t index);
  // Whether the cluster is unclaimed entropy-coded data that runs on to its end (no end of image
  // in it): the cluster after it may hold the rest of the same data.
  bool CarriesDataOn(uint64_t index);
  // The first limit unclaimed clusters from index on that start like entropy-coded data (with
  // unmarked, or may be data): where a file system that fills the first free clusters put the
  // rest of a file.
  std::vector<uint64_t> DataAfter(uint64_t index, size_t limit, bool unmarked = false);
  // Unclaimed clusters that start like entropy-coded data where the cluster before them does not
  // carry the same data on (it is claimed, does not look like data, or holds an end of image):
  // where a piece of a photo that is not yet followed may start. In card order, at most limit.
  std::vector<uint64_t> PieceStarts(size_t limit);

 private:
  void Mark(uint64_t from, uint64_t to, uint8_t claimed);
  void Count(uint64_t from, uint64_t to, int step);

  TStream& file_;
  uint64_t size_;
  int64_t bytes_;
  uint64_t base_;
  uint64_t count_;
  std::vector<uint8_t> claimed_;
  std::vector<uint16_t> held_;  // how many photos hold each cluster
  uint64_t claims_ = 0;  // changes of claimed_ and held_, for the piece starts remembered
  std::vector<uint64_t> pieceStarts_;
  uint64_t pieceStartsClaims_ = UINT64_MAX;
  size_t pieceStartsLimit_ = 0;
  uint8_t Look(uint64_t index);
  static constexpr uint8_t kLooksData = 1, kLooksOther = 2, kEndsInside = 4, kUnmarked = 8;
  std::vector<uint8_t> looks_;  // 0 unknown, else kLooksData or kLooksOther (with kUnmarked), with kEndsInside
};

}  // namespace vt
