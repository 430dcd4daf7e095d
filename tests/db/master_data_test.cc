// Master-data checks: exact statements, completion of the rule, row authorisation, and the
// two checks that never raise.

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
    std::string given, statement, stored, unknown, key;
  };
  const Case cases[] = {
      {&Validator::CheckInv, &PriceRule::cInvCode, "i01",  // codes compare without letter case
       "select Inventory.cinvcode,Inventory.cinvname,Inventory.cInvAddCode,Inventory.cinvstd,"
       "Inventory.iImpTaxRate as iTaxRate,Inventory.ccomunitcode,ComputationUnit.ccomunitname "
       "from Inventory left join ComputationUnit on (Inventory.cComUnitCode=ComputationUnit."
       "cComUnitCode ) where (cinvcode=N'i01' or cinvname=N'i01' or cinvaddcode=N'i01')",
       "I01", "Bolt", "00031"},  // found by its name, yet refused: only the code counts
      {&Validator::CheckExchName, &PriceRule::cExchName, "RMB",
       "select top 1 cExch_Name from ForeignCurrency where cExch_Name=N'RMB' or cExch_Code=N'RMB'",
       "CNY", "GBP", "00050"},
      {&Validator::CheckCoItem, &PriceRule::cTermCode, "Free on board",
       "select top 1 cincotermcode,cincotermsremark from v_ex_incoterms where cincotermcode = "
       "N'Free on board' or cincotermsremark = N'Free on board'",
       "FOB", "EXW", "00501"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.given);
    auto rule = env.NewRule(1);
    (*rule).*c.field = c.given;
    std::string lines = "kept\r";
    StatementLog log;
    EXPECT_TRUE(((*env.validator).*c.check)(rule, lines));
    EXPECT_EQ(log.statements(), std::vector<std::string>{c.statement});
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

TEST_F(MasterDataTest, CheckVenStatementAndVendorEndDates) {
  const std::string cargo = " and (bVenCargo=1 or bVenService=1)";
  const std::string overseas = " and bVenOverseas = 1 ";
  struct Case {
    int32_t supply_type;
    std::string code, condition;
    bool found;
  };
  const Case cases[] = {
      {1, "V01", cargo, true},     {2, "V03", " and (bProxyForeign=1 or bVenService=1)", true},
      {4, "V01", overseas, false}, {4, "Overseas", overseas, true},
      {3, "V02", "", true},        {1, "V04", cargo, false},  // ended on the login date
      {1, "V05", cargo, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code + " type " + std::to_string(c.supply_type));
    auto rule = env.NewRule(1);
    rule->iSupplyType = c.supply_type;
    rule->cVenCode = c.code;
    std::string lines;
    StatementLog log;
    EXPECT_EQ(env.validator->CheckVen(rule, lines), c.found);
    EXPECT_EQ(
        log.statements(),
        std::vector<std::string>{
            "select top 1 cVenCode,cVenAbbName from Vendor where (cvencode=N'" + c.code +
            "' or cvenabbname=N'" + c.code + "' or cvenname=N'" + c.code + "')" + c.condition +
            " AND (case when ISNULL(dEndDate,'')='' then '9999-12-31' else dEndDate end) >  "
            "'2024-06-01'"});
    EXPECT_EQ(lines, c.found ? "" : KeyText("00033", {Variant(c.code)}) + "\r");
  }
}

TEST_F(MasterDataTest, CheckSupplyTypeReportsVendorAndItemAndNeverRaises) {
  auto rule = env.NewRule(1);
  rule->iSupplyType = 2;  // V01 and I01 are neither proxy nor service
  StatementLog log;
  EXPECT_FALSE(env.validator->CheckSupplyType(rule, errstr));
  const std::string word = KeyText("00036");
  EXPECT_EQ(errstr, "kept\r" + KeyText("00034", {Variant("V01"), Variant(word)}) + "\r" +
                        KeyText("00037", {Variant("I01"), Variant(word)}) + "\r");
  rule->iSupplyType = 1;
  EXPECT_TRUE(env.validator->CheckSupplyType(rule, errstr));
  EXPECT_EQ(log.statements(),
            (std::vector<std::string>{
                "select cvencode from vendor where cvencode=N'V01' and (bProxyForeign=1 or "
                "bVenService=1)",
                "select cinvcode from inventory where cinvcode=N'I01' and (bProxyForeign=1 or "
                "bService=1)",
                "select cvencode from vendor where cvencode=N'V01' and (bVenCargo=1 or "
                "bVenService=1)",
                "select cinvcode from inventory where cinvcode=N'I01' and (bPurchase=1 or "
                "bService=1)"}));
  auto blank = env.NewRule(1);
  blank->cVenCode = " ";
  blank->cInvCode = "";
  log.clear();
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
  EXPECT_TRUE(CatchComponentError([&] { env.validator->CheckInv(rule, errstr); }));
  EXPECT_TRUE(CatchComponentError([&] { env.validator->CheckVen(rule, errstr); }));
  EXPECT_TRUE(CatchComponentError([&] { env.validator->CheckExchName(rule, errstr); }));
  EXPECT_TRUE(CatchComponentError([&] { env.validator->CheckRuleOverLap(rule, errstr); }));
  EXPECT_FALSE(env.validator->CheckSupplyType(rule, errstr));
  EXPECT_TRUE(env.validator->CheckCoItem(rule, errstr));
  EXPECT_EQ(errstr, "kept\r");
}

}  // namespace
}  // namespace tamsel::testing
