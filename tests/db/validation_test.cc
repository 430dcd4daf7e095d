// Rule validation: master-data checks with completion and row authorisation, verification
// where the first failing condition wins, and the overlap check on half-open periods.

#include <gtest/gtest.h>

#include "support/lookup_fixtures.h"

namespace tamsel::testing {
namespace {

using Check = bool (Validator::*)(const std::shared_ptr<PriceRule>&, std::string&);

class ValidationTest : public ::testing::Test {
 protected:
  std::string Verify(const std::shared_ptr<PriceRule>& rule) {
    return ErrorText([&] { env.validator->VerifyRule(rule); });
  }
  static std::string Tier(const std::string& digits, int32_t tier) {
    return KeyText(digits, {Variant(tier)});
  }
  // A rule from enable to disable ("" for no end).
  std::shared_ptr<PriceRule> Rule(const std::string& enable, const std::string& disable) {
    auto rule = env.NewRule(1);
    rule->dEnableDate = enable;
    rule->dDisableDate = disable;
    return rule;
  }
  bool Passes(const std::shared_ptr<PriceRule>& rule) {
    std::string lines = "earlier\r";
    const bool ok = env.validator->CheckRuleOverLap(rule, lines);
    EXPECT_EQ(lines, ok ? "earlier\r" : KeyText("00500"));
    return ok;
  }

  RuleEnv env;
  std::string errstr = "kept\r";
};
using MasterDataTest = ValidationTest;
using VerifyRuleTest = ValidationTest;
using OverlapTest = ValidationTest;

TEST_F(MasterDataTest, LookUpsReplaceTheGivenTextByTheStoredCode) {
  struct Case {
    Check check;
    std::string PriceRule::*field;
    std::string given, stored, unknown, key;
  };
  const Case cases[] = {
      // Codes compare without letter case; found by its name, yet refused: only the code counts.
      {&Validator::CheckInv, &PriceRule::cInvCode, "i01", "I01", "Bolt", "00031"},
      {&Validator::CheckExchName, &PriceRule::cExchName, "RMB", "CNY", "GBP", "00050"},
      {&Validator::CheckCoItem, &PriceRule::cTermCode, "Free on board", "FOB", "EXW", "00501"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.given);
    auto rule = env.NewRule(1);
    (*rule).*c.field = c.given;
    std::string lines = "kept\r";
    EXPECT_TRUE(((*env.validator).*c.check)(rule, lines));
    EXPECT_EQ((*rule).*c.field, c.stored);
    (*rule).*c.field = c.unknown;
    EXPECT_FALSE(((*env.validator).*c.check)(rule, lines));
    EXPECT_EQ(lines, "kept\r" + KeyText(c.key, {Variant(c.unknown)}) + "\r");
    EXPECT_EQ((*rule).*c.field, c.unknown);
  }
  EXPECT_TRUE(env.auth->calls.empty());  // authorisation is off
}

TEST_F(MasterDataTest, CheckInvCompletesTheRule) {
  auto rule = env.NewRule(1);
  rule->cInvCode = "B-8";  // the additional code is refused too
  EXPECT_FALSE(env.validator->CheckInv(rule, errstr));
  EXPECT_EQ(rule->cInvName, "");
  rule->cInvCode = "I01";
  EXPECT_TRUE(env.validator->CheckInv(rule, errstr));
  EXPECT_EQ((std::vector<std::string>{rule->cInvName, rule->cInvAddCode, rule->cInvStd,
                                      rule->cComUnitCode, rule->cComUnitName}),
            (std::vector<std::string>{"Bolt", "B-8", "M8", "PCS", "Pieces"}));
  EXPECT_EQ(rule->iTaxRate, 13);
  rule->cInvCode = "I02";  // without unit: a stale unit name is cleared
  EXPECT_TRUE(env.validator->CheckInv(rule, errstr));
  EXPECT_EQ(rule->cComUnitName, "");
}

TEST_F(MasterDataTest, RowAuthorisationRefusesWithoutChangingTheRule) {
  env.info->Set("bCheckInvAuth", Variant(true));
  env.info->Set("bCheckVendorAuth", Variant(true));
  env.auth->refused = {{"Inventory", "I01"}, {"Vendor", "V01"}};
  auto rule = env.NewRule(1);
  rule->cInvCode = "i01";
  rule->cVenCode = "Acme";
  EXPECT_FALSE(env.validator->CheckInv(rule, errstr));
  EXPECT_FALSE(env.validator->CheckVen(rule, errstr));
  EXPECT_EQ(errstr, "kept\r" + KeyText("00029", {Variant("i01")}) + "\r" +
                        KeyText("00043", {Variant("Acme")}) + "\r");
  // The service is asked about the stored codes.
  EXPECT_EQ(env.auth->calls, (std::vector<std::string>{"Inventory|I01|W", "Vendor|V01|W"}));
  EXPECT_EQ(rule->cInvName, "");
  EXPECT_EQ(rule->cVenCode, "Acme");
  env.auth->refused.clear();
  EXPECT_TRUE(env.validator->CheckVen(rule, errstr));
  EXPECT_EQ(rule->cVenCode, "V01");
}

TEST_F(MasterDataTest, CheckVenBySupplyTypeAndEndDate) {
  for (const auto& c : ReadCases("validation.txt", "vendor")) {
    SCOPED_TRACE(c[1] + " type " + c[0]);
    auto rule = env.NewRule(1);
    rule->iSupplyType = VarToLng(Variant(c[0]));
    rule->cVenCode = c[1];
    std::string lines;
    EXPECT_EQ(env.validator->CheckVen(rule, lines), c[2] == "1");
    EXPECT_EQ(lines, c[2] == "1" ? "" : KeyText("00033", {Variant(c[1])}) + "\r");
  }
}

TEST_F(MasterDataTest, CheckSupplyTypeReportsVendorAndItemAndNeverRaises) {
  auto rule = env.NewRule(1);
  rule->iSupplyType = 2;  // V01 and I01 are neither proxy nor service
  EXPECT_FALSE(env.validator->CheckSupplyType(rule, errstr));
  const std::string word = KeyText("00036");
  EXPECT_EQ(errstr, "kept\r" + KeyText("00034", {Variant("V01"), Variant(word)}) + "\r" +
                        KeyText("00037", {Variant("I01"), Variant(word)}) + "\r");
  rule->cVenCode = "V03";  // both proxies
  rule->cInvCode = "I02";
  EXPECT_TRUE(env.validator->CheckSupplyType(rule, errstr));
  rule->iSupplyType = 1;  // I02 is no purchase item
  EXPECT_FALSE(env.validator->CheckSupplyType(rule, errstr));
  rule->cVenCode = "V01";
  rule->cInvCode = "I01";
  EXPECT_TRUE(env.validator->CheckSupplyType(rule, errstr));
  auto blank = env.NewRule(1);
  blank->cVenCode = " ";
  blank->cInvCode = "";
  StatementLog log;
  EXPECT_TRUE(env.validator->CheckSupplyType(blank, errstr));
  EXPECT_TRUE(log.statements().empty());

  env.db.Exec("drop table Vendor");
  EXPECT_FALSE(env.validator->CheckSupplyType(rule, errstr));
  EXPECT_FALSE(env.validator->CheckSupplyType(nullptr, errstr));
}

TEST_F(MasterDataTest, CheckCoItemCompletesTheNameAndNeverRaises) {
  auto rule = env.NewRule(1);
  rule->cTermCode = "FOB";
  EXPECT_TRUE(env.validator->CheckCoItem(rule, errstr));
  EXPECT_EQ(rule->cTermName, "Free on board");
  // A statement that cannot run counts as found and changes nothing.
  env.db.Exec("drop view v_ex_incoterms");
  rule->cTermCode = "EXW";
  EXPECT_TRUE(env.validator->CheckCoItem(rule, errstr));
  EXPECT_EQ(rule->cTermCode, "EXW");
  EXPECT_TRUE(env.validator->CheckCoItem(nullptr, errstr));
  EXPECT_EQ(errstr, "kept\r");
}

TEST_F(MasterDataTest, ChecksFailOnceTheContextIsGone) {
  auto rule = env.NewRule(1);
  env.manager.ExitManager();
  for (Check check : {&Validator::CheckInv, &Validator::CheckVen, &Validator::CheckExchName,
                      &Validator::CheckRuleOverLap}) {
    EXPECT_TRUE(CatchComponentError([&] { ((*env.validator).*check)(rule, errstr); }));
  }
  EXPECT_FALSE(env.validator->CheckSupplyType(rule, errstr));
  EXPECT_TRUE(env.validator->CheckCoItem(rule, errstr));
  EXPECT_EQ(errstr, "kept\r");
}

TEST_F(VerifyRuleTest, FirstFailingConditionWins) {
  for (const auto& c : ReadCases("validation.txt", "verify")) {
    SCOPED_TRACE(c[0]);
    auto rule = env.NewRule(3);
    EditRule(*rule, c[1]);
    const std::string expected = c[2] == "key"    ? KeyText(c[3])
                                 : c[2] == "line" ? KeyText(c[3], {Variant(c[4])}) + "\r"
                                 : c[2] == "tier" ? Tier(c[3], VarToLng(Variant(c[4])))
                                                  : c[3];
    EXPECT_EQ(Verify(rule), expected);
  }
  EXPECT_EQ(Verify(nullptr), KeyText("00001"));
}

TEST_F(VerifyRuleTest, OwnConditionsRaiseAssertAndMasterDataRaisesError) {
  auto rule = env.NewRule(1);
  rule->iSupplyType = 0;
  ExpectAssertError([&] { env.validator->VerifyRule(rule); });
  rule = env.NewRule(1);
  rule->cVenCode = "V99";
  auto master = CatchComponentError([&] { env.validator->VerifyRule(rule); });
  ASSERT_TRUE(master);
  EXPECT_EQ(master->source(), "Error");
  EXPECT_EQ(master->key(), "Zorvik.pu.Quorlin.00033");  // the key of the check that failed
  rule = env.NewRule(3);
  rule->ruleItems->Remove("2");  // tiers must be keyed 1 to n
  EXPECT_NE(Verify(rule).find("tier 2"), std::string::npos) << Verify(rule);
}

TEST_F(VerifyRuleTest, NormalisesDatesAndCompletesMasterDataAlsoWhenItFails) {
  auto rule = env.NewRule(2);
  rule->cVenCode = "Acme";
  rule->cExchName = "RMB";
  rule->iTaxRate = 0;
  rule->dEnableDate = "2024-1-5";
  rule->dDisableDate = "2024/2/1 10:30";
  rule->ruleItems->Item("2")->iUnitPrice = 0;
  EXPECT_EQ(Verify(rule), Tier("00017", 2));
  EXPECT_EQ((std::vector<std::string>{rule->dEnableDate, rule->dDisableDate, rule->cVenCode,
                                      rule->cVenAbbName, rule->cExchName, rule->cInvName}),
            (std::vector<std::string>{"2024-01-05", "2024-02-01", "V01", "Acme", "CNY", "Bolt"}));
  EXPECT_EQ(rule->iTaxRate, 13);
  SetTierPrices(*rule->ruleItems->Item("2"), 5);
  for (const char* end : {"", "   ", "2024-01-02"}) {  // blank ends stay blank
    rule->dEnableDate = "2024-01-01";
    rule->dDisableDate = end;
    EXPECT_NO_THROW(env.validator->VerifyRule(rule));
    EXPECT_EQ(rule->dDisableDate, end);
  }
}

TEST_F(OverlapTest, TouchingPeriodsPassAndSharedDaysFail) {
  for (const auto& c : ReadCases("validation.txt", "overlap")) {
    SCOPED_TRACE(c[1] + " to " + c[2] + " against an end of " + c[0]);
    env.Store("2024-01-01", c[0]);
    EXPECT_EQ(Passes(Rule(c[1], c[2])), c[3] == "1");
    env.db.Exec("delete from ven_inv_price_rule");
  }
}

TEST_F(OverlapTest, OnlyTheSameVendorItemTypeCurrencyAndTermCount) {
  auto own = env.manager.LoadVenInvPriceRule(env.Store("2024-01-01")->id);
  own->bCheckOverLap = true;
  EXPECT_TRUE(Passes(own));  // its own stored row is left out
  auto other = [&](void (*edit)(PriceRule&)) {
    auto rule = Rule("2024-01-01", "");
    edit(*rule);
    return Passes(rule);
  };
  EXPECT_TRUE(other([](PriceRule& r) { r.cExchName = "USD"; }));
  EXPECT_TRUE(other([](PriceRule& r) { r.cVenCode = "V05"; }));
  EXPECT_TRUE(other([](PriceRule& r) { r.iSupplyType = 2; }));
  auto overseas = [&](const char* term) {
    auto rule = Rule("2024-06-01", "");
    rule->cVenCode = "V02";
    rule->iSupplyType = 4;
    rule->cTermCode = term;
    return rule;
  };
  env.manager.CreateVenInvPriceRule(overseas("FOB"));
  EXPECT_TRUE(Passes(overseas("CIF")));
  auto fob = overseas("FOB");
  EXPECT_FALSE(Passes(fob));
  fob->bCheckOverLap = false;  // switched off: reads nothing
  StatementLog log;
  EXPECT_TRUE(Passes(fob));
  EXPECT_TRUE(log.statements().empty());
}

}  // namespace
}  // namespace tamsel::testing
