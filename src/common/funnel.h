#pragma once

// The error funnel of the manager's operations: run the body, keep the first failure's
// description, clean up, and leave through Assert, so that every failure reaches the caller as
// ComponentError with source "Assert".

#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "common/internal_api.h"
#include "tamsel/error.h"

namespace tamsel::detail {

// A callable borrowed for the length of one call. Unlike std::function it never allocates, so
// handing a body to the funnel cannot itself fail before the funnel traps failures.
class Callback {
 public:
  Callback() = default;
  Callback(std::nullptr_t) {}  // NOLINT: as std::function, "no clean-up"
  template <typename F, typename = std::enable_if_t<!std::is_same_v<std::decay_t<F>, Callback>>>
  Callback(F&& f)  // NOLINT: lambdas convert implicitly, as they did to std::function
      : target_(const_cast<void*>(static_cast<const void*>(std::addressof(f)))),
        call_([](void* target) { (*static_cast<std::remove_reference_t<F>*>(target))(); }) {}
  explicit operator bool() const { return call_ != nullptr; }
  void operator()() const { call_(target_); }

 private:
  void* target_ = nullptr;
  void (*call_)(void*) = nullptr;
};

// The description of any exception: ComponentError::description(), what() of a standard
// exception, or a fixed text for anything else. Never throws: when memory is short, a text that
// needs none.
TAMSEL_INTERNAL std::string Describe(const std::exception_ptr& failure);

// What a failure says when it says nothing itself.
inline constexpr std::string_view kUnknownFailure = "An unexpected failure occurred.";

// Throws the component error (source "Assert" unless given) for a failure: its description and
// message key, or `blank` when its description is blank. When memory is too short to build that
// error, a prepared out-of-memory error is thrown instead, so nothing else ever leaves.
[[noreturn]] TAMSEL_INTERNAL void RaiseFailure(const std::exception_ptr& failure,
                                               std::string_view blank,
                                               std::string_view source = "Assert");

// Runs body. On a failure keeps its description, runs cleanup (whose own failures are
// ignored, unless rethrow_cleanup_failure: then the clean-up's description replaces the kept
// one), then calls Assert(trimmed description is empty, description). A failure whose
// description is blank therefore returns normally; the caller's result keeps what the body had
// reached.
TAMSEL_INTERNAL void Funnel(Callback body, Callback cleanup = nullptr,
                            bool rethrow_cleanup_failure = false);

// Runs f and lets only ComponentError out: for work that precedes or surrounds a funnel.
template <typename F>
decltype(auto) OnlyComponentErrors(F&& f) {
  try {
    return std::forward<F>(f)();
  } catch (const ComponentError&) {
    throw;
  } catch (...) {
    RaiseFailure(std::current_exception(), kUnknownFailure);
  }
}

}  // namespace tamsel::detail
