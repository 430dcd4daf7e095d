// Every statement the component builds, rendered by running each operation on the demo data
// with fixed inputs (quotes included) and compared with tests/golden/statements.txt. A change to
// a statement shows up as a diff of that file; TAMSEL_UPDATE_GOLDEN=1 rewrites it. Every query
// also searches by index: the look-ups' cost must not grow with the price list.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "common/text.h"
#include "manager/statements.h"
#include "support/lookup_fixtures.h"

namespace tamsel::testing {
namespace {

const Date kToday = Date::FromYmd(2026, 12, 6);

std::shared_ptr<PriceRule> Rule(const std::string& ven, int32_t supply_type, const char* enable,
                                const char* disable, const std::string& term) {
  auto rule = RuleEnv::NewRule(2);
  rule->cVenCode = ven;
  rule->cInvCode = "C01";
  rule->iSupplyType = supply_type;
  rule->dEnableDate = enable;
  rule->dDisableDate = disable;
  rule->cTermCode = term;
  rule->cMemo = "it's new";
  return rule;
}

// No full scan of the price list, its view, the vendors of a comparison or the rates; both
// branches of a look-up for "this vendor or any" seek down to the vendor.
void ExpectIndexSearch(Connection& conn, const std::string& scene, const std::string& sql) {
  if (detail::Lower(detail::Trim(sql)).rfind("select", 0) != 0) return;
  std::string plan;
  for (auto rs = conn.OpenRecordset("explain query plan " + sql); !rs->Eof(); rs->MoveNext())
    plan += VarToStr(rs->Fields("detail")) + "\n";
  SCOPED_TRACE(sql + "\n" + plan);
  for (const char* scan :
       {"SCAN ven_inv_price", "SCAN pu_veninvpricelist", "SCAN ven ", "SCAN exch"})
    EXPECT_EQ(plan.find(scan), std::string::npos) << scan;
  if (scene.ends_with("look-up") && sql.find("inventory_sub") == std::string::npos) {
    EXPECT_NE(plan.find("cVenCode=?"), std::string::npos);
    EXPECT_NE(plan.find("<expr>=?"), std::string::npos);
  }
}

std::string Render() {
  TestDatabase db(/*demo_data=*/true);
  auto info = MakeSysInfo(kToday, /*check_inv_auth=*/true);
  PriceRuleManager manager;
  auto auth = std::make_shared<FakeRowAuth>();
  auth->condition = "1,2";
  auto login = std::make_shared<SimpleLogin>(db.ConnectionText(), kToday, auth, "demo");
  EXPECT_TRUE(VarToBool(manager.InitManager(login, info)));
  std::shared_ptr<PriceRule> created;
  std::string errstr;
  bool flag = false;
  const std::pair<const char*, std::function<void()>> scenes[] = {
      {"new rule", [&] { manager.NewVenInvPriceRule(); }},
      {"vendor tax type", [&] { manager.GetbTaxType("V'007", flag); }},
      {"rule look-up",
       [&] {
         manager.GetVenInvPriceRule("V001", "A01", kToday);
         manager.GetVenInvPriceRule("O'B", "A'01", kToday, " USD ", 2);
       }},
      {"price look-up",
       [&] {
         manager.GetVenInvPriceRuleItem("V001", "A01", kToday, 2500.5);
         manager.GetVenInvPriceRuleItem("V'07", "C01", kToday, 1e-16, "EUR", 4,
                                        "<z cfree1='a' cfree2=\"P'6\"/>");
       }},
      {"comparison, daily rate",
       [&] { manager.ComparePrice("A01", 2000, 1, "<z allparas='1' bpurpricefree2='1'/>"); }},
      {"comparison, monthly rate, listed vendors, free items",
       [&] {
         info->Set("getdicvalue", Variant(true));
         info->Set("bCheckVendorAuth", Variant(true));
         manager.ComparePrice("C01", 10, 2, "<z cfree2=\"x'y\"/>");
         manager.ComparePrice("A'01", 10);
         info->Set("getdicvalue", Variant(false));
         info->Set("bCheckVendorAuth", Variant(false));
       }},
      {"load", [&] { manager.LoadVenInvPriceRule(4); }},
      {"create, supply type 1 with an end",
       [&] {
         created = Rule("V002", 1, "2030-1-1", "2030-12-31", "");
         manager.CreateVenInvPriceRule(created);
       }},
      {"create, supply type 4 without end",
       [&] { manager.CreateVenInvPriceRule(Rule("V003", 4, "2030-01-01", "", "CIF")); }},
      {"save",
       [&] {
         created->cMemo = "O'Hara";
         manager.SaveVenInvPriceRule(created);
       }},
      {"checks offered to clients",
       [&] {
         auto validator = manager.GetValidator();
         validator->CheckSupplyType(created, errstr);
         validator->CheckCoItem(created, errstr);
       }},
      {"remove", [&] { manager.RemoveVenInvPriceRule(created->id); }},
      {"lists",
       [&] {
         manager.ListVenInvPriceRules("");
         manager.ListVenInvPriceRules("cMemo = N'x''y'");
         manager.ListVenInvPriceRuleItems("cInvCode='A01'");
       }},
  };
  std::ostringstream out;
  auto conn = db.Connect();
  for (const auto& [name, run] : scenes) {
    std::vector<std::string> statements;
    {
      StatementLog log;
      try {
        run();
      } catch (const std::exception& e) {
        ADD_FAILURE() << name << ": " << e.what();
      }
      statements = log.statements();
    }
    out << "== " << name << "\n";
    for (const std::string& sql : statements) {
      out << sql << "\n";
      ExpectIndexSearch(*conn, name, sql);
    }
  }
  // The embedded database runs its own shape of the comparison; SQL Server runs this one.
  out << "== comparison as SQL Server runs it\n"
      << detail::ComparePriceSql("A'01", 2000, 1, kToday, "ven.iid in (1,2)",
                                 " and 1=1  and  isnull(cfree2,'') =N'x''y' ",
                                 detail::DailyRateCondition(kToday))
      << "\n";
  manager.ExitManager();
  return out.str();
}

TEST(GoldenStatements, EveryStatementAsBuilt) {
  const std::string path = std::string(TAMSEL_TEST_SOURCE_DIR) + "/golden/statements.txt";
  const std::string actual = Render();
  if (const char* update = std::getenv("TAMSEL_UPDATE_GOLDEN"); update && *update == '1') {
    std::ofstream(path, std::ios::binary) << actual;
    GTEST_SKIP() << "rewrote " << path;
  }
  std::ifstream file(path, std::ios::binary);
  ASSERT_TRUE(file) << "missing " << path << ": run with TAMSEL_UPDATE_GOLDEN=1";
  const std::string expected((std::istreambuf_iterator<char>(file)), {});
  // gtest shows a line diff of the two texts.
  EXPECT_EQ(actual, expected) << "TAMSEL_UPDATE_GOLDEN=1 rewrites " << path;
}

}  // namespace
}  // namespace tamsel::testing
