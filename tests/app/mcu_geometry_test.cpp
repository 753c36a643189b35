// One MCU layout for the frame: vantrelle-cli info's "mcu", the document's grid and the restored
// file's MCU all give the MCU of a scan of every component (8 x H by 8 x V pixels, the largest
// sampling factors; 8 x 8 for grey), for every sampling, sequential or progressive, whatever the
// picture's size. The MCU edits apply where the decoder's last scan used that grid.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <string>

#include "jpeg/mcu_layout.h"
#include "jpeg/writer.h"
#include "support/test_support.h"
#include "viewer/open_document.h"
#include "viewer/thumb_source.h"

namespace vt {
namespace {

struct GeometryCase {
  const char* Name;
  const char* Args;  // cjpeg
  bool Grey;
  int Width, Height;
  int McuWidth, McuHeight;  // by the sampling factors
  bool Edits;               // the MCU edits apply: the last scan holds every component
};

void PrintTo(const GeometryCase& c, std::ostream* os) { *os << c.Name; }

int CeilDiv(int a, int b) { return (a + b - 1) / b; }

class McuGeometry : public ::testing::TestWithParam<GeometryCase> {};

TEST_P(McuGeometry, InfoDocumentAndWriterAgree) {
  const GeometryCase& c = GetParam();
  const std::string dir = test::TempPath("-mcu");
  std::filesystem::create_directories(dir);
  const std::string file = dir + "/in.jpg";
  test::WriteBytes(file, test::Cjpeg(c.Args, c.Width, c.Height, c.Grey, 5));
  const TkelMcuLayout want{c.McuWidth, c.McuHeight, CeilDiv(c.Width, c.McuWidth), CeilDiv(c.Height, c.McuHeight)};

  std::string out;
  ASSERT_EQ(test::RunCommand(std::string(VT_CLI) + " info --json " + test::Quote(file), &out), 0);
  const nlohmann::json mcu = nlohmann::json::parse(out)["mcu"];
  EXPECT_EQ((TkelMcuLayout{mcu["width"], mcu["height"], mcu["cols"], mcu["rows"]}), want) << mcu.dump();

  TvtDiscSource source;
  TvtThumbSource document;
  ASSERT_NE(OpenDocument(source, document, file, {}).Item, nullptr);
  EXPECT_EQ((TkelMcuLayout{document.MCUWidth, document.MCUHeight, document.MCUCols, document.MCURows}), want);
  EXPECT_EQ(FrameMcuLayout(*document.Jpeg), want);
  // The edits work on the decoder's grid: the frame's after a last scan of every component; a
  // progressive file's last scan codes one component's blocks (of a grey one, the frame's).
  EXPECT_EQ(document.CanEditMCUs(), c.Edits);

  const TkelWriterComponentTable& table = PrepareWriter(*document.Jpeg);
  EXPECT_EQ((TkelMcuLayout{table.MCUWidth, table.MCUHeight, table.MCUsPerRow, table.MCURows}), want);
  // The restored file as libjpeg reads it: one interleaved scan with that MCU.
  const std::string restored = dir + "/out.jpg";
  ASSERT_EQ(test::RunCommand(std::string(VT_CLI) + " restore " + test::Quote(file) + " -o " + test::Quote(restored)),
            0);
  const test::RefCoefficients ref = test::LibjpegCoefficients(test::ReadBytes(restored));
  ASSERT_TRUE(ref.Ok) << ref.Error;
  int maxH = 0, maxV = 0;
  for (const auto& comp : ref.Components) {
    maxH = std::max(maxH, comp.H);
    maxV = std::max(maxV, comp.V);
  }
  EXPECT_EQ(ref.Components.size() == 1 ? 8 : maxH * 8, c.McuWidth);
  EXPECT_EQ(ref.Components.size() == 1 ? 8 : maxV * 8, c.McuHeight);
  document.Clear();
}

INSTANTIATE_TEST_SUITE_P(
    Samplings, McuGeometry,
    ::testing::Values(GeometryCase{"Baseline444", "-quality 90 -sample 1x1", false, 203, 157, 8, 8, true},
                      GeometryCase{"Baseline422", "-quality 90 -sample 2x1", false, 203, 157, 16, 8, true},
                      GeometryCase{"Baseline440", "-quality 90 -sample 1x2", false, 203, 157, 8, 16, true},
                      GeometryCase{"Baseline420", "-quality 90 -sample 2x2", false, 203, 157, 16, 16, true},
                      GeometryCase{"Baseline411", "-quality 90 -sample 4x1", false, 75, 41, 32, 8, true},
                      GeometryCase{"Grey", "-quality 90", true, 203, 157, 8, 8, true},
                      GeometryCase{"Progressive444", "-quality 90 -sample 1x1 -progressive", false, 203, 157, 8, 8, false},
                      GeometryCase{"Progressive420", "-quality 90 -sample 2x2 -progressive", false, 203, 157, 16, 16, false},
                      GeometryCase{"Progressive422", "-quality 90 -sample 2x1 -progressive", false, 33, 17, 16, 8, false},
                      GeometryCase{"ProgressiveGrey", "-quality 90 -progressive", true, 17, 9, 8, 8, true}),
    [](const auto& info) { return std::string(info.param.Name); });

// The rule itself on scans: one component is coded block by block, several are interleaved.
TEST(McuGeometry, ScansOfOneComponentUseItsBlock) {
  // 4:2:0 frame of 100 x 50: luma 2 x 2, chroma 1 x 1.
  EXPECT_EQ(ScanMcuLayout(100, 50, 2, 2, 3, 2, 2), (TkelMcuLayout{16, 16, 7, 4}));
  EXPECT_EQ(ScanMcuLayout(100, 50, 2, 2, 1, 2, 2), (TkelMcuLayout{8, 8, 13, 7}));    // luma alone
  EXPECT_EQ(ScanMcuLayout(100, 50, 2, 2, 1, 1, 1), (TkelMcuLayout{16, 16, 7, 4}));   // chroma alone
  EXPECT_EQ(ScanMcuLayout(100, 0, 2, 2, 3, 2, 2), (TkelMcuLayout{16, 16, 7, 0}));    // height from DNL
  EXPECT_EQ(ScanMcuLayout(100, 50, 0, 2, 3, 2, 2), TkelMcuLayout{});                 // no frame
}

}  // namespace
}  // namespace vt
