#include <gtest/gtest.h>

#include "shell/shell_texts.h"

namespace vt {
namespace {

class ShellLanguage : public ::testing::TestWithParam<std::pair<QLocale::Language, bool>> {
 protected:
  void TearDown() override { SetShellLanguageForTesting(QLocale::AnyLanguage); }
};

TEST_P(ShellLanguage, RussianForRussianUkrainianBelarusian) {
  const auto [language, russian] = GetParam();
  SetShellLanguageForTesting(language);
  EXPECT_EQ(ShellText(stErrorFormat), russian ? "Ошибка %s: %s" : "Error %s: %s");
  EXPECT_EQ(ShellText(stNoErrorDescription),
            russian ? "Отсутствует описание ошибки" : "No error description available");
  EXPECT_EQ(ShellText(stNewFolder), russian ? "Новая папка" : "New  folder");
  EXPECT_EQ(ShellErrorWord(), russian ? "Ошибка" : "Error");
}

INSTANTIATE_TEST_SUITE_P(Languages, ShellLanguage,
                         ::testing::Values(std::pair{QLocale::Russian, true},
                                           std::pair{QLocale::Ukrainian, true},
                                           std::pair{QLocale::Belarusian, true},
                                           std::pair{QLocale::English, false},
                                           std::pair{QLocale::German, false},
                                           std::pair{QLocale::Kazakh, false},
                                           std::pair{QLocale::Bulgarian, false}),
                         [](const auto& info) {
                           return QLocale::languageToString(info.param.first).toStdString();
                         });

TEST(ShellTexts, KeysOutsideTheTableAreEmpty) {
  SetShellLanguageForTesting(QLocale::English);
  EXPECT_EQ(ShellText(-1), "");
  EXPECT_EQ(ShellText(kShellTextCount), "");
  EXPECT_EQ(ShellText(kShellTextCount - 1), "Operation log:");
  SetShellLanguageForTesting(QLocale::AnyLanguage);
}

}  // namespace
}  // namespace vt
