// Why the default open shows nothing: the kind of file by its first bytes, a JPEG that starts
// further on, and the system's errors, as the viewer's error box tells them.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "source/disc_source.h"
#include "source/file_types.h"
#include "source/open_failure.h"
#include "support/test_support.h"

namespace vt {
namespace {

using test::Bytes;

struct TypeCase {
  const char* name;
  Bytes head;
  const char* type;  // "" for none
};

class KnownFileTypes : public ::testing::TestWithParam<TypeCase> {};

TEST_P(KnownFileTypes, NameWhatTheFirstBytesProve) {
  const Bytes& head = GetParam().head;
  EXPECT_EQ(KnownFileType(head.data(), static_cast<int64_t>(head.size())), GetParam().type);
}

Bytes B(std::initializer_list<int> bytes) { return Bytes(bytes.begin(), bytes.end()); }
Bytes S(const std::string& text) { return Bytes(text.begin(), text.end()); }

INSTANTIATE_TEST_SUITE_P(
    Signatures, KnownFileTypes,
    ::testing::Values(
        TypeCase{"Png", B({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'}), "a PNG image"},
        TypeCase{"PngCutShort", B({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A}), ""},
        TypeCase{"Gif", S("GIF89a\x10\x00\x10\x00"), "a GIF image"},
        TypeCase{"WebP", S(std::string("RIFF\x24\x00\x00\x00WEBPVP8 ", 16)), "a WebP image"},
        TypeCase{"WebPWithoutRiff", S(std::string("XXXX\x24\x00\x00\x00WEBPVP8 ", 16)), ""},
        TypeCase{"Tiff", B({'I', 'I', 42, 0, 8, 0, 0, 0}), "a TIFF image (or a camera raw photo)"},
        TypeCase{"CanonCr2", B({'I', 'I', 42, 0, 0x10, 0, 0, 0, 'C', 'R', 2, 0}), "a Canon raw photo (CR2)"},
        TypeCase{"Heic", B({0, 0, 0, 0x18, 'f', 't', 'y', 'p', 'h', 'e', 'i', 'c'}), "a HEIF image (HEIC)"},
        TypeCase{"Mp4", B({0, 0, 0, 0x18, 'f', 't', 'y', 'p', 'i', 's', 'o', 'm'}), "an MP4 video"},
        TypeCase{"Bmp", B({'B', 'M', 0x36, 0, 0, 0, 0, 0, 0, 0, 0x36, 0, 0, 0, 40, 0}), "a BMP image"},
        TypeCase{"TextStartingWithBM", S("BMW drove by at dawn"), ""},
        TypeCase{"Pdf", S("%PDF-1.7\n"), "a PDF document"},
        TypeCase{"Jpeg", B({0xFF, 0xD8, 0xFF, 0xE0}), ""},
        TypeCase{"Empty", Bytes{}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// The file's path after it was written into a folder of its own.
std::string Write(const std::string& name, const Bytes& bytes) {
  const std::string dir = test::TempPath("openfail");
  std::filesystem::create_directories(dir);
  test::WriteBytes(dir + "/" + name, bytes);
  return dir + "/" + name;
}

TvtOpenFailure Diagnose(const std::string& path) {
  TvtDiscSource source;
  source.Open(path);
  EXPECT_EQ(source.FirstItem(), nullptr) << path;
  return DiagnoseOpenFailure(source);
}

TEST(OpenFailure, AJpegAfterJunkIsFoundWhereItStarts) {
  for (size_t junk : {size_t{20}, size_t{70000}}) {  // inside the first chunk searched, and past it
    Bytes file = test::JunkWithoutMarkers(junk, 3);
    const Bytes photo = test::Cjpeg("-quality 80", 48, 32);
    file.insert(file.end(), photo.begin(), photo.end());
    const TvtOpenFailure failure = Diagnose(Write("carved.jpg", file));
    EXPECT_EQ(failure.Kind, TvtOpenFailure::fkNotJpeg);
    EXPECT_EQ(failure.JpegOffset, static_cast<int64_t>(junk));
    EXPECT_EQ(failure.Reason, "the file does not begin with a JPEG start-of-image marker");
  }
}

TEST(OpenFailure, OtherFilesSayWhatTheyAreAndOfferNothingWithoutAJpeg) {
  Bytes png = B({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A});
  const Bytes rest = test::JunkWithoutMarkers(3000, 5);
  png.insert(png.end(), rest.begin(), rest.end());
  // FF D8 FF followed by a byte that starts no segment is not a JPEG.
  png.insert(png.end(), {0xFF, 0xD8, 0xFF, 0x00, 0x12});
  const TvtOpenFailure failure = Diagnose(Write("photo.jpg", png));
  EXPECT_EQ(failure.Kind, TvtOpenFailure::fkOtherType);
  EXPECT_EQ(failure.FileType, "a PNG image");
  EXPECT_EQ(failure.JpegOffset, -1);

  EXPECT_EQ(Diagnose(Write("empty.jpg", {})).Kind, TvtOpenFailure::fkEmpty);
  const TvtOpenFailure undecodable = Diagnose(Write("cut.jpg", B({0xFF, 0xD8, 0xFF, 0x00, 0x12, 0x34})));
  EXPECT_EQ(undecodable.Kind, TvtOpenFailure::fkNothingDecoded);
  EXPECT_EQ(undecodable.JpegOffset, -1);
}

TEST(OpenFailure, MissingFilesAndFoldersAreToldApart) {
  const std::string folder = test::TempPath("a-folder.jpg");
  std::filesystem::create_directories(folder);
  const TvtOpenFailure isFolder = Diagnose(folder);
  EXPECT_EQ(isFolder.Kind, TvtOpenFailure::fkFolder);
  EXPECT_FALSE(isFolder.Reason.empty());
  EXPECT_EQ(Diagnose(folder + "/missing.jpg").Kind, TvtOpenFailure::fkMissing);
  EXPECT_EQ(Diagnose(folder + "/no/such/folder/x.jpg").Kind, TvtOpenFailure::fkMissing);
}

TEST(OpenFailure, SystemErrorsMapToTheirKinds) {
  EXPECT_EQ(OpenErrorKind(ENOENT), TvtOpenFailure::fkMissing);
  EXPECT_EQ(OpenErrorKind(ENOTDIR), TvtOpenFailure::fkMissing);
  EXPECT_EQ(OpenErrorKind(EISDIR), TvtOpenFailure::fkFolder);
  EXPECT_EQ(OpenErrorKind(EACCES), TvtOpenFailure::fkNoPermission);
  EXPECT_EQ(OpenErrorKind(EPERM), TvtOpenFailure::fkNoPermission);
  EXPECT_EQ(OpenErrorKind(ENXIO), TvtOpenFailure::fkNotRegular);
  EXPECT_EQ(OpenErrorKind(EIO), TvtOpenFailure::fkUnreadable);
}

}  // namespace
}  // namespace vt
