#include "source/card_clusters.h"

#include <algorithm>
#include <map>
#include <utility>

#include "base/limits.h"

namespace vt {

namespace {

// The bytes of a cluster's start that judge it: enough that entropy-coded data shows a stuffed
// FF 00 (about one in 256 bytes) all but always.
constexpr int64_t kJudgedBytes = 4096;
// Entropy-coded data holds no run of this many zero bytes (it would need a long run of zero
// codes, which no Huffman table of a photo gives).
constexpr int kZeroRun = 8;
// Byte values that a kilobyte or more of entropy-coded data with no FF in it takes at least (it
// is all but evenly spread over the other 255).
constexpr int kNoMarkerDistinct = 224;

}  // namespace

int64_t FindClusterSize(const std::vector<uint64_t>& photoStarts, uint64_t& base) {
  base = 0;
  if (photoStarts.size() >= 2) {
    for (int64_t size = kMaxClusterBytes; size >= kMinClusterBytes; size /= 2) {
      std::map<uint64_t, size_t> places;
      for (uint64_t s : photoStarts) ++places[s % static_cast<uint64_t>(size)];
      const auto most = std::max_element(places.begin(), places.end(),
                                         [](const auto& a, const auto& b) { return a.second < b.second; });
      if (most->second >= 2 && most->second * 10 >= photoStarts.size() * 9) {
        base = most->first;
        return size;
      }
    }
  }
  return kDefaultClusterBytes;
}

TvtDataLook LookOfData(const uint8_t* bytes, int64_t count, bool* endsInside) {
  if (endsInside) *endsInside = false;
  if (count < 2) return TvtDataLook::Other;
  int64_t end = count;
  int zeros = 0;
  bool stuffed = false;
  for (int64_t i = 0; i < count; ++i) {
    const uint8_t b = bytes[i];
    zeros = b == 0 ? zeros + 1 : 0;
    if (zeros >= kZeroRun) return TvtDataLook::Other;
    if (b != 0xFF) continue;
    if (i + 1 >= count) break;
    const uint8_t next = bytes[i + 1];
    if (next == 0xD9) {
      end = i;
      break;
    }
    if (next != 0x00 && (next < 0xD0 || next > 0xD7)) return TvtDataLook::Other;
    stuffed = stuffed || next == 0x00;
    ++i;
  }
  if (endsInside) *endsInside = end < count;
  if (end < 16) return end == count ? TvtDataLook::Other : TvtDataLook::Data;
  bool seen[256] = {};
  int distinct = 0;
  for (int64_t i = 0; i < end; ++i) distinct += !seen[bytes[i]], seen[bytes[i]] = true;
  if (!stuffed && end == count && count >= 1024)
    return distinct >= kNoMarkerDistinct ? TvtDataLook::Unmarked : TvtDataLook::Other;
  return distinct * 8 >= std::min<int64_t>(end, 256) ? TvtDataLook::Data : TvtDataLook::Other;
}

TvtCardClusters::TvtCardClusters(TStream& file, uint64_t fileSize, int64_t clusterBytes, uint64_t base)
    : file_(file), size_(fileSize), bytes_(std::max<int64_t>(clusterBytes, 1)), base_(base) {
  count_ = fileSize > base_ ? (fileSize - base_ + static_cast<uint64_t>(bytes_) - 1) / static_cast<uint64_t>(bytes_) : 0;
  claimed_.assign(count_, 0);
  held_.assign(count_, 0);
  looks_.assign(count_, 0);
}

uint64_t TvtCardClusters::IndexOf(uint64_t offset) const {
  if (offset < base_) return count_;
  return std::min(count_, (offset - base_) / static_cast<uint64_t>(bytes_));
}

bool TvtCardClusters::IsBoundary(uint64_t offset) const {
  return offset >= base_ && (offset - base_) % static_cast<uint64_t>(bytes_) == 0;
}

void TvtCardClusters::Mark(uint64_t from, uint64_t to, uint8_t claimed) {
  if (to <= from) return;
  const uint64_t first = IndexOf(std::max(from, base_));
  const uint64_t last = IndexOf(to - 1);
  for (uint64_t i = first; i <= last && i < count_; ++i) claimed_[i] = claimed;
  ++claims_;
}

void TvtCardClusters::Count(uint64_t from, uint64_t to, int step) {
  if (to <= from) return;
  const uint64_t first = IndexOf(std::max(from, base_));
  const uint64_t last = IndexOf(to - 1);
  for (uint64_t i = first; i <= last && i < count_; ++i)
    held_[i] = static_cast<uint16_t>(std::clamp(int(held_[i]) + step, 0, int(UINT16_MAX)));
  ++claims_;
}

uint8_t TvtCardClusters::Look(uint64_t index) {
  if (index >= count_) return kLooksOther;
  if (looks_[index] == 0) {
    uint8_t buffer[kJudgedBytes];
    const int64_t want = std::min<int64_t>({kJudgedBytes, bytes_, static_cast<int64_t>(size_ - StartOf(index))});
    file_.Seek(static_cast<int64_t>(StartOf(index)), soBeginning);
    const int64_t got = file_.Read(buffer, want);
    bool ends = false;
    const TvtDataLook look = got > 0 ? LookOfData(buffer, got, &ends) : TvtDataLook::Other;
    looks_[index] = look == TvtDataLook::Data       ? kLooksData
                    : look == TvtDataLook::Unmarked ? kLooksOther | kUnmarked
                                                    : kLooksOther;
    if (ends) looks_[index] |= kEndsInside;
  }
  return looks_[index];
}

bool TvtCardClusters::StartsLikeData(uint64_t index) { return (Look(index) & kLooksData) != 0; }

bool TvtCardClusters::MayBeData(uint64_t index) { return (Look(index) & (kLooksData | kUnmarked)) != 0; }

bool TvtCardClusters::CarriesDataOn(uint64_t index) {
  return !Claimed(index) && StartsLikeData(index) && (looks_[index] & kEndsInside) == 0;
}

std::vector<uint64_t> TvtCardClusters::DataAfter(uint64_t index, size_t limit, bool unmarked) {
  std::vector<uint64_t> out;
  for (uint64_t i = index; i < count_ && out.size() < limit; ++i)
    if (!Claimed(i) && (unmarked ? MayBeData(i) : StartsLikeData(i))) out.push_back(i);
  return out;
}

std::vector<uint64_t> TvtCardClusters::PieceStarts(size_t limit) {
  // Asked at every boundary a search tries; the whole card is looked through only when claims
  // have changed since.
  if (pieceStartsClaims_ == claims_ && pieceStartsLimit_ == limit) return pieceStarts_;
  std::vector<uint64_t> out;
  for (uint64_t i = 0; i < count_ && out.size() < limit; ++i)
    if (!Claimed(i) && StartsLikeData(i) && (i == 0 || !CarriesDataOn(i - 1))) out.push_back(i);
  pieceStarts_ = std::move(out);
  pieceStartsClaims_ = claims_;
  pieceStartsLimit_ = limit;
  return pieceStarts_;
}

}  // namespace vt
