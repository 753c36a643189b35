// The framework's built-in texts, in English and Russian. The Russian set is used when the
// user-interface language is Russian, Ukrainian or Belarusian, the English one otherwise.
#pragma once

#include <QLocale>
#include <string>

namespace vt {

// Keys of the built-in texts.
enum TkelShellTextKey : int {
  stInformation = 0,
  stConfirmation = 1,
  stWarning = 2,
  stCalculating = 3,
  stUploading = 4,
  stNextVolumeRequired = 5,
  stNeedNextVolume = 6,
  stNewFolder = 7,
  stEnterFolderName = 8,
  stErrorFormat = 9,        // "Error %s: %s": the code, then the description
  stNoErrorDescription = 10,
  stOperationLog = 11,
};
constexpr int kShellTextCount = 12;

// The text for a key in the chosen language (UTF-8); an unknown key gives an empty text.
const std::string& ShellText(int key);

// The word shown as the caption of an error box: "Error" or "Ошибка".
const std::string& ShellErrorWord();

// Whether a user-interface language gets the Russian texts.
bool ShellLanguageIsRussian(QLocale::Language language);

// Whether the texts are Russian now: the testing override when set, else the system's
// user-interface language (QLocale::system().language(), read once).
bool ShellTextsAreRussian();

// Replaces the system's language for the texts; QLocale::AnyLanguage restores the system's.
void SetShellLanguageForTesting(QLocale::Language language);

}  // namespace vt
