// vantrelle-cli thumbs and info --headers-only read the headers alone; their records, written bytes
// and pixels must be those of the full road (thumbs --orientation and info without the option
// decode the main image through the disc source), for every corpus file and for camera-like files.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace vt {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using test::Quote;
using test::RunCommand;

std::string Cli(const std::string& args, int* status = nullptr) {
  std::string out;
  const int rc = RunCommand(std::string(VT_CLI) + " " + args + " 2>/dev/null", &out);
  if (status) *status = rc;
  return out;
}

// Every file of a folder with its bytes.
std::map<std::string, test::Bytes> Files(const std::string& dir) {
  std::map<std::string, test::Bytes> out;
  if (!fs::exists(dir)) return out;
  for (const auto& e : fs::directory_iterator(dir)) out[e.path().filename().string()] = test::ReadBytes(e.path().string());
  return out;
}

// A thumbnail list of the headers-only road against the full road's: equal in every key, except
// that an orientation that needs the main image's pixels is absent (and only then).
void ExpectSameThumbnails(const json& quick, const json& full, const std::string& file) {
  ASSERT_EQ(quick.size(), full.size()) << file;
  for (size_t i = 0; i < full.size(); ++i) {
    json q = quick[i], f = full[i];
    if (!q.contains("orientation")) {
      // Left out only for a thumbnail with pixels, which the detector compares.
      EXPECT_GT(f.at("width").get<int>(), 0) << file << " thumbnail " << i;
      f.erase("orientation");
    }
    EXPECT_EQ(q, f) << file << " thumbnail " << i;
  }
}

// thumbs (text, --json and -o) on the quick road against thumbs --orientation on the full road.
// Returns whether the quick road was taken.
bool CompareThumbs(const std::string& file) {
  const std::string quickDir = test::TempPath("-quick"), fullDir = test::TempPath("-full");
  int qs = -1, fs_ = -1;
  const std::string quickText = Cli("thumbs " + Quote(file) + " -o " + Quote(quickDir), &qs);
  const std::string fullText = Cli("thumbs --orientation " + Quote(file) + " -o " + Quote(fullDir), &fs_);
  EXPECT_EQ(qs, fs_) << file;
  EXPECT_EQ(quickText, fullText) << file;
  const auto quickFiles = Files(quickDir), fullFiles = Files(fullDir);
  EXPECT_EQ(quickFiles.size(), fullFiles.size()) << file;
  for (const auto& [name, bytes] : fullFiles) {
    auto it = quickFiles.find(name);
    EXPECT_TRUE(it != quickFiles.end() && it->second == bytes) << file << ": " << name << " missing or different";
  }
  const std::string quickJson = Cli("thumbs --json " + Quote(file)), fullJson = Cli("thumbs --json --orientation " + Quote(file));
  if (fullJson.empty()) {
    EXPECT_TRUE(quickJson.empty()) << file;
    return false;
  }
  const json q = json::parse(quickJson), f = json::parse(fullJson);
  EXPECT_FALSE(f.contains("headers_only")) << file;
  EXPECT_EQ(q.at("exif"), f.at("exif")) << file;
  EXPECT_EQ(q.at("orientation"), f.at("orientation")) << file;
  ExpectSameThumbnails(q.at("thumbnails"), f.at("thumbnails"), file);
  return q.value("headers_only", false);
}

// Whether the picture of a JPEG at byte 0 is one sequential scan of every component: its frame
// header is not progressive and the first scan header names as many components as the frame.
bool OneSequentialScan(const test::Bytes& b) {
  int frameComponents = -1;
  for (size_t i = 2; i + 9 < b.size();) {
    // Stray bytes and fill before a marker are skipped, as the parser does.
    if (b[i] != 0xFF || b[i + 1] == 0xFF || b[i + 1] == 0x00) {
      ++i;
      continue;
    }
    const int marker = b[i + 1];
    const size_t length = size_t(b[i + 2]) << 8 | b[i + 3];
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      if (marker == 0xC2) return false;
      frameComponents = b[i + 9];
    }
    if (marker == 0xDA) return b[i + 4] == frameComponents;
    i += 2 + length;
  }
  return false;
}

TEST(ThumbsHeadersOnly, EveryCorpusFileGivesTheFullRoadsRecordsAndFiles) {
  int quick = 0;
  for (const auto& e : fs::directory_iterator(test::CorpusPath(""))) {
    const std::string path = e.path().string();
    if (e.path().filename() == "SOURCES.md") continue;
    const bool tookQuickRoad = CompareThumbs(path);
    quick += tookQuickRoad;
    // The quick road serves exactly the files that start with a JPEG, hold a thumbnail and
    // have one sequential scan (segments between scans are read only by the full road).
    const test::Bytes bytes = test::ReadBytes(path);
    const bool startsWithJpeg = bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
    const std::string full = Cli("thumbs --json --orientation " + Quote(path));
    const bool hasThumbnails = !full.empty() && !json::parse(full).at("thumbnails").empty();
    EXPECT_EQ(tookQuickRoad, startsWithJpeg && hasThumbnails && OneSequentialScan(bytes)) << path;
  }
  EXPECT_GE(quick, 8);
}

// A photo as a camera writes it: an Exif JPEG thumbnail (and, with mpo, a Multi-Picture file whose
// second image lies after the first one's scan and is found through the index).
std::string CameraFile(bool mpo, bool progressive) {
  const std::string big = test::WritePhotoLikePnm(640, 480, false, 5), small = test::TempPath(".jpg");
  test::WriteBytes(small, test::Cjpeg("-quality 80", 160, 120, false, 6));
  std::string path = test::TempPath(mpo ? ".mpo" : ".jpg");
  if (mpo) {
    const std::string second = test::WritePhotoLikePnm(320, 240, false, 7);
    EXPECT_EQ(RunCommand("/usr/bin/python3 -c " +
                         Quote("from PIL import Image; a=Image.open('" + big + "'); b=Image.open('" + second +
                               "'); a.save('" + path + "', format='MPO', save_all=True, append_images=[b])")),
              0);
  } else {
    test::WriteBytes(path, test::CjpegFile(progressive ? "-quality 90 -progressive" : "-quality 90 -sample 2x2", big));
  }
  EXPECT_EQ(RunCommand(std::string(VT_EXIFTOOL) + " -q -overwrite_original -Orientation#=6 " +
                       Quote("-ThumbnailImage<=" + small) + " " + Quote(path)),
            0);
  return path;
}

TEST(ThumbsHeadersOnly, CameraLikeFilesGiveTheFullRoadsRecordsAndFiles) {
  for (const auto& [mpo, progressive] : {std::pair{false, false}, {false, true}, {true, false}}) {
    const std::string path = CameraFile(mpo, progressive);
    // A progressive file takes the full road, with the same results.
    EXPECT_EQ(CompareThumbs(path), !progressive) << path;
    const json q = json::parse(Cli("thumbs --json " + Quote(path)));
    EXPECT_EQ(q.at("orientation"), 5);
    ASSERT_EQ(q.at("thumbnails").size(), mpo ? 2u : 1u);
    if (mpo) {
      EXPECT_EQ(q.at("thumbnails")[0].at("is_post"), true);
    }
  }
}

TEST(ThumbsHeadersOnly, FilesTheQuickRoadCannotJudgeTakeTheFullOne) {
  // No thumbnail: whether the viewer takes the file depends on its scan.
  const std::string plain = test::TempPath(".jpg");
  test::WriteBytes(plain, test::Cjpeg("-quality 80", 64, 48));
  int status = -1;
  const json q = json::parse(Cli("thumbs --json " + Quote(plain), &status));
  EXPECT_EQ(status, 0);
  EXPECT_FALSE(q.contains("headers_only"));
  EXPECT_EQ(q.at("thumbnails").size(), 0u);
  // Junk before the JPEG: the default open finds nothing, on either road.
  const std::string junk = test::TempPath(".jpg");
  test::Bytes bytes = {1, 2, 3};
  const test::Bytes camera = test::ReadBytes(CameraFile(false, false));
  bytes.insert(bytes.end(), camera.begin(), camera.end());
  test::WriteBytes(junk, bytes);
  Cli("thumbs " + Quote(junk), &status);
  EXPECT_EQ(status, 1);
  // --deep reaches the JPEG after the junk through the full open.
  const json deep = json::parse(Cli("thumbs --json --deep " + Quote(junk), &status));
  EXPECT_EQ(status, 0);
  EXPECT_FALSE(deep.contains("headers_only"));
  EXPECT_EQ(deep.at("thumbnails").size(), 1u);
}

TEST(InfoHeadersOnly, GivesTheHeaderKeysOfTheFullInfoAndLeavesOutWhatNeedsADecode) {
  for (const std::string& path : {CameraFile(false, true), CameraFile(true, false), test::CorpusPath("et-Sony.jpg")}) {
    int qs = -1, fs_ = -1;
    json q = json::parse(Cli("info --json --headers-only " + Quote(path), &qs));
    json f = json::parse(Cli("info --json " + Quote(path), &fs_));
    EXPECT_EQ(qs, fs_) << path;
    EXPECT_EQ(q.at("headers_only"), true);
    for (const char* key : {"decoded_percent", "data_errors", "folders", "broken"}) {
      EXPECT_FALSE(q.contains(key)) << key;
      EXPECT_TRUE(f.contains(key)) << key;
    }
    for (const char* key : {"width", "height", "process", "color_model", "components", "mcu", "restart_interval",
                            "orientation", "exif"})
      EXPECT_EQ(q.at(key), f.at(key)) << path << ": " << key;
    ExpectSameThumbnails(q.at("thumbnails"), f.at("thumbnails"), path);
  }
}

TEST(InfoHeadersOnly, RefusesWhatItCannotReadAndTheFullOpenOptions) {
  int status = -1;
  Cli("info --headers-only /nonexistent/file.jpg", &status);
  EXPECT_EQ(status, 1);
  const std::string text = test::TempPath(".jpg");
  test::WriteBytes(text, test::Bytes{'n', 'o', 't', ' ', 'a', ' ', 'J', 'P', 'E', 'G'});
  std::string err;
  status = RunCommand(std::string(VT_CLI) + " info --headers-only " + Quote(text) + " 2>&1 >/dev/null", &err);
  EXPECT_EQ(status, 1);
  EXPECT_NE(err.find("Invalid image. (the file does not begin with a JPEG start-of-image marker)"), std::string::npos)
      << err;
  const std::string empty = test::TempPath(".jpg");
  test::WriteBytes(empty, {});
  status = RunCommand(std::string(VT_CLI) + " info --headers-only " + Quote(empty) + " 2>&1 >/dev/null", &err);
  EXPECT_EQ(status, 1);
  EXPECT_NE(err.find("Invalid image. (the file is empty)"), std::string::npos) << err;
  Cli("info --headers-only --deep " + Quote(test::CorpusPath("et-Sony.jpg")), &status);
  EXPECT_EQ(status, 2);
}

}  // namespace
}  // namespace vt
