// Next and previous file: which files of a folder are JPEGs, the order they are read in, and
// where browsing stops.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "viewer/folder_browse.h"

namespace vt {
namespace {

namespace fs = std::filesystem;

// A folder as a recovery tool and a camera leave it, with things that are no JPEG among them.
std::string MakeFolder() {
  const std::string dir = test::TempPath("browse");
  fs::create_directories(dir + "/sub.jpg");  // a folder with a JPEG's name
  for (const char* name : {"f10.jpg", "f9.JPG", "f100.jpeg", "IMG_0002.jpe", "img_0010.JFIF", "a.png", "notes.txt",
                           ".hidden.jpg", "f09.jpg", "Z.jpg", "noext"})
    test::WriteBytes(dir + "/" + name, {0xFF, 0xD8, 0xFF});
  return dir;
}

TEST(FolderBrowse, JpegsOnlyInTheOrderPeopleReadNames) {
  const std::string dir = MakeFolder();
  EXPECT_EQ(FolderJpegNames(dir), (std::vector<std::string>{"f09.jpg", "f9.JPG", "f10.jpg", "f100.jpeg", "IMG_0002.jpe",
                                                            "img_0010.JFIF", "Z.jpg"}));
  EXPECT_TRUE(FolderJpegNames(dir + "/missing").empty());
}

struct StepCase {
  const char* current;
  int step;
  const char* expected;  // "" : the end of the folder
};

class FolderSteps : public ::testing::TestWithParam<StepCase> {};

TEST_P(FolderSteps, GoesToTheNeighbourAndStopsAtTheEnds) {
  static const std::string dir = MakeFolder();
  TvtFolderBrowse browse;
  browse.Refresh(dir + "/" + GetParam().current);
  const std::string expected = *GetParam().expected ? dir + "/" + GetParam().expected : "";
  EXPECT_EQ(browse.Neighbour(GetParam().step), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FolderSteps,
    ::testing::Values(StepCase{"f09.jpg", 1, "f9.JPG"}, StepCase{"f9.JPG", 1, "f10.jpg"},
                      StepCase{"f100.jpeg", 1, "IMG_0002.jpe"}, StepCase{"Z.jpg", 1, ""},
                      StepCase{"f09.jpg", -1, ""}, StepCase{"img_0010.JFIF", -1, "IMG_0002.jpe"},
                      // A file that is no JPEG, or one deleted since, still has its place.
                      StepCase{"a.png", 1, "f09.jpg"}, StepCase{"a.png", -1, ""},
                      StepCase{"notes.txt", -1, "img_0010.JFIF"}, StepCase{"gone.jpg", 1, "IMG_0002.jpe"}),
    [](const auto& info) {
      std::string name = std::string(info.param.current) + (info.param.step > 0 ? "_next" : "_previous");
      for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      return name;
    });

TEST(FolderBrowse, NameOrderIsStrictAndTotal) {
  const std::vector<std::string> names = {"a1", "A1", "a01", "a1b", "a2", "a10", "b", "", "1", "01"};
  for (const std::string& a : names) {
    EXPECT_FALSE(NameLess(a, a)) << a;
    for (const std::string& b : names)
      if (a != b) EXPECT_NE(NameLess(a, b), NameLess(b, a)) << a << " / " << b;
  }
  EXPECT_TRUE(NameLess("a2", "a10"));
  EXPECT_TRUE(NameLess("a1", "a1b"));
  EXPECT_TRUE(NameLess("f99999999999999999999", "f100000000000000000000")) << "digit runs beyond 64 bits";
}

TEST(FolderBrowse, TheQuestionNamesTheFile) {
  EXPECT_EQ(UnsavedEditsQuestion("/cards/DCIM/IMG_0042.JPG"),
            "The repairs of IMG_0042.JPG are not saved.\n\nSave a restored copy with them first? (No drops them.)");
}

}  // namespace
}  // namespace vt
