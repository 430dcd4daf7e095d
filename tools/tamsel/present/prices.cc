#include "present/prices.h"

#include <cmath>
#include <ostream>
#include <utility>
#include <vector>

#include "common/text.h"
#include "files/rule_file.h"
#include "present/i18n.h"

namespace tamsel::cli {

namespace {
// Enough digits to check the arithmetic by hand.
std::string Rounded(double value) { return FormatNumber(std::round(value * 1e6) / 1e6); }
}  // namespace

Json LocalPrice::ToJson() const {
  Json out = Json::object();
  out["currency"] = currency;
  out["localCurrency"] = local_currency;
  out["rate"] = rate;
  out["rateSource"] = RateSourceName(source);
  out["operation"] = divide ? "divide" : "multiply";
  out["amount"] = amount;
  out["localAmount"] = local_amount;
  return out;
}

std::string LocalPrice::Describe() const {
  std::string local = local_currency.empty() ? _("local") : local_currency;
  if (!converted()) {
    std::string note = source == RateSource::kMissing
                           ? _(" (no rate: taken as 1, ranked after converted prices)")
                           : "";
    return FormatNumber(amount) + " " + currency + " = " + Rounded(local_amount) + " " + local +
           note;
  }
  return FormatNumber(amount) + " " + currency + (divide ? " / " : " x ") + FormatNumber(rate) +
         " = " + Rounded(local_amount) + " " + local;
}

std::string LocalCurrency(const Session& session) {
  Connection conn;
  conn.Open(session.connection_text());
  auto rs = conn.OpenRecordset("select cExch_Name from foreigncurrency where iotherused=-1");
  std::string name = rs->Eof() ? "" : detail::Trim(VarToStr(rs->Fields("cExch_Name")));
  conn.Close();
  return name;
}

LocalPrice ToLocalCurrency(const ComparedPrice& price, const std::string& local_currency) {
  LocalPrice out;
  const auto rule = price.item->objRule();
  out.currency = rule ? rule->cExchName : "";
  out.local_currency = local_currency;
  out.source = price.rate_source;
  out.rate = price.rate;
  out.divide = price.divide;
  out.amount = price.item->iUnitPrice;
  out.local_amount = price.local_price;
  return out;
}

Json PriceToJson(const PriceRuleItem& tier) {
  Json out = Json::object();
  // The answer is a price-list row: its header carries the row's id, not a rule's.
  out["autoid"] = tier.id;
  auto rule = tier.objRule();
  out["rule"] = rule ? RuleHeaderToJson(*rule) : Json(nullptr);
  if (rule) out["rule"].erase("id");
  out["tier"] = TierToJson(tier);
  return out;
}

void PrintPrice(std::ostream& out, const PriceRuleItem& tier) {
  auto rule = tier.objRule();
  std::vector<std::pair<std::string, std::string>> fields;
  fields.emplace_back(N_("Price-list row"), std::to_string(tier.id));
  if (rule) {
    auto named = [](const std::string& code, const std::string& name) {
      return name.empty() ? code : code + " (" + name + ")";
    };
    fields.emplace_back(N_("Vendor"), rule->cVenCode.empty()
                                          ? _("(any vendor)")
                                          : named(rule->cVenCode, rule->cVenAbbName));
    fields.emplace_back(N_("Item"), named(rule->cInvCode, rule->cInvName));
    fields.emplace_back(N_("Supply type"), std::to_string(rule->iSupplyType));
    fields.emplace_back(N_("Currency"), rule->cExchName);
    fields.emplace_back(N_("Valid"),
                        Tf("{0} until {1}", rule->dEnableDate,
                           rule->dDisableDate.empty() ? _("(no end)") : rule->dDisableDate));
    fields.emplace_back(N_("Promotion"), YesNo(rule->bPromotion));
  }
  fields.emplace_back(N_("Quantity band"), Tf("{0} up to {1}", FormatNumber(tier.iLowerLimit),
                                              FormatUpperLimit(tier.iUpperLimit)));
  fields.emplace_back(N_("Unit price"), FormatMoney(tier.iUnitPrice));
  fields.emplace_back(N_("Tax rate %"), FormatNumber(tier.iTaxRate));
  fields.emplace_back(N_("With tax"), FormatMoney(tier.iTaxUnitPrice));
  PrintFields(out, fields);
}

}  // namespace tamsel::cli
