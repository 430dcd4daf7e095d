#pragma once

// The rule file: a PriceRule as JSON, its header fields by name and a "ruleItems" array of tiers.
// `rule show --json` writes it, `rule create` and `rule save` read it, and the bulk import and
// export map their rows onto it.

#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "present/output.h"
#include "tamsel/tamsel.h"

namespace tamsel::cli {

struct RuleField {
  const char* name;
  std::variant<std::string PriceRule::*, int32_t PriceRule::*, double PriceRule::*,
               bool PriceRule::*>
      member;
  bool stored;  // written to the database by create and save
};

// The header fields in the rule's own order.
const std::vector<RuleField>& RuleFields();
// The tier fields of a rule file, in order: index, iLowerLimit, iUpperLimit, iUnitPrice,
// iTaxRate, iTaxUnitPrice.
const std::vector<std::string>& TierFieldNames();

Json RuleHeaderToJson(const PriceRule& rule);
Json TierToJson(const PriceRuleItem& tier);
// Header and tiers in key order ("1" to n).
Json RuleToJson(const PriceRule& rule);

// A rule from a rule file. Starts from the manager's new-rule defaults, so a file needs only the
// fields it sets; a tier without iLowerLimit starts where the previous one ends and one without
// iUpperLimit has none. Unknown fields and values of the wrong kind throw ToolError naming the
// field.
std::shared_ptr<PriceRule> RuleFromJson(const Json& file, PriceRuleManager& manager);

// Verifies the rule as create and save will; a refused rule is reported with every problem the
// checks find, not only the first one verification stops at (the error keeps the first's key).
void VerifyReportingAll(PriceRuleManager& manager, const PriceRule& rule);

// A rule file to fill in: the defaults, one open tier, the overlap check on, and the fields
// Tamsel fills in itself named under "_filledIn" (keys starting with "_" are notes, not read).
Json RuleTemplate(PriceRuleManager& manager);

// Field and value pairs of the header for a text display.
std::vector<std::pair<std::string, std::string>> RuleHeaderDisplay(const PriceRule& rule);
// The tiers as a table.
Table TierTable(const PriceRule& rule);

}  // namespace tamsel::cli
