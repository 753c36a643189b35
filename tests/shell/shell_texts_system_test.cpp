// The system's language is read once per process, so this file runs alone in its own program
// with the language set before anything asks for it.
#include <gtest/gtest.h>

#include <cstdlib>

#include "shell/shell_texts.h"

namespace vt {
namespace {

const bool kUkrainianSystem = [] {
  setenv("LC_ALL", "uk_UA.UTF-8", 1);
  setenv("LANG", "uk_UA.UTF-8", 1);
  return true;
}();

TEST(ShellTextsSystem, UkrainianSystemGetsRussianUntilOverridden) {
  ASSERT_TRUE(kUkrainianSystem);
  EXPECT_EQ(ShellText(stErrorFormat), "Ошибка %s: %s");
  SetShellLanguageForTesting(QLocale::English);
  EXPECT_EQ(ShellText(stErrorFormat), "Error %s: %s");
  SetShellLanguageForTesting(QLocale::AnyLanguage);
  EXPECT_EQ(ShellText(stErrorFormat), "Ошибка %s: %s");
}

}  // namespace
}  // namespace vt
