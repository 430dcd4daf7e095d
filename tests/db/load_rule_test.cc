// LoadVenInvPriceRule: header mapping and tiers keyed by itemid.

#include <gtest/gtest.h>

#include "support/lookup_fixtures.h"

namespace tamsel::testing {
namespace {

TEST(LoadRule, HeaderFromTheView) {
  LookupEnv env;
  env.db.Exec("insert into ComputationUnit (cComUnitCode, cComUnitName) values ('PCS','Piece')");
  AddItem(env.db, {.code = "I01", .name = "Bolt", .unit = "PCS"});
  AddVendor(env.db, {.code = "V01", .iid = 1, .abb_name = "Acme"});
  const int32_t id = AddRule(env.db, {.disable = Variant("2024-12-31"),
                                      .promotion = Variant(int32_t{1}),
                                      .tax_cost = Variant(int32_t{-1}),
                                      .memo = "  padded  "});
  EXPECT_EQ(env.manager.LoadVenInvPriceRule(-5), nullptr);
  auto rule = env.manager.LoadVenInvPriceRule(id);
  ASSERT_NE(rule, nullptr);
  // The tax rate is the item's.
  EXPECT_EQ(RuleText(*rule), "id=" + std::to_string(id) +
                                 " ven=V01/Acme inv=I01/Bolt/I01-A/std unit=PCS/Piece tax=13 "
                                 "2024-01-01..2024-12-31 promo=1 exch=CNY supply=1 taxcost=1 "
                                 "memo=padded term=/ ufts=set tiers=0");
  EXPECT_FALSE(rule->bCheckOverLap);

  // Only 1 is a promotion, any number but 0 a tax cost (a bit column holds them all as 1).
  const std::pair<Variant, bool> flags[] = {{Variant(int32_t{0}), false},
                                            {Variant(int32_t{2}), true},
                                            {Variant(int32_t{-1}), true},
                                            {Variant::Null(), false}};
  for (const auto& [stored, tax_cost] : flags) {
    SCOPED_TRACE(VarToStr(stored));
    auto loaded =
        env.manager.LoadVenInvPriceRule(AddRule(env.db, {.promotion = stored, .tax_cost = stored}));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->bPromotion, BitFlags() && tax_cost);
    EXPECT_EQ(loaded->bTaxCost, tax_cost);
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
    std::vector<std::string> tiers;
    for (const auto& [key, item] : *rule->ruleItems) tiers.push_back(key + ": " + TierText(*item));
    const std::string prefix = ": id=" + std::to_string(id);
    // An upper limit of 0 is a limit, not "none".
    EXPECT_EQ(tiers, (std::vector<std::string>{
                         "1" + prefix + " #1 0..0 price=9 tax=13 taxprice=10.17",
                         "2" + prefix + " #2 0..50 price=8 tax=13 taxprice=9.04",
                         "3" + prefix + " #3 50..null price=7 tax=13 taxprice=7.91"}));
    third = rule->ruleItems->Item("3");
    EXPECT_EQ(third->objRule(), rule);
  }
  EXPECT_FALSE(weak.expired()) << "a tier handed out keeps its rule";
  third.reset();
  EXPECT_TRUE(weak.expired()) << "rule and tiers must not keep each other alive";
}

TEST(LoadRule, BadTiers) {
  const struct {
    const char* name;
    std::vector<int32_t> itemids;
    const char* fragment;
  } cases[] = {
      {"duplicate itemid", {1, 2, 2}, ""},
      {"itemid beyond 16 bits", {1, 40000}, "40000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LookupEnv env;
    const int32_t id = AddRule(env.db, {});
    for (int32_t itemid : c.itemids) AddRuleTier(env.db, id, itemid, 0, Variant::Null(), 1);
    ExpectAssertError([&] { env.manager.LoadVenInvPriceRule(id); }, c.fragment);
  }
  // Rows without the tier number would all become tier 0.
  LookupEnv env;
  const int32_t id = AddRule(env.db, {});
  AddRuleTier(env.db, id, 1, 0, Variant::Null(), 1);
  env.db.Exec("alter table ven_inv_price_ruleitem rename column itemid to tier");
  ExpectAssertError([&] { env.manager.LoadVenInvPriceRule(id); }, "itemid");
}

}  // namespace
}  // namespace tamsel::testing
