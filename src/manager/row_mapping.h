#pragma once

// How result rows become objects: one mapping for a rule header, one for a tier, shared by
// every look-up and by loading. Each reads only the columns its result has, so one mapping
// serves statements that select different column sets.

#include "tamsel/compare.h"
#include "tamsel/price_rule.h"
#include "tamsel/services.h"
#include "tamsel/variant.h"

namespace tamsel::detail {

// Header fields from the current row: texts trimmed, bPromotion true only for 1 or True, the rule's
// tax rate from "iInvTaxRate" (a tier's "iTaxRate" is never the rule's). Fields whose column
// is absent keep their value.
void FillRuleFromRow(PriceRule& rule, const Recordset& row);

// Where a tier's columns sit in one result, found once and used for every row of it.
class TierColumns {
 public:
  TierColumns(const Recordset& result, bool numbered);

 private:
  friend void FillTierFromRow(PriceRuleItem&, const Recordset&, const TierColumns&);
  int32_t at_[6];
  bool numbered_;
};

// Tier fields from the current row: limits, tax rate and prices, the upper limit unconverted
// (Null stays Null); when numbered, the tier number from "itemid", which throws
// std::out_of_range when it does not fit 16 bits. A missing column throws
// std::invalid_argument.
void FillTierFromRow(PriceRuleItem& item, const Recordset& row, const TierColumns& columns);
void FillTierFromRow(PriceRuleItem& item, const Recordset& row, bool numbered);

// The price-list row under the cursor as a new rule holding one tier: the tier is returned as
// a handle that keeps its rule alive. Null when the result is at its end.
std::shared_ptr<PriceRuleItem> TierWithRuleFromRow(const Recordset& row);

// A row of the comparison's statement with its conversion columns as a compared price: the
// tier and rule as TierWithRuleFromRow, the local price from "inatprice". A missing column
// throws std::invalid_argument.
ComparedPrice ComparedPriceFromRow(const Recordset& row);

// A value read as a Boolean where an unreadable value is a failure, not False: Empty is false,
// numbers are true when not zero, texts are True/False in any case or numbers; Null and any
// other value throw std::invalid_argument.
bool StrictBool(const Variant& value);

}  // namespace tamsel::detail
