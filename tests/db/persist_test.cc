// Creating, saving and removing rules: what is stored, that every failure leaves both rule
// tables exactly as they were, and the lists.

#include <gtest/gtest.h>

#include <optional>

#include "manager/rule_batch.h"
#include "support/lookup_fixtures.h"

namespace tamsel::testing {
namespace {

class PersistTest : public ::testing::Test {
 protected:
  RuleEnv env;
};

TEST_F(PersistTest, CreateAndSaveStoreWhatLoadReadsBack) {
  auto rule = env.NewRule(3);
  rule->cVenCode = "Acme";  // completed to the code by verification
  rule->cExchName = "RMB";  // a currency code becomes its name
  rule->dEnableDate = "2024-3-5";
  rule->dDisableDate = "2024-12-31";
  rule->bPromotion = true;
  rule->bTaxCost = false;
  rule->cMemo = "spring";
  // Tiers whose index fields disagree with their keys are stored in key order.
  for (const auto& [key, item] : *rule->ruleItems) item->index = 9;
  env.manager.CreateVenInvPriceRule(rule);
  int16_t expected_index = 1;
  for (const auto& [key, item] : *rule->ruleItems) {
    EXPECT_EQ(item->id, rule->id);
    EXPECT_EQ(item->index, expected_index++);
  }
  auto loaded = env.manager.LoadVenInvPriceRule(rule->id);
  ASSERT_NE(loaded, nullptr);
  EXPECT_FALSE(rule->ufts.empty());
  EXPECT_EQ(loaded->ufts, rule->ufts);
  EXPECT_EQ(RuleText(*loaded), "id=" + std::to_string(rule->id) +
                                   " ven=V01/Acme inv=I01/Bolt/B-8/M8 unit=PCS/Pieces tax=13 "
                                   "2024-03-05..2024-12-31 promo=1 exch=CNY supply=1 taxcost=0 "
                                   "memo=spring term=/ ufts=set tiers=3");
  EXPECT_EQ(TierText(*loaded->ruleItems->Item("2")),
            "id=" + std::to_string(rule->id) + " #2 10..20 price=18 tax=13 taxprice=20.34");
  EXPECT_TRUE(loaded->ruleItems->Item("3")->iUpperLimit.IsNull());

  const std::string old_ufts = loaded->ufts;
  loaded->cMemo = "changed";
  loaded->cTermCode = "FOB";
  loaded->ruleItems->Remove("3");
  loaded->ruleItems->Item("2")->iUpperLimit = Variant::Null();
  env.manager.SaveVenInvPriceRule(loaded);
  EXPECT_NE(loaded->ufts, old_ufts);
  // The rule carries the new row version, so saving it again works.
  env.manager.SaveVenInvPriceRule(loaded);
  auto saved = env.manager.LoadVenInvPriceRule(rule->id);
  EXPECT_EQ(saved->cMemo + "/" + saved->cTermCode, "changed/FOB");
  EXPECT_EQ(saved->ruleItems->Count(), 2);
}

TEST_F(PersistTest, SupplyTypeFourDuplicatesDependOnTheTradeTerm) {
  auto make = [&](int32_t type, const std::string& term) {
    auto rule = env.NewRule(1);
    rule->cVenCode = type == 4 ? "V02" : "V01";
    rule->iSupplyType = type;
    rule->cTermCode = term;
    rule->bCheckOverLap = false;  // only the duplicate test is under test
    return rule;
  };
  env.manager.CreateVenInvPriceRule(make(4, "FOB"));
  auto cif = make(4, "CIF");
  env.manager.CreateVenInvPriceRule(cif);
  EXPECT_EQ(ErrorText([&] { env.manager.CreateVenInvPriceRule(make(4, "FOB")); }),
            KeyText("00055"));
  // Saving the CIF rule as FOB would make it the stored FOB rule's twin.
  cif->cTermCode = "FOB";
  EXPECT_EQ(ErrorText([&] { env.manager.SaveVenInvPriceRule(cif); }), KeyText("00055"));
  // Other supply types ignore the trade term.
  env.manager.CreateVenInvPriceRule(make(1, "FOB"));
  EXPECT_EQ(ErrorText([&] { env.manager.CreateVenInvPriceRule(make(1, "CIF")); }),
            KeyText("00055"));
  EXPECT_EQ(ErrorText([&] { env.manager.CreateVenInvPriceRule(nullptr); }), KeyText("00001"));
}

// Also inside a RuleBatch, whose savepoint must undo the failed write alone: what the batch then
// commits is the tables as they were.
TEST_F(PersistTest, EveryFailureLeavesBothTablesAsTheyWere) {
  for (const auto& c : ReadCases("persist.txt", "failure"))
    for (const bool batched : {false, true}) {
      SCOPED_TRACE(c[0] + (batched ? " (batch)" : ""));
      RuleEnv fresh;
      const auto base = fresh.Store("2023-01-01", "2024-01-01");  // ends where NewRule() begins
      std::shared_ptr<PriceRule> rule = fresh.NewRule(3);
      if (c[1] != "create") {
        rule = fresh.manager.LoadVenInvPriceRule(base->id);
        rule->bCheckOverLap = true;
        rule->cMemo = "edited";
        rule->ruleItems->Item("2")->iUpperLimit = Variant(20.0);
        auto added = rule->AddRuleItem();
        SetTierPrices(*added, 5);
        added->iUpperLimit = Variant::Null();
      } else {
        rule->dEnableDate = "2024-1-1";
      }
      if (c[2] == "edit") EditRule(*rule, c[3]);
      if (c[2] == "sql") fresh.db.Exec(c[3]);
      if (c[2] == "base") fresh.db.Exec(c[3] + std::to_string(rule->id));
      if (c[2] == "id") rule->id += 100;
      const std::string before = fresh.Dump();
      const int32_t id_before = rule->id;
      const std::string ufts_before = rule->ufts;
      std::optional<detail::RuleBatch> batch;
      if (batched) batch.emplace(fresh.manager);
      const auto error = CatchComponentError([&] {
        if (c[1] == "create") fresh.manager.CreateVenInvPriceRule(rule);
        if (c[1] == "save") fresh.manager.SaveVenInvPriceRule(rule);
        if (c[1] == "remove") fresh.manager.RemoveVenInvPriceRule(rule->id);
      });
      if (batch) batch->Commit();
      batch.reset();
      ASSERT_TRUE(error.has_value());
      EXPECT_EQ(error->number(), -2147220503);
      EXPECT_EQ(error->source(), "Assert");
      if (c[4] == "key") {
        EXPECT_EQ(error->description(), KeyText(c[5]));
        EXPECT_EQ(error->key(), "Zorvik.pu.Quorlin." + c[5]);
      } else {
        EXPECT_NE(error->description().find(c[5]), std::string::npos) << error->description();
      }
      EXPECT_EQ(fresh.Dump(), before);
      // The rollback hands a read-back id and row version to the next writer: the rule must not
      // keep them, or a retry could overwrite that writer's rule. Completions stay.
      EXPECT_EQ(rule->id, id_before);
      EXPECT_EQ(rule->ufts, ufts_before);
      if (c.size() > 6) {
        EXPECT_EQ(rule->dEnableDate, "2024-01-01");
      }
    }
}

TEST_F(PersistTest, NumbersSurviveADecimalCommaLocale) {
  DecimalCommaLocale comma;
  auto rule = env.NewRule(2);
  rule->ruleItems->Item("1")->iUpperLimit = Variant(2.5f);
  rule->ruleItems->Item("2")->iLowerLimit = 2.5;
  env.manager.CreateVenInvPriceRule(rule);
  EXPECT_EQ(VarToDbl(env.manager.LoadVenInvPriceRule(rule->id)->ruleItems->Item("1")->iUpperLimit),
            2.5);
  EXPECT_EQ(env.Count("select count(*) from ven_inv_price_ruleitem where iLowerLimit = "
                      "convert(float, '2.5')"),
            1);
}

TEST_F(PersistTest, HostileTextsAreStoredAndReadBackUnchanged) {
  const std::string ven = "V'07 \xE4\xBE\x9B\xE5\xBA\x94\xE5\x95\x86 " + std::string(300, 'v');
  const std::string inv = "I'09 --; drop table Inventory; \xE8\x9E\xBA\xE6\xA0\x93";
  const std::string abb = "O'Hara \xC3\xA9", exch = "E'UR", term = "F'OB";
  InsertRow(env.db, "Vendor", "iid,cVenCode,cVenAbbName,bVenOverseas",
            {Variant(int32_t{7}), Variant(ven), Variant(abb), Variant(int32_t{1})});
  InsertRow(env.db, "Inventory", "cInvCode,cInvName", {Variant(inv), Variant("x'y")});
  InsertRow(env.db, "ForeignCurrency", "cExch_Name", {Variant(exch)});
  InsertRow(env.db, "ex_incoterms", "cIncotermCode", {Variant(term)});
  auto make = [&](int tiers) {
    auto rule = env.NewRule(tiers);
    rule->cVenCode = ven;
    rule->cInvCode = inv;
    rule->cExchName = exch;
    rule->iSupplyType = 4;
    rule->cTermCode = term;
    return rule;
  };
  auto rule = make(2);
  rule->cMemo = "it's \"quoted\" ' and '' and \\ \xF0\x9F\x98\x80 " + std::string(2000, 'm');
  env.manager.CreateVenInvPriceRule(rule);
  auto loaded = env.manager.LoadVenInvPriceRule(rule->id);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ((std::vector<std::string>{loaded->cVenCode, loaded->cVenAbbName, loaded->cInvCode,
                                      loaded->cInvName, loaded->cExchName, loaded->cTermCode,
                                      loaded->cMemo}),
            (std::vector<std::string>{ven, abb, inv, "x'y", exch, term, rule->cMemo}));
  // The quoted key finds the stored rule.
  EXPECT_EQ(ErrorText([&] { env.manager.CreateVenInvPriceRule(make(1)); }), KeyText("00055"));
  // A hostile row version is only ever a value: it cannot widen the update's condition.
  loaded->cMemo = "second";
  env.manager.SaveVenInvPriceRule(loaded);
  loaded->cMemo = "third";
  loaded->ufts = "1' or '1'='1";
  EXPECT_TRUE(CatchComponentError([&] { env.manager.SaveVenInvPriceRule(loaded); }));
  EXPECT_EQ(env.manager.LoadVenInvPriceRule(rule->id)->cMemo, "second");
}

TEST_F(PersistTest, RemoveDeletesTheRuleAndItsTiersOnly) {
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

TEST_F(PersistTest, ListsWithAndWithoutFilterAndABadFilterFails) {
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

TEST_F(PersistTest, AFilterCannotAddAStatementOrWrite) {
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
