#include "support/rule_fixtures.h"

#include <stdexcept>

namespace tamsel::testing {

Date RuleLoginDate() { return Date::FromYmd(2024, 6, 1); }

bool RecordingRowAuth::HasRowAuth(const std::string& kind, const std::string& code, int32_t,
                                  const std::string& right) {
  calls.push_back(kind + "|" + code + "|" + right);
  return refused.count({kind, code}) == 0;
}

namespace {

void AddRuleVendor(const TestDatabase& db, int32_t iid, const std::string& code,
                   const std::string& abb, Variant end_date, const std::string& flag) {
  std::vector<std::pair<std::string, Variant>> row = {{"iid", Variant(iid)},
                                                      {"cVenCode", Variant(code)},
                                                      {"cVenName", Variant(code + " Trading")},
                                                      {"cVenAbbName", Variant(abb)},
                                                      {"dEndDate", std::move(end_date)},
                                                      {"bVenTax", Variant(int32_t{1})}};
  row.emplace_back(flag, Variant(int32_t{1}));
  InsertRow(db, "Vendor", row);
}

void AddRuleData(const TestDatabase& db) {
  const Variant none = Variant::Null();
  AddRuleVendor(db, 1, "V01", "Acme", none, "bVenCargo");
  AddRuleVendor(db, 2, "V02", "Overseas", none, "bVenOverseas");
  AddRuleVendor(db, 3, "V03", "Proxy", none, "bProxyForeign");
  AddRuleVendor(db, 4, "V04", "Ended", Variant(RuleLoginDate().IsoDate()), "bVenCargo");
  AddRuleVendor(db, 5, "V05", "Ending", Variant(RuleLoginDate().AddDays(1).IsoDate()), "bVenCargo");
  InsertRow(db, "ComputationUnit",
            {{"cComUnitCode", Variant("PCS")}, {"cComUnitName", Variant("Pieces")}});
  InsertRow(db, "Inventory",
            {{"cInvCode", Variant("I01")},
             {"cInvName", Variant("Bolt")},
             {"cInvAddCode", Variant("B-8")},
             {"cInvStd", Variant("M8")},
             {"iImpTaxRate", Variant(13.0)},
             {"cComUnitCode", Variant("PCS")},
             {"bPurchase", Variant(int32_t{1})}});
  InsertRow(db, "Inventory",
            {{"cInvCode", Variant("I02")},
             {"cInvName", Variant("Nut")},
             {"cInvAddCode", Variant("N-8")},
             {"cInvStd", Variant("M8")},
             {"iImpTaxRate", Variant(17.0)},
             {"bProxyForeign", Variant(int32_t{1})}});
  InsertRow(db, "ForeignCurrency",
            {{"cExch_Name", Variant("CNY")},
             {"cExch_Code", Variant("RMB")},
             {"iOtherUsed", Variant(int32_t{-1})}});
  InsertRow(db, "ForeignCurrency",
            {{"cExch_Name", Variant("USD")}, {"cExch_Code", Variant("US$")}});
  InsertRow(db, "ex_incoterms",
            {{"cIncotermCode", Variant("FOB")}, {"cIncotermsRemark", Variant("Free on board")}});
  InsertRow(
      db, "ex_incoterms",
      {{"cIncotermCode", Variant("CIF")}, {"cIncotermsRemark", Variant("Cost insurance freight")}});
}

}  // namespace

RuleEnv::RuleEnv()
    : info(MakeSysInfo(RuleLoginDate())), auth(std::make_shared<RecordingRowAuth>()) {
  AddRuleData(db);
  InitOther(manager);
  validator = manager.GetValidator();
}

RuleEnv::~RuleEnv() { manager.ExitManager(); }

void RuleEnv::InitOther(PriceRuleManager& other) const {
  auto login = std::make_shared<SimpleLogin>(db.ConnectionText(), RuleLoginDate(), auth, "tester");
  if (!VarToBool(other.InitManager(login, info))) {
    throw std::runtime_error("InitManager failed on the fixture database");
  }
}

std::shared_ptr<PriceRule> RuleEnv::NewRule(int tiers) const {
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
