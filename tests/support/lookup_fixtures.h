#pragma once

// Look-up fixtures: master data and price rows written straight into a test database, a manager
// on it with controllable suite objects, and one-line views of results.

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
// The single value of a one-row query.
Variant QueryValue(const TestDatabase& db, const std::string& sql);

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

// A currency (iotherused -1: the local one) and, unless Empty, its daily rate on FixtureToday().
void AddCurrency(const TestDatabase& db, const std::string& name, int32_t iotherused, Variant bcal,
                 Variant daily_rate = Variant());

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

// A database with the suite schema, the local currency CNY, USD (bcal 1, daily and monthly
// rates 7) and a manager initialised on it.
class LookupEnv {
 public:
  LookupEnv();
  ~LookupEnv();

  TestDatabase db;
  std::shared_ptr<MapSysInfo> info;
  std::shared_ptr<FakeRowAuth> auth;
  PriceRuleManager manager;
};

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

// Every member a look-up maps, on one line; ufts only as "set" or "".
std::string RuleText(const PriceRule& rule);
// The tier's members; an upper limit shows as "null", "empty" or its number.
std::string TierText(const PriceRuleItem& item);

}  // namespace tamsel::testing
