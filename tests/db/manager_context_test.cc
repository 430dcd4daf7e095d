// The manager's lifecycle: InitManager, ExitManager, and the small operations on its context.

#include <gtest/gtest.h>

#include "support/lookup_fixtures.h"

namespace tamsel::testing {
namespace {

constexpr const char* kNotInitialised = "not initialised";

std::shared_ptr<SimpleLogin> LoginTo(const TestDatabase& db, std::shared_ptr<RowAuthService> auth) {
  return std::make_shared<SimpleLogin>(db.ConnectionText(), FixtureToday(), std::move(auth),
                                       "tester");
}

// Installs a factory for the duration of a test and restores the default afterwards.
struct AuthFactory {
  explicit AuthFactory(std::shared_ptr<FakeRowAuth> made) : made(std::move(made)) {
    SetRowAuthServiceFactory([this] { return this->made; });
  }
  ~AuthFactory() { SetRowAuthServiceFactory(nullptr); }
  std::shared_ptr<FakeRowAuth> made;
};

TEST(ManagerContext, CallersConnectionLendsOnlyItsText) {
  TestDatabase db;
  AddVendor(db, {.code = "V01", .iid = 1});
  auto callers = db.Connect();
  PriceRuleManager manager;
  ASSERT_EQ(manager.InitManager(LoginTo(db, std::make_shared<FakeRowAuth>()),
                                MakeSysInfo(FixtureToday()), callers),
            Variant(true));
  callers->Close();  // the manager works on a connection of its own
  bool tax = false;
  EXPECT_FALSE(manager.GetbTaxType("V01", tax));
  EXPECT_TRUE(tax);

  auto other = db.Connect();
  ASSERT_EQ(manager.InitManager(LoginTo(db, nullptr), MakeSysInfo(FixtureToday()), other),
            Variant(true));
  EXPECT_TRUE(manager.ExitManager());
  EXPECT_EQ(other->State(), 1);  // never closed by the manager
}

TEST(ManagerContext, LoginWithoutAuthServiceGetsANewOne) {
  TestDatabase db;
  AuthFactory factory(std::make_shared<FakeRowAuth>());
  PriceRuleManager manager;
  ASSERT_EQ(manager.InitManager(LoginTo(db, nullptr), MakeSysInfo(FixtureToday())), Variant(true));
  EXPECT_EQ(factory.made->init_calls, 1);
  EXPECT_EQ(factory.made->init_connection_text, db.ConnectionText());
  EXPECT_EQ(factory.made->init_login_text, "tester");
  EXPECT_NE(manager.GetValidator(), nullptr);

  // A service of the login is used as it is.
  auto own = std::make_shared<FakeRowAuth>();
  ASSERT_EQ(manager.InitManager(LoginTo(db, own), MakeSysInfo(FixtureToday())), Variant(true));
  EXPECT_EQ(own->init_calls, 0);
  EXPECT_EQ(factory.made->init_calls, 1);
}

TEST(ManagerContext, FailedInitLeavesNoContext) {
  TestDatabase db;
  AuthFactory factory(std::make_shared<FakeRowAuth>());
  factory.made->init_result = false;
  PriceRuleManager manager;
  ASSERT_EQ(manager.InitManager(LoginTo(db, std::make_shared<FakeRowAuth>()),
                                MakeSysInfo(FixtureToday())),
            Variant(true));

  struct Case {
    const char* name;
    std::shared_ptr<Login> login;
  } cases[] = {
      {"auth service does not start", LoginTo(db, nullptr)},
      {"no login", nullptr},
      {"database does not open",
       std::make_shared<SimpleLogin>("Provider=SQLite;Data Source=/nonexistent/dir/x.db",
                                     FixtureToday(), std::make_shared<FakeRowAuth>())},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(manager.InitManager(c.login, MakeSysInfo(FixtureToday())), Variant(false));
    auto error = CatchComponentError([&] { manager.GetValidator(); });
    ASSERT_TRUE(error);
    EXPECT_NE(error->description().find(kNotInitialised), std::string::npos);
    EXPECT_FALSE(manager.ExitManager());
  }
}

TEST(ManagerContext, ReplacingAndExitingTheContext) {
  TestDatabase db;
  PriceRuleManager manager;
  EXPECT_FALSE(manager.ExitManager());
  ASSERT_EQ(manager.InitManager(LoginTo(db, std::make_shared<FakeRowAuth>()),
                                MakeSysInfo(FixtureToday())),
            Variant(true));
  auto first = manager.GetValidator();
  EXPECT_EQ(manager.GetValidator(), first);
  ASSERT_EQ(manager.InitManager(LoginTo(db, std::make_shared<FakeRowAuth>()),
                                MakeSysInfo(FixtureToday())),
            Variant(true));
  auto second = manager.GetValidator();
  EXPECT_NE(second, first);

  // A validator outlives its context without owning it: its database checks fail cleanly.
  EXPECT_TRUE(manager.ExitManager());
  EXPECT_FALSE(manager.ExitManager());
  auto rule = PriceRule::New();
  rule->cInvCode = "I01";
  std::string errstr;
  EXPECT_TRUE(CatchComponentError([&] { second->CheckInv(rule, errstr); }));
  EXPECT_TRUE(CatchComponentError([&] { manager.NewVenInvPriceRule(); }));
  bool tax = false;
  EXPECT_TRUE(CatchComponentError([&] { manager.GetbTaxType("V01", tax); }));
}

TEST(ManagerContext, VendorTaxFlag) {
  LookupEnv env;
  AddVendor(env.db, {.code = "TAX", .iid = 1, .ven_tax = Variant(int32_t{1})});
  AddVendor(env.db, {.code = "NOTAX", .iid = 2, .ven_tax = Variant(int32_t{0})});
  AddVendor(env.db, {.code = "NULLTAX", .iid = 3, .ven_tax = Variant::Null()});
  AddVendor(env.db, {.code = "O'Neil", .iid = 4, .ven_tax = Variant(int32_t{0})});
  const struct {
    const char* code;
    bool expected;
  } cases[] = {
      {"TAX", true}, {"NOTAX", false}, {"NULLTAX", false}, {"MISSING", true}, {"O'Neil", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    bool tax = !c.expected;
    EXPECT_FALSE(env.manager.GetbTaxType(c.code, tax));
    EXPECT_EQ(tax, c.expected);
  }
  StatementLog log;
  bool tax = false;
  env.manager.GetbTaxType("TAX", tax);
  EXPECT_EQ(log.statements(),
            std::vector<std::string>{"select bventax from Vendor where cvencode ='TAX'"});
}

TEST(ManagerContext, NewRuleDefaults) {
  LookupEnv env;
  StatementLog log;
  auto rule = env.manager.NewVenInvPriceRule();
  EXPECT_EQ(log.statements(),
            std::vector<std::string>{"select cExch_Name from foreigncurrency where iotherused=-1"});
  EXPECT_EQ(rule->dEnableDate, "2024-06-15");
  EXPECT_EQ(rule->dDisableDate, "");
  EXPECT_EQ(rule->iSupplyType, 1);
  EXPECT_TRUE(rule->bTaxCost);
  EXPECT_FALSE(rule->bPromotion);
  EXPECT_EQ(rule->cExchName, "CNY");
  EXPECT_EQ(rule->ruleItems->Count(), 0);

  env.db.Exec("update ForeignCurrency set iOtherUsed=0");
  EXPECT_EQ(env.manager.NewVenInvPriceRule()->cExchName, "");
}

}  // namespace
}  // namespace tamsel::testing
