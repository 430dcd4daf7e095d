// Creating and saving rules: exact statements, what is stored, and that every failure leaves
// both rule tables exactly as they were.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "support/rule_fixtures.h"

namespace tamsel::testing {
namespace {

// Every expected statement was run, each after the one before it.
void ExpectInOrder(const StatementLog& log, const std::vector<std::string>& expected) {
  const auto& all = log.statements();
  auto from = all.begin();
  for (const auto& sql : expected) {
    const auto at = std::find(from, all.end(), sql);
    EXPECT_NE(at, all.end()) << "missing or out of order: " << sql;
    if (at != all.end()) from = at + 1;
  }
}

// A stored rule of V01/I01 that ends where NewRule() begins.
std::shared_ptr<PriceRule> StoreBase(RuleEnv& env) { return env.Store("2023-01-01", "2024-01-01"); }

class PersistTest : public ::testing::Test {
 protected:
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
  const std::string tier =
      "insert into ven_inv_price_ruleitem(id,itemid,iLowerLimit,iUpperLimit,iUnitPrice,iTaxRate,"
      "iTaxUnitPrice) values(" +
      std::to_string(rule->id);
  ExpectInOrder(
      log, {"select id from ven_inv_price_rule where " + key,
            "select id from ven_inv_price_rule where  cvencode =N'V01' and cinvcode =N'I01' and "
            "iSupplyType= 1 and cExch_Name =N'CNY' and ((dEnableDate <='2024-03-05' and "
            "((dDisableDate  is null) or (dDisableDate>'2024-03-05')))  or (dEnableDate "
            ">'2024-03-05' and dEnableDate <'2024-12-31'))",
            "insert into ven_inv_price_rule(cvencode,cinvcode,isupplytype,denabledate,ddisabledate,"
            "bpromotion,cexch_name,cmemo,bTaxCost,cTermCode)values( N'V01',N'I01',1, "
            "N'2024-03-05','2024-12-31',1,N'CNY',N'spring',0,N'')",
            "select id,ufts from pu_VenInvPriceRule where " + key,
            "delete from ven_inv_price_ruleitem where Id=" + std::to_string(rule->id),
            tier + ",1,0,10,9.5,17,11.115)", tier + ",2,10,null,18,13,20.34)"});
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
  EXPECT_EQ((std::vector<std::string>{loaded->cVenCode, loaded->cVenAbbName, loaded->cExchName,
                                      loaded->dEnableDate, loaded->dDisableDate, loaded->ufts}),
            (std::vector<std::string>{"V01", "Acme", "CNY", "2024-01-01", "", rule->ufts}));
  ASSERT_EQ(loaded->ruleItems->Count(), 3);
  EXPECT_EQ(loaded->ruleItems->Item("2")->iLowerLimit, 10);
  EXPECT_EQ(loaded->ruleItems->Item("2")->iUpperLimit, Variant(20.0));
  EXPECT_TRUE(loaded->ruleItems->Item("3")->iUpperLimit.IsNull());
  EXPECT_EQ(env.Count("select count(*) from ven_inv_price_rule where ddisabledate is null and "
                      "bpromotion = 0 and btaxcost = 1"),
            1);
}

TEST_F(PersistTest, SaveRunsTheUpdateWithItsRowVersionCondition) {
  const std::string id = std::to_string(StoreBase(env)->id);
  auto rule = env.manager.LoadVenInvPriceRule(std::stoi(id));
  ASSERT_NE(rule, nullptr);
  const std::string old_ufts = rule->ufts;
  rule->cMemo = "changed";
  rule->cTermCode = "FOB";
  StatementLog log;
  env.manager.SaveVenInvPriceRule(rule);
  ExpectInOrder(log,
                {"select id from ven_inv_price_rule where id <> " + id +
                     " and cvencode =N'V01' and cinvcode =N'I01' and iSupplyType= 1 and "
                     "cExch_Name =N'CNY' and dEnableDate =N'2023-01-01' and "
                     "dDisableDate  =N'2024-01-01'",
                 "update ven_inv_price_rule set cvencode=N'V01',cinvcode=N'I01',iSupplyType = 1,"
                 "dEnableDate=N'2023-01-01', dDisableDate = '2024-01-01',bPromotion=0,cExch_Name "
                 "=N'CNY',cMemo=N'changed',bTaxCost = 1 ,cTermCode = 'FOB' where Id= " +
                     id + " and convert(char,convert(money,ufts),2)=convert(char,convert(money,'" +
                     old_ufts + "'),2)",
                 "select ufts from pu_VenInvPriceRule where id =" + id,
                 "delete from ven_inv_price_ruleitem where Id=" + id});
  EXPECT_NE(rule->ufts, old_ufts);
  // The rule carries the new row version, so saving it again works.
  env.manager.SaveVenInvPriceRule(rule);
  EXPECT_EQ(env.manager.LoadVenInvPriceRule(std::stoi(id))->cMemo, "changed");
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
  StatementLog log;
  auto cif = make(4, "CIF");
  env.manager.CreateVenInvPriceRule(cif);
  EXPECT_EQ(log.Containing("select id from ven_inv_price_rule where cvencode")[0],
            "select id from ven_inv_price_rule where cvencode =N'V02' and cinvcode =N'I01' and "
            "iSupplyType= 4 and cExch_Name =N'CNY' and dEnableDate =N'2024-01-01' and "
            "dDisableDate  is null And cTermCode = N'CIF'");
  EXPECT_EQ(ErrorText([&] { env.manager.CreateVenInvPriceRule(make(4, "FOB")); }),
            KeyText("00055"));
  // Saving the CIF rule as FOB would make it the stored FOB rule's twin.
  cif->cTermCode = "FOB";
  EXPECT_EQ(ErrorText([&] { env.manager.SaveVenInvPriceRule(cif); }), KeyText("00055"));
  // Other supply types ignore the trade term.
  env.manager.CreateVenInvPriceRule(make(1, "FOB"));
  EXPECT_EQ(ErrorText([&] { env.manager.CreateVenInvPriceRule(make(1, "CIF")); }),
            KeyText("00055"));
}

TEST_F(PersistTest, EveryFailureLeavesBothTablesAsTheyWere) {
  using Provoke = std::function<void(RuleEnv&, PriceRule&)>;
  struct Case {
    std::string name;
    bool save;  // false: create a new rule; true: save the loaded, edited base rule
    Provoke provoke;
    std::string expected;  // the whole description, or with exact false a part of it
    bool exact = true;
    bool completed = false;  // verification completed the rule before the failure
  };
  auto trigger = [](const std::string& body) -> Provoke {
    return [body](RuleEnv& e, PriceRule&) { e.db.Exec("create trigger t " + body); };
  };
  auto tier_abort = [&](const std::string& message) {
    return trigger(
        "before insert on ven_inv_price_ruleitem when new.itemid = 2 begin select raise(abort, '" +
        message + "'); end");
  };
  auto on_base = [](const std::string& sql) -> Provoke {
    return [sql](RuleEnv& e, PriceRule& r) { e.db.Exec(sql + std::to_string(r.id)); };
  };
  const Case cases[] = {
      {"verification", false, [](RuleEnv&, PriceRule& r) { r.iSupplyType = 3; }, KeyText("00002")},
      {"verification on save", true, [](RuleEnv&, PriceRule& r) { r.dEnableDate = "never"; },
       KeyText("00007")},
      {"duplicate", false,
       [](RuleEnv&, PriceRule& r) {
         r.dEnableDate = "2023-01-01";
         r.dDisableDate = "2024-01-01";
       },
       KeyText("00055")},
      {"overlap", false, [](RuleEnv&, PriceRule& r) { r.dEnableDate = "2023-12-31"; },
       KeyText("00500")},
      {"header insert hits no row", false,
       trigger("before insert on ven_inv_price_rule begin select raise(ignore); end"),
       KeyText("00056")},
      {"read-back after insert finds nothing", false,
       trigger("after insert on ven_inv_price_rule begin update ven_inv_price_rule set cMemo = "
               "'moved', dEnableDate = '1999-01-01' where id = new.id; end"),
       KeyText("00057")},
      {"read-back after update finds nothing", true,
       trigger("after update of cMemo on ven_inv_price_rule begin delete from "
               "ven_inv_price_rule where id = new.id; end"),
       KeyText("00057")},
      {"tier insert hits no row", false,
       trigger("before insert on ven_inv_price_ruleitem when new.itemid = 2 begin select "
               "raise(ignore); end"),
       KeyText("00054")},
      {"database error in the tiers", true, tier_abort("tier refused here"), "tier refused here",
       false},
      {"database error with a blank message", false, tier_abort(" "), "", false, true},
      {"row version changed by someone else", true,
       on_base("update ven_inv_price_rule set cMemo = 'theirs' where id = "), KeyText("00059")},
      {"rule removed by someone else", true, on_base("delete from ven_inv_price_rule where id = "),
       KeyText("00059")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RuleEnv fresh;
    const auto base = StoreBase(fresh);
    std::shared_ptr<PriceRule> rule = fresh.NewRule(3);
    if (c.save) {
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
    c.provoke(fresh, *rule);
    const std::string before = fresh.Dump();
    const int32_t id_before = rule->id;
    const std::string ufts_before = rule->ufts;
    const auto error = CatchComponentError([&] {
      c.save ? fresh.manager.SaveVenInvPriceRule(rule) : fresh.manager.CreateVenInvPriceRule(rule);
    });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number(), -2147220503);
    EXPECT_EQ(error->source(), "Assert");
    if (c.exact) {
      EXPECT_EQ(error->description(), c.expected);
    } else {
      EXPECT_NE(error->description().find(c.expected), std::string::npos) << error->description();
    }
    EXPECT_EQ(fresh.Dump(), before);
    // The rollback hands a read-back id and row version to the next writer: the rule must not
    // keep them, or a retry could overwrite that writer's rule. Completions stay.
    EXPECT_EQ(rule->id, id_before);
    EXPECT_EQ(rule->ufts, ufts_before);
    if (c.completed) {
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

TEST_F(PersistTest, ARetryAfterAFailedSaveCannotOverwriteAnotherUsersSave) {
  auto mine = env.manager.LoadVenInvPriceRule(StoreBase(env)->id);
  env.db.Exec(
      "create trigger t before insert on ven_inv_price_ruleitem begin select raise(abort, "
      "'disk full'); end");
  mine->cMemo = "mine";
  EXPECT_TRUE(CatchComponentError([&] { env.manager.SaveVenInvPriceRule(mine); }));
  env.db.Exec("drop trigger t");
  PriceRuleManager other;
  env.InitOther(other);
  auto theirs = other.LoadVenInvPriceRule(mine->id);
  theirs->cMemo = "theirs";
  other.SaveVenInvPriceRule(theirs);
  EXPECT_EQ(ErrorText([&] { env.manager.SaveVenInvPriceRule(mine); }), KeyText("00059"));
  EXPECT_EQ(env.manager.LoadVenInvPriceRule(mine->id)->cMemo, "theirs");
  other.ExitManager();
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

TEST_F(PersistTest, OperationsWithoutContextFailAsComponentErrors) {
  PriceRuleManager idle;
  EXPECT_TRUE(CatchComponentError([&] { idle.CreateVenInvPriceRule(env.NewRule(1)); }));
  EXPECT_TRUE(CatchComponentError([&] { idle.SaveVenInvPriceRule(env.NewRule(1)); }));
  EXPECT_TRUE(CatchComponentError([&] { idle.RemoveVenInvPriceRule(1); }));
  EXPECT_EQ(ErrorText([&] { env.manager.CreateVenInvPriceRule(nullptr); }), KeyText("00001"));
}

}  // namespace
}  // namespace tamsel::testing
