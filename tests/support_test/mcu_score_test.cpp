// The damage lab's scorer: an intact photo is right everywhere for our decoder and for libjpeg,
// a misplaced or miscoloured MCU is wrong, the MCUs whose data the damage left are the
// recoverable ones, and today's decoder is measured as it is.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/stream.h"
#include "jpeg/image.h"
#include "support/camera_photo.h"
#include "support/damage.h"
#include "support/mcu_score.h"
#include "viewer/thumb_source.h"

namespace vt::test {
namespace {

Bytes Photo(TRestartKind restart, bool sample422 = false, int quality = 92, uint32_t seed = 3) {
  TCameraPhotoOptions o;
  o.Restart = restart;
  o.Sample422 = sample422;
  o.Quality = quality;
  o.Seed = seed;
  o.Thumbnail = false;
  return CameraPhoto(o);
}

// The picture as the viewer's document shows it (holes transparent).
TBitmap32 AsShown(const Bytes& jpeg) {
  TTempMemoryStream stream;
  stream.SetPointer(jpeg.data(), int64_t(jpeg.size()));
  TvtThumbSource doc;
  doc.Load(nullptr, &stream, false, nullptr);
  return doc.HasImage() ? TBitmap32(*doc.MainImage()) : TBitmap32();
}

// Our decoder's picture after editing one coefficient block.
TBitmap32 WithDcChanged(const Bytes& jpeg, int component, int bx, int by, int steps) {
  TTempMemoryStream s;
  s.SetPointer(jpeg.data(), int64_t(jpeg.size()));
  TkelJpegImage image(0);
  EXPECT_EQ(image.LoadFromStream(s, pfNoRender, 0), jrOK);
  image.MCUs[component]->WritableBlock(bx, by)->Coef[0] = static_cast<int16_t>(image.MCUs[component]->Block(bx, by)->Coef[0] + steps);
  ++image.BlockEdits;
  std::unique_ptr<TBitmap32> bitmap;
  EXPECT_EQ(image.Render(bitmap, true, vmColor), jrOK);
  return bitmap ? *bitmap : TBitmap32();
}

int32_t Count(const TMcuScore& s, TMcuVerdict v) {
  return static_cast<int32_t>(std::count(s.Verdicts.begin(), s.Verdicts.end(), v));
}

struct PhotoCase {
  const char* Name;
  TRestartKind Restart;
  bool Sample422;
  int Quality;
};

void PrintTo(const PhotoCase& c, std::ostream* os) { *os << c.Name; }

const PhotoCase kPhotos[] = {{"none_420_q92", TRestartKind::None, false, 92},
                             {"one_mcu_422_q95", TRestartKind::OneMCU, true, 95},
                             {"four_mcus_420_q90", TRestartKind::FourMCUs, false, 90},
                             {"one_row_422_q92", TRestartKind::OneRow, true, 92}};

class IntactPhoto : public ::testing::TestWithParam<PhotoCase> {};

TEST_P(IntactPhoto, IsRightEverywhereForUsAndForLibjpeg) {
  const PhotoCase& c = GetParam();
  const Bytes jpeg = Photo(c.Restart, c.Sample422, c.Quality);
  const TMcuScorer scorer(jpeg);
  ASSERT_EQ(scorer.MCUWidth(), 16);
  ASSERT_EQ(scorer.MCUHeight(), c.Sample422 ? 8 : 16);
  const int64_t mcus = int64_t(scorer.Cols()) * scorer.Rows();
  const TDamage none;
  for (const TMcuScore& s : {scorer.Score(none, AsShown(jpeg)), scorer.ScoreLibjpeg(none, jpeg)}) {
    EXPECT_EQ(s.All.Total(), mcus);
    EXPECT_EQ(s.All.Right, mcus);
    EXPECT_EQ(s.OfRecoverable.Total(), mcus);
    EXPECT_DOUBLE_EQ(s.RightOfRecoverable(), 100.0);
    EXPECT_DOUBLE_EQ(s.WrongOfAll(), 0.0);
  }
  // Every MCU's data lies in the scan, one after the other.
  const TScanSpan span = ScanDataSpan(jpeg);
  for (int32_t i = 0; i < mcus; ++i) {
    ASSERT_GE(scorer.FirstByte(i), span.Begin);
    ASSERT_LT(scorer.LastByte(i), span.End);
    ASSERT_LE(scorer.FirstByte(i), scorer.LastByte(i));
    if (i > 0) {
      ASSERT_GE(scorer.FirstByte(i), scorer.LastByte(i - 1));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Lab, IntactPhoto, ::testing::ValuesIn(kPhotos),
                         [](const auto& info) { return std::string(info.param.Name); });

class ShiftedPicture : public ::testing::TestWithParam<int> {};

// MCU i shows what belongs to MCU i - shift (in reading order), as after a misplaced restart
// interval. Only where the picture is the same on both sides (the top of a clear sky, where a
// shift cannot be seen) may an MCU pass; those without a picture are holes.
TEST_P(ShiftedPicture, IsWrong) {
  const int shift = GetParam();
  const Bytes jpeg = Photo(TRestartKind::FourMCUs);
  const TMcuScorer scorer(jpeg);
  const TBitmap32 intact = AsShown(jpeg);
  TBitmap32 shifted(intact.Width(), intact.Height());
  const int32_t mw = scorer.MCUWidth(), mh = scorer.MCUHeight(), cols = scorer.Cols();
  for (int32_t to = shift; to < cols * scorer.Rows(); ++to) {
    const int32_t from = to - shift;
    for (int32_t y = 0; y < mh; ++y)
      for (int32_t x = 0; x < mw; ++x)
        shifted.SetPixel((to % cols) * mw + x, (to / cols) * mh + y, intact.Pixel((from % cols) * mw + x, (from / cols) * mh + y));
  }
  const TMcuScore s = scorer.Score({}, shifted);
  EXPECT_EQ(Count(s, TMcuVerdict::Hole), shift);
  EXPECT_GE(double(s.All.Wrong), 0.99 * double(s.All.Total() - shift));
  for (size_t i = 0; i < s.Verdicts.size(); ++i) {
    if (s.Verdicts[i] == TMcuVerdict::Right) {
      EXPECT_LT(int32_t(i) / cols, 4) << "MCU " << i << " is not in the sky";
    }
  }
}

// One MCU, one interval of four, one MCU row of 40.
INSTANTIATE_TEST_SUITE_P(Lab, ShiftedPicture, ::testing::Values(1, 4, 40));

struct DcCase {
  const char* Name;
  int Component;
  int Steps;
  int Quality;
};

void PrintTo(const DcCase& c, std::ostream* os) { *os << c.Name; }

class WrongDc : public ::testing::TestWithParam<DcCase> {};

// A block whose DC is a few quantisation steps off makes its MCU wrong and no other.
TEST_P(WrongDc, MakesItsMCUWrong) {
  const DcCase& c = GetParam();
  const Bytes jpeg = Photo(TRestartKind::None, false, c.Quality);
  const TMcuScorer scorer(jpeg);
  // Blocks in the lower half (ground and objects: no area clipped at black or white).
  const int perMcu = c.Component == 0 ? 2 : 1;
  for (const auto& [col, row] : {std::pair{5, 20}, std::pair{33, 26}, std::pair{17, 23}}) {
    SCOPED_TRACE("MCU " + std::to_string(col) + "," + std::to_string(row));
    const TMcuScore s = scorer.Score({}, WithDcChanged(jpeg, c.Component, col * perMcu + perMcu - 1, row * perMcu, c.Steps));
    EXPECT_EQ(s.Verdicts[size_t(row * scorer.Cols() + col)], TMcuVerdict::Wrong);
    EXPECT_EQ(s.All.Wrong, 1);
    EXPECT_EQ(s.All.Right, s.All.Total() - 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Lab, WrongDc,
                         ::testing::Values(DcCase{"luma_up_2_q90", 0, 2, 90}, DcCase{"luma_down_3_q95", 0, -3, 95},
                                           DcCase{"cb_up_3_q92", 1, 3, 92}, DcCase{"cr_down_3_q95", 2, -3, 95}),
                         [](const auto& info) { return std::string(info.param.Name); });

// The first MCU whose data the damage touches.
int32_t FirstTouched(const TMcuScorer& scorer, const TDamage& damage) {
  for (int32_t i = 0; i < scorer.Cols() * scorer.Rows(); ++i)
    if (damage.Touches(scorer.FirstByte(i), scorer.LastByte(i))) return i;
  return -1;
}

// Without restart markers our decoder stops at the first error today: everything after a
// zeroed cluster is lost although its data is intact, and the scorer says so.
TEST(Scorer, MeasuresTodaysDecoderOnAZeroedClusterWithoutRestartMarkers) {
  const Bytes jpeg = Photo(TRestartKind::None);
  const TMcuScorer scorer(jpeg);
  const TDamaged d = ZeroClusters(jpeg, PickPlace(jpeg, TDamageKind::Zero, 4).Offset / kClusterSize);
  const int32_t first = FirstTouched(scorer, d.Damage);
  ASSERT_GT(first, 0);
  const int32_t mcus = scorer.Cols() * scorer.Rows();
  int32_t recoverable = 0;
  for (int32_t i = 0; i < mcus; ++i) recoverable += d.Damage.Touches(scorer.FirstByte(i), scorer.LastByte(i)) ? 0 : 1;
  ASSERT_LT(recoverable, mcus);
  ASSERT_GT(recoverable - first, 100);  // intact data after the damage

  for (const bool ours : {true, false}) {
    SCOPED_TRACE(ours ? "ours" : "libjpeg");
    const TMcuScore s = ours ? scorer.Score(d.Damage, AsShown(d.Data)) : scorer.ScoreLibjpeg(d.Damage, d.Data);
    EXPECT_EQ(s.OfRecoverable.Total(), recoverable);
    for (int32_t i = 0; i < mcus; ++i) {
      EXPECT_EQ(s.Recoverable[size_t(i)] != 0, !d.Damage.Touches(scorer.FirstByte(i), scorer.LastByte(i)));
      // Before the damage everything is right; from it on nothing is.
      if (i < first) {
        ASSERT_EQ(s.Verdicts[size_t(i)], TMcuVerdict::Right) << "MCU " << i;
      } else {
        ASSERT_NE(s.Verdicts[size_t(i)], TMcuVerdict::Right) << "MCU " << i;
      }
    }
    EXPECT_EQ(s.OfRecoverable.Right, first);
  }
}

// With a restart marker at every MCU row both decoders pick up at the next marker: the rows
// after the damaged one are right again, and the MCUs between the damage and that marker are
// recoverable but not shown.
TEST(Scorer, CreditsTheIntervalsAfterADamagedOne) {
  const Bytes jpeg = Photo(TRestartKind::OneRow);
  const TMcuScorer scorer(jpeg);
  const TDamaged d = ZeroClusters(jpeg, PickPlace(jpeg, TDamageKind::Zero, 2).Offset / kClusterSize);
  const int32_t first = FirstTouched(scorer, d.Damage);
  ASSERT_GE(first, 0);
  int32_t last = first;
  while (last + 1 < scorer.Cols() * scorer.Rows() && d.Damage.Touches(scorer.FirstByte(last + 1), scorer.LastByte(last + 1))) ++last;
  const int32_t resume = (last / scorer.Cols() + 1) * scorer.Cols();  // the first MCU of the next row
  for (const bool ours : {true, false}) {
    SCOPED_TRACE(ours ? "ours" : "libjpeg");
    const TMcuScore s = ours ? scorer.Score(d.Damage, AsShown(d.Data)) : scorer.ScoreLibjpeg(d.Damage, d.Data);
    for (int32_t i = 0; i < scorer.Cols() * scorer.Rows(); ++i) {
      if (i < first || i >= resume) {
        ASSERT_EQ(s.Verdicts[size_t(i)], TMcuVerdict::Right) << "MCU " << i;
      }
      if (i > last && i < resume) {
        ASSERT_TRUE(s.Recoverable[size_t(i)]) << "MCU " << i;
        ASSERT_NE(s.Verdicts[size_t(i)], TMcuVerdict::Right) << "MCU " << i;
      }
    }
    EXPECT_EQ(s.OfRecoverable.Right, s.OfRecoverable.Total() - (resume - 1 - last));
  }
}

// A file cut short: libjpeg shows flat grey where its data ended, we show holes; both count as
// holes, not as wrong MCUs.
TEST(Scorer, CountsWhatNoDataReachedAsHoles) {
  const Bytes jpeg = Photo(TRestartKind::None);
  const TMcuScorer scorer(jpeg);
  const TScanSpan span = ScanDataSpan(jpeg);
  const size_t cut = span.Begin + span.Size() / 2;
  const TDamaged d = ApplyDamage(jpeg, {{TDamageKind::Delete, cut, span.End - cut}});
  const int32_t first = FirstTouched(scorer, d.Damage);
  ASSERT_GT(first, 0);
  const int32_t mcus = scorer.Cols() * scorer.Rows();
  for (const bool ours : {true, false}) {
    SCOPED_TRACE(ours ? "ours" : "libjpeg");
    const TMcuScore s = ours ? scorer.Score(d.Damage, AsShown(d.Data)) : scorer.ScoreLibjpeg(d.Damage, d.Data);
    EXPECT_EQ(s.OfRecoverable.Total(), first);
    EXPECT_EQ(s.OfRecoverable.Right, first);
    // The MCU the cut goes through may show a part of itself; everything after it is a hole.
    for (int32_t i = first + 1; i < mcus; ++i) ASSERT_EQ(s.Verdicts[size_t(i)], TMcuVerdict::Hole) << "MCU " << i;
    EXPECT_DOUBLE_EQ(s.RightOfRecoverable(), 100.0);
    EXPECT_LE(s.All.Wrong, 1);
  }
}

}  // namespace
}  // namespace vt::test
