#include "support/lookup_fixtures.h"

#include <fmt/format.h>

#include <charconv>
#include <stdexcept>

namespace tamsel::testing {
namespace {

Variant TextOrNull(const std::string& text) {
  return text.empty() ? Variant::Null() : Variant(text);
}

// Applies "key=value ..." through set(key, value); keys must be among the known ones.
template <typename Set>
void EachField(const std::string& spec, const std::string& known, Set&& set) {
  for (const std::string& field : Split(spec, ' ')) {
    const size_t eq = field.find('=');
    if (field.empty()) continue;
    if (eq == std::string::npos ||
        (" " + known + " ").find(" " + field.substr(0, eq) + " ") == std::string::npos) {
      throw std::runtime_error("unknown field: " + field);
    }
    const std::string value = field.substr(eq + 1);
    set(field.substr(0, eq), value == "null" ? Variant::Null() : Variant(value));
  }
}

void EditRuleOnce(PriceRule& rule, const std::string& edit) {
  if (edit == "notiers") return void(rule.ruleItems = std::make_shared<RuleItems>());
  const size_t eq = edit.find('='), dot = edit.find('.');
  const std::string field = edit.substr(dot < eq ? dot + 1 : 0, eq - (dot < eq ? dot + 1 : 0));
  const std::string value = edit.substr(eq + 1);
  double number = 0;
  std::from_chars(value.data(), value.data() + value.size(), number);
  if (dot > eq) {
    if (field == "iSupplyType") rule.iSupplyType = static_cast<int32_t>(number);
    for (auto [name, member] : {std::pair{"cVenCode", &PriceRule::cVenCode},
                                {"cInvCode", &PriceRule::cInvCode},
                                {"cExchName", &PriceRule::cExchName},
                                {"dEnableDate", &PriceRule::dEnableDate},
                                {"dDisableDate", &PriceRule::dDisableDate}}) {
      if (field == name) rule.*member = value;
    }
    return;
  }
  PriceRuleItem& tier = *rule.ruleItems->Item(edit.substr(4, dot - 4));
  if (field == "iUpperLimit") {
    tier.iUpperLimit = value == "null"    ? Variant::Null()
                       : value == "empty" ? Variant()
                                          : Variant(number);
  }
  for (auto [name, member] : {std::pair{"iLowerLimit", &PriceRuleItem::iLowerLimit},
                              {"iUnitPrice", &PriceRuleItem::iUnitPrice},
                              {"iTaxUnitPrice", &PriceRuleItem::iTaxUnitPrice},
                              {"iTaxRate", &PriceRuleItem::iTaxRate}}) {
    if (field == name) tier.*member = number;
  }
}

}  // namespace

void EditRule(PriceRule& rule, const std::string& edits) {
  for (const std::string& edit : Split(edits, ';')) EditRuleOnce(rule, edit);
}

PriceRow PriceFrom(const std::string& spec) {
  PriceRow r;
  EachField(spec, "ven enable disable promo exch lower upper price free1",
            [&r](const auto& key, const auto& v) {
              if (key == "ven") r.ven = v;
              if (key == "enable") r.enable = VarToStr(v);
              if (key == "disable") r.disable = v;
              if (key == "promo") r.promotion = VarToLng(v);
              if (key == "exch") r.exch = v;
              if (key == "lower") r.lower = VarToDbl(v);
              if (key == "upper") r.upper = VarToDbl(v);
              if (key == "price") r.price = VarToDbl(v);
              if (key == "free1") r.free[0] = v;
            });
  return r;
}

RuleRow RuleFrom(const std::string& spec) {
  RuleRow r;
  EachField(spec, "ven inv type enable disable promo memo", [&r](const auto& key, const auto& v) {
    if (key == "ven") r.ven = v;
    if (key == "inv") r.inv = VarToStr(v);
    if (key == "type") r.supply_type = VarToLng(v);
    if (key == "enable") r.enable = VarToStr(v);
    if (key == "disable") r.disable = v;
    if (key == "promo") r.promotion = VarToLng(v);
    if (key == "memo") r.memo = VarToStr(v);
  });
  return r;
}

Date FixtureToday() { return Date::FromYmd(2024, 6, 15); }

void InsertRow(const TestDatabase& db, const std::string& table, const std::string& columns,
               const std::vector<Variant>& values) {
  std::string literals;
  for (const auto& value : values) literals += (literals.empty() ? "" : ",") + ToSqlText(value);
  db.Exec("insert into " + table + " (" + columns + ") values (" + literals + ")");
}

void AddVendor(const TestDatabase& db, const VendorRow& row) {
  InsertRow(db, "Vendor", "iid,cVenCode,cVenName,cVenAbbName,dEndDate,bVenTax",
            {Variant(row.iid), Variant(row.code), Variant(row.code + " Ltd"),
             Variant(row.abb_name.empty() ? row.code : row.abb_name), row.end_date, row.ven_tax});
}

void AddItem(const TestDatabase& db, const ItemRow& row) {
  InsertRow(db, "Inventory",
            "cInvCode,cInvName,cInvAddCode,cInvStd,iImpTaxRate,bPurchase,cComUnitCode",
            {Variant(row.code), Variant(row.name.empty() ? row.code + " name" : row.name),
             Variant(row.code + "-A"), Variant("std"), Variant(13.0), Variant(int32_t{1}),
             TextOrNull(row.unit)});
  if (!row.with_sub) return;
  std::string columns = "cInvSubCode";
  std::vector<Variant> values = {Variant(row.code)};
  for (int n = 1; n <= 10; ++n) {
    columns += fmt::format(",bPurPriceFree{0},bOMPriceFree{0}", n);
    values.emplace_back(int32_t{row.purchase_free[n - 1]});
    values.emplace_back(int32_t{row.om_free[n - 1]});
  }
  InsertRow(db, "Inventory_sub", columns, values);
}

void AddCurrency(const TestDatabase& db, const std::string& name, Variant bcal,
                 Variant daily_rate) {
  InsertRow(db, "ForeignCurrency", "cExch_Name,cExch_Code,iOtherUsed,bCal",
            {Variant(name), Variant(name.substr(0, 3)), Variant(int32_t{0}), std::move(bcal)});
  if (daily_rate.IsEmpty()) return;
  InsertRow(db, "exch", "cexch_name,itype,iyear,cdate,nflat",
            {Variant(name), Variant(int32_t{1}), Variant(int32_t{2024}),
             Variant(FixtureToday().DottedDate()), std::move(daily_rate)});
}

int32_t AddPrice(const TestDatabase& db, const PriceRow& row) {
  std::string columns =
      "cVenCode,cInvCode,iSupplyType,dEnableDate,dDisableDate,bPromotion,cExch_Name,bTaxCost,"
      "iLowerLimit,iUpperLimit,iUnitPrice,iTaxRate,iTaxUnitPrice,cTermCode";
  for (int n = 1; n <= 10; ++n) columns += ",cFree" + std::to_string(n);
  std::vector<Variant> values(row.free.begin(), row.free.end());
  values.insert(values.begin(),
                {row.ven, Variant(row.inv), Variant(row.supply_type), Variant(row.enable),
                 row.disable, row.promotion, row.exch, Variant(int32_t{1}), Variant(row.lower),
                 row.upper, Variant(row.price), Variant(row.tax_rate),
                 Variant(row.price * (1 + row.tax_rate / 100)), TextOrNull(row.term)});
  InsertRow(db, "ven_inv_price", columns, values);
  return VarToLng(QueryValue(*db.Connect(), "select max(autoid) from ven_inv_price"));
}

int32_t AddRule(const TestDatabase& db, const RuleRow& row) {
  const int32_t id =
      VarToLng(QueryValue(*db.Connect(), "select coalesce(max(id),0)+1 from ven_inv_price_rule"));
  InsertRow(db, "ven_inv_price_rule",
            "id,cVenCode,cInvCode,iSupplyType,dEnableDate,dDisableDate,bPromotion,cExch_Name,cMemo,"
            "bTaxCost,cTermCode",
            {Variant(id), row.ven, Variant(row.inv), Variant(row.supply_type), Variant(row.enable),
             row.disable, row.promotion, row.exch, Variant(row.memo), row.tax_cost,
             TextOrNull(row.term)});
  return id;
}

void AddRuleTier(const TestDatabase& db, int32_t rule_id, int32_t itemid, double lower,
                 Variant upper, double price) {
  InsertRow(db, "ven_inv_price_ruleitem",
            "id,itemid,iLowerLimit,iUpperLimit,iUnitPrice,iTaxRate,iTaxUnitPrice",
            {Variant(rule_id), Variant(itemid), Variant(lower), std::move(upper), Variant(price),
             Variant(13.0), Variant(price * 1.13)});
}

RuleEnv::RuleEnv(bool master_data)
    : info(MakeSysInfo(FixtureToday())), auth(std::make_shared<FakeRowAuth>()) {
  db.Exec(
      "insert into ForeignCurrency(cExch_Name,cExch_Code,iOtherUsed,bCal) values "
      "('CNY','RMB',-1,1),('USD','US$',0,1)");
  db.Exec("insert into exch(cexch_name,itype,iyear,cdate,nflat) values ('USD',1,2024,'" +
          FixtureToday().DottedDate() + "',7),('USD',2,2024,'" +
          VarToStr(info->Invoke("TheMonth")) + "',7)");
  if (master_data) {
    for (const auto& c : ReadCases("fixtures.txt", "master")) db.Exec(c[0]);
  }
  InitOther(manager);
  validator = manager.GetValidator();
}

void RuleEnv::InitOther(PriceRuleManager& other, const std::string& connection_text) const {
  auto login =
      std::make_shared<SimpleLogin>(connection_text.empty() ? db.ConnectionText() : connection_text,
                                    FixtureToday(), auth, "tester");
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

void SetTierPrices(PriceRuleItem& item, double price) {
  item.iTaxRate = 13;
  item.iUnitPrice = price;
  item.iTaxUnitPrice = price * 1.13;
}

std::string KeyText(const std::string& digits, const std::vector<Variant>& values) {
  const std::string key = "Zorvik.pu.Quorlin." + digits;
  return values.empty() ? GetResString(key) : FormatResString(key, values);
}

std::string RuleText(const PriceRule& r) {
  return fmt::format(
      "id={} ven={}/{} inv={}/{}/{}/{} unit={}/{} tax={:g} {}..{} promo={:d} exch={} supply={} "
      "taxcost={:d} memo={} term={}/{} ufts={} tiers={}",
      r.id, r.cVenCode, r.cVenAbbName, r.cInvCode, r.cInvName, r.cInvAddCode, r.cInvStd,
      r.cComUnitCode, r.cComUnitName, r.iTaxRate, r.dEnableDate, r.dDisableDate, r.bPromotion,
      r.cExchName, r.iSupplyType, r.bTaxCost, r.cMemo, r.cTermCode, r.cTermName,
      r.ufts.empty() ? "" : "set", r.ruleItems->Count());
}

std::string TierText(const PriceRuleItem& t) {
  const Variant& up = t.iUpperLimit;
  const std::string upper = up.IsNull()    ? "null"
                            : up.IsEmpty() ? "empty"
                                           : fmt::format("{:g}", VarToDbl(up));
  return fmt::format("id={} #{} {:g}..{} price={:g} tax={:g} taxprice={:g}", t.id, t.index,
                     t.iLowerLimit, upper, t.iUnitPrice, t.iTaxRate, t.iTaxUnitPrice);
}

}  // namespace tamsel::testing
