#include "tamsel/validator.h"
#include "validation/check_support.h"

namespace tamsel {

namespace {

// Rates are percentages; divide first, then add 1, so the factor matches the stored prices.
double TaxFactor(double rate) { return rate / 100 + 1; }

}  // namespace

bool Validator::CheckUnitPrice(const std::shared_ptr<PriceRuleItem>& ruleItem,
                               std::string& errstr) {
  PriceRuleItem& item = detail::Required(ruleItem, "The tier");
  if (!(item.iUnitPrice > 0)) {
    detail::AppendCheckError(errstr, "00047");
    return false;
  }
  item.iTaxUnitPrice = TaxFactor(item.iTaxRate) * item.iUnitPrice;
  return true;
}

bool Validator::CheckTaxUnitPrice(const std::shared_ptr<PriceRuleItem>& ruleItem,
                                  std::string& errstr) {
  PriceRuleItem& item = detail::Required(ruleItem, "The tier");
  if (!(item.iTaxUnitPrice > 0)) {
    detail::AppendCheckError(errstr, "00048");
    return false;
  }
  item.iUnitPrice = item.iTaxUnitPrice / TaxFactor(item.iTaxRate);
  return true;
}

bool Validator::CheckTaxRate(const std::shared_ptr<PriceRuleItem>& ruleItem, std::string& errstr) {
  PriceRuleItem& item = detail::Required(ruleItem, "The tier");
  if (!(item.iTaxRate >= 0 && item.iTaxRate < 100)) {
    detail::AppendCheckError(errstr, "00049");
    return false;
  }
  // Which price leads is the owning rule's choice; a tier without a rule cannot say.
  const std::shared_ptr<PriceRule> rule = item.objRule();
  if (!rule) RaiseError("The tier belongs to no rule, so its leading price is unknown");
  const double factor = TaxFactor(item.iTaxRate);
  if (rule->bTaxCost) {
    item.iUnitPrice = item.iTaxUnitPrice / factor;
  } else {
    item.iTaxUnitPrice = factor * item.iUnitPrice;
  }
  return true;
}

}  // namespace tamsel
