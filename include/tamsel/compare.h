#pragma once

// The comparison across vendors with the conversion behind each price: the exchange rate, where
// it came from and the price in local currency. For C++ callers that show or check a
// comparison; the published classes offer ComparePrice alone.
//
// Threads and lifetimes are the manager's (tamsel/manager.h): call these on the manager's
// thread; the results are plain data and belong to the caller.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tamsel/export.h"
#include "tamsel/manager.h"
#include "tamsel/price_rule.h"

namespace tamsel {

enum class RateSource {
  kLocal,    // the local currency (ForeignCurrency.iOtherUsed = -1): not converted
  kDaily,    // the rate of the business date
  kMonthly,  // the rate of the period (the system's monthly-rate option is on)
  // Another currency, also one without a ForeignCurrency row, with no rate for the day or
  // period or a rate of 0: counted at rate 1 and ranked after every converted price.
  kMissing,
};

// "local", "daily", "monthly" or "missing".
TAMSEL_API const char* RateSourceName(RateSource source);

// A compared price-list row and its conversion to local currency.
struct ComparedPrice {
  // The row's tier, linked to a rule with the row's header and names, as ComparePrice returns
  // it; its prices are in the row's own currency (the rule's cExchName).
  std::shared_ptr<PriceRuleItem> item;
  RateSource rate_source = RateSource::kLocal;
  double rate = 1;         // the rate applied: 1 when there is none (kMissing, kLocal)
  bool divide = false;     // the currency's bCal is 0: unit price / rate, else unit price x rate
  double local_price = 0;  // the unit price in local currency, as the comparison ranked it
};

// ComparePrice's answer with its conversion: the same arguments, the same row and the same
// failures (ComponentError, source "Assert"); nullopt where ComparePrice returns null.
TAMSEL_API std::optional<ComparedPrice> ComparePriceWithRate(PriceRuleManager& manager,
                                                             const std::string& invCode,
                                                             double iquantity,
                                                             int32_t iSupplyType = 1,
                                                             const std::string& sXml = "");

// Every offer that takes part in the comparison, in its ranking order: one per vendor,
// currency and set of free-item values, each at the row that vendor's price look-up gives at
// the quantity (a promotion first, then the greatest lower limit reached). The first is
// ComparePrice's answer unless the cheapest row is one of a band that offer's look-up passes
// over, priced below the band the quantity reaches. Empty where ComparePrice returns null;
// failures as ComparePrice's.
TAMSEL_API std::vector<ComparedPrice> CompareOffers(PriceRuleManager& manager,
                                                    const std::string& invCode, double iquantity,
                                                    int32_t iSupplyType = 1,
                                                    const std::string& sXml = "");

}  // namespace tamsel
