// 32-bit result codes of the COM-style stream interfaces (0 success, 1 "false", negative
// failure), the exceptions they turn into, and the two checks that turn them.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vt {

using HRESULT = int32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT STG_E_REVERTED = static_cast<HRESULT>(0x80030102u);

// An operating-system error code (errno here) as a result code: the low 16 bits combined with
// 0x80070000; 0 gives success.
HRESULT HResultFromOsError(int code);

// The system's description of a result code.
std::string ResultCodeMessage(HRESULT code);

// An operating-system error raised by the run-time layer: errno and its description.
class EOSError : public std::runtime_error {
 public:
  EOSError(int code, const std::string& message) : std::runtime_error(message), ErrorCode(code) {}
  int ErrorCode;
};

// A failing result code raised as an error.
class EOleSysError : public std::runtime_error {
 public:
  EOleSysError(const std::string& message, HRESULT code, int helpContext)
      : std::runtime_error(message), ErrorCode(code), HelpContext(helpContext) {}
  HRESULT ErrorCode;
  int HelpContext;
};

// Raised by the strict check for S_FALSE.
class EFalseError : public EOleSysError {
 public:
  EFalseError() : EOleSysError("S_FALSE", S_FALSE, 0) {}
};

// Raises errno (or the given code) as an EOSError with the system's message.
[[noreturn]] void RaiseOSError(int code);
[[noreturn]] void RaiseOleError(HRESULT code);

// Strict check: 0 passes, 1 raises EFalseError, anything else raises the result code.
void OleCheckStrict(HRESULT code);
// Ordinary check: only negative codes raise.
HRESULT OleCheck(HRESULT code);

}  // namespace vt
