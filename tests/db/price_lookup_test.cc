// GetVenInvPriceRuleItem: the winning price row and the tier it becomes.

#include <gtest/gtest.h>

#include "support/lookup_fixtures.h"

namespace tamsel::testing {
namespace {

const Date kDay = FixtureToday();

TEST(PriceLookup, WinnerOrder) {
  const Variant promo = Variant(int32_t{1});
  const struct {
    const char* name;
    std::vector<PriceRow> rows;
    double quantity;
    int winner;               // index into rows, -1 for none
    const char* ven = "V01";  // asked for
  } cases[] = {
      {"own vendor before any vendor's promotion and higher tier",
       {{.ven = Variant("V01")},
        {.ven = Variant::Null(), .promotion = promo, .lower = 5},
        {.ven = Variant(""), .promotion = promo}},
       10,
       0},
      {"promotion before a higher tier", {{.lower = 5}, {.promotion = promo}}, 10, 1},
      {"greatest lower limit reached", {{.lower = 0}, {.lower = 100}}, 100, 1},
      {"lower limit above the quantity", {{.lower = 0}, {.lower = 100}}, 99.5, 0},
      {"below every lower limit", {{.lower = 10}}, 9, -1},
      {"latest enable date", {{.enable = "2024-03-01"}, {.enable = "2024-02-01"}}, 1, 0},
      {"highest autoid", {{.price = 1}, {.price = 2}}, 1, 1},
      {"disabled on the day, enabled on the day",
       {{.enable = "2024-01-01", .disable = Variant("2024-06-15")}, {.enable = "2024-06-15"}},
       1,
       1},
      {"upper limit below the quantity takes no part", {{.upper = Variant(5.0)}}, 50, 0},
      {"row of another vendor", {{.ven = Variant("V02")}}, 1, -1},
      {"no vendor finds only rows of any vendor",
       {{.price = 1}, {.ven = Variant::Null()}},
       1,
       1,
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LookupEnv env;
    std::vector<int32_t> ids;
    for (const auto& r : c.rows) ids.push_back(AddPrice(env.db, r));
    auto item = env.manager.GetVenInvPriceRuleItem(c.ven, "I01", kDay, c.quantity);
    EXPECT_EQ(item ? item->id : 0, c.winner < 0 ? 0 : ids[c.winner]);
  }
}

TEST(PriceLookup, TierAndRuleFromTheRow) {
  LookupEnv env;
  const int32_t id = AddPrice(env.db, {.promotion = Variant::Null(),
                                       .exch = Variant("USD"),
                                       .lower = 10,
                                       .price = 4,
                                       .tax_rate = 17,
                                       .term = "FOB"});
  EXPECT_EQ(env.manager.GetVenInvPriceRuleItem("V01", "I01", kDay, 10, "CNY"), nullptr);
  EXPECT_NE(env.manager.GetVenInvPriceRuleItem("V01", "I01", kDay, 10, "   "), nullptr);
  auto item = env.manager.GetVenInvPriceRuleItem("V01", "I01", kDay, 10, "USD");
  ASSERT_NE(item, nullptr);
  const std::string ids = "id=" + std::to_string(id);
  EXPECT_EQ(TierText(*item), ids + " #1 10..null price=4 tax=17 taxprice=4.68");

  std::weak_ptr<PriceRule> weak_rule = item->objRule();
  ASSERT_FALSE(weak_rule.expired()) << "the tier keeps its rule alive";
  // The row's tax rate is the tier's, not the rule's; no names are read.
  EXPECT_EQ(RuleText(*item->objRule()),
            ids +
                " ven=V01/ inv=I01/// unit=/ tax=0 2024-01-01.. promo=0 exch=USD supply=1 "
                "taxcost=1 memo= term=FOB/ ufts= tiers=1");
}

}  // namespace
}  // namespace tamsel::testing
