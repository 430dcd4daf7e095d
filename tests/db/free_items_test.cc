// The free items both price look-ups ask for, from the XML parameter and the item's flags, and
// how price rows match them.

#include <gtest/gtest.h>

#include <regex>

#include "support/lookup_fixtures.h"

namespace tamsel::testing {
namespace {

const Date kDay = FixtureToday();

FreeFlags Flags(std::initializer_list<int> numbers) {
  FreeFlags flags{};
  for (int n : numbers) flags[n - 1] = true;
  return flags;
}

// The free-item values the last statement asks for, as "2=A 5=", and whether the item's flags
// were read.
std::string Asked(const StatementLog& log) {
  static const std::regex condition("isnull\\(cfree(\\d+),''\\) =N'([^']*)'");
  const std::string& sql = log.statements().back();
  std::string out;
  for (std::sregex_iterator it(sql.begin(), sql.end(), condition), end; it != end; ++it) {
    const std::string pair = (*it)[1].str() + "=" + (*it)[2].str();
    if (out.find(pair) == std::string::npos) out += (out.empty() ? "" : " ") + pair;
  }
  return out + (log.Containing("inventory_sub").empty() ? "" : " +flags");
}

TEST(FreeItems, ConditionText) {
  LookupEnv env;
  AddItem(env.db, {.code = "I01", .purchase_free = Flags({2, 5}), .om_free = Flags({7})});
  for (const auto& c : ReadCases("lookup.txt", "free")) {
    SCOPED_TRACE(c[0]);
    StatementLog log;
    if (c[1] == "compare") {
      env.manager.ComparePrice("I01", 1, VarToLng(Variant(c[2])), c[3]);
    } else {
      env.manager.GetVenInvPriceRuleItem("V01", "I01", kDay, 1, "", VarToLng(Variant(c[2])), c[3]);
    }
    ASSERT_FALSE(log.statements().empty());
    EXPECT_EQ(Asked(log), c[4]);
  }
  // An item without flags gives the bare condition whatever the XML.
  AddItem(env.db, {.code = "I02"});
  for (const char* xml : {"<z cfree1='x'/>", "not xml at all", "<zz/>"}) {
    SCOPED_TRACE(xml);
    StatementLog log;
    env.manager.GetVenInvPriceRuleItem("V01", "I02", kDay, 1, "", 1, xml);
    EXPECT_EQ(Asked(log), " +flags");
  }
}

TEST(FreeItems, Failures) {
  LookupEnv env;
  AddItem(env.db, {.code = "I01", .purchase_free = Flags({1})});
  AddItem(env.db, {.code = "NOSUB", .with_sub = false});
  for (const auto& c : ReadCases("lookup.txt", "freefail")) {
    SCOPED_TRACE(c[0]);
    ExpectAssertError([&] {
      if (c[1] == "compare") {
        env.manager.ComparePrice(c[2], 1, 1, c[3]);
      } else {
        env.manager.GetVenInvPriceRuleItem("V01", c[2], kDay, 1, "", 1, c[3]);
      }
    });
  }
}

TEST(FreeItems, MatchingTreatsNullAsEmpty) {
  LookupEnv env;
  AddItem(env.db, {.code = "I01", .purchase_free = Flags({1, 2})});
  const int32_t null_free = AddPrice(env.db, {.price = 1});
  const int32_t red = AddPrice(env.db, {.price = 2, .free = {Variant("red"), Variant("")}});
  const int32_t blue_big =
      AddPrice(env.db, {.price = 3, .free = {Variant("blue"), Variant("big")}});
  const int32_t quoted = AddPrice(env.db, {.price = 4, .free = {Variant("it's")}});
  const struct {
    const char* xml;
    int32_t expected;  // 0 for none
  } cases[] = {
      {"<z/>", null_free},
      {"<z cfree1='' cfree2=''/>", null_free},
      {"<z cfree1='red'/>", red},
      {"<z cfree1='RED '/>", red},  // letter case and trailing blanks ignored, as for codes
      {"<z cfree1='blue' cfree2='big'/>", blue_big},
      {"<z cfree1=\"it's\"/>", quoted},
      {"<z cfree1='blue'/>", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.xml);
    auto item = env.manager.GetVenInvPriceRuleItem("V01", "I01", kDay, 1, "", 1, c.xml);
    EXPECT_EQ(item ? item->id : 0, c.expected);
  }
}

}  // namespace
}  // namespace tamsel::testing
