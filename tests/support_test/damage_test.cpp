// The damage lab's card-like damage: each operation changes exactly its place, in the way it
// says, and describes it in the intact file's coordinates.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "support/camera_photo.h"
#include "support/damage.h"

namespace vt::test {
namespace {

// A restart-marked photo to damage and another one whose scan data (with its own markers) fills
// replaced and inserted clusters.
const Bytes& Intact() {
  static const Bytes b = [] {
    TCameraPhotoOptions o;
    o.Restart = TRestartKind::FourMCUs;
    o.Thumbnail = false;
    o.Seed = 21;
    return CameraPhoto(o);
  }();
  return b;
}

const Bytes& Donor() {
  static const Bytes b = [] {
    TCameraPhotoOptions o;
    o.Restart = TRestartKind::OneMCU;
    o.Thumbnail = false;
    o.Seed = 22;
    return CameraPhoto(o);
  }();
  return b;
}

bool HoldsRestartMarker(const Bytes& b, size_t begin, size_t end) {
  for (size_t i = begin; i + 1 < end; ++i)
    if (b[i] == 0xFF && b[i + 1] >= 0xD0 && b[i + 1] <= 0xD7) return true;
  return false;
}

struct OperationCase {
  const char* Name;
  TDamageKind Kind;
  size_t Clusters;
  ptrdiff_t SizeChange;  // bytes the file gains
  // The named operation, called at the picked place.
  TDamaged (*Apply)(const Bytes& jpeg, const TDamagePlace& p, const Bytes& donor);
};

void PrintTo(const OperationCase& c, std::ostream* os) { *os << c.Name; }

const OperationCase kOperations[] = {
    {"zero", TDamageKind::Zero, 1, 0,
     [](const Bytes& j, const TDamagePlace& p, const Bytes&) { return ZeroClusters(j, p.Offset / kClusterSize, 1); }},
    {"replace", TDamageKind::Replace, 2, 0,
     [](const Bytes& j, const TDamagePlace& p, const Bytes& d) { return ReplaceClusters(j, p.Offset / kClusterSize, 2, d); }},
    {"delete", TDamageKind::Delete, 1, -4096,
     [](const Bytes& j, const TDamagePlace& p, const Bytes&) { return DeleteClusters(j, p.Offset / kClusterSize, 1); }},
    {"insert", TDamageKind::Insert, 1, 4096,
     [](const Bytes& j, const TDamagePlace& p, const Bytes& d) { return InsertClusters(j, p.Offset / kClusterSize, 1, d); }},
    {"flip", TDamageKind::FlipBit, 1, 0,
     [](const Bytes& j, const TDamagePlace& p, const Bytes&) { return FlipBit(j, p.Offset, p.Bit); }},
};

class DamageOperation : public ::testing::TestWithParam<OperationCase> {};

TEST_P(DamageOperation, ChangesOnlyItsPlaceAndDescribesItInTheIntactFilesCoordinates) {
  const OperationCase& c = GetParam();
  const Bytes& intact = Intact();
  const Bytes& donor = Donor();
  const TScanSpan span = ScanDataSpan(intact);
  ASSERT_GT(span.Size(), 8 * kClusterSize);
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const TDamagePlace p = PickPlace(intact, c.Kind, seed, c.Clusters, donor);
    const size_t removed = c.Kind == TDamageKind::Insert ? 0 : p.Length;  // intact bytes the place covers
    const size_t added = c.Kind == TDamageKind::Delete ? 0 : p.Length;    // bytes in their place
    // Inside the entropy-coded data, at a cluster boundary (a bit anywhere in it).
    EXPECT_GE(p.Offset, c.Kind == TDamageKind::Insert ? span.Begin + 1 : span.Begin);
    EXPECT_LE(p.Offset + removed, span.End);
    if (c.Kind != TDamageKind::FlipBit) {
      EXPECT_EQ(p.Offset % kClusterSize, 0u);
      EXPECT_EQ(p.Length, c.Clusters * kClusterSize);
    }

    const TDamaged d = c.Apply(intact, p, donor);
    ASSERT_EQ(static_cast<ptrdiff_t>(d.Data.size()), static_cast<ptrdiff_t>(intact.size()) + c.SizeChange);
    ASSERT_EQ(d.Damage.Ranges.size(), 1u);
    EXPECT_EQ(d.Damage.Ranges[0], (TByteRange{p.Offset, p.Offset + removed}));
    const std::string text = c.Kind == TDamageKind::FlipBit
                                 ? "flip bit " + std::to_string(p.Bit) + "@" + std::to_string(p.Offset)
                                 : std::string(c.Name) + " " + std::to_string(p.Length) + "@" + std::to_string(p.Offset);
    EXPECT_EQ(d.Damage.Text, text);

    // Everything before and after the place is the intact file's.
    EXPECT_TRUE(std::equal(intact.begin(), intact.begin() + ptrdiff_t(p.Offset), d.Data.begin()));
    EXPECT_TRUE(std::equal(intact.begin() + ptrdiff_t(p.Offset + removed), intact.end(),
                           d.Data.begin() + ptrdiff_t(p.Offset + added)));
    const auto at = d.Data.begin() + ptrdiff_t(p.Offset);
    switch (c.Kind) {
      case TDamageKind::Zero:
        EXPECT_TRUE(std::all_of(at, at + ptrdiff_t(p.Length), [](uint8_t b) { return b == 0; }));
        break;
      case TDamageKind::Replace:
      case TDamageKind::Insert: {
        // The donor's scan data from its middle, its restart markers with it.
        const size_t from = DonorMiddle(donor, p.Length);
        const TScanSpan ds = ScanDataSpan(donor);
        EXPECT_GE(from, ds.Begin);
        EXPECT_LE(from + p.Length, ds.End);
        EXPECT_TRUE(std::equal(at, at + ptrdiff_t(p.Length), donor.begin() + ptrdiff_t(from)));
        EXPECT_TRUE(HoldsRestartMarker(d.Data, p.Offset, p.Offset + p.Length));
        break;
      }
      case TDamageKind::Delete: break;  // the surrounding bytes join (checked above)
      case TDamageKind::FlipBit:
        ASSERT_GE(p.Bit, 0);
        ASSERT_LE(p.Bit, 7);
        EXPECT_EQ(d.Data[p.Offset] ^ intact[p.Offset], 1 << p.Bit);
        break;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Lab, DamageOperation, ::testing::ValuesIn(kOperations),
                         [](const auto& info) { return std::string(info.param.Name); });

class TwoPlaces : public ::testing::TestWithParam<std::pair<TDamageKind, TDamageKind>> {};

TEST_P(TwoPlaces, AreApartAndDescribedInTheIntactFilesCoordinates) {
  const auto [first, second] = GetParam();
  const Bytes& intact = Intact();
  const Bytes& donor = Donor();
  for (uint32_t seed = 1; seed <= 4; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const std::vector<TDamagePlace> places = PickTwoPlaces(intact, first, second, seed, donor);
    ASSERT_EQ(places.size(), 2u);
    const TDamagePlace& a = places[0];
    const TDamagePlace& b = places[1];
    EXPECT_EQ(a.Kind, first);
    EXPECT_EQ(b.Kind, second);
    const size_t aEnd = a.Offset + (a.Kind == TDamageKind::Insert ? 0 : a.Length);
    EXPECT_GE(b.Offset, aEnd + kClusterSize);

    const TDamaged both = ApplyDamage(intact, places, donor);
    ASSERT_EQ(both.Damage.Ranges.size(), 2u);
    EXPECT_EQ(both.Damage.Ranges[0].Begin, a.Offset);
    EXPECT_EQ(both.Damage.Ranges[1].Begin, b.Offset);
    EXPECT_NE(both.Damage.Text.find(" + "), std::string::npos);
    // Both offsets are the intact file's: the later place first, then the earlier one on that
    // result, gives the same bytes.
    const TDamaged later = ApplyDamage(intact, {b}, donor);
    EXPECT_EQ(ApplyDamage(later.Data, {a}, donor).Data, both.Data);
  }
}

INSTANTIATE_TEST_SUITE_P(Lab, TwoPlaces,
                         ::testing::Values(std::pair{TDamageKind::Zero, TDamageKind::Replace},
                                           std::pair{TDamageKind::Delete, TDamageKind::Insert},
                                           std::pair{TDamageKind::Insert, TDamageKind::Delete},
                                           std::pair{TDamageKind::Replace, TDamageKind::FlipBit},
                                           std::pair{TDamageKind::FlipBit, TDamageKind::Zero}));

TEST(Damage, RefusesPlacesThatOverlapOrLeaveTheFile) {
  const Bytes& intact = Intact();
  const size_t at = 8 * kClusterSize;
  const TDamagePlace zero{TDamageKind::Zero, at, kClusterSize};
  EXPECT_THROW(ApplyDamage(intact, {zero, {TDamageKind::Delete, at + 100, kClusterSize}}), std::invalid_argument);
  EXPECT_THROW(ApplyDamage(intact, {zero, {TDamageKind::FlipBit, at + kClusterSize - 1, 1, 3}}), std::invalid_argument);
  EXPECT_THROW(ApplyDamage(intact, {zero, {TDamageKind::Insert, at, kClusterSize}}, Donor()), std::invalid_argument);
  EXPECT_THROW(ApplyDamage(intact, {{TDamageKind::Zero, intact.size() - 10, kClusterSize}}), std::invalid_argument);
  EXPECT_THROW(ApplyDamage(intact, {{TDamageKind::Replace, at, kClusterSize, 0, Donor().size() - 5}}, Donor()),
               std::invalid_argument);
  // Places that only meet at a boundary are fine.
  EXPECT_NO_THROW(ApplyDamage(intact, {zero, {TDamageKind::Delete, at + kClusterSize, kClusterSize}}));
  // A photo whose scan data is shorter than a cluster has no place for whole clusters.
  TCameraPhotoOptions tiny;
  tiny.Width = tiny.Height = 16;
  tiny.Thumbnail = false;
  EXPECT_THROW(PickPlace(CameraPhoto(tiny), TDamageKind::Zero, 1), std::invalid_argument);
}

struct TouchCase {
  size_t First, Last;
  bool Touches;
};

class DamageTouches : public ::testing::TestWithParam<TouchCase> {};

// Damaged: bytes 100..199 and an insertion point before byte 300.
TEST_P(DamageTouches, RangesAndInsertionPoints) {
  TDamage d;
  d.Ranges = {{100, 200}, {300, 300}};
  const TouchCase& c = GetParam();
  EXPECT_EQ(d.Touches(c.First, c.Last), c.Touches) << c.First << ".." << c.Last;
}

INSTANTIATE_TEST_SUITE_P(Lab, DamageTouches,
                         ::testing::Values(TouchCase{50, 99, false}, TouchCase{50, 100, true}, TouchCase{150, 160, true},
                                           TouchCase{199, 250, true}, TouchCase{200, 250, false},
                                           TouchCase{250, 299, false},  // ends just before the insertion
                                           TouchCase{299, 300, true},   // straddles it
                                           TouchCase{300, 310, false},  // starts right after it
                                           TouchCase{0, 1000, true}));

}  // namespace
}  // namespace vt::test
