// GetVenInvPriceRuleItem: the price-list tier for one purchase.

#include "common/funnel.h"
#include "common/text.h"
#include "manager/row_mapping.h"
#include "manager/statements.h"
#include "tamsel/manager.h"

namespace tamsel {

std::shared_ptr<PriceRuleItem> PriceRuleManager::GetVenInvPriceRuleItem(
    const std::string& venCode, const std::string& invCode, const Date& ddate, double iquantity,
    const std::string& exchName, int32_t iSupplyType, const std::string& sXml) {
  if (detail::Trim(invCode).empty()) return nullptr;
  std::shared_ptr<PriceRuleItem> result;
  detail::Funnel([&] {
    const std::string free_condition = GetFreeItemCondition(invCode, iSupplyType, sXml, false);
    auto rs = Context().mConn->OpenRecordset(
        detail::PriceItemLookupSql(venCode, invCode, ddate, iquantity, exchName, iSupplyType,
                                   free_condition),
        0, 1, -1);
    if (rs->Eof()) return;
    auto rule = PriceRule::New();
    detail::FillRuleFromRow(*rule, *rs);
    // The handle keeps the rule alive for as long as the caller holds the tier.
    auto item = rule->AddRuleItem();
    detail::FillTierFromRow(*item, *rs);
    rs->Close();
    result = std::move(item);
  });
  return result;
}

}  // namespace tamsel
