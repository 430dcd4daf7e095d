// Removing rules with their tiers, and listing rules and price-list rows.

#include <gtest/gtest.h>

#include "support/rule_fixtures.h"

namespace tamsel::testing {
namespace {

class RemoveListTest : public ::testing::Test {
 protected:
  RuleEnv env;
};

TEST_F(RemoveListTest, RemoveDeletesTheRuleAndItsTiersOnly) {
  const int32_t keep = env.Store("2024-01-01")->id;
  env.manager.RemoveVenInvPriceRule(env.Store("2025-01-01", "", 3)->id);
  EXPECT_EQ(env.Count("select count(*) from ven_inv_price_ruleitem"), 2);
  EXPECT_EQ(env.Count("select count(*) from ven_inv_price_rule where id = " + std::to_string(keep)),
            1);
  EXPECT_EQ(env.Count("select count(*) from ven_inv_price_rule"), 1);
  // A rule without tiers goes too.
  env.db.Exec("delete from ven_inv_price_ruleitem");
  env.manager.RemoveVenInvPriceRule(keep);
  EXPECT_EQ(env.Count("select count(*) from ven_inv_price_rule"), 0);
}

TEST_F(RemoveListTest, RemoveFailuresChangeNothing) {
  const int32_t id = env.Store("2024-01-01")->id;
  const std::string before = env.Dump();
  ExpectAssertError([&] { env.manager.RemoveVenInvPriceRule(id + 100); }, KeyText("00061"));
  // A database failure after the tiers were deleted brings them back.
  env.db.Exec(
      "create trigger t before delete on ven_inv_price_rule begin "
      "select raise(abort, 'rule is referenced'); end");
  EXPECT_NE(ErrorText([&] { env.manager.RemoveVenInvPriceRule(id); }).find("rule is referenced"),
            std::string::npos);
  EXPECT_EQ(env.Dump(), before);
}

TEST_F(RemoveListTest, ListsWithAndWithoutFilterAndABadFilterFails) {
  const int32_t first = env.Store("2024-01-01")->id;
  env.Store("2025-01-01");
  AddPrice(env.db, {});
  const struct {
    std::string filter;
    bool rules;  // false: the price-list view
    int32_t rows;
  } cases[] = {
      {"", true, 2},
      {"   ", true, 2},
      {" id = " + std::to_string(first) + " ", true, 1},
      {"", false, 1},
      {"cInvCode = N'I02'", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.filter);
    auto rs = c.rules ? env.manager.ListVenInvPriceRules(c.filter)
                      : env.manager.ListVenInvPriceRuleItems(c.filter);
    ASSERT_NE(rs, nullptr);
    EXPECT_EQ(rs->RecordCount(), c.rows);
    EXPECT_EQ(rs->Eof(), c.rows == 0);
  }
  // Price-list rows, not tiers: the view has the price-list columns.
  EXPECT_TRUE(env.manager.ListVenInvPriceRuleItems("")->HasField("autoid"));
  ExpectAssertError([&] { env.manager.ListVenInvPriceRules("no_such_col = 1"); }, "no_such_col");
}

TEST_F(RemoveListTest, AFilterCannotAddAStatementOrWrite) {
  env.Store("2024-01-01");
  const std::string before = env.Dump();
  for (const char* filter :
       {"1=0; delete from ven_inv_price_rule", "1=0; drop table ven_inv_price_ruleitem",
        "1=0;\nupdate ven_inv_price_rule set cMemo='x'", "1=0 delete from ven_inv_price_rule"}) {
    SCOPED_TRACE(filter);
    EXPECT_TRUE(CatchComponentError([&] { env.manager.ListVenInvPriceRules(filter); }));
    EXPECT_TRUE(CatchComponentError([&] { env.manager.ListVenInvPriceRuleItems(filter); }));
    EXPECT_EQ(env.Dump(), before);
  }
  // Words inside literals and a trailing separator or comment are no statements.
  EXPECT_EQ(env.manager.ListVenInvPriceRules("cMemo <> N'; delete from x'; -- all")->RecordCount(),
            1);
}

}  // namespace
}  // namespace tamsel::testing
