// What the viewer makes of an open beyond the default one: the error, the one picture or the
// list (with the same default as vantrelle-cli), and the texts of the list's rows.
#include <gtest/gtest.h>

#include "source/disc_source_thread.h"
#include "viewer/found_images.h"

namespace vt {
namespace {

TvtFoundItem Found(uint64_t offset, int32_t w, int32_t h, int32_t percent = 100) {
  TvtFoundItem f;
  f.Offset = offset;
  f.Length = 1000;
  f.Width = w;
  f.Height = h;
  f.DecodedPercent = percent;
  return f;
}

struct PlanCase {
  const char* Name;
  TvtOpenResult Result;
  std::vector<std::string> References;
  TvtFoundImagesPlan::TKind Kind;
  int32_t Item;
  const char* Message;  // the whole message (pkError) or the warning; empty: none
};

void PrintTo(const PlanCase& c, std::ostream* os) { *os << c.Name; }

TvtOpenResult Result(std::vector<TvtFoundItem> items, int32_t defaultItem, bool cancelled = false,
                     std::string reason = {}, bool referencesUnused = false, std::vector<std::string> notes = {}) {
  TvtOpenResult r;
  r.Items = std::move(items);
  r.DefaultItem = defaultItem;
  r.Cancelled = cancelled;
  r.Reason = std::move(reason);
  r.ReferencesUnused = referencesUnused;
  r.Notes = std::move(notes);
  return r;
}

class Plan : public ::testing::TestWithParam<PlanCase> {};

TEST_P(Plan, ChoosesWhatTheViewerDoes) {
  const PlanCase& c = GetParam();
  TvtOpenOptions options;
  options.Deep = c.References.empty();
  options.References = c.References;
  const TvtFoundImagesPlan plan = PlanFoundImages(c.Result, options);
  EXPECT_EQ(plan.Kind, c.Kind);
  EXPECT_EQ(plan.Item, c.Item);
  if (c.Kind == TvtFoundImagesPlan::pkError) {
    EXPECT_EQ(plan.Message, c.Message);
    EXPECT_EQ(plan.Warning, "");
  } else {
    EXPECT_EQ(plan.Message, "");
    EXPECT_EQ(plan.Warning, c.Message);
  }
}

const std::string kNote = std::string("/some/folder/ref.png: ") + kReferenceDecodesNothing;

INSTANTIATE_TEST_SUITE_P(
    FoundImages, Plan,
    ::testing::Values(
        PlanCase{"CancelledBeforeAnythingWasFound", Result({}, -1, true, "the scan was cancelled"), {},
                 TvtFoundImagesPlan::pkNothing, -1, ""},
        PlanCase{"NothingFound", Result({}, -1, false, "no picture that decodes was found anywhere in the file"), {},
                 TvtFoundImagesPlan::pkError, -1,
                 "Invalid image.\n\nNo picture that decodes was found anywhere in the file."},
        PlanCase{"NothingFoundWithoutAReason", Result({}, -1), {}, TvtFoundImagesPlan::pkError, -1,
                 "Invalid image.\n\nNo picture was found in the file."},
        // The reference is named by its file name, with why it served nothing.
        PlanCase{"ReferenceThatIsNotAJpeg",
                 Result({}, -1, false, kReferenceDecodesNothing, true, {kNote + " (it is not a JPEG file)"}),
                 {"/some/folder/ref.png"}, TvtFoundImagesPlan::pkError, -1,
                 "Invalid image.\n\nref.png: the reference's header decodes none of the data (it is not a JPEG file)."},
        PlanCase{"TwoReferencesThatFitNothing",
                 Result({}, -1, false, kReferenceDecodesNothing, true,
                        {kNote, std::string("b.jpg: ") + kReferenceDecodesNothing}),
                 {"/some/folder/ref.png", "b.jpg"}, TvtFoundImagesPlan::pkError, -1,
                 "Invalid image.\n\nref.png: the reference's header decodes none of the data.\n"
                 "b.jpg: the reference's header decodes none of the data."},
        PlanCase{"OnePictureOpensDirectly", Result({Found(20, 120, 80)}, 0), {}, TvtFoundImagesPlan::pkOpen, 0, ""},
        PlanCase{"SeveralPicturesStartAtTheDefault",
                 Result({Found(0, 320, 240), Found(9000, 640, 480), Found(90000, 200, 150)}, 1), {},
                 TvtFoundImagesPlan::pkChoose, 1, ""},
        PlanCase{"ACancelledScanListsWhatItFound", Result({Found(0, 320, 240), Found(9000, 64, 48)}, 0, true), {},
                 TvtFoundImagesPlan::pkChoose, 0, ""},
        // The file's own pictures are shown, after a warning that the reference served nothing.
        PlanCase{"ReferenceUnusedButTheFileHoldsPictures",
                 Result({Found(0, 320, 240), Found(9000, 64, 48)}, 0, false, "", true, {kNote}),
                 {"/some/folder/ref.png"}, TvtFoundImagesPlan::pkChoose, 0,
                 "ref.png: the reference's header decodes none of the data.\n\n"
                 "Showing what the file holds without the reference."},
        // One of two references served: nothing to warn about.
        PlanCase{"OneOfTwoReferencesServed", Result({Found(5000, 320, 240)}, 0, false, "", false, {kNote}),
                 {"/some/folder/ref.png", "good.jpg"}, TvtFoundImagesPlan::pkOpen, 0, ""}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(FoundImages, RowTextsGiveOffsetSizePercentAndWhereTheHeaderCameFrom) {
  TvtFoundItem plain = Found(3000, 640, 480);
  plain.Length = 41235;
  EXPECT_EQ(FoundItemText(plain), "Offset 0xBB8 (3000), 41235 bytes\n640 x 480, 100% decoded");

  // Card images beyond 4 GB: 64-bit offsets, in hex and decimal.
  TvtFoundItem far = Found(0x140000000ull + 0xAB, 200, 150, 37);
  far.Broken = true;
  EXPECT_EQ(FoundItemText(far), "Offset 0x1400000AB (5368709291), 1000 bytes\n200 x 150, 37% decoded\nbroken");

  TvtFoundItem borrowed = Found(4102, 320, 240);
  borrowed.ReplacementHeader = true;
  borrowed.Reference = "/photos/intact/IMG_0001.JPG";
  EXPECT_EQ(FoundItemText(borrowed),
            "Offset 0x1006 (4102), 1000 bytes\n320 x 240, 100% decoded\nreplacement header from IMG_0001.JPG");
  borrowed.Broken = true;
  borrowed.Reference.clear();  // a header set found elsewhere in the file itself
  EXPECT_EQ(FoundItemText(borrowed),
            "Offset 0x1006 (4102), 1000 bytes\n320 x 240, 100% decoded\nbroken, replacement header from this file");
}

TEST(FoundImages, SummaryCountsThePicturesAndTellsOfACancelledScan) {
  TvtOpenResult r = Result({Found(0, 1, 1), Found(1, 1, 1), Found(2, 1, 1)}, 0);
  EXPECT_EQ(FoundImagesSummary(r, "/cards/card.img"), "3 pictures found in card.img. Choose the one to show.");
  r.Cancelled = true;
  r.Items.resize(1);
  EXPECT_EQ(FoundImagesSummary(r, "card.img"),
            "1 picture found in card.img. The scan was cancelled: these were found before it stopped. Choose the "
            "one to show.");
}

TEST(FoundImages, ThePhasesOfTheScanInTheViewersWords) {
  EXPECT_EQ(ScanPhaseText(TvtScanPhase::Signatures), "Searching the file for pictures");
  EXPECT_EQ(ScanPhaseText(TvtScanPhase::ScanMarkers), "Trying the headers on the picture data found");
  EXPECT_EQ(ScanPhaseText(TvtScanPhase::None), "");
}

// The list of a card's pictures: sorted by a column either way (equal keys stay in offset
// order), and without the broken or the small pictures on request.
struct ListCase {
  const char* Name;
  TvtFoundListView View;
  std::vector<int32_t> Rows;
};

void PrintTo(const ListCase& c, std::ostream* os) { *os << c.Name; }

class FoundList : public ::testing::TestWithParam<ListCase> {};

TEST_P(FoundList, SortsAndFilters) {
  std::vector<TvtFoundItem> items = {Found(0x200, 160, 120),       Found(0x4000, 4000, 3000, 60),
                                     Found(0x9000, 3000, 4000),    Found(0x12000, 640, 480, 100),
                                     Found(0x20000, 4000, 3000, 100), Found(0x30000, 319, 240, 5)};
  items[1].Broken = items[5].Broken = true;
  items[1].Length = 900000;
  items[2].Length = 2000000;
  items[4].Length = 2000000;
  // Photos the card split: three pieces; two pieces and a third not found; two pieces.
  items[2].Fragments = {{0x9000, 4096}, {0x40000, 4096}, {0x50000, 1000}};
  items[3].Fragments = {{0x12000, 4096}, {0x60000, 4096}};
  items[3].MissingPiece = true;
  items[4].Fragments = {{0x20000, 4096}, {0x70000, 4096}};
  EXPECT_EQ(FoundListRows(items, GetParam().View), GetParam().Rows);
}

TvtFoundListView View(TvtFoundSortKey key, bool descending = false, bool hideBroken = false, bool hideSmall = false) {
  TvtFoundListView v;
  v.Key = key;
  v.Descending = descending;
  v.HideBroken = hideBroken;
  v.HideSmall = hideSmall;
  return v;
}

INSTANTIATE_TEST_SUITE_P(
    Table, FoundList,
    ::testing::Values(
        ListCase{"ByOffset", View(TvtFoundSortKey::Offset), {0, 1, 2, 3, 4, 5}},
        ListCase{"ByOffsetDescending", View(TvtFoundSortKey::Offset, true), {5, 4, 3, 2, 1, 0}},
        // Equal areas: the narrower first (portrait before landscape), then by offset.
        ListCase{"BySize", View(TvtFoundSortKey::PixelSize), {0, 5, 3, 2, 1, 4}},
        ListCase{"BySizeDescending", View(TvtFoundSortKey::PixelSize, true), {1, 4, 2, 3, 5, 0}},
        ListCase{"ByBytes", View(TvtFoundSortKey::Bytes), {0, 3, 5, 1, 2, 4}},
        ListCase{"ByDecodedDescending", View(TvtFoundSortKey::Decoded, true), {0, 2, 3, 4, 1, 5}},
        ListCase{"WithoutBroken", View(TvtFoundSortKey::Offset, false, true), {0, 2, 3, 4}},
        // The most pieces first; of two in two pieces, the one whose third is missing counts more.
        ListCase{"ByPiecesDescending", View(TvtFoundSortKey::Pieces, true), {2, 3, 4, 0, 1, 5}},
        ListCase{"WithoutSmall", View(TvtFoundSortKey::Offset, false, false, true), {1, 2, 3, 4}},
        ListCase{"LargeAndWholeByDecoded", View(TvtFoundSortKey::Decoded, false, true, true), {2, 3, 4}}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace vt
