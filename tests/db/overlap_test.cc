// The overlap check: its statement in both shapes and the boundaries of half-open periods.

#include <gtest/gtest.h>

#include "support/rule_fixtures.h"

namespace tamsel::testing {
namespace {

class OverlapTest : public ::testing::Test {
 protected:
  // A rule of V01/I01/CNY, supply type 1, with the given period ("" = no end).
  std::shared_ptr<PriceRule> Rule(const std::string& enable, const std::string& disable) {
    auto rule = env.NewRule(1);
    rule->dEnableDate = enable;
    rule->dDisableDate = disable;
    return rule;
  }
  int32_t Store(const std::string& enable, const std::string& disable) {
    auto rule = Rule(enable, disable);
    env.manager.CreateVenInvPriceRule(rule);
    return rule->id;
  }
  bool Passes(const std::shared_ptr<PriceRule>& rule) {
    std::string errstr = "earlier\r";
    const bool ok = env.validator->CheckRuleOverLap(rule, errstr);
    EXPECT_EQ(errstr, ok ? "earlier\r" : KeyText("00500"));
    return ok;
  }

  RuleEnv env;
};

TEST_F(OverlapTest, StatementInBothShapesAndWithTradeTerm) {
  StatementLog log;
  auto open_ended = Rule("2024-01-01", "");
  Passes(open_ended);
  auto bounded = Rule("2024-01-01", "2024-02-01");
  bounded->id = 42;
  bounded->iSupplyType = 4;
  bounded->cTermCode = "FOB";
  Passes(bounded);
  ASSERT_EQ(log.statements().size(), 2u);
  EXPECT_EQ(log.statements()[0],
            "select id from ven_inv_price_rule where  cvencode =N'V01' and cinvcode =N'I01' and "
            "iSupplyType= 1 and cExch_Name =N'CNY' and ((dEnableDate >='2024-01-01') or "
            "((dEnableDate <'2024-01-01') and ((dDisableDate is null) or "
            "(dDisableDate>'2024-01-01'))))");
  EXPECT_EQ(log.statements()[1],
            "select id from ven_inv_price_rule where  id <> 42 and  cvencode =N'V01' and "
            "cinvcode =N'I01' and iSupplyType= 4 and cExch_Name =N'CNY' and ((dEnableDate "
            "<='2024-01-01' and ((dDisableDate  is null) or (dDisableDate>'2024-01-01')))  or "
            "(dEnableDate >'2024-01-01' and dEnableDate <'2024-02-01')) And ctermcode = N'FOB'");
}

TEST_F(OverlapTest, TouchingPeriodsPassAndSharedDaysFail) {
  Store("2024-01-01", "2024-02-01");
  struct Case {
    std::string enable, disable;
    bool passes;
  };
  const Case cases[] = {
      {"2024-02-01", "", true},             // begins the day the stored rule ends
      {"2024-01-31", "2024-03-01", false},  // shares 2024-01-31
      {"2023-12-01", "2024-01-01", true},   // ends the day the stored rule begins
      {"2023-12-01", "2024-01-02", false},
      {"2024-01-10", "2024-01-20", false},  // inside
      {"2023-01-01", "", false},            // open end covers it
      {"2023-01-01", "2025-01-01", false},  // around it
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.enable + " to " + c.disable);
    EXPECT_EQ(Passes(Rule(c.enable, c.disable)), c.passes);
  }
}

TEST_F(OverlapTest, AStoredRuleWithoutEnd) {
  Store("2024-01-01", "");
  EXPECT_FALSE(Passes(Rule("2023-06-01", "2024-01-02")));
  EXPECT_FALSE(Passes(Rule("2030-01-01", "")));
  EXPECT_FALSE(Passes(Rule("2020-01-01", "")));
  EXPECT_TRUE(Passes(Rule("2023-06-01", "2024-01-01")));
}

TEST_F(OverlapTest, OnlyTheSameVendorItemTypeCurrencyAndTermCount) {
  const int32_t id = Store("2024-01-01", "");
  auto own = env.manager.LoadVenInvPriceRule(id);
  own->bCheckOverLap = true;
  EXPECT_TRUE(Passes(own));  // its own stored row is left out
  auto other_currency = Rule("2024-01-01", "");
  other_currency->cExchName = "USD";
  EXPECT_TRUE(Passes(other_currency));
  auto other_vendor = Rule("2024-01-01", "");
  other_vendor->cVenCode = "V05";
  EXPECT_TRUE(Passes(other_vendor));
  auto other_type = Rule("2024-01-01", "");
  other_type->iSupplyType = 2;
  EXPECT_TRUE(Passes(other_type));

  auto fob = Rule("2024-01-01", "");
  fob->cVenCode = "V02";
  fob->iSupplyType = 4;
  fob->cTermCode = "FOB";
  env.manager.CreateVenInvPriceRule(fob);
  auto cif = Rule("2024-06-01", "");
  cif->cVenCode = "V02";
  cif->iSupplyType = 4;
  cif->cTermCode = "CIF";
  EXPECT_TRUE(Passes(cif));
  cif->cTermCode = "FOB";
  EXPECT_FALSE(Passes(cif));
}

TEST_F(OverlapTest, SwitchedOffReadsNothing) {
  Store("2024-01-01", "");
  auto rule = Rule("2024-01-01", "");
  rule->bCheckOverLap = false;
  StatementLog log;
  EXPECT_TRUE(Passes(rule));
  EXPECT_TRUE(log.statements().empty());
}

}  // namespace
}  // namespace tamsel::testing
