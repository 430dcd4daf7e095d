#include "support/lookup_fixtures.h"

#include <stdexcept>

namespace tamsel::testing {

Date FixtureToday() { return Date::FromYmd(2024, 6, 15); }

void InsertRow(const TestDatabase& db, const std::string& table,
               const std::vector<std::pair<std::string, Variant>>& values) {
  std::string columns, literals;
  for (const auto& [column, value] : values) {
    if (!columns.empty()) {
      columns += ",";
      literals += ",";
    }
    columns += column;
    literals += ToSqlText(value);
  }
  db.Exec("insert into " + table + " (" + columns + ") values (" + literals + ")");
}

Variant QueryValue(const TestDatabase& db, const std::string& sql) {
  auto conn = db.Connect();
  auto rs = conn->OpenRecordset(sql);
  if (rs->Eof()) throw std::runtime_error("no row: " + sql);
  return rs->Fields(rs->FieldName(0));
}

void AddVendor(const TestDatabase& db, const VendorRow& row) {
  InsertRow(db, "Vendor",
            {{"iid", Variant(row.iid)},
             {"cVenCode", Variant(row.code)},
             {"cVenName", Variant(row.code + " Ltd")},
             {"cVenAbbName", Variant(row.abb_name.empty() ? row.code : row.abb_name)},
             {"dEndDate", row.end_date},
             {"bVenTax", row.ven_tax}});
}

void AddItem(const TestDatabase& db, const ItemRow& row) {
  std::vector<std::pair<std::string, Variant>> item = {
      {"cInvCode", Variant(row.code)},
      {"cInvName", Variant(row.name.empty() ? row.code + " name" : row.name)},
      {"cInvAddCode", Variant(row.code + "-A")},
      {"cInvStd", Variant("std")},
      {"iImpTaxRate", Variant(13.0)},
      {"bPurchase", Variant(int32_t{1})}};
  if (!row.unit.empty()) item.emplace_back("cComUnitCode", Variant(row.unit));
  InsertRow(db, "Inventory", item);
  if (!row.with_sub) return;
  std::vector<std::pair<std::string, Variant>> sub = {{"cInvSubCode", Variant(row.code)}};
  for (int n = 1; n <= 10; ++n) {
    sub.emplace_back("bPurPriceFree" + std::to_string(n),
                     Variant(int32_t{row.purchase_free[n - 1] ? 1 : 0}));
    sub.emplace_back("bOMPriceFree" + std::to_string(n),
                     Variant(int32_t{row.om_free[n - 1] ? 1 : 0}));
  }
  InsertRow(db, "Inventory_sub", sub);
}

void AddCurrency(const TestDatabase& db, const std::string& name, int32_t iotherused,
                 Variant bcal) {
  InsertRow(db, "ForeignCurrency",
            {{"cExch_Name", Variant(name)},
             {"cExch_Code", Variant(name.substr(0, 3))},
             {"iOtherUsed", Variant(iotherused)},
             {"bCal", bcal}});
}

void AddRate(const TestDatabase& db, const std::string& name, int32_t itype, int32_t year,
             const std::string& cdate, double nflat) {
  InsertRow(db, "exch",
            {{"cexch_name", Variant(name)},
             {"itype", Variant(itype)},
             {"iyear", Variant(year)},
             {"cdate", Variant(cdate)},
             {"nflat", Variant(nflat)}});
}

int32_t AddPrice(const TestDatabase& db, const PriceRow& row) {
  std::vector<std::pair<std::string, Variant>> values = {
      {"cVenCode", row.ven},
      {"cInvCode", Variant(row.inv)},
      {"iSupplyType", Variant(row.supply_type)},
      {"dEnableDate", Variant(row.enable)},
      {"dDisableDate", row.disable},
      {"bPromotion", row.promotion},
      {"cExch_Name", row.exch},
      {"bTaxCost", Variant(int32_t{1})},
      {"iLowerLimit", Variant(row.lower)},
      {"iUpperLimit", row.upper},
      {"iUnitPrice", Variant(row.price)},
      {"iTaxRate", Variant(row.tax_rate)},
      {"iTaxUnitPrice", Variant(row.price * (1 + row.tax_rate / 100))}};
  if (!row.term.empty()) values.emplace_back("cTermCode", Variant(row.term));
  for (int n = 1; n <= 10; ++n) {
    if (!row.free[n - 1].IsEmpty())
      values.emplace_back("cFree" + std::to_string(n), row.free[n - 1]);
  }
  InsertRow(db, "ven_inv_price", values);
  return VarToLng(QueryValue(db, "select max(autoid) from ven_inv_price"));
}

int32_t AddRule(const TestDatabase& db, const RuleRow& row) {
  const int32_t id =
      VarToLng(QueryValue(db, "select coalesce(max(id),0)+1 from ven_inv_price_rule"));
  std::vector<std::pair<std::string, Variant>> values = {{"id", Variant(id)},
                                                         {"cVenCode", row.ven},
                                                         {"cInvCode", Variant(row.inv)},
                                                         {"iSupplyType", Variant(row.supply_type)},
                                                         {"dEnableDate", Variant(row.enable)},
                                                         {"dDisableDate", row.disable},
                                                         {"bPromotion", row.promotion},
                                                         {"cExch_Name", row.exch},
                                                         {"cMemo", Variant(row.memo)},
                                                         {"bTaxCost", row.tax_cost}};
  if (!row.term.empty()) values.emplace_back("cTermCode", Variant(row.term));
  InsertRow(db, "ven_inv_price_rule", values);
  return id;
}

void AddRuleTier(const TestDatabase& db, int32_t rule_id, int32_t itemid, double lower,
                 Variant upper, double price) {
  InsertRow(db, "ven_inv_price_ruleitem",
            {{"id", Variant(rule_id)},
             {"itemid", Variant(itemid)},
             {"iLowerLimit", Variant(lower)},
             {"iUpperLimit", std::move(upper)},
             {"iUnitPrice", Variant(price)},
             {"iTaxRate", Variant(13.0)},
             {"iTaxUnitPrice", Variant(price * 1.13)}});
}

bool FakeRowAuth::Init(const std::string& connectionText, const std::string& loginText, int32_t,
                       int32_t) {
  ++init_calls;
  init_connection_text = connectionText;
  init_login_text = loginText;
  return init_result;
}

std::string FakeRowAuth::GetRowAuthCondition(const std::string&, int32_t, int32_t) {
  ++condition_calls;
  return condition;
}

bool FakeRowAuth::HasRowAuth(const std::string&, const std::string&, int32_t, const std::string&) {
  return true;
}

LookupEnv::LookupEnv() : info(MakeSysInfo(FixtureToday())), auth(std::make_shared<FakeRowAuth>()) {
  AddCurrency(db, "CNY", -1, Variant(int32_t{1}));
  AddCurrency(db, "USD", 0, Variant(int32_t{1}));
  AddRate(db, "USD", 1, 2024, FixtureToday().DottedDate(), 7);
  AddRate(db, "USD", 2, 2024, VarToStr(info->Invoke("TheMonth")), 7);
  auto login = std::make_shared<SimpleLogin>(db.ConnectionText(), FixtureToday(), auth, "tester");
  if (!VarToBool(manager.InitManager(login, info))) {
    throw std::runtime_error("InitManager failed on the fixture database");
  }
}

LookupEnv::~LookupEnv() { manager.ExitManager(); }

}  // namespace tamsel::testing
