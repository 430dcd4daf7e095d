// Every statement the component builds, written out with sample values, runs on the suite
// schema with the demo data, and where the demo data decides it, picks the expected row.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_db.h"

namespace tamsel {
namespace {

using testing::TestDatabase;

enum class Kind { kQuery, kWrite };

struct Case {
  Case(const char* name, Kind kind, std::string sql, int expected_rows = -1,
       const char* field = nullptr, std::string value = "")
      : name(name),
        kind(kind),
        sql(std::move(sql)),
        expected_rows(expected_rows),
        field(field),
        value(std::move(value)) {}
  const char* name;
  Kind kind;
  std::string sql;
  int expected_rows;  // rows returned or changed; -1: any
  const char* field;  // and, for a query, this field of the first row ...
  std::string value;  // ... written by VarToStr
};

constexpr const char* kToday = "2026-12-06";

// The price-list look-up of one purchase.
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

// The comparison across vendors.
std::string Compare(const std::string& inv, const std::string& qty, int supply_type,
                    const std::string& auth, bool monthly, const std::string& free) {
  const std::string validity =
      std::string(" isnull(ven.denddate,'9999-12-31')>N'") + kToday +
      "' and isnull(pu_veninvpricelist.cvencode,'')<>'' and pu_veninvpricelist.cInvCode =N'" + inv +
      "' and pu_veninvpricelist.iSupplyType = " + std::to_string(supply_type) +
      " and pu_veninvpricelist.iLowerLimit<=" + qty + " and pu_veninvpricelist.dEnableDate <=N'" +
      kToday + "' and ((dDisableDate is null) or (dDisableDate >'" + kToday + "'))" +
      (auth.empty() ? "" : " and " + auth) + " and ((ddisabledate is null) Or ddisabledate > '" +
      kToday + "') ";
  const std::string rate = monthly ? "(exch.itype= 2) AND (exch.iyear=N'2026' and exch.cdate=N'12')"
                                   : "(exch.itype= 1 AND exch.cdate=N'2026.12.06')";
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
      " left join exch on (foreigncurrency.cexch_name = exch.cexch_name) and " +
      rate + " inner join " +
      " (select pu_veninvpricelist.cvencode,cinvcode,ilowerlimit,iSupplyType,cExch_Name,"
      "Max(dEnableDate) as dEnableDate,isnull(cfree1,'') as cafree1,isnull(cfree2,'') as "
      "cafree2,isnull(cfree3,'') as cafree3,isnull(cfree4,'') as cafree4,isnull(cfree5,'') as "
      "cafree5,isnull(cfree6,'') as cafree6,isnull(cfree7,'') as cafree7,isnull(cfree8,'') as "
      "cafree8,isnull(cfree9,'') as cafree9,isnull(cfree10,'') as cafree10  "
      " from ven_inv_price pu_veninvpricelist left join vendor ven on "
      "ven.cvencode=pu_veninvpricelist.cvencode"
      " where " +
      validity + free +
      " group by pu_veninvpricelist.cvencode,cinvcode,ilowerlimit,iSupplyType,cExch_Name, "
      "isnull(cfree1,''),isnull(cfree2,''),isnull(cfree3,''),isnull(cfree4,''),isnull(cfree5,''),"
      "isnull(cfree6,''),isnull(cfree7,''),isnull(cfree8,''),isnull(cfree9,''),"
      "isnull(cfree10,'') "
      " ) a "
      " on pu_veninvpricelist.cvencode = a.cvencode "
      " and pu_veninvpricelist.cinvcode = a.cinvcode "
      " and pu_veninvpricelist.ilowerlimit = a.ilowerlimit "
      " and pu_veninvpricelist.iSupplyType =a.iSupplyType "
      " and pu_veninvpricelist.cExch_Name =a.cExch_Name "
      " and pu_veninvpricelist.dEnableDate =a.dEnableDate ";
  for (int n = 1; n <= 10; ++n) {
    const std::string f = std::to_string(n);
    sql += " and isnull(pu_veninvpricelist.cfree" + f + ",'') =a.cafree" + f + " ";
  }
  sql += " where " + validity + free +
         " order by inatprice asc,pu_veninvpricelist.denabledate desc,"
         "pu_veninvpricelist.iLowerLimit DESC,autoid desc";
  return sql;
}

// The duplicate-key pieces shared by the duplicate tests and the read-back.
std::string DuplicateKey(const std::string& ven, const std::string& inv, int supply_type,
                         const std::string& exch, const std::string& enable,
                         const std::string& disable, const std::string& term) {
  return ven + "' and cinvcode =N'" + inv + "' and iSupplyType= " + std::to_string(supply_type) +
         " and cExch_Name =N'" + exch + "' and dEnableDate =N'" + enable +
         (disable.empty() ? "' and dDisableDate  is null"
                          : "' and dDisableDate  =N'" + disable + "'") +
         (supply_type == 4 ? " And cTermCode = N'" + term + "'" : "");
}

std::string Overlap(const std::string& exclusion, int supply_type, const std::string& enable,
                    const std::string& disable, const std::string& term) {
  std::string sql =
      "select id from ven_inv_price_rule where " + exclusion +
      " cvencode =N'V001' and cinvcode =N'A01' and iSupplyType= " + std::to_string(supply_type) +
      " and cExch_Name =N'CNY";
  if (disable.empty()) {
    sql += "' and ((dEnableDate >='" + enable + "') or ((dEnableDate <'" + enable +
           "') and ((dDisableDate is null) or (dDisableDate>'" + enable + "'))))";
  } else {
    sql += "' and ((dEnableDate <='" + enable +
           "' and ((dDisableDate  is null) or (dDisableDate>'" + enable +
           "')))  or (dEnableDate >'" + enable + "' and dEnableDate <'" + disable + "'))";
  }
  if (supply_type == 4) sql += " And ctermcode = N'" + term + "'";
  return sql;
}

std::string CheckVen(const std::string& code, const std::string& supply_condition) {
  return "select top 1 cVenCode,cVenAbbName from Vendor where (cvencode=N'" + code +
         "' or cvenabbname=N'" + code + "' or cvenname=N'" + code + "')" + supply_condition +
         " AND (case when ISNULL(dEndDate,'')='' then '9999-12-31' else dEndDate end) >  '" +
         kToday + "'";
}

std::vector<Case> Catalog() {
  const std::string flags =
      "select bPurPriceFree1,bPurPriceFree2,bPurPriceFree3,bPurPriceFree4,bPurPriceFree5,"
      "bPurPriceFree6,bPurPriceFree7,bPurPriceFree8,bPurPriceFree9,bPurPriceFree10,"
      "bOMPriceFree1,bOMPriceFree2,bOMPriceFree3,bOMPriceFree4,bOMPriceFree5,bOMPriceFree6,"
      "bOMPriceFree7,bOMPriceFree8,bOMPriceFree9,bOMPriceFree10 from inventory inner join "
      "inventory_sub on inventory.cinvcode=inventory_sub.cinvsubcode where "
      "inventory.cinvcode=N'";
  const std::string rule_lookup =
      std::string(
          "select TOP 1 id,cvencode,cinvcode,dEnableDate,dDisableDate,bPromotion,cExch_Name,"
          "iSupplyType,bTaxCost,cMemo,cTermCode from ven_inv_price_rule where (cvencode=N'V001' "
          "or isnull(cvencode,'')='') and cinvcode=N'A01' and iSupplyType = 1 and dEnableDate "
          "<=N'") +
      kToday + "' and ((dDisableDate is null) or (dDisableDate >'" + kToday + "')) ";
  const std::string rule_order = " order by cvencode desc,bPromotion DESC,ID DESC ";
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

  return {
      // Manager context
      {"default currency", Kind::kQuery,
       "select cExch_Name from foreigncurrency where iotherused=-1", 1, "cExch_Name", "CNY"},
      {"vendor tax flag", Kind::kQuery, "select bventax from Vendor where cvencode ='V001'", 1,
       "bventax", "1"},
      {"vendor tax flag, null", Kind::kQuery, "select bventax from Vendor where cvencode ='V007'",
       1, "bventax", ""},
      // Rule look-up
      {"rule look-up", Kind::kQuery, rule_lookup + rule_order, 1, "id", "3"},
      {"rule look-up, currency", Kind::kQuery, rule_lookup + " and cExch_Name=N'CNY'" + rule_order,
       1, "id", "3"},
      {"rule look-up, other currency", Kind::kQuery,
       rule_lookup + " and cExch_Name=N'USD'" + rule_order, 0},
      // Free-item flags
      {"free-item flags", Kind::kQuery, flags + "E01'", 1, "bPurPriceFree1", "1"},
      {"free-item flags, no such item", Kind::kQuery, flags + "ZZZ'", 0},
      // Price-list look-up
      {"price look-up", Kind::kQuery, PriceLookup("V001", "A01", "1500", "", ""), 1, "id", "4"},
      {"price look-up, currency", Kind::kQuery, PriceLookup("V002", "A01", "2500", "", "CNY"), 1,
       "id", "7"},
      {"price look-up, vendor-less rows", Kind::kQuery, PriceLookup("", "A01", "1", "", ""), 1,
       "id", "10"},
      {"price look-up, free items", Kind::kQuery, PriceLookup("V001", "E01", "1", free_e01, ""), 1,
       "id", "30"},
      {"price look-up, free items and currency", Kind::kQuery,
       PriceLookup("V001", "C01", "1", free_c01, "CNY"), 1, "id", "25"},
      {"price look-up, empty free-item condition", Kind::kQuery,
       PriceLookup("V001", "E01", "1", " and 1=1 ", ""), 1},
      // Comparison across vendors
      {"compare, daily rates", Kind::kQuery, Compare("A01", "1500", 1, "", false, ""), 1, "id",
       "4"},
      {"compare, monthly rates", Kind::kQuery, Compare("A01", "1500", 1, "", true, ""), 1, "id",
       "4"},
      {"compare, authorised vendors", Kind::kQuery,
       Compare("A01", "1500", 1, "ven.iid in (2,3)", false, ""), 1, "id", "6"},
      {"compare, authorised vendors, monthly", Kind::kQuery,
       Compare("A01", "1500", 1, "ven.iid in (3)", true, ""), 1, "cvencode", "V003"},
      {"compare, free items", Kind::kQuery, Compare("C01", "1", 1, "", false, free_c01), 1,
       "cvencode", "V008"},
      {"compare, names", Kind::kQuery, Compare("B01", "1", 4, "", false, ""), 1, "cTermName",
       "Free on board"},
      {"compare, bCal 0 divides", Kind::kQuery, Compare("A02", "20000", 1, "", false, ""), 1,
       "cExch_Name", "HKD"},
      // Loading a rule
      {"rule header", Kind::kQuery, "select * from pu_VenInvPriceRule where id =1", 1,
       "cComUnitName", "Piece"},
      {"rule tiers", Kind::kQuery,
       "select * from ven_inv_price_ruleitem where id=1 order by itemid", 3, "itemid", "1"},
      // Creating and saving
      {"duplicate test, create", Kind::kQuery,
       "select id from ven_inv_price_rule where cvencode =N'" +
           DuplicateKey("V001", "A01", 1, "CNY", "2026-01-01", "", ""),
       1, "id", "1"},
      {"duplicate test, create, end date", Kind::kQuery,
       "select id from ven_inv_price_rule where cvencode =N'" +
           DuplicateKey("V001", "A01", 1, "CNY", "2026-11-01", "2027-01-01", ""),
       1, "id", "3"},
      {"duplicate test, create, trade term", Kind::kQuery,
       "select id from ven_inv_price_rule where cvencode =N'" +
           DuplicateKey("V003", "B01", 4, "EUR", "2026-01-01", "2027-12-31", "FOB"),
       1, "id", "4"},
      {"duplicate test, create, other trade term", Kind::kQuery,
       "select id from ven_inv_price_rule where cvencode =N'" +
           DuplicateKey("V003", "B01", 4, "EUR", "2026-01-01", "2027-12-31", "CIF"),
       0},
      {"read-back, create", Kind::kQuery,
       "select id,ufts from pu_VenInvPriceRule where cvencode =N'" +
           DuplicateKey("V003", "B01", 4, "EUR", "2026-01-01", "2027-12-31", "FOB"),
       1, "id", "4"},
      {"duplicate test, save", Kind::kQuery,
       "select id from ven_inv_price_rule where id <> 1 and cvencode =N'" +
           DuplicateKey("V001", "A01", 1, "CNY", "2026-01-01", "", ""),
       0},
      {"duplicate test, save, trade term", Kind::kQuery,
       "select id from ven_inv_price_rule where id <> 9 and cvencode =N'" +
           DuplicateKey("V003", "B01", 4, "EUR", "2026-01-01", "2027-12-31", "FOB"),
       1},
      {"header insert", Kind::kWrite,
       insert_head + "V001',N'B01',1, N'2027-01-01',null,0,N'CNY',N'memo',1,N'')", 1},
      {"header insert, end date and trade term", Kind::kWrite,
       insert_head + "V003',N'B01',4, N'2028-01-01','2028-06-30',1,N'EUR',N'',0,N'CIF')", 1},
      {"header update", Kind::kWrite,
       "update ven_inv_price_rule set cvencode=N'V001',cinvcode=N'A01',iSupplyType = "
       "1,dEnableDate=N'2026-01-01', dDisableDate = null,bPromotion=0,cExch_Name =N'CNY',"
       "cMemo=N'x',bTaxCost = 1 ,cTermCode = '' where Id= 1 and "
       "convert(char,convert(money,ufts),2)=convert(char,convert(money,'999999.0000'),2)",
       0},
      {"read-back, save", Kind::kQuery, "select ufts from pu_VenInvPriceRule where id =4", 1},
      {"tier delete", Kind::kWrite, "delete from ven_inv_price_ruleitem where Id=1", 3},
      {"tier insert", Kind::kWrite, tier_insert + "17,2,100,null,9.5,17,11.115)", 1},
      {"tier insert, upper limit", Kind::kWrite, tier_insert + "1,4,0.5,1000,0.85,13,0.9605)", 1},
      // Removing and listing
      {"remove tiers", Kind::kWrite, "delete from ven_inv_price_ruleitem where Id=4", 2},
      {"remove rule", Kind::kWrite, "delete from ven_inv_price_rule where Id= 4", 1},
      {"remove missing rule", Kind::kWrite, "delete from ven_inv_price_rule where Id= 999", 0},
      {"list rules", Kind::kQuery, "select * from pu_VenInvPriceRule", 6},
      {"list rules, filter", Kind::kQuery,
       "select * from pu_VenInvPriceRule where cVenAbbName = 'SH Precision' and bPromotion = 1", 1,
       "cMemo", "Year-end offer"},
      {"list prices", Kind::kQuery, "select * from pu_veninvpricelist", 35},
      {"list prices, filter", Kind::kQuery,
       "select * from pu_veninvpricelist where cVenAbbName = 'O''Brien' and cFree1 = 'RAL 9010'", 1,
       "cInvName", "Industrial paint"},
      // Master-data checks
      {"check item", Kind::kQuery, check_inv + "A01' or cinvname=N'A01' or cinvaddcode=N'A01')", 1,
       "ccomunitname", "Piece"},
      {"check item by name", Kind::kQuery,
       check_inv + "Hex nut M8' or cinvname=N'Hex nut M8' or cinvaddcode=N'Hex nut M8')", 1,
       "cinvcode", "A02"},
      {"check vendor, supply type 1", Kind::kQuery,
       CheckVen("SH Precision", " and (bVenCargo=1 or bVenService=1)"), 1, "cVenCode", "V001"},
      {"check vendor, supply type 2", Kind::kQuery,
       CheckVen("V002", " and (bProxyForeign=1 or bVenService=1)"), 1},
      {"check vendor, supply type 4", Kind::kQuery, CheckVen("V003", " and bVenOverseas = 1 "), 1},
      {"check vendor, no condition", Kind::kQuery, CheckVen("Old Mill", ""), 0},
      {"check supply type, vendor", Kind::kQuery,
       "select cvencode from vendor where cvencode=N'V006' and (bVenCargo=1 or bVenService=1)", 1},
      {"check supply type, vendor, other", Kind::kQuery,
       "select cvencode from vendor where cvencode=N'V001' and (bProxyForeign=1 or "
       "bVenService=1)",
       0},
      {"check supply type, item", Kind::kQuery,
       "select cinvcode from inventory where cinvcode=N'D01' and (bPurchase=1 or bService=1)", 1},
      {"check supply type, item, other", Kind::kQuery,
       "select cinvcode from inventory where cinvcode=N'A02' and (bProxyForeign=1 or "
       "bService=1)",
       1},
      {"check currency by code", Kind::kQuery,
       "select top 1 cExch_Name from ForeignCurrency where cExch_Name=N'978' or "
       "cExch_Code=N'978'",
       1, "cExch_Name", "EUR"},
      {"check trade term by remark", Kind::kQuery,
       "select top 1 cincotermcode,cincotermsremark from v_ex_incoterms where cincotermcode = "
       "N'Free on board' or cincotermsremark = N'Free on board'",
       1, "cincotermcode", "FOB"},
      // Overlap check
      {"overlap, open end", Kind::kQuery, Overlap("", 1, "2026-06-01", "", ""), 2},
      {"overlap, closed, saving", Kind::kQuery,
       Overlap(" id <> 1 and ", 1, "2026-12-31", "2027-01-01", ""), 1, "id", "3"},
      {"overlap, closed, before", Kind::kQuery, Overlap("", 1, "2025-01-01", "2026-01-01", ""), 0},
      {"overlap, trade term", Kind::kQuery,
       "select id from ven_inv_price_rule where  cvencode =N'V003' and cinvcode =N'B01' and "
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
    SCOPED_TRACE(c.name);
    // Writes are undone, so every case sees the demo data as installed.
    conn->BeginTrans();
    try {
      if (c.kind == Kind::kWrite) {
        const int32_t changed = conn->Execute(c.sql);
        if (c.expected_rows >= 0) {
          EXPECT_EQ(changed, c.expected_rows);
        }
      } else {
        auto rs = conn->OpenRecordset(c.sql);
        if (c.expected_rows >= 0) {
          EXPECT_EQ(rs->RecordCount(), c.expected_rows);
        }
        if (c.field != nullptr && !rs->Eof()) {
          EXPECT_EQ(VarToStr(rs->Fields(c.field)), c.value);
        }
      }
    } catch (const std::exception& e) {
      ADD_FAILURE() << e.what() << "\n" << c.sql;
    }
    conn->RollbackTrans();
  }
}

TEST_F(StatementCatalog, SaveHitsTheRowOnlyWithItsCurrentVersion) {
  auto conn = db_->Connect();
  conn->BeginTrans();
  auto update = [&](const std::string& ufts) {
    return conn->Execute(
        "update ven_inv_price_rule set cvencode=N'V001',cinvcode=N'A01',iSupplyType = "
        "1,dEnableDate=N'2026-01-01', dDisableDate = null,bPromotion=0,cExch_Name =N'CNY',"
        "cMemo=N'Volume discount',bTaxCost = 1 ,cTermCode = '' where Id= 1 and "
        "convert(char,convert(money,ufts),2)=convert(char,convert(money,'" +
        ufts + "'),2)");
  };
  auto current = [&] {
    auto rs = conn->OpenRecordset("select ufts from pu_VenInvPriceRule where id =1");
    return VarToStr(rs->Fields("ufts"));
  };
  const std::string loaded = current();
  EXPECT_EQ(update(loaded), 1);
  const std::string saved = current();
  EXPECT_NE(saved, loaded);
  EXPECT_EQ(update(loaded), 0);  // stale
  EXPECT_EQ(update(saved), 1);
  conn->RollbackTrans();
}

// The look-ups search the price list and the rules by index, never by a full scan, so their
// cost does not grow with the price list. Plans are SQLite's.
TEST_F(StatementCatalog, LookUpsSearchByIndex) {
  if (testing::DriverName() != "sqlite") GTEST_SKIP() << "query plans are SQLite's";
  auto conn = db_->Connect();
  const std::string lookups[] = {
      PriceLookup("V001", "A01", "1500", "", ""),
      PriceLookup("V001", "E01", "1", " and 1=1  and  isnull(cfree1,'') =N'RAL 9010' ", "CNY"),
      Compare("A01", "1500", 1, "", false, ""),
      Compare("A01", "1500", 1, "ven.iid in (2,3)", true, ""),
      Overlap(" id <> 1 and ", 1, "2026-12-31", "2027-01-01", ""),
      "select TOP 1 id,cvencode from ven_inv_price_rule where (cvencode=N'V001' or "
      "isnull(cvencode,'')='') and cinvcode=N'A01' and iSupplyType = 1 and dEnableDate "
      "<=N'2026-12-06' and ((dDisableDate is null) or (dDisableDate >'2026-12-06'))  order by "
      "cvencode desc,bPromotion DESC,ID DESC ",
  };
  for (const std::string& sql : lookups) {
    auto rs = conn->OpenRecordset("explain query plan " + sql);
    std::string plan;
    for (; !rs->Eof(); rs->MoveNext()) plan += VarToStr(rs->Fields("detail")) + "\n";
    SCOPED_TRACE(plan);
    EXPECT_EQ(plan.find("SCAN ven_inv_price"), std::string::npos);
    EXPECT_EQ(plan.find("SCAN pu_veninvpricelist"), std::string::npos);
    EXPECT_EQ(plan.find("SCAN ven "), std::string::npos);
    EXPECT_EQ(plan.find("SCAN exch"), std::string::npos);
  }
}

}  // namespace
}  // namespace tamsel
