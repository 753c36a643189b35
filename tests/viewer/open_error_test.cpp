// The words of the error box of an open that shows nothing: a headline of its own for a missing
// file, a folder and a file that may not be read; "Invalid image." for everything the viewer
// cannot read as a picture; the file named; the deep scan offered when a JPEG starts further on.
#include <gtest/gtest.h>

#include "viewer/open_error.h"

namespace vt {
namespace {

struct TextCase {
  const char* Name;
  TvtOpenFailure::TKind Kind;
  const char* FileType;
  int64_t JpegOffset;
  const char* Text;  // after the path's line
  bool Offer;
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.Name; }

class OpenErrorTexts : public ::testing::TestWithParam<TextCase> {};

TEST_P(OpenErrorTexts, HeadlineFileAndExplanation) {
  const TextCase& c = GetParam();
  TvtOpenFailure failure;
  failure.Kind = c.Kind;
  failure.FileType = c.FileType;
  failure.JpegOffset = c.JpegOffset;
  failure.Reason = c.Kind == TvtOpenFailure::fkNotJpeg ? "the file does not begin with a JPEG start-of-image marker"
                                                       : "the file is empty";
  const TvtOpenErrorText text = OpenErrorText("/card/DCIM/f1234.jpg", failure);
  EXPECT_EQ(text.Text, c.Text);
  EXPECT_EQ(text.OfferDeepScan, c.Offer);
}

INSTANTIATE_TEST_SUITE_P(
    Table, OpenErrorTexts,
    ::testing::Values(
        TextCase{"Missing", TvtOpenFailure::fkMissing, "", -1,
                 "File not found.\n\n/card/DCIM/f1234.jpg\nThere is no file by this name: it may have been moved, "
                 "renamed or deleted.",
                 false},
        TextCase{"Folder", TvtOpenFailure::fkFolder, "", -1,
                 "This is a folder.\n\n/card/DCIM/f1234.jpg\nOpen one of the photos in it.", false},
        TextCase{"NoPermission", TvtOpenFailure::fkNoPermission, "", -1,
                 "Access denied.\n\n/card/DCIM/f1234.jpg\nYou have no permission to read this file.", false},
        TextCase{"Png", TvtOpenFailure::fkOtherType, "a PNG image", -1,
                 "Invalid image.\n\n/card/DCIM/f1234.jpg\nThe file is a PNG image, not a JPEG.", false},
        TextCase{"JunkBeforeAJpeg", TvtOpenFailure::fkNotJpeg, "", 20,
                 "Invalid image.\n\n/card/DCIM/f1234.jpg\nThe file does not begin with a JPEG start-of-image "
                 "marker.\nA JPEG start of image lies further on, at offset 0x14 (20): Open with deep scan "
                 "searches the whole file and shows the pictures it finds.",
                 true},
        TextCase{"RawWithAPreview", TvtOpenFailure::fkOtherType, "a Canon raw photo (CR2)", 0x2A10,
                 "Invalid image.\n\n/card/DCIM/f1234.jpg\nThe file is a Canon raw photo (CR2), not a JPEG.\nA JPEG "
                 "start of image lies further on, at offset 0x2A10 (10768): Open with deep scan searches the whole "
                 "file and shows the pictures it finds.",
                 true},
        TextCase{"Empty", TvtOpenFailure::fkEmpty, "", -1, "Invalid image.\n\n/card/DCIM/f1234.jpg\nThe file is empty.",
                 false}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace vt
