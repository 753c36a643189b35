// Reference photos: a photo whose header is destroyed decodes with the header set of an intact
// photo from the same encoder, through its surviving scan header, the given data offset, or the
// first run of restart markers; a reference that does not fit decodes nothing and says so.
#include <gtest/gtest.h>

#include "jpeg/decode_helpers.h"
#include "jpeg/image.h"
#include "source/source_open.h"
#include "thumbs/jpeg_with_thumbs.h"

namespace vt {
namespace {

using test::Bytes;
using test::FirstScanData;

std::string WriteFile(const Bytes& bytes, const char* suffix = ".jpg") {
  const std::string path = test::TempPath(suffix);
  test::WriteBytes(path, bytes);
  return path;
}

// A 4:2:0 photo with a comment segment of padding in front of its tables, so that its header
// (and its scan header) lie past the first 4 KB, as behind an Exif block.
Bytes Photo(const std::string& args, uint32_t seed, size_t padding = 6000) {
  const Bytes jpeg = test::Cjpeg("-quality 85 -sample 2x2 " + args, 320, 240, false, seed);
  Bytes out(jpeg.begin(), jpeg.begin() + 2);
  for (size_t left = padding; left > 0;) {
    const size_t n = std::min<size_t>(left, 60000);
    out.insert(out.end(), {0xFF, 0xFE, static_cast<uint8_t>((n + 2) >> 8), static_cast<uint8_t>(n + 2)});
    out.insert(out.end(), n, 'x');
    left -= n;
  }
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

Bytes Zeroed(Bytes jpeg, size_t count) {
  std::fill(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(count), 0);
  return jpeg;
}

TvtOpenResult OpenWith(TvtDiscSource& source, const std::string& path, std::vector<std::string> refs,
                       int64_t dataOffset = -1) {
  TvtOpenOptions o;
  o.References = std::move(refs);
  o.DataOffset = dataOffset;
  return OpenSource(source, path, o);
}

// The item loaded as the document loads it: its header stream, then its data.
std::unique_ptr<TkelJpegImage> LoadItem(const TvtItem& item) {
  auto image = std::make_unique<TkelJpegImage>(65536);
  item.HeaderStream->SetPosition(0);
  image->LoadFromStream(*item.HeaderStream, pfHeadersOnly | pfNoRender, 0);
  item.Stream->SetPosition(static_cast<int64_t>(item.Offset));
  image->LoadFromStream(*item.Stream, pfResumeAtScan | pfNoRender, 0);
  return image;
}

TEST(ReferenceHeaders, ZeroedHeaderDecodesCompletelyWithTheSameEncodersHeader) {
  const Bytes original = Photo("", 1);
  ASSERT_GT(FirstScanData(original), 4096u + 20);
  const std::string damaged = WriteFile(Zeroed(original, 4096));
  const std::string reference = WriteFile(Photo("", 2));

  TvtDiscSource source;
  TvtOpenOptions deep;
  deep.Deep = true;
  const TvtOpenResult alone = OpenSource(source, damaged, deep);
  EXPECT_TRUE(alone.Items.empty()) << "the file's own headers are gone";

  const TvtOpenResult found = OpenWith(source, damaged, {reference});
  ASSERT_EQ(found.Items.size(), 1u) << found.Reason;
  EXPECT_FALSE(found.ReferencesUnused);
  EXPECT_TRUE(found.Notes.empty());
  const TvtFoundItem& item = found.Items[0];
  EXPECT_EQ(item.Offset, FirstScanData(original));
  EXPECT_TRUE(item.ReplacementHeader);
  EXPECT_EQ(item.Reference, reference);
  EXPECT_EQ(item.DecodedPercent, 100);
  EXPECT_FALSE(item.Broken);
  EXPECT_EQ(item.Folders, std::vector<std::string>{"SOS marker/0x" + [&] {
              char hex[24];
              std::snprintf(hex, sizeof hex, "%llX", static_cast<unsigned long long>(item.Offset));
              return std::string(hex);
            }()});
  auto image = LoadItem(*item.Item);
  EXPECT_EQ(image->DecodedPercent(), 100);
  EXPECT_TRUE(test::SameCoefficients(*image, test::LibjpegCoefficients(original)));
}

struct MisfitCase {
  const char* Name;
  Bytes Reference;
  const char* Why;  // in the note, after the message; empty: nothing more
};

void PrintTo(const MisfitCase& c, std::ostream* os) { *os << c.Name; }

class MisfitReference : public ::testing::TestWithParam<MisfitCase> {};

TEST_P(MisfitReference, DecodesNothingAndSaysSo) {
  const Bytes original = Photo("", 1);
  const std::string damaged = WriteFile(Zeroed(original, 4096));
  const std::string reference = WriteFile(GetParam().Reference);
  TvtDiscSource source;
  const TvtOpenResult found = OpenWith(source, damaged, {reference});
  EXPECT_TRUE(found.Items.empty());
  EXPECT_TRUE(found.ReferencesUnused);
  EXPECT_EQ(found.Reason, kReferenceDecodesNothing);
  ASSERT_EQ(found.Notes.size(), 1u);
  std::string note = reference + ": " + kReferenceDecodesNothing;
  if (*GetParam().Why) note += std::string(" (") + GetParam().Why + ")";
  EXPECT_EQ(found.Notes[0], note);
}

INSTANTIATE_TEST_SUITE_P(
    ReferenceHeaders, MisfitReference,
    ::testing::Values(
        // Other Huffman tables turn the data into a few blocks of noise, then fail.
        MisfitCase{"OptimisedTables", test::Cjpeg("-quality 85 -sample 2x2 -optimize", 320, 240, false, 2), ""},
        // The same tables for a smaller frame decode every MCU and leave most of the data over.
        MisfitCase{"SmallerFrame", test::Cjpeg("-quality 85 -sample 2x2", 80, 64, false, 2), ""},
        MisfitCase{"NotAJpeg", Bytes(5000, 'z'), "it is not a JPEG file"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(ReferenceHeaders, ScanHeaderLostTooDecodesFromTheGivenOffset) {
  const Bytes original = Photo("", 3);
  const size_t data = FirstScanData(original);
  const std::string damaged = WriteFile(Zeroed(original, data));
  const std::string reference = WriteFile(Photo("", 4));
  TvtDiscSource source;
  EXPECT_TRUE(OpenWith(source, damaged, {reference}).Items.empty()) << "no scan header and no restart markers";
  const TvtOpenResult found = OpenWith(source, damaged, {reference}, static_cast<int64_t>(data));
  ASSERT_EQ(found.Items.size(), 1u) << found.Reason;
  EXPECT_EQ(found.Items[0].Offset, data);
  EXPECT_EQ(found.Items[0].DecodedPercent, 100);
  EXPECT_TRUE(test::SameCoefficients(*LoadItem(*found.Items[0].Item), test::LibjpegCoefficients(original)));
}

// Restart-marked: the data after the damage is found again at the first run of restart
// markers (or from a given offset inside the damage), and its MCUs sit where they belong.
class RestartRun : public ::testing::TestWithParam<bool> {};

TEST_P(RestartRun, RowsAfterTheDamageDecodeInPlace) {
  const bool withOffset = GetParam();
  const Bytes original = Photo("-restart 1", 5);
  const std::vector<size_t> rst = test::RestartMarkers(original);
  ASSERT_GT(rst.size(), 8u);
  // The scan header and the first two intervals (and their markers) are destroyed; a chance
  // restart marker is left in the zeros, followed by no run.
  Bytes bytes = Zeroed(original, rst[1] + 2);
  bytes[100] = 0xFF;
  bytes[101] = 0xD3;
  const std::string damaged = WriteFile(bytes);
  const std::string reference = WriteFile(Photo("-restart 1", 6));
  TvtDiscSource source;
  const int64_t offset = withOffset ? static_cast<int64_t>(rst[0]) : -1;
  const TvtOpenResult found = OpenWith(source, damaged, {reference}, offset);
  ASSERT_EQ(found.Items.size(), 1u) << found.Reason;
  const TvtFoundItem& item = found.Items[0];
  EXPECT_EQ(item.Offset, withOffset ? rst[0] : rst[2]);
  EXPECT_TRUE(item.Broken);
  auto image = LoadItem(*item.Item);
  const int32_t perRow = image->MCUsPerRow;  // one row of MCUs per interval
  // Intervals 0 to 2 are lost (the data from the given offset starts with zeros and the marker
  // of interval 1, which the decoder passes); everything from interval 3 on matches.
  EXPECT_TRUE(test::CompareByMCU(*image, test::LibjpegCoefficients(original), [&](int mcu) {
    return mcu >= 3 * perRow ? test::McuExpect::Match : test::McuExpect::Any;
  }));
  EXPECT_GE(image->DecodedPercent(), 80);
}

INSTANTIATE_TEST_SUITE_P(ReferenceHeaders, RestartRun, ::testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "GivenOffset" : "FirstRun"); });

TEST(ReferenceHeaders, SameHeaderSetInTheFileIsCreditedToTheReference) {
  // A card image: an intact sibling photo (same encoder settings), then a photo whose header
  // is destroyed. The sibling's header set already decodes the data; the reference that
  // equals it is named as the header's origin.
  const Bytes sibling = Photo("", 7, 0);
  const Bytes lost = Zeroed(Photo("", 8), 4096);
  Bytes file = sibling;
  file.insert(file.end(), lost.begin(), lost.end());
  const std::string reference = WriteFile(Photo("", 9, 0));
  TvtDiscSource source;
  const TvtOpenResult found = OpenWith(source, WriteFile(file, ".img"), {reference});
  ASSERT_EQ(found.Items.size(), 2u);
  EXPECT_FALSE(found.Items[0].ReplacementHeader);
  EXPECT_TRUE(found.Items[1].ReplacementHeader);
  EXPECT_EQ(found.Items[1].Reference, reference);
  EXPECT_EQ(found.Items[1].DecodedPercent, 100);
  EXPECT_FALSE(found.ReferencesUnused);
}

}  // namespace
}  // namespace vt
