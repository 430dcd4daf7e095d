// The suite schema, its row versions and the demo and trial data sets.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "support/test_db.h"

namespace tamsel {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using testing::TestDatabase;
using ::testing::ThrowsMessage;

// First column of the first row.
int64_t Scalar(Connection& conn, const std::string& sql) {
  return static_cast<int64_t>(VarToDbl(testing::QueryValue(conn, sql)));
}
int64_t Count(Connection& conn, const std::string& from_where) {
  return Scalar(conn, "select count(*) as n from " + from_where);
}

// The SQL Server scripts can run again and skip what exists; the embedded ones refuse.
TEST(SuiteSchema, SecondInstallChangesNothing) {
  TestDatabase db(/*demo_data=*/true);
  auto conn = db.Connect();
  const std::string before = testing::DumpRuleTables(*conn);
  if (testing::DriverName() == "mssql") {
    InstallSuiteSchema(*conn);
    InstallDemoData(*conn);
  } else {
    EXPECT_THAT(
        [&] { InstallSuiteSchema(*conn); },
        ThrowsMessage<DatabaseError>(AllOf(HasSubstr("suite.sql"), HasSubstr("already exists"))));
    // Demo data twice breaks the unique keys and is rolled back as a whole.
    EXPECT_THROW(InstallDemoData(*conn), DatabaseError);
  }
  EXPECT_FALSE(conn->InTransaction());
  EXPECT_EQ(testing::DumpRuleTables(*conn), before);
  EXPECT_EQ(Count(*conn, "Vendor"), 8);
  // Unique keys compare codes as the columns do: 'v001 ' is the vendor V001 again.
  EXPECT_EQ(Count(*conn, "Vendor where cVenCode=N'v001  '"), 1);
  EXPECT_THROW(conn->Execute("insert into Vendor(iid,cVenCode) values(99,'v001 ')"), DatabaseError);
  // A second rate for one day is refused also without a year, as the server does.
  const std::string rate =
      "insert into exch(cexch_name,itype,iyear,cdate,nflat) values ('USD',1,null,'2031.01.01',7)";
  conn->Execute(rate);
  EXPECT_THROW(conn->Execute(rate), DatabaseError);
}

TEST(RowVersion, EveryWriteTakesTheNextDatabaseWideVersion) {
  TestDatabase db;
  auto conn = db.Connect();
  const std::string rule = "select ufts from ven_inv_price_rule where id=1";
  conn->Execute(
      "insert into ven_inv_price_rule(cVenCode,cInvCode,iSupplyType,dEnableDate) "
      "values(N'V1',N'I1',1,N'2026-01-01')");
  conn->Execute(
      "insert into ven_inv_price(cVenCode,cInvCode,iSupplyType,dEnableDate) "
      "values(N'V1',N'I1',1,N'2026-01-01')");
  EXPECT_EQ(Scalar(*conn, rule), 1);
  EXPECT_EQ(Scalar(*conn, "select ufts from ven_inv_price where autoid=1"), 2);
  EXPECT_EQ(conn->Execute("update ven_inv_price set iUnitPrice=2 where autoid=1"), 1);
  EXPECT_EQ(Scalar(*conn, "select ufts from ven_inv_price where autoid=1"), 3);
  // An update that changes no value is still a new version; one that hits nothing is none; a
  // client cannot pin the version; with recursive triggers on the trigger does not feed itself.
  const std::pair<const char*, int64_t> updates[] = {
      {"update ven_inv_price_rule set cMemo=N'a' where id=1", 4},
      {"update ven_inv_price_rule set cMemo=N'a' where id=1", 5},
      {"update ven_inv_price_rule set cMemo=N'a' where id=2", 5},
      {"update ven_inv_price_rule set cMemo=N'b', ufts=1 where id=1", 6},
      {"PRAGMA recursive_triggers = ON", 6},
      {"update ven_inv_price_rule set cMemo=N'c'", 7}};
  for (const auto& [sql, version] : updates) {
    conn->Execute(sql);
    EXPECT_EQ(Scalar(*conn, rule), version) << sql;
  }
}

TEST(TrialData, ConsistentDeterministicRepeatableAndShapedLikePurchasing) {
  TrialDataOptions options;
  options.items = 200;
  options.seed = 7;
  options.free_item_share = 0.3;
  TestDatabase first(/*demo_data=*/true), second(/*demo_data=*/true);
  auto a = first.Connect();
  auto b = second.Connect();
  double last_share = 0;
  testing::StatementLog log;
  TrialDataCounts made;
  const int64_t rows = GenerateTrialData(
      *a, options,
      [&](double share) {
        EXPECT_GE(share, last_share);
        last_share = share;
      },
      &made);
  EXPECT_LT(static_cast<int64_t>(log.statements().size()), rows / 10) << "rows go in batches";
  EXPECT_EQ(last_share, 1.0);
  EXPECT_EQ(GenerateTrialData(*b, options), rows);
  EXPECT_EQ(testing::DumpTable(*a, "ven_inv_price", "autoid"),
            testing::DumpTable(*b, "ven_inv_price", "autoid"));
  // It says exactly what it made.
  for (const auto& [table, count] :
       {std::pair{"ven_inv_price where cInvCode like 'TI%'", rows},
        {"Inventory where cInvCode like 'TI%'", made.items},
        {"Vendor where cVenCode like 'TV%'", made.vendors},
        {"ven_inv_price_rule where cInvCode like 'TI%'", made.rules},
        {"ven_inv_price_ruleitem t where t.id in (select id from ven_inv_price_rule where "
         "cInvCode like 'TI%')",
         made.rule_tiers}}) {
    EXPECT_EQ(Count(*a, table), count) << table;
  }
  EXPECT_EQ(made.items, 200);
  const std::string per_item =
      "(select count(distinct cVenCode) n from ven_inv_price where cVenCode<>'' and cInvCode "
      "like 'TI%' group by cInvCode) ";
  EXPECT_GT(Count(*a, per_item + "where n <= 3"), 70);  // most items: a few vendors
  EXPECT_GT(Count(*a, per_item + "where n > 40"), 0);   // some: many
  // Every row refers to master data that exists and carries a row version; free-item values only
  // where the item prices them; every currency in use; supply type 4 only on a known trade term
  // from an overseas vendor; tiers a chain; no overlaps; and some of each kind of row.
  for (const auto& c : testing::ReadCases("trial.txt", "none"))
    EXPECT_EQ(Count(*a, c[0]), 0) << c[0];
  for (const auto& c : testing::ReadCases("trial.txt", "some"))
    EXPECT_GT(Count(*a, c[0]), 0) << c[0];
  EXPECT_EQ(Count(*a, "ForeignCurrency where iOtherUsed=-1"), 1);
  // A second run adds new codes instead of colliding with the first.
  options.items = 5;
  EXPECT_GT(GenerateTrialData(*a, options), 0);
  EXPECT_EQ(Count(*a, "Inventory where cInvCode like 'TI%'"), 205);
}

TEST(TrialData, FillsAnEmptySchemaAndRefusesOptionsOutOfRange) {
  TestDatabase db;
  auto conn = db.Connect();
  const auto with = [](int32_t items, int32_t vendors, int32_t tiers, double share) {
    TrialDataOptions options;
    options.items = items;
    options.vendors_per_item = vendors;
    options.tiers = tiers;
    options.free_item_share = share;
    return options;
  };
  // The boundaries themselves are accepted.
  EXPECT_GE(GenerateTrialData(*conn, with(2, 1, 6, 1)), 2 * 6);
  EXPECT_EQ(GenerateTrialData(*conn, with(0, 0, 1, 0)), 0);
  TrialDataOptions target = with(0, 0, 0, 0.1);
  target.rows = 3000;  // items until the rows are there
  EXPECT_GE(GenerateTrialData(*conn, target), 3000);
  EXPECT_EQ(Count(*conn, "ForeignCurrency where iOtherUsed=-1 and cExch_Name='CNY'"), 1);
  EXPECT_GT(Count(*conn, "exch where itype=1 and cdate='2026.12.06'"), 0);
  EXPECT_GT(Count(*conn, "exch where itype=2 and iyear=2026 and cdate='12'"), 0);
  const std::string before = testing::DumpTable(*conn, "Inventory", "cInvCode");
  for (const TrialDataOptions& bad : {with(-1, 1, 3, 0), with(1, -1, 3, 0), with(1, 1, -1, 0),
                                      with(1, 1, 7, 0), with(1, 1, 3, -0.1), with(1, 1, 3, 1.1),
                                      with(1, 1, 3, std::numeric_limits<double>::quiet_NaN())}) {
    EXPECT_THROW(GenerateTrialData(*conn, bad), std::invalid_argument);
  }
  EXPECT_EQ(testing::DumpTable(*conn, "Inventory", "cInvCode"), before);
}

}  // namespace
}  // namespace tamsel
