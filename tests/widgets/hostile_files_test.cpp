// The real main window offscreen against hostile files: every sample file, every fuzz
// regression input and a few hundred generated mutants are opened, painted, every thumbnail is
// selected and File > Save As writes into a temporary folder. Nothing may crash, no exception may
// escape (errors reach the error box), and the process stays within the memory bound.
#include <gtest/gtest.h>

#include <QApplication>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "base/limits.h"
#include "support/test_support.h"
#include "viewer/widgets/main_form.h"
#include "viewer/widgets/source_actions.h"
#include "viewer/widgets/thumb_box.h"
#include "widgets/widget_support.h"

namespace vt {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

#if defined(__SANITIZE_ADDRESS__)
constexpr int kMutantsPerSeed = 12;
#else
constexpr int kMutantsPerSeed = 50;
#endif

// Resident memory of this process, from /proc.
int64_t ResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stoll(line.substr(6)) * 1024;
  return 0;
}

// Damage as it happens: cuts, flipped bits, zeroed or random stretches, bytes inserted or
// removed, a duplicated stretch (a rewritten sector), markers planted.
Bytes Mutate(const Bytes& in, std::mt19937& rng) {
  Bytes b = in;
  if (b.empty()) return b;
  auto pos = [&](size_t n) { return static_cast<size_t>(rng() % std::max<size_t>(n, 1)); };
  const int edits = 1 + static_cast<int>(rng() % 4);
  for (int e = 0; e < edits && !b.empty(); ++e) {
    switch (rng() % 7) {
      case 0: b.resize(pos(b.size())); break;
      case 1: b[pos(b.size())] ^= static_cast<uint8_t>(1u << (rng() % 8)); break;
      case 2: {
        const size_t at = pos(b.size()), n = std::min<size_t>(b.size() - at, 1 + rng() % 512);
        std::fill_n(b.begin() + static_cast<long>(at), n, rng() % 2 ? 0x00 : 0xFF);
        break;
      }
      case 3: {
        const size_t at = pos(b.size()), n = std::min<size_t>(b.size() - at, 1 + rng() % 64);
        for (size_t i = 0; i < n; ++i) b[at + i] = static_cast<uint8_t>(rng());
        break;
      }
      case 4: b.insert(b.begin() + static_cast<long>(pos(b.size())), 1 + rng() % 16, static_cast<uint8_t>(rng())); break;
      case 5: {
        const size_t at = pos(b.size()), n = std::min<size_t>(b.size() - at, 1 + rng() % 256);
        b.erase(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + n));
        break;
      }
      default: {
        static const uint8_t markers[] = {0xD8, 0xD9, 0xDA, 0xC0, 0xC2, 0xC4, 0xDB, 0xDD, 0xD0, 0xE1};
        const size_t at = pos(b.size() - 1);
        b[at] = 0xFF;
        b[at + 1] = markers[rng() % sizeof markers];
        break;
      }
    }
  }
  return b;
}

std::vector<std::string> FilesBelow(const std::string& dir) {
  std::vector<std::string> files;
  std::error_code ec;
  if (!fs::exists(dir, ec)) return files;
  for (const auto& e : fs::recursive_directory_iterator(dir, ec))
    if (e.is_regular_file() && e.path().filename() != "SOURCES.md" && e.path().filename() != "README.md")
      files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

class HostileFilesTest : public test::RecordedErrorBoxes {
 protected:
  // Opens, paints, selects every entry, saves; an exception escaping any of it fails the test.
  void Exercise(const std::string& file) {
    SCOPED_TRACE(file);
    form->OpenFile(file);
    form->grab();
    TvtThumbBox& box = form->ThumbBox();
    for (int32_t i = 0; i < box.Core().Count(); ++i) {
      box.SelectItem(i);
      form->grab();
    }
    if (box.Core().Count() > 0) box.SelectItem(0);
    test::RefreshActions();
    if (form->SaveAction().isEnabled()) {
      dialog.answer = outDir + "/restored.jpg";
      form->SaveAction().Execute();
    }
    test::FinishResizerJobs();
    const int64_t resident = ResidentBytes();
    EXPECT_LT(resident, kBoundedResidentBytes) << "resident memory after " << file;
    ++exercised;
  }

  void SetUp() override {
    RecordedErrorBoxes::SetUp();
    outDir = test::TempPath("hostile-out");
    fs::create_directories(outDir);
    form = std::make_unique<TMainForm>();
    form->resize(700, 450);
    form->SetSaveDialog(&dialog);
  }
  void TearDown() override {
    form.reset();
    RecordedErrorBoxes::TearDown();
  }

  std::unique_ptr<TMainForm> form;
  test::AnsweringDialog dialog;
  std::string outDir;
  int exercised = 0;
};

TEST_F(HostileFilesTest, SampleFilesAndFuzzRegressionsOpenPaintSelectAndSave) {
  std::vector<std::string> files = FilesBelow(VT_CORPUS_DIR);
  const std::vector<std::string> fuzz = FilesBelow(std::string(VT_TEST_DATA_DIR) + "/fuzz");
  files.insert(files.end(), fuzz.begin(), fuzz.end());
  files.push_back(test::SamplePath());
  ASSERT_GE(files.size(), 20u);
  for (const std::string& f : files) Exercise(f);
  EXPECT_EQ(exercised, static_cast<int>(files.size()));
  for (const auto& box : shown) EXPECT_FALSE(box.Text.empty());
}

TEST_F(HostileFilesTest, GeneratedMutantsOpenPaintSelectAndSave) {
  const std::vector<std::string> seeds = {test::SamplePath(), test::CorpusPath("pil-flower.jpg"),
                                          test::CorpusPath("et-ExifTool.jpg"), test::CorpusPath("pil-sugarshack.mpo"),
                                          test::CorpusPath("ljt-testorig.jpg")};
  std::mt19937 rng(20261209);
  const std::string dir = test::TempPath("mutants");
  fs::create_directories(dir);
  int n = 0;
  for (const std::string& seed : seeds) {
    const Bytes original = test::ReadBytes(seed);
    for (int i = 0; i < kMutantsPerSeed; ++i) {
      const std::string path = dir + "/mutant-" + std::to_string(n++) + ".jpg";
      test::WriteBytes(path, Mutate(original, rng));
      Exercise(path);
    }
  }
  EXPECT_EQ(exercised, n);
}

}  // namespace
}  // namespace vt
