// Our rendering against libjpeg-turbo's (accurate integer IDCT, no fancy upsampling) on files
// made by cjpeg, by libjpeg itself (CMYK and YCCK) and on the intact sample files; and the render
// command end to end.
#include <gtest/gtest.h>
#include <jpeglib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/stream.h"
#include "bitmap/bitmap32.h"
#include "jpeg/image.h"
#include "support/test_support.h"

namespace vt {
namespace {

using test::Bytes;

// Largest difference per channel that we accept between our pixels and libjpeg's. Our IDCT
// descales once at the end with truncation and our colour conversion truncates where libjpeg
// rounds; a chroma sample one off moves blue by 1.77. Measured over every file below: 4 for
// YCbCr files (all of them reach it), 1 for grey, 2 to 3 for CMYK, 5 for YCCK (K multiplies the
// error). The mean absolute difference is about 0.5 for grey (the IDCT's truncation alone) and
// about 1.0 for colour (the conversion's truncation adds about half a level); YCCK 1.35.
constexpr int kPeerBound = 4;
constexpr int kYcckBound = 5;
constexpr double kMeanBound = 1.2;
constexpr double kYcckMeanBound = 1.5;

struct Decoded {
  int result = -1;
  std::unique_ptr<TBitmap32> bitmap;
};

Decoded Decode(const Bytes& jpeg, uint16_t flags = 0) {
  TTempMemoryStream s;
  s.SetPointer(jpeg.data(), int64_t(jpeg.size()));
  TkelJpegImage image(0);
  Decoded d;
  d.result = image.LoadFromStream(s, flags, 0);
  d.bitmap = image.TakeBitmap();
  return d;
}

// The RGB a CMYK sample quadruple (as libjpeg returns the stored values) stands for, by the
// same rule as our conversion (Adobe files store inverted inks).
void CmykToRgb(const uint8_t* p, int rgb[3]) {
  const int k = p[3];
  for (int i = 0; i < 3; ++i) rgb[i] = std::clamp(k - ((255 - p[i]) * k) / 255, 0, 255);
}

// Largest per-channel difference between our bitmap and libjpeg's decoding over the frame, and
// the mean absolute difference.
int MaxDifference(const TBitmap32& ours, const test::RefImage& ref, double* mean) {
  int worst = 0;
  int64_t total = 0;
  for (int y = 0; y < ref.Height; ++y)
    for (int x = 0; x < ref.Width; ++x) {
      const TColor32 px = ours.Pixel(x, y);
      if (AlphaComponent(px) != 255) return 1000;  // an intact file has no holes
      const uint8_t* p = &ref.Pixels[(size_t(y) * ref.Width + x) * ref.Components];
      int rgb[3];
      if (ref.Components == 1) {
        rgb[0] = rgb[1] = rgb[2] = p[0];
      } else if (ref.Components == 4) {
        CmykToRgb(p, rgb);
      } else {
        rgb[0] = p[0], rgb[1] = p[1], rgb[2] = p[2];
      }
      const int dr = std::abs(RedComponent(px) - rgb[0]), dg = std::abs(GreenComponent(px) - rgb[1]),
                db = std::abs(BlueComponent(px) - rgb[2]);
      worst = std::max({worst, dr, dg, db});
      total += dr + dg + db;
    }
  *mean = double(total) / (3.0 * ref.Width * ref.Height);
  return worst;
}

void ExpectCloseToLibjpeg(const Bytes& jpeg, const std::string& what, int bound = kPeerBound,
                          double meanBound = kMeanBound) {
  const test::RefImage ref = test::LibjpegDecode(jpeg);
  ASSERT_TRUE(ref.Ok) << what << ": " << ref.Error;
  const Decoded d = Decode(jpeg);
  ASSERT_EQ(d.result, jrOK) << what;
  ASSERT_TRUE(d.bitmap);
  ASSERT_EQ(d.bitmap->Width(), ref.Width) << what;
  ASSERT_EQ(d.bitmap->Height(), ref.Height) << what;
  double mean = 0;
  const int diff = MaxDifference(*d.bitmap, ref, &mean);
  EXPECT_LE(diff, bound) << what << ": largest channel difference " << diff;
  EXPECT_LE(mean, meanBound) << what;
  ::testing::Test::RecordProperty(what, diff);
  std::printf("[ measured ] %s: largest channel difference %d, mean %.3f\n", what.c_str(), diff, mean);
}

struct CjpegCase {
  const char* name;
  const char* args;
  int width, height;
  bool grey;
};

class AgainstLibjpeg : public ::testing::TestWithParam<CjpegCase> {};

TEST_P(AgainstLibjpeg, CjpegFilesDecodeWithinTheBound) {
  const CjpegCase& c = GetParam();
  ExpectCloseToLibjpeg(test::Cjpeg(c.args, c.width, c.height, c.grey), c.name);
}

INSTANTIATE_TEST_SUITE_P(
    Cjpeg, AgainstLibjpeg,
    ::testing::Values(CjpegCase{"s444", "-quality 90 -sample 1x1", 203, 117, false},
                      CjpegCase{"s422", "-quality 85 -sample 2x1", 190, 97, false},
                      CjpegCase{"s440", "-quality 85 -sample 1x2", 97, 190, false},
                      CjpegCase{"s420", "-quality 92 -sample 2x2", 301, 203, false},
                      CjpegCase{"grey", "-quality 75 -grayscale", 129, 65, true},
                      CjpegCase{"progressive", "-quality 90 -sample 2x2 -progressive", 250, 180, false},
                      CjpegCase{"progressive444", "-quality 95 -sample 1x1 -progressive", 121, 77, false},
                      CjpegCase{"restart", "-quality 80 -sample 2x2 -restart 1", 260, 150, false},
                      CjpegCase{"restartBlocks", "-quality 80 -sample 2x1 -restart 3B", 100, 70, false},
                      CjpegCase{"q100", "-quality 100 -sample 1x1", 64, 64, false},
                      CjpegCase{"q10", "-quality 10 -sample 2x2", 90, 90, false},
                      CjpegCase{"optimised", "-quality 88 -optimize -sample 2x2", 111, 99, false},
                      CjpegCase{"large", "-quality 90 -sample 2x2", 700, 520, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Encodes CMYK samples with libjpeg: Adobe marker, stored as given, as CMYK or YCCK.
Bytes EncodeCmyk(const Bytes& cmyk, int w, int h, bool ycck) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &out, &size);
  cinfo.image_width = JDIMENSION(w);
  cinfo.image_height = JDIMENSION(h);
  cinfo.input_components = 4;
  cinfo.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&cinfo);
  jpeg_set_colorspace(&cinfo, ycck ? JCS_YCCK : JCS_CMYK);
  jpeg_set_quality(&cinfo, 90, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(&cmyk[size_t(cinfo.next_scanline) * w * 4]);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  Bytes result(out, out + size);
  jpeg_destroy_compress(&cinfo);
  std::free(out);
  return result;
}

TEST(AgainstLibjpeg, AdobeCmykAndYcckDecodeWithinTheBound) {
  const int w = 83, h = 61;
  const Bytes rgb = test::PhotoLikeRgb(w, h, 5);
  Bytes cmyk(size_t(w) * h * 4);
  for (size_t i = 0; i < size_t(w) * h; ++i) {
    // Inverted inks as Adobe applications store them, with a varying K.
    cmyk[i * 4 + 0] = rgb[i * 3 + 0];
    cmyk[i * 4 + 1] = rgb[i * 3 + 1];
    cmyk[i * 4 + 2] = rgb[i * 3 + 2];
    cmyk[i * 4 + 3] = uint8_t(255 - (i % w) * 2);
  }
  ExpectCloseToLibjpeg(EncodeCmyk(cmyk, w, h, false), "cmyk");
  ExpectCloseToLibjpeg(EncodeCmyk(cmyk, w, h, true), "ycck", kYcckBound, kYcckMeanBound);
}

class CorpusAgainstLibjpeg : public ::testing::TestWithParam<const char*> {};

TEST_P(CorpusAgainstLibjpeg, IntactSampleFilesDecodeWithinTheBound) {
  ExpectCloseToLibjpeg(test::ReadBytes(test::CorpusPath(GetParam())), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusAgainstLibjpeg,
                         ::testing::Values("ljt-testorig.jpg", "ljt-testimgint.jpg", "pil-flower.jpg",
                                           "pil-hopper_gray.jpg", "pil-pil_sample_cmyk.jpg",
                                           "pil-hopper_16bit_qtables.jpg", "pil-exif_gps.jpg",
                                           "pil-hopper_orientation_6.jpg", "pil-icc-after-SOF.jpg",
                                           "pil-sugarshack.mpo"),
                         [](const auto& info) {
                           std::string n = info.param;
                           for (char& ch : n)
                             if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return n;
                         });

// ------------------------------------------------------------------ damage

// Rows [0, opaqueRows) are opaque; rows from firstHoleRow on are all (0, 0, 0, 0).
void ExpectTopDecodedBottomTransparent(const TBitmap32& b, int opaqueRows, int firstHoleRow) {
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      if (y < opaqueRows) { ASSERT_EQ(AlphaComponent(b.Pixel(x, y)), 255) << x << "," << y; }
      if (y >= firstHoleRow) { ASSERT_EQ(b.Pixel(x, y), 0u) << x << "," << y; }
    }
}

TEST(Damage, TruncatedBaselineShowsTheTopAndTransparentRest) {
  const Bytes full = test::Cjpeg("-quality 90 -sample 2x2", 320, 240);
  const Bytes cut(full.begin(), full.begin() + long(full.size() / 2));
  const Decoded d = Decode(cut);
  EXPECT_EQ(d.result, jrEndOfData);
  ASSERT_TRUE(d.bitmap);
  ASSERT_EQ(d.bitmap->Width(), 320);
  ASSERT_EQ(d.bitmap->Height(), 240);
  // Find the first row that has a hole; everything above is opaque, the last rows are empty.
  int firstHole = 240;
  for (int y = 0; y < 240 && firstHole == 240; ++y)
    for (int x = 0; x < 320; ++x)
      if (AlphaComponent(d.bitmap->Pixel(x, y)) == 0) {
        firstHole = y;
        break;
      }
  EXPECT_GT(firstHole, 32);
  EXPECT_LT(firstHole, 208);
  EXPECT_EQ(firstHole % 16, 0) << "holes start at an MCU boundary";
  ExpectTopDecodedBottomTransparent(*d.bitmap, firstHole, firstHole + 16);
  // The decoded part matches the intact file's decoding exactly.
  const Decoded whole = Decode(full);
  for (int y = 0; y < firstHole; ++y)
    for (int x = 0; x < 320; ++x) ASSERT_EQ(d.bitmap->Pixel(x, y), whole.bitmap->Pixel(x, y));
}

TEST(Damage, TruncatedProgressiveFilesKeepWhatTheScansReached) {
  const Bytes full = test::Cjpeg("-quality 90 -sample 2x2 -progressive", 256, 192);
  const Decoded whole = Decode(full);
  ASSERT_EQ(whole.result, jrOK);
  for (double fraction : {0.15, 0.4, 0.7, 0.95}) {
    const Bytes cut(full.begin(), full.begin() + long(full.size() * fraction));
    const Decoded d = Decode(cut);
    EXPECT_NE(d.result, jrOK) << fraction;
    ASSERT_TRUE(d.bitmap) << fraction;
    ASSERT_EQ(d.bitmap->Width(), 256);
    ASSERT_EQ(d.bitmap->Height(), 192);
    // The first (DC) scans are complete early on, so the whole picture is there, coarser.
    int opaque = 0;
    for (int y = 0; y < 192; ++y)
      for (int x = 0; x < 256; ++x) opaque += AlphaComponent(d.bitmap->Pixel(x, y)) == 255;
    EXPECT_EQ(opaque, 256 * 192) << fraction;
  }
  // A progressive file cut inside its first scan has holes below the reached rows.
  const Bytes early(full.begin(), full.begin() + 700);
  const Decoded d = Decode(early);
  ASSERT_TRUE(d.bitmap);
  EXPECT_EQ(d.bitmap->Pixel(255, 191), 0u);
}

TEST(Damage, CorpusTruncatedProgressiveFileRendersWithHoles) {
  const Decoded d = Decode(test::ReadBytes(test::CorpusPath("pil-truncated_jpeg.jpg")));
  EXPECT_NE(d.result, jrOK);
  ASSERT_TRUE(d.bitmap);
  ASSERT_FALSE(d.bitmap->Empty());
  int opaque = 0, holes = 0;
  for (int y = 0; y < d.bitmap->Height(); ++y)
    for (int x = 0; x < d.bitmap->Width(); ++x) {
      const TColor32 px = d.bitmap->Pixel(x, y);
      if (AlphaComponent(px) == 255) ++opaque;
      else if (px == 0) ++holes;
      else ADD_FAILURE() << "pixel neither opaque nor empty at " << x << "," << y;
    }
  EXPECT_GT(opaque, 0);
}

TEST(Damage, CorruptedBytesNeverBreakRendering) {
  // Random byte damage in the scan data of several kinds of file: every load ends, and every
  // pixel is either decoded (opaque) or a hole (0, 0, 0, 0).
  const Bytes files[] = {test::Cjpeg("-quality 85 -sample 2x2 -restart 1", 200, 120),
                         test::Cjpeg("-quality 85 -sample 2x1 -progressive", 150, 100),
                         test::Cjpeg("-quality 85 -grayscale", 90, 70, true)};
  uint32_t state = 12345;
  auto rnd = [&state] { return state = state * 1103515245u + 12345u, state >> 8; };
  for (const Bytes& original : files) {
    for (int trial = 0; trial < 60; ++trial) {
      Bytes damaged = original;
      const size_t start = damaged.size() / 4;
      for (int k = 0; k < 1 + trial % 6; ++k) damaged[start + rnd() % (damaged.size() - start)] = uint8_t(rnd());
      const Decoded d = Decode(damaged);
      ASSERT_TRUE(d.bitmap) << trial;
      const TColor32* px = d.bitmap->Bits();
      for (size_t i = 0; i < size_t(d.bitmap->Width()) * d.bitmap->Height(); ++i)
        ASSERT_TRUE(px[i] >> 24 == 255 || px[i] == 0) << "trial " << trial << " pixel " << i;
    }
  }
}

// ------------------------------------------------------------------ command line

TEST(RenderCommand, WritesBmpAndPngWithTransparentHoles) {
  const Bytes full = test::Cjpeg("-quality 90 -sample 2x2", 160, 96);
  const std::string in = test::TempPath(".jpg");
  test::WriteBytes(in, Bytes(full.begin(), full.begin() + long(full.size() * 6 / 10)));
  const std::string bmp = test::TempPath(".bmp");
  const std::string png = test::TempPath(".png");
  std::string cli = VT_CLI;
  EXPECT_EQ(test::RunCommand(cli + " render " + in + " -o " + bmp + " 2>/dev/null"), 0);
  EXPECT_EQ(test::RunCommand(cli + " render " + in + " -o " + png + " --format png 2>/dev/null"), 0);
  TBitmap32 fromBmp;
  fromBmp.LoadFromFile(bmp);
  const Decoded d = Decode(test::ReadBytes(in));
  ASSERT_EQ(fromBmp.Width(), 160);
  ASSERT_EQ(fromBmp.Height(), 96);
  for (int y = 0; y < 96; ++y)
    for (int x = 0; x < 160; ++x) ASSERT_EQ(fromBmp.Pixel(x, y), d.bitmap->Pixel(x, y));
  EXPECT_EQ(fromBmp.Pixel(159, 95), 0u);
  // ImageMagick reads the PNG with the same pixels, alpha included (its text dump of a corner
  // pixel of the hole and of the decoded top).
  std::string out;
  ASSERT_EQ(test::RunCommand(std::string(VT_CONVERT) + " " + png + " -format '%[pixel:p{159,95}] %[pixel:p{0,0}]' info:", &out), 0);
  char expectTop[64];
  const TColor32 top = d.bitmap->Pixel(0, 0);
  std::snprintf(expectTop, sizeof expectTop, "srgba(%d,%d,%d,1)", RedComponent(top), GreenComponent(top),
                BlueComponent(top));
  EXPECT_NE(out.find("srgba(0,0,0,0)"), std::string::npos) << out;
  EXPECT_NE(out.find(expectTop), std::string::npos) << out << " expected " << expectTop;
  // Grey view of the second component; usage errors exit with 2, unreadable input with 1.
  EXPECT_EQ(test::RunCommand(cli + " render " + in + " -o " + bmp + " --view 2 2>/dev/null"), 0);
  EXPECT_EQ(test::RunCommand(cli + " render " + in + " -o " + bmp + " --view 7 2>/dev/null"), 2);
  EXPECT_EQ(test::RunCommand(cli + " render /nonexistent.jpg -o " + bmp + " 2>/dev/null"), 1);
}

}  // namespace
}  // namespace vt
