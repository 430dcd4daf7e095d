#pragma once

// The one way the manager writes: a transaction around a funnelled body.

#include <functional>

#include "tamsel/services.h"

namespace tamsel::detail {

// Begins a transaction (its failure reaches the caller unchanged), runs body under the error
// funnel and commits. A failure rolls back, and a failed rollback replaces the description.
// Throws ComponentError (source "Assert") whenever nothing was committed.
void RunWriteTransaction(Connection& conn, const std::function<void()>& body);

}  // namespace tamsel::detail
