// The manager's lifecycle (InitManager, ExitManager, the small operations on its context) and the
// stand-ins for the suite's login, system-information and row-authorisation objects.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <tuple>
#include <vector>

#include "support/lookup_fixtures.h"

namespace tamsel::testing {
namespace {

const Date kDay = FixtureToday();

std::shared_ptr<SimpleLogin> LoginTo(const TestDatabase& db, std::shared_ptr<RowAuthService> auth) {
  return std::make_shared<SimpleLogin>(db.ConnectionText(), kDay, std::move(auth), "tester");
}

Variant Init(PriceRuleManager& manager, std::shared_ptr<Login> login,
             std::shared_ptr<Connection> conn = nullptr) {
  return manager.InitManager(std::move(login), MakeSysInfo(kDay), std::move(conn));
}

// Installs a factory for the duration of a test and restores the default afterwards.
struct AuthFactory {
  AuthFactory() {
    SetRowAuthServiceFactory([this] { return made; });
  }
  ~AuthFactory() { SetRowAuthServiceFactory(nullptr); }
  std::shared_ptr<FakeRowAuth> made = std::make_shared<FakeRowAuth>();
};

// Everything that needs a context fails without one, before or after a session; the funnelled
// operations as Assert, the three small ones with the failure unchanged.
void ExpectNoContext(PriceRuleManager& manager) {
  bool tax = false;
  const std::function<void()> funnelled[] = {
      [&] { manager.GetVenInvPriceRule("V01", "I01", kDay); },
      [&] { manager.GetVenInvPriceRuleItem("V01", "I01", kDay, 1); },
      [&] { manager.GetVenInvPriceRuleItem("V01", "I01", kDay, 1, "", 1, "<z cfree1='a'/>"); },
      [&] { manager.ComparePrice("I01", 1); },
      [&] { manager.LoadVenInvPriceRule(1); },
      [&] { manager.CreateVenInvPriceRule(PriceRule::New()); },
      [&] { manager.SaveVenInvPriceRule(PriceRule::New()); },
      [&] { manager.RemoveVenInvPriceRule(1); },
  };
  for (const auto& call : funnelled) ExpectAssertError(call, "not initialised");
  const std::function<void()> unfunnelled[] = {
      [&] { manager.NewVenInvPriceRule(); },
      [&] { manager.GetbTaxType("V01", tax); },
      [&] { manager.GetValidator(); },
  };
  for (const auto& call : unfunnelled) {
    EXPECT_NE(ErrorText(call).find("not initialised"), std::string::npos);
  }
  EXPECT_FALSE(manager.ExitManager());
}

TEST(ManagerContext, WithoutContext) {
  PriceRuleManager manager;
  {
    // Blank codes answer "nothing" before the context is looked at.
    StatementLog log;
    EXPECT_EQ(manager.GetVenInvPriceRule("   ", "I01", kDay), nullptr);
    EXPECT_EQ(manager.GetVenInvPriceRule("V01", "", kDay), nullptr);
    EXPECT_EQ(manager.GetVenInvPriceRuleItem("V01", "  ", kDay, 1, "", 1, "<z/>"), nullptr);
    EXPECT_EQ(manager.ComparePrice(" ", 1), nullptr);
    EXPECT_TRUE(log.statements().empty());
  }
  ExpectNoContext(manager);

  TestDatabase db;
  ASSERT_EQ(Init(manager, LoginTo(db, std::make_shared<FakeRowAuth>())), Variant(true));
  auto first = manager.GetValidator();
  EXPECT_EQ(manager.GetValidator(), first);
  ASSERT_EQ(Init(manager, LoginTo(db, std::make_shared<FakeRowAuth>())), Variant(true));
  EXPECT_NE(manager.GetValidator(), first);
  EXPECT_TRUE(manager.ExitManager());
  ExpectNoContext(manager);
}

TEST(ManagerContext, CallersConnectionLendsOnlyItsText) {
  TestDatabase db;
  AddVendor(db, {.code = "V01", .iid = 1});
  auto callers = db.Connect();
  PriceRuleManager manager;
  ASSERT_EQ(Init(manager, LoginTo(db, std::make_shared<FakeRowAuth>()), callers), Variant(true));
  callers->Close();  // the manager works on a connection of its own
  bool tax = false;
  EXPECT_FALSE(manager.GetbTaxType("V01", tax));
  EXPECT_TRUE(tax);

  auto other = db.Connect();
  ASSERT_EQ(Init(manager, LoginTo(db, nullptr), other), Variant(true));
  EXPECT_TRUE(manager.ExitManager());
  EXPECT_EQ(other->State(), 1);  // never closed by the manager
}

TEST(ManagerContext, AuthServiceAndFailedInit) {
  TestDatabase db;
  AuthFactory factory;
  PriceRuleManager manager;
  ASSERT_EQ(Init(manager, LoginTo(db, nullptr)), Variant(true));
  EXPECT_EQ(factory.made->init_calls, 1);
  EXPECT_EQ(factory.made->init_connection_text + "|" + factory.made->init_login_text,
            db.ConnectionText() + "|tester");
  auto own = std::make_shared<FakeRowAuth>();  // a service of the login is used as it is
  ASSERT_EQ(Init(manager, LoginTo(db, own)), Variant(true));
  EXPECT_EQ(own->init_calls + factory.made->init_calls, 1);
  factory.made->init_result = false;
  const std::pair<const char*, std::shared_ptr<Login>> cases[] = {
      {"auth service does not start", LoginTo(db, nullptr)},
      {"no login", nullptr},
      {"database does not open",
       std::make_shared<SimpleLogin>("Provider=SQLite;Data Source=/nonexistent/dir/x.db", kDay,
                                     own)},
      {"database not found: a typo makes no file",
       std::make_shared<SimpleLogin>("Provider=SQLite;Data Source=" + db.Path() + ".typo", kDay,
                                     own)},
  };
  for (const auto& [name, login] : cases) {
    SCOPED_TRACE(name);
    ASSERT_EQ(Init(manager, LoginTo(db, own)), Variant(true));
    EXPECT_EQ(manager.InitFailure(), "");
    EXPECT_EQ(Init(manager, login), Variant(false));
    EXPECT_FALSE(manager.InitFailure().empty());
    ExpectNoContext(manager);
  }
  EXPECT_THAT(manager.InitFailure(), ::testing::StartsWith("database not found"));
  EXPECT_FALSE(std::filesystem::exists(db.Path() + ".typo"));
}

TEST(ManagerContext, VendorTaxFlagAndNewRuleDefaults) {
  LookupEnv env;
  const std::tuple<const char*, Variant, bool> cases[] = {// Empty: no such vendor
                                                          {"TAX", Variant(int32_t{1}), true},
                                                          {"NOTAX", Variant(int32_t{0}), false},
                                                          {"NULLTAX", Variant::Null(), false},
                                                          {"MISSING", Variant(), true},
                                                          {"O'Neil", Variant(int32_t{0}), false}};
  int32_t iid = 0;
  for (const auto& [code, flag, expected] : cases) {
    SCOPED_TRACE(code);
    if (!flag.IsEmpty()) AddVendor(env.db, {.code = code, .iid = ++iid, .ven_tax = flag});
    bool tax = !expected;
    EXPECT_FALSE(env.manager.GetbTaxType(code, tax));
    EXPECT_EQ(tax, expected);
  }
  EXPECT_EQ(RuleText(*env.manager.NewVenInvPriceRule()),
            "id=0 ven=/ inv=/// unit=/ tax=0 2024-06-15.. promo=0 exch=CNY supply=1 taxcost=1 "
            "memo= term=/ ufts= tiers=0");
  env.db.Exec("update ForeignCurrency set iOtherUsed=-1");
  EXPECT_TRUE(CatchComponentError([&] { env.manager.NewVenInvPriceRule(); }));
  env.db.Exec("update ForeignCurrency set iOtherUsed=0");
  EXPECT_EQ(env.manager.NewVenInvPriceRule()->cExchName, "");
}

// A host object that ends the manager while the manager is calling it.
class ExitingInfo : public SysInfo {
 public:
  ExitingInfo(PriceRuleManager& manager, std::shared_ptr<SysInfo> inner)
      : manager_(manager), inner_(std::move(inner)) {}
  Variant Invoke(std::string_view member, const std::vector<Variant>& args) override {
    manager_.ExitManager();
    return inner_->Invoke(member, args);
  }

 private:
  PriceRuleManager& manager_;
  std::shared_ptr<SysInfo> inner_;
};

TEST(ManagerContext, AHostObjectMayEndTheManagerDuringACall) {
  LookupEnv env;
  PriceRuleManager manager;
  ASSERT_TRUE(VarToBool(manager.InitManager(
      LoginTo(env.db, nullptr), std::make_shared<ExitingInfo>(manager, MakeSysInfo(kDay)))));
  ExpectAssertError([&] { manager.ComparePrice("I01", 1); }, "closed");
  EXPECT_FALSE(manager.ExitManager());
}

TEST(MapSysInfo, MembersIgnoreCaseAndUnknownOnesThrow) {
  auto info = MakeSysInfo(Date::FromYmd(2026, 3, 9), /*check_inv_auth=*/true,
                          /*check_vendor_auth=*/false, /*monthly_rates=*/true);
  EXPECT_TRUE(VarToBool(info->Invoke("BCHECKINVAUTH")));
  EXPECT_FALSE(VarToBool(info->Invoke("bCheckVendorAuth")));
  EXPECT_EQ(info->Invoke("today").AsDate(), Date::FromYmd(2026, 3, 9));
  // Inserted into SQL as text: they must read as the exch table holds them.
  EXPECT_EQ(VarToStr(info->Invoke("TheYear")), "2026");
  EXPECT_EQ(VarToStr(info->Invoke("TheMonth")), "3");
  EXPECT_TRUE(VarToBool(info->Invoke("GetDicValue", {Variant("ixchgratestl")})));
  EXPECT_TRUE(info->Invoke("getdicvalue", {Variant("other")}).IsEmpty());
  EXPECT_THROW(info->Invoke("NoSuchMember"), std::invalid_argument);

  info->SetMethod(
      "Twice", [](const std::vector<Variant>& args) { return Variant(2 * VarToLng(args.at(0))); });
  EXPECT_EQ(VarToLng(info->Invoke("twice", {Variant(int32_t{21})})), 42);
  info->Set("TWICE", Variant("replaced"));
  EXPECT_EQ(VarToStr(info->Invoke("Twice")), "replaced");
}

class TableRowAuth : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    db_ = new TestDatabase(/*demo_data=*/true);
    db_->Exec(
        "insert into tamsel_row_auth(cUser,cKind,cCode,cRight) values "
        "('o''neil','Vendor','V007','R'),('o''neil','Inventory','A01','r'),"
        "('mallory','Vendor','VX','R')");
    // A stored iid that is no number must not become part of the condition.
    db_->Exec("insert into Vendor(iid,cVenCode) values ('1) or (1=1','VX')");
  }
  static void TearDownTestSuite() {
    delete db_;
    db_ = nullptr;
  }
  static std::shared_ptr<TableRowAuthService> Service(const std::string& user) {
    auto service = std::make_shared<TableRowAuthService>();
    EXPECT_TRUE(service->Init(db_->ConnectionText(), user, 0, 0));
    return service;
  }
  static TestDatabase* db_;
};
TestDatabase* TableRowAuth::db_ = nullptr;

TEST_F(TableRowAuth, VendorConditionListsTheVisibleVendorIds) {
  for (const auto& c : testing::ReadCases("objects.txt", "condition")) {
    EXPECT_EQ(Service(c[0])->GetRowAuthCondition("VENDOR", 0, 0), c[1]) << c[0];
  }
  // Quoted, or read as a number by a driver that converts by the declared type.
  const std::string odd = Service("mallory")->GetRowAuthCondition("VENDOR", 0, 0);
  EXPECT_TRUE(odd == "N'1) or (1=1'" || odd == "1") << odd;
  // The list is valid inside an IN list of the comparison.
  auto conn = db_->Connect();
  auto rs = conn->OpenRecordset("select cVenCode from Vendor ven where ven.iid in (" +
                                Service("buyer")->GetRowAuthCondition("vendor", 0, 0) +
                                ") order by cVenCode");
  EXPECT_EQ(rs->RecordCount(), 3);
  // Kinds without a numeric key give quoted codes.
  EXPECT_EQ(Service("buyer")->GetRowAuthCondition("Inventory", 0, 0), "N'A01',N'A02'");
}

TEST_F(TableRowAuth, RightsOnSingleRows) {
  for (const auto& c : testing::ReadCases("objects.txt", "right")) {
    EXPECT_EQ(Service(c[0])->HasRowAuth(c[1], c[2], 0, c[3]), c[4] == "1")
        << c[0] << " " << c[1] << " " << c[2] << " " << c[3];
  }
}

TEST_F(TableRowAuth, NotReadyUntilInitialisedOnASuiteDatabase) {
  TableRowAuthService service;
  EXPECT_THROW(service.GetRowAuthCondition("VENDOR", 0, 0), std::logic_error);
  EXPECT_THROW(service.HasRowAuth("Vendor", "V001", 0, "W"), std::logic_error);
  EXPECT_FALSE(service.Init("Provider=SQLite;Data Source=/nonexistent/dir/x.db", "demo", 0, 0));
  // A database without the table is no place to answer from.
  TestDatabase other;
  other.Exec("drop table tamsel_row_auth");
  EXPECT_FALSE(service.Init(other.ConnectionText(), "demo", 0, 0));
  EXPECT_THROW(service.HasRowAuth("Vendor", "V001", 0, "W"), std::logic_error);
}

TEST(RowAuthFactory, ReplacesAndRestoresTheDefault) {
  using Fixed = testing::FakeRowAuth;
  EXPECT_NE(std::dynamic_pointer_cast<TableRowAuthService>(NewRowAuthService()), nullptr);
  SetRowAuthServiceFactory([] { return std::make_shared<Fixed>(); });
  EXPECT_NE(std::dynamic_pointer_cast<Fixed>(NewRowAuthService()), nullptr);

  SetRowAuthServiceFactory(nullptr);
  EXPECT_NE(std::dynamic_pointer_cast<TableRowAuthService>(NewRowAuthService()), nullptr);
}

}  // namespace
}  // namespace tamsel::testing
