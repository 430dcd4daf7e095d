// Tier checks: each price follows the tax rate, nothing is written on failure.

#include <gtest/gtest.h>

#include "support/lookup_fixtures.h"
#include "tamsel/tamsel.h"

namespace tamsel::testing {
namespace {

std::string Line(const char* digits) {
  return GetResString(std::string("Zorvik.pu.Quorlin.") + digits) + "\r";
}

class TierChecksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The tier checks need no tables, only a validator, which comes from a ready manager.
    auto login = std::make_shared<SimpleLogin>(
        "Provider=SQLite;Data Source=file:tier_checks?mode=memory&cache=shared",
        Date::FromYmd(2024, 6, 1), std::make_shared<FakeRowAuth>());
    ASSERT_TRUE(VarToBool(manager.InitManager(login, MakeSysInfo(Date::FromYmd(2024, 6, 1)))));
    validator = manager.GetValidator();
    rule = PriceRule::New();
    item = rule->AddRuleItem();
  }
  void TearDown() override { manager.ExitManager(); }

  PriceRuleManager manager;
  std::shared_ptr<Validator> validator;
  std::shared_ptr<PriceRule> rule;
  std::shared_ptr<PriceRuleItem> item;
  std::string errstr = "kept\r";
};

TEST_F(TierChecksTest, TheLeadingPriceSetsTheOther) {
  struct Case {
    const char* name;
    bool (Validator::*check)(const std::shared_ptr<PriceRuleItem>&, std::string&);
    bool tax_cost;
    double rate, unit, tax_price, expected_unit, expected_tax_price;
  };
  const Case cases[] = {
      {"unit price leads", &Validator::CheckUnitPrice, false, 17, 100, 0, 100, 117},
      {"tax price leads", &Validator::CheckTaxUnitPrice, false, 17, 0, 117, 100, 117},
      {"rate, tax-inclusive cost", &Validator::CheckTaxRate, true, 10, 50, 220, 200, 220},
      {"rate, tax-exclusive cost", &Validator::CheckTaxRate, false, 10, 50, 220, 50, 55},
      {"rate 0", &Validator::CheckTaxRate, false, 0, 50, 220, 50, 50},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    rule->bTaxCost = c.tax_cost;
    item->iTaxRate = c.rate;
    item->iUnitPrice = c.unit;
    item->iTaxUnitPrice = c.tax_price;
    EXPECT_TRUE(((*validator).*c.check)(item, errstr));
    EXPECT_DOUBLE_EQ(item->iUnitPrice, c.expected_unit);
    EXPECT_DOUBLE_EQ(item->iTaxUnitPrice, c.expected_tax_price);
  }
  // 13 / 100 + 1 first, then the product: just below 113, kept as computed.
  item->iTaxRate = 13;
  item->iUnitPrice = 100;
  EXPECT_TRUE(validator->CheckUnitPrice(item, errstr));
  EXPECT_EQ(item->iTaxUnitPrice, (13.0 / 100 + 1) * 100);
  EXPECT_LT(item->iTaxUnitPrice, 113);
  EXPECT_EQ(errstr, "kept\r");
}

TEST_F(TierChecksTest, FailuresAppendTheirLineAndWriteNothing) {
  struct Case {
    const char* name;
    double unit, tax_price, rate;
    bool (Validator::*check)(const std::shared_ptr<PriceRuleItem>&, std::string&);
    const char* key;
  };
  const Case cases[] = {
      {"unit price 0", 0, 7, 10, &Validator::CheckUnitPrice, "00047"},
      {"unit price negative", -1, 7, 10, &Validator::CheckUnitPrice, "00047"},
      {"tax price 0", 7, 0, 10, &Validator::CheckTaxUnitPrice, "00048"},
      {"rate 100", 7, 7, 100, &Validator::CheckTaxRate, "00049"},
      {"rate negative", 7, 7, -0.01, &Validator::CheckTaxRate, "00049"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    item->iUnitPrice = c.unit;
    item->iTaxUnitPrice = c.tax_price;
    item->iTaxRate = c.rate;
    std::string lines = "kept\r";
    EXPECT_FALSE(((*validator).*c.check)(item, lines));
    EXPECT_EQ(lines, "kept\r" + Line(c.key));
    EXPECT_EQ(item->iUnitPrice, c.unit);
    EXPECT_EQ(item->iTaxUnitPrice, c.tax_price);
  }
}

TEST_F(TierChecksTest, ATierWithoutRuleCannotChooseItsLeadingPrice) {
  auto loose = std::make_shared<PriceRuleItem>();
  loose->iTaxRate = 10;
  EXPECT_THROW(validator->CheckTaxRate(loose, errstr), ComponentError);
  EXPECT_THROW(validator->CheckUnitPrice(nullptr, errstr), ComponentError);
}

}  // namespace
}  // namespace tamsel::testing
