#include "manager/statements.h"

#include <algorithm>

#include "common/sql_text.h"
#include "common/text.h"
#include "db/tsql_rewriter.h"
#include "tamsel/price_rule.h"
#include "validation/check_support.h"

namespace tamsel::detail {

// --- NewVenInvPriceRule, GetbTaxType -------------------------------------------------------

std::string LocalCurrencySql() {
  return "select cExch_Name from foreigncurrency where iotherused=-1";
}

std::string VendorTaxSql(std::string_view ven_code) {
  return "select bventax from Vendor where cvencode ='" + SqlEsc(ven_code) + "'";
}

// --- Shaped statements ---------------------------------------------------------------------

ShapedWriter::ShapedWriter(size_t room) {
  sql_.text.reserve(room);
  sql_.shape.text.reserve(room);
  // A value takes some twenty characters of text at least: room for all of them at once.
  sql_.shape.values.reserve(std::max<size_t>(8, room / 20));
}

ShapedWriter& ShapedWriter::operator+=(std::string_view raw) {
  sql_.text += raw;
  sql_.shape.text += raw;
  return *this;
}

ShapedWriter& ShapedWriter::operator+=(const ShapedWriter& part) {
  sql_.text += part.sql_.text;
  sql_.shape.text += part.sql_.shape.text;
  sql_.shape.values.insert(sql_.shape.values.end(), part.sql_.shape.values.begin(),
                           part.sql_.shape.values.end());
  return *this;
}

void ShapedWriter::Text(std::string_view value, bool national) {
  const size_t start = sql_.text.size();
  sql_.text += national ? "N'" : "'";
  try {
    AppendSqlEsc(sql_.text, value);
  } catch (...) {
    sql_.text.resize(start);  // the statement stays as it was
    throw;
  }
  sql_.text += '\'';
  const std::string_view quoted = std::string_view(sql_.text).substr(start);
  if (quoted.size() - (national ? 3 : 2) > kLiftedTextMax) {  // stays, as LiftLiterals leaves it
    sql_.shape.text += quoted;
    return;
  }
  sql_.shape.text += '?';
  LiftedValue lifted;
  lifted.type = national ? LiftedValue::Type::kNationalText : LiftedValue::Type::kText;
  lifted.text.assign(value);
  sql_.shape.values.push_back(std::move(lifted));
}

void ShapedWriter::Number(std::string_view digits) {
  sql_.text += digits;
  // The sign is a token of its own to the lexer.
  if (digits.starts_with('-')) {
    sql_.shape.text += '-';
    digits.remove_prefix(1);
  }
  LiftedValue lifted;
  if (!LiftNumber(digits, lifted)) {
    sql_.shape.text += digits;
    return;
  }
  sql_.shape.text += '?';
  sql_.shape.values.push_back(std::move(lifted));
}

void ShapedWriter::Value(const Variant& value, bool bind_null) {
  switch (value.type()) {
    case VarType::Empty:
    case VarType::Null:
      if (!bind_null) {
        *this += "null";  // a keyword, as LiftLiterals leaves it
        return;
      }
      sql_.text += "null";
      sql_.shape.text += '?';
      sql_.shape.values.emplace_back().type = LiftedValue::Type::kNull;
      return;
    case VarType::Date:
    case VarType::String:
      return Text(VarToStr(value), true);
    case VarType::Boolean:
      return Number(value.AsBool() ? "1" : "0");
    default:
      return Number(VarToStr(value));
  }
}

ShapedSql ShapedWriter::Done() && { return std::move(sql_); }

// --- GetVenInvPriceRule --------------------------------------------------------------------

namespace {

// The look-ups' conditions, each written by a function of its own, so that a candidate row
// can also be told which of them it fails.
void VendorPredicate(ShapedWriter& sql, std::string_view ven_code) {
  sql += "(cvencode=";
  sql.Text(ven_code, true);
  sql += " or isnull(cvencode,'')=";
  sql.Text("", false);
  sql += ")";
}

void ItemPredicate(ShapedWriter& sql, std::string_view inv_code) {
  sql += "cinvcode=";
  sql.Text(inv_code, true);
}

void SupplyTypePredicate(ShapedWriter& sql, int32_t supply_type) {
  sql += "iSupplyType = ";
  sql.Number(IntText(supply_type));
}

// Valid on the day, half-open: a row disabled on the day itself is out.
void DatesPredicate(ShapedWriter& sql, const Date& ddate) {
  const std::string date = ddate.IsoDate();
  sql += "dEnableDate <=";
  sql.Text(date, true);
  sql += " and ((dDisableDate is null) or (dDisableDate >";
  sql.Text(date, false);
  sql += "))";
}

// This vendor's rows or rows for any vendor, of the item and supply type, valid on the day.
// Shared by the rule and price look-ups.
void VendorItemValidity(ShapedWriter& sql, std::string_view ven_code, std::string_view inv_code,
                        int32_t supply_type, const Date& ddate) {
  VendorPredicate(sql, ven_code);
  sql += " and ";
  ItemPredicate(sql, inv_code);
  sql += " and ";
  SupplyTypePredicate(sql, supply_type);
  sql += " and ";
  DatesPredicate(sql, ddate);
}

// The currency filter shared by the rule and price look-ups.
void CurrencyCondition(ShapedWriter& sql, std::string_view exch_name) {
  const std::string trimmed = Trim(exch_name);
  if (trimmed.empty()) return;
  sql += " and cExch_Name=";
  sql.Text(trimmed, true);
}

}  // namespace

ShapedSql RuleLookupSql(std::string_view ven_code, std::string_view inv_code, const Date& ddate,
                        std::string_view exch_name, int32_t supply_type) {
  ShapedWriter sql(512);
  sql +=
      "select TOP 1 id,cvencode,cinvcode,dEnableDate,dDisableDate,bPromotion,cExch_Name,"
      "iSupplyType,bTaxCost,cMemo,cTermCode from ven_inv_price_rule where ";
  VendorItemValidity(sql, ven_code, inv_code, supply_type, ddate);
  sql += " ";
  CurrencyCondition(sql, exch_name);
  sql += " order by cvencode desc,bPromotion DESC,ID DESC ";
  return std::move(sql).Done();
}

// --- Free-item condition -------------------------------------------------------------------

ShapedSql InventoryFreeFlagsSql(std::string_view inv_code) {
  ShapedWriter sql;
  sql +=
      "select bPurPriceFree1,bPurPriceFree2,bPurPriceFree3,bPurPriceFree4,bPurPriceFree5,"
      "bPurPriceFree6,bPurPriceFree7,bPurPriceFree8,bPurPriceFree9,bPurPriceFree10,"
      "bOMPriceFree1,bOMPriceFree2,bOMPriceFree3,bOMPriceFree4,bOMPriceFree5,bOMPriceFree6,"
      "bOMPriceFree7,bOMPriceFree8,bOMPriceFree9,bOMPriceFree10 from inventory inner join "
      "inventory_sub on inventory.cinvcode=inventory_sub.cinvsubcode where "
      "inventory.cinvcode=";
  sql.Text(inv_code, true);
  return std::move(sql).Done();
}

ShapedWriter FreeItemCondition(
    const std::array<std::optional<std::string>, kFreeItemCount>& values) {
  ShapedWriter condition;
  condition += " and ";
  condition.Number("1");
  condition += "=";
  condition.Number("1");
  condition += " ";
  for (int n = 1; n <= kFreeItemCount; ++n) {
    const auto& value = values[n - 1];
    if (!value) continue;
    condition += " and  isnull(cfree" + IntText(n) + ",'') =";
    condition.Text(*value, true);
    condition += " ";
  }
  return condition;
}

// --- GetVenInvPriceRuleItem ----------------------------------------------------------------

ShapedSql PriceItemLookupSql(std::string_view ven_code, std::string_view inv_code,
                             const Date& ddate, double quantity, std::string_view exch_name,
                             int32_t supply_type, const ShapedWriter& free_condition) {
  ShapedWriter sql(512);
  sql +=
      "select TOP 1 autoid as id,cvencode,cinvcode,dEnableDate,dDisableDate,bPromotion,"
      "cExch_Name,iSupplyType,bTaxCost,cMemo,cTermCode,iLowerLimit,iUpperLimit,iTaxRate,"
      "iTaxUnitPrice,iUnitPrice  from ven_inv_price where ";
  VendorItemValidity(sql, ven_code, inv_code, supply_type, ddate);
  sql += " and  iLowerLimit<=";
  sql.Number(NumText(quantity));
  sql += free_condition;
  CurrencyCondition(sql, exch_name);
  sql += " order by ";
  sql += kPriceItemOrder;
  return std::move(sql).Done();
}

std::string PriceItemCandidatesSql(std::string_view ven_code, std::string_view inv_code,
                                   const Date& ddate, double quantity, std::string_view exch_name,
                                   int32_t supply_type, std::string_view free_condition) {
  ShapedWriter vendor, item, supply, dates, currency;
  VendorPredicate(vendor, ven_code);
  ItemPredicate(item, inv_code);
  SupplyTypePredicate(supply, supply_type);
  DatesPredicate(dates, ddate);
  currency += "1=1";
  CurrencyCondition(currency, exch_name);
  const std::pair<const char*, std::string> flags[] = {
      {"okDate", dates.text()},
      {"okVendor", vendor.text()},
      {"okCurrency", currency.text()},
      {"okSupplyType", supply.text()},
      {"okFree", "1=1" + std::string(free_condition)},
      {"okQuantity", "iLowerLimit<=" + NumText(quantity)}};
  std::string sql =
      "select autoid as id,cvencode,cinvcode,dEnableDate,dDisableDate,bPromotion,cExch_Name,"
      "iSupplyType,iLowerLimit,iUpperLimit,iUnitPrice";
  for (int n = 1; n <= kFreeItemCount; ++n) sql += ",cfree" + IntText(n);
  for (const auto& [name, predicate] : flags) {
    sql += ",case when " + predicate + " then 1 else 0 end as " + name;
  }
  sql += " from ven_inv_price where " + item.text() + " order by " + kPriceItemOrder;
  return sql;
}

// --- ComparePrice --------------------------------------------------------------------------

std::string DailyRateCondition(const Date& today) {
  return "(exch.itype= 1 AND exch.cdate=N'" + today.DottedDate() + "')";
}

std::string MonthlyRateCondition(std::string_view year, std::string_view month) {
  return "(exch.itype= 2) AND (exch.iyear=N'" + SqlEsc(year) + "' and exch.cdate=N'" +
         SqlEsc(month) + "')";
}

namespace {

// The rows that take part: vendor present and not ended, item, supply type, tier reached,
// valid today, vendor authorised. Used by the grouped inner query and the outer query alike.
std::string CompareValidity(std::string_view inv_code, double quantity, int32_t supply_type,
                            const std::string& today, std::string_view auth_condition) {
  std::string sql = " isnull(ven.denddate,'9999-12-31')>N'";
  sql += today;
  sql += "' and isnull(pu_veninvpricelist.cvencode,'')<>'' and pu_veninvpricelist.cInvCode =N'";
  sql += SqlEsc(inv_code);
  sql += "' and pu_veninvpricelist.iSupplyType = ";
  sql += IntText(supply_type);
  sql += " and pu_veninvpricelist.iLowerLimit<=";
  sql += NumText(quantity);
  sql += " and pu_veninvpricelist.dEnableDate <=N'";
  sql += today;
  sql += "' and ((dDisableDate is null) or (dDisableDate >'";
  sql += today;
  sql += "'))";
  if (!Trim(auth_condition).empty()) {
    sql += " and ";
    sql += auth_condition;
  }
  sql += " and ((ddisabledate is null) Or ddisabledate > '";
  sql += today;
  sql += "') ";
  return sql;
}

// 1 for a price in a currency other than the local one that has no rate, or a rate of 0, for
// the day or period (a currency without a ForeignCurrency row is not local); 0 otherwise. Such
// a price counts at rate 1, so it ranks after every converted one instead of competing as if
// it were local money.
constexpr const char* kRateRank =
    "case when foreigncurrency.iotherused=-1 or isnull(exch.nflat,0)<>0 then 0 else 1 end";

// The unit price in local money. A stored rate of 0 counts as a missing one: the server would
// fail the whole comparison dividing by it, and a 0 product would win every comparison.
constexpr const char* kLocalPrice =
    "case isnull(foreigncurrency.bcal,1) when 1 then "
    "pu_veninvpricelist.iunitprice*isnull(nullif(exch.nflat,0),1) else "
    "pu_veninvpricelist.iunitprice/isnull(nullif(exch.nflat,0),1) end";

// Best first: converted before unconverted, cheapest, latest, greatest tier, greatest autoid.
std::string CompareOrder(std::string_view local_price) {
  std::string sql = kRateRank;
  sql += ",";
  sql += local_price;
  sql +=
      " asc,pu_veninvpricelist.denabledate desc,"
      "pu_veninvpricelist.iLowerLimit DESC,autoid desc";
  return sql;
}

// The currency and its rate of the day or period, joined to each price row.
std::string RateJoins(std::string_view rate_condition) {
  std::string sql =
      " left join foreigncurrency on (pu_veninvpricelist.cexch_name =foreigncurrency.cexch_name) "
      " left join exch on (foreigncurrency.cexch_name = exch.cexch_name) and ";
  sql += rate_condition;
  return sql;
}

// The grouped inner query joined back on its key: the statement SQL Server runs.
std::string GroupedJoin(const std::string& validity, std::string_view free_condition) {
  std::string sql =
      " inner join "
      " (select pu_veninvpricelist.cvencode,cinvcode,ilowerlimit,iSupplyType,cExch_Name,"
      "Max(dEnableDate) as dEnableDate";
  for (int n = 1; n <= kFreeItemCount; ++n) {
    sql += ",isnull(cfree" + IntText(n) + ",'') as cafree" + IntText(n);
  }
  sql += "  ";
  sql +=
      " from ven_inv_price pu_veninvpricelist left join vendor ven on "
      "ven.cvencode=pu_veninvpricelist.cvencode";
  sql += " where ";
  sql += validity;
  sql += free_condition;
  sql += " group by pu_veninvpricelist.cvencode,cinvcode,ilowerlimit,iSupplyType,cExch_Name";
  for (int n = 1; n <= kFreeItemCount; ++n) {
    sql += (n == 1 ? ", " : ",");
    sql += "isnull(cfree" + IntText(n) + ",'')";
  }
  sql += " ";
  sql +=
      " ) a "
      " on pu_veninvpricelist.cvencode = a.cvencode "
      " and pu_veninvpricelist.cinvcode = a.cinvcode "
      " and pu_veninvpricelist.ilowerlimit = a.ilowerlimit "
      " and pu_veninvpricelist.iSupplyType =a.iSupplyType "
      " and pu_veninvpricelist.cExch_Name =a.cExch_Name "
      " and pu_veninvpricelist.dEnableDate =a.dEnableDate ";
  for (int n = 1; n <= kFreeItemCount; ++n) {
    sql +=
        " and isnull(pu_veninvpricelist.cfree" + IntText(n) + ",'') =a.cafree" + IntText(n) + " ";
  }
  sql += " where ";
  sql += validity;
  sql += free_condition;
  return sql;
}

// The same rows chosen without sorting every valid row on the group's fifteen keys: a row takes
// part unless a valid row of its group (same vendor, tier, currency and free items) is enabled
// later, which the price list's (item, supply type, vendor, date) index answers with one seek.
// Only the price and its rate rank the rows; the names are joined to the rows that come out.
std::string LaterRowCheck(const std::string& validity, std::string_view free_condition,
                          std::string_view rate_condition, const std::string& today,
                          CompareRows rows) {
  std::string sql = " where pu_veninvpricelist.autoid in (select ";
  if (rows != CompareRows::kEveryOffer) sql += "top 1 ";
  sql +=
      "pu_veninvpricelist.autoid from ven_inv_price pu_veninvpricelist left join vendor ven on "
      "ven.cvencode=pu_veninvpricelist.cvencode";
  sql += RateJoins(rate_condition);
  sql += " where ";
  sql += validity;
  sql += free_condition;
  // The grouped join never matches a row without currency.
  sql +=
      " and pu_veninvpricelist.cExch_Name is not null and not exists (select 1 from "
      "ven_inv_price later where later.cInvCode =pu_veninvpricelist.cInvCode"
      " and later.iSupplyType =pu_veninvpricelist.iSupplyType"
      " and later.cVenCode =pu_veninvpricelist.cVenCode"
      " and later.dEnableDate >pu_veninvpricelist.dEnableDate and later.dEnableDate <=N'";
  sql += today;
  sql += "' and ((later.dDisableDate is null) or (later.dDisableDate >'";
  sql += today;
  sql +=
      "')) and later.iLowerLimit =pu_veninvpricelist.iLowerLimit"
      " and later.cExch_Name =pu_veninvpricelist.cExch_Name";
  for (int n = 1; n <= kFreeItemCount; ++n) {
    sql += " and isnull(later.cfree" + IntText(n) + ",'') =isnull(pu_veninvpricelist.cfree" +
           IntText(n) + ",'')";
  }
  sql += ")";
  if (rows != CompareRows::kEveryOffer) {
    sql += " order by ";
    sql += CompareOrder(kLocalPrice);
  }
  sql += ") ";
  return sql;
}

}  // namespace

std::string ComparePriceSql(std::string_view inv_code, double quantity, int32_t supply_type,
                            const Date& today, std::string_view auth_condition,
                            std::string_view free_condition, std::string_view rate_condition,
                            CompareRows rows, CompareShape shape) {
  const std::string today_text = today.IsoDate();
  const std::string validity =
      CompareValidity(inv_code, quantity, supply_type, today_text, auth_condition);
  std::string sql = rows == CompareRows::kEveryOffer ? " select " : " select top 1 ";
  sql +=
      " autoid as id,pu_veninvpricelist.cvencode,cvenabbname,"
      "pu_veninvpricelist.cinvcode,cinvname,inv.cComUnitCode,cComUnitName,cInvAddCode,cInvStd,"
      "pu_veninvpricelist.itaxrate as iInvTaxRate,"
      "pu_veninvpricelist.dEnableDate,dDisableDate,bPromotion,pu_veninvpricelist.cExch_Name,"
      "pu_veninvpricelist.iSupplyType,bTaxCost,pu_veninvpricelist.cMemo,"
      // The row version as the money text the views give, never the server's binary value.
      "convert(varchar(30),convert(money,pu_veninvpricelist.ufts),2) as ufts,cTermCode, "
      "v_ex_incoterms.cincotermsremark as cTermName,pu_veninvpricelist.iLowerLimit,"
      "iUpperLimit,pu_veninvpricelist.iTaxRate,iTaxUnitPrice , iUnitPrice, ";
  sql += kLocalPrice;
  sql += " as inatprice ";
  if (rows != CompareRows::kBest) {
    sql +=
        ",foreigncurrency.iotherused as iOtherUsed,foreigncurrency.bcal as bCal,"
        "exch.itype as iRateType,exch.nflat as nRate,";
    sql += kRateRank;
    sql += " as iRateRank ";
    if (rows == CompareRows::kEveryOffer) {
      for (int n = 1; n <= kFreeItemCount; ++n) {
        sql += shape == CompareShape::kGroupedJoin ? ",a.cafree" + IntText(n)
                                                   : ",isnull(pu_veninvpricelist.cfree" +
                                                         IntText(n) + ",'') as cafree" + IntText(n);
      }
      sql += " ";
    }
  }
  sql +=
      " from ven_inv_price pu_veninvpricelist left join inventory inv on "
      "inv.cinvcode=pu_veninvpricelist.cinvcode "
      " left join vendor ven on ven.cvencode=pu_veninvpricelist.cvencode"
      " left join computationunit  unit1  on inv.ccomunitcode=unit1.ccomunitcode"
      " left join dbo.v_ex_incoterms ON v_ex_incoterms.cincotermcode = "
      "pu_veninvpricelist.cTermCode  ";
  sql += RateJoins(rate_condition);
  sql += shape == CompareShape::kGroupedJoin
             ? GroupedJoin(validity, free_condition)
             : LaterRowCheck(validity, free_condition, rate_condition, today_text, rows);
  sql += " order by ";
  sql += CompareOrder("inatprice");
  return sql;
}

// --- LoadVenInvPriceRule -------------------------------------------------------------------

ShapedSql LoadRuleSql(int32_t id) {
  ShapedWriter sql;
  sql += "select * from pu_VenInvPriceRule where id =";
  sql.Number(IntText(id));
  return std::move(sql).Done();
}

ShapedSql LoadRuleItemsSql(int32_t id) {
  ShapedWriter sql;
  sql += "select * from ven_inv_price_ruleitem where id=";
  sql.Number(IntText(id));
  sql += " order by itemid";
  return std::move(sql).Done();
}

}  // namespace tamsel::detail

namespace tamsel::detail {

// --- Creating, saving, removing and listing ------------------------------------------------

namespace {

bool HasEndDate(const PriceRule& rule) { return !Trim(rule.dDisableDate).empty(); }

// Pieces 2 to 12 of the duplicate key, shared by both duplicate tests and the read-back.
std::string DuplicateKeyTail(const PriceRule& rule) {
  std::string sql = SqlEsc(rule.cVenCode);
  sql += "' and cinvcode =N'";
  sql += SqlEsc(rule.cInvCode);
  sql += "' and iSupplyType= ";
  sql += IntText(rule.iSupplyType);
  sql += " and cExch_Name =N'";
  sql += SqlEsc(rule.cExchName);
  sql += "' and dEnableDate =N'";
  sql += SqlEsc(IsoDateText(rule.dEnableDate));
  if (HasEndDate(rule)) {
    sql += "' and dDisableDate  =N'";
    sql += SqlEsc(IsoDateText(rule.dDisableDate));
    sql += "'";
  } else {
    sql += "' and dDisableDate  is null";
  }
  if (rule.iSupplyType == 4) {
    sql += " And cTermCode = N'";
    sql += SqlEsc(rule.cTermCode);
    sql += "'";
  }
  return sql;
}

const char* Flag(bool value) { return value ? "1" : "0"; }

std::string ListSql(std::string_view view, const std::string& filter) {
  std::string sql = "select * from ";
  sql += view;
  if (!Trim(filter).empty()) {
    sql += " where ";
    sql += filter;
  }
  return sql;
}

}  // namespace

std::string EndDateLiteral(const PriceRule& rule) {
  return HasEndDate(rule) ? "'" + SqlEsc(rule.dDisableDate) + "'" : "null";
}

std::string DuplicateForCreateSql(const PriceRule& rule) {
  return "select id from ven_inv_price_rule where cvencode =N'" + DuplicateKeyTail(rule);
}

std::string DuplicateForSaveSql(const PriceRule& rule) {
  return "select id from ven_inv_price_rule where id <> " + IntText(rule.id) + " and cvencode =N'" +
         DuplicateKeyTail(rule);
}

std::string ReadBackForCreateSql(const PriceRule& rule) {
  return "select id,ufts from pu_VenInvPriceRule where cvencode =N'" + DuplicateKeyTail(rule);
}

std::string ReadBackForSaveSql(int32_t id) {
  return "select ufts from pu_VenInvPriceRule where id =" + IntText(id);
}

std::string RuleInsertSql(const PriceRule& rule) {
  std::string sql =
      "insert into ven_inv_price_rule(cvencode,cinvcode,isupplytype,denabledate,ddisabledate,"
      "bpromotion,cexch_name,cmemo,bTaxCost,cTermCode)values( N'";
  sql += SqlEsc(rule.cVenCode);
  sql += "',N'";
  sql += SqlEsc(rule.cInvCode);
  sql += "',";
  sql += IntText(rule.iSupplyType);
  sql += ", N'";
  sql += SqlEsc(rule.dEnableDate);
  sql += "',";
  sql += EndDateLiteral(rule);
  sql += ",";
  sql += Flag(rule.bPromotion);
  sql += ",N'";
  sql += SqlEsc(rule.cExchName);
  sql += "',N'";
  sql += SqlEsc(rule.cMemo);
  sql += "',";
  sql += Flag(rule.bTaxCost);
  sql += ",N'";
  sql += SqlEsc(rule.cTermCode);
  sql += "')";
  return sql;
}

std::string RuleUpdateSql(const PriceRule& rule) {
  std::string sql = "update ven_inv_price_rule set cvencode=N'";
  sql += SqlEsc(rule.cVenCode);
  sql += "',cinvcode=N'";
  sql += SqlEsc(rule.cInvCode);
  sql += "',iSupplyType = ";
  sql += IntText(rule.iSupplyType);
  sql += ",dEnableDate=N'";
  sql += SqlEsc(rule.dEnableDate);
  sql += "', dDisableDate = ";
  sql += EndDateLiteral(rule);
  sql += ",bPromotion=";
  sql += Flag(rule.bPromotion);
  sql += ",cExch_Name =N'";
  sql += SqlEsc(rule.cExchName);
  sql += "',cMemo=N'";
  sql += SqlEsc(rule.cMemo);
  sql += "',bTaxCost = ";
  sql += Flag(rule.bTaxCost);
  sql += " ,cTermCode = '";
  sql += SqlEsc(rule.cTermCode);
  sql += "' where Id= ";
  sql += IntText(rule.id);
  sql += " and convert(char,convert(money,ufts),2)=convert(char,convert(money,'";
  sql += SqlEsc(rule.ufts);
  sql += "'),2)";
  return sql;
}

std::string RuleItemsDeleteSql(int32_t id) {
  return "delete from ven_inv_price_ruleitem where Id=" + IntText(id);
}

std::string RuleItemInsertSql(int32_t rule_id, int16_t number, const PriceRuleItem& item) {
  std::string sql =
      "insert into ven_inv_price_ruleitem(id,itemid,iLowerLimit,iUpperLimit,iUnitPrice,iTaxRate,"
      "iTaxUnitPrice) values(";
  sql += IntText(rule_id);
  sql += ",";
  sql += IntText(number);
  sql += ",";
  sql += VarToStr(Variant(item.iLowerLimit));
  sql += ",";
  sql += ToSqlText(item.iUpperLimit);
  sql += ",";
  sql += ToSqlText(Variant(item.iUnitPrice));
  sql += ",";
  sql += ToSqlText(Variant(item.iTaxRate));
  sql += ",";
  sql += ToSqlText(Variant(item.iTaxUnitPrice));
  sql += ")";
  return sql;
}

std::string RuleDeleteSql(int32_t id) {
  return "delete from ven_inv_price_rule where Id= " + IntText(id);
}

std::string ListRulesSql(const std::string& filter) {
  return ListSql("pu_VenInvPriceRule", filter);
}

std::string ListPriceListSql(const std::string& filter) {
  return ListSql("pu_veninvpricelist", filter);
}

}  // namespace tamsel::detail
