// vantrelle-cli with --deep, --reference, --data-offset and --item: info lists the items only
// then, the other commands work on the chosen item (default: the largest decoded area), and a
// reference that does not fit writes nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "jpeg/decode_helpers.h"

namespace vt::test {
namespace {

using nlohmann::json;

int Cli(const std::string& args, std::string* out, std::string* err = nullptr) {
  const std::string errPath = TempPath(".err");
  if (out) out->clear();
  const int rc = RunCommand("timeout 60 " + Quote(VT_CLI) + " " + args + " 2>" + Quote(errPath), out);
  if (err) {
    const Bytes e = ReadBytes(errPath);
    *err = std::string(e.begin(), e.end());
  }
  return rc;
}

std::string Write(const Bytes& bytes, const char* suffix = ".jpg") {
  const std::string path = TempPath(suffix);
  WriteBytes(path, bytes);
  return path;
}

// A photo whose scan header lies past 4 KB (behind a comment segment of padding).
Bytes Padded(const Bytes& jpeg) {
  Bytes out = {jpeg[0], jpeg[1], 0xFF, 0xFE, 0x17, 0x72};
  out.insert(out.end(), 0x1770, 'x');
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

TEST(DeepCli, InfoListsItemsOnlyWhenAsked) {
  const Bytes photo = Cjpeg("-quality 85", 96, 64);
  Bytes file(20, 0x11);
  file.insert(file.end(), photo.begin(), photo.end());
  const std::string path = Write(file);
  std::string out, err;
  EXPECT_EQ(Cli("info --json " + Quote(path), &out, &err), 1);
  EXPECT_FALSE(json::parse(out).contains("items")) << "the default JSON stays as it is";
  EXPECT_NE(err.find("Invalid image."), std::string::npos) << err;

  ASSERT_EQ(Cli("info --deep --json " + Quote(path), &out), 0);
  const json j = json::parse(out);
  ASSERT_EQ(j["items"].size(), 1u);
  EXPECT_EQ(j["items"][0]["offset"], 20);
  EXPECT_EQ(j["items"][0]["length"], photo.size());
  EXPECT_EQ(j["items"][0]["replacement_header"], false);
  EXPECT_TRUE(j["items"][0]["reference"].is_null());
  EXPECT_EQ(j["item"], 0);
  EXPECT_EQ(j["width"], 96);
  EXPECT_EQ(j["decoded_percent"], 100);
}

TEST(DeepCli, CommandsTakeTheChosenItemOfACardImage) {
  const Bytes a = Cjpeg("-quality 85", 64, 48, false, 1), b = Cjpeg("-quality 85", 160, 120, false, 2);
  Bytes file(3000, 0x00);
  file.insert(file.end(), a.begin(), a.end());
  file.insert(file.end(), 999, 0x42);
  file.insert(file.end(), b.begin(), b.end());
  const std::string path = Write(file, ".img");
  std::string out, err;
  ASSERT_EQ(Cli("info --deep --json " + Quote(path), &out), 0);
  json j = json::parse(out);
  ASSERT_EQ(j["items"].size(), 2u);
  EXPECT_EQ(j["item"], 1) << "the largest decoded area";
  EXPECT_EQ(j["width"], 160);
  ASSERT_EQ(Cli("info --deep --item 0 --json " + Quote(path), &out), 0);
  EXPECT_EQ(json::parse(out)["width"], 64);

  // render and restore work on the item chosen.
  const std::string png = TempPath(".bmp");
  ASSERT_EQ(Cli("render --deep --item 0 " + Quote(path) + " -o " + Quote(png), &out), 0);
  EXPECT_EQ(ReadBytes(png)[18], 64);  // BMP width
  const std::string restored = TempPath(".jpg");
  ASSERT_EQ(Cli("restore --deep " + Quote(path) + " -o " + Quote(restored), &out), 0);
  KeepingParser q;
  LoadBytes(q, ReadBytes(restored));
  EXPECT_TRUE(SameCoefficients(q, LibjpegCoefficients(b)));

  EXPECT_EQ(Cli("render --deep --item 2 " + Quote(path) + " -o " + Quote(png), &out, &err), 1);
  EXPECT_NE(err.find("there is no item 2 (the file has 2)"), std::string::npos) << err;
}

TEST(DeepCli, RestoreWithAReferenceOnlyWhenItFits) {
  const Bytes original = Padded(Cjpeg("-quality 85 -sample 2x2", 200, 160, false, 3));
  Bytes damaged = original;
  std::fill(damaged.begin(), damaged.begin() + 4096, 0);
  const std::string path = Write(damaged);
  const std::string good = Write(Cjpeg("-quality 85 -sample 2x2", 200, 160, false, 4));
  const std::string other = Write(Cjpeg("-quality 85 -sample 2x2 -optimize", 200, 160, false, 4));
  const std::string out = TempPath(".jpg");
  std::string text, err;

  EXPECT_EQ(Cli("restore " + Quote(path) + " -o " + Quote(out), &text, &err), 1);
  EXPECT_NE(err.find("Invalid image."), std::string::npos) << err;
  EXPECT_EQ(Cli("restore --reference " + Quote(other) + " " + Quote(path) + " -o " + Quote(out), &text, &err), 1);
  EXPECT_NE(err.find("the reference's header decodes none of the data"), std::string::npos) << err;
  EXPECT_FALSE(std::filesystem::exists(out)) << "nothing is written";

  ASSERT_EQ(Cli("restore --reference " + Quote(other) + " --reference " + Quote(good) + " " + Quote(path) + " -o " +
                    Quote(out),
                &text, &err),
            0)
      << err;
  EXPECT_NE(err.find(other + ": the reference's header decodes none of the data"), std::string::npos) << err;
  KeepingParser p;
  LoadBytes(p, ReadBytes(out));
  EXPECT_TRUE(SameCoefficients(p, LibjpegCoefficients(original)));

  ASSERT_EQ(Cli("info --json --reference " + Quote(good) + " " + Quote(path), &text), 0);
  const json j = json::parse(text);
  EXPECT_EQ(j["items"][0]["replacement_header"], true);
  EXPECT_EQ(j["items"][0]["reference"], good);
  EXPECT_EQ(j["items"][0]["offset"], FirstScanData(original));
}

TEST(DeepCli, DataOffsetGivesTheStartOfDataWithoutItsScanHeader) {
  const Bytes original = Padded(Cjpeg("-quality 85 -sample 2x2", 200, 160, false, 5));
  const size_t data = FirstScanData(original);
  Bytes damaged = original;
  std::fill(damaged.begin(), damaged.begin() + static_cast<std::ptrdiff_t>(data), 0);
  const std::string path = Write(damaged);
  const std::string ref = Write(Cjpeg("-quality 85 -sample 2x2", 200, 160, false, 6));
  std::string text;
  ASSERT_EQ(Cli("info --json --reference " + Quote(ref) + " --data-offset " + std::to_string(data) + " " + Quote(path),
                &text),
            0);
  const json j = json::parse(text);
  EXPECT_EQ(j["decoded_percent"], 100);
  EXPECT_EQ(j["items"][0]["offset"], data);
  EXPECT_EQ(j["items"][0]["folders"][0], "SOS marker/0x" + [&] {
    char hex[24];
    std::snprintf(hex, sizeof hex, "%zX", data);
    return std::string(hex);
  }());
}

}  // namespace
}  // namespace vt::test
