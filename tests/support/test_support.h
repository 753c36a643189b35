// Helpers shared by the test folders: temporary files, running peer tools (cjpeg, djpeg,
// exiftool), deterministic photo-like pictures, and libjpeg-turbo as a reference decoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vt::test {

using Bytes = std::vector<uint8_t>;

// A fresh folder for this test process (under $VT_TEST_TMP or the system temp folder).
std::string TempDir();
// A path inside TempDir() that no other call returns.
std::string TempPath(const std::string& suffix);
std::string CorpusPath(const std::string& name);
std::string DataPath(const std::string& name);

// Runs a shell command; returns its exit status. Output (stdout) is captured when asked.
int RunCommand(const std::string& command, std::string* output = nullptr);
std::string Quote(const std::string& s);

Bytes ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const Bytes& bytes);

// Deterministic junk without a single FF byte: nothing in it can be taken for a marker, so a deep
// scan finds no candidate in it.
Bytes JunkWithoutMarkers(size_t n, uint32_t seed);

// Deterministic photo-like pixels (smooth shapes plus noise), RGB triplets row by row.
Bytes PhotoLikeRgb(int width, int height, uint32_t seed = 1);
// Writes them as a binary PPM (or, grey, a PGM of their luma) and returns the path.
std::string WritePhotoLikePnm(int width, int height, bool grey = false, uint32_t seed = 1);
// Encodes a photo-like picture with cjpeg and the given arguments ("-quality 90 -sample 2x2").
Bytes Cjpeg(const std::string& args, int width, int height, bool grey = false, uint32_t seed = 1);
// Encodes an existing PNM file with cjpeg.
Bytes CjpegFile(const std::string& args, const std::string& pnmPath);

// Reference: the quantised coefficients that libjpeg's jpeg_read_coefficients gives.
struct RefComponent {
  int Id = 0, H = 1, V = 1;
  int BlocksWide = 0, BlocksHigh = 0;  // width_in_blocks, height_in_blocks
  std::vector<int16_t> Coef;           // 64 per block, natural order, blocks row by row
  const int16_t* Block(int bx, int by) const { return &Coef[(static_cast<size_t>(by) * BlocksWide + bx) * 64]; }
};
struct RefCoefficients {
  bool Ok = false;
  int Width = 0, Height = 0;
  std::vector<RefComponent> Components;
  int Warnings = 0;
  std::string Error;
};
RefCoefficients LibjpegCoefficients(const Bytes& jpeg);

// Reference: pixels as libjpeg decodes them (JDCT_ISLOW, fancy upsampling off by default).
struct RefImage {
  bool Ok = false;
  int Width = 0, Height = 0, Components = 0;  // Components of the output (3 RGB, 1 grey, 4 CMYK)
  Bytes Pixels;
  int Warnings = 0;
  std::string Error;
};
// outColorSpace: 0 = libjpeg's default output (RGB for colour, grey for grey, CMYK for 4).
RefImage LibjpegDecode(const Bytes& jpeg, bool fancyUpsampling = false, int outColorSpace = 0);

}  // namespace vt::test
