#pragma once

// Prices as the tool shows them: a compared price's conversion to local currency, and a look-up's
// price-list row as JSON or as a field list.

#include <iosfwd>
#include <string>

#include "cli_context.h"
#include "present/output.h"
#include "tamsel/tamsel.h"

namespace tamsel::cli {

// A compared price's conversion to local currency, as the comparison made it.
struct LocalPrice {
  std::string currency;
  std::string local_currency;
  RateSource source = RateSource::kLocal;
  double rate = 1;
  bool divide = false;
  double amount = 0;
  double local_amount = 0;
  bool converted() const { return source == RateSource::kDaily || source == RateSource::kMonthly; }
  Json ToJson() const;
  // "7.2 USD x 7.1 = 51.12 CNY"
  std::string Describe() const;
};
// The name of the local currency of the session's database ("" when none is marked).
std::string LocalCurrency(const Session& session);
LocalPrice ToLocalCurrency(const ComparedPrice& price, const std::string& local_currency);

// A look-up result: the price-list row's header and its tier.
Json PriceToJson(const PriceRuleItem& tier);
void PrintPrice(std::ostream& out, const PriceRuleItem& tier);

}  // namespace tamsel::cli
