#pragma once

// Many rule writes of one manager in one transaction: the bulk import's way to commit (and sync
// to disk) once per batch instead of once per rule.

#include <memory>

#include "common/internal_api.h"
#include "tamsel/manager.h"

namespace tamsel::detail {

// Begins a transaction on the manager's connection. While it lives, CreateVenInvPriceRule and
// SaveVenInvPriceRule each run in a savepoint of it: a refused rule is undone alone and leaves
// the batch usable, a stored one waits for Commit. Destroyed, it rolls back what is not
// committed. Throws DatabaseError or ComponentError as the connection does.
class TAMSEL_INTERNAL RuleBatch {
 public:
  explicit RuleBatch(PriceRuleManager& manager);
  ~RuleBatch();
  RuleBatch(const RuleBatch&) = delete;
  RuleBatch& operator=(const RuleBatch&) = delete;
  // Commits what the batch holds and begins the next batch.
  void Commit();

 private:
  std::shared_ptr<clsContext> context_;
};

}  // namespace tamsel::detail
