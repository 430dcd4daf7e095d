// The look-up statement builders quote every text value.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "manager/statements.h"
#include "tamsel/tamsel.h"

namespace tamsel::detail {
namespace {

const Date kDay = Date::FromYmd(2024, 6, 15);

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

struct TextArgument {
  const char* name;
  std::function<std::string(const std::string&)> build;
};

// For each text argument: a value holding quotes lands in exactly the place of a quote-free
// value, with every quote doubled, so it can neither end its literal nor change the statement.
TEST(ManagerStatements, QuotedValuesStayInsideTheirLiteral) {
  const std::string marker = "\x01";
  const std::string hostile = "O'Brien' or 1=1 --'";
  const std::string escaped = "O''Brien'' or 1=1 --''";
  const TextArgument cases[] = {
      {"vendor tax code", [](const std::string& v) { return VendorTaxSql(v); }},
      {"rule vendor", [](const std::string& v) { return RuleLookupSql(v, "I", kDay, "", 1); }},
      {"rule item", [](const std::string& v) { return RuleLookupSql("V", v, kDay, "", 1); }},
      {"rule currency", [](const std::string& v) { return RuleLookupSql("V", "I", kDay, v, 1); }},
      {"flags item", [](const std::string& v) { return InventoryFreeFlagsSql(v); }},
      {"free value",
       [](const std::string& v) {
         std::array<std::optional<std::string>, kFreeItemCount> values{};
         values[3] = v;
         return FreeItemCondition(values);
       }},
      {"price vendor",
       [](const std::string& v) { return PriceItemLookupSql(v, "I", kDay, 1, "", 1, ""); }},
      {"price item",
       [](const std::string& v) { return PriceItemLookupSql("V", v, kDay, 1, "", 1, ""); }},
      {"price currency",
       [](const std::string& v) { return PriceItemLookupSql("V", "I", kDay, 1, v, 1, ""); }},
      {"compare item",
       [](const std::string& v) { return ComparePriceSql(v, 1, 1, kDay, "", "", "(r)"); }},
      {"monthly year", [](const std::string& v) { return MonthlyRateCondition(v, "6"); }},
      {"monthly month", [](const std::string& v) { return MonthlyRateCondition("2024", v); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string plain = c.build(marker);
    ASSERT_NE(plain.find(marker), std::string::npos);
    EXPECT_EQ(c.build(hostile), ReplaceAll(plain, marker, escaped));
  }
}

}  // namespace
}  // namespace tamsel::detail
