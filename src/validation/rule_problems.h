#pragma once

// Every reason a rule may not be stored, for callers that report them all at once.

#include <memory>
#include <vector>

#include "common/internal_api.h"
#include "tamsel/error.h"
#include "tamsel/validator.h"

namespace tamsel::detail {

// The errors VerifyRule would raise one at a time, in its order: each condition that fails,
// with the conditions that depend on it left out (no date order without a readable date, no
// master-data look-up of an empty code). Empty when VerifyRule passes. Changes the rule as
// VerifyRule does; database failures are thrown.
TAMSEL_INTERNAL std::vector<ComponentError> RuleProblems(Validator& validator,
                                                         const std::shared_ptr<PriceRule>& rule);

}  // namespace tamsel::detail
