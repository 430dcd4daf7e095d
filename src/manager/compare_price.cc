// ComparePrice: the cheapest authorised vendor's price on the business date, compared in local
// currency.

#include <stdexcept>

#include "common/funnel.h"
#include "common/text.h"
#include "manager/row_mapping.h"
#include "manager/statements.h"
#include "tamsel/manager.h"

namespace tamsel {

namespace {

constexpr const char* kNoRowsVisible = "1=2";

// The business date as the system-information object gives it.
Date BusinessDate(SysInfo& info) {
  const Variant today = info.Invoke("Today");
  if (today.type() == VarType::Date) return today.AsDate();
  if (today.type() == VarType::String) {
    const Variant date = TextToDate(today.AsString());
    if (date.type() == VarType::Date) return date.AsDate();
  }
  throw std::invalid_argument("The business date (Today) is not a date: '" +
                              (today.IsNull() ? std::string("Null") : VarToStr(today)) + "'.");
}

}  // namespace

std::shared_ptr<PriceRuleItem> PriceRuleManager::ComparePrice(const std::string& invCode,
                                                              double iquantity, int32_t iSupplyType,
                                                              const std::string& sXml) {
  if (detail::Trim(invCode).empty()) return nullptr;
  std::shared_ptr<PriceRuleItem> result;
  detail::Funnel([&] {
    const std::string free_condition = GetFreeItemCondition(invCode, iSupplyType, sXml, true);
    const std::shared_ptr<clsContext> held = Context();
    clsContext& context = *held;
    if (!context.objSysInfo) {
      throw std::invalid_argument("The price rule manager was initialised without an info object.");
    }
    SysInfo& info = *context.objSysInfo;

    std::string auth_condition;
    if (VarToBool(info.Invoke("bCheckVendorAuth"))) {
      if (!context.objAuthSrv) throw std::invalid_argument("No row-authorisation service.");
      const std::string visible = context.objAuthSrv->GetRowAuthCondition("VENDOR", 0, 0);
      if (visible == kNoRowsVisible) return;
      if (!visible.empty()) auth_condition = "ven.iid in (" + visible + ")";
    }

    const Date today = BusinessDate(info);
    const bool monthly = detail::StrictBool(info.Invoke("getdicvalue", {Variant("ixchgratestl")}));
    const std::string rate_condition =
        monthly ? detail::MonthlyRateCondition(VarToStr(info.Invoke("TheYear")),
                                               VarToStr(info.Invoke("TheMonth")))
                : detail::DailyRateCondition(today);

    auto rs = context.mConn->OpenRecordset(
        detail::ComparePriceSql(invCode, iquantity, iSupplyType, today, auth_condition,
                                free_condition, rate_condition),
        0, 1, -1);
    result = detail::TierWithRuleFromRow(*rs);
    rs->Close();
  });
  return result;
}

}  // namespace tamsel
