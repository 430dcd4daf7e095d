// Tier checks: the leading price sets the other by the tax rate; a failure appends its line and
// writes nothing.

#include <gtest/gtest.h>

#include "support/rule_fixtures.h"

namespace tamsel::testing {
namespace {

using Check = bool (Validator::*)(const std::shared_ptr<PriceRuleItem>&, std::string&);

TEST(TierChecksTest, LeadingPriceAndFailures) {
  RuleEnv env;
  Validator& validator = *env.validator;
  const auto rule = PriceRule::New();
  const auto item = rule->AddRuleItem();
  const struct {
    Check check;
    bool tax_cost;
    double rate, unit, tax_price, expected_unit, expected_tax_price;
    const char* key;  // the line a failure appends; nullptr when the check passes
  } cases[] = {
      {&Validator::CheckUnitPrice, false, 17, 100, 0, 100, 117, nullptr},
      {&Validator::CheckTaxUnitPrice, false, 17, 0, 117, 100, 117, nullptr},
      {&Validator::CheckTaxRate, true, 10, 50, 220, 200, 220, nullptr},
      {&Validator::CheckTaxRate, false, 10, 50, 220, 50, 55, nullptr},
      {&Validator::CheckTaxRate, false, 0, 50, 220, 50, 50, nullptr},
      {&Validator::CheckUnitPrice, false, 10, 0, 7, 0, 7, "00047"},
      {&Validator::CheckUnitPrice, false, 10, -1, 7, -1, 7, "00047"},
      {&Validator::CheckTaxUnitPrice, false, 10, 7, 0, 7, 0, "00048"},
      {&Validator::CheckTaxRate, false, 100, 7, 7, 7, 7, "00049"},
      {&Validator::CheckTaxRate, false, -0.01, 7, 7, 7, 7, "00049"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.rate << " " << c.unit << " " << c.tax_price);
    rule->bTaxCost = c.tax_cost;
    item->iTaxRate = c.rate;
    item->iUnitPrice = c.unit;
    item->iTaxUnitPrice = c.tax_price;
    std::string lines = "kept\r";
    EXPECT_EQ((validator.*c.check)(item, lines), c.key == nullptr);
    EXPECT_EQ(lines, c.key ? "kept\r" + KeyText(c.key) + "\r" : "kept\r");
    EXPECT_DOUBLE_EQ(item->iUnitPrice, c.expected_unit);
    EXPECT_DOUBLE_EQ(item->iTaxUnitPrice, c.expected_tax_price);
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
