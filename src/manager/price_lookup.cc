// GetVenInvPriceRuleItem: the price-list tier for one purchase.

#include "common/funnel.h"
#include "common/text.h"
#include "db/driver.h"
#include "manager/lookup_support.h"
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
    const std::shared_ptr<clsContext> context = Context();
    const detail::ShapedWriter free_condition =
        detail::FreeItemConditionShaped(*context->mConn, invCode, iSupplyType, sXml, false);
    auto rs = detail::ConnectionAccess::OpenShaped(
        *context->mConn, detail::PriceItemLookupSql(venCode, invCode, ddate, iquantity, exchName,
                                                    iSupplyType, free_condition));
    result = detail::TierWithRuleFromRow(*rs);
    rs->Close();
  });
  return result;
}

}  // namespace tamsel
