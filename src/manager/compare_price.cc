// ComparePrice: the cheapest authorised vendor's price on the business date, compared in local
// currency; and the same comparison with each price's conversion, for C++ callers.

#include <functional>
#include <map>
#include <stdexcept>
#include <tuple>
#include <vector>

#include "common/funnel.h"
#include "common/text.h"
#include "manager/lookup_support.h"
#include "manager/row_mapping.h"
#include "manager/statements.h"
#include "tamsel/compare.h"
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
                                                         const std::string& sXml,
                                                         CompareRows rows) {
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
  const CompareShape shape = context.mConn->Dialect() == "sqlite" ? CompareShape::kLaterRowCheck
                                                                  : CompareShape::kGroupedJoin;
  return ComparePriceSql(invCode, iquantity, iSupplyType, today, auth_condition, free_condition,
                         rate_condition, rows, shape);
}

namespace {

// Whether a vendor's price look-up takes row a before row b of one offer: a promotion first,
// then the greatest lower limit reached, the latest enable date, the greatest autoid.
bool PriceLookupPrefers(const ComparedPrice& a, const ComparedPrice& b) {
  const PriceRule& ra = *a.item->objRule();
  const PriceRule& rb = *b.item->objRule();
  return std::tuple(ra.bPromotion, a.item->iLowerLimit, ra.dEnableDate, a.item->id) >
         std::tuple(rb.bPromotion, b.item->iLowerLimit, rb.dEnableDate, b.item->id);
}

}  // namespace

struct CompareAccess {
  // Runs the comparison's statement giving rows on the manager's context and hands each row to
  // take, under the error funnel; nothing when the item is blank or no vendor is visible.
  static void Each(PriceRuleManager& manager, const std::string& invCode, double iquantity,
                   int32_t iSupplyType, const std::string& sXml, detail::CompareRows rows,
                   const std::function<void(const Recordset&)>& take) {
    if (detail::Trim(invCode).empty()) return;
    detail::Funnel([&] {
      const std::shared_ptr<clsContext> held = manager.Context();
      const std::optional<std::string> sql =
          detail::ComparePriceStatement(*held, invCode, iquantity, iSupplyType, sXml, rows);
      if (!sql) return;
      auto rs = held->mConn->OpenRecordset(*sql, 0, 1, -1);
      for (; !rs->Eof(); rs->MoveNext()) take(*rs);
      rs->Close();
    });
  }
};

std::shared_ptr<PriceRuleItem> PriceRuleManager::ComparePrice(const std::string& invCode,
                                                              double iquantity, int32_t iSupplyType,
                                                              const std::string& sXml) {
  std::shared_ptr<PriceRuleItem> result;
  CompareAccess::Each(*this, invCode, iquantity, iSupplyType, sXml, detail::CompareRows::kBest,
                      [&](const Recordset& row) { result = detail::TierWithRuleFromRow(row); });
  return result;
}

const char* RateSourceName(RateSource source) {
  switch (source) {
    case RateSource::kLocal:
      return "local";
    case RateSource::kDaily:
      return "daily";
    case RateSource::kMonthly:
      return "monthly";
    case RateSource::kMissing:
      return "missing";
  }
  return "";
}

std::optional<ComparedPrice> ComparePriceWithRate(PriceRuleManager& manager,
                                                  const std::string& invCode, double iquantity,
                                                  int32_t iSupplyType, const std::string& sXml) {
  std::optional<ComparedPrice> best;
  CompareAccess::Each(manager, invCode, iquantity, iSupplyType, sXml,
                      detail::CompareRows::kBestWithRate,
                      [&](const Recordset& row) { best = detail::ComparedPriceFromRow(row); });
  return best;
}

std::vector<ComparedPrice> CompareOffers(PriceRuleManager& manager, const std::string& invCode,
                                         double iquantity, int32_t iSupplyType,
                                         const std::string& sXml) {
  // Every qualifying row comes in ranking order; an offer is shown at the row a purchase of
  // this quantity gets, not at a cheaper-looking band the quantity has outgrown.
  using OfferKey = std::tuple<std::string, std::string, std::vector<std::string>>;
  std::vector<ComparedPrice> rows;
  std::map<OfferKey, size_t> applying;  // offer -> its row in rows
  CompareAccess::Each(
      manager, invCode, iquantity, iSupplyType, sXml, detail::CompareRows::kEveryOffer,
      [&](const Recordset& row) {
        ComparedPrice price = detail::ComparedPriceFromRow(row);
        const PriceRule& rule = *price.item->objRule();
        std::vector<std::string> free;
        for (int n = 1; n <= detail::kFreeItemCount; ++n) {
          free.push_back(
              detail::Lower(detail::Trim(VarToStr(row.Fields("cafree" + std::to_string(n))))));
        }
        const auto [at, added] = applying.try_emplace(
            OfferKey{detail::Lower(rule.cVenCode), detail::Lower(rule.cExchName), std::move(free)},
            rows.size());
        if (added || PriceLookupPrefers(price, rows[at->second])) {
          at->second = rows.size();
        }
        rows.push_back(std::move(price));
      });
  std::vector<bool> shown(rows.size(), false);
  for (const auto& [key, index] : applying) shown[index] = true;
  std::vector<ComparedPrice> offers;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (shown[i]) offers.push_back(std::move(rows[i]));
  }
  return offers;
}

}  // namespace tamsel
