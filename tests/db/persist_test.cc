// Creating and saving rules: exact statements, what is stored, and that every failure leaves
// both rule tables exactly as they were.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "support/rule_fixtures.h"

namespace tamsel::testing {
namespace {

// Position of an exact statement in the log, or -1.
int IndexOf(const StatementLog& log, const std::string& sql) {
  const auto& all = log.statements();
  const auto it = std::find(all.begin(), all.end(), sql);
  return it == all.end() ? -1 : static_cast<int>(it - all.begin());
}

class PersistTest : public ::testing::Test {
 protected:
  // A stored rule of V01/I01 that ends where NewRule() begins: the failure cases must leave it
  // (and its tiers) untouched.
  int32_t StoreBaseRule() {
    auto rule = env.NewRule(2);
    rule->dEnableDate = "2023-01-01";
    rule->dDisableDate = "2024-01-01";
    env.manager.CreateVenInvPriceRule(rule);
    return rule->id;
  }

  RuleEnv env;
};

TEST_F(PersistTest, CreateRunsTheExactStatementsInOrder) {
  auto rule = env.NewRule(2);
  rule->dEnableDate = "2024-3-5";
  rule->dDisableDate = "2024-12-31";
  rule->bPromotion = true;
  rule->bTaxCost = false;
  rule->cMemo = "spring";
  auto first = rule->ruleItems->Item("1");
  first->iUnitPrice = 9.5;
  first->iTaxRate = 17;
  first->iTaxUnitPrice = 11.115;
  StatementLog log;
  env.manager.CreateVenInvPriceRule(rule);
  const std::string key =
      "cvencode =N'V01' and cinvcode =N'I01' and iSupplyType= 1 and cExch_Name =N'CNY' and "
      "dEnableDate =N'2024-03-05' and dDisableDate  =N'2024-12-31'";
  const std::string id = std::to_string(rule->id);
  const std::vector<std::string> expected = {
      "select id from ven_inv_price_rule where " + key,
      "select id from ven_inv_price_rule where  cvencode =N'V01' and cinvcode =N'I01' and "
      "iSupplyType= 1 and cExch_Name =N'CNY' and ((dEnableDate <='2024-03-05' and "
      "((dDisableDate  is null) or (dDisableDate>'2024-03-05')))  or (dEnableDate >'2024-03-05' "
      "and dEnableDate <'2024-12-31'))",
      "insert into ven_inv_price_rule(cvencode,cinvcode,isupplytype,denabledate,ddisabledate,"
      "bpromotion,cexch_name,cmemo,bTaxCost,cTermCode)values( N'V01',N'I01',1, "
      "N'2024-03-05','2024-12-31',1,N'CNY',N'spring',0,N'')",
      "select id,ufts from pu_VenInvPriceRule where " + key,
      "delete from ven_inv_price_ruleitem where Id=" + id,
      "insert into ven_inv_price_ruleitem(id,itemid,iLowerLimit,iUpperLimit,iUnitPrice,iTaxRate,"
      "iTaxUnitPrice) values(" +
          id + ",1,0,10,9.5,17,11.115)",
      "insert into ven_inv_price_ruleitem(id,itemid,iLowerLimit,iUpperLimit,iUnitPrice,iTaxRate,"
      "iTaxUnitPrice) values(" +
          id + ",2,10,null,18,13,20.34)",
  };
  int previous = -1;
  for (const auto& sql : expected) {
    const int at = IndexOf(log, sql);
    EXPECT_GT(at, previous) << "missing or out of order: " << sql;
    previous = std::max(previous, at);
  }
  EXPECT_GT(rule->id, 0);
  EXPECT_FALSE(rule->ufts.empty());
}

TEST_F(PersistTest, CreateStoresWhatLoadReadsBack) {
  auto rule = env.NewRule(3);
  rule->cVenCode = "Acme";  // completed to the code by verification
  rule->cExchName = "RMB";  // a currency code becomes its name
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
  EXPECT_EQ(loaded->cVenCode, "V01");
  EXPECT_EQ(loaded->cVenAbbName, "Acme");
  EXPECT_EQ(loaded->cExchName, "CNY");
  EXPECT_EQ(loaded->dEnableDate, "2024-01-01");
  EXPECT_EQ(loaded->dDisableDate, "");
  EXPECT_EQ(loaded->ufts, rule->ufts);
  EXPECT_TRUE(loaded->bTaxCost);
  ASSERT_EQ(loaded->ruleItems->Count(), 3);
  EXPECT_EQ(loaded->ruleItems->Item("2")->iLowerLimit, 10);
  EXPECT_EQ(loaded->ruleItems->Item("2")->iUpperLimit, Variant(20.0));
  EXPECT_TRUE(loaded->ruleItems->Item("3")->iUpperLimit.IsNull());
  EXPECT_EQ(VarToLng(QueryValue(env.db,
                                "select count(*) from ven_inv_price_rule where "
                                "ddisabledate is null and bpromotion = 0 and btaxcost = 1")),
            1);
}

TEST_F(PersistTest, SaveRunsTheUpdateWithItsRowVersionCondition) {
  const int32_t id = StoreBaseRule();
  auto rule = env.manager.LoadVenInvPriceRule(id);
  ASSERT_NE(rule, nullptr);
  const std::string old_ufts = rule->ufts;
  rule->cMemo = "changed";
  rule->cTermCode = "FOB";
  StatementLog log;
  env.manager.SaveVenInvPriceRule(rule);
  const std::string ids = std::to_string(id);
  EXPECT_GE(IndexOf(log, "select id from ven_inv_price_rule where id <> " + ids +
                             " and cvencode =N'V01' and cinvcode =N'I01' and iSupplyType= 1 and "
                             "cExch_Name =N'CNY' and dEnableDate =N'2023-01-01' and "
                             "dDisableDate  =N'2024-01-01'"),
            0);
  EXPECT_GE(IndexOf(log,
                    "update ven_inv_price_rule set cvencode=N'V01',cinvcode=N'I01',"
                    "iSupplyType = 1,dEnableDate=N'2023-01-01', dDisableDate = "
                    "'2024-01-01',bPromotion=0,cExch_Name =N'CNY',cMemo=N'changed',"
                    "bTaxCost = 1 ,cTermCode = 'FOB' where Id= " +
                        ids +
                        " and convert(char,convert(money,ufts),2)=convert(char,convert("
                        "money,'" +
                        old_ufts + "'),2)"),
            0);
  EXPECT_GE(IndexOf(log, "select ufts from pu_VenInvPriceRule where id =" + ids), 0);
  EXPECT_GE(IndexOf(log, "delete from ven_inv_price_ruleitem where Id=" + ids), 0);
  EXPECT_NE(rule->ufts, old_ufts);
  // Saving again from the new row version works; the rule carries it.
  env.manager.SaveVenInvPriceRule(rule);
  EXPECT_EQ(env.manager.LoadVenInvPriceRule(id)->cMemo, "changed");
}

TEST_F(PersistTest, SupplyTypeFourDuplicatesDependOnTheTradeTerm) {
  auto make = [&](const std::string& term) {
    auto rule = env.NewRule(1);
    rule->cVenCode = "V02";
    rule->iSupplyType = 4;
    rule->cTermCode = term;
    rule->bCheckOverLap = false;  // only the duplicate test is under test
    return rule;
  };
  env.manager.CreateVenInvPriceRule(make("FOB"));
  StatementLog log;
  auto cif = make("CIF");
  env.manager.CreateVenInvPriceRule(cif);
  EXPECT_EQ(log.Containing("select id from ven_inv_price_rule where cvencode")[0],
            "select id from ven_inv_price_rule where cvencode =N'V02' and cinvcode =N'I01' and "
            "iSupplyType= 4 and cExch_Name =N'CNY' and dEnableDate =N'2024-01-01' and "
            "dDisableDate  is null And cTermCode = N'CIF'");
  EXPECT_EQ(ErrorText([&] { env.manager.CreateVenInvPriceRule(make("FOB")); }), KeyText("00055"));
  // Saving the CIF rule as FOB would make it the stored FOB rule's twin.
  cif->cTermCode = "FOB";
  EXPECT_EQ(ErrorText([&] { env.manager.SaveVenInvPriceRule(cif); }), KeyText("00055"));
  // Other supply types ignore the trade term.
  auto plain = env.NewRule(1);
  plain->bCheckOverLap = false;
  plain->cTermCode = "FOB";
  env.manager.CreateVenInvPriceRule(plain);
  auto twin = env.NewRule(1);
  twin->bCheckOverLap = false;
  twin->cTermCode = "CIF";
  EXPECT_EQ(ErrorText([&] { env.manager.CreateVenInvPriceRule(twin); }), KeyText("00055"));
}

// One failure path of a write: how to provoke it, and what the caller must be told.
struct FailureCase {
  std::string name;
  bool save;  // false: create a new rule; true: save a loaded, edited base rule
  std::function<void(RuleEnv&, PriceRule&)> provoke;
  std::function<std::string()> expected;  // the whole description, or a part of it
  bool exact = true;
};

TEST_F(PersistTest, EveryFailureLeavesBothTablesAsTheyWere) {
  const std::vector<FailureCase> cases = {
      {"verification", false, [](RuleEnv&, PriceRule& r) { r.iSupplyType = 3; },
       [] { return KeyText("00002"); }},
      {"verification on save", true, [](RuleEnv&, PriceRule& r) { r.dEnableDate = "never"; },
       [] { return KeyText("00007"); }},
      {"duplicate", false,
       [](RuleEnv&, PriceRule& r) {
         r.dEnableDate = "2023-01-01";
         r.dDisableDate = "2024-01-01";
       },
       [] { return KeyText("00055"); }},
      {"overlap", false, [](RuleEnv&, PriceRule& r) { r.dEnableDate = "2023-12-31"; },
       [] { return KeyText("00500"); }},
      {"header insert hits no row", false,
       [](RuleEnv& e, PriceRule&) {
         e.db.Exec(
             "create trigger t before insert on ven_inv_price_rule begin "
             "select raise(ignore); end");
       },
       [] { return KeyText("00056"); }},
      {"read-back after insert finds nothing", false,
       [](RuleEnv& e, PriceRule&) {
         e.db.Exec(
             "create trigger t after insert on ven_inv_price_rule begin "
             "update ven_inv_price_rule set cMemo = 'moved', dEnableDate = '1999-01-01' "
             "where id = new.id; end");
       },
       [] { return KeyText("00057"); }},
      {"read-back after update finds nothing", true,
       [](RuleEnv& e, PriceRule&) {
         e.db.Exec(
             "create trigger t after update of cMemo on ven_inv_price_rule begin "
             "delete from ven_inv_price_rule where id = new.id; end");
       },
       [] { return KeyText("00057"); }},
      {"tier insert hits no row", false,
       [](RuleEnv& e, PriceRule&) {
         e.db.Exec(
             "create trigger t before insert on ven_inv_price_ruleitem "
             "when new.itemid = 2 begin select raise(ignore); end");
       },
       [] { return KeyText("00054"); }},
      {"database error in the tiers", true,
       [](RuleEnv& e, PriceRule&) {
         e.db.Exec(
             "create trigger t before insert on ven_inv_price_ruleitem "
             "when new.itemid = 2 begin select raise(abort, 'tier refused here'); end");
       },
       [] { return std::string("tier refused here"); }, false},
      {"row version changed by someone else", true,
       [](RuleEnv& e, PriceRule& r) {
         e.db.Exec("update ven_inv_price_rule set cMemo = 'theirs' where id = " +
                   std::to_string(r.id));
       },
       [] { return KeyText("00059"); }},
      {"rule removed by someone else", true,
       [](RuleEnv& e, PriceRule& r) {
         e.db.Exec("delete from ven_inv_price_rule where id = " + std::to_string(r.id));
       },
       [] { return KeyText("00059"); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RuleEnv fresh;
    auto base = fresh.NewRule(2);
    base->dEnableDate = "2023-01-01";
    base->dDisableDate = "2024-01-01";
    fresh.manager.CreateVenInvPriceRule(base);
    std::shared_ptr<PriceRule> rule;
    if (c.save) {
      rule = fresh.manager.LoadVenInvPriceRule(base->id);
      rule->bCheckOverLap = true;
      rule->cMemo = "edited";
      rule->ruleItems->Item("2")->iUpperLimit = Variant(20.0);
      auto added = rule->AddRuleItem();
      SetTierPrices(*added, 5);
      added->iUpperLimit = Variant::Null();
    } else {
      rule = fresh.NewRule(3);
    }
    c.provoke(fresh, *rule);
    const std::string before = fresh.Dump();
    const auto error = CatchComponentError([&] {
      if (c.save) {
        fresh.manager.SaveVenInvPriceRule(rule);
      } else {
        fresh.manager.CreateVenInvPriceRule(rule);
      }
    });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->source(), "Assert");
    if (c.exact) {
      EXPECT_EQ(error->description(), c.expected());
    } else {
      EXPECT_NE(error->description().find(c.expected()), std::string::npos) << error->description();
    }
    EXPECT_EQ(fresh.Dump(), before);
  }
}

TEST_F(PersistTest, AnAbortWithABlankMessageIsStillReportedAndRolledBack) {
  StoreBaseRule();
  env.db.Exec(
      "create trigger t before insert on ven_inv_price_ruleitem "
      "when new.itemid = 2 begin select raise(abort, ' '); end");
  const std::string before = env.Dump();
  EXPECT_TRUE(CatchComponentError([&] { env.manager.CreateVenInvPriceRule(env.NewRule(3)); }));
  EXPECT_EQ(env.Dump(), before);
}

TEST_F(PersistTest, TheRuleKeepsWhatWasReadBackWhenTheTiersFail) {
  env.db.Exec(
      "create trigger t before insert on ven_inv_price_ruleitem begin "
      "select raise(abort, 'no tiers today'); end");
  auto rule = env.NewRule(1);
  rule->dEnableDate = "2024-1-5";
  EXPECT_TRUE(CatchComponentError([&] { env.manager.CreateVenInvPriceRule(rule); }));
  EXPECT_GT(rule->id, 0);
  EXPECT_FALSE(rule->ufts.empty());
  EXPECT_EQ(rule->dEnableDate, "2024-01-05");
  EXPECT_EQ(VarToLng(QueryValue(env.db, "select count(*) from ven_inv_price_rule")), 0);
}

TEST_F(PersistTest, HostileTextsAreStoredAndReadBackUnchanged) {
  const std::string ven = "V'07 \xE4\xBE\x9B\xE5\xBA\x94\xE5\x95\x86 " + std::string(300, 'v');
  const std::string inv = "I'09 --; drop table Inventory; \xE8\x9E\xBA\xE6\xA0\x93";
  const std::string exch = "E'UR";
  const std::string term = "F'OB";
  InsertRow(env.db, "Vendor",
            {{"iid", Variant(int32_t{7})},
             {"cVenCode", Variant(ven)},
             {"cVenAbbName", Variant("O'Hara \xC3\xA9")},
             {"bVenOverseas", Variant(int32_t{1})}});
  InsertRow(env.db, "Inventory", {{"cInvCode", Variant(inv)}, {"cInvName", Variant("x'y")}});
  InsertRow(env.db, "ForeignCurrency", {{"cExch_Name", Variant(exch)}});
  InsertRow(env.db, "ex_incoterms", {{"cIncotermCode", Variant(term)}});
  auto rule = env.NewRule(2);
  rule->cVenCode = ven;
  rule->cInvCode = inv;
  rule->cExchName = exch;
  rule->iSupplyType = 4;
  rule->cTermCode = term;
  rule->cMemo = "it's \"quoted\" ' and '' and \\ \xF0\x9F\x98\x80 " + std::string(2000, 'm');
  env.manager.CreateVenInvPriceRule(rule);
  auto loaded = env.manager.LoadVenInvPriceRule(rule->id);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->cVenCode, ven);
  EXPECT_EQ(loaded->cVenAbbName, "O'Hara \xC3\xA9");
  EXPECT_EQ(loaded->cInvCode, inv);
  EXPECT_EQ(loaded->cInvName, "x'y");
  EXPECT_EQ(loaded->cExchName, exch);
  EXPECT_EQ(loaded->cTermCode, term);
  EXPECT_EQ(loaded->cMemo, rule->cMemo);
  // The same rule again is a duplicate: the quoted key finds itself.
  auto twin = env.NewRule(1);
  twin->cVenCode = ven;
  twin->cInvCode = inv;
  twin->cExchName = exch;
  twin->iSupplyType = 4;
  twin->cTermCode = term;
  EXPECT_EQ(ErrorText([&] { env.manager.CreateVenInvPriceRule(twin); }), KeyText("00055"));
  // A hostile row version is only ever a value: it cannot widen the update's condition.
  loaded->cMemo = "second";
  env.manager.SaveVenInvPriceRule(loaded);
  loaded->cMemo = "third";
  loaded->ufts = "1' or '1'='1";
  EXPECT_TRUE(CatchComponentError([&] { env.manager.SaveVenInvPriceRule(loaded); }));
  EXPECT_EQ(env.manager.LoadVenInvPriceRule(rule->id)->cMemo, "second");
  EXPECT_EQ(VarToLng(QueryValue(env.db, "select count(*) from Inventory")), 3);
}

TEST_F(PersistTest, OperationsWithoutContextFailAsComponentErrors) {
  PriceRuleManager idle;
  EXPECT_TRUE(CatchComponentError([&] { idle.CreateVenInvPriceRule(env.NewRule(1)); }));
  EXPECT_TRUE(CatchComponentError([&] { idle.SaveVenInvPriceRule(env.NewRule(1)); }));
  EXPECT_TRUE(CatchComponentError([&] { idle.RemoveVenInvPriceRule(1); }));
  EXPECT_EQ(ErrorText([&] { env.manager.CreateVenInvPriceRule(nullptr); }), KeyText("00001"));
}

}  // namespace
}  // namespace tamsel::testing
