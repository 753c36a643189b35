// The wording of an error box, apart from any widget: which exceptions are shown as nothing, the
// message for an exception and its error code, and the caption.
#pragma once

#include <exception>
#include <string>

namespace vt {

// Whether the exception is one of those that are shown as nothing: the abort exception, a COM
// error for a cancelled or aborted operation, an operating-system error for a cancellation.
bool IsSilentError(std::exception_ptr error);

// The message for an exception, without the surrounding texts: its text, with the error code
// in the built-in "Error %s: %s" form when it carries one.
std::string ErrorMessageText(std::exception_ptr error);

// The caption of the box: the given one, else the word for "Error", else the file name of the
// running program.
std::string ErrorBoxCaption(const std::string& caption);

}  // namespace vt
