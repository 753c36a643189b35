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

// A three-image Multi-Picture file laid out as cameras write it: the MPF index in the first
// image, the second and third images appended. Offsets count from the MP endian field.
Bytes ThreePictureMpo(const Bytes& a, const Bytes& b, const Bytes& c, bool bigEndian, bool parent) {
  auto num = [bigEndian](uint32_t v, int size) {
    Bytes out(size_t(size), 0);
    for (int i = 0; i < size; ++i) out[size_t(bigEndian ? size - 1 - i : i)] = uint8_t(v >> (8 * i));
    return out;
  };
  auto segment = [&](const uint32_t sizes[3], const uint32_t offsets[3]) {
    const uint32_t attributes[3] = {parent ? 0xA0030000u : 0x20030000u, 0x00020002u, 0x00010001u};
    Bytes d = test::Str(std::string("MPF\0", 4));
    const Bytes head = bigEndian ? Bytes{'M', 'M', 0, 0x2A} : Bytes{'I', 'I', 0x2A, 0};
    d.insert(d.end(), head.begin(), head.end());
    for (const Bytes& part : {num(8, 4), num(3, 2), num(0xB000, 2), num(7, 2), num(4, 4), test::Str("0100"),
                              num(0xB001, 2), num(4, 2), num(1, 4), num(3, 4), num(0xB002, 2), num(7, 2),
                              num(48, 4), num(50, 4), num(0, 4)})
      d.insert(d.end(), part.begin(), part.end());
    for (int i = 0; i < 3; ++i)
      for (const Bytes& part : {num(attributes[i], 4), num(sizes[i], 4), num(offsets[i], 4),
                                num(parent && i == 0 ? 2 : 0, 2), num(parent && i == 0 ? 3 : 0, 2)})
        d.insert(d.end(), part.begin(), part.end());
    return test::Segment(0xE2, d);
  };
  const uint32_t zero[3] = {0, 0, 0};
  const uint32_t first = uint32_t(a.size() + segment(zero, zero).size());
  const uint32_t endianField = 2 + 8;  // SOI, then the segment's FF E2, length and "MPF\0"
  const uint32_t sizes[3] = {first, uint32_t(b.size()), uint32_t(c.size())};
  const uint32_t offsets[3] = {0, first - endianField, uint32_t(first + b.size()) - endianField};
  const Bytes seg = segment(sizes, offsets);
  Bytes out(a.begin(), a.begin() + 2);
  out.insert(out.end(), seg.begin(), seg.end());
  out.insert(out.end(), a.begin() + 2, a.end());
  out.insert(out.end(), b.begin(), b.end());
  out.insert(out.end(), c.begin(), c.end());
  return out;
}

struct MpoCase {
  bool bigEndian;
  bool parent;
};
class MpoPeerTest : public ::testing::TestWithParam<MpoCase> {};

// Every appended image is a post thumbnail with its exact bytes (the second equals exiftool's
// MPImage2); without AllMPImages only the dependents of a dependent-parent first image are.
TEST_P(MpoPeerTest, AppendedImagesAreExtractedWithTheirBytes) {
  const Bytes a = test::Cjpeg("-quality 85", 160, 120, false, 21);
  const Bytes b = test::Cjpeg("-quality 85", 96, 72, false, 22);
  const Bytes c = test::Cjpeg("-quality 85", 64, 48, false, 23);
  const std::string path = test::TempPath(".mpo");
  test::WriteBytes(path, ThreePictureMpo(a, b, c, GetParam().bigEndian, GetParam().parent));

  Loaded all(path, true);
  EXPECT_EQ(all.result, jrOK);
  std::vector<Bytes> posts;
  for (int32_t i = 0; i < all.image.Thumbs().ThumbCount(); ++i) {
    PkelJpegThumb t = all.image.Thumbs().GetThumbs(i);
    if (!t->IsPost) continue;
    EXPECT_EQ(t->Completeness, 100);
    ASSERT_EQ(t->Blocks.size(), 1u);
    EXPECT_EQ(t->Blocks[0].Offset, t->Offset);
    posts.push_back(all.FileBytes(*t));
  }
  ASSERT_EQ(posts.size(), 2u);
  EXPECT_EQ(posts[0], b);
  EXPECT_EQ(posts[1], c);
  EXPECT_EQ(posts[0], ExiftoolBinary("MPImage2", path));
  EXPECT_EQ(size_t(all.image.Thumbs().PostEnd), test::ReadBytes(path).size());

  Loaded viewer(path, false);
  int32_t viewerPosts = 0;
  for (int32_t i = 0; i < viewer.image.Thumbs().ThumbCount(); ++i)
    viewerPosts += viewer.image.Thumbs().GetThumbs(i)->IsPost ? 1 : 0;
  EXPECT_EQ(viewerPosts, GetParam().parent ? 2 : 0);
}
INSTANTIATE_TEST_SUITE_P(Layouts, MpoPeerTest,
                         ::testing::Values(MpoCase{false, true}, MpoCase{true, true}, MpoCase{false, false}));

// exiftool's Photoshop thumbnail (resource 1036) next to an Exif thumbnail: both come out with
// exiftool's bytes.
TEST(Peer, PhotoshopAndExifThumbnailsWrittenByExiftool) {
  const std::string big = test::TempPath(".jpg"), small = test::TempPath(".jpg"), other = test::TempPath(".jpg");
  test::WriteBytes(big, test::Cjpeg("-quality 85", 320, 240));
  test::WriteBytes(small, test::Cjpeg("-quality 70", 160, 120, false, 7));
  test::WriteBytes(other, test::Cjpeg("-quality 70", 120, 90, false, 8));
  ASSERT_EQ(RunCommand(std::string(VT_EXIFTOOL) + " -q -overwrite_original -ExifByteOrder=II " +
                       Quote("-ThumbnailImage<=" + small) + " " + Quote("-PhotoshopThumbnail<=" + other) + " " +
                       Quote(big)),
            0);
  Loaded f(big);
  ASSERT_EQ(f.image.Thumbs().ThumbCount(), 2);
  f.image.Thumbs().SortThumbsByArea();
  PkelJpegThumb exif = f.image.Thumbs().GetThumbs(0);
  PkelJpegThumb photoshop = f.image.Thumbs().GetThumbs(1);
  EXPECT_EQ(exif->Width, 160);
  EXPECT_EQ(photoshop->Width, 120);
  EXPECT_EQ(photoshop->ColorModel, 0);
  EXPECT_TRUE(SameJpeg(DataBytes(*exif), ExiftoolBinary("ThumbnailImage", big)));
  EXPECT_TRUE(SameJpeg(DataBytes(*photoshop), ExiftoolBinary("PhotoshopThumbnail", big)));
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
