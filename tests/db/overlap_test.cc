// The overlap check: the boundaries of half-open periods and what counts as the same rule.

#include <gtest/gtest.h>

#include "support/rule_fixtures.h"

namespace tamsel::testing {
namespace {

class OverlapTest : public ::testing::Test {
 protected:
  // "" for no end.
  std::shared_ptr<PriceRule> Rule(const std::string& enable, const std::string& disable) {
    auto rule = env.NewRule(1);
    rule->dEnableDate = enable;
    rule->dDisableDate = disable;
    return rule;
  }
  bool Passes(const std::shared_ptr<PriceRule>& rule) {
    std::string errstr = "earlier\r";
    const bool ok = env.validator->CheckRuleOverLap(rule, errstr);
    EXPECT_EQ(errstr, ok ? "earlier\r" : KeyText("00500"));
    return ok;
  }

  RuleEnv env;
};

TEST_F(OverlapTest, TouchingPeriodsPassAndSharedDaysFail) {
  struct Case {
    std::string stored_end, enable, disable;  // the stored rule begins on 2024-01-01
    bool passes;
  };
  const Case cases[] = {
      {"2024-02-01", "2024-02-01", "", true},             // begins the day the stored rule ends
      {"2024-02-01", "2024-01-31", "2024-03-01", false},  // shares 2024-01-31
      {"2024-02-01", "2023-12-01", "2024-01-01", true},   // ends the day the stored rule begins
      {"2024-02-01", "2023-12-01", "2024-01-02", false},
      {"2024-02-01", "2024-01-10", "2024-01-20", false},  // inside
      {"2024-02-01", "2023-01-01", "", false},            // open end covers it
      {"2024-02-01", "2023-01-01", "2025-01-01", false},  // around it
      {"", "2023-06-01", "2024-01-01", true},
      {"", "2023-06-01", "2024-01-02", false},
      {"", "2030-01-01", "", false},
      {"", "2020-01-01", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.enable + " to " + c.disable + " against an end of " + c.stored_end);
    env.Store("2024-01-01", c.stored_end);
    EXPECT_EQ(Passes(Rule(c.enable, c.disable)), c.passes);
    env.db.Exec("delete from ven_inv_price_rule");
  }
}

TEST_F(OverlapTest, OnlyTheSameVendorItemTypeCurrencyAndTermCount) {
  auto own = env.manager.LoadVenInvPriceRule(env.Store("2024-01-01")->id);
  own->bCheckOverLap = true;
  EXPECT_TRUE(Passes(own));  // its own stored row is left out
  auto other = [&](void (*edit)(PriceRule&)) {
    auto rule = Rule("2024-01-01", "");
    edit(*rule);
    return Passes(rule);
  };
  EXPECT_TRUE(other([](PriceRule& r) { r.cExchName = "USD"; }));
  EXPECT_TRUE(other([](PriceRule& r) { r.cVenCode = "V05"; }));
  EXPECT_TRUE(other([](PriceRule& r) { r.iSupplyType = 2; }));
  auto overseas = [&](const char* term) {
    auto rule = Rule("2024-06-01", "");
    rule->cVenCode = "V02";
    rule->iSupplyType = 4;
    rule->cTermCode = term;
    return rule;
  };
  env.manager.CreateVenInvPriceRule(overseas("FOB"));
  EXPECT_TRUE(Passes(overseas("CIF")));
  auto fob = overseas("FOB");
  EXPECT_FALSE(Passes(fob));
  fob->bCheckOverLap = false;  // switched off: reads nothing
  StatementLog log;
  EXPECT_TRUE(Passes(fob));
  EXPECT_TRUE(log.statements().empty());
}

}  // namespace
}  // namespace tamsel::testing
