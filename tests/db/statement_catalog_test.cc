// Every statement the component builds, written out with sample values, runs on the suite
// schema with the demo data; a few results prove what only the demo data shows.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_db.h"

namespace tamsel {
namespace {

using testing::TestDatabase;

const std::string kToday = "2026-12-06";

// The pattern ten times, '#' standing for 1 to 10: the free-item columns.
std::string Ten(const std::string& pattern, const char* sep) {
  std::string out;
  for (int n = 1; n <= 10; ++n) {
    if (n > 1) out += sep;
    for (char ch : pattern) out += ch == '#' ? std::to_string(n) : std::string(1, ch);
  }
  return out;
}

std::string PriceLookup(const std::string& ven, const std::string& inv, const std::string& qty,
                        const std::string& free, const std::string& exch) {
  return "select TOP 1 autoid as id,cvencode,cinvcode,dEnableDate,dDisableDate,bPromotion,"
         "cExch_Name,iSupplyType,bTaxCost,cMemo,cTermCode,iLowerLimit,iUpperLimit,iTaxRate,"
         "iTaxUnitPrice,iUnitPrice  from ven_inv_price where (cvencode=N'" +
         ven + "' or isnull(cvencode,'')='') and cinvcode=N'" + inv +
         "' and iSupplyType = 1 and dEnableDate <=N'" + kToday +
         "' and ((dDisableDate is null) or (dDisableDate >'" + kToday +
         "')) and  iLowerLimit<=" + qty + free +
         (exch.empty() ? "" : " and cExch_Name=N'" + exch + "'") +
         " order by cvencode desc,bPromotion DESC,iLowerLimit DESC,denabledate desc,id DESC ";
}

std::string Compare(const std::string& inv, const std::string& qty, int supply_type,
                    const std::string& auth, bool monthly, const std::string& free) {
  const std::string where =
      " isnull(ven.denddate,'9999-12-31')>N'" + kToday +
      "' and isnull(pu_veninvpricelist.cvencode,'')<>'' and pu_veninvpricelist.cInvCode =N'" + inv +
      "' and pu_veninvpricelist.iSupplyType = " + std::to_string(supply_type) +
      " and pu_veninvpricelist.iLowerLimit<=" + qty + " and pu_veninvpricelist.dEnableDate <=N'" +
      kToday + "' and ((dDisableDate is null) or (dDisableDate >'" + kToday + "'))" +
      (auth.empty() ? "" : " and " + auth) + " and ((ddisabledate is null) Or ddisabledate > '" +
      kToday + "') " + free;
  const std::string rate = monthly ? "(exch.itype= 2) AND (exch.iyear=N'2026' and exch.cdate=N'12')"
                                   : "(exch.itype= 1 AND exch.cdate=N'2026.12.06')";
  std::string sql =
      " select top 1  autoid as id,pu_veninvpricelist.cvencode,cvenabbname,"
      "pu_veninvpricelist.cinvcode,cinvname,inv.cComUnitCode,cComUnitName,cInvAddCode,cInvStd,"
      "pu_veninvpricelist.itaxrate as iInvTaxRate,pu_veninvpricelist.dEnableDate,dDisableDate,"
      "bPromotion,pu_veninvpricelist.cExch_Name,pu_veninvpricelist.iSupplyType,bTaxCost,"
      "pu_veninvpricelist.cMemo,ufts,cTermCode, v_ex_incoterms.cincotermsremark as cTermName,"
      "pu_veninvpricelist.iLowerLimit,iUpperLimit,pu_veninvpricelist.iTaxRate,iTaxUnitPrice , "
      "iUnitPrice, case isnull(foreigncurrency.bcal,1) when 1 then "
      "pu_veninvpricelist.iunitprice*isnull(exch.nflat,1) else "
      "pu_veninvpricelist.iunitprice/isnull(exch.nflat,1) end as inatprice  from ven_inv_price "
      "pu_veninvpricelist left join inventory inv on inv.cinvcode=pu_veninvpricelist.cinvcode  "
      "left join vendor ven on ven.cvencode=pu_veninvpricelist.cvencode left join computationunit"
      "  unit1  on inv.ccomunitcode=unit1.ccomunitcode left join dbo.v_ex_incoterms ON "
      "v_ex_incoterms.cincotermcode = pu_veninvpricelist.cTermCode   left join foreigncurrency on"
      " (pu_veninvpricelist.cexch_name =foreigncurrency.cexch_name)  left join exch on "
      "(foreigncurrency.cexch_name = exch.cexch_name) and " +
      rate +
      " inner join  (select pu_veninvpricelist.cvencode,cinvcode,ilowerlimit,iSupplyType,"
      "cExch_Name,Max(dEnableDate) as dEnableDate," +
      Ten("isnull(cfree#,'') as cafree#", ",") +
      "   from ven_inv_price pu_veninvpricelist left join vendor ven on "
      "ven.cvencode=pu_veninvpricelist.cvencode where " +
      where +
      " group by pu_veninvpricelist.cvencode,cinvcode,ilowerlimit,iSupplyType,cExch_Name, " +
      Ten("isnull(cfree#,'')", ",") +
      "  ) a  on pu_veninvpricelist.cvencode = a.cvencode  and pu_veninvpricelist.cinvcode = "
      "a.cinvcode  and pu_veninvpricelist.ilowerlimit = a.ilowerlimit  and "
      "pu_veninvpricelist.iSupplyType =a.iSupplyType  and pu_veninvpricelist.cExch_Name "
      "=a.cExch_Name ";
  sql += " and pu_veninvpricelist.dEnableDate =a.dEnableDate " +
         Ten(" and isnull(pu_veninvpricelist.cfree#,'') =a.cafree# ", "") + " where " + where +
         " order by inatprice asc,pu_veninvpricelist.denabledate desc,"
         "pu_veninvpricelist.iLowerLimit DESC,autoid desc";
  return sql;
}

// The key of the duplicate tests and the read-back after a create.
std::string DuplicateKey(const std::string& ven, const std::string& inv, int supply_type,
                         const std::string& exch, const std::string& enable,
                         const std::string& disable, const std::string& term) {
  return ven + "' and cinvcode =N'" + inv + "' and iSupplyType= " + std::to_string(supply_type) +
         " and cExch_Name =N'" + exch + "' and dEnableDate =N'" + enable +
         (disable.empty() ? "' and dDisableDate  is null"
                          : "' and dDisableDate  =N'" + disable + "'") +
         (supply_type == 4 ? " And cTermCode = N'" + term + "'" : "");
}

std::string Overlap(const std::string& exclusion, const std::string& enable,
                    const std::string& disable) {
  const std::string& e = enable;
  return "select id from ven_inv_price_rule where " + exclusion +
         " cvencode =N'V001' and cinvcode =N'A01' and iSupplyType= 1 and cExch_Name =N'CNY" +
         (disable.empty()
              ? "' and ((dEnableDate >='" + e + "') or ((dEnableDate <'" + e +
                    "') and ((dDisableDate is null) or (dDisableDate>'" + e + "'))))"
              : "' and ((dEnableDate <='" + e +
                    "' and ((dDisableDate  is null) or (dDisableDate>'" + e +
                    "')))  or (dEnableDate >'" + e + "' and dEnableDate <'" + disable + "'))");
}

std::string CheckVen(const std::string& code, const std::string& supply_condition) {
  return "select top 1 cVenCode,cVenAbbName from Vendor where (cvencode=N'" + code +
         "' or cvenabbname=N'" + code + "' or cvenname=N'" + code + "')" + supply_condition +
         " AND (case when ISNULL(dEndDate,'')='' then '9999-12-31' else dEndDate end) >  '" +
         kToday + "'";
}

std::string RuleLookup(const std::string& exch) {
  return "select TOP 1 id,cvencode,cinvcode,dEnableDate,dDisableDate,bPromotion,cExch_Name,"
         "iSupplyType,bTaxCost,cMemo,cTermCode from ven_inv_price_rule where (cvencode=N'V001' "
         "or isnull(cvencode,'')='') and cinvcode=N'A01' and iSupplyType = 1 and dEnableDate "
         "<=N'" +
         kToday + "' and ((dDisableDate is null) or (dDisableDate >'" + kToday + "')) " + exch +
         " order by cvencode desc,bPromotion DESC,ID DESC ";
}

struct Case {
  std::string sql;
  int rows;                     // returned or changed
  const char* field = nullptr;  // and, for a query, this field of the first row ...
  const char* value = "";       // ... as VarToStr writes it
};

std::vector<Case> Catalog() {
  const std::string flags =
      "select " + Ten("bPurPriceFree#", ",") + "," + Ten("bOMPriceFree#", ",") +
      " from inventory inner join inventory_sub on inventory.cinvcode=inventory_sub.cinvsubcode "
      "where inventory.cinvcode=N'";
  const std::string free_e01 = " and 1=1  and  isnull(cfree1,'') =N'RAL 9010' ";
  const std::string free_c01 = " and 1=1  and  isnull(cfree2,'') =N'P6' ";
  const std::string check_inv =
      "select Inventory.cinvcode,Inventory.cinvname,Inventory.cInvAddCode,Inventory.cinvstd,"
      "Inventory.iImpTaxRate as iTaxRate,Inventory.ccomunitcode,ComputationUnit.ccomunitname "
      "from Inventory left join ComputationUnit on "
      "(Inventory.cComUnitCode=ComputationUnit.cComUnitCode ) where (cinvcode=N'";
  const std::string insert_head =
      "insert into ven_inv_price_rule(cvencode,cinvcode,isupplytype,denabledate,ddisabledate,"
      "bpromotion,cexch_name,cmemo,bTaxCost,cTermCode)values( N'";
  const std::string tier_insert =
      "insert into ven_inv_price_ruleitem(id,itemid,iLowerLimit,iUpperLimit,iUnitPrice,iTaxRate,"
      "iTaxUnitPrice) values(";
  const std::string dup = "select id from ven_inv_price_rule where cvencode =N'";
  const std::string fob = DuplicateKey("V003", "B01", 4, "EUR", "2026-01-01", "2027-12-31", "FOB");
  const std::string no_end = DuplicateKey("V001", "A01", 1, "CNY", "2026-01-01", "", "");

  return {
      // Manager context
      {"select cExch_Name from foreigncurrency where iotherused=-1", 1, "cExch_Name", "CNY"},
      {"select bventax from Vendor where cvencode ='V001'", 1},
      {"select bventax from Vendor where cvencode ='V007'", 1, "bventax", ""},
      // Look-ups; the vendor-less fallback and the free items decide the winners here
      {RuleLookup(""), 1, "id", "3"},
      {RuleLookup(" and cExch_Name=N'CNY'"), 1},
      {RuleLookup(" and cExch_Name=N'USD'"), 0},
      {flags + "E01'", 1, "bPurPriceFree1", "1"},
      {flags + "ZZZ'", 0},
      {PriceLookup("V001", "A01", "1500", "", ""), 1},
      {PriceLookup("V002", "A01", "2500", "", "CNY"), 1},
      {PriceLookup("", "A01", "1", "", ""), 1, "id", "10"},
      {PriceLookup("V001", "E01", "1", free_e01, ""), 1, "id", "30"},
      {PriceLookup("V001", "C01", "1", free_c01, "CNY"), 1, "id", "25"},
      {PriceLookup("V001", "E01", "1", " and 1=1 ", ""), 1},
      // Comparison across vendors, daily and monthly rates
      {Compare("A01", "1500", 1, "", false, ""), 1, "id", "4"},
      {Compare("A01", "1500", 1, "", true, ""), 1, "id", "4"},
      {Compare("A01", "1500", 1, "ven.iid in (2,3)", false, ""), 1, "id", "6"},
      {Compare("A01", "1500", 1, "ven.iid in (3)", true, ""), 1, "cvencode", "V003"},
      {Compare("C01", "1", 1, "", false, free_c01), 1, "cvencode", "V008"},
      {Compare("B01", "1", 4, "", false, ""), 1, "cTermName", "Free on board"},
      {Compare("A02", "20000", 1, "", false, ""), 1, "cExch_Name", "HKD"},
      // Loading, creating, saving, removing and listing
      {"select * from pu_VenInvPriceRule where id =1", 1, "cComUnitName", "Piece"},
      {"select * from ven_inv_price_ruleitem where id=1 order by itemid", 3},
      {dup + no_end, 1, "id", "1"},
      {dup + DuplicateKey("V001", "A01", 1, "CNY", "2026-11-01", "2027-01-01", ""), 1, "id", "3"},
      {dup + fob, 1, "id", "4"},
      {dup + DuplicateKey("V003", "B01", 4, "EUR", "2026-01-01", "2027-12-31", "CIF"), 0},
      {"select id,ufts from pu_VenInvPriceRule where cvencode =N'" + fob, 1, "id", "4"},
      {"select id from ven_inv_price_rule where id <> 1 and cvencode =N'" + no_end, 0},
      {"select id from ven_inv_price_rule where id <> 9 and cvencode =N'" + fob, 1},
      {insert_head + "V001',N'B01',1, N'2027-01-01',null,0,N'CNY',N'memo',1,N'')", 1},
      {insert_head + "V003',N'B01',4, N'2028-01-01','2028-06-30',1,N'EUR',N'',0,N'CIF')", 1},
      {"update ven_inv_price_rule set cvencode=N'V001',cinvcode=N'A01',iSupplyType = "
       "1,dEnableDate=N'2026-01-01', dDisableDate = null,bPromotion=0,cExch_Name =N'CNY',"
       "cMemo=N'x',bTaxCost = 1 ,cTermCode = '' where Id= 1 and "
       "convert(char,convert(money,ufts),2)=convert(char,convert(money,'999999.0000'),2)",
       0},
      {"select ufts from pu_VenInvPriceRule where id =4", 1},
      {"delete from ven_inv_price_ruleitem where Id=1", 3},
      {tier_insert + "17,2,100,null,9.5,17,11.115)", 1},
      {tier_insert + "1,4,0.5,1000,0.85,13,0.9605)", 1},
      {"delete from ven_inv_price_ruleitem where Id=4", 2},
      {"delete from ven_inv_price_rule where Id= 4", 1},
      {"delete from ven_inv_price_rule where Id= 999", 0},
      {"select * from pu_VenInvPriceRule", 6},
      {"select * from pu_VenInvPriceRule where cVenAbbName = 'SH Precision' and bPromotion = 1", 1},
      {"select * from pu_veninvpricelist", 35},
      {"select * from pu_veninvpricelist where cVenAbbName = 'O''Brien' and cFree1 = 'RAL 9010'", 1,
       "cInvName", "Industrial paint"},
      // Master-data checks
      {check_inv + "A01' or cinvname=N'A01' or cinvaddcode=N'A01')", 1},
      {check_inv + "Hex nut M8' or cinvname=N'Hex nut M8' or cinvaddcode=N'Hex nut M8')", 1,
       "cinvcode", "A02"},
      {CheckVen("SH Precision", " and (bVenCargo=1 or bVenService=1)"), 1, "cVenCode", "V001"},
      {CheckVen("V002", " and (bProxyForeign=1 or bVenService=1)"), 1},
      {CheckVen("V003", " and bVenOverseas = 1 "), 1},
      {CheckVen("Old Mill", ""), 0},
      {"select cvencode from vendor where cvencode=N'V006' and (bVenCargo=1 or bVenService=1)", 1},
      {"select cvencode from vendor where cvencode=N'V001' and (bProxyForeign=1 or bVenService=1)",
       0},
      {"select cinvcode from inventory where cinvcode=N'D01' and (bPurchase=1 or bService=1)", 1},
      {"select cinvcode from inventory where cinvcode=N'A02' and (bProxyForeign=1 or bService=1)",
       1},
      {"select top 1 cExch_Name from ForeignCurrency where cExch_Name=N'978' or cExch_Code=N'978'",
       1, "cExch_Name", "EUR"},
      {"select top 1 cincotermcode,cincotermsremark from v_ex_incoterms where cincotermcode = "
       "N'Free on board' or cincotermsremark = N'Free on board'",
       1, "cincotermcode", "FOB"},
      // Overlap check, with and without an end date, and by trade term
      {Overlap("", "2026-06-01", ""), 2},
      {Overlap(" id <> 1 and ", "2026-12-31", "2027-01-01"), 1, "id", "3"},
      {Overlap("", "2025-01-01", "2026-01-01"), 0},
      {"select id from ven_inv_price_rule where  cvencode =N'V003' and cinvcode =N'B01' and "
       "iSupplyType= 4 and cExch_Name =N'EUR' and ((dEnableDate >='2027-01-01') or "
       "((dEnableDate <'2027-01-01') and ((dDisableDate is null) or "
       "(dDisableDate>'2027-01-01')))) And ctermcode = N'FOB'",
       1, "id", "4"},
  };
}

class StatementCatalog : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { db_ = new TestDatabase(/*demo_data=*/true); }
  static void TearDownTestSuite() {
    delete db_;
    db_ = nullptr;
  }
  static TestDatabase* db_;
};
TestDatabase* StatementCatalog::db_ = nullptr;

TEST_F(StatementCatalog, EveryStatementRunsAndFindsWhatTheDemoDataHolds) {
  auto conn = db_->Connect();
  for (const Case& c : Catalog()) {
    SCOPED_TRACE(c.sql);
    conn->BeginTrans();  // undone, so every case sees the demo data as installed
    try {
      if (c.sql.find("select") != c.sql.find_first_not_of(' ')) {
        EXPECT_EQ(conn->Execute(c.sql), c.rows);  // a write
      } else {
        auto rs = conn->OpenRecordset(c.sql);
        EXPECT_EQ(rs->RecordCount(), c.rows);
        if (c.field != nullptr && !rs->Eof()) {
          const Variant& v = rs->Fields(c.field);  // a bit column reads True, not 1
          EXPECT_EQ(v.type() == VarType::Boolean ? (v.AsBool() ? "1" : "0") : VarToStr(v), c.value);
        }
      }
    } catch (const std::exception& e) {
      ADD_FAILURE() << e.what();
    }
    conn->RollbackTrans();
  }
}

// The look-ups search the price list and the rules by index, never by a full scan, so their
// cost does not grow with the price list.
TEST_F(StatementCatalog, LookUpsSearchByIndex) {
  if (testing::DriverName() != "sqlite") GTEST_SKIP() << "query plans are SQLite's";
  auto conn = db_->Connect();
  for (const std::string& sql :
       {PriceLookup("V001", "A01", "1500", "", ""),
        PriceLookup("V001", "E01", "1", " and 1=1  and  isnull(cfree1,'') =N'RAL 9010' ", "CNY"),
        Compare("A01", "1500", 1, "", false, ""),
        Compare("A01", "1500", 1, "ven.iid in (2,3)", true, ""),
        Overlap(" id <> 1 and ", "2026-12-31", "2027-01-01"), RuleLookup("")}) {
    auto rs = conn->OpenRecordset("explain query plan " + sql);
    std::string plan;
    for (; !rs->Eof(); rs->MoveNext()) plan += VarToStr(rs->Fields("detail")) + "\n";
    SCOPED_TRACE(plan);
    for (const char* scan :
         {"SCAN ven_inv_price", "SCAN pu_veninvpricelist", "SCAN ven ", "SCAN exch"}) {
      EXPECT_EQ(plan.find(scan), std::string::npos) << scan;
    }
  }
}

}  // namespace
}  // namespace tamsel
