#pragma once

// The one way the manager writes: a transaction around a funnelled body.

#include <functional>
#include <memory>

#include "tamsel/manager.h"

namespace tamsel::detail {

// Reaches the manager's context under the error funnel, begins a transaction on its connection
// (a failure to begin reaches the caller unchanged), runs body under the funnel and commits.
// A failure rolls back, and a failed rollback replaces the description. Throws ComponentError
// (source "Assert") whenever nothing was committed.
void RunWriteTransaction(const std::function<std::shared_ptr<clsContext>()>& context,
                         const std::function<void(clsContext&)>& body);

}  // namespace tamsel::detail
