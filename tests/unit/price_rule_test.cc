// Tiers of a price rule: numbering, chaining, choice by quantity and ownership.

#include "tamsel/price_rule.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace tamsel {
namespace {

// A rule with tiers [limits[0], limits[1]), [limits[1], limits[2]), ...; a Null last limit is
// open-ended.
std::shared_ptr<PriceRule> RuleWithUpperLimits(const std::vector<Variant>& uppers) {
  auto rule = PriceRule::New();
  for (const Variant& upper : uppers) rule->AddRuleItem()->iUpperLimit = upper;
  return rule;
}

// The tiers as "key:lower limit", in key order.
std::string Tiers(const PriceRule& rule) {
  std::string out;
  for (const auto& [key, item] : *rule.ruleItems)
    out += key + ":" + VarToStr(item->iLowerLimit) + " ";
  return out;
}

TEST(PriceRuleTest, AddRuleItemChainsFromThePreviousTier) {
  auto rule = PriceRule::New();
  EXPECT_EQ(rule->GetPriceRuleItem(1), nullptr);
  rule->id = 42;
  rule->iTaxRate = 13;
  const auto first = rule->AddRuleItem();
  EXPECT_EQ(first->index, 1);
  EXPECT_EQ(first->id, 42);
  EXPECT_EQ(first->iTaxRate, 13);
  EXPECT_TRUE(first->iUpperLimit.IsEmpty());
  EXPECT_EQ(first->objRule(), rule);

  first->iUpperLimit = 10.0;
  const auto second = rule->AddRuleItem();
  EXPECT_EQ(second->index, 2);
  EXPECT_EQ(rule->ruleItems->Item("2"), second);

  second->iUpperLimit = Variant::Null();
  rule->AddRuleItem();  // after an open end: from 0
  EXPECT_EQ(Tiers(*rule), "1:0 2:10 3:0 ");
}

TEST(PriceRuleTest, GetPriceRuleItemPicksTheFirstBandHoldingTheQuantity) {
  const auto rule = RuleWithUpperLimits({10.0, 50.0, Variant::Null()});
  const struct {
    int tier;  // 0: none
    std::vector<double> quantities;
  } cases[] = {{1, {0, 9.999}},
               {2, {10, 49.5}},
               {3, {50, 1000, 1e300, std::numeric_limits<double>::infinity()}},
               {0, {-0.001, std::nan("")}}};
  for (const auto& c : cases) {
    for (double quantity : c.quantities) {
      const auto item = rule->GetPriceRuleItem(quantity);
      EXPECT_EQ(item ? item->index : 0, c.tier) << quantity;
    }
  }

  // Overlapping bands: the lower number wins.
  const auto overlapping = RuleWithUpperLimits({100.0, 20.0});
  overlapping->ruleItems->Item("2")->iLowerLimit = 0;
  EXPECT_EQ(overlapping->GetPriceRuleItem(5)->index, 1);

  // An upper limit never set counts as 0: only quantities in [lower, 0) pass.
  const auto unset = PriceRule::New();
  unset->AddRuleItem()->iLowerLimit = -5;
  EXPECT_EQ(unset->GetPriceRuleItem(0), nullptr);
  EXPECT_NE(unset->GetPriceRuleItem(-1), nullptr);
}

TEST(PriceRuleTest, RemoveRuleItemRenumbersAndRechains) {
  auto rule = RuleWithUpperLimits({10.0, 50.0, 80.0, Variant::Null()});
  const auto old_third = rule->ruleItems->Item("3");

  int16_t index = 2;
  rule->RemoveRuleItem(index);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(Tiers(*rule), "1:0 2:10 3:80 ");
  EXPECT_EQ(rule->ruleItems->Item("2"), old_third);
  EXPECT_EQ(old_third->index, 3);  // moved tiers keep their numbers

  index = 3;  // the last tier: nothing else changes
  rule->RemoveRuleItem(index);
  EXPECT_EQ(Tiers(*rule), "1:0 2:10 ");

  index = 1;
  rule->RemoveRuleItem(index);
  EXPECT_EQ(Tiers(*rule), "1:0 ");
}

TEST(PriceRuleTest, MissingTiersFailAndChangeNothing) {
  auto rule = RuleWithUpperLimits({10.0, Variant::Null()});
  for (int16_t missing : {int16_t{0}, int16_t{3}, int16_t{-1}}) {
    int16_t index = missing;
    EXPECT_THROW(rule->RemoveRuleItem(index), std::out_of_range) << missing;
    EXPECT_THROW(rule->AdjustRuleItem(index), std::out_of_range) << missing;
  }
  EXPECT_EQ(Tiers(*rule), "1:0 2:10 ");

  // Keys broken from outside: a gap before the tiers that would move.
  rule->ruleItems->Remove("2");
  auto extra = std::make_shared<PriceRuleItem>();
  rule->ruleItems->Add(extra, "3");
  int16_t index = 1;
  EXPECT_THROW(rule->RemoveRuleItem(index), std::out_of_range);
  EXPECT_EQ(Tiers(*rule), "1:0 3:0 ");
  index = 3;
  EXPECT_THROW(rule->AdjustRuleItem(index), std::out_of_range);
  // The next number is taken already.
  EXPECT_THROW(rule->AddRuleItem(), std::invalid_argument);
  // The next number is free but its predecessor is missing: the add is undone.
  rule->ruleItems->Remove("3");
  rule->ruleItems->Add(extra, "5");
  EXPECT_THROW(rule->AddRuleItem(), std::out_of_range);
  EXPECT_EQ(Tiers(*rule), "1:0 5:0 ");
}

TEST(RuleItemsTest, KeyedCollection) {
  RuleItems items;
  auto a = std::make_shared<PriceRuleItem>();
  items.Add(a, "1");
  EXPECT_THROW(items.Add(std::make_shared<PriceRuleItem>(), "1"), std::invalid_argument);
  EXPECT_THROW(items.Add(nullptr, "2"), std::invalid_argument);
  EXPECT_THROW(items.Item("2"), std::out_of_range);
  EXPECT_THROW(items.Remove("2"), std::out_of_range);
  EXPECT_EQ(items.Item("1"), a);  // a tier without rule comes back as itself
  items.Remove("1");
  EXPECT_FALSE(items.Contains("1"));
}

TEST(PriceRuleTest, TierNumbersStopAt32767) {
  auto rule = PriceRule::New();
  for (int i = 0; i < 32767; ++i) rule->AddRuleItem();
  EXPECT_EQ(rule->ruleItems->Count(), 32767);
  EXPECT_THROW(rule->AddRuleItem(), std::overflow_error);
  EXPECT_EQ(rule->ruleItems->Count(), 32767);
  int16_t last = 32767;
  rule->RemoveRuleItem(last);
  EXPECT_EQ(rule->AddRuleItem()->index, 32767);
}

}  // namespace
}  // namespace tamsel
