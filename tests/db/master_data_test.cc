// Master-data checks: completion of the rule, row authorisation, and the two checks that never
// raise.

#include <gtest/gtest.h>

#include "support/rule_fixtures.h"

namespace tamsel::testing {
namespace {

using Check = bool (Validator::*)(const std::shared_ptr<PriceRule>&, std::string&);

class MasterDataTest : public ::testing::Test {
 protected:
  RuleEnv env;
  std::string errstr = "kept\r";
};

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
  const struct {
    int32_t supply_type;
    std::string code;
    bool found;
  } cases[] = {
      {1, "V01", true},      {2, "V03", true}, {2, "V01", false}, {4, "V01", false},
      {4, "Overseas", true}, {3, "V02", true}, {1, "V04", false},  // ended on the login date
      {1, "V05", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code + " type " + std::to_string(c.supply_type));
    auto rule = env.NewRule(1);
    rule->iSupplyType = c.supply_type;
    rule->cVenCode = c.code;
    std::string lines;
    EXPECT_EQ(env.validator->CheckVen(rule, lines), c.found);
    EXPECT_EQ(lines, c.found ? "" : KeyText("00033", {Variant(c.code)}) + "\r");
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

}  // namespace
}  // namespace tamsel::testing
