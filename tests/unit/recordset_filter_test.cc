#include "db/recordset_filter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "db/driver.h"
#include "tamsel/error.h"
#include "tamsel/services.h"
#include "unit/data_table.h"

namespace tamsel {
namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

// cInvCode, cName, iQty, cNum (a number kept as text), dDate
std::shared_ptr<detail::ResultData> Sample() {
  auto data = std::make_shared<detail::ResultData>();
  data->columns = std::make_shared<const detail::ResultColumns>(
      std::vector<std::string>{"cInvCode", "cName", "iQty", "cNum", "dDate"});
  auto row = [&](Variant a, Variant b, Variant c, Variant d, Variant e) {
    for (Variant* v : {&a, &b, &c, &d, &e}) data->cells.push_back(*v);
  };
  row("A01", "Bolt", int32_t{5}, "10", Date::FromYmd(2024, 1, 5));
  row("a01  ", "bolt it's", 2.5, "9", Date::FromYmd(2024, 3, 1));
  row("B02", Variant::Null(), int32_t{10}, "x", Variant::Null());
  row("C03", "", Variant::Null(), "100", Date::FromYmd(2023, 12, 31));
  return data;
}

using Codes_t = std::vector<std::string>;

Codes_t Codes(Recordset& rs) {
  std::vector<std::string> codes;
  for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext()) codes.push_back(rs.Fields("CINVCODE").AsString());
  return codes;
}

TEST(RecordsetFilter, KeepsMatchingRows) {
  for (const table::Row& row : table::Read("data/filters.txt")) {
    Recordset rs(Sample());
    if (row.fields[1] == "!") {
      rs.Filter("cInvCode='B02'");
      EXPECT_THROW(rs.Filter(row.fields[0]), DatabaseError) << row.where;
      EXPECT_EQ(Codes(rs), Codes_t{"B02"}) << row.where;
      continue;
    }
    rs.Filter(table::Unescape(row.fields[0]));
    std::string kept;
    for (const std::string& code : Codes(rs))
      kept += (kept.empty() ? "" : ",") + detail::Trim(code);
    EXPECT_EQ(kept, row.fields[1]) << row.where;
    EXPECT_EQ(rs.RecordCount(), static_cast<int32_t>(Codes(rs).size())) << row.where;
  }
}

TEST(RecordsetFilter, BadConditionKeepsPreviousFilter) {
  Recordset rs(Sample());
  rs.Filter("cInvCode='B02'");
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
  EXPECT_EQ(rs.Fields("cInvCode").AsString(), "A01");  // back at the first row
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

// Positions found in one pass must equal the search by name whatever the order of the names,
// and values read by position must follow the filter like values read by name.
TEST(Recordset, ColumnPositionsMatchTheSearchByName) {
  auto data = Sample();
  // a second column of that name: the first counts
  data->columns = std::make_shared<const detail::ResultColumns>(
      std::vector<std::string>{"cInvCode", "cName", "iQty", "CINVCODE", "dDate"});
  Recordset rs(data);
  std::vector<std::string_view> names = {"ddate", "nosuch", "cname", "CINVCODE", "iQty"};
  std::vector<int32_t> at(names.size());
  rs.FieldIndexes(names, at);
  EXPECT_EQ(at, (std::vector<int32_t>{4, -1, 1, 0, 2}));
  // Positions are remembered per list of names, not per place the list is kept.
  names[0] = "none";
  rs.FieldIndexes(names, at);
  EXPECT_EQ(at, (std::vector<int32_t>{-1, -1, 1, 0, 2}));
  names[0] = "ddate";
  EXPECT_THROW(rs.FieldIndexes(names, std::span(at).first(2)), DatabaseError);

  rs.Filter("iQty >= 5");
  EXPECT_EQ(rs.FieldValueAt(0), rs.FieldValue("cInvCode"));
  rs.MoveNext();
  EXPECT_EQ(rs.FieldValueAt(0)->AsString(), "B02");
  EXPECT_EQ(rs.FieldValueAt(-1), nullptr);
  EXPECT_EQ(rs.FieldValueAt(5), nullptr);
  rs.MoveNext();
  EXPECT_THROW(rs.FieldValueAt(0), DatabaseError);

  rs.Close();
  rs.FieldIndexes(names, at);
  EXPECT_EQ(at, std::vector<int32_t>(names.size(), -1));
}

}  // namespace
}  // namespace tamsel
