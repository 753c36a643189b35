#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "jpeg/image.h"
#include "jpeg/jpeg_constants.h"
#include "source/disc_source.h"
#include "source/file_stream_7z.h"
#include "source/vt_common.h"
#include "support/test_support.h"

namespace vt {
namespace {

using test::Bytes;

std::string writeFile(const Bytes& bytes, const std::string& suffix = ".jpg") {
  const std::string path = test::TempPath(suffix);
  test::WriteBytes(path, bytes);
  return path;
}

// Runs exiftool with the given tag arguments on path, in place.
void exifTags(const std::string& path, const std::string& args) {
  ASSERT_EQ(test::RunCommand(std::string(VT_EXIFTOOL) + " -q -overwrite_original " + args + " " +
                             test::Quote(path) + " >/dev/null 2>&1"),
            0);
}

std::vector<std::string> folderPaths(const TvtFolder* f, const TvtItem* item) {
  std::vector<std::string> out;
  for (const TvtItem* i : f->Items()) {
    if (i == item) out.push_back(f->Path());
  }
  for (const TvtFolder* s : f->SubFolders()) {
    for (auto& p : folderPaths(s, item)) out.push_back(p);
  }
  return out;
}

// Bytes from the start of a JPEG up to and including its first scan header.
int64_t headerLength(const Bytes& jpeg) {
  TMemoryStream s;
  s.WriteBuffer(jpeg.data(), static_cast<int64_t>(jpeg.size()));
  s.SetPosition(0);
  TkelJpegImage image;
  image.LoadFromStream(s, pfHeadersOnly, 0);
  return image.ScanDataOffset;
}

TEST(DiscSource, IntactJpegBecomesOneCompleteItemFiledEverywhere) {
  const std::string path = writeFile(test::Cjpeg("-quality 85", 400, 300));
  exifTags(path, "-Make=Canon -Model='PowerShot X' -DateTimeOriginal='2019:07:04 12:00:00'");
  TvtDiscSource source;
  source.Open(path);
  TvtItem* item = source.FirstItem();
  ASSERT_NE(item, nullptr) << source.LastError;
  EXPECT_EQ(source.Root().All->ItemCount(), 1);
  EXPECT_FALSE(item->Broken);
  EXPECT_EQ(item->DecodedPercent, 100);
  EXPECT_EQ(item->Offset, 0u);
  EXPECT_EQ(item->Width, 400);
  EXPECT_EQ(item->Height, 300);
  EXPECT_EQ(item->Name, std::filesystem::path(path).filename().string());
  EXPECT_EQ(item->Camera, "Canon - PowerShot X");
  EXPECT_EQ(item->Length, static_cast<int32_t>(std::filesystem::file_size(path)));
  EXPECT_EQ(folderPaths(&source.Root(), item),
            (std::vector<std::string>{"All", "Size/Middle", "Camera/Canon - PowerShot X", "Date/2019"}));
  EXPECT_EQ(source.Root().Broken, nullptr) << "empty folders are packed away";
  TBitmap32* preview = item->GetPreview();
  ASSERT_NE(preview, nullptr);
  EXPECT_EQ(preview->Width(), 120);
  EXPECT_EQ(preview->Height(), 90);
  EXPECT_EQ(source.Thread, nullptr) << "the worker is freed once it has ended";
  auto image = item->GetImage();
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->Width(), 400);
}

TEST(DiscSource, TruncatedScanDataGivesABrokenItem) {
  Bytes jpeg = test::Cjpeg("-quality 90", 320, 240);
  jpeg.resize(jpeg.size() / 2);
  TvtDiscSource source;
  source.Open(writeFile(jpeg));
  TvtItem* item = source.FirstItem();
  ASSERT_NE(item, nullptr);
  EXPECT_TRUE(item->Broken);
  EXPECT_GT(item->DecodedPercent, 0);
  EXPECT_LT(item->DecodedPercent, 100);
  EXPECT_EQ(folderPaths(&source.Root(), item),
            (std::vector<std::string>{"All", "Size/Middle", "Camera/Undefined", "Date/Undefined", "Broken"}));
}

TEST(DiscSource, MainImageWithNothingDecodedStillGivesItsExifThumbnail) {
  Bytes flower = test::ReadBytes(test::CorpusPath("pil-flower.jpg"));
  const int64_t cut = headerLength(flower);
  ASSERT_GT(cut, 0);
  flower.resize(static_cast<size_t>(cut));  // no entropy-coded data at all
  TvtDiscSource source;
  source.Open(writeFile(flower));
  TvtItem* item = source.FirstItem();
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->DecodedPercent, 0);
  EXPECT_TRUE(item->Broken);
  EXPECT_EQ(item->GetPreview(), nullptr);
  EXPECT_EQ(item->Camera, "Canon - Canon PowerShot S40");
  ASSERT_EQ(item->SubItemCount(), 1);
  TvtSubItem* thumb = item->GetSubItem(0);
  EXPECT_EQ(thumb->Owner, item);
  EXPECT_EQ(thumb->Width, 160);
  EXPECT_EQ(thumb->Height, 120);
  EXPECT_EQ(thumb->Stream, source.ExtractStore.get());
  EXPECT_EQ(thumb->GetKind(), kKindJpeg);
  ASSERT_NE(thumb->GetPreview(), nullptr);
  auto image = thumb->GetImage();
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->Width(), 160);
}

struct ExifCase {
  const char* tags;
  const char* camera;  // the item's Camera
  const char* year;    // its folder under "Date"
};

class DiscSourceExif : public ::testing::TestWithParam<ExifCase> {};

TEST_P(DiscSourceExif, CameraFromMakeAndModelDateFromTheFirstOfTheThreeDates) {
  const ExifCase c = GetParam();
  const std::string path = writeFile(test::Cjpeg("-quality 80", 32, 32));
  exifTags(path, c.tags);
  TvtDiscSource source;
  source.Open(path);
  TvtItem* item = source.FirstItem();
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->Camera, c.camera);
  const std::string cameraFolder = std::string("Camera/") + (*c.camera ? c.camera : "Undefined");
  EXPECT_EQ(folderPaths(&source.Root(), item),
            (std::vector<std::string>{"All", "Size/Small", cameraFolder, std::string("Date/") + c.year}));
}

INSTANTIATE_TEST_SUITE_P(
    Tags, DiscSourceExif,
    ::testing::Values(ExifCase{"-Make=Acme", "Acme", "Undefined"}, ExifCase{"-Model=Z9", "Z9", "Undefined"},
                      ExifCase{"-Make=Acme -Model=Z9 -CreateDate='2010:05:05 10:00:00'", "Acme - Z9", "2010"},
                      ExifCase{"-DateTimeOriginal='2012:01:01 00:00:00' -CreateDate='2010:05:05 10:00:00'", "",
                               "2012"},
                      ExifCase{"-ModifyDate='2004:12:31 23:59:59' -DateTimeOriginal='2001:01:01 00:00:00'", "",
                               "2004"}));

// Where the stored picture's top-left corner shows once the Exif orientation is applied.
enum Corner { kTopLeft, kTopRight, kBottomRight, kBottomLeft };

struct OrientationCase {
  int exif;
  Corner corner;
};

class DiscSourceOrientation : public ::testing::TestWithParam<OrientationCase> {};

TEST_P(DiscSourceOrientation, TurnsTheItemAndItsPreviewUpright) {
  const OrientationCase c = GetParam();
  // 64 x 48, white with a red top-left block.
  const int w = 64, h = 48;
  std::string ppm = "P6\n64 48\n255\n";
  Bytes pnm(ppm.begin(), ppm.end());
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const bool red = x < 20 && y < 16;
      pnm.insert(pnm.end(), {255, static_cast<uint8_t>(red ? 0 : 255), static_cast<uint8_t>(red ? 0 : 255)});
    }
  }
  const std::string pnmPath = writeFile(pnm, ".ppm");
  const std::string path = writeFile(test::CjpegFile("-quality 95", pnmPath));
  exifTags(path, "-n -Orientation=" + std::to_string(c.exif));
  TvtDiscSource source;
  source.Open(path);
  TvtItem* item = source.FirstItem();
  ASSERT_NE(item, nullptr);
  const bool swapped = c.exif >= 5;
  EXPECT_EQ(item->Orientation, c.exif - 1);
  EXPECT_EQ(item->Width, swapped ? h : w);
  EXPECT_EQ(item->Height, swapped ? w : h);
  TBitmap32* preview = item->GetPreview();
  ASSERT_NE(preview, nullptr);
  EXPECT_EQ(preview->Width(), swapped ? 68 : 120);
  EXPECT_EQ(preview->Height(), 90);
  auto isRed = [&](int x, int y) {
    const TColor32 p = preview->Pixel(x, y);
    return ((p >> 16) & 0xFF) > 200 && ((p >> 8) & 0xFF) < 80;
  };
  const int right = preview->Width() - 3, bottom = preview->Height() - 3;
  const int px[4] = {2, right, right, 2}, py[4] = {2, 2, bottom, bottom};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(isRed(px[k], py[k]), k == c.corner) << "Exif orientation " << c.exif << ", corner " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(AllEight, DiscSourceOrientation,
                         ::testing::Values(OrientationCase{1, kTopLeft}, OrientationCase{2, kTopRight},
                                           OrientationCase{3, kBottomRight}, OrientationCase{4, kBottomLeft},
                                           OrientationCase{5, kTopLeft}, OrientationCase{6, kTopRight},
                                           OrientationCase{7, kBottomRight}, OrientationCase{8, kBottomLeft}));

TEST(DiscSource, MultiPictureFileKeepsItsSecondImageAsAPostSubItemInTheFile) {
  const std::string path = test::CorpusPath("pil-sugarshack.mpo");
  TvtDiscSource source;
  source.Open(path);
  TvtItem* item = source.FirstItem();
  ASSERT_NE(item, nullptr);
  EXPECT_FALSE(item->Broken);
  EXPECT_EQ(item->Length, static_cast<int32_t>(std::filesystem::file_size(path)))
      << "the item covers the post image";
  ASSERT_GE(item->SubItemCount(), 2);
  const TvtSubItem* post = item->GetSubItem(0);
  EXPECT_EQ(post->Stream, source.Stream.get()) << "a post image is read from the file itself";
  EXPECT_EQ(post->Width, 640);
  EXPECT_GT(post->Offset, 0u);
  // Largest first: the small Exif thumbnail comes after the full-size second image.
  EXPECT_EQ(item->GetSubItem(1)->Width, 160);
  Bytes head(3);
  source.Stream->Seek(static_cast<int64_t>(post->Offset), soBeginning);
  source.Stream->ReadBuffer(head.data(), 3);
  EXPECT_EQ(head, (Bytes{0xFF, 0xD8, 0xFF}));
}

class DiscSourceNoItem : public ::testing::TestWithParam<const char*> {};

TEST_P(DiscSourceNoItem, OpensNothingQuicklyAndLeavesNoFolder) {
  const std::string kind = GetParam();
  std::string path;
  if (kind == "missing") {
    path = test::TempPath(".none");
  } else if (kind == "directory") {
    path = test::TempDir();
  } else if (kind == "empty") {
    path = writeFile({});
  } else if (kind == "junk") {
    Bytes jpeg = test::Cjpeg("-quality 80", 32, 32);
    jpeg.insert(jpeg.begin(), {0x00, 0x11, 0x22, 0x33});
    path = writeFile(jpeg);
  } else if (kind == "one-junk-byte") {
    // Its start of image is at byte 1, so the marker's third byte lies beyond byte 2.
    Bytes jpeg = test::Cjpeg("-quality 80", 32, 32);
    jpeg.insert(jpeg.begin(), 0xFF);
    path = writeFile(jpeg);
  } else if (kind == "two-bytes") {
    path = writeFile({0xFF, 0xD8});
  } else if (kind == "fifo") {
    path = test::TempPath(".fifo");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  } else if (kind == "device") {
    path = "/dev/zero";
  } else if (kind == "soi-only") {
    path = writeFile({0xFF, 0xD8, 0xFF, 0xD9});
  }
  TvtDiscSource source;
  const auto t0 = std::chrono::steady_clock::now();
  source.Open(path);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
  EXPECT_EQ(source.FirstItem(), nullptr);
  EXPECT_EQ(source.Root().All, nullptr);
  EXPECT_EQ(source.Root().SubFolderCount(), 0);
  if (kind == "missing" || kind == "directory" || kind == "fifo" || kind == "device") {
    EXPECT_FALSE(source.LastError.empty()) << "the reason is kept";
  }
}

INSTANTIATE_TEST_SUITE_P(BadInput, DiscSourceNoItem,
                         ::testing::Values("missing", "directory", "empty", "junk", "one-junk-byte", "two-bytes", "fifo", "device",
                                           "soi-only"));

TEST(DiscSource, DamagedCopiesOpenWithoutCrashingAndInBoundedTime) {
  const Bytes flower = test::ReadBytes(test::CorpusPath("pil-flower.jpg"));
  const std::string path = test::TempPath(".jpg");
  uint32_t state = 12345;
  auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  };
  TvtDiscSource source;
  for (int round = 0; round < 40; ++round) {
    Bytes b = flower;
    // Cut somewhere, then flip a few bytes (never the first three, so a candidate is examined).
    b.resize(4 + next() % (b.size() - 4));
    for (int k = 0; k < 8; ++k) b[3 + next() % (b.size() - 3)] = static_cast<uint8_t>(next());
    test::WriteBytes(path, b);
    const auto t0 = std::chrono::steady_clock::now();
    source.Open(path);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10)) << round;
    if (TvtItem* item = source.FirstItem()) {
      EXPECT_GE(item->DecodedPercent, 0);
      EXPECT_LE(item->DecodedPercent, 100);
      EXPECT_LE(static_cast<uint64_t>(item->HeaderLength), b.size());
      for (TvtSubItem* sub : item->SubItems()) sub->GetImage();  // must not crash either
    }
  }
}

TEST(DiscSource, SecondOpenReleasesTheFirstFile) {
  const std::string first = writeFile(test::Cjpeg("-quality 80", 40, 30));
  const std::string second = writeFile(test::Cjpeg("-quality 80", 50, 20));
  TvtDiscSource source;
  source.Open(first);
  ASSERT_NE(source.FirstItem(), nullptr);
  // The source holds the first file with a share mode that lets others read only.
  EXPECT_THROW(Tkel7zFileStream(first, 0x10), EOSError);
  source.Open(second);
  ASSERT_NE(source.FirstItem(), nullptr);
  EXPECT_EQ(source.FirstItem()->Width, 50);
  EXPECT_EQ(source.Root().All->ItemCount(), 1);
  EXPECT_NO_THROW(Tkel7zFileStream(first, 0x10)) << "the first file is still held";
  EXPECT_EQ(ThumbCache().Entries().size(), 1u) << "previews of the first open remain loaded";

  // An empty name changes nothing.
  source.Open("");
  EXPECT_NE(source.FirstItem(), nullptr);
  source.Close();
  EXPECT_EQ(source.FirstItem(), nullptr);
  EXPECT_EQ(ThumbCache().Entries().size(), 0u);
}

}  // namespace
}  // namespace vt
