#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QTemporaryDir>

#include "support/qt_app.h"
#include "shell/filter_array.h"

namespace vt {
namespace {

const std::string kJpeg = "*.jpg;*.jpeg";

struct DescriptionCase {
  std::string Pattern;
  std::string Expected;
};

class FilterDescription : public ::testing::TestWithParam<DescriptionCase> {};

TEST_P(FilterDescription, Derived) {
  EXPECT_EQ(TkelShellFilterArray::DeriveDescription(GetParam().Pattern), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, FilterDescription,
    ::testing::Values(
        DescriptionCase{kJpeg, "JPEG image (*.jpg;*.jpeg)"},
        DescriptionCase{"*.JPG", "JPEG image (*.JPG)"},
        DescriptionCase{"*.bmp", "Windows BMP image (*.bmp)"},
        // no known type: the extension in upper case, taken from the first piece only
        DescriptionCase{"*.vtqzx", "VTQZX File (*.vtqzx)"},
        DescriptionCase{"*.vtqzx;*.jpg", "VTQZX File (*.vtqzx;*.jpg)"},
        DescriptionCase{"pictures.d/*.vtqzx", "VTQZX File (pictures.d/*.vtqzx)"}));

TEST(FilterArray, ListOperations) {
  TkelShellFilterArray filters;
  EXPECT_EQ(filters.FilterText(), "");
  EXPECT_EQ(filters.Add(kJpeg), 0);
  EXPECT_EQ(filters.Add("*.*", "Any file"), 1);
  ASSERT_EQ(filters.Count(), 2);
  EXPECT_EQ(filters.Pattern(0), kJpeg);
  EXPECT_EQ(filters.Description(1), "Any file");
  filters.SetPattern(1, "*.vtqzx");
  EXPECT_EQ(filters.Description(1), "VTQZX File (*.vtqzx)");
  EXPECT_THROW(filters.Pattern(2), std::out_of_range);
  EXPECT_THROW(filters.SetPattern(-1, "*.x"), std::out_of_range);
  EXPECT_EQ(filters.Count(), 2);
}

TEST(FilterArray, ViewerFilterTextHasFourFields) {
  EXPECT_EQ(ViewerFileFilter(kJpeg).FilterText(),
            "JPEG image (*.jpg;*.jpeg)|*.jpg;*.jpeg|Any file|*.*");
  TkelShellFilterArray spaced;
  spaced.Add("*.bmp; *.dib;", "Bitmaps");
  EXPECT_EQ(spaced.QtNameFilters(), QStringList{"Bitmaps (*.bmp *.dib)"});
}

// A real (non-native) dialog: the user sees the descriptions exactly, Qt filters by the
// patterns, and "Any file" also lists names without an extension.
TEST(FilterDialog, ShowsDescriptionsAndFiltersByPatterns) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  for (const char* name : {"a.jpg", "b.jpeg", "c.txt", "noext"}) {
    QFile file(folder.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }
  QFileDialog dialog(nullptr, "Open", folder.path());
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  const TkelShellFilterArray filters = ViewerFileFilter(kJpeg);
  ApplyFileDialogFilters(dialog, filters, kViewerFilterIndex);

  auto* combo = dialog.findChild<QComboBox*>("fileTypeCombo");
  auto* model = dialog.findChild<QFileSystemModel*>();
  ASSERT_TRUE(combo && model);
  ASSERT_EQ(combo->count(), 2);
  EXPECT_EQ(combo->itemText(0), "JPEG image (*.jpg;*.jpeg)");
  EXPECT_EQ(combo->itemText(1), "Any file");
  EXPECT_EQ(combo->currentIndex(), 0);
  EXPECT_EQ(SelectedFilterIndex(dialog, filters), 1);
  const auto listed = [&] { return QDir(folder.path()).entryList(model->nameFilters(), QDir::Files); };
  EXPECT_EQ(listed(), (QStringList{"a.jpg", "b.jpeg"}));

  ApplyFileDialogFilters(dialog, filters, 2);
  EXPECT_EQ(combo->currentIndex(), 1);
  EXPECT_EQ(SelectedFilterIndex(dialog, filters), 2);
  EXPECT_EQ(listed(), (QStringList{"a.jpg", "b.jpeg", "c.txt", "noext"}));

  ApplyFileDialogFilters(dialog, filters, 7);  // out of range: the first entry
  EXPECT_EQ(SelectedFilterIndex(dialog, filters), 1);
}

}  // namespace
}  // namespace vt
