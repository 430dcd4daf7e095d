// Values, dates, the conversions with fixed defaults, SQL literals and XML attributes.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "common/sql_text.h"
#include "common/text.h"
#include "common/xml_attr.h"
#include "support/test_db.h"
#include "tamsel/variant.h"

namespace tamsel {
namespace {

const Variant kNull = Variant::Null();
const double kNan = std::nan("");

template <typename T>
struct Expect {
  Variant value;
  T expected;
};

// For failure messages: the text of a value, or its type where it has none.
std::string Show(const Variant& v) {
  try {
    return "'" + VarToStr(v) + "'";
  } catch (const std::exception&) {
    return "type " + std::to_string(static_cast<int>(v.type()));
  }
}

template <typename F, typename T>
void ExpectAll(F convert, const std::vector<Expect<T>>& cases) {
  for (const Expect<T>& c : cases) EXPECT_EQ(convert(c.value), c.expected) << Show(c.value);
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

TEST(VarToStrTest, TextForms) {
  // clang-format off
  const std::vector<Expect<std::string>> cases = {
      {kNull, ""}, {Variant(), ""}, {1.5, "1.5"}, {100.0, "100"}, {11.115, "11.115"},
      {0.1 + 0.2, "0.3"}, {-0.0, "0"}, {-12.25, "-12.25"}, {1.1f, "1.1"}, {0.000125, "0.000125"},
      {123456789012345.0, "123456789012345"}, {1.0 / 3, "0.333333333333333"},
      {1e20, "1E+20"}, {-1.5e-20, "-1.5E-20"}, {std::numeric_limits<int32_t>::min(), "-2147483648"},
      {Variant::Currency(12.3), "12.3"}, {Variant::Currency(-0.00001), "0"},
      {true, "True"}, {false, "False"}, {"  as is  ", "  as is  "},
      {Date::FromYmd(2024, 3, 1), "2024-03-01"},
      {Date::FromYmdHms(2024, 3, 1, 8, 30, 0), "2024-03-01 08:30:00"}};
  // clang-format on
  ExpectAll(VarToStr, cases);
  EXPECT_THROW(VarToStr(Variant::Object(nullptr)), std::invalid_argument);
  EXPECT_THROW(VarToStr(Variant::Error(1)), std::invalid_argument);
  EXPECT_THROW(VarToStr(Variant(std::numeric_limits<double>::infinity())), std::invalid_argument);

  for (double d : {1.5, 11.115, 1e20, 1.25e-19, -987654.321, 3e-7, 1e15, 999999999999999.0}) {
    EXPECT_EQ(VarToDbl(Variant(VarToStr(Variant(d)))), d) << "read back " << d;
  }
}

TEST(VarToNumberTest, DefaultsTextsAndRounding) {
  // clang-format off
  const std::vector<Expect<double>> dbl_cases = {
      {kNull, 0}, {Variant(), 0}, {"abc", 0}, {"1,5", 0}, {"12.5x", 0}, {"inf", 0}, {"1e400", 0},
      {"- 1", 0}, {false, 0}, {Date(), 0}, {Variant::Error(3), 0},
      {Variant::Object(std::make_shared<int>(1)), 0}, {"12.5", 12.5}, {" 12.5 ", 12.5},
      {"+1e3", 1000}, {".5", 0.5}, {Variant::Currency(2.5), 2.5},
      {Date::FromYmdHms(1900, 1, 1, 12, 0, 0), 2.5}};  // days since 1899-12-30
  // Half to even; out of range after rounding gives 0.
  const std::vector<Expect<int32_t>> lng_cases = {
      {"abc", 0}, {kNull, 0}, {2147483647.5, 0}, {-2147483648.6, 0}, {kNan, 0},
      {2.5, 2}, {3.5, 4}, {-2.5, -2}, {2.4999, 2}, {-2.6, -3}, {"2.5", 2}, {" 41 ", 41},
      {2147483647.4, 2147483647}, {-2147483648.0, -2147483648}, {Variant::Currency(2.5), 2}};
  const std::vector<Expect<bool>> bool_cases = {
      {-1, true}, {0.0001, true}, {"True", true}, {"tRUE", true}, {" true ", true}, {"2", true},
      {true, true}, {Variant::Currency(0.0001), true}, {kNull, false}, {Variant(), false},
      {0, false}, {"False", false}, {"yes", false}, {"0", false}, {"-0.0", false}, {"", false},
      {kNan, false}, {Variant::Error(1), false}};
  // clang-format on
  ExpectAll(VarToDbl, dbl_cases);
  ExpectAll(VarToLng, lng_cases);
  ExpectAll(VarToBool, bool_cases);
}

TEST(TextToDateTest, AcceptedAndRefusedForms) {
  // clang-format off
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"2024-03-01T08:30:00", "2024-03-01 08:30:00"}, {"2024-03-01", "2024-03-01"},
      {"2024-1-5", "2024-01-05"}, {"2024/1/5 7:05", "2024-01-05 07:05:00"},
      {"  2024-03-01   08:30  ", "2024-03-01 08:30:00"}, {"2024-03-01T00:00:00", "2024-03-01"}};
  // clang-format on
  for (const auto& [text, expected] : cases) {
    const Variant v = TextToDate(text);
    ASSERT_EQ(v.type(), VarType::Date) << text;
    EXPECT_EQ(v.AsDate().ToString(), expected) << text;
  }
  for (const char* text :
       {"", "abc", "2024-02-30", "2024-13-01", "2024-03/01", "24-03-01",
        "2024-03-01t08:30",  // only a capital T separates
        "2024-03-01 25:00", "2024-03-01 08:30:00.5", "2024-03-01x", "0000-01-01"}) {
    EXPECT_TRUE(TextToDate(text).IsNull()) << text;
  }
}

TEST(ToSqlTextTest, LiteralsByKind) {
  // clang-format off
  const std::vector<Expect<std::string>> cases = {
      {kNull, "null"}, {Variant(), "null"}, {"", "N''"}, {true, "1"}, {false, "0"},
      {12.5, "12.5"}, {Variant::Currency(3.25), "3.25"},
      {Date::FromYmd(2024, 3, 1), "N'2024-03-01'"},
      {"O'Brien", "N'O''Brien'"}, {"'); drop table vendor; --", "N'''); drop table vendor; --'"}};
  // clang-format on
  ExpectAll(ToSqlText, cases);
  EXPECT_THROW(ToSqlText(Variant::Object(nullptr)), std::invalid_argument);
  // Unstorable values are refused rather than cut or turned infinite.
  EXPECT_THROW(ToSqlText(Variant(std::string("a\0b", 3))), std::invalid_argument);
  EXPECT_THROW(ToSqlText(Variant(1.7976931348623157e308)), std::invalid_argument);
  EXPECT_EQ(ToSqlText(Variant(1e308)), "1E+308");
}

TEST(ToSqlTextTest, NumbersIgnoreTheProcessLocale) {
  testing::DecimalCommaLocale comma;
  EXPECT_EQ(ToSqlText(Variant(2.5f)), "2.5");
  EXPECT_EQ(VarToStr(Variant(1.1f)), "1.1");
  EXPECT_EQ(VarToDbl(Variant("2.5")), 2.5);
  EXPECT_EQ(VarToDbl(Variant("2,5")), 0);
}

TEST(TextHelpersTest, TrimLowerAndCompare) {
  EXPECT_EQ(detail::Trim("  a b  "), "a b");
  EXPECT_EQ(detail::Trim("\ta\t"), "\ta\t");  // only the space character is a blank
  EXPECT_EQ(detail::Trim("    "), "");
  EXPECT_EQ(detail::Lower("AllParas Ä"), "allparas Ä");
  EXPECT_TRUE(detail::EqualsNoCase("cInvCode", "CINVCODE"));
  EXPECT_FALSE(detail::EqualsNoCase("abc", "abcd"));
  EXPECT_EQ(detail::IntText(-9007199254740993LL), "-9007199254740993");
  EXPECT_EQ(detail::NumText(1e-15), "0.000000000000001");
  EXPECT_EQ(detail::NumText(1e-16), "1E-16");
}

TEST(GetXmlAttrTest, MatchesLowerCaseNamesOnly) {
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(R"(<r><z allparas="1" cfree1="O'Neil"/><z AllParas="1"/></r>)"));
  const pugi::xml_node lower = doc.child("r").first_child();
  const pugi::xml_node mixed = lower.next_sibling();
  EXPECT_EQ(GetXmlAttr(lower, "AllParas"), "1");
  EXPECT_EQ(GetXmlAttr(lower, "cFree1"), "O'Neil");
  EXPECT_EQ(GetXmlAttr(lower, "missing"), "");
  EXPECT_EQ(GetXmlAttr(mixed, "AllParas"), "");
  EXPECT_EQ(GetXmlAttr(mixed, "allparas"), "");
  EXPECT_THROW(GetXmlAttr(pugi::xml_node(), "allparas"), std::invalid_argument);
}

}  // namespace
}  // namespace tamsel
