// The look-ups search the price list and the rules by index, never by a full scan, so their cost
// does not grow with the price list. The statements are the ones the manager runs on the demo data.

#include <gtest/gtest.h>

#include "support/lookup_fixtures.h"

namespace tamsel::testing {
namespace {

TEST(StatementCatalog, LookUpsSearchByIndex) {
  if (DriverName() != "sqlite") GTEST_SKIP() << "query plans are SQLite's";
  const Date day = Date::FromYmd(2026, 12, 6);
  TestDatabase db(/*demo_data=*/true);
  auto info = MakeSysInfo(day);
  auto auth = std::make_shared<FakeRowAuth>();
  PriceRuleManager manager;
  ASSERT_TRUE(VarToBool(manager.InitManager(
      std::make_shared<SimpleLogin>(db.ConnectionText(), day, auth, "demo"), info)));
  auto stored = manager.LoadVenInvPriceRule(1);
  ASSERT_NE(stored, nullptr);
  stored->bCheckOverLap = true;
  stored->dDisableDate = "2027-01-01";
  std::string errstr;
  StatementLog log;
  manager.GetVenInvPriceRule("V001", "A01", day);
  manager.GetVenInvPriceRuleItem("V001", "E01", day, 1, "CNY", 1, "<z cfree1='RAL 9010'/>");
  const size_t any_vendor = log.statements().size();  // the look-ups for "this vendor or any"
  manager.ComparePrice("A01", 1500);
  info->Set("bCheckVendorAuth", Variant(true));
  info->Set("getdicvalue", Variant(true));
  auth->condition = "2,3";
  manager.ComparePrice("A01", 1500);
  manager.GetValidator()->CheckRuleOverLap(stored, errstr);
  const std::vector<std::string> statements = log.statements();  // the plans are logged too
  ASSERT_GE(statements.size(), 5u);
  auto conn = db.Connect();
  for (size_t i = 0; i < statements.size(); ++i) {
    const std::string& sql = statements[i];
    auto rs = conn->OpenRecordset("explain query plan " + sql);
    std::string plan;
    for (; !rs->Eof(); rs->MoveNext()) plan += VarToStr(rs->Fields("detail")) + "\n";
    SCOPED_TRACE(sql + "\n" + plan);
    for (const char* scan :
         {"SCAN ven_inv_price", "SCAN pu_veninvpricelist", "SCAN ven ", "SCAN exch"}) {
      EXPECT_EQ(plan.find(scan), std::string::npos) << scan;
    }
    // Both branches seek down to the vendor, not through every row of the item.
    if (i < any_vendor && sql.find("inventory_sub") == std::string::npos) {
      EXPECT_NE(plan.find("cVenCode=?"), std::string::npos);
      EXPECT_NE(plan.find("<expr>=?"), std::string::npos);
    }
  }
  manager.ExitManager();
}

}  // namespace
}  // namespace tamsel::testing
