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
  const struct {
    const char* name;
    bool compare;  // ComparePrice instead of GetVenInvPriceRuleItem
    int32_t supply_type;
    const char* xml;
    const char* expected;
  } cases[] = {
      {"no XML", false, 1, "", ""},
      {"no XML, comparison", true, 1, "", ""},
      {"flags 2 and 5, cfree5 missing", false, 1, "<z cfree2='A' cfree7='G'/>", "2=A 5= +flags"},
      {"capitalised attribute is not found", false, 1, "<z CFree2='A'/>", "2= 5= +flags"},
      {"first z in document order", false, 1, "<r><a><z cfree2='A'/></a><z cfree2='B'/></r>",
       "2=A 5= +flags"},
      {"supply type 2 uses the other flags", false, 2, "<z cfree2='A' cfree7='G'/>", "7=G +flags"},
      {"comparison without allparas", true, 1, "<z cfree2='A'/>", "2=A 5= +flags"},
      {"allparas but not exactly 1", true, 1, "<z allparas='true' bpurpricefree3='1' cfree2='A'/>",
       "2=A 5= +flags"},
      {"allparas 1: the XML flags", true, 1,
       "<z allparas='1' bpurpricefree3='1' bpurpricefree4='' bpurpricefree6='+1' "
       "bpurpricefree8='False' cfree3='C' cfree6='F'/>",
       "3=C 6=F"},
      {"allparas ignored for supply type 2", true, 2,
       "<z allparas='1' bpurpricefree3='1' cfree7='G'/>", "7=G +flags"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    StatementLog log;
    if (c.compare) {
      env.manager.ComparePrice("I01", 1, c.supply_type, c.xml);
    } else {
      env.manager.GetVenInvPriceRuleItem("V01", "I01", kDay, 1, "", c.supply_type, c.xml);
    }
    ASSERT_FALSE(log.statements().empty());
    EXPECT_EQ(Asked(log), c.expected);
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
  const struct {
    const char* name;
    bool compare;
    const char* inv;
    const char* xml;
  } cases[] = {
      {"no inventory_sub row", false, "NOSUB", "<z/>"},
      {"no such item", true, "MISSING", "<z/>"},
      {"no z element and a flag set", false, "I01", "<a cfree1='x'/>"},
      {"unparsable and a flag set", false, "I01", "<z cfree1="},
      {"comparison reads allparas at once", true, "NOSUB", "<a/>"},
      {"flag text that is no Boolean", true, "I01", "<z allparas='1' bpurpricefree2='yes'/>"},
      {"nan is no number", true, "I01", "<z allparas='1' bpurpricefree2='nan'/>"},
      {"inf is no number", true, "I01", "<z allparas='1' bpurpricefree2='inf'/>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectAssertError([&] {
      if (c.compare) {
        env.manager.ComparePrice(c.inv, 1, 1, c.xml);
      } else {
        env.manager.GetVenInvPriceRuleItem("V01", c.inv, kDay, 1, "", 1, c.xml);
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
