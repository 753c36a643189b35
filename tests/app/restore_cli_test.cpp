#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bitmap/bitmap32.h"
#include "support/test_support.h"

namespace vt {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

constexpr int kW = 320, kH = 240;  // 20 x 15 MCUs of 16 x 16 (4:2:0)

std::string Cli(const std::string& args, std::string* out = nullptr) {
  return std::string(VT_CLI) + " restore " + args + (out ? " 2>/dev/null" : "");
}

Bytes Ppm(const Bytes& rgb, int w, int h) {
  const std::string header = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  Bytes file(header.begin(), header.end());
  file.insert(file.end(), rgb.begin(), rgb.end());
  return file;
}

// The picture shrunk by 4 in each direction (box average): what a camera stores as a thumbnail.
Bytes Shrink4(const Bytes& rgb, int w, int h) {
  Bytes small(static_cast<size_t>(w / 4) * (h / 4) * 3);
  for (int y = 0; y < h / 4; ++y)
    for (int x = 0; x < w / 4; ++x)
      for (int k = 0; k < 3; ++k) {
        int sum = 0;
        for (int dy = 0; dy < 4; ++dy)
          for (int dx = 0; dx < 4; ++dx) sum += rgb[(static_cast<size_t>(y * 4 + dy) * w + x * 4 + dx) * 3 + k];
        small[(static_cast<size_t>(y) * (w / 4) + x) * 3 + k] = static_cast<uint8_t>((sum + 8) / 16);
      }
  return small;
}

struct Fixture {
  Bytes Rgb = test::PhotoLikeRgb(kW, kH, 9);
  std::string Dir = test::TempPath("-restore");
  std::string Intact, Damaged;
  Fixture() {
    fs::create_directories(Dir);
    const std::string big = Dir + "/big.ppm", small = Dir + "/small.ppm", thumb = Dir + "/thumb.jpg";
    test::WriteBytes(big, Ppm(Rgb, kW, kH));
    test::WriteBytes(small, Ppm(Shrink4(Rgb, kW, kH), kW / 4, kH / 4));
    test::WriteBytes(thumb, test::CjpegFile("-quality 95", small));
    Intact = Dir + "/photo.jpg";
    test::WriteBytes(Intact, test::CjpegFile("-quality 90 -sample 2x2 -restart 1", big));
    const std::string cmd = std::string(VT_EXIFTOOL) + " -q -overwrite_original '-ThumbnailImage<=" + thumb + "' " +
                            test::Quote(Intact);
    EXPECT_EQ(test::RunCommand(cmd), 0);
    // Damaged copy: the scan cut after MCU row 9 (at its restart marker + 60 bytes).
    Bytes j = test::ReadBytes(Intact);
    int seen = 0;
    for (size_t i = 0; i + 1 < j.size(); ++i)
      if (j[i] == 0xFF && j[i + 1] >= 0xD0 && j[i + 1] <= 0xD7 && ++seen == 9) {
        j.resize(i + 60);
        break;
      }
    Damaged = Dir + "/damaged.jpg";
    test::WriteBytes(Damaged, j);
  }
};

// Mean absolute difference over the pixel rows [y0, y1).
double MeanDiff(const Bytes& a, const Bytes& b, int y0, int y1) {
  double sum = 0;
  for (size_t i = static_cast<size_t>(y0) * kW * 3; i < static_cast<size_t>(y1) * kW * 3; ++i) sum += std::abs(a[i] - b[i]);
  return sum / (static_cast<double>(y1 - y0) * kW * 3);
}

TEST(RestoreCli, DamagedFileIsCompletedFromItsThumbnailAndKeepsDecodedBlocks) {
  Fixture f;
  std::string out;
  ASSERT_EQ(test::RunCommand(Cli(test::Quote(f.Damaged)), &out), 0);
  const std::string restoredPath = f.Dir + "/damaged (restored).jpg";
  EXPECT_EQ(out, restoredPath + "\n");
  const Bytes restored = test::ReadBytes(restoredPath);
  const test::RefCoefficients got = test::LibjpegCoefficients(restored);
  const test::RefCoefficients want = test::LibjpegCoefficients(test::ReadBytes(f.Intact));
  ASSERT_TRUE(got.Ok) << got.Error;
  EXPECT_EQ(got.Warnings, 0);
  // MCU rows 0..8 decoded: their blocks (luma rows 0..17, chroma rows 0..8) are the intact ones.
  for (size_t c = 0; c < 3; ++c) {
    const int keptRows = c == 0 ? 18 : 9;
    const auto& g = got.Components[c];
    for (int by = 0; by < keptRows; ++by)
      for (int bx = 0; bx < g.BlocksWide; ++bx)
        ASSERT_EQ(0, std::memcmp(g.Block(bx, by), want.Components[c].Block(bx, by), 128)) << c << " " << bx << "," << by;
  }
  // The lost rows (from MCU row 10 down) show the thumbnail scaled up: a blurred original.
  const test::RefImage pixels = test::LibjpegDecode(restored);
  ASSERT_TRUE(pixels.Ok);
  const double filled = MeanDiff(pixels.Pixels, f.Rgb, 160, kH);
  RecordProperty("mean_abs_diff_filled_rows", std::to_string(filled));
  EXPECT_LT(filled, 12.0);

  // With --thumb none the lost blocks are zero: mid-grey, far from the picture.
  ASSERT_EQ(test::RunCommand(Cli(test::Quote(f.Damaged) + " --thumb none -o " + test::Quote(f.Dir + "/none.jpg")), &out), 0);
  const test::RefCoefficients none = test::LibjpegCoefficients(test::ReadBytes(f.Dir + "/none.jpg"));
  EXPECT_EQ(none.Warnings, 0);
  for (int16_t v : std::vector<int16_t>(none.Components[0].Coef.begin() + 20 * 2 * 20 * 64, none.Components[0].Coef.end()))
    ASSERT_EQ(v, 0);
}

TEST(RestoreCli, IntactFileComesOutWithTheSameCoefficients) {
  Fixture f;
  const std::string dir = f.Dir + "/out";
  fs::create_directories(dir);
  std::string out;
  ASSERT_EQ(test::RunCommand(Cli(test::Quote(f.Intact) + " -d " + test::Quote(dir)), &out), 0);
  const Bytes restored = test::ReadBytes(dir + "/photo (restored).jpg");
  const test::RefCoefficients got = test::LibjpegCoefficients(restored);
  EXPECT_EQ(got.Warnings, 0);
  const test::RefCoefficients want = test::LibjpegCoefficients(test::ReadBytes(f.Intact));
  ASSERT_EQ(got.Components.size(), 3u);
  for (size_t c = 0; c < 3; ++c) EXPECT_TRUE(got.Components[c].Coef == want.Components[c].Coef) << c;
  // The APPn segments (JFIF, Exif with its thumbnail) come over byte for byte, right after SOI.
  const Bytes input = test::ReadBytes(f.Intact);
  size_t end = 2;
  while (end + 4 <= input.size() && input[end] == 0xFF && (input[end + 1] & 0xF0) == 0xE0)
    end += 2 + ((input[end + 2] << 8) | input[end + 3]);
  ASSERT_GT(end, 1000u);  // the Exif segment holds a JPEG thumbnail
  ASSERT_GE(restored.size(), end);
  EXPECT_TRUE(std::equal(input.begin(), input.begin() + static_cast<long>(end), restored.begin()));
}

TEST(RestoreCli, FailuresAreReportedPerFileAndNeverDestroyFiles) {
  Fixture f;
  const std::string junk = f.Dir + "/junk.jpg";
  test::WriteBytes(junk, Bytes{0xFF, 0xD8, 0xFF, 0xFE, 0x00, 0x03, 'x'});
  std::string out;
  // A file without an image and a missing file fail; the good one in between is still written.
  EXPECT_EQ(test::RunCommand(Cli(test::Quote(junk) + " " + test::Quote(f.Intact) + " " + test::Quote(f.Dir + "/nope.jpg")), &out), 1);
  EXPECT_EQ(out, f.Dir + "/photo (restored).jpg\n");
  EXPECT_TRUE(fs::exists(f.Dir + "/photo (restored).jpg"));
  EXPECT_FALSE(fs::exists(f.Dir + "/junk (restored).jpg"));

  // The source is never the output.
  const Bytes before = test::ReadBytes(f.Intact);
  EXPECT_EQ(test::RunCommand(Cli(test::Quote(f.Intact) + " -o " + test::Quote(f.Intact)), &out), 1);
  EXPECT_TRUE(test::ReadBytes(f.Intact) == before);

  // An unwritable folder: the older output stays as it was and no temporary file is left.
  const std::string locked = f.Dir + "/locked";
  fs::create_directories(locked);
  const std::string older = locked + "/photo (restored).jpg";
  test::WriteBytes(older, Bytes{1, 2, 3});
  ::chmod(locked.c_str(), 0555);
  const int rc = test::RunCommand(Cli(test::Quote(f.Intact) + " -d " + test::Quote(locked)), &out);
  ::chmod(locked.c_str(), 0755);
  if (::geteuid() != 0) {  // root writes anyway
    EXPECT_EQ(rc, 1);
    EXPECT_TRUE(test::ReadBytes(older) == (Bytes{1, 2, 3}));
  }
  int entries = 0;
  for (const auto& e : fs::directory_iterator(locked)) entries += !e.path().filename().string().empty();
  EXPECT_EQ(entries, 1);

  // Usage errors: -o with several files, an unknown thumbnail choice; a thumbnail that is not there.
  EXPECT_EQ(test::RunCommand(Cli(test::Quote(f.Intact) + " " + test::Quote(f.Damaged) + " -o x.jpg"), &out), 2);
  EXPECT_EQ(test::RunCommand(Cli(test::Quote(f.Intact) + " --thumb best"), &out), 2);
  EXPECT_EQ(test::RunCommand(Cli(test::Quote(f.Damaged) + " --thumb 7 -o " + test::Quote(f.Dir + "/t7.jpg")), &out), 1);
  EXPECT_FALSE(fs::exists(f.Dir + "/t7.jpg"));
}

TEST(RenderCli, BackgroundFillsOnlyTheHoles) {
  Fixture f;
  const std::string plain = f.Dir + "/plain.bmp", filled = f.Dir + "/filled.bmp", none = f.Dir + "/none.bmp";
  const std::string render = std::string(VT_CLI) + " render " + test::Quote(f.Damaged) + " -o ";
  ASSERT_EQ(test::RunCommand(render + test::Quote(plain)), 0);
  ASSERT_EQ(test::RunCommand(render + test::Quote(filled) + " --background auto"), 0);
  ASSERT_EQ(test::RunCommand(render + test::Quote(none) + " --background none"), 0);
  EXPECT_EQ(test::RunCommand(render + test::Quote(none) + " --background 3 2>/dev/null"), 1);
  EXPECT_EQ(test::RunCommand(render + test::Quote(none) + " --background auto --view 1 2>/dev/null"), 2);
  TBitmap32 a, b, c;
  a.LoadFromFile(plain);
  b.LoadFromFile(filled);
  c.LoadFromFile(none);
  ASSERT_EQ(b.Width(), kW);
  ASSERT_EQ(b.Height(), kH);
  ASSERT_EQ(a.Width(), kW);
  long holes = 0;
  double diff = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const TColor32 p = a.Pixel(x, y), q = b.Pixel(x, y);
      ASSERT_EQ(c.Pixel(x, y), p);  // no background: the plain rendering
      ASSERT_EQ(AlphaComponent(q), 255);
      if (AlphaComponent(p) == 255) {
        ASSERT_EQ(p, q);  // decoded pixels are untouched
      } else {
        ++holes;
        const uint8_t* o = &f.Rgb[(static_cast<size_t>(y) * kW + x) * 3];
        diff += std::abs(RedComponent(q) - o[0]) + std::abs(GreenComponent(q) - o[1]) + std::abs(BlueComponent(q) - o[2]);
      }
    }
  EXPECT_GE(holes, 80L * kW);
  EXPECT_LT(diff / (3.0 * holes), 12.0);  // the thumbnail scaled up, close to the picture
}

// An intact file is written straight from its coefficients (no rendering, no thumbnail decoded);
// the bytes must be those of the document's road (--item takes the full open: the disc source,
// the rendered picture, the thumbnail background), bit for bit, for every layout.
struct DirectCase {
  const char* Name;
  const char* Args;
  bool Grey;
};

class RestoreDirectTest : public ::testing::TestWithParam<DirectCase> {};

TEST_P(RestoreDirectTest, IntactFileWrittenFromItsCoefficientsEqualsTheDocumentsRoad) {
  const DirectCase& c = GetParam();
  const std::string dir = test::TempPath("-direct");
  fs::create_directories(dir);
  const std::string file = dir + "/in.jpg";
  // 203 x 157: partial MCUs on the right and at the bottom.
  test::WriteBytes(file, test::Cjpeg(c.Args, 203, 157, c.Grey, 21));
  const std::string thumb = dir + "/thumb.jpg";
  test::WriteBytes(thumb, test::Cjpeg("-quality 80", 52, 40, c.Grey, 22));
  ASSERT_EQ(test::RunCommand(std::string(VT_EXIFTOOL) + " -q -overwrite_original " +
                             test::Quote("-ThumbnailImage<=" + thumb) + " " + test::Quote(file)),
            0);
  std::string out;
  for (const std::string thumbChoice : {"auto", "none", "0"}) {
    const std::string direct = dir + "/direct-" + thumbChoice + ".jpg", document = dir + "/document-" + thumbChoice + ".jpg";
    ASSERT_EQ(test::RunCommand(Cli(test::Quote(file) + " --thumb " + thumbChoice + " -o " + test::Quote(direct)), &out), 0);
    ASSERT_EQ(test::RunCommand(Cli(test::Quote(file) + " --item 0 --thumb " + thumbChoice + " -o " + test::Quote(document)), &out),
              0);
    const Bytes a = test::ReadBytes(direct), b = test::ReadBytes(document);
    ASSERT_GT(a.size(), 1000u);
    EXPECT_TRUE(a == b) << c.Name << " --thumb " << thumbChoice << ": " << a.size() << " vs " << b.size() << " bytes";
  }
  // And the coefficients are the input's.
  const test::RefCoefficients got = test::LibjpegCoefficients(test::ReadBytes(dir + "/direct-auto.jpg"));
  const test::RefCoefficients want = test::LibjpegCoefficients(test::ReadBytes(file));
  ASSERT_EQ(got.Components.size(), want.Components.size());
  EXPECT_EQ(got.Warnings, 0);
  for (size_t k = 0; k < got.Components.size(); ++k) EXPECT_TRUE(got.Components[k].Coef == want.Components[k].Coef) << k;
  // A thumbnail index the file does not have is refused on the direct road too.
  int status = test::RunCommand(Cli(test::Quote(file) + " --thumb 3 -o " + test::Quote(dir + "/x.jpg")) + " 2>/dev/null");
  EXPECT_NE(status, 0);
  EXPECT_FALSE(fs::exists(dir + "/x.jpg"));
}

INSTANTIATE_TEST_SUITE_P(Layouts, RestoreDirectTest,
                         ::testing::Values(DirectCase{"baseline420", "-quality 90 -sample 2x2", false},
                                           DirectCase{"progressive420", "-quality 90 -sample 2x2 -progressive", false},
                                           DirectCase{"restart", "-quality 90 -sample 2x2 -restart 1", false},
                                           DirectCase{"baseline444", "-quality 95 -sample 1x1", false},
                                           DirectCase{"grey", "-quality 90", true},
                                           DirectCase{"progressive444", "-quality 100 -sample 1x1 -progressive", false}),
                         [](const ::testing::TestParamInfo<DirectCase>& i) { return std::string(i.param.Name); });

}  // namespace
}  // namespace vt
