// Tier checks: the leading price sets the other by the tax rate; a failure appends its line and
// writes nothing.

#include <gtest/gtest.h>

#include <map>

#include "support/lookup_fixtures.h"
#include "unit/data_table.h"

namespace tamsel::testing {
namespace {

using Check = bool (Validator::*)(const std::shared_ptr<PriceRuleItem>&, std::string&);

TEST(TierChecksTest, LeadingPriceAndFailures) {
  RuleEnv env;
  Validator& validator = *env.validator;
  const auto rule = PriceRule::New();
  const auto item = rule->AddRuleItem();
  const std::map<std::string, Check> checks = {{"unit", &Validator::CheckUnitPrice},
                                               {"tax price", &Validator::CheckTaxUnitPrice},
                                               {"rate", &Validator::CheckTaxRate}};
  for (const table::Row& row : table::Read("data/tier_checks.txt")) {
    SCOPED_TRACE(row.where);
    const auto number = [&](int field) { return VarToDbl(Variant(row.fields.at(field))); };
    rule->bTaxCost = row.fields.at(1) == "1";
    item->iTaxRate = number(2);
    item->iUnitPrice = number(3);
    item->iTaxUnitPrice = number(4);
    const std::string& key = row.fields.at(7);
    std::string lines = "kept\r";
    EXPECT_EQ((validator.*checks.at(row.fields[0]))(item, lines), key.empty());
    EXPECT_EQ(lines, key.empty() ? "kept\r" : "kept\r" + KeyText(key) + "\r");
    EXPECT_DOUBLE_EQ(item->iUnitPrice, number(5));
    EXPECT_DOUBLE_EQ(item->iTaxUnitPrice, number(6));
  }
  // 13 / 100 + 1 first, then the product: just below 113, kept as computed.
  item->iTaxRate = 13;
  item->iUnitPrice = 100;
  std::string lines;
  EXPECT_TRUE(validator.CheckUnitPrice(item, lines));
  EXPECT_EQ(item->iTaxUnitPrice, (13.0 / 100 + 1) * 100);
  EXPECT_LT(item->iTaxUnitPrice, 113);

  // A tier without rule cannot choose its leading price.
  const auto loose = std::make_shared<PriceRuleItem>();
  loose->iTaxRate = 10;
  EXPECT_THROW(validator.CheckTaxRate(loose, lines), ComponentError);
  EXPECT_THROW(validator.CheckUnitPrice(nullptr, lines), ComponentError);
}

}  // namespace
}  // namespace tamsel::testing
