#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "base/result_codes.h"
#include "shell/error_text.h"
#include "shell/shell_texts.h"
#include "shell/warning.h"

namespace vt {
namespace {

using Raise = std::function<void()>;

std::exception_ptr caught(const Raise& raise) {
  try {
    raise();
  } catch (...) {
    return std::current_exception();
  }
  return nullptr;
}

HRESULT hr(uint32_t code) { return static_cast<HRESULT>(code); }

struct TextCase {
  const char* Name;
  Raise RaiseIt;
  std::string Expected;
};

class ErrorText : public ::testing::TestWithParam<TextCase> {
 protected:
  void SetUp() override { SetShellLanguageForTesting(QLocale::English); }
};

TEST_P(ErrorText, Wording) {
  EXPECT_EQ(ErrorMessageText(caught(GetParam().RaiseIt)), GetParam().Expected);
}

const std::string kNone = "No error description available";

INSTANTIATE_TEST_SUITE_P(
    Rules, ErrorText,
    ::testing::Values(
        TextCase{"OsTextIsSystemDescription", [] { RaiseOSError(5); },
                 "Error 0x00000005: " + std::string(std::strerror(5))},
        TextCase{"OsTextOfItsOwn", [] { throw EOSError(5, "Could not open a.jpg"); },
                 "Error 0x00000005: Could not open a.jpg"},
        TextCase{"OsUnknownCode", [] { RaiseOSError(99999); }, "Error 0x0001869F: " + kNone},
        TextCase{"ComFacility7Reduced", [] { RaiseOleError(hr(0x80070005)); },
                 "Error 0x00000005: " + std::string(std::strerror(5))},
        TextCase{"ComFacility7WithoutSeverity", [] { throw EOleSysError("", hr(0x00070002), 0); },
                 "Error 0x00000002: " + std::string(std::strerror(2))},
        TextCase{"ComNamedWin32Code", [] { RaiseOleError(E_INVALIDARG); },
                 "Error 0x00000057: The parameter is incorrect"},
        TextCase{"ComTextOfItsOwn", [] { throw EOleSysError("Disk left", hr(0x80070005), 0); },
                 "Error 0x00000005: Disk left"},
        TextCase{"ComOtherFacilityKept", [] { RaiseOleError(E_FAIL); },
                 "Error 0x80004005: Unspecified error"},
        TextCase{"ComUnknownCode", [] { RaiseOleError(hr(0x80041234)); },
                 "Error 0x80041234: " + kNone},
        TextCase{"StrictCheckFalse", [] { OleCheckStrict(S_FALSE); }, "Error 0x00000001: S_FALSE"},
        TextCase{"PercentInTextNotExpanded", [] { throw EOSError(5, "50%s of %d"); },
                 "Error 0x00000005: 50%s of %d"},
        TextCase{"PlainMessage", [] { throw std::runtime_error("Invalid image."); }, "Invalid image."},
        TextCase{"EmptyMessage", [] { throw std::runtime_error(""); }, kNone},
        TextCase{"NotAStandardException", [] { throw 42; }, kNone}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(ErrorTextRussian, BuiltInTextsFollowTheLanguage) {
  SetShellLanguageForTesting(QLocale::Belarusian);
  EXPECT_EQ(ErrorMessageText(caught([] { throw EOSError(5, "x"); })), "Ошибка 0x00000005: x");
  EXPECT_EQ(ErrorMessageText(caught([] { throw std::runtime_error(""); })),
            "Отсутствует описание ошибки");
  EXPECT_EQ(ErrorBoxCaption(""), "Ошибка");
  SetShellLanguageForTesting(QLocale::English);
  EXPECT_EQ(ErrorBoxCaption(""), "Error");
  EXPECT_EQ(ErrorBoxCaption("Save"), "Save");
}

struct SilentCase {
  const char* Name;
  Raise RaiseIt;
  bool Silent;
};

class SilentError : public ::testing::TestWithParam<SilentCase> {};

TEST_P(SilentError, Classified) { EXPECT_EQ(IsSilentError(caught(GetParam().RaiseIt)), GetParam().Silent); }

INSTANTIATE_TEST_SUITE_P(
    Cases, SilentError,
    ::testing::Values(
        SilentCase{"Abort", [] { throw EAbort(); }, true},
        SilentCase{"ComCancelled", [] { RaiseOleError(hr(0x800704C7)); }, true},
        SilentCase{"ComRequestAborted", [] { RaiseOleError(hr(0x800704D3)); }, true},
        SilentCase{"ComAbort", [] { RaiseOleError(hr(0x80004004)); }, true},
        SilentCase{"ComPosixCancelled", [] { RaiseOleError(HResultFromOsError(ECANCELED)); }, true},
        SilentCase{"OsCancelled1223", [] { RaiseOSError(1223); }, true},
        SilentCase{"OsPosixCancelled", [] { RaiseOSError(ECANCELED); }, true},
        SilentCase{"OsAccessDenied", [] { RaiseOSError(EACCES); }, false},
        SilentCase{"ComAccessDenied", [] { RaiseOleError(hr(0x80070005)); }, false},
        SilentCase{"Warning", [] { throw EWarning("w"); }, false}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace vt
