// LoadVenInvPriceRule: the two statements, header mapping and tiers keyed by itemid.

#include <gtest/gtest.h>

#include "support/lookup_fixtures.h"

namespace tamsel::testing {
namespace {

TEST(LoadRule, StatementsAndMissingRule) {
  LookupEnv env;
  const int32_t id = AddRule(env.db, {});
  StatementLog log;
  ASSERT_NE(env.manager.LoadVenInvPriceRule(id), nullptr);
  EXPECT_EQ(
      log.statements(),
      (std::vector<std::string>{"select * from pu_VenInvPriceRule where id =" + std::to_string(id),
                                "select * from ven_inv_price_ruleitem where id=" +
                                    std::to_string(id) + " order by itemid"}));
  log.clear();
  EXPECT_EQ(env.manager.LoadVenInvPriceRule(-5), nullptr);
  EXPECT_EQ(log.statements(),
            std::vector<std::string>{"select * from pu_VenInvPriceRule where id =-5"});
}

TEST(LoadRule, HeaderFromTheView) {
  LookupEnv env;
  env.db.Exec("insert into ComputationUnit (cComUnitCode, cComUnitName) values ('PCS','Piece')");
  AddItem(env.db, {.code = "I01", .name = "Bolt", .unit = "PCS"});
  AddVendor(env.db, {.code = "V01", .iid = 1, .abb_name = "Acme"});
  const int32_t id = AddRule(env.db, {.disable = Variant("2024-12-31"),
                                      .promotion = Variant(int32_t{1}),
                                      .tax_cost = Variant(int32_t{-1}),
                                      .memo = "  padded  "});
  auto rule = env.manager.LoadVenInvPriceRule(id);
  ASSERT_NE(rule, nullptr);
  EXPECT_EQ(rule->id, id);
  EXPECT_EQ(rule->cVenCode, "V01");
  EXPECT_EQ(rule->cVenAbbName, "Acme");
  EXPECT_EQ(rule->cInvName, "Bolt");
  EXPECT_EQ(rule->cComUnitName, "Piece");
  EXPECT_DOUBLE_EQ(rule->iTaxRate, 13);  // the item's rate
  EXPECT_EQ(rule->dEnableDate, "2024-01-01");
  EXPECT_EQ(rule->dDisableDate, "2024-12-31");
  EXPECT_TRUE(rule->bPromotion);
  EXPECT_TRUE(rule->bTaxCost);
  EXPECT_EQ(rule->cMemo, "padded");
  EXPECT_EQ(rule->cTermName, "");
  EXPECT_FALSE(rule->ufts.empty());
  EXPECT_FALSE(rule->bCheckOverLap);
  EXPECT_EQ(rule->ruleItems->Count(), 0);

  const struct {
    Variant stored;
    bool promotion;
    bool tax_cost;
  } flags[] = {{Variant(int32_t{0}), false, false},
               {Variant(int32_t{2}), false, true},
               {Variant(int32_t{-1}), false, true},
               {Variant::Null(), false, false}};
  for (const auto& f : flags) {
    SCOPED_TRACE(VarToStr(f.stored));
    const int32_t other = AddRule(env.db, {.promotion = f.stored, .tax_cost = f.stored});
    auto loaded = env.manager.LoadVenInvPriceRule(other);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->bPromotion, f.promotion);
    EXPECT_EQ(loaded->bTaxCost, f.tax_cost);
    EXPECT_EQ(loaded->cVenAbbName, "Acme");
  }
}

TEST(LoadRule, TiersKeyedByItemid) {
  LookupEnv env;
  const int32_t id = AddRule(env.db, {});
  AddRuleTier(env.db, id, 3, 50, Variant::Null(), 7);
  AddRuleTier(env.db, id, 1, 0, Variant(0.0), 9);
  AddRuleTier(env.db, id, 2, 0, Variant(50.0), 8);
  AddRuleTier(env.db, AddRule(env.db, {}), 1, 0, Variant::Null(), 1);  // another rule's tier
  std::weak_ptr<PriceRule> weak;
  std::shared_ptr<PriceRuleItem> third;
  {
    auto rule = env.manager.LoadVenInvPriceRule(id);
    ASSERT_NE(rule, nullptr);
    weak = rule;
    ASSERT_EQ(rule->ruleItems->Count(), 3);
    std::vector<std::string> keys;
    for (const auto& [key, item] : *rule->ruleItems) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"1", "2", "3"}));
    auto first = rule->ruleItems->Item("1");
    EXPECT_EQ(first->index, 1);
    EXPECT_EQ(first->id, id);
    EXPECT_EQ(first->iUpperLimit, Variant(0.0));  // 0 is a limit, not "none"
    EXPECT_DOUBLE_EQ(first->iUnitPrice, 9);
    third = rule->ruleItems->Item("3");
    EXPECT_TRUE(third->iUpperLimit.IsNull());
    EXPECT_DOUBLE_EQ(third->iLowerLimit, 50);
    EXPECT_EQ(third->objRule(), rule);
  }
  EXPECT_FALSE(weak.expired()) << "a tier handed out keeps its rule";
  third.reset();
  EXPECT_TRUE(weak.expired()) << "rule and tiers must not keep each other alive";
}

TEST(LoadRule, Failures) {
  const struct {
    const char* name;
    std::vector<int32_t> itemids;
    const char* fragment;  // of the description
  } cases[] = {
      {"duplicate itemid", {1, 2, 2}, ""},
      {"itemid beyond 16 bits", {1, 40000}, "40000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LookupEnv env;
    const int32_t id = AddRule(env.db, {});
    for (int32_t itemid : c.itemids) AddRuleTier(env.db, id, itemid, 0, Variant::Null(), 1);
    auto error = CatchComponentError([&] { env.manager.LoadVenInvPriceRule(id); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number(), -2147220503);
    EXPECT_EQ(error->source(), "Assert");
    EXPECT_FALSE(error->description().empty());
    EXPECT_NE(error->description().find(c.fragment), std::string::npos) << error->description();
  }
  PriceRuleManager never_initialised;
  auto error = CatchComponentError([&] { never_initialised.LoadVenInvPriceRule(1); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->source(), "Assert");
  EXPECT_NE(error->description().find("not initialised"), std::string::npos);
}

}  // namespace
}  // namespace tamsel::testing
