#include "services/recordset_filter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "services/driver.h"
#include "tamsel/error.h"
#include "tamsel/services.h"

namespace tamsel {
namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

// cInvCode, cName, iQty, cNum (a number kept as text), dDate
std::shared_ptr<detail::ResultData> Sample() {
  auto data = std::make_shared<detail::ResultData>();
  data->columns = {"cInvCode", "cName", "iQty", "cNum", "dDate"};
  auto row = [&](Variant a, Variant b, Variant c, Variant d, Variant e) {
    for (Variant* v : {&a, &b, &c, &d, &e}) data->cells.push_back(*v);
  };
  row("A01", "Bolt", int32_t{5}, "10", Date::FromYmd(2024, 1, 5));
  row("a01  ", "bolt it's", 2.5, "9", Date::FromYmd(2024, 3, 1));
  row("B02", Variant::Null(), int32_t{10}, "x", Variant::Null());
  row("C03", "", Variant::Null(), "100", Date::FromYmd(2023, 12, 31));
  return data;
}

std::vector<std::string> Codes(Recordset& rs) {
  std::vector<std::string> codes;
  for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext()) codes.push_back(rs.Fields("CINVCODE").AsString());
  return codes;
}

using Codes_t = std::vector<std::string>;

TEST(RecordsetFilter, KeepsMatchingRows) {
  const Codes_t a01s = {"A01", "a01  "};
  // clang-format off
  const std::pair<const char*, Codes_t> cases[] = {
      // Letter case and trailing blanks do not count, as in the database.
      {"cInvCode='A01'", a01s}, {"cinvcode = 'a01 '", a01s}, {"cName='bolt it''s'", {"a01  "}},
      {"cName<>'bolt'", {"a01  ", "C03"}},  // Null is neither equal nor unequal
      {"iQty > 2.5", {"A01", "B02"}}, {"iQty >= 2.5", {"A01", "a01  ", "B02"}},
      {"iQty = '10'", {"B02"}},       // quoted number against a number field
      {"cNum > 9", {"A01", "C03"}},   // numeric text against a number: numeric order
      {"cNum <> 9", {"A01", "C03"}},  // "x" is no number: matches nothing
      {"cNum > '9'", {"B02"}},        // text against text: text order
      {"iQty is null", {"C03"}}, {"cName IS NOT NULL and iQty is not null", a01s},
      {"cName = NULL", {"B02"}}, {"cName like 'BO%'", a01s}, {"cName like '%t_it%'", {"a01  "}},
      {"cName not like 'b%'", {"C03"}},
      {"cInvCode='B02' or (iQty<3 and cName like '%s')", {"a01  ", "B02"}},
      {"not (cInvCode='B02' or cInvCode = 'C03')", a01s},
      {"dDate >= '2024-01-05'", a01s}, {"dDate < '2024-1-5'", {"C03"}},
      {"[cInvCode]='C03'", {"C03"}}, {"   ", {"A01", "a01  ", "B02", "C03"}}};
  // clang-format on
  for (const auto& [condition, expected] : cases) {
    Recordset rs(Sample());
    rs.Filter(condition);
    EXPECT_EQ(Codes(rs), expected) << condition;
    EXPECT_EQ(rs.RecordCount(), static_cast<int32_t>(expected.size())) << condition;
  }
}

TEST(RecordsetFilter, BadConditionKeepsPreviousFilter) {
  Recordset rs(Sample());
  rs.Filter("cInvCode='B02'");
  for (const char* bad :
       {"cInvCode=", "nosuch='a'", "cInvCode='x", "cInvCode='a' and", "(cInvCode='a'",
        "cInvCode 'a'", "iQty > abc", "cName like 5", "cInvCode='a' junk", "cName is 5"}) {
    EXPECT_THROW(rs.Filter(bad), DatabaseError) << bad;
    EXPECT_EQ(Codes(rs), Codes_t{"B02"}) << bad;
  }
  EXPECT_THAT([&] { rs.Filter("nosuch='a'"); }, ThrowsMessage<DatabaseError>(HasSubstr("nosuch")));
  // Nesting past the limit is refused before the stack runs out; a long flat list is fine.
  EXPECT_THAT([&] { rs.Filter(std::string(300, '(') + "iQty=1" + std::string(300, ')')); },
              ThrowsMessage<DatabaseError>(HasSubstr("nested deeper than 256")));
  std::string many = "cInvCode='B02'";
  for (int i = 0; i < 50000; ++i) many += " or iQty=-1";
  rs.Filter(many);
  EXPECT_EQ(Codes(rs), Codes_t{"B02"});
  rs.Filter("");
  EXPECT_EQ(rs.RecordCount(), 4);
}

TEST(RecordsetFilter, LikeWildcards) {
  EXPECT_TRUE(detail::LikeMatch("", "%"));
  EXPECT_TRUE(detail::LikeMatch("abc", "a%c"));
  EXPECT_TRUE(detail::LikeMatch("aXbXc", "%x%X%"));
  EXPECT_FALSE(detail::LikeMatch("abc", "a_"));
  EXPECT_TRUE(detail::LikeMatch("宏a", "_a"));  // one character, several bytes
  EXPECT_FALSE(detail::LikeMatch("ab", "abc%"));
}

TEST(Recordset, NavigatesAndReportsItsEdges) {
  Recordset rs(Sample());
  EXPECT_FALSE(rs.Bof() || rs.Eof());
  EXPECT_EQ(rs.FieldCount(), 5);
  EXPECT_EQ(rs.FieldName(2), "iQty");
  EXPECT_THROW(rs.FieldName(5), DatabaseError);
  EXPECT_TRUE(rs.HasField("IQTY"));
  EXPECT_FALSE(rs.HasField("nosuch"));
  EXPECT_TRUE(rs.Fields("cname").type() == VarType::String);
  EXPECT_THROW(rs.Fields("nosuch"), DatabaseError);
  for (const char* name : {"Bolt", "bolt it's", "<null>", ""}) {
    EXPECT_EQ(rs.Fields("cName").IsNull() ? "<null>" : rs.Fields("cName").AsString(), name);
    rs.MoveNext();  // Null stays Null, not ""
  }
  EXPECT_TRUE(rs.Eof());
  EXPECT_THROW(rs.Fields("cName"), DatabaseError);
  EXPECT_THROW(rs.MoveNext(), DatabaseError);

  rs.Filter("cInvCode='none'");
  EXPECT_TRUE(rs.Eof() && rs.Bof());

  rs.Close();
  EXPECT_FALSE(rs.IsOpen());
  EXPECT_TRUE(rs.Eof());
  EXPECT_THROW(rs.Fields("cName"), DatabaseError);
  EXPECT_THROW(rs.Filter("cInvCode='A01'"), DatabaseError);

  Recordset empty;
  EXPECT_TRUE(empty.Eof() && empty.Bof());
  EXPECT_EQ(empty.RecordCount(), 0);
}

}  // namespace
}  // namespace tamsel
