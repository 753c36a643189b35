// The damage lab's camera-like photos: encoded as a camera encodes (standard Huffman tables, the
// quality, sampling and restart interval asked for), with the Exif thumbnail and orientation a
// camera writes, and a picture that is not a pattern a realignment could guess.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/stream.h"
#include "jpeg/image.h"
#include "jpeg/std_tables.h"
#include "support/camera_photo.h"
#include "support/damage.h"
#include "thumbs/jpeg_with_thumbs.h"
#include "thumbs/orientation.h"

namespace vt::test {
namespace {

int Load(TkelJpegImage& image, const Bytes& jpeg) {
  TTempMemoryStream s;
  s.SetPointer(jpeg.data(), int64_t(jpeg.size()));
  return image.LoadFromStream(s, 0, 0);
}

bool IsTable(const TkelHuffmanTable& t, const TStdHuffmanTable& std) {
  for (int i = 0; i < 16; ++i)
    if (t.Counts[i + 1] != std.Counts[i]) return false;
  return std::equal(std.Values, std.Values + std.ValueCount, t.Values);
}

size_t RestartMarkerCount(const Bytes& jpeg) {
  const TScanSpan span = ScanDataSpan(jpeg);
  size_t n = 0;
  for (size_t i = span.Begin; i + 1 < span.End; ++i)
    if (jpeg[i] == 0xFF && jpeg[i + 1] >= 0xD0 && jpeg[i + 1] <= 0xD7) ++n;
  return n;
}

struct EncodingCase {
  const char* Name;
  TRestartKind Restart;
  bool Sample422;
  int Quality;
};

void PrintTo(const EncodingCase& c, std::ostream* os) { *os << c.Name; }

class CameraEncoding : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(CameraEncoding, IsWhatACameraWrites) {
  const EncodingCase& c = GetParam();
  TCameraPhotoOptions o;
  o.Restart = c.Restart;
  o.Sample422 = c.Sample422;
  o.Quality = c.Quality;
  o.Thumbnail = false;
  const Bytes jpeg = CameraPhoto(o);

  const RefImage ref = LibjpegDecode(jpeg);
  ASSERT_TRUE(ref.Ok) << ref.Error;
  EXPECT_EQ(ref.Warnings, 0);
  TkelJpegImage image(0);
  ASSERT_EQ(Load(image, jpeg), jrOK);
  EXPECT_FALSE(image.DataErrors);
  EXPECT_EQ(image.Process, 0xC0);  // baseline
  ASSERT_EQ(image.ComponentCount, 3);
  EXPECT_EQ(image.FrameComponents[0].H, 2);
  EXPECT_EQ(image.FrameComponents[0].V, c.Sample422 ? 1 : 2);
  EXPECT_EQ(image.FrameComponents[1].H * image.FrameComponents[1].V, 1);

  // The standard tables of the JPEG standard's Annex K, not optimised ones.
  EXPECT_TRUE(IsTable(image.DcTables[0], kStdDcLuminance));
  EXPECT_TRUE(IsTable(image.AcTables[0], kStdAcLuminance));
  EXPECT_TRUE(IsTable(image.DcTables[1], kStdDcChrominance));
  EXPECT_TRUE(IsTable(image.AcTables[1], kStdAcChrominance));
  // The quality: Annex K's luminance table scaled as libjpeg scales it.
  const int scale = 200 - 2 * c.Quality;
  for (int i = 0; i < 64; ++i)
    EXPECT_EQ(image.QuantTables[0].Entries[i], std::clamp((kStdLuminanceQuant[kZigZag[i]] * scale + 50) / 100, 1, 255))
        << "entry " << i;

  const int mcus = image.MCUsPerRow * image.MCURows;
  const int interval = c.Restart == TRestartKind::None     ? 0
                       : c.Restart == TRestartKind::OneMCU ? 1
                       : c.Restart == TRestartKind::FourMCUs ? 4
                                                             : image.MCUsPerRow;
  EXPECT_EQ(image.RestartInterval, interval);
  EXPECT_EQ(RestartMarkerCount(jpeg), interval ? size_t((mcus + interval - 1) / interval - 1) : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Lab, CameraEncoding,
    ::testing::Values(EncodingCase{"none_420_q92", TRestartKind::None, false, 92},
                      EncodingCase{"one_mcu_422_q95", TRestartKind::OneMCU, true, 95},
                      EncodingCase{"four_mcus_420_q90", TRestartKind::FourMCUs, false, 90},
                      EncodingCase{"one_row_422_q93", TRestartKind::OneRow, true, 93}),
    [](const auto& info) { return std::string(info.param.Name); });

struct ThumbCase {
  const char* Name;
  int Width, Height;
  int ExifOrientation;
  int ThumbTurn;
  int StoredWidth, StoredHeight;  // the thumbnail as it is stored
};

void PrintTo(const ThumbCase& c, std::ostream* os) { *os << c.Name; }

class CameraThumbnail : public ::testing::TestWithParam<ThumbCase> {};

TEST_P(CameraThumbnail, IsStoredAsTheCameraTurnedIt) {
  const ThumbCase& c = GetParam();
  if (!CameraPhotosPossible()) GTEST_SKIP() << "exiftool is not installed";
  TCameraPhotoOptions o;
  o.Width = c.Width;
  o.Height = c.Height;
  o.ExifOrientation = c.ExifOrientation;
  o.ThumbTurn = c.ThumbTurn;
  o.Seed = 5;
  const Bytes jpeg = CameraPhoto(o);

  TkelJpegWithThumbs image(false, 0);
  TTempMemoryStream s;
  s.SetPointer(jpeg.data(), int64_t(jpeg.size()));
  ASSERT_EQ(image.LoadFromStream(s, 0), jrOK);
  EXPECT_FALSE(image.HasJFIF);  // cameras write Exif alone
  EXPECT_EQ(image.Orientation, c.ExifOrientation ? c.ExifOrientation - 1 : 0);
  ASSERT_EQ(image.Thumbs().ThumbCount(), 1);
  PkelJpegThumb t = image.Thumbs().GetThumbs(0);
  ASSERT_TRUE(t->Bitmap);
  EXPECT_EQ(t->Bitmap->Width(), c.StoredWidth);
  EXPECT_EQ(t->Bitmap->Height(), c.StoredHeight);
  // The orientation detector finds the turn that makes it the main picture.
  std::unique_ptr<TBitmap32> main = image.TakeBitmap();
  ASSERT_TRUE(main);
  EXPECT_EQ(DetectOrientation(*main, *t->Bitmap), c.ThumbTurn);
}

INSTANTIATE_TEST_SUITE_P(Lab, CameraThumbnail,
                         ::testing::Values(ThumbCase{"plain", 640, 480, 0, 0, 160, 120},
                                           ThumbCase{"held_upright", 640, 480, 6, 0, 160, 120},
                                           ThumbCase{"main_turned_clockwise", 640, 480, 1, 5, 120, 160},
                                           ThumbCase{"main_turned_counter_clockwise", 640, 480, 0, 7, 120, 160},
                                           ThumbCase{"mirrored", 640, 480, 0, 1, 160, 120},
                                           ThumbCase{"three_to_two", 600, 400, 0, 0, 160, 107},
                                           ThumbCase{"portrait", 480, 640, 8, 0, 120, 160}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(CameraScene, IsAPhotoAndNotAPattern) {
  for (uint32_t seed = 1; seed <= 3; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    TCameraPhotoOptions o;
    o.Seed = seed;
    o.Thumbnail = false;
    const Bytes jpeg = CameraPhoto(o);
    // Neighbouring blocks differ as in photos: a DC pattern or runs of equal blocks would let a
    // realignment guess where data belongs.
    const RefCoefficients coef = LibjpegCoefficients(jpeg);
    ASSERT_TRUE(coef.Ok) << coef.Error;
    const RefComponent& y = coef.Components[0];
    int sameDc = 0, pairs = 0;
    for (int by = 0; by < y.BlocksHigh; ++by)
      for (int bx = 1; bx < y.BlocksWide; ++bx, ++pairs) sameDc += y.Block(bx, by)[0] == y.Block(bx - 1, by)[0];
    // Smooth areas (sky: only noise within an 8x8 area) and busy ones (texture, edges) both.
    const RefImage pixels = LibjpegDecode(jpeg);
    ASSERT_TRUE(pixels.Ok) << pixels.Error;
    int smooth = 0, busy = 0, areas = 0;
    for (int ty = 0; ty + 8 <= pixels.Height; ty += 8)
      for (int tx = 0; tx + 8 <= pixels.Width; tx += 8, ++areas) {
        double sum = 0, squares = 0;
        for (int py = ty; py < ty + 8; ++py)
          for (int px = tx; px < tx + 8; ++px) {
            const uint8_t* p = &pixels.Pixels[(size_t(py) * pixels.Width + px) * 3];
            const double luma = 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2];
            sum += luma;
            squares += luma * luma;
          }
        const double deviation = std::sqrt(std::max(0.0, squares / 64 - (sum / 64) * (sum / 64)));
        smooth += deviation <= 2.5;
        busy += deviation >= 10;
      }
    const double bitsPerPixel = 8.0 * double(ScanDataSpan(jpeg).Size()) / (o.Width * o.Height);
    std::printf("[ measured ] seed %u: same DC as the left neighbour %.3f, smooth areas %.3f, busy areas %.3f, %.2f bits a pixel\n",
                seed, double(sameDc) / pairs, double(smooth) / areas, double(busy) / areas, bitsPerPixel);
    EXPECT_LT(double(sameDc) / pairs, 0.15);
    EXPECT_GT(double(smooth) / areas, 0.08);
    EXPECT_GT(double(busy) / areas, 0.15);
    EXPECT_GT(bitsPerPixel, 1.5);  // a camera's fine quality, not a cartoon's
  }
  // The same seed makes the same picture; another seed another one.
  EXPECT_EQ(CameraSceneRgb(320, 240, 9), CameraSceneRgb(320, 240, 9));
  EXPECT_NE(CameraSceneRgb(320, 240, 9), CameraSceneRgb(320, 240, 10));
}

}  // namespace
}  // namespace vt::test
