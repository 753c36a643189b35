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
