#pragma once

#include <stdexcept>
#include <string>

namespace orvenda {

// The one error type of the core. The text is what the user sees in the message box; it is
// windows-1250 like every other text of the core.
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace orvenda
