#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "source/folders.h"

namespace vt {
namespace {

// Makes an item; the caller's count is released when the test has filed it.
TvtItem* item(int32_t w, int32_t h, const std::string& camera = "", double date = 0, int64_t offset = 0) {
  auto* i = new TvtItem;
  i->Width = w;
  i->Height = h;
  i->Camera = camera;
  i->Date = date;
  i->SortOffset = offset;
  return i;
}

std::vector<std::string> names(const TvtFolder* f) {
  std::vector<std::string> r;
  for (const TvtFolder* s : f->SubFolders()) r.push_back(s->Name);
  return r;
}

// Where the root filed an item: the paths of every folder that lists it.
void collect(const TvtFolder* f, const TvtItem* it, std::vector<std::string>& out) {
  for (const TvtItem* i : f->Items()) {
    if (i == it) out.push_back(f->Path());
  }
  for (const TvtFolder* s : f->SubFolders()) collect(s, it, out);
}

std::vector<std::string> placed(const TvtRootFolder& root, const TvtItem* it) {
  std::vector<std::string> out;
  collect(&root, it, out);
  return out;
}

TEST(RootFolder, BuildsTheNineFixedFoldersInOrder) {
  TvtRootFolder root;
  root.Build();
  EXPECT_EQ(names(&root), (std::vector<std::string>{"All", "Size", "Camera", "Date", "Broken", "SOS marker"}));
  EXPECT_EQ(names(root.Size), (std::vector<std::string>{"Large", "Middle", "Small"}));
  EXPECT_EQ(root.Large->Parent, root.Size);
  EXPECT_EQ(root.SOSMarker->Name, "SOS marker");
}

struct SizeCase {
  int32_t w, h;
  const char* folder;
};
class SizeClass : public ::testing::TestWithParam<SizeCase> {};

TEST_P(SizeClass, ByPixelCount) {
  const SizeCase c = GetParam();
  TvtRootFolder root;
  root.Build();
  TvtItem* it = item(c.w, c.h);
  root.AddItem(it);
  const auto where = placed(root, it);
  ASSERT_EQ(where.size(), 4u);
  EXPECT_EQ(where[1], std::string("Size/") + c.folder);
  it->Release();
}

INSTANTIATE_TEST_SUITE_P(Boundaries, SizeClass,
                         ::testing::Values(SizeCase{1024, 768, "Large"}, SizeCase{1023, 768, "Middle"},
                                           SizeCase{320, 240, "Middle"}, SizeCase{319, 240, "Small"},
                                           SizeCase{0, 0, "Small"}, SizeCase{65535, 65535, "Large"},
                                           SizeCase{50000, 50000, "Large"}));

TEST(RootFolder, FilesAnItemUnderAllSizeCameraAndYear) {
  TvtRootFolder root;
  root.Build();
  // 2019-07-04 12:00 as days since 1899-12-30.
  TvtItem* it = item(4000, 3000, "Canon - Canon EOS 80D", 43650.5);
  root.AddItem(it);
  EXPECT_EQ(placed(root, it), (std::vector<std::string>{"All", "Size/Large", "Camera/Canon - Canon EOS 80D", "Date/2019"}));
  EXPECT_EQ(it->RefCount, 5);
  TvtItem* bare = item(10, 10);
  root.AddItem(bare);
  EXPECT_EQ(placed(root, bare), (std::vector<std::string>{"All", "Size/Small", "Camera/Undefined", "Date/Undefined"}));
  it->Release();
  bare->Release();
}

TEST(SortedFolder, CameraNamesCaseInsensitiveWithUndefinedAlwaysLast) {
  TvtRootFolder root;
  root.Build();
  std::vector<TvtItem*> made;
  for (const char* cam : {"", "alpha", "Beta", "ALPHA", "zeta", "Gamma"}) {
    made.push_back(item(10, 10, cam));
    root.AddItem(made.back());
  }
  EXPECT_EQ(names(root.Camera), (std::vector<std::string>{"alpha", "Beta", "Gamma", "zeta", "Undefined"}));
  EXPECT_EQ(root.Camera->GetSubFolder(0)->ItemCount(), 2);  // ALPHA went into alpha
  EXPECT_EQ(root.Camera->GetSubFolderByName("BETA"), root.Camera->GetSubFolder(1));
  for (auto* i : made) i->Release();
}

TEST(SortedFolder, YearsInOrderItemsByDateAndDuplicateNamesRefused) {
  TvtRootFolder root;
  root.Build();
  // Days since 1899-12-30: 2021-03-01, 2019-05-01, 2019-01-02, none, 2020-06-15, 2019-05-01.
  std::vector<TvtItem*> made;
  for (double d : {44256.0, 43586.0, 43467.0, 0.0, 44000.0, 43586.0}) {
    made.push_back(item(10, 10, "", d));
    root.AddItem(made.back());
  }
  EXPECT_EQ(names(root.Date), (std::vector<std::string>{"2019", "2020", "2021", "Undefined"}));
  const TvtFolder* y2019 = root.Date->GetSubFolder(0);
  ASSERT_EQ(y2019->ItemCount(), 3);
  EXPECT_EQ(y2019->GetItem(0), made[2]);
  EXPECT_EQ(y2019->GetItem(1), made[5]) << "an equal date goes before the equal one";
  EXPECT_EQ(y2019->GetItem(2), made[1]);
  // Undefined stays last when a later year arrives.
  TvtItem* late = item(10, 10, "", 47000.0);  // 2028
  root.AddItem(late);
  EXPECT_EQ(names(root.Date).back(), "Undefined");
  EXPECT_EQ(names(root.Date)[3], "2028");

  try {
    TvtFolder::Create<TvtYearFolder>(root.Date, 2020);
    FAIL();
  } catch (const EFolderError& e) {
    EXPECT_STREQ(e.what(), "Folder 2020 already exist");
  }
  TvtFolder::Create<TvtFolder>(root.Camera, "x");
  EXPECT_THROW(TvtFolder::Create<TvtFolder>(root.Camera, "X"), EFolderError);
  EXPECT_EQ(root.Date->SubFolderCount(), 5);
  for (auto* i : made) i->Release();
  late->Release();
}

TEST(Folder, ItemsOrderedByOffsetEqualKeysBeforeAndSosFolderAppends) {
  TvtFolder f(nullptr, "f");
  std::vector<TvtItem*> made;
  for (int64_t off : {50, 10, 30, 30, 70}) {
    made.push_back(item(1, 1, "", 0, off));
    f.AddItem(made.back());
  }
  std::vector<TvtItem*> order(f.Items().begin(), f.Items().end());
  EXPECT_EQ(order, (std::vector<TvtItem*>{made[1], made[3], made[2], made[0], made[4]}));
  TvtSOSFolder sos(nullptr, "0x10");
  for (auto* i : made) sos.AddItem(i);
  EXPECT_EQ(sos.Items(), made);
  for (auto* i : made) {
    EXPECT_EQ(i->RefCount, 3);
    i->Release();
  }
}

TEST(RootFolder, PackRemovesEmptyFoldersAndClearsTheirReferences) {
  TvtRootFolder root;
  root.Build();
  root.Pack();
  EXPECT_EQ(root.SubFolderCount(), 0);
  for (TvtFolder* ref : {root.All, root.Size, root.Large, root.Middle, root.Small, root.Broken, root.SOSMarker}) {
    EXPECT_EQ(ref, nullptr);
  }
  EXPECT_EQ(root.Camera, nullptr);
  EXPECT_EQ(root.Date, nullptr);

  root.Build();
  TvtItem* it = item(400, 300, "cam");
  root.AddItem(it);
  it->Release();
  root.Pack();
  EXPECT_EQ(names(&root), (std::vector<std::string>{"All", "Size", "Camera", "Date"}));
  EXPECT_EQ(names(root.Size), (std::vector<std::string>{"Middle"}));
  EXPECT_EQ(root.Large, nullptr);
  EXPECT_NE(root.Middle, nullptr);
  EXPECT_EQ(root.Camera->UndefinedFolder, nullptr);
  EXPECT_NE(root.Date->UndefinedFolder, nullptr);
  EXPECT_EQ(it->RefCount, 4);  // All, Middle, cam, Undefined; the creator's count is gone
  root.Clear();
  EXPECT_EQ(root.All, nullptr);
  EXPECT_EQ(root.SubFolderCount(), 0);
}

TEST(Folder, ClearReleasesItemsSoTheyAreFreed) {
  struct Watch : TvtItem {
    explicit Watch(bool* flag) : flag_(flag) {}
    ~Watch() override { *flag_ = true; }
    bool* flag_;
  };
  bool freed = false;
  auto* w = new Watch(&freed);
  {
    TvtRootFolder root;
    root.Build();
    root.AddItem(w);
    root.Broken->AddItem(w);
    w->Release();
    EXPECT_FALSE(freed);
  }
  EXPECT_TRUE(freed);
}

TEST(CameraNames, CompareIgnoresCaseAndIsATotalOrder) {
  EXPECT_EQ(CompareCameraNames("NIKON", "nikon"), 0);
  EXPECT_LT(CompareCameraNames("alpha", "Beta"), 0);
  EXPECT_GT(CompareCameraNames("Beta", "alpha"), 0);
  EXPECT_NE(CompareCameraNames("abc", "abd"), 0);
  EXPECT_EQ(CompareCameraNames("abc\xff", "ABC\xff"), 0);  // bytes that are not UTF-8 still compare
  EXPECT_NE(CompareCameraNames("abc\xff", "abc\xfe"), 0);
}

TEST(Dates, YearOfADate) {
  EXPECT_EQ(YearOfDate(1.0), 1899);
  EXPECT_EQ(YearOfDate(2.0), 1900);
  EXPECT_EQ(YearOfDate(43465.99), 2018);  // 2018-12-31
  EXPECT_EQ(YearOfDate(43466.0), 2019);   // 2019-01-01
  EXPECT_EQ(YearOfDate(25569.0), 1970);
}

}  // namespace
}  // namespace vt
