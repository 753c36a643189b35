// A camera file keeps more after its main image: a preview its maker notes point to, the second
// image of a Multi-Picture file. The restored file carries it at the offsets those pointers
// hold, intact or damaged, and exiftool (the oracle) reads it back without an error; when the
// restored picture is longer than the original, the bytes are left out and nothing points at
// them any more.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/test_support.h"

namespace vt {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (24 - 8 * i));
}

// main with a Multi-Picture index (APP2 "MPF") after its first segment and second after its EOI.
Bytes WithMultiPicture(const Bytes& main, const Bytes& second) {
  // "MPF\0", a big-endian TIFF header, an IFD of three entries (version, number of images, the
  // entries' offset), then two 16-byte entries.
  Bytes mpf = {'M', 'P', 'F', 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 3,
               0xB0, 0x00, 0, 7, 0, 0, 0, 4, '0', '1', '0', '0',
               0xB0, 0x01, 0, 4, 0, 0, 0, 1, 0, 0, 0, 2,
               0xB0, 0x02, 0, 7, 0, 0, 0, 32, 0, 0, 0, 50,
               0, 0, 0, 0};
  mpf.resize(mpf.size() + 32, 0);
  Bytes segment = {0xFF, 0xE2, uint8_t((mpf.size() + 2) >> 8), uint8_t(mpf.size() + 2)};
  segment.insert(segment.end(), mpf.begin(), mpf.end());
  const size_t at = 4 + ((size_t(main[4]) << 8) | main[5]);  // after SOI and the JFIF segment
  Bytes file(main.begin(), main.begin() + long(at));
  file.insert(file.end(), segment.begin(), segment.end());
  file.insert(file.end(), main.begin() + long(at), main.end());
  const size_t header = at + 8;  // the "MM" the offsets count from
  const size_t entries = header + 50;
  Put32(file, entries, 0x20030000);  // the baseline primary image
  Put32(file, entries + 4, uint32_t(file.size()));
  Put32(file, entries + 16 + 4, uint32_t(second.size()));
  Put32(file, entries + 16 + 8, uint32_t(file.size() - header));
  file.insert(file.end(), second.begin(), second.end());
  return file;
}

// Restart intervals 20 to 40 overwritten: the data after them decodes at its place again.
Bytes Damaged(Bytes jpeg) {
  int seen = 0;
  size_t from = 0;
  for (size_t i = 0; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] != 0xFF || jpeg[i + 1] < 0xD0 || jpeg[i + 1] > 0xD7) continue;
    if (++seen == 20) from = i + 2;
    if (seen == 40) {
      for (size_t k = from; k < i; ++k) jpeg[k] = uint8_t(k * 37 % 251);  // no FF among them
      break;
    }
  }
  return jpeg;
}

enum class Kind { MultiPicture, MakerNotePreview };

struct TrailerCase {
  const char* Name;
  Kind Trailer;
  const char* Encoding;  // cjpeg
  bool Damage;
  bool Kept;  // else left out: the restored picture is longer
};

void PrintTo(const TrailerCase& c, std::ostream* os) { *os << c.Name; }

class RestoreTrailer : public ::testing::TestWithParam<TrailerCase> {
 protected:
  void SetUp() override {
    if (std::string(VT_EXIFTOOL).empty()) GTEST_SKIP() << "exiftool is not installed";
  }
};

std::string Exiftool(const std::string& args) {
  std::string out;
  test::RunCommand(std::string(VT_EXIFTOOL) + " " + args + " 2>&1", &out);
  return out;
}

TEST_P(RestoreTrailer, ExiftoolReadsTheRestoredFileWithoutAnError) {
  const TrailerCase& c = GetParam();
  const std::string dir = test::TempPath("-trailer");
  fs::create_directories(dir);
  const std::string photo = test::WritePhotoLikePnm(320, 240, false, 7);
  const std::string source = dir + "/camera.jpg", restored = dir + "/restored.jpg", extra = dir + "/extra.jpg";
  // What follows the picture: a picture of its own, larger than a segment could hold for the
  // maker-note preview (exiftool then stores it after the main image).
  const Bytes second = test::Cjpeg(c.Trailer == Kind::MultiPicture ? "-quality 80" : "-quality 100 -sample 1x1", 320,
                                   240, false, c.Trailer == Kind::MultiPicture ? 8 : 9);
  test::WriteBytes(extra, second);
  Bytes main = test::CjpegFile(c.Encoding, photo);
  if (c.Damage) main = Damaged(main);
  if (c.Trailer == Kind::MultiPicture) {
    test::WriteBytes(source, WithMultiPicture(main, second));
  } else {
    test::WriteBytes(source, main);
    const std::string cmd = std::string(VT_EXIFTOOL) + " -q -overwrite_original -tagsFromFile " +
                            test::Quote(test::CorpusPath("et-Minolta.jpg")) + " -makernotes -make -model " +
                            test::Quote(source) + " && " + VT_EXIFTOOL + " -q -overwrite_original " +
                            test::Quote("-PreviewImage<=" + extra) + " " + test::Quote(source);
    ASSERT_EQ(test::RunCommand(cmd), 0);
  }
  const std::string tag = c.Trailer == Kind::MultiPicture ? "MPImage2" : "PreviewImage";
  const std::string extract = "-b -" + tag + " ";
  std::string fromSource;
  test::RunCommand(std::string(VT_EXIFTOOL) + " " + extract + test::Quote(source), &fromSource);
  ASSERT_TRUE(Bytes(fromSource.begin(), fromSource.end()) == second) << "the source as built holds the picture";

  std::string err;
  ASSERT_EQ(test::RunCommand(std::string(VT_CLI) + " restore " + test::Quote(source) + " -o " + test::Quote(restored) +
                                 " 2>&1 >/dev/null",
                             &err),
            0)
      << err;
  const std::string warnings = Exiftool("-a -s -warning -validate " + test::Quote(restored));
  EXPECT_EQ(warnings.find("Error"), std::string::npos) << warnings;
  std::string fromRestored;
  test::RunCommand(std::string(VT_EXIFTOOL) + " " + extract + test::Quote(restored), &fromRestored);
  const test::RefImage pixels = test::LibjpegDecode(test::ReadBytes(restored));
  EXPECT_TRUE(pixels.Ok) << pixels.Error;
  EXPECT_EQ(pixels.Warnings, 0);
  if (c.Kept) {
    EXPECT_TRUE(Bytes(fromRestored.begin(), fromRestored.end()) == second) << tag << " came over";
    EXPECT_EQ(fs::file_size(restored), fs::file_size(source)) << "everything at its own offset";
    EXPECT_TRUE(err.empty()) << err;
  } else {
    EXPECT_TRUE(fromRestored.empty()) << tag << " is no longer pointed to";
    EXPECT_NE(err.find("were left out"), std::string::npos) << err;
    EXPECT_EQ(Exiftool("-s3 -Make " + test::Quote(restored)), Exiftool("-s3 -Make " + test::Quote(source)))
        << "the rest of Exif stays";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, RestoreTrailer,
    ::testing::Values(TrailerCase{"MultiPicture", Kind::MultiPicture, "-quality 90 -sample 2x2", false, true},
                      TrailerCase{"MultiPictureDamaged", Kind::MultiPicture, "-quality 90 -restart 4B", true, true},
                      TrailerCase{"MultiPictureOptimized", Kind::MultiPicture, "-quality 90 -optimize", false, false},
                      TrailerCase{"MakerNotePreview", Kind::MakerNotePreview, "-quality 90", false, true},
                      TrailerCase{"MakerNotePreviewDamaged", Kind::MakerNotePreview, "-quality 90 -restart 4B", true,
                                  true},
                      TrailerCase{"MakerNotePreviewOptimized", Kind::MakerNotePreview, "-quality 90 -optimize", false,
                                  false}),
    [](const auto& info) { return std::string(info.param.Name); });

// A real Multi-Picture file (two views of a Nintendo 3DS photo): its second image survives.
TEST(RestoreTrailer, ARealMultiPictureFileKeepsItsSecondImage) {
  if (std::string(VT_EXIFTOOL).empty()) GTEST_SKIP() << "exiftool is not installed";
  const std::string source = test::CorpusPath("pil-sugarshack.mpo");
  const std::string restored = test::TempPath("-mpo.jpg");
  ASSERT_EQ(test::RunCommand(std::string(VT_CLI) + " restore " + test::Quote(source) + " -o " + test::Quote(restored)),
            0);
  std::string a, b;
  test::RunCommand(std::string(VT_EXIFTOOL) + " -b -MPImage2 " + test::Quote(source), &a);
  test::RunCommand(std::string(VT_EXIFTOOL) + " -b -MPImage2 " + test::Quote(restored), &b);
  ASSERT_GT(a.size(), 10000u);
  EXPECT_EQ(a, b);
}

}  // namespace
}  // namespace vt
