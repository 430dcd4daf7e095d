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
  const std::string id = std::to_string(env.Store("2025-01-01", "", 3)->id);
  StatementLog log;
  env.manager.RemoveVenInvPriceRule(std::stoi(id));
  EXPECT_EQ(log.statements(),
            (std::vector<std::string>{"delete from ven_inv_price_ruleitem where Id=" + id,
                                      "delete from ven_inv_price_rule where Id= " + id}));
  EXPECT_EQ(env.Count("select count(*) from ven_inv_price_ruleitem where id = " + id), 0);
  EXPECT_EQ(
      env.Count("select count(*) from ven_inv_price_ruleitem where id = " + std::to_string(keep)),
      2);
  EXPECT_EQ(env.Count("select count(*) from ven_inv_price_rule"), 1);
  // A rule without tiers goes too.
  env.db.Exec("delete from ven_inv_price_ruleitem");
  env.manager.RemoveVenInvPriceRule(keep);
  EXPECT_EQ(env.Count("select count(*) from ven_inv_price_rule"), 0);
}

TEST_F(RemoveListTest, RemoveFailuresChangeNothing) {
  const int32_t id = env.Store("2024-01-01")->id;
  const std::string before = env.Dump();
  const auto missing = CatchComponentError([&] { env.manager.RemoveVenInvPriceRule(id + 100); });
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->description(), KeyText("00061"));
  EXPECT_EQ(missing->source(), "Assert");
  EXPECT_EQ(missing->number(), -2147220503);
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
  InsertRow(env.db, "ven_inv_price",
            {{"cVenCode", Variant("V01")},
             {"cInvCode", Variant("I01")},
             {"iSupplyType", Variant(int32_t{1})},
             {"dEnableDate", Variant("2024-01-01")},
             {"iUnitPrice", Variant(3.0)}});
  struct Case {
    std::string filter;
    bool rules;  // false: the price-list view
    std::string sql;
    int32_t rows;
  };
  const std::string by_id = " id = " + std::to_string(first) + " ";
  const Case cases[] = {
      {"", true, "select * from pu_VenInvPriceRule", 2},
      {"   ", true, "select * from pu_VenInvPriceRule", 2},
      {by_id, true, "select * from pu_VenInvPriceRule where " + by_id, 1},
      {"", false, "select * from pu_veninvpricelist", 1},
      {"cInvCode = N'I02'", false, "select * from pu_veninvpricelist where cInvCode = N'I02'", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    StatementLog log;
    auto rs = c.rules ? env.manager.ListVenInvPriceRules(c.filter)
                      : env.manager.ListVenInvPriceRuleItems(c.filter);
    ASSERT_NE(rs, nullptr);
    EXPECT_EQ(log.statements(), std::vector<std::string>{c.sql});
    EXPECT_EQ(rs->RecordCount(), c.rows);
    EXPECT_EQ(rs->Eof(), c.rows == 0);
  }
  // Price-list rows, not tiers: the view has the price-list columns.
  EXPECT_TRUE(env.manager.ListVenInvPriceRuleItems("")->HasField("autoid"));
  const auto bad =
      CatchComponentError([&] { env.manager.ListVenInvPriceRules("no_such_col = 1"); });
  ASSERT_TRUE(bad);
  EXPECT_EQ(bad->source(), "Assert");
  EXPECT_NE(bad->description().find("no_such_col"), std::string::npos) << bad->description();
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
