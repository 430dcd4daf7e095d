// Values, dates, the conversions with fixed defaults, SQL literals and XML attributes.

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "common/sql_text.h"
#include "common/text.h"
#include "tamsel/variant.h"
#include "unit/data_table.h"

namespace tamsel {
namespace {

const Variant kNull = Variant::Null();
const double kNan = std::nan("");

// A value as data/conversions.txt writes it.
Variant Value(const std::string& text) {
  const std::string kind = text.substr(0, text.find(':'));
  const std::string rest = table::Unescape(text.substr(std::min(text.size(), kind.size() + 1)));
  double number = 0;
  std::from_chars(rest.data(), rest.data() + rest.size(), number);
  if (kind == "null") return kNull;
  if (kind == "empty") return Variant();
  if (kind == "true" || kind == "false") return Variant(kind == "true");
  if (kind == "obj") return Variant::Object(rest == "null" ? nullptr : std::make_shared<int>(1));
  if (kind == "s") return Variant(rest);
  if (kind == "f") return Variant(static_cast<float>(number));
  if (kind == "l") return Variant(static_cast<int32_t>(number));
  if (kind == "c") return Variant::Currency(number);
  if (kind == "e") return Variant::Error(static_cast<int32_t>(number));
  if (kind == "t") return TextToDate(rest);
  EXPECT_EQ(kind, "d");
  return Variant(number);
}

// The result of a conversion as text; a number as the shortest text that reads back.
std::string Convert(const std::string& function, const Variant& v) {
  char number[32] = {};
  if (function == "str") return VarToStr(v);
  if (function == "sql") return ToSqlText(v);
  if (function == "lng") return detail::IntText(VarToLng(v));
  if (function == "bool") return VarToBool(v) ? "true" : "false";
  if (function == "dbl") return {number, std::to_chars(number, number + 31, VarToDbl(v) + 0.0).ptr};
  const Variant date = TextToDate(v.AsString());
  return date.IsNull() ? "null" : date.type() == VarType::Date ? date.AsDate().ToString() : "type";
}

TEST(ConversionsTest, Table) {
  for (const table::Row& row : table::Read("data/conversions.txt")) {
    const Variant value = Value(row.fields.at(1));
    if (row.fields.at(2) == "!") {
      EXPECT_THROW(Convert(row.fields[0], value), std::invalid_argument) << row.where;
    } else {
      EXPECT_EQ(Convert(row.fields[0], value), table::Unescape(row.fields[2])) << row.where;
    }
  }
}

TEST(DateTest, CalendarAndTextForms) {
  EXPECT_EQ(Date().ToString(), "1899-12-30");
  const Date leap = Date::FromYmd(2024, 2, 29);
  EXPECT_EQ(leap.AddDays(1).IsoDate(), "2024-03-01");
  EXPECT_EQ(leap.DottedDate(), "2024.02.29");
  EXPECT_EQ(Date::FromYmdHms(1, 1, 1, 23, 5, 9).ToString(), "0001-01-01 23:05:09");
  EXPECT_LT(Date::FromYmd(2024, 1, 1), Date::FromYmdHms(2024, 1, 1, 0, 0, 1));
  EXPECT_EQ(Date::FromYmd(1970, 1, 1).days(), 0);
  EXPECT_EQ(Date::Today().seconds_of_day(), 0);

  EXPECT_THROW(Date::FromYmd(2023, 2, 29), std::invalid_argument);
  EXPECT_THROW(Date::FromYmd(0, 1, 1), std::invalid_argument);
  EXPECT_THROW(Date::FromYmd(10000, 1, 1), std::invalid_argument);
  EXPECT_THROW(Date::FromYmdHms(2024, 1, 1, 24, 0, 0), std::invalid_argument);
  EXPECT_THROW(Date::FromYmd(9999, 12, 31).AddDays(1), std::out_of_range);
  EXPECT_THROW(Date::FromYmd(1, 1, 1).AddDays(-1), std::out_of_range);
}

TEST(VariantTest, KindsStayDistinct) {
  EXPECT_TRUE(Variant().IsEmpty());
  EXPECT_EQ(Variant("yes").type(), VarType::String);  // a literal is never a Boolean
  EXPECT_EQ(Variant(static_cast<const char*>(nullptr)), Variant(""));
  EXPECT_EQ(Variant(int16_t{3}).type(), VarType::Integer);
  EXPECT_EQ(Variant(3).type(), VarType::Long);
  EXPECT_EQ(Variant(uint8_t{3}).type(), VarType::Byte);
  EXPECT_NE(Variant(), kNull);
  EXPECT_NE(kNull, Variant(""));
  EXPECT_NE(Variant(""), Variant(0));
  EXPECT_NE(Variant(3), Variant(int16_t{3}));
  EXPECT_NE(Variant::Error(5), Variant(5));
  EXPECT_NE(Variant::Decimal(1.5), Variant(1.5));

  EXPECT_THROW(Variant::Error(5).AsLong(), std::bad_variant_access);
  EXPECT_THROW(Variant(5).AsError(), std::bad_variant_access);
  EXPECT_THROW(Variant("1").AsDouble(), std::bad_variant_access);
  EXPECT_DOUBLE_EQ(Variant(1.5f).AsDouble(), 1.5);
  EXPECT_TRUE(Variant::Currency(1).IsNumeric());
  EXPECT_FALSE(Variant(true).IsNumeric());

  EXPECT_DOUBLE_EQ(Variant::Currency(1.23456).AsDouble(), 1.2346);
  EXPECT_THROW(Variant::Currency(1e300), std::out_of_range);
  EXPECT_THROW(Variant::Currency(kNan), std::out_of_range);
}

}  // namespace
}  // namespace tamsel
