// Removing a rule with its tiers, and the two list operations.

#include "common/funnel.h"
#include "manager/statements.h"
#include "manager/write_transaction.h"
#include "tamsel/manager.h"
#include "validation/check_support.h"

namespace tamsel {

void PriceRuleManager::RemoveVenInvPriceRule(int32_t id) {
  detail::OnlyComponentErrors([&] {
    detail::RunWriteTransaction([this] { return Context(); },
                                [&](clsContext& context) {
                                  Connection& conn = *context.mConn;
                                  // Tiers first; a rule without tiers is normal, so only the
                                  // rule's own delete must hit.
                                  conn.Execute(detail::RuleItemsDeleteSql(id), -1);
                                  if (conn.Execute(detail::RuleDeleteSql(id), -1) < 1) {
                                    detail::RaiseMsg("Error", "00061");
                                  }
                                });
  });
}

std::shared_ptr<Recordset> PriceRuleManager::ListVenInvPriceRuleItems(const std::string& filter) {
  std::shared_ptr<Recordset> rs;
  detail::Funnel(
      [&] { rs = Context()->mConn->OpenRecordset(detail::ListPriceListSql(filter), 0, 1, -1); });
  return rs;
}

std::shared_ptr<Recordset> PriceRuleManager::ListVenInvPriceRules(const std::string& filter) {
  std::shared_ptr<Recordset> rs;
  detail::Funnel(
      [&] { rs = Context()->mConn->OpenRecordset(detail::ListRulesSql(filter), 0, 1, -1); });
  return rs;
}

}  // namespace tamsel
