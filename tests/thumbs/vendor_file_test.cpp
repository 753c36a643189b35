// A file with one block of each vendor family in a row, loaded the way the program loads it:
// by the decoder with thumbnails (the parser gathers the run of APPn segments) and by
// vantrelle-cli. Then the same file damaged: loads must end quietly whatever the blocks hold.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <random>
#include <set>
#include <sstream>
#include <tuple>

#include "thumbs/jpeg_with_thumbs.h"
#include "thumbs/vendor_fixture.h"

namespace vt {
namespace {

using test::Bytes;
using test::Cat;
using test::Segment;
using test::Text;

struct TExpected {
  int Kind, Width, Height;
  std::string Caption;
  bool operator==(const TExpected&) const = default;
  bool operator<(const TExpected& o) const {
    return std::tie(Kind, Width, Height, Caption) < std::tie(o.Kind, o.Width, o.Height, o.Caption);
  }
};

Bytes ManyBlocks() {
  std::vector<Bytes> segments;
  // QVGA: one APP2 with the JPEG at 5.
  segments.push_back(Segment(0xE2, Cat({Text("QVGA"), {0}, test::Cjpeg("-quality 80", 40, 30, false, 2)})));
  // APP3, APP4, APP5: one JPEG in three pieces.
  for (const Bytes& piece : test::SplitInto(test::Cjpeg("-quality 80", 48, 32, false, 3), 3))
    segments.push_back(Segment(uint8_t(0xE3 + segments.size() - 1), piece));
  // H3X0: 16 x 8 YUV 4:2:2 in two APP4 segments.
  const std::vector<Bytes> yuv = test::SplitInto(Bytes(16 * 8 * 2, 0x80), 2);
  for (int i = 0; i < 2; ++i)
    segments.push_back(Segment(0xE4, Cat({Text("H3X0"), test::Zeros(4), test::Be32Bytes(16), test::Be32Bytes(8),
                                          test::Zeros(4), test::Be32Bytes(i + 1), test::Be32Bytes(2), yuv[size_t(i)]})));
  // Samsung: a JPEG without SOI in two APP5 segments.
  const Bytes noSoi = test::Slice(test::Cjpeg("-quality 80", 32, 24, false, 4), 2, 100000);
  const std::vector<Bytes> parts = test::SplitInto(noSoi, 2);
  segments.push_back(Segment(0xE5, Cat({Text("Samsung"), test::Zeros(5), {3, 0, 1, 0, 0, 0}, parts[0]})));
  segments.push_back(Segment(0xE5, Cat({Text("Samsung"), test::Zeros(5), {3, 0, 2, 0}, parts[1]})));
  // Prv: 4 x 2 RGB in one APP10 piece.
  segments.push_back(Segment(0xEA, Cat({Text("prv0"), test::Be16Bytes(1), test::Be16Bytes(4), test::Be16Bytes(2),
                                        Bytes(24, 0x40)})));
  return test::HostWith(segments);
}

const std::multiset<TExpected> kExpected = {
    {tkJpeg, 40, 30, ""}, {tkJpeg, 48, 32, "1"}, {tkYCbCr, 16, 8, ""}, {tkJpegNoSOI, 32, 24, ""}, {tkRGB, 4, 2, ""}};

TEST(VendorFile, TheDecoderFindsEveryBlock) {
  const Bytes file = ManyBlocks();
  TMemoryStream stream;
  stream.WriteBuffer(file.data(), int64_t(file.size()));
  stream.SetPosition(0);
  TkelJpegWithThumbs image(false);
  image.LoadFromStream(stream, 0);
  EXPECT_EQ(image.DecodedPercent(), 100);
  std::multiset<TExpected> found;
  for (int i = 0; i < image.Thumbs().ThumbCount(); ++i) {
    const TkelJpegThumb& t = *image.Thumbs().GetThumbs(i);
    EXPECT_EQ(t.Completeness, 100) << int(t.Kind);
    found.insert({t.Kind, t.Width, t.Height, t.Caption});
  }
  EXPECT_TRUE(found == kExpected);
}

TEST(VendorFile, CliListsAndWritesEveryBlock) {
  const std::string path = test::TempPath(".jpg");
  test::WriteBytes(path, ManyBlocks());
  std::string out;
  ASSERT_EQ(test::RunCommand(std::string(VT_CLI) + " info --json " + test::Quote(path), &out), 0);
  const nlohmann::json info = nlohmann::json::parse(out);
  ASSERT_TRUE(info.contains("thumbnails"));
  std::multiset<TExpected> found;
  for (const auto& t : info["thumbnails"])
    found.insert({t["kind"].get<int>(), t["width"].get<int>(), t["height"].get<int>(), t["caption"].get<std::string>()});
  EXPECT_TRUE(found == kExpected);

  // Written out: the three JPEG kinds as files that libjpeg reads, the raw ones as bitmaps.
  const std::string dir = test::TempPath("-thumbs");
  ASSERT_EQ(test::RunCommand(std::string(VT_CLI) + " thumbs -o " + test::Quote(dir) + " " + test::Quote(path), &out), 0);
  std::string listing;
  test::RunCommand("ls " + test::Quote(dir), &listing);
  int jpegs = 0, bitmaps = 0;
  std::istringstream names(listing);
  for (std::string name; std::getline(names, name);) {
    if (name.size() > 4 && name.substr(name.size() - 4) == ".jpg") {
      ++jpegs;
      EXPECT_TRUE(test::LibjpegDecode(test::ReadBytes(dir + "/" + name)).Ok) << name;
    }
    if (name.size() > 4 && name.substr(name.size() - 4) == ".bmp") ++bitmaps;
  }
  EXPECT_EQ(jpegs, 3);
  EXPECT_EQ(bitmaps, 2);
}

// A real FLIR file: the PNG in its APP1 "FLIR" segment is the picture exiftool extracts.
TEST(VendorFile, FlirSampleGivesThePngExiftoolExtracts) {
  const std::string path = test::CorpusPath("et-FLIR.jpg");
  const Bytes file = test::ReadBytes(path);
  const std::string png = test::TempPath(".png"), ppm = test::TempPath(".ppm");
  ASSERT_EQ(test::RunCommand(std::string(VT_EXIFTOOL) + " -b -RawThermalImage " + test::Quote(path) + " > " +
                             test::Quote(png)),
            0);
  ASSERT_EQ(test::RunCommand(std::string(VT_CONVERT) + " " + test::Quote(png) + " " + test::Quote(ppm)), 0);
  const Bytes pngBytes = test::ReadBytes(png);
  ASSERT_GT(pngBytes.size(), 24u);
  const auto at = std::search(file.begin(), file.end(), pngBytes.begin(), pngBytes.end());
  ASSERT_NE(at, file.end());
  const int w = pngBytes[16] << 24 | pngBytes[17] << 16 | pngBytes[18] << 8 | pngBytes[19];
  const int h = pngBytes[20] << 24 | pngBytes[21] << 16 | pngBytes[22] << 8 | pngBytes[23];

  TMemoryStream stream;
  stream.LoadFromFile(path);
  TkelJpegWithThumbs image(false);
  image.LoadFromStream(stream, 0);
  const TkelJpegThumb* found = nullptr;
  for (int i = 0; i < image.Thumbs().ThumbCount(); ++i)
    if (image.Thumbs().GetThumbs(i)->Width == w && image.Thumbs().GetThumbs(i)->Height == h)
      found = image.Thumbs().GetThumbs(i);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->Completeness, 100);
  // Offsets inside the joined data, which begins 8 bytes into the FLIR segment's data.
  size_t segment = 2;
  while (!(file[segment + 1] == 0xE1 && std::equal(file.begin() + segment + 4, file.begin() + segment + 8,
                                                   Text("FLIR").begin())))
    segment += 2 + size_t(file[segment + 2] << 8 | file[segment + 3]);
  EXPECT_EQ(found->Offset, int32_t((at - file.begin()) - int64_t(segment + 4 + 8)));
  const Bytes rgb = test::ReadBytes(ppm);
  const size_t pixelsAt = rgb.size() - size_t(w * h * 3);
  ASSERT_TRUE(found->Bitmap);
  for (int i = 0; i < w * h; ++i)
    ASSERT_EQ(found->Bitmap->Bits()[i],
              Color32(rgb[pixelsAt + i * 3], rgb[pixelsAt + i * 3 + 1], rgb[pixelsAt + i * 3 + 2]))
        << "pixel " << i;
}

// A picture written by `thumbs -o` as a bitmap, read back through ImageMagick as R, G, B, A.
struct TWritten {
  int Width = 0, Height = 0;
  Bytes Rgba;
};

TWritten ReadBitmap(const std::string& bmp) {
  const std::string pam = test::TempPath(".pam");
  TWritten w;
  if (test::RunCommand(std::string(VT_CONVERT) + " " + test::Quote(bmp) + " -depth 8 " + test::Quote(pam)) != 0)
    return w;
  const Bytes b = test::ReadBytes(pam);
  const std::string header(b.begin(), b.begin() + std::min<size_t>(b.size(), 200));
  const size_t end = header.find("ENDHDR\n");
  if (end == std::string::npos || header.find("DEPTH 4") == std::string::npos) return w;
  std::sscanf(header.c_str() + header.find("WIDTH"), "WIDTH %d", &w.Width);
  std::sscanf(header.c_str() + header.find("HEIGHT"), "HEIGHT %d", &w.Height);
  w.Rgba.assign(b.begin() + int64_t(end + 7), b.end());
  return w;
}

// Raw pictures come out of `thumbs -o` pixel for pixel: a Prv picture in three pieces whose
// tails lie in the first segment's table, and half a SCRNAIL preview (lower half transparent).
TEST(VendorFile, CliWritesRawPicturesPixelForPixel) {
  const Bytes rgb = test::PhotoLikeRgb(20, 10, 9);
  const std::vector<Bytes> pieces = test::SplitInto(rgb, 3);  // 200 bytes each
  std::vector<Bytes> segments;
  segments.push_back(Segment(0xEA, Cat({Text("prv0"), test::Be16Bytes(3), test::Be16Bytes(20), test::Be16Bytes(10),
                                        test::Slice(pieces[0], 192, 8), test::Slice(pieces[1], 192, 8),
                                        test::Slice(pieces[0], 0, 192)})));
  segments.push_back(Segment(0xEA, Cat({Text("prv1"), test::Slice(pieces[1], 0, 192)})));
  segments.push_back(Segment(0xEA, Cat({Text("prv2"), pieces[2]})));
  Bytes yuv;  // U, Y0, V, Y1 for the upper 120 rows of 320
  for (int i = 0; i < 320 * 120 / 2; ++i)
    yuv.insert(yuv.end(), {uint8_t(60 + i % 7 * 20), uint8_t(i * 5), uint8_t(200 - i % 11 * 10), uint8_t(i * 3)});
  segments.push_back(Segment(0xE4, Cat({Text("SCRNAIL"), {0}, test::Slice(yuv, 0, 40000)})));
  segments.push_back(Segment(0xE4, test::Slice(yuv, 40000, yuv.size())));
  const std::string path = test::TempPath(".jpg");
  test::WriteBytes(path, test::HostWith(segments));
  const std::string dir = test::TempPath("-raw");
  ASSERT_EQ(test::RunCommand(std::string(VT_CLI) + " thumbs -o " + test::Quote(dir) + " " + test::Quote(path)), 0);
  std::string listing;
  test::RunCommand("ls " + test::Quote(dir), &listing);
  std::istringstream names(listing);
  int prv = 0, scrnail = 0;
  for (std::string name; std::getline(names, name);) {
    const TWritten w = ReadBitmap(dir + "/" + name);
    if (w.Width == 20 && w.Height == 10) {
      ++prv;
      ASSERT_EQ(w.Rgba.size(), 20u * 10 * 4);
      int bad = 0;
      for (int i = 0; i < 200; ++i)
        bad += w.Rgba[size_t(i) * 4] != rgb[size_t(i) * 3] || w.Rgba[size_t(i) * 4 + 1] != rgb[size_t(i) * 3 + 1] ||
               w.Rgba[size_t(i) * 4 + 2] != rgb[size_t(i) * 3 + 2] || w.Rgba[size_t(i) * 4 + 3] != 255;
      EXPECT_EQ(bad, 0);
    } else if (w.Width == 320 && w.Height == 240) {
      ++scrnail;
      ASSERT_EQ(w.Rgba.size(), 320u * 240 * 4);
      int u = 128, v = 128, bad = 0;
      for (size_t i = 0; i < yuv.size(); ++i) {
        if (i % 4 == 0) u = yuv[i];
        if (i % 4 == 2) v = yuv[i];
        if (i % 2 == 0) continue;
        const uint8_t* px = &w.Rgba[i / 2 * 4];
        const double y = yuv[i];
        const double want[3] = {y + 1.402 * (v - 128), y - 0.344136 * (u - 128) - 0.714136 * (v - 128),
                                y + 1.772 * (u - 128)};
        for (int c = 0; c < 3; ++c) bad += std::abs(px[c] - std::clamp(want[c], 0.0, 255.0)) > 1.5;
        bad += px[3] != 255;
      }
      EXPECT_EQ(bad, 0);
      int lowerOpaque = 0;
      for (size_t p = 320 * 120; p < 320 * 240; ++p) lowerOpaque += w.Rgba[p * 4 + 3] != 0;
      EXPECT_EQ(lowerOpaque, 0);
    }
  }
  EXPECT_EQ(prv, 1);
  EXPECT_EQ(scrnail, 1);
}

TEST(VendorFile, DamagedBlocksNeverStopTheLoad) {
  const Bytes intact = ManyBlocks();
  const size_t blocksEnd = size_t(test::SegmentDataOffset(intact, 10)) - 4;  // the DQT after the blocks
  std::mt19937 random(12345);
  for (int round = 0; round < 300; ++round) {
    Bytes file = intact;
    // Damage inside the blocks only (the length fields too), so the main image stays loadable.
    for (int k = 0; k < 1 + round % 8; ++k) file[20 + random() % (blocksEnd - 20)] = uint8_t(random());
    if (round % 3 == 0) file.resize(20 + random() % (file.size() - 20));
    TMemoryStream stream;
    stream.WriteBuffer(file.data(), int64_t(file.size()));
    stream.SetPosition(0);
    TkelJpegWithThumbs image(false);
    EXPECT_NO_THROW(image.LoadFromStream(stream, 0));
    for (int i = 0; i < image.Thumbs().ThumbCount(); ++i) {
      const TkelJpegThumb& t = *image.Thumbs().GetThumbs(i);
      ASSERT_GE(t.Completeness, 0);
      ASSERT_LE(t.Completeness, 100);
      if (t.Bitmap) {
        ASSERT_LE(int64_t(t.Bitmap->Width()) * t.Bitmap->Height(), int64_t(1) << 22);
      }
    }
  }
}

}  // namespace
}  // namespace vt
