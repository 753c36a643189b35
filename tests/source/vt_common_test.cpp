#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>
#include <fstream>

#include "source/vt_common.h"
#include "support/test_support.h"

namespace vt {
namespace {

namespace fs = std::filesystem;

void touch(const fs::path& p, const std::string& text = "x") { std::ofstream(p) << text; }

// Points the system temporary folder at a private one for the test.
class WorkingFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("TMPDIR");
    oldTmp_ = old ? old : "";
    hadTmp_ = old != nullptr;
    temp_ = fs::path(test::TempPath("-tmp"));
    fs::create_directories(temp_);
    setenv("TMPDIR", temp_.c_str(), 1);
    SetDeleteRetryDelay(std::chrono::milliseconds(0));
  }
  void TearDown() override {
    if (hadTmp_) setenv("TMPDIR", oldTmp_.c_str(), 1);
    else unsetenv("TMPDIR");
  }
  fs::path temp_;
  std::string oldTmp_;
  bool hadTmp_ = false;
};

TEST(Caption, NameWithoutFolder) {
  EXPECT_EQ(MakeCaption("/home/u/photos/IMG_0001.JPG"), "IMG_0001.JPG - Vantrelle viewer");
  EXPECT_EQ(MakeCaption("plain.jpg"), "plain.jpg - Vantrelle viewer");
  EXPECT_EQ(MakeCaption(""), "Vantrelle viewer");
}

// A picture found inside a card image carries its offset, so the caption tells which one is
// shown and the proposed names of a card's pictures neither collide nor lose the offset order.
TEST(Caption, PicturesInsideAFileCarryTheirOffset) {
  EXPECT_EQ(MakeCaption("/cards/card.img", 0x1A2B000), "card.img @0x01A2B000 - Vantrelle viewer");
  EXPECT_EQ(MakeCaption("/cards/card.img", 0), "card.img - Vantrelle viewer");
  EXPECT_EQ(RestoredFileName("/cards/card.img", 0x1A2B000), "card @0x01A2B000 (restored).jpg");
  EXPECT_EQ(RestoredFileName("/p/photo.jpeg", 0), "photo (restored).jpg");
  EXPECT_EQ(RestoredFileName("disk.dd", 0x123456789AULL), "disk @0x123456789A (restored).jpg") << "past 4 GB";
  const std::vector<uint64_t> offsets = {0x200, 0x1000, 0xFFFFF, 0x1A2B000, 0xFFFFFFFF};
  for (size_t i = 1; i < offsets.size(); ++i)
    EXPECT_LT(RestoredFileName("card.img", offsets[i - 1]), RestoredFileName("card.img", offsets[i]))
        << "names sort as the offsets do";
}

TEST_F(WorkingFolder, IsVantrelleInsideTheTemporaryFolderAndCreatedOnRequest) {
  EXPECT_EQ(GetTempFolder(), temp_.string() + "/");
  const std::string app = GetAppTempFolder(false);
  EXPECT_EQ(app, temp_.string() + "/Vantrelle/");
  EXPECT_FALSE(fs::exists(app));
  EXPECT_EQ(GetAppTempFolder(true), app);
  EXPECT_TRUE(fs::is_directory(app));

  // A temporary folder that does not exist yet is created.
  const fs::path missing = temp_ / "not" / "there";
  setenv("TMPDIR", missing.c_str(), 1);
  EXPECT_EQ(GetTempFolder(), missing.string() + "/");
  EXPECT_TRUE(fs::is_directory(missing));
}

TEST_F(WorkingFolder, EndOfProgramEmptiesItButKeepsItAndNeverFollowsLinks) {
  const fs::path app = GetAppTempFolder(true);
  const fs::path outside = temp_ / "outside";
  fs::create_directories(outside / "deep");
  touch(outside / "keep.txt");
  touch(outside / "deep" / "keep2.txt");
  touch(outside / "readonly-outside.txt");
  chmod((outside / "readonly-outside.txt").c_str(), 0444);

  fs::create_directories(app / "sub" / "subsub");
  touch(app / "top.txt");
  touch(app / "sub" / "readonly.txt");
  chmod((app / "sub" / "readonly.txt").c_str(), 0444);
  touch(app / "sub" / "subsub" / "f.bin");
  fs::create_directory_symlink(outside, app / "link-to-folder");
  fs::create_symlink(outside / "keep.txt", app / "sub" / "link-to-file");
  fs::create_symlink(outside / "readonly-outside.txt", app / "link-to-readonly");
  fs::create_symlink(app / "sub" / "nowhere", app / "dangling");
  // A folder without write permission is still emptied and removed.
  fs::create_directories(app / "locked");
  touch(app / "locked" / "inner.txt");
  chmod((app / "locked").c_str(), 0555);
  SaveFolder = "/somewhere/";

  FinalizeVtCommon();

  // The folder stays and everything in it goes, the links themselves included; what they
  // point to is neither deleted nor made writable.
  EXPECT_TRUE(fs::is_directory(app));
  EXPECT_TRUE(fs::is_empty(app));
  EXPECT_TRUE(fs::exists(outside / "keep.txt"));
  EXPECT_TRUE(fs::exists(outside / "deep" / "keep2.txt"));
  ASSERT_TRUE(fs::exists(outside / "readonly-outside.txt"));
  EXPECT_EQ(fs::status(outside / "readonly-outside.txt").permissions() & fs::perms::owner_write, fs::perms::none);
  EXPECT_EQ(SaveFolder, "");
}

TEST_F(WorkingFolder, ReadOnlyFileInASubFolderGoesWithTheSubFolder) {
  const fs::path app = GetAppTempFolder(true);
  fs::create_directories(app / "sub");
  touch(app / "sub" / "readonly.txt");
  chmod((app / "sub" / "readonly.txt").c_str(), 0444);
  FinalizeVtCommon();
  EXPECT_TRUE(fs::is_directory(app));
  EXPECT_TRUE(fs::is_empty(app));
}

TEST_F(WorkingFolder, IsEmptiedWhenTheProcessExits) {
  const fs::path app = GetAppTempFolder(true);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    touch(app / "left-behind.tmp");
    std::exit(fs::exists(app / "left-behind.tmp") ? 0 : 3);  // exit runs the clean-up
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(fs::is_directory(app));
  EXPECT_TRUE(fs::is_empty(app));
}

TEST_F(WorkingFolder, AWorkingFolderThatIsALinkIsNotEmptied) {
  const fs::path target = temp_ / "precious";
  fs::create_directories(target);
  touch(target / "data.txt");
  fs::create_directory_symlink(target, temp_ / "Vantrelle");
  FinalizeVtCommon();
  EXPECT_TRUE(fs::exists(target / "data.txt"));
  DeleteFolderContents((temp_ / "Vantrelle").string(), true);
  EXPECT_TRUE(fs::exists(target / "data.txt"));
}

TEST_F(WorkingFolder, DeleteHelpersTreatMissingAsDoneAndLeaveNonEmptyFolders) {
  const fs::path dir = temp_ / "d";
  fs::create_directories(dir);
  touch(dir / "a");
  touch(dir / "b");
  DeleteFileRetry((dir / "a").string(), true);  // the folder still holds b: it stays
  EXPECT_FALSE(fs::exists(dir / "a"));
  EXPECT_TRUE(fs::exists(dir / "b"));
  RemoveFolderRetry(dir.string() + "/");  // not empty: left in place, no error
  EXPECT_TRUE(fs::exists(dir));
  DeleteFileRetry((dir / "b").string(), true);
  EXPECT_FALSE(fs::exists(dir));
  DeleteFileRetry((dir / "b").string(), true);
  RemoveFolderRetry(dir.string());
  DeleteFileRetry((temp_ / "no" / "such" / "file").string(), false);

  // A link given by path is removed itself; its target stays.
  touch(temp_ / "target");
  fs::create_symlink(temp_ / "target", temp_ / "link");
  chmod((temp_ / "target").c_str(), 0444);
  DeleteFileRetry((temp_ / "link").string(), false);
  EXPECT_FALSE(fs::is_symlink(temp_ / "link"));
  ASSERT_TRUE(fs::exists(temp_ / "target"));
  EXPECT_EQ(fs::status(temp_ / "target").permissions() & fs::perms::owner_write, fs::perms::none)
      << "the link's target was made writable";
}

TEST_F(WorkingFolder, DeleteFolderContentsCanRemoveTheFolderItself) {
  const fs::path dir = temp_ / "tree";
  fs::create_directories(dir / "a" / "b");
  touch(dir / "a" / "b" / "c");
  touch(dir / "x");
  DeleteFolderContents(dir.string(), true);
  EXPECT_FALSE(fs::exists(dir));
}

}  // namespace
}  // namespace vt
