// Whole files loaded through TkelJpegWithThumbs, checked against what exiftool extracts: Exif
// thumbnails written by exiftool, Multi-Picture files written by Pillow, and the sample corpus.
#include <gtest/gtest.h>

#include <algorithm>

#include "jpeg/jpeg_constants.h"
#include "segment_builder.h"
#include "thumbs/jpeg_with_thumbs.h"

namespace vt {
namespace {

using test::Bytes;
using test::Quote;
using test::RunCommand;

std::string Exiftool(const std::string& args) {
  std::string out;
  RunCommand(std::string(VT_EXIFTOOL) + " " + args + " 2>/dev/null", &out);
  return out;
}

Bytes ExiftoolBinary(const std::string& tag, const std::string& file) {
  const std::string out = test::TempPath(".bin");
  RunCommand(std::string(VT_EXIFTOOL) + " -b -" + tag + " " + Quote(file) + " > " + Quote(out) + " 2>/dev/null");
  return test::ReadBytes(out);
}

std::string Trim(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s;
}

struct Loaded {
  TMemoryStream stream;
  TkelJpegWithThumbs image{true};
  int result = -1;
  explicit Loaded(const std::string& path, bool allMPImages = true) : image(allMPImages) {
    stream.LoadFromFile(path);
    result = image.LoadFromStream(stream, 0);
  }
  Bytes FileBytes(const TkelJpegThumb& t) {
    const uint8_t* m = stream.Memory();
    return Bytes(m + t.Offset, m + t.Offset + t.Size);
  }
};

Bytes DataBytes(const TkelJpegThumb& t) {
  if (!t.Data) return {};
  return Bytes(t.Data->Memory(), t.Data->Memory() + t.Data->GetSize());
}

// Our copy is the stream as decoded plus the EOI we append: exiftool's has that EOI once when
// the source had its own, and keeps whatever padding followed the stream inside the segment.
bool SameJpeg(const Bytes& ours, const Bytes& theirs) {
  if (ours.size() < 4 || theirs.empty()) return false;
  if (ours == theirs) return true;
  if (ours.size() == theirs.size() + 2 && Bytes(ours.begin(), ours.end() - 2) == theirs) return true;
  if (theirs.size() <= ours.size() || !std::equal(ours.begin(), ours.end(), theirs.begin())) return false;
  return std::all_of(theirs.begin() + ours.size(), theirs.end(), [](uint8_t b) { return b == 0; });
}

TEST(Peer, ExifThumbnailWrittenByExiftoolIsExtractedByteForByte) {
  const std::string big = test::TempPath(".jpg"), small = test::TempPath(".jpg");
  test::WriteBytes(big, test::Cjpeg("-quality 85", 320, 240));
  test::WriteBytes(small, test::Cjpeg("-quality 70", 160, 120, false, 7));
  ASSERT_EQ(RunCommand(std::string(VT_EXIFTOOL) + " -q -overwrite_original -Make=Vantrelle -Model=\"Test Model\" "
                       "-DateTimeOriginal=\"2022:03:04 05:06:07\" -Orientation#=6 " +
                       Quote("-ThumbnailImage<=" + small) + " " + Quote(big)),
            0);
  Loaded f(big);
  EXPECT_EQ(f.result, jrOK);
  EXPECT_EQ(f.image.Thumbs().Make, "Vantrelle");
  EXPECT_EQ(f.image.Thumbs().Model, "Test Model");
  EXPECT_EQ(f.image.Thumbs().DateTimeOriginal.ToString(), "2022:03:04 05:06:07");
  EXPECT_EQ(f.image.Orientation, 5);
  ASSERT_EQ(f.image.Thumbs().ThumbCount(), 1);
  PkelJpegThumb t = f.image.Thumbs().GetThumbs(0);
  EXPECT_EQ(t->Width, 160);
  EXPECT_EQ(t->Height, 120);
  EXPECT_EQ(t->Completeness, 100);
  EXPECT_TRUE(SameJpeg(DataBytes(*t), ExiftoolBinary("ThumbnailImage", big)));
  // Its one block holds exactly its bytes in the file.
  ASSERT_EQ(t->Blocks.size(), 1u);
  const Bytes file = test::ReadBytes(big);
  const Bytes data = DataBytes(*t);
  EXPECT_EQ(Bytes(file.begin() + t->Blocks[0].Offset, file.begin() + t->Blocks[0].Offset + t->Blocks[0].Size),
            Bytes(data.begin(), data.begin() + t->Size));
}

TEST(Peer, PillowMultiPictureFileGivesItsSecondImageAsPostThumbnail) {
  const std::string a = test::WritePhotoLikePnm(200, 150, false, 3);
  const std::string b = test::WritePhotoLikePnm(120, 90, false, 4);
  const std::string mpo = test::TempPath(".mpo");
  const std::string script = "from PIL import Image; a=Image.open('" + a + "'); b=Image.open('" + b +
                             "'); a.save('" + mpo + "', format='MPO', save_all=True, append_images=[b])";
  ASSERT_EQ(RunCommand("/usr/bin/python3 -c " + Quote(script)), 0);

  Loaded with(mpo, true);
  int32_t posts = 0;
  for (int32_t i = 0; i < with.image.Thumbs().ThumbCount(); ++i) {
    PkelJpegThumb t = with.image.Thumbs().GetThumbs(i);
    if (!t->IsPost) continue;
    ++posts;
    EXPECT_EQ(t->Width, 120);
    EXPECT_EQ(t->Height, 90);
    EXPECT_EQ(t->Completeness, 100);
    EXPECT_EQ(with.FileBytes(*t), ExiftoolBinary("MPImage2", mpo));
    EXPECT_EQ(with.image.Thumbs().PostEnd, t->Offset + t->Size);
    EXPECT_EQ(size_t(t->Offset + t->Size), test::ReadBytes(mpo).size());
  }
  EXPECT_EQ(posts, 1);

  // Without AllMPImages the second image is not a dependent of the first: nothing after it.
  Loaded without(mpo, false);
  for (int32_t i = 0; i < without.image.Thumbs().ThumbCount(); ++i)
    EXPECT_FALSE(without.image.Thumbs().GetThumbs(i)->IsPost);
}

class CorpusFactsTest : public ::testing::TestWithParam<const char*> {};

TEST_P(CorpusFactsTest, ExifFactsEqualExiftools) {
  const std::string path = test::CorpusPath(GetParam());
  Loaded f(path);
  TkelJpegThumbs& t = f.image.Thumbs();
  // exiftool prints the first IFD0 value; -s3 gives the bare value, unformatted dates with -n.
  EXPECT_EQ(t.Make, Trim(Exiftool("-s3 -IFD0:Make " + Quote(path))));
  EXPECT_EQ(t.Model, Trim(Exiftool("-s3 -IFD0:Model " + Quote(path))));
  EXPECT_EQ(t.DateTimeOriginal.ToString(), Trim(Exiftool("-s3 -n -ExifIFD:DateTimeOriginal " + Quote(path))));
  const std::string orientation = Trim(Exiftool("-s3 -n -IFD0:Orientation " + Quote(path)));
  EXPECT_EQ(t.Orientation, orientation.empty() ? 0 : std::stoi(orientation));

  const Bytes theirs = ExiftoolBinary("ThumbnailImage", path);
  if (theirs.empty()) return;
  bool found = false;
  for (int32_t i = 0; i < t.ThumbCount() && !found; ++i) {
    found = SameJpeg(DataBytes(*t.GetThumbs(i)), theirs);
  }
  EXPECT_TRUE(found) << "no thumbnail equal to exiftool's ThumbnailImage";
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusFactsTest,
                         ::testing::Values("pil-flower.jpg", "pil-hopper_orientation_6.jpg", "et-Olympus.jpg",
                                           "et-NikonD70.jpg", "et-Casio2.jpg", "et-Sony.jpg", "et-Minolta.jpg",
                                           "et-Unknown.jpg", "et-ExifTool.jpg", "pil-exif_gps.jpg",
                                           "pil-multiple_exif.jpg"),
                         [](const auto& info) {
                           std::string n = info.param;
                           for (char& c : n)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });

struct ExtractCase {
  const char* file;
  const char* tag;
};
class CorpusExtractTest : public ::testing::TestWithParam<ExtractCase> {};

// Photoshop resources (also joined over several APP13 segments) and JFXX thumbnails.
TEST_P(CorpusExtractTest, SomeThumbnailEqualsExiftoolsExtraction) {
  const std::string path = test::CorpusPath(GetParam().file);
  const Bytes theirs = ExiftoolBinary(GetParam().tag, path);
  ASSERT_FALSE(theirs.empty());
  Loaded f(path);
  int found = 0;
  for (int32_t i = 0; i < f.image.Thumbs().ThumbCount(); ++i)
    found += SameJpeg(DataBytes(*f.image.Thumbs().GetThumbs(i)), theirs) ? 1 : 0;
  EXPECT_GE(found, 1);
}
INSTANTIATE_TEST_SUITE_P(Corpus, CorpusExtractTest,
                         ::testing::Values(ExtractCase{"pil-jpeg_ff00_header.jpg", "PhotoshopThumbnail"},
                                           ExtractCase{"pil-app13-multiple.jpg", "PhotoshopThumbnail"},
                                           ExtractCase{"et-ExifTool.jpg", "ThumbnailImage"},
                                           ExtractCase{"pil-pil_sample_cmyk.jpg", "PhotoshopThumbnail"}));

TEST(Peer, SugarshackSecondImageEqualsExiftoolsMPImage2) {
  const std::string path = test::CorpusPath("pil-sugarshack.mpo");
  Loaded f(path);
  const Bytes theirs = ExiftoolBinary("MPImage2", path);
  ASSERT_FALSE(theirs.empty());
  bool found = false;
  for (int32_t i = 0; i < f.image.Thumbs().ThumbCount(); ++i) {
    PkelJpegThumb t = f.image.Thumbs().GetThumbs(i);
    if (t->IsPost && t->Blocks.size() == 1 && f.FileBytes(*t) == theirs) found = t->Completeness == 100;
  }
  EXPECT_TRUE(found);
}

TEST(Peer, HostileFilesLoadWithoutCrashing) {
  for (const char* name : {"pil-sugarshack_bad_mpo_header.jpg", "pil-truncated_jpeg.jpg", "pil-app13-multiple.jpg",
                           "et-FLIR.jpg", "pil-junk_jpeg_header.jpg", "pil-truncated_app14.jpg"}) {
    Loaded f(test::CorpusPath(name));
    for (int32_t i = 0; i < f.image.Thumbs().ThumbCount(); ++i) {
      PkelJpegThumb t = f.image.Thumbs().GetThumbs(i);
      EXPECT_GE(t->Completeness, 0) << name;
      EXPECT_LE(t->Completeness, 100) << name;
    }
  }
}

}  // namespace
}  // namespace vt
