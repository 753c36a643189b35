// vantrelle-cli info on a file whose main frame cannot be read but which still holds an Exif
// thumbnail: the viewer would open it (the thumbnail is all there is), so it counts as processed.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/test_support.h"

namespace vt {
namespace {

TEST(InfoExit, ThumbnailOnlyFileIsProcessedWithANoteAboutTheFrame) {
  if (std::string(VT_EXIFTOOL).empty()) GTEST_SKIP() << "exiftool is not installed";
  const std::string big = test::TempPath(".jpg"), small = test::TempPath(".jpg");
  test::WriteBytes(big, test::Cjpeg("-quality 85", 320, 240));
  test::WriteBytes(small, test::Cjpeg("-quality 80", 80, 60, false, 3));
  ASSERT_EQ(test::RunCommand(std::string(VT_EXIFTOOL) + " -q -overwrite_original " +
                             test::Quote("-ThumbnailImage<=" + small) + " " + test::Quote(big)),
            0);
  test::Bytes bytes = test::ReadBytes(big);
  // Zero the frame's width: the SOF is refused, no frame is read, nothing of the main image decodes.
  size_t sof = 2;
  while (sof + 4 < bytes.size() && !(bytes[sof] == 0xFF && bytes[sof + 1] == 0xC0))
    sof += 2 + (bytes[sof + 2] << 8 | bytes[sof + 3]);
  ASSERT_LT(sof + 9, bytes.size());
  bytes[sof + 7] = 0;
  bytes[sof + 8] = 0;
  test::WriteBytes(big, bytes);

  std::string out;
  const std::string cmd = std::string(VT_CLI) + " info --json " + test::Quote(big) + " 2>/dev/null";
  EXPECT_EQ(test::RunCommand(cmd, &out), 0);
  const auto info = nlohmann::json::parse(out);
  EXPECT_EQ(info["decoded_percent"], 0);
  ASSERT_EQ(info["thumbnails"].size(), 1u);
  EXPECT_EQ(info["thumbnails"][0]["width"], 80);
  EXPECT_TRUE(info["broken"].get<bool>());

  std::string err;
  test::RunCommand(std::string(VT_CLI) + " info " + test::Quote(big) + " 2>&1 >/dev/null", &err);
  EXPECT_NE(err.find("no JPEG frame could be read"), std::string::npos) << err;
}

}  // namespace
}  // namespace vt

namespace vt {
namespace {

// Arithmetic coding is an unsupported process: nothing decodes and the viewer finds no image,
// but info still describes the frame that the decoder read.
TEST(InfoExit, InvalidImageStillDescribesItsFrame) {
  const std::string path = test::TempPath(".jpg");
  test::WriteBytes(path, test::Cjpeg("-arithmetic -quality 80", 40, 24));
  std::string out, err;
  EXPECT_EQ(test::RunCommand(std::string(VT_CLI) + " info --json " + test::Quote(path) + " 2>/dev/null", &out), 1);
  const auto info = nlohmann::json::parse(out);
  EXPECT_EQ(info["width"], 40);
  EXPECT_EQ(info["height"], 24);
  EXPECT_EQ(info["process"], 0xC9);
  EXPECT_EQ(info["decoded_percent"], 0);
  EXPECT_EQ(info["result"]["name"], "jrBadStructure");
  test::RunCommand(std::string(VT_CLI) + " info " + test::Quote(path) + " 2>&1 >/dev/null", &err);
  EXPECT_NE(err.find("Invalid image."), std::string::npos) << err;
}

}  // namespace
}  // namespace vt
