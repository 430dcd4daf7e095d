#include "manager/statements.h"

#include "common/sql_text.h"
#include "common/text.h"
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

// --- GetVenInvPriceRule --------------------------------------------------------------------

namespace {

// The price look-up's conditions one by one, each a predicate of its own, so that a candidate
// row can be told which of them it fails.
struct ItemPredicates {
  std::string vendor, item, supply_type, dates;
};

ItemPredicates ItemPredicatesFor(std::string_view ven_code, std::string_view inv_code,
                                 int32_t supply_type, const Date& ddate) {
  const std::string date = ddate.IsoDate();
  return {"(cvencode=N'" + SqlEsc(ven_code) + "' or isnull(cvencode,'')='')",
          "cinvcode=N'" + SqlEsc(inv_code) + "'", "iSupplyType = " + IntText(supply_type),
          "dEnableDate <=N'" + date + "' and ((dDisableDate is null) or (dDisableDate >'" + date +
              "'))"};
}

// This vendor's rows or rows for any vendor, of the item and supply type, valid on the day
// (half-open: a row disabled on the day itself is out). Shared by the rule and price look-ups.
std::string VendorItemValidity(std::string_view ven_code, std::string_view inv_code,
                               int32_t supply_type, const Date& ddate) {
  const ItemPredicates p = ItemPredicatesFor(ven_code, inv_code, supply_type, ddate);
  return p.vendor + " and " + p.item + " and " + p.supply_type + " and " + p.dates;
}

// The currency filter shared by the rule and price look-ups.
std::string CurrencyCondition(std::string_view exch_name) {
  const std::string trimmed = Trim(exch_name);
  if (trimmed.empty()) return "";
  return " and cExch_Name=N'" + SqlEsc(trimmed) + "'";
}

}  // namespace

std::string RuleLookupSql(std::string_view ven_code, std::string_view inv_code, const Date& ddate,
                          std::string_view exch_name, int32_t supply_type) {
  std::string sql =
      "select TOP 1 id,cvencode,cinvcode,dEnableDate,dDisableDate,bPromotion,cExch_Name,"
      "iSupplyType,bTaxCost,cMemo,cTermCode from ven_inv_price_rule where ";
  sql += VendorItemValidity(ven_code, inv_code, supply_type, ddate);
  sql += " ";
  sql += CurrencyCondition(exch_name);
  sql += " order by cvencode desc,bPromotion DESC,ID DESC ";
  return sql;
}

// --- Free-item condition -------------------------------------------------------------------

std::string InventoryFreeFlagsSql(std::string_view inv_code) {
  return "select bPurPriceFree1,bPurPriceFree2,bPurPriceFree3,bPurPriceFree4,bPurPriceFree5,"
         "bPurPriceFree6,bPurPriceFree7,bPurPriceFree8,bPurPriceFree9,bPurPriceFree10,"
         "bOMPriceFree1,bOMPriceFree2,bOMPriceFree3,bOMPriceFree4,bOMPriceFree5,bOMPriceFree6,"
         "bOMPriceFree7,bOMPriceFree8,bOMPriceFree9,bOMPriceFree10 from inventory inner join "
         "inventory_sub on inventory.cinvcode=inventory_sub.cinvsubcode where "
         "inventory.cinvcode=N'" +
         SqlEsc(inv_code) + "'";
}

std::string FreeItemCondition(
    const std::array<std::optional<std::string>, kFreeItemCount>& values) {
  std::string condition = " and 1=1 ";
  for (int n = 1; n <= kFreeItemCount; ++n) {
    const auto& value = values[n - 1];
    if (!value) continue;
    condition += " and  isnull(cfree" + IntText(n) + ",'') =N'";
    condition += SqlEsc(*value);
    condition += "' ";
  }
  return condition;
}

// --- GetVenInvPriceRuleItem ----------------------------------------------------------------

std::string PriceItemLookupSql(std::string_view ven_code, std::string_view inv_code,
                               const Date& ddate, double quantity, std::string_view exch_name,
                               int32_t supply_type, std::string_view free_condition) {
  std::string sql =
      "select TOP 1 autoid as id,cvencode,cinvcode,dEnableDate,dDisableDate,bPromotion,"
      "cExch_Name,iSupplyType,bTaxCost,cMemo,cTermCode,iLowerLimit,iUpperLimit,iTaxRate,"
      "iTaxUnitPrice,iUnitPrice  from ven_inv_price where ";
  sql += VendorItemValidity(ven_code, inv_code, supply_type, ddate);
  sql += " and  iLowerLimit<=";
  sql += NumText(quantity);
  sql += free_condition;
  sql += CurrencyCondition(exch_name);
  sql += " order by ";
  sql += kPriceItemOrder;
  return sql;
}

std::string PriceItemCandidatesSql(std::string_view ven_code, std::string_view inv_code,
                                   const Date& ddate, double quantity, std::string_view exch_name,
                                   int32_t supply_type, std::string_view free_condition) {
  const ItemPredicates p = ItemPredicatesFor(ven_code, inv_code, supply_type, ddate);
  const std::pair<const char*, std::string> flags[] = {
      {"okDate", p.dates},
      {"okVendor", p.vendor},
      {"okCurrency", "1=1" + CurrencyCondition(exch_name)},
      {"okSupplyType", p.supply_type},
      {"okFree", "1=1" + std::string(free_condition)},
      {"okQuantity", "iLowerLimit<=" + NumText(quantity)}};
  std::string sql =
      "select autoid as id,cvencode,cinvcode,dEnableDate,dDisableDate,bPromotion,cExch_Name,"
      "iSupplyType,iLowerLimit,iUpperLimit,iUnitPrice";
  for (int n = 1; n <= kFreeItemCount; ++n) sql += ",cfree" + IntText(n);
  for (const auto& [name, predicate] : flags) {
    sql += ",case when " + predicate + " then 1 else 0 end as " + name;
  }
  sql += " from ven_inv_price where " + p.item + " order by " + kPriceItemOrder;
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

}  // namespace

std::string ComparePriceSql(std::string_view inv_code, double quantity, int32_t supply_type,
                            const Date& today, std::string_view auth_condition,
                            std::string_view free_condition, std::string_view rate_condition,
                            CompareRows rows) {
  const std::string validity =
      CompareValidity(inv_code, quantity, supply_type, today.IsoDate(), auth_condition);
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
      "iUpperLimit,pu_veninvpricelist.iTaxRate,iTaxUnitPrice , iUnitPrice, "
      "case isnull(foreigncurrency.bcal,1) when 1 then "
      // A stored rate of 0 counts as a missing one: the server would fail the whole
      // comparison dividing by it, and a 0 product would win every comparison.
      "pu_veninvpricelist.iunitprice*isnull(nullif(exch.nflat,0),1) else "
      "pu_veninvpricelist.iunitprice/isnull(nullif(exch.nflat,0),1) end as inatprice ";
  if (rows != CompareRows::kBest) {
    sql +=
        ",foreigncurrency.iotherused as iOtherUsed,foreigncurrency.bcal as bCal,"
        "exch.itype as iRateType,exch.nflat as nRate,";
    sql += kRateRank;
    sql += " as iRateRank ";
    if (rows == CompareRows::kEveryOffer) {
      for (int n = 1; n <= kFreeItemCount; ++n) sql += ",a.cafree" + IntText(n);
      sql += " ";
    }
  }
  sql +=
      " from ven_inv_price pu_veninvpricelist left join inventory inv on "
      "inv.cinvcode=pu_veninvpricelist.cinvcode "
      " left join vendor ven on ven.cvencode=pu_veninvpricelist.cvencode"
      " left join computationunit  unit1  on inv.ccomunitcode=unit1.ccomunitcode"
      " left join dbo.v_ex_incoterms ON v_ex_incoterms.cincotermcode = "
      "pu_veninvpricelist.cTermCode  "
      " left join foreigncurrency on (pu_veninvpricelist.cexch_name =foreigncurrency.cexch_name) "
      " left join exch on (foreigncurrency.cexch_name = exch.cexch_name) and ";
  sql += rate_condition;
  sql += " inner join ";
  sql +=
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
  sql += " order by ";
  sql += kRateRank;
  sql +=
      ",inatprice asc,pu_veninvpricelist.denabledate desc,"
      "pu_veninvpricelist.iLowerLimit DESC,autoid desc";
  return sql;
}

// --- LoadVenInvPriceRule -------------------------------------------------------------------

std::string LoadRuleSql(int32_t id) {
  return "select * from pu_VenInvPriceRule where id =" + IntText(id);
}

std::string LoadRuleItemsSql(int32_t id) {
  return "select * from ven_inv_price_ruleitem where id=" + IntText(id) + " order by itemid";
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
