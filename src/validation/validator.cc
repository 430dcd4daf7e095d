// The validator's link to its manager's context.

#include "tamsel/validator.h"

#include "tamsel/error.h"
#include "tamsel/manager.h"

namespace tamsel {

void Validator::SetContext(const std::shared_ptr<clsContext>& context) { mContext = context; }

std::shared_ptr<clsContext> Validator::Context() const {
  auto context = mContext.lock();
  if (!context) {
    RaiseError("The validator's price rule manager is not initialised: call InitManager first.");
  }
  return context;
}

}  // namespace tamsel
