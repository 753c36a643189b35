// File > Save All Found: every picture of a card image written restored into one folder, under
// names that carry the offset and never replace a file; Cancel stops before the next picture.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "source/disc_source.h"
#include "source/source_open.h"
#include "support/test_support.h"
#include "viewer/save_all_found.h"

namespace vt {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

// A card image: junk, three photos (the last cut short), junk between them.
struct Card {
  std::string Path;
  std::vector<uint64_t> Offsets;
};

Card MakeCard() {
  Card card;
  Bytes bytes = test::JunkWithoutMarkers(700, 2);
  const Bytes a = test::Cjpeg("-quality 85", 96, 64, false, 1), b = test::Cjpeg("-quality 85", 64, 96, false, 2);
  Bytes cut = test::Cjpeg("-quality 85", 128, 96, false, 3);
  cut.resize(cut.size() * 2 / 3);
  for (const Bytes* photo : {&a, &b, static_cast<const Bytes*>(&cut)}) {
    card.Offsets.push_back(bytes.size());
    bytes.insert(bytes.end(), photo->begin(), photo->end());
    const Bytes gap = test::JunkWithoutMarkers(1000, static_cast<uint32_t>(bytes.size()));
    bytes.insert(bytes.end(), gap.begin(), gap.end());
  }
  card.Path = test::TempPath(".img");
  test::WriteBytes(card.Path, bytes);
  return card;
}

std::string Hex(uint64_t offset) {
  char text[32];
  std::snprintf(text, sizeof text, "%08llX", static_cast<unsigned long long>(offset));
  return text;
}

class SaveAllFoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    card = MakeCard();
    TvtOpenOptions deep;
    deep.Deep = true;
    found = OpenSource(source, card.Path, deep);
    ASSERT_EQ(found.Items.size(), 3u) << found.Reason;
    folder = test::TempPath("saved");
    fs::create_directories(folder);
  }
  Card card;
  TvtDiscSource source;
  TvtOpenResult found;
  std::string folder;
};

TEST_F(SaveAllFoundTest, WritesEveryPictureRestoredUnderItsOffsetWithoutReplacingAFile) {
  const std::string stem = fs::path(card.Path).stem().string();
  const std::string first = folder + "/" + stem + " @0x" + Hex(card.Offsets[0]) + " (restored).jpg";
  test::WriteBytes(first, {'k', 'e', 'e', 'p'});  // saved before: it stays
  std::vector<std::pair<int32_t, int32_t>> steps;
  const TvtSaveAllResult result = SaveAllFound(found, card.Path, folder, TvtRepair::None, [&](int32_t done, int32_t total) {
    steps.push_back({done, total});
    return true;
  });
  EXPECT_FALSE(result.Cancelled);
  EXPECT_TRUE(result.Failures.empty()) << result.Failures.front();
  EXPECT_EQ(steps, (std::vector<std::pair<int32_t, int32_t>>{{0, 3}, {1, 3}, {2, 3}, {3, 3}}));
  ASSERT_EQ(result.Files.size(), 3u);
  EXPECT_EQ(result.Files[0], folder + "/" + stem + " @0x" + Hex(card.Offsets[0]) + " (restored) (2).jpg");
  EXPECT_EQ(test::ReadBytes(first), (Bytes{'k', 'e', 'e', 'p'}));
  const int sizes[3][2] = {{96, 64}, {64, 96}, {128, 96}};
  for (size_t i = 0; i < 3; ++i) {
    if (i > 0) EXPECT_EQ(result.Files[i], folder + "/" + stem + " @0x" + Hex(card.Offsets[i]) + " (restored).jpg");
    // Each a whole baseline JPEG of its picture's size, the cut one filled in.
    const test::RefImage image = test::LibjpegDecode(test::ReadBytes(result.Files[i]));
    ASSERT_TRUE(image.Ok) << result.Files[i] << ": " << image.Error;
    EXPECT_EQ(image.Width, sizes[i][0]);
    EXPECT_EQ(image.Height, sizes[i][1]);
    EXPECT_EQ(image.Warnings, 0) << result.Files[i];
  }
}

TEST_F(SaveAllFoundTest, CancelStopsBeforeTheNextPictureAndKeepsWhatWasWritten) {
  const TvtSaveAllResult result =
      SaveAllFound(found, card.Path, folder, TvtRepair::None, [](int32_t done, int32_t) { return done < 2; });
  EXPECT_TRUE(result.Cancelled);
  EXPECT_EQ(result.Files.size(), 2u);
  size_t files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++files;
  EXPECT_EQ(files, 2u);
}

TEST(SaveAllNames, TakenNamesGetTheNextFreeNumber) {
  const std::string folder = test::TempPath("names");
  fs::create_directories(folder);
  test::WriteBytes(folder + "/card @0x00001000 (restored) (2).jpg", {1});
  std::vector<std::string> taken;
  EXPECT_EQ(UniqueRestoredName("/x/card.img", 0x1000, folder, taken), "card @0x00001000 (restored).jpg");
  EXPECT_EQ(UniqueRestoredName("/x/card.img", 0x1000, folder, taken), "card @0x00001000 (restored) (3).jpg")
      << "the second of one offset, past the file already there";
  EXPECT_EQ(UniqueRestoredName("/x/card.img", 0, folder, taken), "card (restored).jpg");
  EXPECT_EQ(taken.size(), 3u);
}

}  // namespace
}  // namespace vt
