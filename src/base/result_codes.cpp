#include "base/result_codes.h"

#include <cstdio>
#include <cstring>

namespace vt {

HRESULT HResultFromOsError(int code) {
  if (code == 0) return S_OK;
  return static_cast<HRESULT>((static_cast<uint32_t>(code) & 0xFFFFu) | 0x80070000u);
}

std::string ResultCodeMessage(HRESULT code) {
  switch (code) {
    case S_OK: return "The operation completed successfully";
    case S_FALSE: return "S_FALSE";
    case E_NOTIMPL: return "Not implemented";
    case E_NOINTERFACE: return "No such interface supported";
    case E_FAIL: return "Unspecified error";
    case E_INVALIDARG: return "The parameter is incorrect";
    case STG_E_REVERTED: return "The object has been invalidated by a revert operation";
    default: break;
  }
  const uint32_t u = static_cast<uint32_t>(code);
  if ((u & 0xFFFF0000u) == 0x80070000u) return std::strerror(static_cast<int>(u & 0xFFFFu));
  char text[48];
  std::snprintf(text, sizeof text, "Unknown error 0x%08X", u);
  return text;
}

void RaiseOSError(int code) { throw EOSError(code, std::strerror(code)); }

void RaiseOleError(HRESULT code) { throw EOleSysError(ResultCodeMessage(code), code, 0); }

void OleCheckStrict(HRESULT code) {
  if (code == S_OK) return;
  if (code == S_FALSE) throw EFalseError();
  RaiseOleError(code);
}

HRESULT OleCheck(HRESULT code) {
  if (code < 0) RaiseOleError(code);
  return code;
}

}  // namespace vt
