#include <cmath>
#include <string>

#include "common/sql_text.h"
#include "common/text.h"
#include "tamsel/validator.h"
#include "validation/check_support.h"

namespace tamsel {

namespace {

// Date texts are judged as written; the "T" of an XML date-time is TextToDate's concern only.
bool IsDateText(std::string_view text) {
  return text.find('T') == std::string_view::npos && TextToDate(text).type() == VarType::Date;
}

// A tier without an upper limit: never set, or explicitly open.
bool HasNoLimit(const Variant& limit) { return limit.IsEmpty() || limit.IsNull(); }

void AssertKey(bool condition, std::string_view digits) {
  if (!condition) detail::RaiseMsg("Assert", digits);
}

void AssertTier(bool condition, std::string_view digits, int32_t tier) {
  if (!condition) detail::RaiseMsg("Assert", digits, tier);
}

// Runs one master-data check; its failure is raised with the line the check wrote and its key.
template <typename Check>
void RequireCheck(Check check) {
  std::string errstr;
  detail::LastCheckKey().clear();
  if (!check(errstr)) throw ComponentError("Error", errstr, detail::LastCheckKey());
}

void RequireStorable(const PriceRuleItem& item, int32_t tier) {
  const auto check = [&](double value, std::string_view field) {
    if (!detail::IsStorableNumber(value)) {
      Assert(false, "Tier " + detail::IntText(tier) + ": the " + std::string(field) +
                        " is not a number between -1E+300 and 1E+300.");
    }
  };
  check(item.iLowerLimit, "lower limit");
  if (!HasNoLimit(item.iUpperLimit)) check(VarToDbl(item.iUpperLimit), "upper limit");
  check(item.iUnitPrice, "unit price");
  check(item.iTaxRate, "tax rate");
  check(item.iTaxUnitPrice, "unit price with tax");
}

void VerifyTiers(const RuleItems& items) {
  const int32_t count = items.Count();
  double previous_upper = 0;
  for (int32_t i = 1; i <= count; ++i) {
    const std::string key = detail::IntText(i);
    if (!items.Contains(key)) {
      RaiseError("The tiers are not numbered 1 to " + detail::IntText(count) + ": tier " + key +
                 " is missing");
    }
    const std::shared_ptr<PriceRuleItem> item = items.Item(key);
    RequireStorable(*item, i);
    if (i == 1) {
      AssertKey(item->iLowerLimit == 0, "00013");
    } else {
      AssertTier(item->iLowerLimit == previous_upper, "00015", i);
    }
    AssertTier(item->iUnitPrice > 0, "00017", i);
    AssertTier(item->iTaxUnitPrice > 0, "00019", i);
    AssertTier(item->iTaxRate >= 0, "00021", i);
    AssertTier(item->iTaxRate < 100, "00023", i);
    if (i == count) {
      AssertKey(HasNoLimit(item->iUpperLimit), "00024");
    } else {
      // Only Null is "no limit" here; an Empty limit reads as 0 and fails the ordering below.
      AssertTier(!item->iUpperLimit.IsNull(), "00026", i);
      previous_upper = VarToDbl(item->iUpperLimit);
      AssertTier(item->iLowerLimit < previous_upper, "00028", i);
    }
  }
}

}  // namespace

void Validator::VerifyRule(const std::shared_ptr<PriceRule>& rule) {
  AssertKey(rule != nullptr, "00001");
  PriceRule& r = *rule;
  const int32_t supply_type = r.iSupplyType;
  AssertKey(supply_type == 1 || supply_type == 2 || supply_type == 4, "00002");
  // Codes are tested as given: blanks pass here and fail the master-data look-ups below.
  AssertKey(!r.cVenCode.empty(), "00003");
  AssertKey(!r.cInvCode.empty(), "00004");
  AssertKey(!r.cExchName.empty(), "00005");
  if (supply_type == 4) AssertKey(!r.cTermCode.empty(), "00502");

  RequireCheck([&](std::string& errstr) { return CheckInv(rule, errstr); });
  RequireCheck([&](std::string& errstr) { return CheckVen(rule, errstr); });
  RequireCheck([&](std::string& errstr) { return CheckExchName(rule, errstr); });

  AssertKey(!detail::Trim(r.dEnableDate).empty(), "00006");
  AssertKey(IsDateText(r.dEnableDate), "00007");
  const Date enable = TextToDate(r.dEnableDate).AsDate();
  r.dEnableDate = enable.IsoDate();
  if (!detail::Trim(r.dDisableDate).empty()) {
    AssertKey(IsDateText(r.dDisableDate), "00008");
    const Date disable = TextToDate(r.dDisableDate).AsDate();
    r.dDisableDate = disable.IsoDate();
    AssertKey(disable.days() - enable.days() > 0, "00009");
  }

  AssertKey(r.ruleItems && r.ruleItems->Count() >= 1, "00010");
  VerifyTiers(*r.ruleItems);
}

}  // namespace tamsel
