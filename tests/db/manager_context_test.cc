// The manager's lifecycle: InitManager, ExitManager, and the small operations on its context.

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "support/rule_fixtures.h"

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
  };
  for (const auto& [name, login] : cases) {
    SCOPED_TRACE(name);
    ASSERT_EQ(Init(manager, LoginTo(db, own)), Variant(true));
    EXPECT_EQ(manager.InitFailure(), "");
    EXPECT_EQ(Init(manager, login), Variant(false));
    EXPECT_FALSE(manager.InitFailure().empty());
    ExpectNoContext(manager);
  }
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

}  // namespace
}  // namespace tamsel::testing
