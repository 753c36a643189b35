// The one road from a file to its picture: how often an open parses each picture (the parse log
// of jpeg/parse_log.h), that the document takes over the open's decode instead of parsing again,
// which item is taken, and what an open does to the document it replaces.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <utility>

#include "jpeg/parse_log.h"
#include "source/vt_common.h"
#include "support/test_support.h"
#include "thumbs/jpeg_with_thumbs.h"
#include "viewer/open_document.h"
#include "viewer/thumb_source.h"

namespace vt {
namespace {

using Frames = std::map<std::pair<int32_t, int32_t>, int>;  // width x height -> parses

Frames Count(const std::vector<TkelParsedFrame>& log) {
  Frames frames;
  for (const TkelParsedFrame& f : log) ++frames[{f.Width, f.Height}];
  return frames;
}

std::string Sample() { return VT_SAMPLE_FILE; }  // 800 x 600, an Exif thumbnail of 160 x 120
std::string MultiPicture() { return test::CorpusPath("pil-sugarshack.mpo"); }  // 640 x 480 twice

enum class Road { Document, Picture };

struct ParseCase {
  const char* Name;
  std::string (*File)();
  Road Way;
  bool Deep;
  int32_t Item;
  Frames Expected;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.Name; }

class OpenParses : public ::testing::TestWithParam<ParseCase> {};

TEST_P(OpenParses, EachPictureIsParsedAsOftenAsTheRoadNeeds) {
  const ParseCase& c = GetParam();
  TvtOpenOptions options;
  options.Deep = c.Deep;
  options.Item = c.Item;
  TvtDiscSource source;
  TvtThumbSource document;
  StartParseLog();
  const TvtOpened opened = c.Way == Road::Document ? OpenDocument(source, document, c.File(), options)
                                                   : OpenPicture(source, c.File(), options);
  const Frames parsed = Count(StopParseLog());
  ASSERT_NE(opened.Item, nullptr) << opened.Error;
  EXPECT_EQ(parsed, c.Expected);
  if (c.Way == Road::Document) {
    EXPECT_TRUE(document.HasImage());
    EXPECT_GE(document.ThumbCount(), 1) << "the thumbnails the decode collected are the candidates";
    EXPECT_EQ(opened.Item->Decoded, nullptr) << "the document took the decode";
  } else {
    ASSERT_NE(opened.Picture(), nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Roads, OpenParses,
    ::testing::Values(
        // The default open: the decode that judged the item is the one shown; each thumbnail is
        // decoded with it and never again.
        ParseCase{"SampleIntoTheDocument", Sample, Road::Document, false, -1, {{{800, 600}, 1}, {{160, 120}, 1}}},
        ParseCase{"SampleForACommand", Sample, Road::Picture, false, -1, {{{800, 600}, 1}, {{160, 120}, 1}}},
        ParseCase{"ItemChosenByIndex", Sample, Road::Document, false, 0, {{{800, 600}, 1}, {{160, 120}, 1}}},
        // Two pictures of 640 x 480 (the main image and the second image of the Multi-Picture
        // index) with a thumbnail each.
        ParseCase{"MultiPictureFile", MultiPicture, Road::Document, false, -1, {{{640, 480}, 2}, {{160, 120}, 2}}},
        // A deep scan judges every candidate from its entropy-coded data alone (no coefficients
        // kept: a card holds thousands); the picture chosen is decoded once more for showing. The
        // sample is damaged, so the search for a fragmented photo's pieces decodes it once more.
        ParseCase{"DeepScanDecodesTheChosenPictureAgain", Sample, Road::Document, true, -1,
                  {{{800, 600}, 3}, {{160, 120}, 3}}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(OpenDocument, TheDocumentTakesTheOpensDecodeAndItsThumbnails) {
  TvtDiscSource source;
  const TvtOpened opened = OpenPicture(source, Sample(), {});
  ASSERT_NE(opened.Picture(), nullptr) << opened.Error;
  const TkelJpegWithThumbs* decode = opened.Picture();
  const int32_t thumbs = static_cast<int32_t>(opened.Picture()->Thumbs().ThumbCount());
  TvtThumbSource document;
  StartParseLog();
  LoadItem(document, *opened.Item, TvtRepair::None);
  EXPECT_TRUE(StopParseLog().empty()) << "nothing is parsed again";
  EXPECT_EQ(document.Jpeg.get(), decode);
  EXPECT_EQ(document.ThumbCount(), thumbs);
  EXPECT_EQ(document.MainThumbIndex, 0) << "the holes are filled from the thumbnail";
  // Loading the item again (Found images...) has no kept decode: it is decoded anew.
  StartParseLog();
  LoadItem(document, *opened.Item, TvtRepair::None);
  EXPECT_EQ(Count(StopParseLog()), (Frames{{{800, 600}, 1}, {{160, 120}, 1}}));
  EXPECT_EQ(document.ThumbCount(), thumbs);
}

// The open makes no preview: the item's and its thumbnails' are made when something shows them
// (a list of found images), from the file, as the scan would have made them.
TEST(OpenDocument, PreviewsAreMadeOnlyWhenAskedFor) {
  TvtDiscSource source;
  TvtThumbSource document;
  const TvtOpened opened = OpenDocument(source, document, Sample(), {});
  ASSERT_NE(opened.Item, nullptr);
  TvtItem& item = *opened.Item;
  ASSERT_EQ(item.SubItemCount(), 1);
  EXPECT_EQ(item.Preview, nullptr);
  EXPECT_EQ(item.GetSubItem(0)->Preview, nullptr);
  EXPECT_EQ(source.PreviewStore->GetSize(), 0) << "nothing was drawn into the store";
  StartParseLog();
  const TBitmap32* preview = item.GetPreview();
  const TBitmap32* thumbPreview = item.GetSubItem(0)->GetPreview();
  EXPECT_EQ(Count(StopParseLog()), (Frames{{{800, 600}, 1}, {{160, 120}, 2}}))
      << "the picture is decoded for its preview (with its thumbnail), the thumbnail for its own";
  ASSERT_NE(preview, nullptr);
  EXPECT_EQ(preview->Width(), 120);
  EXPECT_EQ(preview->Height(), 90);
  ASSERT_NE(thumbPreview, nullptr);
  EXPECT_EQ(thumbPreview->Width(), 120);
  EXPECT_EQ(item.GetPreview(), preview) << "made once";
}

// The file's name and folder are the caller's to show: the engine leaves the save folder alone.
TEST(OpenDocument, TheEngineSetsNeitherTheSaveFolderNorTheFileNameOfAnUntouchedDocument) {
  SaveFolder = "/somewhere/else/";
  TvtDiscSource source;
  TvtThumbSource document;
  const TvtOpened opened = OpenDocument(source, document, Sample(), {});
  ASSERT_NE(opened.Item, nullptr);
  EXPECT_EQ(SaveFolder, "/somewhere/else/");
  EXPECT_EQ(document.FileName, Sample());
  SaveFolder.clear();
}

struct ReplaceCase {
  const char* Name;
  bool Deep;
  bool JunkFile;       // a file in which nothing is found
  int32_t Chooser;     // -2: no chooser; else what it answers
  bool ShowsNewFile;   // the document shows the new file's picture
  bool KeepsOldFile;   // the document still shows the old picture
};

void PrintTo(const ReplaceCase& c, std::ostream* os) { *os << c.Name; }

class OpenReplaces : public ::testing::TestWithParam<ReplaceCase> {};

TEST_P(OpenReplaces, TheDocumentChangesOnlyAsTheOpenSays) {
  const ReplaceCase& c = GetParam();
  const std::string dir = test::TempPath("-replace");
  std::filesystem::create_directories(dir);
  const std::string first = dir + "/first.jpg", second = dir + "/second.jpg";
  test::WriteBytes(first, test::Cjpeg("-quality 90", 64, 48));
  test::WriteBytes(second, c.JunkFile ? test::JunkWithoutMarkers(5000, 3) : test::Cjpeg("-quality 90", 96, 32));

  TvtDiscSource shown;
  TvtThumbSource document;
  ASSERT_NE(OpenDocument(shown, document, first, {}).Item, nullptr);
  ASSERT_EQ(document.MainImage()->Width(), 64);

  TvtDiscSource other;  // an open beyond the default one scans into a source of its own
  TvtOpenOptions options;
  options.Deep = c.Deep;
  TvtChooseItem choose;
  int asked = 0;
  if (c.Chooser != -2)
    choose = [&](const TvtOpenResult& found, std::string&) {
      ++asked;
      return found.Items.empty() ? -1 : c.Chooser;
    };
  const TvtOpened opened = OpenDocument(c.Deep ? other : shown, document, second, options, choose);
  if (c.ShowsNewFile) {
    ASSERT_TRUE(document.HasImage());
    EXPECT_EQ(document.MainImage()->Width(), 96);
    EXPECT_EQ(document.FileName, second);
  } else if (c.KeepsOldFile) {
    ASSERT_TRUE(document.HasImage());
    EXPECT_EQ(document.MainImage()->Width(), 64);
    EXPECT_EQ(document.FileName, first);
  } else {
    EXPECT_FALSE(document.HasImage()) << "cleared first";
    EXPECT_EQ(document.FileName, second);
    EXPECT_EQ(opened.Error.rfind("Invalid image. (", 0), 0u) << opened.Error;
  }
  if (c.Chooser != -2) EXPECT_EQ(asked, 1);
  document.Clear();
}

INSTANTIATE_TEST_SUITE_P(
    Opens, OpenReplaces,
    ::testing::Values(ReplaceCase{"DefaultOpenOfAPicture", false, false, -2, true, false},
                      ReplaceCase{"DefaultOpenOfJunkClearsTheDocument", false, true, -2, false, false},
                      ReplaceCase{"DeepOpenOfAPicture", true, false, -2, true, false},
                      ReplaceCase{"DeepOpenOfJunkKeepsThePictureShown", true, true, -2, false, true},
                      ReplaceCase{"ChooserTakesNoneKeepsThePictureShown", true, false, -1, false, true},
                      ReplaceCase{"ChooserTakesThePicture", true, false, 0, true, false}),
    [](const auto& info) { return std::string(info.param.Name); });

struct ChoiceCase {
  const char* Name;
  int Items;            // items found
  int32_t Item;         // --item
  bool References;      // references were given
  bool ReferencesUnused;
  int32_t Expected;     // the index taken
  const char* Error;    // the start of the message, or "" when there is none
};

void PrintTo(const ChoiceCase& c, std::ostream* os) { *os << c.Name; }

class Choice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(Choice, TheItemTakenWithoutAChooser) {
  const ChoiceCase& c = GetParam();
  TvtOpenResult found;
  for (int i = 0; i < c.Items; ++i) {
    TvtFoundItem f;
    f.Width = 10 * (i + 1) * (i == 1 ? 9 : 1);  // item 1 shows most
    f.Height = 10;
    f.DecodedPercent = 100;
    found.Items.push_back(f);
  }
  found.DefaultItem = DefaultItemIndex(found.Items);
  found.ReferencesUnused = c.ReferencesUnused;
  found.Reason = "the file is empty";
  TvtOpenOptions options;
  options.Item = c.Item;
  if (c.References) options.References = {"ref.jpg"};
  std::string error;
  EXPECT_EQ(DefaultChoice(found, options, error), c.Expected);
  EXPECT_EQ(error.rfind(c.Error, 0), 0u) << error;
  EXPECT_EQ(error.empty(), std::string(c.Error).empty()) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Choice,
    ::testing::Values(ChoiceCase{"NothingFound", 0, -1, false, false, -1, "Invalid image. (the file is empty)"},
                      ChoiceCase{"TheLargestDecodedArea", 3, -1, false, false, 1, ""},
                      ChoiceCase{"ItemByIndex", 3, 2, false, false, 2, ""},
                      ChoiceCase{"NoSuchItem", 3, 3, false, false, -1, "there is no item 3 (the file has 3)"},
                      ChoiceCase{"UnusedReferences", 2, -1, true, true, -1, kReferenceDecodesNothing},
                      ChoiceCase{"IndexBeatsUnusedReferences", 2, 0, true, true, 0, ""},
                      ChoiceCase{"UsedReferences", 2, -1, true, false, 1, ""}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace vt
