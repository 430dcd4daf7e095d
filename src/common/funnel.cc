#include "common/funnel.h"

#include <new>
#include <string_view>

#include "common/text.h"
#include "tamsel/error.h"

namespace tamsel::detail {

namespace {

// Short enough to be held without allocating.
constexpr const char* kOutOfMemory = "Out of memory.";

// Built while memory is plentiful: under memory exhaustion no new error object with a
// description can be made, while rethrowing this one needs none.
const std::exception_ptr& OutOfMemoryError() {
  static const std::exception_ptr error =
      std::make_exception_ptr(ComponentError("Assert", kOutOfMemory));
  return error;
}
[[maybe_unused]] const bool kOutOfMemoryReady = static_cast<bool>(OutOfMemoryError());

// A failure from outside the component (database, host service) must never vanish because its
// text happens to be blank; only the component's own errors choose their description.
std::string NonBlank(std::string text) {
  if (Trim(text).empty()) return std::string(kUnknownFailure);
  return text;
}

std::string DescribeOrThrow(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const ComponentError& e) {
    return e.description();
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
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

// Counts a failure as described when memory is too short to tell.
bool IsBlank(const std::exception_ptr& failure) noexcept {
  try {
    return Trim(Describe(failure)).empty();
  } catch (...) {
    return false;
  }
}

}  // namespace

std::string Describe(const std::exception_ptr& failure) {
  if (!failure) return {};
  try {
    return DescribeOrThrow(failure);
  } catch (...) {
    return kOutOfMemory;
  }
}

void RaiseFailure(const std::exception_ptr& failure, std::string_view blank,
                  std::string_view source) {
  try {
    std::string description = Describe(failure);
    if (Trim(description).empty()) description = blank;
    throw ComponentError(std::string(source), std::move(description), KeyOf(failure));
  } catch (const ComponentError&) {
    throw;
  } catch (...) {
    std::rethrow_exception(OutOfMemoryError());
  }
}

void Funnel(Callback body, Callback cleanup, bool rethrow_cleanup_failure) {
  std::exception_ptr kept;
  try {
    body();
  } catch (...) {
    kept = std::current_exception();
  }
  if (!kept) return;
  if (cleanup) {
    try {
      cleanup();
    } catch (...) {
      // A blank clean-up text would turn the body's failure into a success.
      if (rethrow_cleanup_failure && !IsBlank(std::current_exception())) {
        kept = std::current_exception();
      }
    }
  }
  if (!IsBlank(kept)) RaiseFailure(kept, {});
}

}  // namespace tamsel::detail
