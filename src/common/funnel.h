#pragma once

// The error funnel of the manager's operations: run the body, keep the first failure's
// description, clean up, and leave through Assert, so that every failure reaches the caller as
// ComponentError with source "Assert".

#include <exception>
#include <functional>
#include <string>

#include "common/internal_api.h"

namespace tamsel::detail {

// The description of any exception: ComponentError::description(), what() of a standard
// exception, or a fixed text for anything else.
TAMSEL_INTERNAL std::string Describe(const std::exception_ptr& failure);

// Runs body. On a failure keeps its description, runs cleanup (whose own failures are
// ignored, unless rethrow_cleanup_failure: then the clean-up's description replaces the kept
// one), then calls Assert(trimmed description is empty, description). A failure whose
// description is blank therefore returns normally; the caller's result keeps what the body had
// reached.
TAMSEL_INTERNAL void Funnel(const std::function<void()>& body,
                            const std::function<void()>& cleanup = nullptr,
                            bool rethrow_cleanup_failure = false);

}  // namespace tamsel::detail
