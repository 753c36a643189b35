// The framework's own exception classes.
#pragma once

#include <stdexcept>
#include <string>

namespace vt {

// A condition that is shown to the user as a warning rather than an error.
class EWarning : public std::runtime_error {
 public:
  explicit EWarning(const std::string& message) : std::runtime_error(message) {}
};

// The silent abort: a command raises it to stop without any message being shown.
class EAbort : public std::runtime_error {
 public:
  EAbort() : std::runtime_error("Operation aborted") {}
  explicit EAbort(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace vt
