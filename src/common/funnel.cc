#include "common/funnel.h"

#include <string_view>

#include "common/text.h"
#include "tamsel/error.h"

namespace tamsel::detail {

namespace {

constexpr std::string_view kUnknownFailure = "An unexpected failure occurred.";

// A failure from outside the component (database, host service) must never vanish because its
// text happens to be blank; only the component's own errors choose their description.
std::string NonBlank(std::string text) {
  if (Trim(text).empty()) return std::string(kUnknownFailure);
  return text;
}

}  // namespace

std::string Describe(const std::exception_ptr& failure) {
  if (!failure) return {};
  try {
    std::rethrow_exception(failure);
  } catch (const ComponentError& e) {
    return e.description();
  } catch (const std::exception& e) {
    return NonBlank(e.what());
  } catch (...) {
    return std::string(kUnknownFailure);
  }
}

// The message key of a component failure, empty for any other.
std::string KeyOf(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const ComponentError& e) {
    return e.key();
  } catch (...) {
    return {};
  }
}

void Funnel(const std::function<void()>& body, const std::function<void()>& cleanup,
            bool rethrow_cleanup_failure) {
  std::string kept, key;
  bool failed = false;
  try {
    body();
  } catch (...) {
    failed = true;
    kept = Describe(std::current_exception());
    key = KeyOf(std::current_exception());
  }
  if (failed && cleanup) {
    try {
      cleanup();
    } catch (...) {
      if (rethrow_cleanup_failure) {
        std::string cleanup_text = Describe(std::current_exception());
        // A blank clean-up text would turn the body's failure into a success.
        if (!Trim(cleanup_text).empty()) {
          kept = std::move(cleanup_text);
          key = KeyOf(std::current_exception());
        }
      }
    }
  }
  if (!Trim(kept).empty()) throw ComponentError("Assert", kept, key);
}

}  // namespace tamsel::detail
