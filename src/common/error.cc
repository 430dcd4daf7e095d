#include "tamsel/error.h"

#include <utility>

namespace tamsel {

ComponentError::ComponentError(std::string source, std::string description, std::string key)
    : std::runtime_error(description),
      source_(std::move(source)),
      description_(std::move(description)),
      key_(std::move(key)) {}

void Assert(bool condition, const std::string& message) {
  if (!condition) throw ComponentError("Assert", message);
}

void RaiseError(const std::string& message) { throw ComponentError("Error", message); }

}  // namespace tamsel
