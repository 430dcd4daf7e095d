#include <cmath>
#include <string>
#include <vector>

#include "common/sql_text.h"
#include "common/text.h"
#include "tamsel/validator.h"
#include "validation/check_support.h"
#include "validation/rule_problems.h"

namespace tamsel {

namespace {

// Date texts are judged as written; the "T" of an XML date-time is TextToDate's concern only.
bool IsDateText(std::string_view text) {
  return text.find('T') == std::string_view::npos && TextToDate(text).type() == VarType::Date;
}

// A tier without an upper limit: never set, or explicitly open.
bool HasNoLimit(const Variant& limit) { return limit.IsEmpty() || limit.IsNull(); }

// Where a failed condition goes: VerifyRule raises the first; RuleProblems keeps every one and
// goes on with the conditions that do not depend on it.
class Verification {
 public:
  explicit Verification(std::vector<ComponentError>* all) : all_(all) {}

  // Runs a step that raises; false when it failed.
  template <typename F>
  bool Step(F step) {
    if (all_ == nullptr) {
      step();
      return true;
    }
    try {
      step();
      return true;
    } catch (const ComponentError& e) {
      all_->push_back(e);
      return false;
    }
  }

  bool Key(bool condition, std::string_view digits) {
    return condition || Step([&] { detail::RaiseMsg("Assert", digits); });
  }
  bool Tier(bool condition, std::string_view digits, int32_t tier) {
    return condition || Step([&] { detail::RaiseMsg("Assert", digits, tier); });
  }
  // A master-data check; its failure is raised with the line the check wrote and its key.
  template <typename F>
  bool Check(F check) {
    return Step([&] {
      std::string errstr;
      detail::LastCheckKey().clear();
      if (!check(errstr)) throw ComponentError("Error", errstr, detail::LastCheckKey());
    });
  }

 private:
  std::vector<ComponentError>* all_;
};

bool RequireStorable(Verification& v, const PriceRuleItem& item, int32_t tier) {
  bool ok = true;
  const auto check = [&](double value, std::string_view field) {
    if (!detail::IsStorableNumber(value)) {
      ok = v.Step([&] {
        Assert(false, "Tier " + detail::IntText(tier) + ": the " + std::string(field) +
                          " is not a number between -1E+300 and 1E+300.");
      }) && ok;
    }
  };
  check(item.iLowerLimit, "lower limit");
  if (!HasNoLimit(item.iUpperLimit)) check(VarToDbl(item.iUpperLimit), "upper limit");
  check(item.iUnitPrice, "unit price");
  check(item.iTaxRate, "tax rate");
  check(item.iTaxUnitPrice, "unit price with tax");
  return ok;
}

void VerifyTiers(Verification& v, const RuleItems& items) {
  const int32_t count = items.Count();
  double previous_upper = 0;
  for (int32_t i = 1; i <= count; ++i) {
    const std::string key = detail::IntText(i);
    if (!items.Contains(key)) {
      v.Step([&] {
        RaiseError("The tiers are not numbered 1 to " + detail::IntText(count) + ": tier " + key +
                   " is missing");
      });
      return;
    }
    const std::shared_ptr<PriceRuleItem> item = items.Item(key);
    if (!RequireStorable(v, *item, i)) continue;
    if (i == 1) {
      v.Key(item->iLowerLimit == 0, "00013");
    } else {
      v.Tier(item->iLowerLimit == previous_upper, "00015", i);
    }
    v.Tier(item->iUnitPrice > 0, "00017", i);
    v.Tier(item->iTaxUnitPrice > 0, "00019", i);
    v.Tier(item->iTaxRate >= 0, "00021", i);
    v.Tier(item->iTaxRate < 100, "00023", i);
    if (i == count) {
      v.Key(HasNoLimit(item->iUpperLimit), "00024");
    } else {
      // Only Null is "no limit" here; an Empty limit reads as 0 and fails the ordering below.
      if (!v.Tier(!item->iUpperLimit.IsNull(), "00026", i)) continue;
      previous_upper = VarToDbl(item->iUpperLimit);
      v.Tier(item->iLowerLimit < previous_upper, "00028", i);
    }
  }
}

void Verify(Validator& validator, const std::shared_ptr<PriceRule>& rule, Verification& v) {
  if (!v.Key(rule != nullptr, "00001")) return;
  PriceRule& r = *rule;
  const int32_t supply_type = r.iSupplyType;
  v.Key(supply_type == 1 || supply_type == 2 || supply_type == 4, "00002");
  // Codes are tested as given: blanks pass here and fail the master-data look-ups below.
  const bool vendor = v.Key(!r.cVenCode.empty(), "00003");
  const bool item = v.Key(!r.cInvCode.empty(), "00004");
  const bool currency = v.Key(!r.cExchName.empty(), "00005");
  if (supply_type == 4) v.Key(!r.cTermCode.empty(), "00502");

  if (item) v.Check([&](std::string& errstr) { return validator.CheckInv(rule, errstr); });
  if (vendor) v.Check([&](std::string& errstr) { return validator.CheckVen(rule, errstr); });
  if (currency) {
    v.Check([&](std::string& errstr) { return validator.CheckExchName(rule, errstr); });
  }

  if (v.Key(!detail::Trim(r.dEnableDate).empty(), "00006") &&
      v.Key(IsDateText(r.dEnableDate), "00007")) {
    const Date enable = TextToDate(r.dEnableDate).AsDate();
    r.dEnableDate = enable.IsoDate();
    if (!detail::Trim(r.dDisableDate).empty() && v.Key(IsDateText(r.dDisableDate), "00008")) {
      const Date disable = TextToDate(r.dDisableDate).AsDate();
      r.dDisableDate = disable.IsoDate();
      v.Key(disable.days() - enable.days() > 0, "00009");
    }
  } else if (!detail::Trim(r.dDisableDate).empty()) {
    v.Key(IsDateText(r.dDisableDate), "00008");
  }

  if (v.Key(r.ruleItems && r.ruleItems->Count() >= 1, "00010")) VerifyTiers(v, *r.ruleItems);
}

}  // namespace

void Validator::VerifyRule(const std::shared_ptr<PriceRule>& rule) {
  Verification first(nullptr);
  Verify(*this, rule, first);
}

std::vector<ComponentError> detail::RuleProblems(Validator& validator,
                                                 const std::shared_ptr<PriceRule>& rule) {
  std::vector<ComponentError> all;
  Verification every(&all);
  Verify(validator, rule, every);
  return all;
}

}  // namespace tamsel
