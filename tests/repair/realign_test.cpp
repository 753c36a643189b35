// The automatic realignment (--repair auto): photos without restart markers damaged in every
// way a card damages them show the data after the damage in its place and in its colours; a
// damaged restart interval gets its tail back; an intact photo is left exactly as it is, and a
// damaged one is only ever made better than the default open shows it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "jpeg/jpeg_map.h"
#include "repair/repair_fixture.h"

namespace vt::test {
namespace {

// The realignment puts each run's DC values back from the borders and the thumbnail; it cannot
// know them to the step, so a block whose mean is within two levels of the intact one counts as
// right here (a colour difference no one sees; a shifted or garbage block is tens of levels off).
TScoreTolerance Visual() {
  TScoreTolerance t;
  t.TileMean = 2.0;
  return t;
}

struct TAutoCase {
  const char* Damage;
  uint32_t Seed;
  bool Sample422;
};

void PrintTo(const TAutoCase& c, std::ostream* os) {
  *os << c.Damage << " " << c.Seed << (c.Sample422 ? " 4:2:2" : " 4:2:0");
}

class Realignment : public ::testing::TestWithParam<TAutoCase> {};

TEST_P(Realignment, PutsTheDataAfterTheDamageInItsPlace) {
  const TAutoCase& c = GetParam();
  const Bytes photo = CameraPhoto(PhotoOptions(TRestartKind::None, 5 + c.Seed, c.Sample422));
  const Bytes donor = CameraPhoto(PhotoOptions(TRestartKind::None, 31, c.Sample422));
  const TDamaged damaged = Damage(photo, c.Damage, c.Seed, donor);
  const TMcuScorer scorer(photo, Visual());
  const auto plain = OpenDamaged(damaged.Data, TvtRepair::None);
  const auto realigned = OpenDamaged(damaged.Data, TvtRepair::Auto);
  const TMcuScore before = scorer.Score(damaged.Damage, Shown(*plain));
  const TMcuScore after = scorer.Score(damaged.Damage, Shown(*realigned));
  EXPECT_GE(after.RightOfRecoverable(), 90.0) << damaged.Damage.Text;
  EXPECT_LE(after.WrongOfAll(), 2.0) << damaged.Damage.Text;
  EXPECT_GE(after.All.Right, before.All.Right) << damaged.Damage.Text;
  // What was done is reported, with where the damage starts.
  const repair::TRepairReport& report = realigned->Document->RepairReport;
  const TkelJpegWithThumbs& image = *plain->Document->Jpeg;
  if (image.DataErrors || image.DecodedPercent() < 100) {
    EXPECT_GE(report.FirstDamageMCU, 0) << damaged.Damage.Text;
    ASSERT_FALSE(report.Places.empty()) << damaged.Damage.Text;
    EXPECT_FALSE(report.Places.front().Evidence.empty());
  }
}

std::vector<TAutoCase> AutoCases() {
  std::vector<TAutoCase> cases;
  for (const char* d : {"zero", "replace", "delete", "insert", "flip"})
    for (uint32_t seed : {1u, 2u}) cases.push_back({d, seed, seed == 2});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Cards, Realignment, ::testing::ValuesIn(AutoCases()));

// Two damaged places: never worse than the default open, and nothing wrong where it shows less.
// A deleted cluster and an inserted one: the data between them decodes without an error, only
// displaced, and must be found and put back.
TEST(RealignmentTwoPlaces, IsNeverWorseThanTheDefault) {
  for (const char* kind : {"two", "delete+insert"}) {
    for (uint32_t seed : {1u, 2u}) {
    const Bytes photo = CameraPhoto(PhotoOptions(TRestartKind::None, 40 + seed));
    const Bytes donor = CameraPhoto(PhotoOptions(TRestartKind::None, 31));
    const TDamaged damaged = Damage(photo, kind, seed, donor);
    const TMcuScorer scorer(photo, Visual());
    const TMcuScore before = scorer.Score(damaged.Damage, Shown(*OpenDamaged(damaged.Data, TvtRepair::None)));
    const TMcuScore after = scorer.Score(damaged.Damage, Shown(*OpenDamaged(damaged.Data, TvtRepair::Auto)));
    EXPECT_GT(after.All.Right, before.All.Right) << damaged.Damage.Text;
    const bool displacedOnly = std::string(kind) == "delete+insert";
    EXPECT_LE(after.WrongOfAll(), displacedOnly ? 2.0 : std::max(2.0, before.WrongOfAll())) << damaged.Damage.Text;
    }
  }
}

// Every decoded block and offset of the picture, as bytes.
Bytes Coefficients(const TvtThumbSource& doc) {
  Bytes out;
  const TkelJpegWithThumbs& image = *doc.Jpeg;
  for (const auto& map : image.MCUs) {
    if (!map) continue;
    for (int32_t y = 0; y < map->Rows; ++y)
      for (int32_t x = 0; x < map->Columns; ++x)
        if (const TkelCoefBlock* b = map->Block(x, y)) {
          const auto* p = reinterpret_cast<const uint8_t*>(b->Coef);
          out.insert(out.end(), p, p + sizeof(b->Coef) + 1);
        }
  }
  return out;
}

// An intact photo of every kind comes out bit for bit as without the realignment, and no repair
// is reported.
TEST(RealignmentOfIntactPhotos, ChangesNothing) {
  for (TRestartKind restart : {TRestartKind::None, TRestartKind::OneMCU, TRestartKind::FourMCUs, TRestartKind::OneRow})
    for (bool sample422 : {false, true}) {
      const Bytes photo = CameraPhoto(PhotoOptions(restart, 3, sample422));
      const auto plain = OpenDamaged(photo, TvtRepair::None);
      const auto realigned = OpenDamaged(photo, TvtRepair::Auto);
      EXPECT_EQ(Coefficients(*plain->Document), Coefficients(*realigned->Document)) << RestartKindName(restart);
      const TBitmap32 a = Shown(*plain), b = Shown(*realigned);
      ASSERT_EQ(a.Width(), b.Width());
      ASSERT_EQ(a.Height(), b.Height());
      EXPECT_EQ(std::memcmp(a.ScanLine(0), b.ScanLine(0), size_t(a.Width()) * a.Height() * 4), 0);
      EXPECT_TRUE(realigned->Document->RepairReport.Places.empty());
      EXPECT_EQ(realigned->Document->RepairReport.FirstDamageMCU, -1);
    }
}

// One-row intervals: a zeroed cluster inside an interval. The default keeps the interval's MCUs
// decoded before the damage; the realignment also finds the rest of the interval after it, counts
// it back from the next marker, and gives it its colours.
TEST(RealignmentInsideAnInterval, RecoversTheTailOfTheInterval) {
  const Bytes photo = CameraPhoto(PhotoOptions(TRestartKind::OneRow, 23));
  const TDamaged damaged = Damage(photo, "zero", 3, {});
  const TMcuScorer scorer(photo, Visual());
  const TMcuScore before = scorer.Score(damaged.Damage, Shown(*OpenDamaged(damaged.Data, TvtRepair::None)));
  const TMcuScore after = scorer.Score(damaged.Damage, Shown(*OpenDamaged(damaged.Data, TvtRepair::Auto)));
  EXPECT_GT(after.OfRecoverable.Right, before.OfRecoverable.Right);
  EXPECT_GE(after.RightOfRecoverable(), 99.0);
  EXPECT_EQ(after.All.Wrong, 0);
}

}  // namespace
}  // namespace vt::test
