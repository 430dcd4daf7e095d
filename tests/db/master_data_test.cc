// Master-data checks: exact statements, completion of the rule, row authorisation, and the
// two checks that never raise.

#include <gtest/gtest.h>

#include "support/rule_fixtures.h"

namespace tamsel::testing {
namespace {

class MasterDataTest : public ::testing::Test {
 protected:
  RuleEnv env;
  std::string errstr = "kept\r";
};

TEST_F(MasterDataTest, CheckInvAcceptsOnlyTheCodeAndCompletesTheRule) {
  auto rule = env.NewRule(1);
  rule->cInvCode = "i01";  // codes compare without letter case
  StatementLog log;
  EXPECT_TRUE(env.validator->CheckInv(rule, errstr));
  EXPECT_EQ(log.statements(),
            std::vector<std::string>{
                "select Inventory.cinvcode,Inventory.cinvname,Inventory.cInvAddCode,"
                "Inventory.cinvstd,Inventory.iImpTaxRate as iTaxRate,Inventory.ccomunitcode,"
                "ComputationUnit.ccomunitname from Inventory left join ComputationUnit on "
                "(Inventory.cComUnitCode=ComputationUnit.cComUnitCode ) where (cinvcode=N'i01' "
                "or cinvname=N'i01' or cinvaddcode=N'i01')"});
  EXPECT_EQ(errstr, "kept\r");
  EXPECT_EQ(rule->cInvCode, "I01");
  EXPECT_EQ(rule->cInvName, "Bolt");
  EXPECT_EQ(rule->cInvAddCode, "B-8");
  EXPECT_EQ(rule->cInvStd, "M8");
  EXPECT_EQ(rule->iTaxRate, 13);
  EXPECT_EQ(rule->cComUnitCode, "PCS");
  EXPECT_EQ(rule->cComUnitName, "Pieces");
  EXPECT_TRUE(env.auth->calls.empty());  // authorisation is off

  auto no_unit = env.NewRule(1);
  no_unit->cInvCode = "I02";
  no_unit->cComUnitName = "stale";
  EXPECT_TRUE(env.validator->CheckInv(no_unit, errstr));
  EXPECT_EQ(no_unit->cComUnitName, "");

  for (const char* other_name : {"Bolt", "B-8"}) {
    auto by_name = env.NewRule(1);
    by_name->cInvCode = other_name;
    std::string lines;
    EXPECT_FALSE(env.validator->CheckInv(by_name, lines));
    EXPECT_EQ(lines, KeyText("00031", {Variant(other_name)}) + "\r");
    EXPECT_EQ(by_name->cInvName, "");
  }
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
  const std::string date_condition =
      " AND (case when ISNULL(dEndDate,'')='' then '9999-12-31' else dEndDate end) >  "
      "'2024-06-01'";
  struct Case {
    int32_t supply_type;
    std::string code;
    std::string condition;
    bool found;
  };
  const Case cases[] = {
      {1, "V01", " and (bVenCargo=1 or bVenService=1)", true},
      {2, "V03", " and (bProxyForeign=1 or bVenService=1)", true},
      {4, "V01", " and bVenOverseas = 1 ", false},
      {4, "Overseas", " and bVenOverseas = 1 ", true},
      {3, "V02", "", true},
      {1, "V04", " and (bVenCargo=1 or bVenService=1)", false},  // ended on the login date
      {1, "V05", " and (bVenCargo=1 or bVenService=1)", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code + " type " + std::to_string(c.supply_type));
    auto rule = env.NewRule(1);
    rule->iSupplyType = c.supply_type;
    rule->cVenCode = c.code;
    std::string lines;
    StatementLog log;
    EXPECT_EQ(env.validator->CheckVen(rule, lines), c.found);
    EXPECT_EQ(log.statements(), std::vector<std::string>{
                                    "select top 1 cVenCode,cVenAbbName from Vendor where "
                                    "(cvencode=N'" +
                                    c.code + "' or cvenabbname=N'" + c.code + "' or cvenname=N'" +
                                    c.code + "')" + c.condition + date_condition});
    EXPECT_EQ(lines, c.found ? "" : KeyText("00033", {Variant(c.code)}) + "\r");
  }
}

TEST_F(MasterDataTest, CheckSupplyTypeReportsVendorAndItemAndNeverRaises) {
  auto rule = env.NewRule(1);
  rule->iSupplyType = 2;  // V01 is neither proxy nor service; I01 is neither proxy nor service
  StatementLog log;
  EXPECT_FALSE(env.validator->CheckSupplyType(rule, errstr));
  EXPECT_EQ(log.statements(),
            (std::vector<std::string>{
                "select cvencode from vendor where cvencode=N'V01' and (bProxyForeign=1 or "
                "bVenService=1)",
                "select cinvcode from inventory where cinvcode=N'I01' and (bProxyForeign=1 or "
                "bService=1)"}));
  const std::string word = KeyText("00036");
  EXPECT_EQ(errstr, "kept\r" + KeyText("00034", {Variant("V01"), Variant(word)}) + "\r" +
                        KeyText("00037", {Variant("I01"), Variant(word)}) + "\r");

  auto fine = env.NewRule(1);
  std::string none;
  log.clear();
  EXPECT_TRUE(env.validator->CheckSupplyType(fine, none));
  EXPECT_EQ(log.statements()[0],
            "select cvencode from vendor where cvencode=N'V01' and (bVenCargo=1 or "
            "bVenService=1)");
  EXPECT_EQ(none, "");
  auto blank = env.NewRule(1);
  blank->cVenCode = " ";
  blank->cInvCode = "";
  log.clear();
  EXPECT_TRUE(env.validator->CheckSupplyType(blank, none));
  EXPECT_TRUE(log.statements().empty());

  env.db.Exec("drop table Vendor");
  EXPECT_FALSE(env.validator->CheckSupplyType(fine, none));
  EXPECT_FALSE(env.validator->CheckSupplyType(nullptr, none));
}

TEST_F(MasterDataTest, CheckExchNameReplacesACodeByTheName) {
  auto rule = env.NewRule(1);
  rule->cExchName = "RMB";
  StatementLog log;
  EXPECT_TRUE(env.validator->CheckExchName(rule, errstr));
  EXPECT_EQ(log.statements(),
            std::vector<std::string>{"select top 1 cExch_Name from ForeignCurrency where "
                                     "cExch_Name=N'RMB' or cExch_Code=N'RMB'"});
  EXPECT_EQ(rule->cExchName, "CNY");
  rule->cExchName = "GBP";
  EXPECT_FALSE(env.validator->CheckExchName(rule, errstr));
  EXPECT_EQ(errstr, "kept\r" + KeyText("00050", {Variant("GBP")}) + "\r");
  EXPECT_EQ(rule->cExchName, "GBP");
}

TEST_F(MasterDataTest, CheckCoItemFindsByRemarkAndNeverRaises) {
  auto rule = env.NewRule(1);
  rule->cTermCode = "Free on board";
  StatementLog log;
  EXPECT_TRUE(env.validator->CheckCoItem(rule, errstr));
  EXPECT_EQ(log.statements(),
            std::vector<std::string>{"select top 1 cincotermcode,cincotermsremark from "
                                     "v_ex_incoterms where cincotermcode = N'Free on board' or "
                                     "cincotermsremark = N'Free on board'"});
  EXPECT_EQ(rule->cTermCode, "FOB");
  EXPECT_EQ(rule->cTermName, "Free on board");
  rule->cTermCode = "EXW";
  EXPECT_FALSE(env.validator->CheckCoItem(rule, errstr));
  EXPECT_EQ(errstr, "kept\r" + KeyText("00501", {Variant("EXW")}) + "\r");

  // A statement that cannot run counts as found and changes nothing.
  env.db.Exec("drop view v_ex_incoterms");
  std::string untouched;
  EXPECT_TRUE(env.validator->CheckCoItem(rule, untouched));
  EXPECT_EQ(untouched, "");
  EXPECT_EQ(rule->cTermCode, "EXW");
  EXPECT_TRUE(env.validator->CheckCoItem(nullptr, untouched));
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
