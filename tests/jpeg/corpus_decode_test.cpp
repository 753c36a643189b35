// The real sample files: every one loads without a crash; those libjpeg reads cleanly decode
// completely to the same coefficients; the damaged and unsupported ones give their codes.
#include <gtest/gtest.h>

#include <filesystem>

#include "jpeg/decode_helpers.h"

namespace vt::test {
namespace {

std::vector<std::string> CorpusFiles() {
  std::vector<std::string> out;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(CorpusPath(""), ec)) {
    const std::string ext = e.path().extension().string();
    if (ext == ".jpg" || ext == ".mpo") out.push_back(e.path().filename().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

class CorpusDecodeTest : public ::testing::TestWithParam<std::string> {};

TEST_P(CorpusDecodeTest, LoadsSensibly) {
  const Bytes data = ReadBytes(CorpusPath(GetParam()));
  for (int bufferSize : {0, 65536}) {
    KeepingParser p(bufferSize);
    LoadedJpeg in(data);
    const int r = in.Load(p);
    EXPECT_GE(r, jrOK);
    EXPECT_LE(r, jrBadData);
    EXPECT_LE(p.Position, static_cast<int64_t>(data.size()));
    const int percent = p.DecodedPercent();
    EXPECT_GE(percent, 0);
    EXPECT_LE(percent, 100);
    const RefCoefficients ref = LibjpegCoefficients(data);
    if (ref.Ok && ref.Warnings == 0 && p.FrameSeen && p.Process <= 0xC2) {
      // Files libjpeg reads without a complaint decode completely and identically.
      EXPECT_EQ(r, jrOK);
      EXPECT_EQ(percent, 100);
      EXPECT_TRUE(SameCoefficients(p, ref));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusDecodeTest, ::testing::ValuesIn(CorpusFiles()), [](const auto& info) {
  std::string n = info.param;
  for (char& c : n)
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  return n;
});

TEST(CorpusDecode, KnownCases) {
  struct Case {
    const char* File;
    int Result;
  };
  for (const Case& c : {Case{"ljt-testimgari.jpg", jrBadStructure}  /* DAC has no parser */, Case{"pil-truncated_jpeg.jpg", jrEndOfData},
                        Case{"ljt-testorig.jpg", jrOK}, Case{"pil-pil_sample_cmyk.jpg", jrOK}}) {
    SCOPED_TRACE(c.File);
    KeepingParser p(65536);
    LoadedJpeg in(ReadBytes(CorpusPath(c.File)));
    EXPECT_EQ(in.Load(p), c.Result);
  }
  KeepingParser p;
  LoadedJpeg truncated(ReadBytes(CorpusPath("pil-truncated_jpeg.jpg")));
  truncated.Load(p);
  EXPECT_GT(p.DecodedPercent(), 0);  // cut after a complete scan: the scans read are whole
  KeepingParser cmyk;
  LoadedJpeg c(ReadBytes(CorpusPath("pil-pil_sample_cmyk.jpg")));
  c.Load(cmyk);
  EXPECT_EQ(cmyk.GetColorModel(), cmYCCK);  // Adobe transform 2
  EXPECT_EQ(cmyk.RestartInterval, 13);
}

}  // namespace
}  // namespace vt::test
