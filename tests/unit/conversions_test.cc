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
#include "tamsel/variant.h"

namespace tamsel {
namespace {

TEST(DateTest, CalendarAndTextForms) {
  EXPECT_EQ(Date().ToString(), "1899-12-30");
  const Date leap = Date::FromYmd(2024, 2, 29);
  EXPECT_EQ(leap.ToString(), "2024-02-29");
  EXPECT_EQ(leap.AddDays(1).IsoDate(), "2024-03-01");
  EXPECT_EQ(leap.DottedDate(), "2024.02.29");
  const Date t = Date::FromYmdHms(1, 1, 1, 23, 5, 9);
  EXPECT_EQ(t.ToString(), "0001-01-01 23:05:09");
  EXPECT_LT(Date::FromYmd(2024, 1, 1), Date::FromYmdHms(2024, 1, 1, 0, 0, 1));
  EXPECT_EQ(Date::FromYmd(1970, 1, 1).days(), 0);

  EXPECT_THROW(Date::FromYmd(2023, 2, 29), std::invalid_argument);
  EXPECT_THROW(Date::FromYmd(0, 1, 1), std::invalid_argument);
  EXPECT_THROW(Date::FromYmd(10000, 1, 1), std::invalid_argument);
  EXPECT_THROW(Date::FromYmdHms(2024, 1, 1, 24, 0, 0), std::invalid_argument);
  EXPECT_THROW(Date::FromYmd(9999, 12, 31).AddDays(1), std::out_of_range);
  EXPECT_THROW(Date::FromYmd(1, 1, 1).AddDays(-1), std::out_of_range);

  const Date today = Date::Today();
  EXPECT_EQ(today.seconds_of_day(), 0);
  EXPECT_GE(today.year(), 2024);
}

TEST(VariantTest, KindsStayDistinct) {
  EXPECT_TRUE(Variant().IsEmpty());
  EXPECT_TRUE(Variant::Null().IsNull());
  EXPECT_EQ(Variant("yes").type(), VarType::String);  // a literal is never a Boolean
  EXPECT_EQ(Variant(static_cast<const char*>(nullptr)), Variant(""));
  EXPECT_EQ(Variant(int16_t{3}).type(), VarType::Integer);
  EXPECT_EQ(Variant(3).type(), VarType::Long);
  EXPECT_EQ(Variant(uint8_t{3}).type(), VarType::Byte);

  EXPECT_NE(Variant(), Variant::Null());
  EXPECT_NE(Variant::Null(), Variant(""));
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
  EXPECT_THROW(Variant::Currency(std::nan("")), std::out_of_range);
}

TEST(VarToStrTest, TextForms) {
  struct Case {
    Variant value;
    std::string text;
  };
  const std::vector<Case> cases = {
      {Variant::Null(), ""},
      {Variant(), ""},
      {Variant(1.5), "1.5"},
      {Variant(100.0), "100"},
      {Variant(11.115), "11.115"},
      {Variant(0.1 + 0.2), "0.3"},
      {Variant(-0.0), "0"},
      {Variant(-12.25), "-12.25"},
      {Variant(123456789012345.0), "123456789012345"},
      {Variant(0.000125), "0.000125"},
      {Variant(1.0 / 3), "0.333333333333333"},
      {Variant(1e20), "1E+20"},
      {Variant(-1.5e-20), "-1.5E-20"},
      {Variant(1.1f), "1.1"},
      {Variant(std::numeric_limits<int32_t>::min()), "-2147483648"},
      {Variant::Currency(12.3), "12.3"},
      {Variant::Currency(-0.00001), "0"},
      {Variant(true), "True"},
      {Variant(false), "False"},
      {Variant(Date::FromYmd(2024, 3, 1)), "2024-03-01"},
      {Variant(Date::FromYmdHms(2024, 3, 1, 8, 30, 0)), "2024-03-01 08:30:00"},
      {Variant("  as is  "), "  as is  "},
  };
  for (const Case& c : cases) EXPECT_EQ(VarToStr(c.value), c.text) << c.text;

  EXPECT_THROW(VarToStr(Variant::Object(nullptr)), std::invalid_argument);
  EXPECT_THROW(VarToStr(Variant::Error(1)), std::invalid_argument);
  EXPECT_THROW(VarToStr(Variant(std::numeric_limits<double>::infinity())), std::invalid_argument);
}

TEST(VarToStrTest, NumbersReadBackAsWritten) {
  for (double d : {1.5, 11.115, 1e20, 1.25e-19, -987654.321, 3e-7, 1e15, 999999999999999.0}) {
    EXPECT_EQ(VarToDbl(Variant(VarToStr(Variant(d)))), d) << d;
  }
}

TEST(VarToDblTest, DefaultsAndTexts) {
  struct Case {
    Variant value;
    double expected;
  };
  const std::vector<Case> cases = {
      {Variant::Null(), 0},      {Variant(), 0},
      {Variant("abc"), 0},       {Variant("12.5"), 12.5},
      {Variant(" 12.5 "), 12.5}, {Variant("+1e3"), 1000},
      {Variant(".5"), 0.5},      {Variant("1,5"), 0},
      {Variant("12.5x"), 0},     {Variant("inf"), 0},
      {Variant("1e400"), 0},     {Variant("- 1"), 0},
      {Variant(false), 0},       {Variant::Currency(2.5), 2.5},
      {Variant(Date()), 0},      {Variant(Date::FromYmdHms(1900, 1, 1, 12, 0, 0)), 2.5},
      {Variant::Error(3), 0},    {Variant::Object(std::make_shared<int>(1)), 0}};
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(VarToDbl(cases[i].value), cases[i].expected) << "case " << i;
  }
}

TEST(VarToLngTest, RoundsHalfToEvenAndZeroesOutOfRange) {
  struct Case {
    Variant value;
    int32_t expected;
  };
  const std::vector<Case> cases = {
      {Variant(2.5), 2},
      {Variant(3.5), 4},
      {Variant(-2.5), -2},
      {Variant(2.4999), 2},
      {Variant(-2.6), -3},
      {Variant("2.5"), 2},
      {Variant(" 41 "), 41},
      {Variant("abc"), 0},
      {Variant::Null(), 0},
      {Variant(2147483647.0), 2147483647},
      {Variant(2147483647.4), 2147483647},
      {Variant(2147483647.5), 0},
      {Variant(-2147483648.0), -2147483648},
      {Variant(-2147483648.6), 0},
      {Variant(std::nan("")), 0},
      {Variant(std::numeric_limits<int32_t>::min()), std::numeric_limits<int32_t>::min()},
      {Variant::Currency(2.5), 2}};
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(VarToLng(cases[i].value), cases[i].expected) << "case " << i;
  }
}

TEST(VarToBoolTest, NumbersAndWords) {
  struct Case {
    Variant value;
    bool expected;
  };
  const std::vector<Case> cases = {
      {Variant::Null(), false}, {Variant(), false},         {Variant(-1), true},
      {Variant(0), false},      {Variant(0.0001), true},    {Variant("True"), true},
      {Variant("tRUE"), true},  {Variant(" true "), true},  {Variant("False"), false},
      {Variant("yes"), false},  {Variant("2"), true},       {Variant("0"), false},
      {Variant("-0.0"), false}, {Variant(""), false},       {Variant(std::nan("")), false},
      {Variant(true), true},    {Variant::Error(1), false}, {Variant::Currency(0.0001), true},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(VarToBool(cases[i].value), cases[i].expected) << "case " << i;
  }
}

TEST(TextToDateTest, AcceptedAndRefusedForms) {
  struct Case {
    const char* text;
    const char* expected;  // nullptr: Null
  };
  const std::vector<Case> cases = {{"2024-03-01T08:30:00", "2024-03-01 08:30:00"},
                                   {"2024-03-01", "2024-03-01"},
                                   {"2024-1-5", "2024-01-05"},
                                   {"2024/1/5 7:05", "2024-01-05 07:05:00"},
                                   {"  2024-03-01   08:30  ", "2024-03-01 08:30:00"},
                                   {"2024-03-01T00:00:00", "2024-03-01"},
                                   {"", nullptr},
                                   {"abc", nullptr},
                                   {"2024-02-30", nullptr},
                                   {"2024-13-01", nullptr},
                                   {"2024-03/01", nullptr},
                                   {"24-03-01", nullptr},
                                   {"2024-03-01t08:30", nullptr},  // only a capital T separates
                                   {"2024-03-01 25:00", nullptr},
                                   {"2024-03-01 08:30:00.5", nullptr},
                                   {"2024-03-01x", nullptr},
                                   {"0000-01-01", nullptr}};
  for (const Case& c : cases) {
    const Variant v = TextToDate(c.text);
    if (c.expected) {
      ASSERT_EQ(v.type(), VarType::Date) << c.text;
      EXPECT_EQ(v.AsDate().ToString(), c.expected) << c.text;
    } else {
      EXPECT_TRUE(v.IsNull()) << c.text;
    }
  }
}

TEST(ToSqlTextTest, LiteralsByKind) {
  struct Case {
    Variant value;
    std::string literal;
  };
  const std::vector<Case> cases = {
      {Variant::Null(), "null"},
      {Variant(), "null"},
      {Variant("ab"), "N'ab'"},
      {Variant(""), "N''"},
      {Variant(true), "1"},
      {Variant(false), "0"},
      {Variant(12.5), "12.5"},
      {Variant::Currency(3.25), "3.25"},
      {Variant(Date::FromYmd(2024, 3, 1)), "N'2024-03-01'"},
      {Variant("O'Brien"), "N'O''Brien'"},
      {Variant("'); drop table vendor; --"), "N'''); drop table vendor; --'"}};
  for (const Case& c : cases) EXPECT_EQ(ToSqlText(c.value), c.literal);
  EXPECT_THROW(ToSqlText(Variant::Object(nullptr)), std::invalid_argument);
}

TEST(TextHelpersTest, TrimLowerAndCompare) {
  EXPECT_EQ(detail::Trim("  a b  "), "a b");
  EXPECT_EQ(detail::Trim("\ta\t"), "\ta\t");  // only the space character is a blank
  EXPECT_EQ(detail::Trim("    "), "");
  EXPECT_EQ(detail::Lower("AllParas Ä"), "allparas Ä");
  EXPECT_TRUE(detail::EqualsNoCase("cInvCode", "CINVCODE"));
  EXPECT_FALSE(detail::EqualsNoCase("abc", "abcd"));
  EXPECT_EQ(detail::SqlEsc("no quotes"), "no quotes");
  EXPECT_EQ(detail::IntText(-9007199254740993LL), "-9007199254740993");
  EXPECT_EQ(detail::NumText(1e-15), "0.000000000000001");
  EXPECT_EQ(detail::NumText(1e-16), "1E-16");
}

TEST(GetXmlAttrTest, MatchesLowerCaseNamesOnly) {
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(R"(<r><z allparas="1" cfree1="O'Neil"/><z AllParas="1"/></r>)"));
  const pugi::xml_node lower = doc.child("r").first_child();
  const pugi::xml_node mixed = lower.next_sibling();
  EXPECT_EQ(GetXmlAttr(lower, "allparas"), "1");
  EXPECT_EQ(GetXmlAttr(lower, "AllParas"), "1");
  EXPECT_EQ(GetXmlAttr(lower, "cFree1"), "O'Neil");
  EXPECT_EQ(GetXmlAttr(lower, "missing"), "");
  EXPECT_EQ(GetXmlAttr(mixed, "AllParas"), "");
  EXPECT_EQ(GetXmlAttr(mixed, "allparas"), "");
  EXPECT_THROW(GetXmlAttr(pugi::xml_node(), "allparas"), std::invalid_argument);
}

}  // namespace
}  // namespace tamsel
