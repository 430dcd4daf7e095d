#include "support/rule_fixtures.h"

#include <stdexcept>

namespace tamsel::testing {

Date RuleLoginDate() { return Date::FromYmd(2024, 6, 1); }

RuleEnv::RuleEnv()
    : info(MakeSysInfo(RuleLoginDate())), auth(std::make_shared<RecordingRowAuth>()) {
  // V04 ends on the login date, V05 the day after.
  db.Exec(
      "insert into Vendor(iid,cVenCode,cVenName,cVenAbbName,dEndDate,bVenTax,bVenCargo,"
      "bVenOverseas,bProxyForeign) values (1,'V01','V01 Trading','Acme',null,1,1,0,0),"
      "(2,'V02','V02 Trading','Overseas',null,1,0,1,0),(3,'V03','V03 "
      "Trading','Proxy',null,1,0,0,1),"
      "(4,'V04','V04 Trading','Ended','2024-06-01',1,1,0,0),"
      "(5,'V05','V05 Trading','Ending','2024-06-02',1,1,0,0)");
  db.Exec("insert into ComputationUnit(cComUnitCode,cComUnitName) values ('PCS','Pieces')");
  db.Exec(
      "insert into Inventory(cInvCode,cInvName,cInvAddCode,cInvStd,iImpTaxRate,cComUnitCode,"
      "bPurchase,bProxyForeign) values ('I01','Bolt','B-8','M8',13,'PCS',1,0),"
      "('I02','Nut','N-8','M8',17,null,0,1)");
  db.Exec(
      "insert into ForeignCurrency(cExch_Name,cExch_Code,iOtherUsed) values ('CNY','RMB',-1),"
      "('USD','US$',0)");
  db.Exec(
      "insert into ex_incoterms(cIncotermCode,cIncotermsRemark) values ('FOB','Free on board'),"
      "('CIF','Cost insurance freight')");
  InitOther(manager);
  validator = manager.GetValidator();
}

RuleEnv::~RuleEnv() { manager.ExitManager(); }

void RuleEnv::InitOther(PriceRuleManager& other, const std::string& connection_text) const {
  auto login =
      std::make_shared<SimpleLogin>(connection_text.empty() ? db.ConnectionText() : connection_text,
                                    RuleLoginDate(), auth, "tester");
  if (!VarToBool(other.InitManager(login, info))) {
    throw std::runtime_error("InitManager failed on the fixture database");
  }
}

std::shared_ptr<PriceRule> RuleEnv::NewRule(int tiers) {
  auto rule = PriceRule::New();
  rule->cVenCode = "V01";
  rule->cInvCode = "I01";
  rule->cExchName = "CNY";
  rule->iSupplyType = 1;
  rule->dEnableDate = "2024-01-01";
  rule->bCheckOverLap = true;
  rule->iTaxRate = 13;
  for (int i = 1; i <= tiers; ++i) {
    auto item = rule->AddRuleItem();
    SetTierPrices(*item, 20.0 - i);
    item->iUpperLimit = i < tiers ? Variant(10.0 * i) : Variant::Null();
  }
  return rule;
}

std::shared_ptr<PriceRule> RuleEnv::Store(const std::string& enable, const std::string& disable,
                                          int tiers) {
  auto rule = NewRule(tiers);
  rule->dEnableDate = enable;
  rule->dDisableDate = disable;
  rule->bCheckOverLap = false;
  manager.CreateVenInvPriceRule(rule);
  return rule;
}

int32_t RuleEnv::Count(const std::string& sql) const { return VarToLng(QueryValue(db, sql)); }

std::string RuleEnv::Dump() const { return DumpRuleTables(*db.Connect()); }

void SetTierPrices(PriceRuleItem& item, double price) {
  item.iTaxRate = 13;
  item.iUnitPrice = price;
  item.iTaxUnitPrice = price * 1.13;
}

std::string KeyText(const std::string& digits) {
  return GetResString("Zorvik.pu.Quorlin." + digits);
}

std::string KeyText(const std::string& digits, const std::vector<Variant>& values) {
  return FormatResString("Zorvik.pu.Quorlin." + digits, values);
}

}  // namespace tamsel::testing
