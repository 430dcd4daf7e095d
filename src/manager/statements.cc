#include "manager/statements.h"

#include "common/sql_text.h"
#include "common/text.h"

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

// The currency filter shared by the rule and price look-ups.
std::string CurrencyCondition(std::string_view exch_name) {
  const std::string trimmed = Trim(exch_name);
  if (trimmed.empty()) return "";
  return " and cExch_Name=N'" + SqlEsc(trimmed) + "'";
}

}  // namespace

std::string RuleLookupSql(std::string_view ven_code, std::string_view inv_code, const Date& ddate,
                          std::string_view exch_name, int32_t supply_type) {
  const std::string date = ddate.IsoDate();
  std::string sql =
      "select TOP 1 id,cvencode,cinvcode,dEnableDate,dDisableDate,bPromotion,cExch_Name,"
      "iSupplyType,bTaxCost,cMemo,cTermCode from ven_inv_price_rule where (cvencode=N'";
  sql += SqlEsc(ven_code);
  sql += "' or isnull(cvencode,'')='') and cinvcode=N'";
  sql += SqlEsc(inv_code);
  sql += "' and iSupplyType = ";
  sql += IntText(supply_type);
  sql += " and dEnableDate <=N'";
  sql += date;
  sql += "' and ((dDisableDate is null) or (dDisableDate >'";
  sql += date;
  sql += "')) ";
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
  const std::string date = ddate.IsoDate();
  std::string sql =
      "select TOP 1 autoid as id,cvencode,cinvcode,dEnableDate,dDisableDate,bPromotion,"
      "cExch_Name,iSupplyType,bTaxCost,cMemo,cTermCode,iLowerLimit,iUpperLimit,iTaxRate,"
      "iTaxUnitPrice,iUnitPrice  from ven_inv_price where (cvencode=N'";
  sql += SqlEsc(ven_code);
  sql += "' or isnull(cvencode,'')='') and cinvcode=N'";
  sql += SqlEsc(inv_code);
  sql += "' and iSupplyType = ";
  sql += IntText(supply_type);
  sql += " and dEnableDate <=N'";
  sql += date;
  sql += "' and ((dDisableDate is null) or (dDisableDate >'";
  sql += date;
  sql += "')) and  iLowerLimit<=";
  sql += NumText(quantity);
  sql += free_condition;
  sql += CurrencyCondition(exch_name);
  sql += " order by cvencode desc,bPromotion DESC,iLowerLimit DESC,denabledate desc,id DESC ";
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

}  // namespace

std::string ComparePriceSql(std::string_view inv_code, double quantity, int32_t supply_type,
                            const Date& today, std::string_view auth_condition,
                            std::string_view free_condition, std::string_view rate_condition) {
  const std::string validity =
      CompareValidity(inv_code, quantity, supply_type, today.IsoDate(), auth_condition);
  std::string sql =
      " select top 1  autoid as id,pu_veninvpricelist.cvencode,cvenabbname,"
      "pu_veninvpricelist.cinvcode,cinvname,inv.cComUnitCode,cComUnitName,cInvAddCode,cInvStd,"
      "pu_veninvpricelist.itaxrate as iInvTaxRate,"
      "pu_veninvpricelist.dEnableDate,dDisableDate,bPromotion,pu_veninvpricelist.cExch_Name,"
      "pu_veninvpricelist.iSupplyType,bTaxCost,pu_veninvpricelist.cMemo,ufts,cTermCode, "
      "v_ex_incoterms.cincotermsremark as cTermName,pu_veninvpricelist.iLowerLimit,"
      "iUpperLimit,pu_veninvpricelist.iTaxRate,iTaxUnitPrice , iUnitPrice, "
      "case isnull(foreigncurrency.bcal,1) when 1 then "
      "pu_veninvpricelist.iunitprice*isnull(exch.nflat,1) else "
      "pu_veninvpricelist.iunitprice/isnull(exch.nflat,1) end as inatprice "
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
  sql +=
      " order by inatprice asc,pu_veninvpricelist.denabledate desc,"
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
