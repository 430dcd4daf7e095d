#include "services/tsql_rewriter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <charconv>
#include <string>
#include <vector>

#include "tamsel/error.h"
#include "unit/data_table.h"

namespace tamsel::detail {
namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

TEST(RewriteTsql, Dialect) {
  for (const table::Row& row : table::Read("data/rewrites.txt")) {
    const std::string tsql = table::Unescape(row.fields[0]);
    if (row.fields.size() == 1) {
      EXPECT_THROW(RewriteTsql(tsql), DatabaseError) << row.where;
    } else {
      EXPECT_EQ(RewriteTsql(tsql), table::Unescape(row.fields[1])) << row.where;
    }
  }
  EXPECT_THAT([] { RewriteTsql("select 'abc"); },
              ThrowsMessage<DatabaseError>(HasSubstr("unterminated string literal")));
  // A text ends where its view ends, whatever the memory behind it holds.
  EXPECT_THROW(RewriteTsql(std::string_view("select 'a'").substr(0, 9)), DatabaseError);
  EXPECT_EQ(RewriteTsql(std::string_view("select [a]]").substr(0, 10)), "select \"a\"");
}

TEST(RequireReadOnlyQuery, OneReadingStatementOnly) {
  for (const char* fine : {"select a from t where c = 'drop' ;; ", "select [insert] from t"}) {
    EXPECT_NO_THROW(RequireReadOnlyQuery(fine)) << fine;
  }
  for (const char* bad : {"select a from t; select b from u", "select a into x from t",
                          "delete from t", "select 1; DROP table t"}) {
    EXPECT_THROW(RequireReadOnlyQuery(bad), DatabaseError) << bad;
  }
}

// Values come back typed as written: n(ational text), t(ext), i(nteger), r(eal).
std::string Values(const StatementShape& shape) {
  std::string out;
  for (const LiftedValue& v : shape.values) {
    char number[32] = {};
    if (v.type == LiftedValue::Type::kInteger) std::to_chars(number, number + 31, v.integer);
    if (v.type == LiftedValue::Type::kReal) std::to_chars(number, number + 31, v.real);
    out += std::string(1, static_cast<char>(v.type)) + ":" + v.text + number + ";";
  }
  return out;
}

TEST(LiftLiterals, LiftsOnlyWhatCannotChangeTheStatementsMeaning) {
  const std::string longest = "'" + std::string(kLiftedTextMax, 'x') + "'";
  std::vector<std::array<std::string, 3>> cases = {
      {"select a from t where b = " + longest, "select a from t where b = ?",
       "t:" + longest.substr(1, kLiftedTextMax) + ";"},
      {"select a from t where b = 'x" + longest.substr(1),
       "select a from t where b = 'x" + longest.substr(1), ""}};
  // A bulk write keeps its values: no plan to share, and the server's parameter limit.
  std::string bulk = "insert into t(a) values(0)", lifted_bulk = "insert into t(a) values(?)";
  for (size_t i = 1; i < kLiftedValuesMax; ++i) bulk += ",(1)", lifted_bulk += ",(?)";
  cases.push_back({bulk, lifted_bulk, "i:0;" + [] {
                     std::string v;
                     for (size_t i = 1; i < kLiftedValuesMax; ++i) v += "i:1;";
                     return v;
                   }()});
  cases.push_back({bulk + ",(2)", bulk + ",(2)", ""});
  for (const table::Row& row : table::Read("data/lifts.txt")) {
    cases.push_back(
        {table::Unescape(row.fields[0]), table::Unescape(row.fields[1]), row.fields[2]});
  }
  for (const auto& [tsql, shape, values] : cases) {
    const StatementShape lifted = LiftLiterals(tsql);
    EXPECT_EQ(lifted.text, shape) << tsql.substr(0, 80);
    EXPECT_EQ(Values(lifted), values) << tsql.substr(0, 80);
  }
  // One compiled statement per shape and value types.
  EXPECT_EQ(LiftLiterals("select a from t where c=N'x'").key,
            LiftLiterals("select a from t where c=N'y'").key);
  EXPECT_NE(LiftLiterals("select a from t where c=N'x'").key,
            LiftLiterals("select a from t where c='x'").key);
}

}  // namespace
}  // namespace tamsel::detail
