#include "shell/error_text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

#include "base/result_codes.h"
#include "shell/shell_texts.h"
#include "shell/warning.h"

namespace vt {
namespace {

// Result codes of a cancelled or aborted operation.
constexpr uint32_t kCancelledCode = 0x800704C7u;  // the Win32 "operation cancelled by the user"
constexpr uint32_t kAbortedCode = 0x800704D3u;    // "the request was aborted"
constexpr uint32_t kAbortCode = 0x80004004u;      // E_ABORT
constexpr int kCancelledOsCode = 1223;            // the Win32 "operation cancelled by the user"

std::string trimmed(const std::string& text) {
  const char* space = " \t\r\n\v\f";
  const size_t first = text.find_first_not_of(space);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(space) - first + 1);
}

// Whether the C library knows an error number (strerror words unknown ones as a
// description too, "Unknown error N", which is none).
bool knownOsError(int code) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 32))
  return strerrordesc_np(code) != nullptr;
#else
  (void)code;
  return true;
#endif
}

// The system's description of an operating-system error, empty when it has none.
std::string osDescription(int code) {
  if (!knownOsError(code)) return {};
  return trimmed(std::strerror(code));
}

// The system's description of a result code, empty when it has none.
std::string resultDescription(HRESULT code) {
  const uint32_t u = static_cast<uint32_t>(code);
  const std::string text = ResultCodeMessage(code);
  char unknown[48];
  std::snprintf(unknown, sizeof unknown, "Unknown error 0x%08X", u);
  if (text == unknown) return {};
  if ((u & 0xFFFF0000u) == 0x80070000u) {
    const int os = static_cast<int>(u & 0xFFFFu);
    if (!knownOsError(os) && text == std::strerror(os)) return {};
  }
  return trimmed(text);
}

bool isWin32Facility(uint32_t code) { return ((code >> 16) & 0x1FFFu) == 7; }

// Replaces each "%s" of a format, in order, by the next argument.
std::string formatText(const std::string& format, const std::string& first,
                       const std::string& second) {
  std::string out;
  const std::string* arguments[] = {&first, &second};
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's' && next < 2) {
      out += *arguments[next++];
      ++i;
    } else {
      out += format[i];
    }
  }
  return out;
}

struct ErrorFacts {
  std::string Text;
  std::optional<uint32_t> Code;  // the code to show, when the exception carries one
  std::string Description;       // the system's description of that code
};

ErrorFacts factsOf(std::exception_ptr error) {
  ErrorFacts facts;
  if (!error) return facts;
  try {
    std::rethrow_exception(error);
  } catch (const EOleSysError& e) {
    const uint32_t code = static_cast<uint32_t>(e.ErrorCode);
    facts.Text = e.what();
    if (facts.Text == ResultCodeMessage(e.ErrorCode)) facts.Text.clear();
    if (isWin32Facility(code)) {
      facts.Code = code & 0xFFFFu;
      facts.Description = resultDescription(HResultFromOsError(static_cast<int>(*facts.Code)));
    } else {
      facts.Code = code;
      facts.Description = resultDescription(e.ErrorCode);
    }
  } catch (const EOSError& e) {
    facts.Text = e.what();
    if (facts.Text == std::strerror(e.ErrorCode)) facts.Text.clear();
    facts.Code = static_cast<uint32_t>(e.ErrorCode);
    facts.Description = osDescription(e.ErrorCode);
  } catch (const std::exception& e) {
    facts.Text = e.what();
  } catch (...) {
  }
  return facts;
}

}  // namespace

bool IsSilentError(std::exception_ptr error) {
  if (!error) return false;
  try {
    std::rethrow_exception(error);
  } catch (const EAbort&) {
    return true;
  } catch (const EOleSysError& e) {
    const uint32_t code = static_cast<uint32_t>(e.ErrorCode);
    return code == kCancelledCode || code == kAbortedCode || code == kAbortCode ||
           code == static_cast<uint32_t>(HResultFromOsError(ECANCELED));
  } catch (const EOSError& e) {
    return e.ErrorCode == kCancelledOsCode || e.ErrorCode == ECANCELED;
  } catch (...) {
  }
  return false;
}

std::string ErrorMessageText(std::exception_ptr error) {
  ErrorFacts facts = factsOf(error);
  if (facts.Text.empty() && facts.Code) facts.Text = facts.Description;
  if (facts.Text.empty()) facts.Text = ShellText(stNoErrorDescription);
  if (!facts.Code) return facts.Text;
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", *facts.Code);
  return formatText(ShellText(stErrorFormat), code, facts.Text);
}

std::string ErrorBoxCaption(const std::string& caption) {
  if (!caption.empty()) return caption;
  if (!ShellErrorWord().empty()) return ShellErrorWord();
  std::error_code failure;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", failure);
  return failure ? std::string() : program.filename().string();
}

}  // namespace vt
