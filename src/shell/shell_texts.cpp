#include "shell/shell_texts.h"

#include <array>
#include <atomic>

namespace vt {
namespace {

const std::array<std::string, kShellTextCount> kEnglish = {
    "Information",
    "Confirmation",
    "Warning",
    "Calculating...",
    "Uploading...",
    "Next volumn is required",
    "You need to have the following volume to continue extraction:",
    "New  folder",
    "Enter new folder name:",
    "Error %s: %s",
    "No error description available",
    "Operation log:",
};

const std::array<std::string, kShellTextCount> kRussian = {
    "Информация",
    "Подтверждение",
    "Предупреждение",
    "Оценка...",
    "Отправка...",
    "Требуется следующий том",
    "Вы должны иметь следующий том для продолжения извлечения:",
    "Новая папка",
    "Введите имя новой папки:",
    "Ошибка %s: %s",
    "Отсутствует описание ошибки",
    "Лог операции:",
};

const std::string kEnglishError = "Error";
const std::string kRussianError = "Ошибка";

// QLocale::AnyLanguage while no override is set.
std::atomic<int> languageOverride{QLocale::AnyLanguage};

bool systemLanguageIsRussian() {
  static const bool russian = ShellLanguageIsRussian(QLocale::system().language());
  return russian;
}

}  // namespace

bool ShellLanguageIsRussian(QLocale::Language language) {
  return language == QLocale::Russian || language == QLocale::Ukrainian ||
         language == QLocale::Belarusian;
}

bool ShellTextsAreRussian() {
  const int forced = languageOverride.load(std::memory_order_relaxed);
  if (forced != QLocale::AnyLanguage)
    return ShellLanguageIsRussian(static_cast<QLocale::Language>(forced));
  return systemLanguageIsRussian();
}

void SetShellLanguageForTesting(QLocale::Language language) {
  languageOverride.store(language, std::memory_order_relaxed);
}

const std::string& ShellText(int key) {
  static const std::string empty;
  if (key < 0 || key >= kShellTextCount) return empty;
  return ShellTextsAreRussian() ? kRussian[key] : kEnglish[key];
}

const std::string& ShellErrorWord() {
  return ShellTextsAreRussian() ? kRussianError : kEnglishError;
}

}  // namespace vt
