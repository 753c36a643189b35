// Every file the command line writes (render -o, thumbs -o, restore) goes through the safe
// writer: on a full disk, a file-size limit, a folder the user cannot write, a target that is
// the source under another name, or a FIFO, the command fails with a message, the older target
// keeps its bytes and no temporary file is left beside it. A control case shows that each
// command does replace the target when nothing is in the way.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>

#include "base/safe_file.h"
#include "support/test_support.h"

namespace vt {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

struct Writer {
  const char* Name;
  // The command's arguments for source file SRC and output folder DIR.
  std::string (*Args)(const std::string& src, const std::string& dir);
  // The file the command writes into DIR.
  const char* Target;
};

const Writer kWriters[] = {
    {"render", [](const std::string& s, const std::string& d) { return "render " + test::Quote(s) + " -o " + test::Quote(d + "/out.png"); },
     "out.png"},
    {"renderbmp", [](const std::string& s, const std::string& d) { return "render " + test::Quote(s) + " -o " + test::Quote(d + "/out.bmp"); },
     "out.bmp"},
    {"thumbs", [](const std::string& s, const std::string& d) { return "thumbs " + test::Quote(s) + " -o " + test::Quote(d); },
     "flower-thumb0.jpg"},
    {"restore", [](const std::string& s, const std::string& d) { return "restore " + test::Quote(s) + " -o " + test::Quote(d + "/out.jpg"); },
     "out.jpg"},
};

void PrintTo(const Writer& w, std::ostream* os) { *os << w.Name; }

enum class Obstacle { None, FullDisk, FileSizeLimit, UnwritableFolder, TargetIsSource, Fifo };

const char* ObstacleName(Obstacle o) {
  switch (o) {
    case Obstacle::None: return "Nothing";
    case Obstacle::FullDisk: return "FullDisk";
    case Obstacle::FileSizeLimit: return "FileSizeLimit";
    case Obstacle::UnwritableFolder: return "UnwritableFolder";
    case Obstacle::TargetIsSource: return "TargetIsSource";
    case Obstacle::Fifo: return "Fifo";
  }
  return "?";
}

void PrintTo(Obstacle o, std::ostream* os) { *os << ObstacleName(o); }

const Bytes kOlder = {'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'};

int Leftovers(const std::string& dir, const std::string& target) {
  const std::string prefix = SafeTempPrefix(target);
  int n = 0;
  for (const auto& e : fs::directory_iterator(dir)) n += e.path().filename().string().rfind(prefix, 0) == 0;
  return n;
}

// Fills the file system of dir until a write fails for want of space.
void FillUp(const std::string& dir) {
  std::FILE* f = std::fopen((dir + "/filler").c_str(), "wb");
  ASSERT_NE(f, nullptr);
  static const char block[4096] = {};
  while (std::fwrite(block, 1, sizeof block, f) == sizeof block) {
  }
  std::fclose(f);
}

class CliWriters : public ::testing::TestWithParam<std::tuple<Writer, Obstacle>> {
 protected:
  void TearDown() override {
    if (mounted_) ::umount2(dir_.c_str(), MNT_DETACH);
  }
  std::string dir_;
  bool mounted_ = false;
};

TEST_P(CliWriters, AFailedWriteKeepsTheOlderTargetAndLeavesNoTemporaryFile) {
  const auto& [writer, obstacle] = GetParam();
  const std::string work = test::TempPath("-writers");
  dir_ = work + "/out";
  fs::create_directories(dir_);
  const std::string source = work + "/flower.jpg";
  fs::copy_file(test::CorpusPath("pil-flower.jpg"), source);
  const Bytes sourceBytes = test::ReadBytes(source);
  const std::string target = dir_ + "/" + writer.Target;
  std::string prefix;

  switch (obstacle) {
    case Obstacle::None:
    case Obstacle::FileSizeLimit:
      test::WriteBytes(target, kOlder);
      if (obstacle == Obstacle::FileSizeLimit) prefix = "trap '' XFSZ; ulimit -f 1; ";  // 1 KB
      break;
    case Obstacle::FullDisk:
      if (::geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
      if (::mount("tmpfs", dir_.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
      mounted_ = true;
      test::WriteBytes(target, kOlder);
      FillUp(dir_);
      break;
    case Obstacle::UnwritableFolder:
      test::WriteBytes(target, kOlder);
      ::chmod(dir_.c_str(), 0555);
      if (::geteuid() == 0) {
        // Root writes anyway: run the command as nobody, who must reach the folder and source.
        prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
        if (test::RunCommand(prefix + "test -r " + test::Quote(source) + " -a -x " + test::Quote(dir_)) != 0)
          GTEST_SKIP() << "user nobody cannot reach " << dir_ << " (or setpriv is missing)";
      }
      break;
    case Obstacle::TargetIsSource:
      fs::create_symlink(source, target);
      break;
    case Obstacle::Fifo:
      ASSERT_EQ(::mkfifo(target.c_str(), 0644), 0);
      break;
  }

  std::string out;
  const int status =
      test::RunCommand(prefix + "timeout 20 " + std::string(VT_CLI) + " " + writer.Args(source, dir_) + " 2>&1", &out);
  ::chmod(dir_.c_str(), 0755);

  EXPECT_TRUE(test::ReadBytes(source) == sourceBytes) << "the source changed";
  if (obstacle == Obstacle::None) {
    EXPECT_EQ(status, 0) << out;
    const Bytes written = test::ReadBytes(target);
    EXPECT_GT(written.size(), 1024u) << "the control output is small enough to slip under the 1 KB limit";
    EXPECT_FALSE(written == kOlder);
  } else {
    EXPECT_EQ(status, 1) << out;  // not 124 (timeout): a FIFO must not block
    EXPECT_NE(out.find(writer.Target), std::string::npos) << "the message names the target: " << out;
    if (obstacle == Obstacle::Fifo) {
      struct stat st {};
      ASSERT_EQ(::lstat(target.c_str(), &st), 0);
      EXPECT_TRUE(S_ISFIFO(st.st_mode));
    } else if (obstacle == Obstacle::TargetIsSource) {
      EXPECT_TRUE(fs::is_symlink(target));
    } else {
      EXPECT_TRUE(test::ReadBytes(target) == kOlder) << "the older target was changed";
    }
  }
  EXPECT_EQ(Leftovers(dir_, target), 0) << "a temporary file was left";
}

INSTANTIATE_TEST_SUITE_P(
    AllWriters, CliWriters,
    ::testing::Combine(::testing::ValuesIn(kWriters),
                       ::testing::Values(Obstacle::None, Obstacle::FullDisk, Obstacle::FileSizeLimit,
                                         Obstacle::UnwritableFolder, Obstacle::TargetIsSource, Obstacle::Fifo)),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).Name) + "_" + ObstacleName(std::get<1>(info.param));
    });

// The restored copy's default place is beside the source; a source given under a second name
// (a hard link as the -o target) is still the source.
TEST(CliWriters, RestoreRefusesAHardLinkToTheSource) {
  const std::string work = test::TempPath("-writers");
  fs::create_directories(work);
  const std::string source = work + "/flower.jpg", link = work + "/link.jpg";
  fs::copy_file(test::CorpusPath("pil-flower.jpg"), source);
  fs::create_hard_link(source, link);
  const Bytes before = test::ReadBytes(source);
  std::string out;
  EXPECT_EQ(test::RunCommand(std::string(VT_CLI) + " restore " + test::Quote(source) + " -o " + test::Quote(link) + " 2>&1", &out), 1);
  EXPECT_NE(out.find("is the file being read"), std::string::npos) << out;
  EXPECT_TRUE(test::ReadBytes(source) == before);
}

}  // namespace
}  // namespace vt
