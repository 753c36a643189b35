// vantrelle-cli thumbs: the listing as JSON and the files written with -o.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "bitmap/bitmap32.h"
#include "segment_builder.h"

namespace vt {
namespace {

using test::Bytes;
using test::Cat;
using test::Quote;
using test::RunCommand;
using test::Segment;
using test::Str;

std::string Cli(const std::string& args, int* status = nullptr) {
  std::string out;
  const int rc = RunCommand(std::string(VT_CLI) + " " + args, &out);
  if (status) *status = rc;
  return out;
}

TEST(ThumbsCommand, ListsLargestFirstAndWritesJpegBytesAndBitmaps) {
  // A JFIF RGB thumbnail (written as .bmp), an Exif JPEG thumbnail (written as .jpg) and a second
  // Multi-Picture image after the main one (written as .jpg from the file's bytes).
  const std::string dir = test::TempPath("-out");
  const std::string a = test::WritePhotoLikePnm(200, 150, false, 3);
  const std::string b = test::WritePhotoLikePnm(120, 90, false, 4);
  const std::string small = test::TempPath(".jpg");
  test::WriteBytes(small, test::Cjpeg("-quality 70", 80, 60, false, 3));
  const std::string mpo = test::TempPath(".mpo");
  ASSERT_EQ(RunCommand("/usr/bin/python3 -c " +
                       Quote("from PIL import Image; a=Image.open('" + a + "'); b=Image.open('" + b + "'); a.save('" +
                             mpo + "', format='MPO', save_all=True, append_images=[b])")),
            0);
  ASSERT_EQ(RunCommand(std::string(VT_EXIFTOOL) + " -q -overwrite_original " + Quote("-ThumbnailImage<=" + small) +
                       " " + Quote(mpo)),
            0);
  // Add a JFIF header with a 4 x 2 RGB thumbnail after SOI.
  Bytes file = test::ReadBytes(mpo);
  Bytes rgb;
  for (int i = 0; i < 8; ++i) rgb.insert(rgb.end(), {uint8_t(30 * i), 10, 200});
  const Bytes jfif = Segment(0xE0, Cat({Str(std::string("JFIF\0", 5)), Bytes{1, 2, 0, 0, 1, 0, 1, 4, 2}, rgb}));
  // The MPF offsets count from the MPF segment, so inserting before it keeps them valid.
  file = test::InsertAfterSoi(file, {jfif});
  const std::string path = test::TempPath(".jpg");
  test::WriteBytes(path, file);

  int status = -1;
  // --orientation: the detector compares each thumbnail with the decoded main image.
  const auto json = nlohmann::json::parse(Cli("thumbs " + Quote(path) + " --json --orientation -o " + Quote(dir), &status));
  EXPECT_EQ(status, 0);
  const auto& list = json.at("thumbnails");
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0]["width"], 120);
  EXPECT_EQ(list[0]["is_post"], true);
  EXPECT_EQ(list[1]["width"], 80);
  EXPECT_EQ(list[2]["width"], 4);
  EXPECT_EQ(list[2]["kind"], 4);
  EXPECT_EQ(list[2]["completeness"], 100);
  EXPECT_EQ(list[2]["blocks"][0]["offset"], 2 + 4 + 14);
  EXPECT_EQ(list[2]["blocks"][0]["size"], 24);
  // The Exif thumbnail is a scaled copy of the main picture, not turned.
  EXPECT_EQ(list[1]["orientation"], 0);

  const std::string stem = std::filesystem::path(path).stem().string();
  const Bytes post = test::ReadBytes(dir + "/" + stem + "-thumb0.jpg");
  std::string second;
  RunCommand(std::string(VT_EXIFTOOL) + " -b -MPImage2 " + Quote(path) + " 2>/dev/null | md5sum", &second);
  std::string ours;
  RunCommand("md5sum < " + Quote(dir + "/" + stem + "-thumb0.jpg"), &ours);
  EXPECT_EQ(ours, second);
  EXPECT_FALSE(post.empty());

  const Bytes exifThumb = test::ReadBytes(dir + "/" + stem + "-thumb1.jpg");
  const Bytes smallBytes = test::ReadBytes(small);
  EXPECT_EQ(exifThumb, smallBytes);

  TBitmap32 bmp;
  bmp.LoadFromFile(dir + "/" + stem + "-thumb2.bmp");
  EXPECT_EQ(bmp.Width(), 4);
  EXPECT_EQ(bmp.Height(), 2);
  EXPECT_EQ(bmp.Pixel(3, 1), Color32(210, 10, 200));
}

TEST(InfoCommand, CarriesOrientationExifFactsAndThumbnails) {
  const std::string path = test::TempPath(".jpg"), small = test::TempPath(".jpg");
  test::WriteBytes(path, test::Cjpeg("-quality 85", 240, 160));
  test::WriteBytes(small, test::Cjpeg("-quality 70", 120, 80));
  ASSERT_EQ(RunCommand(std::string(VT_EXIFTOOL) + " -q -overwrite_original -Make=Maker -Model=Cam -Orientation#=8 "
                       "-ImageDescription=\"caf\xc3\xa9\" -ModifyDate=\"2001:02:03 04:05:06\" " +
                       Quote("-ThumbnailImage<=" + small) + " " + Quote(path)),
            0);
  int status = -1;
  const auto json = nlohmann::json::parse(Cli("info --json " + Quote(path), &status));
  EXPECT_EQ(status, 0);
  EXPECT_EQ(json.at("orientation"), 7);
  EXPECT_EQ(json.at("exif").at("make"), "Maker");
  EXPECT_EQ(json.at("exif").at("model"), "Cam");
  EXPECT_EQ(json.at("exif").at("description"), "caf\xc3\xa9");  // UTF-8 kept as it is
  EXPECT_EQ(json.at("exif").at("date_time"), "2001:02:03 04:05:06");
  EXPECT_EQ(json.at("exif").at("date_time_original"), "");
  ASSERT_EQ(json.at("thumbnails").size(), 1u);
  const auto& t = json.at("thumbnails")[0];
  EXPECT_EQ(t.at("width"), 120);
  EXPECT_EQ(t.at("kind"), 0);
  EXPECT_EQ(t.at("is_post"), false);
  // Same picture, not turned: the detector finds orientation 0 whatever the Exif tag says.
  EXPECT_EQ(t.at("orientation"), 0);
  EXPECT_EQ(t.at("blocks").size(), 1u);
}

TEST(ThumbsCommand, MissingFileAndNonJpegFail) {
  int status = -1;
  Cli("thumbs /nonexistent/file.jpg 2>/dev/null", &status);
  EXPECT_EQ(status, 1);
  const std::string text = test::TempPath(".jpg");
  test::WriteBytes(text, Str("not a picture at all"));
  Cli("thumbs " + Quote(text) + " 2>/dev/null", &status);
  EXPECT_EQ(status, 1);
}

}  // namespace
}  // namespace vt
