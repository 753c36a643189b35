// Restart intervals placed by counting, as every open does: camera-like photos with restart
// intervals of one MCU, four MCUs and one row, damaged in every way a card damages them, show
// every surviving interval in its place; gaps of eight intervals (which the marker number alone
// cannot see) and nine; damage in the last interval and before the first marker; a photo whose
// header was destroyed, opened with a reference photo.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "repair/repair_fixture.h"

namespace vt::test {
namespace {

struct TDamageCase {
  TRestartKind Restart;
  const char* Damage;
  uint32_t Seed;
};

void PrintTo(const TDamageCase& c, std::ostream* os) {
  *os << RestartKindName(c.Restart) << " " << c.Damage << " " << c.Seed;
}

class IntervalPlacement : public ::testing::TestWithParam<TDamageCase> {};

TEST_P(IntervalPlacement, ShowsEverySurvivingIntervalInItsPlace) {
  const TDamageCase& c = GetParam();
  const Bytes photo = CameraPhoto(PhotoOptions(c.Restart, 5));
  const Bytes donor = CameraPhoto(PhotoOptions(c.Restart, 11));
  const TDamaged damaged = Damage(photo, c.Damage, c.Seed, donor);
  const auto opened = OpenDamaged(damaged.Data, TvtRepair::None);
  const TMcuScore score = TMcuScorer(photo).Score(damaged.Damage, Shown(*opened));
  // Right: every interval whose data survived, and the MCUs of a damaged interval decoded before
  // the damage. The rest of a damaged interval is recoverable only by the realignment: with
  // intervals of one row (64 MCUs in these photos, 1/48 of the picture) each damaged place can
  // leave most of a row's tail behind.
  const double minRight = c.Restart == TRestartKind::OneRow ? 95.0 : 99.0;
  EXPECT_GE(score.RightOfRecoverable(), minRight) << damaged.Damage.Text;
  EXPECT_LE(score.WrongOfAll(), 0.5) << damaged.Damage.Text;
  const TkelJpegWithThumbs& image = *opened->Document->Jpeg;
  if (image.DataErrors || image.BytesBeforeRestarts > 0 || image.DecodedPercent() < 100)
    EXPECT_GE(opened->Document->RepairReport.FirstDamageMCU, 0) << "a damaged scan reports where the damage starts";
}

std::vector<TDamageCase> DamageCases() {
  std::vector<TDamageCase> cases;
  for (TRestartKind r : {TRestartKind::OneMCU, TRestartKind::FourMCUs, TRestartKind::OneRow})
    for (const char* d : {"zero", "replace", "delete", "insert", "flip", "two", "replace+flip"})
      for (uint32_t seed : {1u, 2u}) cases.push_back({r, d, seed});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Cards, IntervalPlacement, ::testing::ValuesIn(DamageCases()));

// The data of each interval of the scan: where it starts (after the scan header or a restart
// marker) and where its marker ends it.
std::vector<std::pair<size_t, size_t>> Intervals(const Bytes& jpeg) {
  const TScanSpan span = ScanDataSpan(jpeg);
  std::vector<std::pair<size_t, size_t>> out;
  size_t begin = span.Begin;
  for (size_t i = span.Begin; i + 1 < span.End; ++i)
    if (jpeg[i] == 0xFF && jpeg[i + 1] >= 0xD0 && jpeg[i + 1] <= 0xD7) {
      out.emplace_back(begin, i);
      begin = i + 2;
    }
  out.emplace_back(begin, span.End);
  return out;
}

class IntervalGap : public ::testing::TestWithParam<int> {};

// The data of `gap` whole intervals and their markers missing from the middle of the scan: the
// marker after the gap follows the one before it when the gap is a multiple of eight, so only
// the count (and the thumbnail, which shows where the rest belongs) puts the rest in its place.
TEST_P(IntervalGap, PutsTheRestInItsPlace) {
  const int gap = GetParam();
  const Bytes photo = CameraPhoto(PhotoOptions(TRestartKind::OneMCU, 7));
  const auto intervals = Intervals(photo);
  const size_t a = intervals.size() / 2;
  TDamagePlace place;
  place.Kind = TDamageKind::Delete;
  place.Offset = intervals[a].first;
  place.Length = intervals[a + static_cast<size_t>(gap)].first - intervals[a].first;
  const TDamaged damaged = ApplyDamage(photo, {place});
  const auto opened = OpenDamaged(damaged.Data, TvtRepair::None);
  const TMcuScore score = TMcuScorer(photo).Score(damaged.Damage, Shown(*opened));
  EXPECT_EQ(score.All.Wrong, 0);
  EXPECT_EQ(score.All.Hole, gap);
  EXPECT_EQ(score.All.Right, score.All.Total() - gap);
}

INSTANTIATE_TEST_SUITE_P(Cards, IntervalGap, ::testing::Values(8, 9, 16));

// Bytes zeroed inside the last interval, and inside the first (before any restart marker): the
// intervals around are right, and what the damage reached is a hole, never garbage.
TEST(IntervalEdges, DamageInTheFirstAndTheLastIntervalLeavesHolesOnly) {
  for (TRestartKind restart : {TRestartKind::FourMCUs, TRestartKind::OneRow}) {
    const Bytes photo = CameraPhoto(PhotoOptions(restart, 9));
    const auto intervals = Intervals(photo);
    for (size_t which : {size_t{0}, intervals.size() - 1}) {
      const auto [begin, end] = intervals[which];
      TDamagePlace place;
      place.Kind = TDamageKind::Zero;
      place.Offset = begin + (end - begin) / 3;
      place.Length = std::max<size_t>(1, (end - begin) / 3);
      const TDamaged damaged = ApplyDamage(photo, {place});
      const auto opened = OpenDamaged(damaged.Data, TvtRepair::None);
      const TMcuScore score = TMcuScorer(photo).Score(damaged.Damage, Shown(*opened));
      std::string wrongAt;
      for (size_t i = 0; i < score.Verdicts.size(); ++i)
        if (score.Verdicts[i] == TMcuVerdict::Wrong) wrongAt += " " + std::to_string(i);
      EXPECT_EQ(score.All.Wrong, 0) << RestartKindName(restart) << " interval " << which << " of " << intervals.size() << ":" << wrongAt;
      EXPECT_GE(score.RightOfRecoverable(), 98.0) << RestartKindName(restart) << " interval " << which;
    }
  }
}

// A photo whose first clusters (its headers and the start of its data) read as zeros, opened with
// an intact photo of the same camera as the reference: the rows that survive go where the count
// of intervals back from the end puts them, not near the top where their marker numbers would.
TEST(ReferenceHeader, PlacesTheSurvivingRowsByCounting) {
  const Bytes photo = CameraPhoto(PhotoOptions(TRestartKind::FourMCUs, 13));
  const Bytes reference = CameraPhoto(PhotoOptions(TRestartKind::FourMCUs, 17));
  const TDamaged damaged = ZeroClusters(photo, 0, 6);
  const std::string path = TempPath(".jpg"), refPath = TempPath(".jpg");
  WriteBytes(path, damaged.Data);
  WriteBytes(refPath, reference);
  TvtDiscSource source;
  TvtThumbSource doc;
  TvtOpenOptions options;
  options.References = {refPath};
  const TvtOpened opened = OpenDocument(source, doc, path, options);
  ASSERT_NE(opened.Item, nullptr) << opened.Error;
  ASSERT_TRUE(doc.HasImage());
  const TMcuScore score = TMcuScorer(photo).Score(damaged.Damage, *doc.MainImage());
  EXPECT_GE(score.RightOfRecoverable(), 99.0);
  EXPECT_LE(score.WrongOfAll(), 0.5);
}

}  // namespace
}  // namespace vt::test
