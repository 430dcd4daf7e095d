#pragma once

// Fixtures of the manager suites: master data, price rows and rules written straight into a test
// database, a manager on it with controllable suite objects, and one-line views of results.

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/test_db.h"
#include "tamsel/tamsel.h"

// Rows name only the members a case changes.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace tamsel::testing {

// The business date of every look-up suite: 2024-06-15.
Date FixtureToday();

// INSERT INTO table (columns) VALUES (values written by ToSqlText).
void InsertRow(const TestDatabase& db, const std::string& table, const std::string& columns,
               const std::vector<Variant>& values);

struct VendorRow {
  std::string code;
  int32_t iid = 0;
  std::string abb_name;  // "" for the code
  Variant end_date = Variant::Null();
  Variant ven_tax = Variant(int32_t{1});
};
void AddVendor(const TestDatabase& db, const VendorRow& row);

using FreeFlags = std::array<bool, 10>;
struct ItemRow {
  std::string code;
  std::string name;  // "" for "<code> name"
  std::string unit;  // "" for none
  FreeFlags purchase_free{};
  FreeFlags om_free{};
  bool with_sub = true;  // also the inventory_sub row
};
void AddItem(const TestDatabase& db, const ItemRow& row);

// A currency and, unless Empty, its daily rate on FixtureToday().
void AddCurrency(const TestDatabase& db, const std::string& name, Variant bcal, Variant daily_rate);

struct PriceRow {
  Variant ven = Variant("V01");  // Null or "" for a row of any vendor
  std::string inv = "I01";
  int32_t supply_type = 1;
  std::string enable = "2024-01-01";
  Variant disable = Variant::Null();
  Variant promotion = Variant(int32_t{0});
  Variant exch = Variant("CNY");
  double lower = 0;
  Variant upper = Variant::Null();
  double price = 10;
  double tax_rate = 13;
  std::array<Variant, 10> free{};  // Empty entries are left out (Null in the table)
  std::string term;
};
int32_t AddPrice(const TestDatabase& db, const PriceRow& row);

struct RuleRow {
  Variant ven = Variant("V01");
  std::string inv = "I01";
  int32_t supply_type = 1;
  std::string enable = "2024-01-01";
  Variant disable = Variant::Null();
  Variant promotion = Variant(int32_t{0});
  Variant exch = Variant("CNY");
  Variant tax_cost = Variant(int32_t{1});
  std::string memo;
  std::string term;
};
int32_t AddRule(const TestDatabase& db, const RuleRow& row);
// Rows written in case files: "key=value ..." over the defaults above, "null" for Null; keys ven,
// inv, type, enable, disable, promo, exch, lower, upper, price, free1 (price rows) and memo
// (rules).
PriceRow PriceFrom(const std::string& spec);
RuleRow RuleFrom(const std::string& spec);
void AddRuleTier(const TestDatabase& db, int32_t rule_id, int32_t itemid, double lower,
                 Variant upper, double price);

// A row-authorisation service whose answers a test sets; it records every HasRowAuth question.
class FakeRowAuth : public RowAuthService {
 public:
  bool Init(const std::string& connection, const std::string& login, int32_t, int32_t) override {
    ++init_calls;
    init_connection_text = connection;
    init_login_text = login;
    return init_result;
  }
  std::string GetRowAuthCondition(const std::string&, int32_t, int32_t) override {
    ++condition_calls;
    return condition;
  }
  bool HasRowAuth(const std::string& kind, const std::string& code, int32_t,
                  const std::string& right) override {
    calls.push_back(kind + "|" + code + "|" + right);
    return refused.count({kind, code}) == 0;
  }

  bool init_result = true;
  std::string condition, init_connection_text, init_login_text;
  int init_calls = 0, condition_calls = 0;
  std::set<std::pair<std::string, std::string>> refused;  // (kind, code)
  std::vector<std::string> calls;                         // "kind|code|right"
};

// The one fixture of the manager suites: a database with the suite schema; the currencies CNY
// (code RMB, local) and USD (code US$, bcal 1, daily and monthly rates 7 on FixtureToday());
// unless bare, the master data of tests/data/fixtures.txt; and a manager on it.
class RuleEnv {
 public:
  explicit RuleEnv(bool master_data = true);
  ~RuleEnv() { manager.ExitManager(); }
  RuleEnv(const RuleEnv&) = delete;
  RuleEnv& operator=(const RuleEnv&) = delete;

  // V01 / I01 / CNY, supply type 1, from 2024-01-01 without end, tiers [0,10), [10,20), ...,
  // the last without upper limit; overlap checking on.
  static std::shared_ptr<PriceRule> NewRule(int tiers = 3);
  // NewRule(tiers) over the given period ("" for no end), stored without the overlap check.
  std::shared_ptr<PriceRule> Store(const std::string& enable, const std::string& disable = "",
                                   int tiers = 2);
  int32_t Count(const std::string& sql) const { return VarToLng(QueryValue(*db.Connect(), sql)); }
  std::string Dump() const { return DumpRuleTables(*db.Connect()); }  // both rule tables
  // Readies a second manager on the same database file, or on the one the text names.
  void InitOther(PriceRuleManager& other, const std::string& connection_text = "") const;

  TestDatabase db;
  std::shared_ptr<MapSysInfo> info;
  std::shared_ptr<FakeRowAuth> auth;
  PriceRuleManager manager;
  std::shared_ptr<Validator> validator;
};
// Without vendors, items, units and trade terms: the look-up suites add their own.
struct LookupEnv : RuleEnv {
  LookupEnv() : RuleEnv(false) {}
};

// Applies edits "field=value;..." to a rule, "tierN.field=value" to its tier N, "notiers" drops
// the tiers; numbers as the C locale writes them, "null" and "empty" for those upper limits.
void EditRule(PriceRule& rule, const std::string& edits);

// Sets a tier's prices with tax rate 13: unit price p, tax price p * 1.13.
void SetTierPrices(PriceRuleItem& item, double price);

// The message text of a key's last five digits, plain or with values.
std::string KeyText(const std::string& digits, const std::vector<Variant>& values = {});

// The ComponentError f throws; nothing when it throws something else or nothing.
template <typename F>
std::optional<ComponentError> CatchComponentError(F&& f) {
  try {
    f();
  } catch (const ComponentError& e) {
    return e;
  } catch (...) {
  }
  return std::nullopt;
}

// Checks that f fails as the component's Assert error with a description containing fragment.
template <typename F>
void ExpectAssertError(F&& f, const std::string& fragment = "") {
  const auto error = CatchComponentError(std::forward<F>(f));
  ASSERT_TRUE(error) << "no ComponentError";
  EXPECT_EQ(error->number(), -2147220503);
  EXPECT_EQ(error->source(), "Assert");
  EXPECT_FALSE(error->description().empty());
  EXPECT_NE(error->description().find(fragment), std::string::npos) << error->description();
}

// The description of the ComponentError f throws, or "<no ComponentError>".
template <typename F>
std::string ErrorText(F&& f) {
  const auto error = CatchComponentError(std::forward<F>(f));
  return error ? error->description() : "<no ComponentError>";
}

// Every member a look-up maps, on one line; ufts only as "set" or "".
std::string RuleText(const PriceRule& rule);
// The tier's members; an upper limit shows as "null", "empty" or its number.
std::string TierText(const PriceRuleItem& item);

}  // namespace tamsel::testing
