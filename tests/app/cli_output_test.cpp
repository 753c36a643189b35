// Every command that writes takes "-o -" (standard output) and a device or FIFO (/dev/null, a
// pipe another program reads), which it writes directly: the same bytes as into a file, nothing
// else on standard output, and nothing left beside the device.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <string>
#include <thread>

#include "support/test_support.h"

namespace vt {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

struct OutputCase {
  const char* Name;
  const char* Command;  // with SRC and OUT in it
  const char* FileName;  // what "-o DIR" (thumbs) or "-o FILE" writes, inside the work folder
  bool OutputIsFolder;
};

void PrintTo(const OutputCase& c, std::ostream* os) { *os << c.Name; }

std::string Fill(std::string command, const std::string& src, const std::string& out) {
  command.replace(command.find("SRC"), 3, test::Quote(src));
  command.replace(command.find("OUT"), 3, out == "-" ? out : test::Quote(out));
  return std::string(VT_CLI) + " " + command;
}

class CliOutput : public ::testing::TestWithParam<OutputCase> {};

TEST_P(CliOutput, StandardOutputDevicesAndPipesGetTheSameBytesAsAFile) {
  const OutputCase& c = GetParam();
  const std::string dir = test::TempPath("-output");
  fs::create_directories(dir);
  const std::string src = dir + "/photo.jpg";
  fs::copy_file(VT_SAMPLE_FILE, src);

  // Into a file (or a folder): the reference bytes.
  const std::string target = c.OutputIsFolder ? dir + "/thumbs" : dir + "/" + c.FileName;
  ASSERT_EQ(test::RunCommand(Fill(c.Command, src, target) + " >/dev/null 2>&1"), 0);
  const Bytes reference = test::ReadBytes(c.OutputIsFolder ? target + "/" + c.FileName : target);
  ASSERT_GT(reference.size(), 1000u);

  // Standard output: those bytes and nothing more.
  std::string out;
  ASSERT_EQ(test::RunCommand(Fill(c.Command, src, "-") + " 2>/dev/null", &out), 0);
  EXPECT_TRUE(Bytes(out.begin(), out.end()) == reference) << out.size() << " bytes instead of " << reference.size();

  // /dev/null: written, not replaced.
  ASSERT_EQ(test::RunCommand(Fill(c.Command, src, "/dev/null") + " 2>&1", &out), 0) << out;
  struct stat st {};
  ASSERT_EQ(::stat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode)) << "/dev/null is still the device";
  for (const auto& e : fs::directory_iterator("/dev"))
    EXPECT_EQ(e.path().filename().string().rfind(".null.", 0), std::string::npos) << e.path();

  // A FIFO that another program (here: this one) reads.
  const std::string fifo = dir + "/pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  std::atomic<bool> done{false};
  int status = -1;
  std::thread command([&] {
    status = test::RunCommand(Fill(c.Command, src, fifo) + " >/dev/null 2>&1");
    done = true;
  });
  Bytes received;
  uint8_t buffer[65536];
  for (;;) {
    const ssize_t n = ::read(reader, buffer, sizeof buffer);
    if (n > 0) {
      received.insert(received.end(), buffer, buffer + n);
    } else if (done && (n == 0 || errno == EAGAIN)) {
      if (::read(reader, buffer, sizeof buffer) <= 0) break;  // nothing came after the end
    } else {
      ::usleep(2000);
    }
  }
  command.join();
  ::close(reader);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(received == reference) << received.size() << " bytes instead of " << reference.size();
  struct stat fst {};
  ASSERT_EQ(::lstat(fifo.c_str(), &fst), 0);
  EXPECT_TRUE(S_ISFIFO(fst.st_mode)) << "the FIFO is still a FIFO";
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CliOutput,
    ::testing::Values(OutputCase{"RenderPng", "render SRC --format png -o OUT", "out.png", false},
                      OutputCase{"RenderBmp", "render SRC -o OUT", "out.bmp", false},
                      OutputCase{"RenderWithBackground", "render SRC --background auto --format png -o OUT", "bg.png",
                                 false},
                      OutputCase{"Restore", "restore SRC -o OUT", "out.jpg", false},
                      OutputCase{"RestoreWithoutThumbnail", "restore SRC --thumb none -o OUT", "none.jpg", false},
                      OutputCase{"Thumbs", "thumbs SRC -o OUT", "photo-thumb0.jpg", true}),
    [](const auto& info) { return std::string(info.param.Name); });

// Standard output carries only the picture: restore names the file it wrote only when it wrote
// one, and thumbs lists on standard error.
TEST(CliOutput, StandardOutputCarriesNothingButThePicture) {
  std::string out;
  ASSERT_EQ(test::RunCommand(std::string(VT_CLI) + " restore " + test::Quote(VT_SAMPLE_FILE) + " -o - 2>/dev/null", &out),
            0);
  ASSERT_GE(out.size(), 4u);
  EXPECT_EQ(uint8_t(out[0]), 0xFF);
  EXPECT_EQ(uint8_t(out[1]), 0xD8);
  EXPECT_EQ(uint8_t(out[out.size() - 2]), 0xFF);
  EXPECT_EQ(uint8_t(out[out.size() - 1]), 0xD9);
  std::string err;
  ASSERT_EQ(test::RunCommand(std::string(VT_CLI) + " thumbs " + test::Quote(VT_SAMPLE_FILE) + " -o - 2>&1 >/dev/null",
                             &err),
            0);
  EXPECT_NE(err.find("1 thumbnail(s)"), std::string::npos) << err;
}

// A FIFO that nobody reads is not waited for, and a file with no thumbnail has nothing to write.
TEST(CliOutput, NothingToWriteOrNobodyReadingFailsAtOnce) {
  const std::string dir = test::TempPath("-output");
  fs::create_directories(dir);
  const std::string fifo = dir + "/pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  std::string out;
  EXPECT_EQ(test::RunCommand("timeout 20 " + std::string(VT_CLI) + " restore " + test::Quote(VT_SAMPLE_FILE) + " -o " +
                                 test::Quote(fifo) + " 2>&1",
                             &out),
            1);
  EXPECT_NE(out.find("no program reads from it"), std::string::npos) << out;
  const std::string plain = dir + "/plain.jpg";
  test::WriteBytes(plain, test::Cjpeg("-quality 90", 32, 32));
  EXPECT_EQ(test::RunCommand(std::string(VT_CLI) + " thumbs " + test::Quote(plain) + " -o - 2>&1 >/dev/null", &out), 1);
  EXPECT_NE(out.find("there is no thumbnail to write"), std::string::npos) << out;
}

}  // namespace
}  // namespace vt
