#include "base/safe_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

#include "support/test_support.h"

namespace vt {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

// Writes count bytes of value v, then fails when failAfter bytes have gone out (-1: never).
std::function<void(TStream&)> Writer(size_t count, uint8_t v, int64_t failAfter = -1) {
  return [=](TStream& s) {
    Bytes chunk(count, v);
    if (failAfter >= 0) {
      s.WriteBuffer(chunk.data(), failAfter);
      throw std::runtime_error("encoder failed");
    }
    s.WriteBuffer(chunk.data(), static_cast<int64_t>(chunk.size()));
  };
}

// Files in folder whose names start like the temporary files of target.
int Leftovers(const std::string& target) {
  const std::string prefix = SafeTempPrefix(target);
  int n = 0;
  for (const auto& e : fs::directory_iterator(fs::path(target).parent_path()))
    n += e.path().filename().string().rfind(prefix, 0) == 0;
  return n;
}

TEST(SafeFile, WritesANewFileAndReplacesAnOldOneKeepingItsPermissions) {
  const std::string dir = test::TempPath("safe-new");
  fs::create_directories(dir);
  const std::string target = dir + "/out.jpg";
  SaveFileSafely(target, Writer(1000, 7));
  EXPECT_EQ(test::ReadBytes(target), Bytes(1000, 7));

  ::chmod(target.c_str(), 0640);
  SaveFileSafely(target, Writer(10, 9));
  EXPECT_EQ(test::ReadBytes(target), Bytes(10, 9));
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(Leftovers(target), 0);
}

TEST(SafeFile, AFailedWriteLeavesTheOldFileAndNoTemporaryFile) {
  const std::string dir = test::TempPath("safe-fail");
  fs::create_directories(dir);
  const std::string target = dir + "/out.jpg";
  test::WriteBytes(target, Bytes(50, 1));
  for (int64_t after : {0, 1, 4095, 70000}) {
    EXPECT_THROW(SaveFileSafely(target, Writer(100000, 2, after)), std::runtime_error) << after;
    EXPECT_EQ(test::ReadBytes(target), Bytes(50, 1)) << after;
    EXPECT_EQ(Leftovers(target), 0) << after;
  }
  // A failure before anything existed leaves nothing at all.
  const std::string fresh = dir + "/fresh.jpg";
  EXPECT_THROW(SaveFileSafely(fresh, Writer(10, 2, 3)), std::runtime_error);
  EXPECT_FALSE(fs::exists(fresh));
  EXPECT_EQ(Leftovers(fresh), 0);
}

TEST(SafeFile, AnExistingFileNamedLikeATemporaryOneIsNeverTouched) {
  const std::string dir = test::TempPath("safe-names");
  fs::create_directories(dir);
  const std::string target = dir + "/photo.jpg";
  // Names an older version of the program used, and ones a user might have.
  for (const std::string name : {"photo.jpg.partial", "photo.jpg.tmp", ".photo.jpg.tmp"})
    test::WriteBytes(dir + "/" + name, Bytes(3, 5));
  SaveFileSafely(target, Writer(20, 6));
  for (const std::string name : {"photo.jpg.partial", "photo.jpg.tmp", ".photo.jpg.tmp"})
    EXPECT_EQ(test::ReadBytes(dir + "/" + name), Bytes(3, 5)) << name;
}

TEST(SafeFile, RefusesTheFileBeingReadUnderAnyNameAndTargetsThatAreNoFiles) {
  const std::string dir = test::TempPath("safe-refuse");
  fs::create_directories(dir);
  const std::string source = dir + "/source.jpg";
  test::WriteBytes(source, Bytes(30, 3));
  fs::create_symlink(source, dir + "/link.jpg");
  fs::create_hard_link(source, dir + "/hard.jpg");
  for (const std::string& t : {source, dir + "/link.jpg", dir + "/hard.jpg", dir + "/./source.jpg"}) {
    EXPECT_THROW(SaveFileSafely(t, Writer(5, 4), source), ESaveRefused) << t;
    EXPECT_EQ(test::ReadBytes(source), Bytes(30, 3)) << t;
  }
  EXPECT_THROW(SaveFileSafely(dir, Writer(5, 4)), ESaveRefused);
  EXPECT_THROW(SaveFileSafely("/dev/null", Writer(5, 4)), ESaveRefused);
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  const std::string fifo = dir + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_THROW(SaveFileSafely(fifo, Writer(5, 4)), ESaveRefused);
  EXPECT_TRUE(fs::is_fifo(fifo));
}

TEST(SafeFile, ALinkIsWrittenThroughToItsTarget) {
  const std::string dir = test::TempPath("safe-link");
  fs::create_directories(dir);
  test::WriteBytes(dir + "/real.jpg", Bytes(3, 1));
  fs::create_symlink("real.jpg", dir + "/link.jpg");
  SaveFileSafely(dir + "/link.jpg", Writer(8, 2));
  EXPECT_TRUE(fs::is_symlink(dir + "/link.jpg"));
  EXPECT_EQ(test::ReadBytes(dir + "/real.jpg"), Bytes(8, 2));
}

TEST(SafeFile, SystemFailuresCarryTheCodeAndNameTheFile) {
  const std::string target = test::TempPath("safe-missing") + "/no/such/folder/out.jpg";
  try {
    SaveFileSafely(target, Writer(5, 4));
    FAIL() << "no exception";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, ENOENT);
    EXPECT_NE(std::string(e.what()).find(target), std::string::npos) << e.what();
  }
}

// The full disc: /dev/full's folder is /dev, where no temporary file may be made either, so
// the save must fail cleanly and leave /dev/full a device.
TEST(SafeFile, DevFullIsRefusedAndStaysADevice) {
  EXPECT_THROW(SaveFileSafely("/dev/full", Writer(5, 4)), ESaveRefused);
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

// A folder the process may not write to. Root may write anywhere, so the case runs in a child
// process that gives up root first; as an ordinary user it runs directly.
TEST(SafeFile, AFolderThatCannotBeWrittenReportsPermissionDeniedAndChangesNothing) {
  const std::string dir = test::TempPath("safe-readonly");
  fs::create_directories(dir);
  const std::string target = dir + "/out.jpg";
  test::WriteBytes(target, Bytes(4, 8));
  ::chmod(target.c_str(), 0666);
  ::chmod(dir.c_str(), 0555);
  auto attempt = [&]() -> int {
    try {
      SaveFileSafely(target, Writer(5, 4));
      return 1;
    } catch (const EOSError& e) {
      return e.ErrorCode == EACCES ? 0 : 2;
    } catch (...) {
      return 3;
    }
  };
  if (::geteuid() != 0) {
    EXPECT_EQ(attempt(), 0);
  } else {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(4);
      if (::access(dir.c_str(), X_OK) != 0) ::_exit(5);  // a parent folder is closed to nobody
      ::_exit(attempt());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 4 || WEXITSTATUS(status) == 5) {
      ::chmod(dir.c_str(), 0755);
      GTEST_SKIP() << "cannot run as an unprivileged user here";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  EXPECT_EQ(test::ReadBytes(target), Bytes(4, 8));
  ::chmod(dir.c_str(), 0755);
  EXPECT_EQ(Leftovers(target), 0);
}

}  // namespace
}  // namespace vt
