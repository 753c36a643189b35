// vantrelle-cli info: keys and values for known files, several files, exit statuses.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/test_support.h"

namespace vt::test {
namespace {

using nlohmann::json;

std::string Cli() { return VT_CLI; }

int Info(const std::string& args, std::string* out) {
  return RunCommand(Quote(Cli()) + " info " + args + " 2>" + Quote(TempPath(".err")), out);
}

std::string WriteJpeg(const std::string& args, int w, int h, bool grey = false) {
  const std::string path = TempPath(".jpg");
  WriteBytes(path, Cjpeg(args, w, h, grey));
  return path;
}

struct InfoCase {
  const char* Args;
  int Width, Height;
  bool Grey;
  int Process, ColorModel, Components, McuW, McuH, Restart;
};

class InfoKeysTest : public ::testing::TestWithParam<InfoCase> {};

TEST_P(InfoKeysTest, KeysDescribeTheFile) {
  const InfoCase& c = GetParam();
  const std::string path = WriteJpeg(c.Args, c.Width, c.Height, c.Grey);
  std::string out;
  ASSERT_EQ(Info("--json " + Quote(path), &out), 0);
  const json j = json::parse(out);
  EXPECT_EQ(j["file"], path);
  EXPECT_EQ(j["result"]["code"], 0);
  EXPECT_EQ(j["result"]["name"], "jrOK");
  EXPECT_EQ(j["decoded_percent"], 100);
  EXPECT_EQ(j["width"], c.Width);
  EXPECT_EQ(j["height"], c.Height);
  EXPECT_EQ(j["process"], c.Process);
  EXPECT_EQ(j["color_model"], c.ColorModel);
  EXPECT_EQ(j["components"], c.Components);
  EXPECT_EQ(j["mcu"]["width"], c.McuW);
  EXPECT_EQ(j["mcu"]["height"], c.McuH);
  EXPECT_EQ(j["mcu"]["cols"], (c.Width + c.McuW - 1) / c.McuW);
  EXPECT_EQ(j["mcu"]["rows"], (c.Height + c.McuH - 1) / c.McuH);
  EXPECT_EQ(j["restart_interval"], c.Restart);
  EXPECT_EQ(j["data_errors"], false);
}

INSTANTIATE_TEST_SUITE_P(
    Cjpeg, InfoKeysTest,
    ::testing::Values(InfoCase{"-sample 2x2", 100, 75, false, 0xC0, 5, 3, 16, 16, 0},
                      InfoCase{"-sample 2x1 -restart 2B", 33, 20, false, 0xC0, 5, 3, 16, 8, 2},
                      InfoCase{"-progressive -sample 1x1", 40, 41, false, 0xC2, 5, 3, 8, 8, 0},
                      InfoCase{"-optimize", 30, 20, true, 0xC0, 1, 1, 8, 8, 0},
                      InfoCase{"-rgb -sample 1x1", 16, 16, false, 0xC0, 3, 3, 8, 8, 0}));

TEST(InfoCommand, DamagedFileReportsErrorsAndPercent) {
  Bytes jpeg = Cjpeg("-sample 2x2 -restart 1", 64, 64);
  // Truncate in the middle of the data.
  jpeg.resize(jpeg.size() * 2 / 3);
  const std::string path = TempPath(".jpg");
  WriteBytes(path, jpeg);
  std::string out;
  ASSERT_EQ(Info("--json " + Quote(path), &out), 0);
  const json j = json::parse(out);
  EXPECT_EQ(j["result"]["name"], "jrEndOfData");
  EXPECT_GT(j["decoded_percent"].get<int>(), 0);
  EXPECT_LT(j["decoded_percent"].get<int>(), 100);
}

TEST(InfoCommand, SeveralFilesGiveAnArrayAndProgressGoesToStderr) {
  const std::string a = WriteJpeg("-sample 2x2", 20, 20), b = WriteJpeg("-sample 1x1", 24, 8);
  std::string out;
  ASSERT_EQ(Info("--json " + Quote(a) + " " + Quote(b), &out), 0);
  const json j = json::parse(out);  // stdout carries nothing but the results
  ASSERT_TRUE(j.is_array());
  ASSERT_EQ(j.size(), 2u);
  EXPECT_EQ(j[0]["file"], a);
  EXPECT_EQ(j[1]["width"], 24);
}

TEST(InfoCommand, TextOutputNamesFileAndKeys) {
  const std::string path = WriteJpeg("-sample 2x2", 20, 12);
  std::string out;
  ASSERT_EQ(Info(Quote(path), &out), 0);
  EXPECT_EQ(out.rfind(path + "\n", 0), 0u) << out;
  EXPECT_NE(out.find("width: 20"), std::string::npos) << out;
  EXPECT_NE(out.find("name=jrOK"), std::string::npos) << out;
}

TEST(InfoCommand, ExitStatuses) {
  const std::string good = WriteJpeg("-sample 2x2", 20, 20);
  const std::string missing = TempPath(".jpg");
  const std::string notJpeg = TempPath(".txt");
  WriteBytes(notJpeg, Bytes{'h', 'e', 'l', 'l', 'o'});
  std::string out;
  const std::string err = TempPath(".err");
  EXPECT_EQ(RunCommand(Quote(Cli()) + " info --json " + Quote(good) + " " + Quote(missing) + " 2>" + Quote(err), &out), 1);
  const Bytes errBytes = ReadBytes(err);
  const std::string message(errBytes.begin(), errBytes.end());
  EXPECT_NE(message.find(missing), std::string::npos) << message;
  EXPECT_EQ(json::parse(out).size(), 2u);  // the readable file is still reported
  EXPECT_EQ(Info(Quote(notJpeg), &out), 1);
  EXPECT_EQ(Info("", &out), 2);
  EXPECT_EQ(Info("--no-such-option " + Quote(good), &out), 2);
}

}  // namespace
}  // namespace vt::test
