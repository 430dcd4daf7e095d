// GetVenInvPriceRule: the rule header valid for a vendor, an item and a day.

#include "common/funnel.h"
#include "common/text.h"
#include "db/driver.h"
#include "manager/row_mapping.h"
#include "manager/statements.h"
#include "tamsel/manager.h"

namespace tamsel {

std::shared_ptr<PriceRule> PriceRuleManager::GetVenInvPriceRule(
    const std::string& venCode, const std::string& invCode, const Date& ddate,
    const std::string& exchName, int32_t iSupplyType, const std::string& /*sXml*/) {
  if (detail::Trim(venCode).empty() || detail::Trim(invCode).empty()) return nullptr;
  std::shared_ptr<PriceRule> result;
  detail::Funnel([&] {
    auto rs = detail::ConnectionAccess::OpenShaped(
        *Context()->mConn, detail::RuleLookupSql(venCode, invCode, ddate, exchName, iSupplyType));
    if (rs->Eof()) return;
    auto rule = PriceRule::New();
    detail::FillRuleFromRow(*rule, *rs);
    rs->Close();
    result = std::move(rule);
  });
  return result;
}

}  // namespace tamsel
