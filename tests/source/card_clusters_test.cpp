// The clusters a fragment search may try as the start of a piece: the card's clusters remember
// them between claims, and what they give must always be what a fresh look at the card gives.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "base/stream.h"
#include "source/card_clusters.h"

namespace vt {
namespace {

constexpr int64_t kCluster = 4096;

// Entropy-coded data: varied bytes, every FF stuffed; with ends, an end-of-image marker near
// the cluster's end.
void FillData(uint8_t* at, std::mt19937& rng, bool ends) {
  int64_t i = 0;
  while (i < kCluster) {
    const uint8_t b = static_cast<uint8_t>(rng());
    at[i++] = b;
    if (b == 0xFF && i < kCluster) at[i++] = 0x00;
  }
  if (at[kCluster - 1] == 0xFF) at[kCluster - 1] = 0x12;
  if (ends) at[kCluster - 100] = 0xFF, at[kCluster - 99] = 0xD9;
}

// A card of 16 clusters: 'd' data running on, 'e' data ending inside, '0' zeros.
std::vector<uint8_t> MakeCard(const char* kinds) {
  std::mt19937 rng(7);
  std::vector<uint8_t> card;
  for (const char* k = kinds; *k; ++k) {
    card.resize(card.size() + kCluster, 0);
    if (*k != '0') FillData(card.data() + card.size() - kCluster, rng, *k == 'e');
  }
  return card;
}

struct Step {
  char op;  // 'c' claim, 'r' release, 'h' hold, 'u' give back what was held
  int first, last;  // clusters
};

struct ClaimCase {
  const char* name;
  std::vector<Step> steps;
};

class PieceStartsAfterClaims : public ::testing::TestWithParam<ClaimCase> {};

// What a photo not yet followed held is given back without what others claimed among it, and
// clusters two photos held stay held until both give them back.
TEST(CardClusters, GivingBackWhatWasHeldLeavesOtherClaims) {
  const std::vector<uint8_t> card = MakeCard("dddddddddddddddd");
  TTempMemoryStream stream;
  stream.SetPointer(card.data(), static_cast<int64_t>(card.size()));
  TvtCardClusters clusters(stream, card.size(), kCluster, 0);
  clusters.Hold(clusters.StartOf(0), clusters.StartOf(10));
  clusters.Hold(clusters.StartOf(8), clusters.StartOf(12));
  clusters.Claim(clusters.StartOf(4), clusters.StartOf(6));
  clusters.Unhold(clusters.StartOf(0), clusters.StartOf(10));
  std::string claimed;
  for (uint64_t i = 0; i < clusters.Count(); ++i) claimed += clusters.Claimed(i) ? 'x' : '.';
  EXPECT_EQ(claimed, "....xx..xxxx....");
}

TEST_P(PieceStartsAfterClaims, AgreeWithAFreshLookAtTheCard) {
  const std::vector<uint8_t> card = MakeCard("dd0dddedd0deddd0");
  TTempMemoryStream stream;
  stream.SetPointer(card.data(), static_cast<int64_t>(card.size()));
  TvtCardClusters kept(stream, card.size(), kCluster, 0);
  auto apply = [](TvtCardClusters& clusters, const Step& s) {
    const uint64_t from = clusters.StartOf(static_cast<uint64_t>(s.first));
    const uint64_t to = clusters.StartOf(static_cast<uint64_t>(s.last) + 1);
    switch (s.op) {
      case 'c': clusters.Claim(from, to); break;
      case 'r': clusters.Release(from, to); break;
      case 'h': clusters.Hold(from, to); break;
      default: clusters.Unhold(from, to); break;
    }
  };
  std::vector<Step> done;
  auto check = [&](const char* when) {
    TvtCardClusters fresh(stream, card.size(), kCluster, 0);
    for (const Step& s : done) apply(fresh, s);
    EXPECT_EQ(kept.PieceStarts(100), fresh.PieceStarts(100)) << when;
    EXPECT_EQ(kept.PieceStarts(100), fresh.PieceStarts(100)) << when << ", asked again";
  };
  check("before any claim");
  EXPECT_FALSE(kept.PieceStarts(100).empty()) << "the card holds piece starts";
  for (const Step& s : GetParam().steps) {
    apply(kept, s);
    done.push_back(s);
    check((std::string("after ") + s.op).c_str());
  }
  TvtCardClusters fresh(stream, card.size(), kCluster, 0);
  for (const Step& s : done) apply(fresh, s);
  EXPECT_EQ(kept.PieceStarts(2), fresh.PieceStarts(2)) << "a smaller limit";
}

INSTANTIATE_TEST_SUITE_P(
    Claims, PieceStartsAfterClaims,
    ::testing::Values(ClaimCase{"ClaimOnePiece", {{'c', 3, 5}}},
                      ClaimCase{"ClaimTheClusterBeforeAStart", {{'c', 0, 1}, {'c', 7, 7}}},
                      ClaimCase{"ClaimThenReleaseAgain", {{'c', 3, 8}, {'r', 3, 8}}},
                      ClaimCase{"ReleasePartOfAClaim", {{'c', 0, 15}, {'r', 10, 12}, {'r', 4, 4}}},
                      ClaimCase{"HoldThenGiveBack", {{'h', 2, 9}, {'h', 5, 12}, {'u', 2, 9}}},
                      ClaimCase{"GiveBackAroundAnotherPhotosClaim", {{'h', 0, 12}, {'c', 6, 8}, {'u', 0, 12}}}),
    [](const auto& info) { return std::string(info.param.name); });

// What a cluster's first bytes must look like to be tried as a piece of a photo.
struct LooksCase {
  const char* name;
  std::vector<uint8_t> (*make)();
  TvtDataLook look;
  bool endsInside;
};

std::vector<uint8_t> Bytes(uint32_t seed, const std::function<uint8_t(std::mt19937&)>& next) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> out(kCluster);
  for (uint8_t& b : out) b = next(rng);
  return out;
}

const LooksCase kLooks[] = {
    {"StuffedData", [] { std::vector<uint8_t> v(kCluster); std::mt19937 rng(3); FillData(v.data(), rng, false); return v; },
     TvtDataLook::Data, false},
    {"DataEndingInside", [] { std::vector<uint8_t> v(kCluster); std::mt19937 rng(3); FillData(v.data(), rng, true); return v; },
     TvtDataLook::Data, true},
    // A smooth sky's data may go 4 KiB without an FF, still taking every other byte value.
    {"DataWithoutAnyFF", [] { return Bytes(5, [](std::mt19937& r) { return static_cast<uint8_t>(r() % 255); }); },
     TvtDataLook::Unmarked, false},
    // Bytes with no FF that keep to half the values, and text.
    {"EvenBytesWithoutFF", [] { return Bytes(5, [](std::mt19937& r) { return static_cast<uint8_t>(r() & 0xFE); }); },
     TvtDataLook::Other, false},
    {"Text", [] { return Bytes(5, [](std::mt19937& r) { return static_cast<uint8_t>(' ' + r() % 90); }); },
     TvtDataLook::Other, false},
    {"Zeros", [] { return std::vector<uint8_t>(kCluster, 0); }, TvtDataLook::Other, false},
    // Compressed data of another kind: an FF followed by what no entropy-coded data holds.
    {"AnFFNotStuffed", [] { std::vector<uint8_t> v(kCluster); std::mt19937 rng(3); FillData(v.data(), rng, false);
                            v[2000] = 0xFF, v[2001] = 0x12; return v; },
     TvtDataLook::Other, false},
};

class ClusterLooks : public ::testing::TestWithParam<LooksCase> {};

TEST_P(ClusterLooks, LikeEntropyCodedDataOrNot) {
  const std::vector<uint8_t> bytes = GetParam().make();
  bool ends = !GetParam().endsInside;
  EXPECT_EQ(LookOfData(bytes.data(), static_cast<int64_t>(bytes.size()), &ends), GetParam().look);
  EXPECT_EQ(ends, GetParam().endsInside);
}

INSTANTIATE_TEST_SUITE_P(Bytes, ClusterLooks, ::testing::ValuesIn(kLooks),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vt
