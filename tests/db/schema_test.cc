// The suite schema, its row versions and the demo and trial data sets.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "common/text.h"
#include "support/test_db.h"

namespace tamsel {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using testing::TestDatabase;
using ::testing::ThrowsMessage;

// First column of the first row.
Variant Scalar(Connection& conn, const std::string& sql) {
  auto rs = conn.OpenRecordset(sql);
  if (rs->Eof()) return Variant();
  return rs->Fields(rs->FieldName(0));
}

int64_t Count(Connection& conn, const std::string& from_where) {
  return static_cast<int64_t>(VarToDbl(Scalar(conn, "select count(*) as n from " + from_where)));
}

TEST(SuiteSchema, ViewsDeliverTheColumnsTheComponentReads) {
  TestDatabase db;
  auto conn = db.Connect();
  const struct {
    const char* object;
    std::vector<const char*> columns;
  } kExpected[] = {
      {"pu_VenInvPriceRule",
       {"id",          "cVenCode",     "cVenAbbName", "cInvCode",     "cInvName",
        "cInvAddCode", "cInvStd",      "iInvTaxRate", "cComUnitCode", "cComUnitName",
        "dEnableDate", "dDisableDate", "bPromotion",  "cExch_Name",   "iSupplyType",
        "bTaxCost",    "cMemo",        "ufts",        "cTermCode",    "cTermName"}},
      {"pu_veninvpricelist",
       {"autoid", "cVenCode", "cVenAbbName", "cInvCode", "cInvName", "cComUnitName", "iSupplyType",
        "dEnableDate", "dDisableDate", "iLowerLimit", "iUpperLimit", "iUnitPrice", "iTaxRate",
        "iTaxUnitPrice", "cFree1", "cFree10", "cTermName", "ufts"}},
      {"v_ex_incoterms", {"cIncotermCode", "cIncotermsRemark"}},
      {"tamsel_row_auth", {"cUser", "cKind", "cCode", "cRight"}},
  };
  for (const auto& expected : kExpected) {
    auto rs = conn->OpenRecordset(std::string("select * from ") + expected.object);
    EXPECT_TRUE(rs->Eof());
    for (const char* column : expected.columns) {
      EXPECT_TRUE(rs->HasField(column)) << expected.object << "." << column;
    }
  }
}

TEST(SuiteSchema, SecondInstallFailsClearlyAndChangesNothing) {
  TestDatabase db(/*demo_data=*/true);
  auto conn = db.Connect();
  const std::string before = testing::DumpRuleTables(*conn);
  EXPECT_THAT(
      [&] { InstallSuiteSchema(*conn); },
      ThrowsMessage<DatabaseError>(AllOf(HasSubstr("suite.sql"), HasSubstr("already exists"))));
  EXPECT_FALSE(conn->InTransaction());
  EXPECT_EQ(testing::DumpRuleTables(*conn), before);
  // Demo data twice breaks the unique keys and is rolled back as a whole.
  EXPECT_THROW(InstallDemoData(*conn), DatabaseError);
  EXPECT_EQ(Count(*conn, "Vendor"), 8);
  // A second rate for one day is refused also without a year, as the server does.
  const std::string rate =
      "insert into exch(cexch_name,itype,iyear,cdate,nflat) values "
      "('USD',1,null,'2031.01.01',7)";
  conn->Execute(rate);
  EXPECT_THROW(conn->Execute(rate), DatabaseError);
}

TEST(SuiteSchema, TextColumnsIgnoreCaseAndTrailingBlanks) {
  TestDatabase db(/*demo_data=*/true);
  auto conn = db.Connect();
  EXPECT_EQ(Count(*conn, "Vendor where cVenCode=N'v001  '"), 1);
  EXPECT_EQ(Count(*conn, "ven_inv_price where cInvCode='a01' and cVenCode='V001'"), 4);
  // The unique keys use the same rule: 'v001 ' is the vendor V001 again.
  EXPECT_THROW(conn->Execute("insert into Vendor(iid,cVenCode) values(99,'v001 ')"), DatabaseError);
}

TEST(RowVersion, EveryWriteTakesTheNextDatabaseWideVersion) {
  TestDatabase db;
  auto conn = db.Connect();
  EXPECT_EQ(conn->Execute("insert into ven_inv_price_rule(cVenCode,cInvCode,iSupplyType,"
                          "dEnableDate) values(N'V1',N'I1',1,N'2026-01-01')"),
            1);
  EXPECT_EQ(conn->Execute("insert into ven_inv_price(cVenCode,cInvCode,iSupplyType,dEnableDate)"
                          " values(N'V1',N'I1',1,N'2026-01-01')"),
            1);
  EXPECT_EQ(VarToLng(Scalar(*conn, "select ufts from ven_inv_price_rule where id=1")), 1);
  EXPECT_EQ(VarToLng(Scalar(*conn, "select ufts from ven_inv_price where autoid=1")), 2);

  // Updates report only the rows they hit, not the trigger's own writes.
  EXPECT_EQ(conn->Execute("update ven_inv_price_rule set cMemo=N'a' where id=1"), 1);
  EXPECT_EQ(VarToLng(Scalar(*conn, "select ufts from ven_inv_price_rule where id=1")), 3);
  EXPECT_EQ(conn->Execute("update ven_inv_price set iUnitPrice=2 where autoid=1"), 1);
  EXPECT_EQ(VarToLng(Scalar(*conn, "select ufts from ven_inv_price where autoid=1")), 4);
  // An update that changes no value is still a new version; one that hits nothing is none.
  EXPECT_EQ(conn->Execute("update ven_inv_price_rule set cMemo=N'a' where id=1"), 1);
  EXPECT_EQ(conn->Execute("update ven_inv_price_rule set cMemo=N'a' where id=2"), 0);
  EXPECT_EQ(VarToLng(Scalar(*conn, "select ufts from ven_inv_price_rule where id=1")), 5);
  // A client cannot pin the version while changing the row.
  EXPECT_EQ(conn->Execute("update ven_inv_price_rule set cMemo=N'b', ufts=1 where id=1"), 1);
  EXPECT_EQ(VarToLng(Scalar(*conn, "select ufts from ven_inv_price_rule where id=1")), 6);
  // Recursive triggers on: the update trigger still does not feed itself.
  conn->Execute("PRAGMA recursive_triggers = ON");
  EXPECT_EQ(conn->Execute("update ven_inv_price_rule set cMemo=N'c'"), 1);
  EXPECT_EQ(VarToLng(Scalar(*conn, "select ufts from ven_inv_price_rule where id=1")), 7);
}

TEST(RowVersion, ViewTextMatchesTheSaveConditionOnlyWhileUnchanged) {
  TestDatabase db(/*demo_data=*/true);
  auto conn = db.Connect();
  const auto view_ufts = [&] {
    return detail::Trim(VarToStr(Scalar(*conn, "select ufts from pu_VenInvPriceRule where id =1")));
  };
  const auto update = [&](const std::string& ufts) {
    return conn->Execute(
        "update ven_inv_price_rule set cMemo=N'x' where Id= 1 and "
        "convert(char,convert(money,ufts),2)=convert(char,convert(money,'" +
        ufts + "'),2)");
  };
  const std::string loaded = view_ufts();
  ASSERT_EQ(loaded,
            VarToStr(Scalar(*conn, "select ufts from ven_inv_price_rule where id=1")) + ".0000");
  EXPECT_EQ(update(loaded), 1);
  EXPECT_EQ(update(loaded), 0);  // the first one moved the version on
  EXPECT_EQ(update(view_ufts()), 1);
}

TEST(RowVersion, DuplicateTierNumbersCanBeStored) {
  TestDatabase db;
  auto conn = db.Connect();
  conn->Execute("insert into ven_inv_price_ruleitem(id,itemid,iLowerLimit) values(7,1,0)");
  EXPECT_EQ(conn->Execute("insert into ven_inv_price_ruleitem(id,itemid,iLowerLimit) "
                          "values(7,1,10)"),
            1);
}

TEST(TrialData, ConsistentDeterministicAndRepeatable) {
  TrialDataOptions options;
  options.items = 60;
  options.vendors_per_item = 4;
  options.tiers = 3;
  options.seed = 7;
  options.free_item_share = 0.3;
  TestDatabase first(/*demo_data=*/true);
  TestDatabase second(/*demo_data=*/true);
  auto a = first.Connect();
  auto b = second.Connect();
  double last_share = 0;
  const int64_t rows = GenerateTrialData(*a, options, [&](double share) {
    EXPECT_GE(share, last_share);
    last_share = share;
  });
  EXPECT_EQ(last_share, 1.0);
  EXPECT_EQ(GenerateTrialData(*b, options), rows);
  EXPECT_EQ(testing::DumpTable(*a, "ven_inv_price", "autoid"),
            testing::DumpTable(*b, "ven_inv_price", "autoid"));

  EXPECT_GE(rows, 60 * 4 * 3);
  EXPECT_EQ(Count(*a, "ven_inv_price where cInvCode like 'TI%'"), rows);
  EXPECT_EQ(Count(*a, "Inventory where cInvCode like 'TI%'"), 60);
  // Every row refers to master data that exists, and carries its own row version.
  const char* const kOrphans[] = {
      "ven_inv_price p where cInvCode like 'TI%' and not exists "
      "(select 1 from Inventory i where i.cInvCode=p.cInvCode)",
      "ven_inv_price p where cVenCode<>'' and not exists "
      "(select 1 from Vendor v where v.cVenCode=p.cVenCode)",
      "ven_inv_price p where not exists "
      "(select 1 from ForeignCurrency c where c.cExch_Name=p.cExch_Name)",
      "Inventory i where not exists (select 1 from Inventory_sub s where s.cInvSubCode=i.cInvCode)",
      "ven_inv_price_ruleitem t where not exists "
      "(select 1 from ven_inv_price_rule r where r.id=t.id)",
      "ven_inv_price where ufts is null",
      "ven_inv_price_rule where ufts is null",
      // free-item values only where the item prices them
      "ven_inv_price p inner join Inventory_sub s on s.cInvSubCode=p.cInvCode "
      "where (p.cFree1 is null) = (s.bPurPriceFree1 = 1)",
  };
  for (const char* orphans : kOrphans) EXPECT_EQ(Count(*a, orphans), 0) << orphans;
  EXPECT_GT(Count(*a, "ven_inv_price where cFree1 is not null"), 0);
  EXPECT_EQ(Count(*a, "ForeignCurrency where iOtherUsed=-1"), 1);

  // A second run adds new codes instead of colliding with the first.
  options.items = 5;
  EXPECT_GT(GenerateTrialData(*a, options), 0);
  EXPECT_EQ(Count(*a, "Inventory where cInvCode like 'TI%'"), 65);

  options.tiers = 7;
  EXPECT_THROW(GenerateTrialData(*a, options), std::invalid_argument);
}

TEST(TrialData, FillsAnEmptySchemaWithItsOwnCurrencies) {
  TestDatabase db;
  auto conn = db.Connect();
  TrialDataOptions options;
  options.items = 10;
  GenerateTrialData(*conn, options);
  EXPECT_EQ(VarToStr(Scalar(*conn, "select cExch_Name from ForeignCurrency where iOtherUsed=-1")),
            "CNY");
  EXPECT_GT(Count(*conn, "exch where itype=1 and cdate='2026.12.06'"), 0);
  EXPECT_GT(Count(*conn, "exch where itype=2 and iyear=2026 and cdate='12'"), 0);
}

}  // namespace
}  // namespace tamsel
