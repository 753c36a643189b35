// The command line opens files the way the viewer does, through the disc source.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include <nlohmann/json.hpp>

#include "support/test_support.h"

namespace vt {
namespace {

using test::Bytes;

int cli(const std::string& args, std::string* output) {
  return test::RunCommand("timeout 20 " + std::string(VT_CLI) + " " + args + " 2>&1", output);
}

struct BadInput {
  const char* kind;
  const char* reason;  // what the message says after "Invalid image."
};

class CliInvalidImage : public ::testing::TestWithParam<BadInput> {};

TEST_P(CliInvalidImage, ThumbsSaysInvalidImageWhyAndFails) {
  const std::string kind = GetParam().kind;
  std::string path;
  if (kind == "missing") {
    path = test::TempPath(".jpg");
  } else if (kind == "directory") {
    path = test::TempDir();
  } else if (kind == "empty") {
    path = test::TempPath(".jpg");
    test::WriteBytes(path, {});
  } else if (kind == "junk") {
    Bytes jpeg = test::Cjpeg("-quality 80", 32, 32);
    jpeg.insert(jpeg.begin(), 5, 0x20);
    path = test::TempPath(".jpg");
    test::WriteBytes(path, jpeg);
  } else if (kind == "fifo") {
    path = test::TempPath(".fifo");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  } else if (kind == "device") {
    path = "/dev/zero";
  } else if (kind == "undecodable") {
    // A start of image, then bytes that are no marker segment.
    path = test::TempPath(".jpg");
    test::WriteBytes(path, {0xFF, 0xD8, 0xFF, 0x00, 0x12, 0x34, 0x56});
  }
  std::string prefix;
  if (kind == "unreadable") {
    path = test::TempPath(".jpg");
    test::WriteBytes(path, test::Cjpeg("-quality 80", 32, 32));
    chmod(path.c_str(), 0);
    // Root reads every file: run the command as nobody then.
    if (geteuid() == 0) {
      if (test::RunCommand("command -v setpriv >/dev/null") != 0) GTEST_SKIP() << "needs setpriv when run as root";
      prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    }
  }
  std::string out;
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(test::RunCommand("timeout 20 " + prefix + std::string(VT_CLI) + " thumbs " + test::Quote(path) + " 2>&1", &out), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10)) << "blocked on " << kind;
  EXPECT_NE(out.find(path + ": Invalid image. (" + GetParam().reason), std::string::npos) << out;
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, CliInvalidImage,
    ::testing::Values(BadInput{"missing", "No such file"}, BadInput{"directory", "Is a directory"},
                      BadInput{"empty", "the file is empty"},
                      BadInput{"junk", "the file does not begin with a JPEG start-of-image marker"},
                      BadInput{"fifo", "Not a regular file: a named pipe"}, BadInput{"device", "Not a regular file: a device"},
                      BadInput{"undecodable", "nothing of the image could be decoded"},
                      BadInput{"unreadable", "Permission denied"}),
    [](const auto& info) { return std::string(info.param.kind); });

TEST(CliSource, ThumbsOfAnIntactFileStillListsItsThumbnail) {
  std::string out;
  ASSERT_EQ(cli("thumbs " + test::Quote(test::CorpusPath("pil-flower.jpg")), &out), 0) << out;
  EXPECT_NE(out.find("1 thumbnail(s)"), std::string::npos) << out;
  EXPECT_NE(out.find("160x120"), std::string::npos) << out;
}

TEST(CliSource, InfoJsonNamesTheFoldersAndWhetherTheItemIsBroken) {
  const std::string intact = test::TempPath(".jpg");
  test::WriteBytes(intact, test::Cjpeg("-quality 85", 1024, 768));
  ASSERT_EQ(test::RunCommand(std::string(VT_EXIFTOOL) + " -q -overwrite_original -Make=Acme -Model=Z1 "
                             "-DateTimeOriginal='2019:05:06 07:08:09' " + test::Quote(intact) + " >/dev/null 2>&1"),
            0);
  Bytes cut = test::Cjpeg("-quality 85", 200, 100);
  cut.resize(cut.size() * 2 / 3);
  const std::string truncated = test::TempPath(".jpg");
  test::WriteBytes(truncated, cut);
  const std::string junk = test::TempPath(".jpg");
  test::WriteBytes(junk, {0x00, 0xFF, 0xD8, 0xFF, 0xD9});

  std::string out;
  const std::string args = "info --json " + test::Quote(intact) + " " + test::Quote(truncated) + " " + test::Quote(junk);
  EXPECT_EQ(test::RunCommand(std::string(VT_CLI) + " " + args + " 2>/dev/null", &out), 1) << "one file is invalid";
  const auto all = nlohmann::json::parse(out);
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0]["folders"], nlohmann::json({"All", "Size/Large", "Camera/Acme - Z1", "Date/2019"}));
  EXPECT_EQ(all[0]["broken"], false);
  EXPECT_EQ(all[0]["decoded_percent"], 100);
  EXPECT_EQ(all[1]["folders"], nlohmann::json({"All", "Size/Small", "Camera/Undefined", "Date/Undefined", "Broken"}));
  EXPECT_EQ(all[1]["broken"], true);
  EXPECT_GT(all[1]["decoded_percent"].get<int>(), 0);
  EXPECT_LT(all[1]["decoded_percent"].get<int>(), 100);
  EXPECT_EQ(all[2]["folders"], nlohmann::json::array());
  EXPECT_FALSE(all[2].contains("broken"));

  std::string err;
  cli("info " + test::Quote(junk), &err);
  EXPECT_NE(err.find(junk + ": Invalid image."), std::string::npos) << err;
}

TEST(CliSource, InfoJsonStaysValidForACameraNameThatIsNotUtf8) {
  const std::string path = test::TempPath(".jpg");
  test::WriteBytes(path, test::Cjpeg("-quality 85", 64, 64));
  ASSERT_EQ(test::RunCommand(std::string(VT_EXIFTOOL) + " -q -overwrite_original -Make=\"$(printf 'Ca\\351non')\" " +
                             test::Quote(path) + " >/dev/null 2>&1"),
            0);
  std::string out;
  ASSERT_EQ(test::RunCommand(std::string(VT_CLI) + " info --json " + test::Quote(path), &out), 0);
  const auto info = nlohmann::json::parse(out);
  EXPECT_EQ(info["folders"][2], "Camera/Ca\u00e9non");
}

}  // namespace
}  // namespace vt
