// The resource bounds of base/limits.h, enforced on inputs made to break them: files of a few
// bytes (or one megabyte of padding) that declare frames of up to 65535 x 65535. Each command
// runs as a child; the test reads its peak resident memory from the kernel (wait4), its exit
// status, and the files it wrote. The restored file must have the height the renderer shows.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "base/limits.h"
#include "base/stream.h"
#include "jpeg/image.h"
#include "jpeg/jpeg_constants.h"
#include "support/test_support.h"

extern char** environ;

namespace vt {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

// Either sanitizer build (ASan or ThreadSanitizer): slower, and with shadow memory.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

void Segment(Bytes& out, uint8_t marker, const Bytes& body) {
  out.insert(out.end(), {0xFF, marker, uint8_t((body.size() + 2) >> 8), uint8_t(body.size() + 2)});
  out.insert(out.end(), body.begin(), body.end());
}

// A JPEG with one-bit Huffman codes (DC difference 0, end of block), so that every zero data
// bit pair is one flat block: dataBytes of data cover 4 blocks a byte.
Bytes HostileJpeg(int width, int height, int components, uint8_t sof, size_t dataBytes, size_t padding) {
  Bytes j = {0xFF, 0xD8};
  while (padding > 0) {  // COM segments of junk before the frame
    const size_t n = std::min<size_t>(padding, 65000);
    Segment(j, 0xFE, Bytes(n, 'x'));
    padding -= n;
  }
  Bytes dqt = {0x00};
  dqt.resize(65, 1);
  Segment(j, 0xDB, dqt);
  Bytes frame = {8, uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8), uint8_t(width), uint8_t(components)};
  for (int c = 0; c < components; ++c) frame.insert(frame.end(), {uint8_t(c + 1), 0x11, 0});
  Segment(j, sof, frame);
  Bytes table = {0x00, 1};
  table.resize(17, 0);
  table.push_back(0x00);
  Segment(j, 0xC4, table);
  table[0] = 0x10;
  Segment(j, 0xC4, table);
  Bytes scan = {uint8_t(components)};
  for (int c = 0; c < components; ++c) scan.insert(scan.end(), {uint8_t(c + 1), 0x00});
  // A progressive frame gets its DC scan (Ss = Se = 0); a sequential one all 64 coefficients.
  scan.insert(scan.end(), {0x00, uint8_t(sof == 0xC2 ? 0 : 63), 0x00});
  Segment(j, 0xDA, scan);
  j.insert(j.end(), dataBytes, 0x00);
  j.insert(j.end(), {0xFF, 0xD9});
  return j;
}

struct Hostile {
  const char* Name;
  int Width, Height, Components;
  uint8_t Sof;
  size_t DataBytes, Padding;
  int ExpectedHeight;  // the height rendered and restored: the frame's, or the rows reached
};

const Hostile kHostile[] = {
    // A couple of hundred bytes that declare the largest frame there is.
    {"Tiny65535Colour", 65535, 65535, 3, 0xC0, 60, 0, 8},
    {"Tiny65535Progressive", 65535, 65535, 3, 0xC2, 60, 0, 8},
    // One megabyte, nearly all padding, declaring 268 M pixels: more than the megabyte stands for.
    {"PaddedMegabyte", 65535, 4096, 1, 0xC0, 40, kBoundedInputBytes - 400, 8},
    // Small enough to keep in full although the data covers one row.
    {"PlausibleFrame", 4096, 4096, 1, 0xC0, 40, 0, 4096},
    {"PlausibleForLibjpeg", 65500, 1024, 1, 0xC0, 40, 0, 1024},
};

void PrintTo(const Hostile& h, std::ostream* os) { *os << h.Name; }

struct TChildRun {
  int Status = -1;  // exit status, or -1 when killed by a signal
  int64_t PeakResidentBytes = 0;
  double Seconds = 0;
};

TChildRun RunCli(const std::vector<std::string>& args) {
  std::vector<std::string> all = {VT_CLI};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  TChildRun run;
  const auto t0 = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) return run;
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return run;
  run.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.PeakResidentBytes = int64_t(usage.ru_maxrss) * 1024;
  return run;
}

// The frame height written in a JPEG's SOF segment, or -1.
int FrameHeight(const Bytes& j) {
  for (size_t i = 2; i + 8 < j.size();) {
    if (j[i] != 0xFF) return -1;
    const uint8_t m = j[i + 1];
    if (m >= 0xC0 && m <= 0xC2) return j[i + 5] << 8 | j[i + 6];
    i += 2 + (j[i + 2] << 8 | j[i + 3]);
  }
  return -1;
}

class Limits : public ::testing::TestWithParam<std::tuple<Hostile, const char*>> {};

TEST_P(Limits, EachCommandStaysWithinTheBounds) {
  const auto& [h, command] = GetParam();
  const std::string dir = test::TempPath("-limits");
  fs::create_directories(dir);
  const std::string input = dir + "/hostile.jpg";
  const Bytes bytes = HostileJpeg(h.Width, h.Height, h.Components, h.Sof, h.DataBytes, h.Padding);
  ASSERT_LE(int64_t(bytes.size()), kBoundedInputBytes);
  test::WriteBytes(input, bytes);

  const std::string cmd = command, out = dir + (cmd == "render" ? "/out.png" : "/out.jpg");
  std::vector<std::string> args = {cmd, input};
  if (cmd == "render" || cmd == "restore") args.insert(args.end(), {"-o", out});
  if (cmd == "thumbs") args.insert(args.end(), {"-o", dir + "/thumbs"});
  const TChildRun run = RunCli(args);

  ASSERT_GE(run.Status, 0) << "killed by a signal";
  EXPECT_LE(run.Status, 1);
  if (!kSanitized) {  // a sanitizer's shadow memory and quarantine are no part of the bound
    EXPECT_LE(run.PeakResidentBytes, kBoundedResidentBytes) << (run.PeakResidentBytes >> 20) << " MB resident";
  }
  // Generous: the bound holds on an idle machine; a loaded test machine gets five times as long.
  const int seconds = 5 * (kSanitized ? kBoundedSecondsSanitized : kBoundedSeconds);
  EXPECT_LE(run.Seconds, seconds) << cmd << " took " << run.Seconds << " s";

  if (cmd == "render") {
    ASSERT_EQ(run.Status, 0);
    const Bytes png = test::ReadBytes(out);  // the size from the IHDR chunk
    ASSERT_GE(png.size(), 24u);
    EXPECT_EQ(png[16] << 24 | png[17] << 16 | png[18] << 8 | png[19], h.Width);
    EXPECT_EQ(png[20] << 24 | png[21] << 16 | png[22] << 8 | png[23], h.ExpectedHeight);
  } else if (cmd == "restore") {
    ASSERT_EQ(run.Status, 0);
    const Bytes restored = test::ReadBytes(out);
    EXPECT_LE(int64_t(restored.size()), kBoundedRestoreBytes);
    EXPECT_EQ(FrameHeight(restored), h.ExpectedHeight) << "the restored frame covers what the renderer shows";
    TTempMemoryStream stream;
    stream.SetPointer(restored.data(), int64_t(restored.size()));
    TkelJpegImage ours(0);
    EXPECT_EQ(ours.LoadFromStream(stream, pfNoRender, 0), jrOK);
    EXPECT_EQ(ours.DecodedPercent(), 100);
    if (h.Width <= 65500) {  // libjpeg's largest dimension
      const test::RefImage ref = test::LibjpegDecode(restored);
      EXPECT_TRUE(ref.Ok) << ref.Error;
      EXPECT_EQ(ref.Width, h.Width);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(HostileFrames, Limits,
                         ::testing::Combine(::testing::ValuesIn(kHostile),
                                            ::testing::Values("info", "render", "thumbs", "restore")),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).Name) + "_" + std::get<1>(info.param);
                         });

TEST(Limits, FramePlausibilityRule) {
  // In full up to 64 M pixels whatever the input; beyond, 64 pixels per byte read.
  EXPECT_TRUE(FrameIsPlausible(8192, 8192, 1));
  EXPECT_FALSE(FrameIsPlausible(8192, 8193, 1));
  EXPECT_TRUE(FrameIsPlausible(65535, 65535, (int64_t(65535) * 65535 + 63) / 64));
  EXPECT_FALSE(FrameIsPlausible(65535, 65535, int64_t(65535) * 65535 / 64 - 1));
  // One megabyte never keeps more than 64 M pixels it does not cover.
  EXPECT_FALSE(FrameIsPlausible(65535, 1025, kBoundedInputBytes));
  EXPECT_EQ(RestoreOutputLimit(1), kBoundedRestoreBytes);
  EXPECT_EQ(RestoreOutputLimit(int64_t(10) << 20), int64_t(640) << 20);
}

}  // namespace
}  // namespace vt
