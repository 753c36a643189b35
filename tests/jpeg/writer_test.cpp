#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/stream.h"
#include "bitmap/bitmap32.h"
#include "jpeg/image.h"
#include "jpeg/writer.h"
#include "support/test_support.h"

namespace vt {
namespace {

using test::Bytes;

// Loads jpeg bytes as the document does (segments recorded, no rendering).
std::unique_ptr<TkelJpegImage> Load(const Bytes& jpeg, int* result = nullptr) {
  auto image = std::make_unique<TkelJpegImage>(0);
  TTempMemoryStream in;
  in.SetPointer(jpeg.data(), static_cast<int64_t>(jpeg.size()));
  const int rc = image->LoadFromStream(in, pfRecordSegments | pfNoRender, 0);
  if (result) *result = rc;
  return image;
}

Bytes Write(TkelJpegImage& image, const TBitmap32* bitmap = nullptr,
            const TkelAlphaComponentData* selection = nullptr) {
  TMemoryStream out;
  EXPECT_TRUE(WriteBaselineJpeg(image, out, bitmap, selection));
  return Bytes(out.Memory(), out.Memory() + out.GetSize());
}

TBitmap32 BitmapFromRgb(const Bytes& rgb, int w, int h) {
  TBitmap32 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      b.SetPixel(x, y, Color32(p[0], p[1], p[2]));
    }
  return b;
}

void ExpectSameCoefficients(const test::RefCoefficients& a, const test::RefCoefficients& b) {
  ASSERT_TRUE(a.Ok) << a.Error;
  ASSERT_TRUE(b.Ok) << b.Error;
  EXPECT_EQ(a.Width, b.Width);
  EXPECT_EQ(a.Height, b.Height);
  ASSERT_EQ(a.Components.size(), b.Components.size());
  for (size_t c = 0; c < a.Components.size(); ++c) {
    EXPECT_EQ(a.Components[c].Id, b.Components[c].Id);
    EXPECT_EQ(a.Components[c].H, b.Components[c].H);
    EXPECT_EQ(a.Components[c].V, b.Components[c].V);
    ASSERT_EQ(a.Components[c].Coef.size(), b.Components[c].Coef.size()) << "component " << c;
    size_t diff = 0;
    for (size_t i = 0; i < a.Components[c].Coef.size(); ++i) diff += a.Components[c].Coef[i] != b.Components[c].Coef[i];
    EXPECT_EQ(diff, 0u) << "component " << c << ": coefficients differ";
  }
}

// Splits a file into its marker segments up to SOS (marker, offset of the FF, total length).
struct Segment {
  int Marker;
  size_t Offset;
  size_t Length;
};
std::vector<Segment> HeaderSegments(const Bytes& j) {
  std::vector<Segment> s;
  size_t p = 2;
  while (p + 4 <= j.size() && j[p] == 0xFF) {
    const size_t len = (j[p + 2] << 8) | j[p + 3];
    s.push_back({j[p + 1], p, len + 2});
    if (j[p + 1] == 0xDA) break;
    p += len + 2;
  }
  return s;
}

struct IntactCase {
  const char* Name;
  const char* Args;
  int Width, Height;
  bool Grey;
};

class WriterIntactTest : public ::testing::TestWithParam<IntactCase> {};

TEST_P(WriterIntactTest, KeepsEveryCoefficientAndWritesOneBaselineScan) {
  const IntactCase& c = GetParam();
  Bytes input = test::Cjpeg(c.Args, c.Width, c.Height, c.Grey);
  // After the first APPn (or SOI): a comment, and two large APP10 segments (more header than
  // the record of segments starts with), all to be carried over byte for byte.
  const size_t at = input[3] == 0xE0 ? 4 + ((input[4] << 8) | input[5]) : 2;
  Bytes extra = {0xFF, 0xFE, 0x00, 0x07, 'h', 'e', 'l', 'l', 'o'};
  for (int k = 0; k < 2; ++k) {
    const size_t length = 50000 + 999 * static_cast<size_t>(k);
    extra.insert(extra.end(), {0xFF, 0xEA, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
    for (size_t i = 2; i < length; ++i) extra.push_back(static_cast<uint8_t>((i * 131 + static_cast<size_t>(k)) >> 3));
  }
  input.insert(input.begin() + static_cast<long>(at), extra.begin(), extra.end());
  auto image = Load(input);
  EXPECT_FALSE(HasMissingBlocks(*image));
  const Bytes restored = Write(*image);
  const test::RefCoefficients want = test::LibjpegCoefficients(input);
  const test::RefCoefficients got = test::LibjpegCoefficients(restored);
  EXPECT_EQ(got.Warnings, 0);
  ExpectSameCoefficients(want, got);

  // Structure: SOI, the recorded APPn/COM segments, DQT, SOF0, one DHT of 0x1A2, SOS; EOI last.
  ASSERT_GE(restored.size(), 4u);
  EXPECT_EQ(restored[0], 0xFF);
  EXPECT_EQ(restored[1], 0xD8);
  EXPECT_EQ(restored[restored.size() - 2], 0xFF);
  EXPECT_EQ(restored[restored.size() - 1], 0xD9);
  std::vector<int> markers;
  for (const Segment& s : HeaderSegments(restored)) {
    markers.push_back(s.Marker);
    if (s.Marker == 0xC4) { EXPECT_EQ(s.Length, 2u + 0x1A2); }
  }
  std::vector<int> inputApps;
  Bytes inputAppBytes;
  for (const Segment& s : HeaderSegments(input))
    if ((s.Marker >= 0xE0 && s.Marker <= 0xEF) || s.Marker == 0xFE) {
      inputApps.push_back(s.Marker);
      inputAppBytes.insert(inputAppBytes.end(), input.begin() + static_cast<long>(s.Offset),
                           input.begin() + static_cast<long>(s.Offset + s.Length));
    }
  std::vector<int> expected = inputApps;
  for (int m : {0xDB, 0xC0, 0xC4, 0xDA}) expected.push_back(m);
  EXPECT_EQ(markers, expected);
  ASSERT_GE(restored.size(), 2 + inputAppBytes.size());
  EXPECT_TRUE(std::equal(inputAppBytes.begin(), inputAppBytes.end(), restored.begin() + 2))
      << "the APPn and COM segments are not the input's, byte for byte";

  // Entropy-coded data: every 0xFF is stuffed; no restart markers.
  const size_t dataStart = HeaderSegments(restored).back().Offset + HeaderSegments(restored).back().Length;
  for (size_t i = dataStart; i + 2 < restored.size(); ++i)
    if (restored[i] == 0xFF) { ASSERT_EQ(restored[i + 1], 0x00) << "at " << i; }

  // djpeg sees the same picture.
  const test::RefImage a = test::LibjpegDecode(input), b = test::LibjpegDecode(restored);
  ASSERT_TRUE(a.Ok && b.Ok);
  EXPECT_TRUE(a.Pixels == b.Pixels);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, WriterIntactTest,
    ::testing::Values(IntactCase{"s444", "-quality 90 -sample 1x1", 64, 48, false},
                      IntactCase{"s422", "-quality 75 -sample 2x1", 101, 75, false},
                      IntactCase{"s420", "-quality 85 -sample 2x2", 227, 149, false},
                      IntactCase{"s440", "-quality 80 -sample 1x2", 50, 33, false},
                      IntactCase{"grey", "-quality 70", 77, 51, true},
                      IntactCase{"progressive", "-quality 92 -sample 2x2 -progressive", 200, 130, false},
                      IntactCase{"progressiveGrey", "-progressive", 41, 67, true},
                      IntactCase{"restart", "-quality 90 -sample 2x2 -restart 3B", 160, 96, false},
                      IntactCase{"restartProgressive", "-progressive -restart 1", 99, 99, false},
                      IntactCase{"quality100", "-quality 100 -sample 1x1", 40, 40, false},
                      IntactCase{"rgb", "-rgb -quality 90", 48, 40, false}),
    [](const ::testing::TestParamInfo<IntactCase>& i) { return std::string(i.param.Name); });

class WriterCorpusTest : public ::testing::TestWithParam<const char*> {};

TEST_P(WriterCorpusTest, IntactSampleFilesKeepTheirCoefficients) {
  const Bytes input = test::ReadBytes(test::CorpusPath(GetParam()));
  auto image = Load(input);
  const Bytes restored = Write(*image);
  const test::RefCoefficients got = test::LibjpegCoefficients(restored);
  EXPECT_EQ(got.Warnings, 0);
  ExpectSameCoefficients(test::LibjpegCoefficients(input), got);
}

INSTANTIATE_TEST_SUITE_P(Files, WriterCorpusTest,
                         ::testing::Values("ljt-testorig.jpg", "ljt-testimgint.jpg", "pil-flower.jpg",
                                           "pil-hopper_gray.jpg", "pil-pil_sample_cmyk.jpg",
                                           "pil-hopper_orientation_6.jpg", "pil-hopper_16bit_qtables.jpg",
                                           "pil-app13-multiple.jpg", "et-ExifTool.jpg"));

TEST(Writer, SixteenBitQuantisationTablesStayExact) {
  // Quality 1 without -baseline gives table entries above 255.
  const Bytes input = test::Cjpeg("-quality 1 -sample 2x2", 96, 64);
  auto image = Load(input);
  bool wide = false;
  for (const TkelQuantTable& q : image->QuantTables)
    for (uint16_t e : q.Entries) wide = wide || (q.Defined && e > 255);
  ASSERT_TRUE(wide);
  const Bytes restored = Write(*image);
  const test::RefCoefficients got = test::LibjpegCoefficients(restored);
  EXPECT_EQ(got.Warnings, 0);
  ExpectSameCoefficients(test::LibjpegCoefficients(input), got);
  const test::RefImage a = test::LibjpegDecode(input), b = test::LibjpegDecode(restored);
  EXPECT_TRUE(a.Pixels == b.Pixels);
}

// A restart-marked 4:2:0 picture: 20 x 12 MCUs of 16 x 16, one restart interval per MCU row.
struct Damaged {
  static constexpr int W = 320, H = 192;
  Bytes Rgb = test::PhotoLikeRgb(W, H, 5);
  Bytes Intact;
  Damaged() {
    const std::string pnm = test::TempPath(".ppm");
    std::string header = "P6\n" + std::to_string(W) + " " + std::to_string(H) + "\n255\n";
    Bytes file(header.begin(), header.end());
    file.insert(file.end(), Rgb.begin(), Rgb.end());
    test::WriteBytes(pnm, file);
    Intact = test::CjpegFile("-quality 90 -sample 2x2 -restart 1", pnm);
  }
  // Offsets of the RST markers in the scan data.
  std::vector<size_t> RestartOffsets() const {
    std::vector<size_t> r;
    for (size_t i = 0; i + 1 < Intact.size(); ++i)
      if (Intact[i] == 0xFF && Intact[i + 1] >= 0xD0 && Intact[i + 1] <= 0xD7) r.push_back(i);
    return r;
  }
};

struct DecodedBlocks {
  // Per component, per block (libjpeg's block grid): was it decoded by our decoder, and with
  // which coefficients?
  std::vector<std::vector<bool>> Decoded;
  std::vector<std::vector<int16_t>> Coef;
};

DecodedBlocks Snapshot(const TkelJpegImage& image, const test::RefCoefficients& ref) {
  DecodedBlocks d;
  for (size_t c = 0; c < ref.Components.size(); ++c) {
    const auto& rc = ref.Components[c];
    std::vector<bool> flags(static_cast<size_t>(rc.BlocksWide) * rc.BlocksHigh, false);
    std::vector<int16_t> coef(flags.size() * 64, 0);
    const TkelMCUs* m = image.MCUs[c].get();
    for (int by = 0; by < rc.BlocksHigh; ++by)
      for (int bx = 0; bx < rc.BlocksWide; ++bx) {
        const TkelCoefBlock* b = m ? m->Block(bx, by) : nullptr;
        const size_t i = static_cast<size_t>(by) * rc.BlocksWide + bx;
        flags[i] = b != nullptr && b->Decoded;
        if (b) std::memcpy(&coef[i * 64], b->Coef, 128);
      }
    d.Decoded.push_back(flags);
    d.Coef.push_back(coef);
  }
  return d;
}

// Mean absolute difference between two RGB pictures over the 16 x 16 MCUs where mask is true.
double MeanDiffOverMcus(const Bytes& a, const Bytes& b, int w, int h, const std::vector<bool>& mcuMask) {
  double sum = 0;
  long n = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (!mcuMask[static_cast<size_t>(y / 16) * ((w + 15) / 16) + x / 16]) continue;
      for (int k = 0; k < 3; ++k) sum += std::abs(a[(static_cast<size_t>(y) * w + x) * 3 + k] - b[(static_cast<size_t>(y) * w + x) * 3 + k]);
      n += 3;
    }
  return n ? sum / n : 0;
}

class WriterDamagedTest : public ::testing::TestWithParam<bool> {};

TEST_P(WriterDamagedTest, MissingMcusAreFilledDecodedOnesKept) {
  const bool withBitmap = GetParam();
  Damaged d;
  const std::vector<size_t> rst = d.RestartOffsets();
  ASSERT_GE(rst.size(), 10u);
  // Cut the file 100 bytes into MCU row 8, and lose most of the third interval (row 2).
  Bytes damaged = d.Intact;
  damaged.resize(rst[7] + 100);
  damaged.erase(damaged.begin() + static_cast<long>(rst[1] + 20), damaged.begin() + static_cast<long>(rst[2] - 20));

  int rc = 0;
  auto image = Load(damaged, &rc);
  EXPECT_NE(rc, jrOK);
  EXPECT_TRUE(HasMissingBlocks(*image));
  const test::RefCoefficients intactRef = test::LibjpegCoefficients(d.Intact);
  const DecodedBlocks decoded = Snapshot(*image, intactRef);

  const TBitmap32 background = BitmapFromRgb(d.Rgb, Damaged::W, Damaged::H);
  const Bytes restored = Write(*image, withBitmap ? &background : nullptr);
  const test::RefCoefficients got = test::LibjpegCoefficients(restored);
  ASSERT_TRUE(got.Ok) << got.Error;
  EXPECT_EQ(got.Warnings, 0);
  ASSERT_EQ(got.Components.size(), 3u);

  // Per MCU: missing when any of its blocks was not decoded.
  const int cols = Damaged::W / 16, rows = Damaged::H / 16;
  std::vector<bool> missing(static_cast<size_t>(cols) * rows, false);
  size_t keptBlocks = 0;
  for (size_t c = 0; c < 3; ++c) {
    const auto& g = got.Components[c];
    const auto& w = intactRef.Components[c];
    ASSERT_EQ(g.Coef.size(), w.Coef.size());
    const int f = c == 0 ? 2 : 1;
    for (int by = 0; by < g.BlocksHigh; ++by)
      for (int bx = 0; bx < g.BlocksWide; ++bx) {
        const bool wasDecoded = decoded.Decoded[c][static_cast<size_t>(by) * g.BlocksWide + bx];
        if (wasDecoded) {
          ++keptBlocks;
          // Kept as decoded; outside the damaged interval that is also the intact picture.
          const size_t i = static_cast<size_t>(by) * g.BlocksWide + bx;
          ASSERT_EQ(0, std::memcmp(g.Block(bx, by), &decoded.Coef[c][i * 64], 128)) << "component " << c << " block " << bx << "," << by;
          if (by / f != 2) { ASSERT_EQ(0, std::memcmp(g.Block(bx, by), w.Block(bx, by), 128)); }
        } else {
          missing[static_cast<size_t>(by / f) * cols + bx / f] = true;
          if (!withBitmap) {
            for (int k = 0; k < 64; ++k) ASSERT_EQ(g.Block(bx, by)[k], 0);
          }
        }
      }
  }
  // Rows 0, 1 and 3 to 7 decode; row 2 loses at least its end to the garbage, row 8 its end to
  // the cut; rows from 9 on are missing.
  int missingInRow2 = 0, missingInRow8 = 0;
  for (int r = 0; r < rows; ++r)
    for (int col = 0; col < cols; ++col) {
      const bool m = missing[static_cast<size_t>(r) * cols + col];
      if (r == 2) missingInRow2 += m;
      else if (r == 8) missingInRow8 += m;
      else EXPECT_EQ(m, r >= 9) << "MCU " << col << "," << r;
    }
  EXPECT_GT(missingInRow2, 0);
  EXPECT_GT(missingInRow8, 0);
  EXPECT_GT(keptBlocks, 0u);

  if (withBitmap) {
    // Encoded from the original picture at quality 90: decoded, the filled MCUs are close to it.
    const test::RefImage pix = test::LibjpegDecode(restored);
    ASSERT_TRUE(pix.Ok);
    const double diff = MeanDiffOverMcus(pix.Pixels, d.Rgb, Damaged::W, Damaged::H, missing);
    EXPECT_LT(diff, 6.0);
    const test::RefImage ref = test::LibjpegDecode(d.Intact);
    const double intactDiff = MeanDiffOverMcus(ref.Pixels, d.Rgb, Damaged::W, Damaged::H, missing);
    RecordProperty("mean_abs_diff_filled", std::to_string(diff));
    RecordProperty("mean_abs_diff_cjpeg", std::to_string(intactDiff));
    EXPECT_LT(diff, intactDiff + 2.0);
  }
}

INSTANTIATE_TEST_SUITE_P(Background, WriterDamagedTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "Bitmap" : "None"; });

class WriterDamageSweepTest : public ::testing::TestWithParam<const char*> {};

// Truncations and lost chunks anywhere after SOI: whatever the decoder keeps, the file written
// from it is complete and clean for libjpeg.
TEST_P(WriterDamageSweepTest, EveryDamagedVariantGivesACleanFile) {
  const Bytes input = test::Cjpeg(GetParam(), 120, 88);
  std::mt19937 rng(17);
  for (int i = 0; i < 60; ++i) {
    Bytes j = input;
    const size_t at = 2 + rng() % (j.size() - 2);
    if (i % 2 == 0) {
      j.resize(at);
    } else {
      const size_t n = std::min<size_t>(1 + rng() % 300, j.size() - at);
      j.erase(j.begin() + static_cast<long>(at), j.begin() + static_cast<long>(at + n));
    }
    auto image = Load(j);
    TBitmap32 background(120, 88);
    background.Clear(Color32(30, 160, 90));
    TMemoryStream out;
    if (!WriteBaselineJpeg(*image, out, &background, nullptr)) continue;  // the frame header was lost
    const test::RefCoefficients got = test::LibjpegCoefficients(Bytes(out.Memory(), out.Memory() + out.GetSize()));
    ASSERT_TRUE(got.Ok) << "variant " << i << ": " << got.Error;
    ASSERT_EQ(got.Warnings, 0) << "variant " << i;
    ASSERT_EQ(got.Width, image->Width);
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, WriterDamageSweepTest,
                         ::testing::Values("-quality 90 -sample 2x2 -restart 1", "-sample 2x1 -progressive",
                                           "-sample 1x1 -restart 2B", "-progressive -restart 1"));

TEST(Writer, SelectedMcuGroupsAreReencodedFromTheBitmap) {
  const int w = 256, h = 160;  // 32 x 20 MCUs of 8 x 8 (4:4:4)
  const Bytes input = test::Cjpeg("-quality 90 -sample 1x1", w, h);
  auto image = Load(input);
  const TkelWriterComponentTable& table = PrepareWriter(*image);
  ASSERT_EQ(table.MCUWidth, 8);
  ASSERT_EQ(table.MCUsPerRow, 32);
  // A flat mid-grey bitmap; select the group of MCUs x 8..15, y 8..15 (bit 1 of byte (0, 1)).
  TBitmap32 grey(w, h);
  grey.Clear(Color32(128, 128, 128));
  TkelAlphaComponentData selection;
  selection.SetColumns(1);
  selection.SetRows(3);
  *selection.WritableCell(0, 1) = 0x02;
  const Bytes restored = Write(*image, &grey, &selection);
  const test::RefCoefficients got = test::LibjpegCoefficients(restored);
  const test::RefCoefficients want = test::LibjpegCoefficients(input);
  EXPECT_EQ(got.Warnings, 0);
  for (int c = 0; c < 3; ++c)
    for (int by = 0; by < 20; ++by)
      for (int bx = 0; bx < 32; ++bx) {
        const bool inGroup = bx >= 8 && bx < 16 && by >= 8 && by < 16;
        const int16_t* g = got.Components[c].Block(bx, by);
        if (inGroup) {
          // Mid-grey: Y 128, Cb = Cr = 128 give a zero block.
          for (int k = 0; k < 64; ++k) ASSERT_EQ(g[k], 0) << c << " " << bx << "," << by;
        } else {
          ASSERT_EQ(0, std::memcmp(g, want.Components[c].Block(bx, by), 128));
        }
      }
  // Without a bitmap a selection changes nothing.
  auto again = Load(input);
  ExpectSameCoefficients(want, test::LibjpegCoefficients(Write(*again, nullptr, &selection)));
}

TEST(Writer, ImageWithoutFrameWritesNothing) {
  const Bytes junk = {0xFF, 0xD8, 0xFF, 0xFE, 0x00, 0x04, 'h', 'i'};
  auto image = Load(junk);
  TMemoryStream out;
  EXPECT_FALSE(WriteBaselineJpeg(*image, out, nullptr, nullptr));
  EXPECT_EQ(out.GetSize(), 0);
}

TEST(Writer, HugeDeclaredFrameWithNoDataStaysSmallInMemory) {
  // SOF0 declares 4096 x 4096 but the scan has no data: every block is missing.
  Bytes j = test::Cjpeg("-quality 50 -sample 2x2", 16, 16);
  std::vector<Segment> segs = HeaderSegments(j);
  for (const Segment& s : segs)
    if (s.Marker == 0xC0) {
      j[s.Offset + 5] = 0x10;
      j[s.Offset + 6] = 0x00;
      j[s.Offset + 7] = 0x10;
      j[s.Offset + 8] = 0x00;
    }
  j.resize(segs.back().Offset + segs.back().Length);
  auto image = Load(j);
  const Bytes restored = Write(*image);
  const test::RefCoefficients got = test::LibjpegCoefficients(restored);
  ASSERT_TRUE(got.Ok) << got.Error;
  EXPECT_EQ(got.Warnings, 0);
  EXPECT_EQ(got.Width, 4096);
  for (int16_t v : got.Components[0].Coef) ASSERT_EQ(v, 0);
}

}  // namespace
}  // namespace vt
