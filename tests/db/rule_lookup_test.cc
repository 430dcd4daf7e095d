// GetVenInvPriceRule: the winning rule, validity, mapping and the failures.

#include <gtest/gtest.h>

#include "support/lookup_fixtures.h"

namespace tamsel::testing {
namespace {

const Date kDay = FixtureToday();

TEST(RuleLookup, WinnerOrder) {
  const struct {
    const char* name;
    std::vector<RuleRow> rules;
    const char* winner;  // memo of the expected rule, "" for none
  } cases[] = {
      {"own vendor before any vendor, even a promotion with a higher id",
       {{.ven = Variant("V01"), .memo = "own"},
        {.ven = Variant(""), .promotion = Variant(int32_t{1}), .memo = "blank"},
        {.ven = Variant::Null(), .promotion = Variant(int32_t{1}), .memo = "null"}},
       "own"},
      {"any vendor when the vendor has none",
       {{.ven = Variant("V02"), .memo = "other"}, {.ven = Variant::Null(), .memo = "any"}},
       "any"},
      {"promotion before a higher id",
       {{.promotion = Variant(int32_t{1}), .memo = "promo"}, {.memo = "plain"}},
       "promo"},
      {"highest id", {{.memo = "old"}, {.memo = "new"}}, "new"},
      {"enabled on the day, disabled on the day",
       {{.enable = "2024-06-15", .memo = "starts"},
        {.enable = "2024-01-01", .disable = Variant("2024-06-15"), .memo = "ended"}},
       "starts"},
      {"disabled the day after still valid",
       {{.enable = "2024-01-01", .disable = Variant("2024-06-16"), .memo = "valid"},
        {.enable = "2024-06-16", .memo = "future"}},
       "valid"},
      {"other supply type or item", {{.inv = "I02"}, {.supply_type = 2}}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LookupEnv env;
    for (const auto& r : c.rules) AddRule(env.db, r);
    auto rule = env.manager.GetVenInvPriceRule("V01", "I01", kDay);
    EXPECT_EQ(rule ? rule->cMemo : "", c.winner);
  }
}

TEST(RuleLookup, CurrencyMappingQuotesAndFailure) {
  LookupEnv env;
  AddRule(env.db, {.exch = Variant("CNY"), .memo = "cny"});
  const int32_t usd = AddRule(env.db, {.promotion = Variant(int32_t{2}),
                                       .exch = Variant("USD"),
                                       .tax_cost = Variant(int32_t{0}),
                                       .memo = "  usd  ",
                                       .term = "FOB"});
  EXPECT_EQ(env.manager.GetVenInvPriceRule("V01", "I01", kDay, "CNY")->cMemo, "cny");
  EXPECT_EQ(env.manager.GetVenInvPriceRule("V01", "I01", kDay, "EUR"), nullptr);
  EXPECT_EQ(env.manager.GetVenInvPriceRule("V01", "I01", kDay, "   ")->id, usd);  // any currency
  auto rule = env.manager.GetVenInvPriceRule("V01", "I01", kDay, "  USD ");
  ASSERT_NE(rule, nullptr);
  // Only 1 is a promotion (a bit column holds 2 as 1); the memo is trimmed.
  EXPECT_EQ(RuleText(*rule), "id=" + std::to_string(usd) + " ven=V01/ inv=I01/// unit=/ tax=0 " +
                                 "2024-01-01.. promo=" + (BitFlags() ? "1" : "0") +
                                 " exch=USD supply=1 taxcost=0 memo=usd term=FOB/ ufts= tiers=0");
  AddRule(env.db,
          {.ven = Variant("O'Brien"), .inv = "I'01", .exch = Variant("US'D"), .memo = "quoted"});
  EXPECT_EQ(env.manager.GetVenInvPriceRule("O'Brien", "I'01", kDay, "US'D")->cMemo, "quoted");
  EXPECT_EQ(env.manager.GetVenInvPriceRule("x' or '1'='1", "I'01", kDay), nullptr);
  env.db.Exec("drop table ven_inv_price_rule");
  ExpectAssertError([&] { env.manager.GetVenInvPriceRule("V01", "I01", kDay); },
                    "ven_inv_price_rule");
}

}  // namespace
}  // namespace tamsel::testing
