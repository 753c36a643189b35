// Replays a fuzz target's inputs as ordinary tests: every file in tests/data/fuzz/TARGET (the
// inputs that once found a fault) and the sample files of tests/data/corpus go through the
// target's LLVMFuzzerTestOneInput, linked in from fuzz/TARGET_fuzz.cpp. The target aborts on a
// wrong result; the sanitizer build reports memory errors; a test passes when neither happens.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace vt {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Inputs() {
  std::vector<std::string> files;
  for (const std::string& dir : {test::DataPath("fuzz/" VT_FUZZ_TARGET), std::string(VT_CORPUS_DIR)}) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) continue;
    for (const auto& e : fs::directory_iterator(dir))
      if (e.is_regular_file() && e.path().filename() != "SOURCES.md" && e.path().extension() != ".md")
        files.push_back(e.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

class FuzzReplay : public ::testing::TestWithParam<std::string> {};

TEST_P(FuzzReplay, RunsCleanly) {
  const test::Bytes bytes = test::ReadBytes(GetParam());
  // A copy on the heap of exactly the file's size, so a read past the end is caught.
  std::vector<uint8_t> exact(bytes.begin(), bytes.end());
  EXPECT_EQ(LLVMFuzzerTestOneInput(exact.data(), exact.size()), 0);
}

INSTANTIATE_TEST_SUITE_P(Inputs, FuzzReplay, ::testing::ValuesIn(Inputs()), [](const auto& info) {
  std::string name = fs::path(info.param).parent_path().filename().string() + "_" + fs::path(info.param).filename().string();
  for (char& c : name)
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  return name + "_" + std::to_string(info.index);
});

}  // namespace
}  // namespace vt
