#include "common/funnel.h"

#include <new>
#include <optional>
#include <string_view>

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

// Blank as the funnel counts it: nothing but spaces.
bool Blank(std::string_view text) { return text.find_first_not_of(' ') == std::string_view::npos; }

// A failure from outside the component (database, host service) must never vanish because its
// text happens to be blank; only the component's own errors choose their description.
std::string NonBlank(std::string text) {
  if (Blank(text)) return std::string(kUnknownFailure);
  return text;
}

// What a failure leaves the funnel with.
struct Kept {
  std::string description;
  std::string key;  // of a component failure; empty for any other
};

// The exception being handled, described; called inside a handler, so that one rethrow tells its
// kind. When memory is too short to copy its texts, the out-of-memory text (held without
// allocating) stands in.
Kept DescribeCurrent() noexcept {
  try {
    try {
      throw;
    } catch (const ComponentError& e) {
      return {e.description(), e.key()};
    } catch (const std::bad_alloc&) {
      return {kOutOfMemory, {}};
    } catch (const std::exception& e) {
      return {NonBlank(e.what()), {}};
    } catch (...) {
      return {std::string(kUnknownFailure), {}};
    }
  } catch (...) {
    return {kOutOfMemory, {}};
  }
}

// Throws the component error for what was kept. The error is built before it is thrown, so
// running out of memory while building it throws the prepared error instead.
[[noreturn]] void Leave(Kept kept, std::string_view blank, std::string_view source) {
  std::optional<ComponentError> error;
  try {
    if (Blank(kept.description)) kept.description = blank;
    error.emplace(std::string(source), std::move(kept.description), std::move(kept.key));
  } catch (...) {
    std::rethrow_exception(OutOfMemoryError());
  }
  throw std::move(*error);
}

}  // namespace

std::string Describe(const std::exception_ptr& failure) {
  if (!failure) return {};
  try {
    std::rethrow_exception(failure);
  } catch (...) {
    return DescribeCurrent().description;
  }
}

void RaiseFailure(const std::exception_ptr& failure, std::string_view blank,
                  std::string_view source) {
  if (!failure) Leave({}, blank, source);
  Kept kept;
  try {
    std::rethrow_exception(failure);
  } catch (...) {
    kept = DescribeCurrent();
  }
  Leave(std::move(kept), blank, source);
}

void Funnel(Callback body, Callback cleanup, bool rethrow_cleanup_failure) {
  Kept kept;
  try {
    body();
    return;
  } catch (...) {
    kept = DescribeCurrent();
  }
  if (cleanup) {
    try {
      cleanup();
    } catch (...) {
      // A blank clean-up text would turn the body's failure into a success.
      if (rethrow_cleanup_failure) {
        Kept failed = DescribeCurrent();
        if (!Blank(failed.description)) kept = std::move(failed);
      }
    }
  }
  // A failure whose description is blank returns normally: the caller keeps what the body reached.
  if (!Blank(kept.description)) Leave(std::move(kept), {}, "Assert");
}

}  // namespace tamsel::detail
