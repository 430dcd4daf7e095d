// ComparePrice: the cheapest authorised vendor's price on the business date, compared in local
// currency.

#include <stdexcept>

#include "common/funnel.h"
#include "common/text.h"
#include "manager/lookup_support.h"
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

std::optional<std::string> detail::ComparePriceStatement(clsContext& context,
                                                         const std::string& invCode,
                                                         double iquantity, int32_t iSupplyType,
                                                         const std::string& sXml, bool top) {
  const std::string free_condition =
      FreeItemConditionFor(*context.mConn, invCode, iSupplyType, sXml, true);
  if (!context.objSysInfo) {
    throw std::invalid_argument("The price rule manager was initialised without an info object.");
  }
  SysInfo& info = *context.objSysInfo;

  std::string auth_condition;
  if (VarToBool(info.Invoke("bCheckVendorAuth"))) {
    if (!context.objAuthSrv) throw std::invalid_argument("No row-authorisation service.");
    const std::string visible = context.objAuthSrv->GetRowAuthCondition("VENDOR", 0, 0);
    if (visible == kNoRowsVisible) return std::nullopt;
    if (!visible.empty()) auth_condition = "ven.iid in (" + visible + ")";
  }

  const Date today = BusinessDate(info);
  const bool monthly = StrictBool(info.Invoke("getdicvalue", {Variant("ixchgratestl")}));
  const std::string rate_condition = monthly
                                         ? MonthlyRateCondition(VarToStr(info.Invoke("TheYear")),
                                                                VarToStr(info.Invoke("TheMonth")))
                                         : DailyRateCondition(today);
  return ComparePriceSql(invCode, iquantity, iSupplyType, today, auth_condition, free_condition,
                         rate_condition, top);
}

std::shared_ptr<PriceRuleItem> PriceRuleManager::ComparePrice(const std::string& invCode,
                                                              double iquantity, int32_t iSupplyType,
                                                              const std::string& sXml) {
  if (detail::Trim(invCode).empty()) return nullptr;
  std::shared_ptr<PriceRuleItem> result;
  detail::Funnel([&] {
    const std::shared_ptr<clsContext> held = Context();
    const std::optional<std::string> sql =
        detail::ComparePriceStatement(*held, invCode, iquantity, iSupplyType, sXml, true);
    if (!sql) return;
    auto rs = held->mConn->OpenRecordset(*sql, 0, 1, -1);
    result = detail::TierWithRuleFromRow(*rs);
    rs->Close();
  });
  return result;
}

}  // namespace tamsel
