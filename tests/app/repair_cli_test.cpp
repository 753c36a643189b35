// --repair auto on the commands: info tells where the damage starts and what each repair did
// (byte offsets in the file), render and restore show the realigned picture, and an intact file
// comes out of every command exactly as without the option.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <string>

#include "base/stream.h"
#include "bitmap/bitmap32.h"
#include "support/camera_photo.h"
#include "support/damage.h"
#include "support/mcu_score.h"
#include "support/test_support.h"

namespace vt::test {
namespace {

using nlohmann::json;

int Cli(const std::string& args, std::string* out = nullptr) {
  return RunCommand(Quote(VT_CLI) + " " + args + " 2>" + Quote(TempPath(".err")), out);
}

TCameraPhotoOptions Options(TRestartKind restart) {
  TCameraPhotoOptions o;
  o.Width = 800;
  o.Height = 600;
  o.Seed = 21;
  o.Restart = restart;
  return o;
}

TEST(RepairCli, InfoReportsWhereTheDamageStartsAndWhatTheRealignmentDid) {
  const Bytes photo = CameraPhoto(Options(TRestartKind::None));
  const TDamaged damaged = ZeroClusters(photo, 20);
  const std::string path = TempPath(".jpg");
  WriteBytes(path, damaged.Data);
  std::string out, outAuto;
  ASSERT_EQ(Cli("info --json " + Quote(path), &out), 0);
  const json plain = json::parse(out);
  ASSERT_TRUE(plain.contains("first_damage"));
  EXPECT_FALSE(plain.contains("repairs"));
  // The zeros start at cluster 20; the damage is found there (within the MCU that reaches them).
  const int64_t byte = plain["first_damage"]["byte"];
  EXPECT_LE(byte, int64_t(20 * kClusterSize));
  EXPECT_GT(byte, int64_t(19 * kClusterSize));
  ASSERT_EQ(Cli("info --json --repair auto " + Quote(path), &outAuto), 0);
  const json fixed = json::parse(outAuto);
  ASSERT_TRUE(fixed.contains("repairs"));
  ASSERT_EQ(fixed["repairs"].size(), 1u);
  const json& r = fixed["repairs"][0];
  EXPECT_EQ(r["first_mcu"], plain["first_damage"]["mcu"]);
  // Intact data is found again right after the zeroed cluster, counted back from the end.
  EXPECT_GE(int64_t(r["resume"]["byte"]), int64_t(21 * kClusterSize));
  EXPECT_LT(int64_t(r["resume"]["byte"]), int64_t(21 * kClusterSize) + 512);
  EXPECT_GT(int(r["resumed_mcus"]), 0);
  EXPECT_EQ(r["dc_correction"].size(), 3u);
  EXPECT_NE(std::string(r["evidence"]).find("counted back"), std::string::npos);
}

TEST(RepairCli, RenderAndRestoreShowTheRealignedPicture) {
  const Bytes photo = CameraPhoto(Options(TRestartKind::None));
  const TDamaged damaged = DeleteClusters(photo, 15);
  const std::string path = TempPath(".jpg"), bmp = TempPath(".bmp"), jpg = TempPath(".jpg");
  WriteBytes(path, damaged.Data);
  TScoreTolerance tolerance;
  tolerance.TileMean = 2.0;  // DC constants found from the borders and the thumbnail
  const TMcuScorer scorer(photo, tolerance);
  ASSERT_EQ(Cli("restore --thumb none --repair auto -o " + Quote(jpg) + " " + Quote(path)), 0);
  // The restored file holds the realigned blocks: libjpeg shows them.
  const RefImage restored = LibjpegDecode(ReadBytes(jpg));
  ASSERT_TRUE(restored.Ok);
  TBitmap32 shown(restored.Width, restored.Height);
  for (int y = 0; y < restored.Height; ++y)
    for (int x = 0; x < restored.Width; ++x) {
      const uint8_t* p = &restored.Pixels[(size_t(y) * restored.Width + x) * 3];
      shown.SetPixel(x, y, Color32(p[0], p[1], p[2]));
    }
  // Read back by libjpeg: judged as libjpeg's own pictures are (its holes are grey, not missing).
  const TMcuScore score = scorer.ScorePeer(damaged.Damage, shown);
  EXPECT_GE(score.RightOfRecoverable(), 90.0);
  // render shows the same realigned blocks, its holes transparent.
  ASSERT_EQ(Cli("render --repair auto --format bmp -o " + Quote(bmp) + " " + Quote(path)), 0);
  TBitmap32 rendered;
  TFileStream file(bmp, TFileStream::fmOpenRead);
  rendered.LoadFromStream(file);
  const TMcuScore renderScore = scorer.Score(damaged.Damage, rendered);
  EXPECT_GE(renderScore.RightOfRecoverable(), 90.0);
  EXPECT_LE(renderScore.WrongOfAll(), 2.0);
  EXPECT_LE(std::abs(renderScore.OfRecoverable.Right - score.OfRecoverable.Right), score.OfRecoverable.Total() / 100);
}

TEST(RepairCli, AnIntactFileComesOutOfEveryCommandAsWithoutTheOption) {
  for (TRestartKind restart : {TRestartKind::None, TRestartKind::FourMCUs}) {
    const std::string path = TempPath(".jpg");
    WriteBytes(path, CameraPhoto(Options(restart)));
    for (const char* command : {"render --format bmp", "restore --thumb none"}) {
      const std::string a = TempPath(".out"), b = TempPath(".out");
      ASSERT_EQ(Cli(std::string(command) + " -o " + Quote(a) + " " + Quote(path)), 0);
      ASSERT_EQ(Cli(std::string(command) + " --repair auto -o " + Quote(b) + " " + Quote(path)), 0);
      EXPECT_EQ(ReadBytes(a), ReadBytes(b)) << command << " " << RestartKindName(restart);
    }
    std::string out;
    ASSERT_EQ(Cli("info --json --repair auto " + Quote(path), &out), 0);
    const json j = json::parse(out);
    EXPECT_FALSE(j.contains("first_damage"));
    EXPECT_TRUE(j["repairs"].empty());
  }
}

}  // namespace
}  // namespace vt::test
