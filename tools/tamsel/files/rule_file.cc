#include "files/rule_file.h"

#include <cmath>
#include <limits>
#include <set>

#include "cli_context.h"
#include "present/i18n.h"
#include "validation/rule_problems.h"

namespace tamsel::cli {

const std::vector<RuleField>& RuleFields() {
  static const std::vector<RuleField> kFields = {
      {"id", &PriceRule::id, false},
      {"cVenCode", &PriceRule::cVenCode, true},
      {"cVenAbbName", &PriceRule::cVenAbbName, false},
      {"cInvCode", &PriceRule::cInvCode, true},
      {"cInvAddCode", &PriceRule::cInvAddCode, false},
      {"cInvName", &PriceRule::cInvName, false},
      {"cInvStd", &PriceRule::cInvStd, false},
      {"iTaxRate", &PriceRule::iTaxRate, false},
      {"cComUnitCode", &PriceRule::cComUnitCode, false},
      {"cComUnitName", &PriceRule::cComUnitName, false},
      {"dEnableDate", &PriceRule::dEnableDate, true},
      {"dDisableDate", &PriceRule::dDisableDate, true},
      {"bPromotion", &PriceRule::bPromotion, true},
      {"cExchName", &PriceRule::cExchName, true},
      {"iSupplyType", &PriceRule::iSupplyType, true},
      {"bTaxCost", &PriceRule::bTaxCost, true},
      {"cMemo", &PriceRule::cMemo, true},
      {"ufts", &PriceRule::ufts, false},
      {"cTermCode", &PriceRule::cTermCode, true},
      {"cTermName", &PriceRule::cTermName, false},
      {"bCheckOverLap", &PriceRule::bCheckOverLap, false},
  };
  return kFields;
}

const std::vector<std::string>& TierFieldNames() {
  static const std::vector<std::string> kNames = {"index",      "iLowerLimit", "iUpperLimit",
                                                  "iUnitPrice", "iTaxRate",    "iTaxUnitPrice"};
  return kNames;
}

Json RuleHeaderToJson(const PriceRule& rule) {
  Json out = Json::object();
  for (const auto& field : RuleFields()) {
    std::visit([&](auto member) { out[field.name] = rule.*member; }, field.member);
  }
  // Open-ended, as the lists show it.
  if (rule.dDisableDate.empty()) out["dDisableDate"] = nullptr;
  return out;
}

Json TierToJson(const PriceRuleItem& tier) {
  Json out = Json::object();
  out["index"] = tier.index;
  out["iLowerLimit"] = tier.iLowerLimit;
  out["iUpperLimit"] = (tier.iUpperLimit.IsNull() || tier.iUpperLimit.IsEmpty())
                           ? Json(nullptr)
                           : Json(VarToDbl(tier.iUpperLimit));
  out["iUnitPrice"] = tier.iUnitPrice;
  out["iTaxRate"] = tier.iTaxRate;
  out["iTaxUnitPrice"] = tier.iTaxUnitPrice;
  return out;
}

Json RuleToJson(const PriceRule& rule) {
  Json out = RuleHeaderToJson(rule);
  Json tiers = Json::array();
  for (int32_t i = 1; i <= rule.ruleItems->Count(); ++i) {
    std::string key = std::to_string(i);
    if (!rule.ruleItems->Contains(key)) break;
    tiers.push_back(TierToJson(*rule.ruleItems->Item(key)));
  }
  out["ruleItems"] = std::move(tiers);
  return out;
}

namespace {

[[noreturn]] void BadField(const std::string& where, const std::string& expected) {
  throw ToolError(Tf("{0}: expected {1}", where, expected));
}

std::string ReadText(const Json& v, const std::string& where) {
  if (v.is_null()) return "";
  if (!v.is_string()) BadField(where, _("a text"));
  return v.get<std::string>();
}

double ReadNumber(const Json& v, const std::string& where) {
  if (!v.is_number()) BadField(where, _("a number"));
  double d = v.get<double>();
  if (!std::isfinite(d)) BadField(where, _("a finite number"));
  return d;
}

int64_t ReadWhole(const Json& v, const std::string& where, int64_t lo, int64_t hi) {
  double d = ReadNumber(v, where);
  if (d != std::floor(d) || d < static_cast<double>(lo) || d > static_cast<double>(hi)) {
    BadField(where, Tf("a whole number from {0} to {1}", lo, hi));
  }
  return static_cast<int64_t>(d);
}

bool ReadFlag(const Json& v, const std::string& where) {
  if (v.is_boolean()) return v.get<bool>();
  if (v.is_number_integer() && (v.get<int64_t>() == 0 || v.get<int64_t>() == 1)) {
    return v.get<int64_t>() == 1;
  }
  BadField(where, _("true or false"));
}

void ReadTier(const Json& file, PriceRuleItem& tier, const std::string& where) {
  if (!file.is_object()) BadField(where, _("an object"));
  // A tier without an upper limit has none; only the last one may lack it.
  tier.iUpperLimit = Variant::Null();
  for (const auto& [key, value] : file.items()) {
    std::string at = where + "." + key;
    if (key == "index") {
      ReadWhole(value, at, 0, std::numeric_limits<int16_t>::max());  // position decides
    } else if (key == "iLowerLimit") {
      tier.iLowerLimit = ReadNumber(value, at);
    } else if (key == "iUpperLimit") {
      tier.iUpperLimit = value.is_null() ? Variant::Null() : Variant(ReadNumber(value, at));
    } else if (key == "iUnitPrice") {
      tier.iUnitPrice = ReadNumber(value, at);
    } else if (key == "iTaxRate") {
      tier.iTaxRate = ReadNumber(value, at);
    } else if (key == "iTaxUnitPrice") {
      tier.iTaxUnitPrice = ReadNumber(value, at);
    } else if (key != "id") {
      throw ToolError(Tf("{0}: unknown field", at));
    }
  }
}

}  // namespace

std::shared_ptr<PriceRule> RuleFromJson(const Json& file, PriceRuleManager& manager) {
  if (!file.is_object()) throw ToolError(_("a rule must be a JSON object"));
  auto rule = manager.NewVenInvPriceRule();
  std::set<std::string> seen;
  for (const auto& item : file.items()) {
    // Named copies rather than a structured binding, which clang 14 cannot capture in a lambda.
    const std::string& key = item.key();
    const Json& value = item.value();
    if (key == "ruleItems" || key.starts_with("_")) continue;
    // Older files spell some fields as their columns (cExch_Name).
    const std::string name = ToolName(key);
    const RuleField* field = nullptr;
    for (const auto& f : RuleFields()) {
      if (name == f.name) field = &f;
    }
    if (field == nullptr) throw ToolError(Tf("{0}: unknown field", key));
    if (!seen.insert(name).second) throw ToolError(Tf("{0}: {1} given twice", key, name));
    std::visit(
        [&](auto member) {
          using T = std::remove_reference_t<decltype(rule.get()->*member)>;
          if constexpr (std::is_same_v<T, std::string>) {
            rule.get()->*member = ReadText(value, key);
          } else if constexpr (std::is_same_v<T, int32_t>) {
            rule.get()->*member =
                static_cast<int32_t>(ReadWhole(value, key, std::numeric_limits<int32_t>::min(),
                                               std::numeric_limits<int32_t>::max()));
          } else if constexpr (std::is_same_v<T, double>) {
            rule.get()->*member = ReadNumber(value, key);
          } else {
            rule.get()->*member = ReadFlag(value, key);
          }
        },
        field->member);
  }
  if (file.contains("ruleItems")) {
    const Json& tiers = file["ruleItems"];
    if (!tiers.is_array()) BadField("ruleItems", _("an array"));
    if (tiers.size() >= static_cast<size_t>(std::numeric_limits<int16_t>::max())) {
      throw ToolError(_("ruleItems: too many tiers"));
    }
    for (size_t i = 0; i < tiers.size(); ++i) {
      // AddRuleItem chains the lower limit to the previous tier and copies the rule's tax rate.
      auto tier = rule->AddRuleItem();
      ReadTier(tiers[i], *tier, "ruleItems[" + std::to_string(i + 1) + "]");
    }
  }
  return rule;
}

std::vector<std::pair<std::string, std::string>> RuleHeaderDisplay(const PriceRule& rule) {
  auto named = [](const std::string& code, const std::string& name) {
    return name.empty() ? code : code + " (" + name + ")";
  };
  std::vector<std::pair<std::string, std::string>> out = {
      {N_("Rule id"), std::to_string(rule.id)},
      {N_("Vendor"),
       rule.cVenCode.empty() ? _("(any vendor)") : named(rule.cVenCode, rule.cVenAbbName)},
      {N_("Item"), named(rule.cInvCode, rule.cInvName)},
      {N_("Supply type"), std::to_string(rule.iSupplyType)},
      {N_("Currency"), rule.cExchName},
      {N_("Valid from"), rule.dEnableDate},
      {N_("Valid until"),
       rule.dDisableDate.empty() ? _("(no end)") : Tf("{0} (excluded)", rule.dDisableDate)},
      {N_("Promotion"), YesNo(rule.bPromotion)},
      {N_("Tax cost"), YesNo(rule.bTaxCost)},
  };
  if (!rule.cComUnitCode.empty())
    out.emplace_back(N_("Unit"), named(rule.cComUnitCode, rule.cComUnitName));
  if (!rule.cTermCode.empty())
    out.emplace_back(N_("Trade term"), named(rule.cTermCode, rule.cTermName));
  if (!rule.cMemo.empty()) out.emplace_back(N_("Memo"), rule.cMemo);
  if (!rule.ufts.empty()) out.emplace_back(N_("Row version"), rule.ufts);
  return out;
}

Table TierTable(const PriceRule& rule) {
  Table table({N_("Tier"), N_("From qty"), N_("Below qty"), N_("Unit price"), N_("Tax rate %"),
               N_("With tax")});
  for (size_t c = 0; c < 6; ++c) table.AlignRight(c);
  for (int32_t i = 1; i <= rule.ruleItems->Count(); ++i) {
    std::string key = std::to_string(i);
    if (!rule.ruleItems->Contains(key)) break;
    const auto tier = rule.ruleItems->Item(key);
    table.AddRow({key, FormatNumber(tier->iLowerLimit), FormatUpperLimit(tier->iUpperLimit),
                  FormatMoney(tier->iUnitPrice), FormatNumber(tier->iTaxRate),
                  FormatMoney(tier->iTaxUnitPrice)});
  }
  return table;
}

void VerifyReportingAll(PriceRuleManager& manager, const PriceRule& rule) {
  auto validator = manager.GetValidator();
  // A copy: verification rewrites what it reads, and the caller's rule is stored as it stands.
  const auto probe = RuleFromJson(RuleToJson(rule), manager);
  std::vector<ComponentError> problems = detail::RuleProblems(*validator, probe);
  if (problems.empty()) return;
  std::string all;
  for (const auto& problem : problems) {
    std::string line = problem.description();
    if (!line.empty() && line.back() != '\r') line += '\r';
    all += line;
  }
  // Only an import (supply type 4) is on a trade term, which the verification leaves to callers.
  if (rule.iSupplyType == 4 && !rule.cTermCode.empty()) {
    std::string line;
    try {
      if (!validator->CheckCoItem(probe, line) && all.find(line) == std::string::npos) all += line;
    } catch (const ComponentError&) {  // a check that cannot run adds nothing to what is known
    }
  }
  throw ComponentError(problems.front().source(), all, problems.front().key());
}

Json RuleTemplate(PriceRuleManager& manager) {
  auto rule = manager.NewVenInvPriceRule();
  rule->bCheckOverLap = true;
  rule->AddRuleItem()->iUpperLimit = Variant::Null();
  Json filled = Json::array();
  for (const auto& field : RuleFields()) {
    if (!field.stored && std::string_view(field.name) != "bCheckOverLap")
      filled.push_back(field.name);
  }
  Json out = {{"_filledIn", filled}};
  out.update(RuleToJson(*rule));
  return out;
}

}  // namespace tamsel::cli
