#pragma once

// The one way the manager writes: a transaction around a funnelled body.

#include <functional>
#include <memory>

#include "tamsel/manager.h"

namespace tamsel::detail {

// Reaches the manager's context under the error funnel, begins a transaction on its connection
// (a failure to begin arrives with its own description, source "Error"), runs body under the
// funnel and commits. A failure rolls back, and a failed rollback replaces the description; the
// transaction never outlives the call. Throws ComponentError (source "Assert") whenever the
// change is not known to be stored; when the commit's outcome is unknown the description says
// so and *outcome_unknown is set.
void RunWriteTransaction(const std::function<std::shared_ptr<clsContext>()>& context,
                         const std::function<void(clsContext&)>& body,
                         bool* outcome_unknown = nullptr);

}  // namespace tamsel::detail
