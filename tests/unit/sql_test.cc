// SQL as the component writes and reads it: the statement builders quote every text value; the
// T-SQL rewriter, literal lifting and the read-only check; the embedded scripts and their batches.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <charconv>
#include <cstdio>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "common/text.h"
#include "db/tsql_rewriter.h"
#include "manager/statements.h"
#include "suite/embedded_sql.h"
#include "suite/sql_script.h"
#ifdef TAMSEL_TEST_HAVE_ODBC
#include "db/odbc/odbc_parameter.h"
#endif
#include "tamsel/tamsel.h"
#include "unit/data_table.h"

namespace tamsel::detail {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::ThrowsMessage;

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
      {"rule vendor", [](const std::string& v) { return RuleLookupSql(v, "I", kDay, "", 1).text; }},
      {"rule item", [](const std::string& v) { return RuleLookupSql("V", v, kDay, "", 1).text; }},
      {"rule currency",
       [](const std::string& v) { return RuleLookupSql("V", "I", kDay, v, 1).text; }},
      {"flags item", [](const std::string& v) { return InventoryFreeFlagsSql(v).text; }},
      {"free value",
       [](const std::string& v) {
         std::array<std::optional<std::string>, kFreeItemCount> values{};
         values[3] = v;
         return FreeItemCondition(values).text();
       }},
      {"price vendor",
       [](const std::string& v) { return PriceItemLookupSql(v, "I", kDay, 1, "", 1, {}).text; }},
      {"price item",
       [](const std::string& v) { return PriceItemLookupSql("V", v, kDay, 1, "", 1, {}).text; }},
      {"price currency",
       [](const std::string& v) { return PriceItemLookupSql("V", "I", kDay, 1, v, 1, {}).text; }},
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

// The look-ups hand the embedded driver their shape ready-made: it must be the one reading the
// text gives, values typed alike, or a plan compiled for one would run with the other's values.
TEST(ManagerStatements, BuiltShapesAreTheLiftedOnes) {
  const std::string long_code(kLiftedTextMax, '\'');
  std::array<std::optional<std::string>, kFreeItemCount> free{};
  free[1] = "x'y";
  free[9] = "";
  const ShapedSql cases[] = {
      RuleLookupSql("V'1", "I01", kDay, "", 1),
      RuleLookupSql("V1", long_code, kDay, " USD ", -2),
      PriceItemLookupSql("V1", "I01", kDay, 150, "", 1, {}),
      PriceItemLookupSql("", "I'1", kDay, 2500.5, "EUR", 4, {}),
      PriceItemLookupSql("V1", "I01", kDay, 1e-16, "", 1, FreeItemCondition(free)),
      PriceItemLookupSql("V1", "I01", kDay, -3, "", 1, {}),
      PriceItemLookupSql("V1", "I01", kDay, 1e300, "", 1, {}),
      InventoryFreeFlagsSql("I'01"),
      LoadRuleSql(4),
      LoadRuleItemsSql(-7),
      // Values as the quoter writes them, as the price-list import inserts and updates rows.
      [] {
        ShapedWriter sql;
        sql += "update ven_inv_price set cMemo=";
        sql.Value(Variant("it's"));
        for (const Variant& value :
             {Variant::Null(), Variant(), Variant(true), Variant(-2.5), Variant(60.8224),
              Variant(1e20), Variant(int32_t{7}), Variant(Date::FromYmd(2026, 1, 31))}) {
          sql += ",cFree1=";
          sql.Value(value);
        }
        return std::move(sql).Done();
      }(),
  };
  for (const ShapedSql& built : cases) {
    SCOPED_TRACE(built.text);
    const StatementShape lifted = LiftLiterals(built.text);
    EXPECT_EQ(built.shape.text, lifted.text);
    ASSERT_EQ(built.shape.values.size(), lifted.values.size());
    for (size_t i = 0; i < lifted.values.size(); ++i) {
      const LiftedValue &a = built.shape.values[i], &b = lifted.values[i];
      EXPECT_EQ(std::tie(a.type, a.text, a.integer, a.precision, a.scale),
                std::tie(b.type, b.text, b.integer, b.precision, b.scale));
      EXPECT_EQ(a.real, b.real);
    }
  }
}

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
  for (const table::Row& row : table::Read("data/list_filters.txt")) {
    const std::string sql = "select * from probe where " + table::Unescape(row.fields[0]);
    if (row.fields[1] == "!") {
      EXPECT_THROW(RequireReadOnlyQuery(sql), DatabaseError) << row.where;
    } else {
      EXPECT_NO_THROW(RequireReadOnlyQuery(sql)) << row.where;
    }
  }
  EXPECT_NO_THROW(RequireReadOnlyQuery("with x as (select top 1 a from t) select [insert] from x"));
  for (const char* bad : {"", "delete from t", "attach 'x' as y", "pragma integrity_check",
                          "(select 1)", "with x as (select 1 a) delete from x"}) {
    EXPECT_THROW(RequireReadOnlyQuery(bad), DatabaseError) << bad;
  }
  // SQLite may be asked what only reports.
  for (const char* fine : {"pragma integrity_check", " PRAGMA table_info([probe]) ;",
                           "pragma schema_version", "select 1"}) {
    EXPECT_NO_THROW(RequireReadOnlyQuery(fine, true)) << fine;
  }
  for (const char* bad :
       {"pragma schema_version = 3", "pragma foreign_keys(0)", "pragma table_info(t",
        "pragma integrity_check; delete from t", "pragma cache_size", "pragma"}) {
    EXPECT_THROW(RequireReadOnlyQuery(bad, true), DatabaseError) << bad;
  }
}

// Values come back typed as written: n(ational text), t(ext), i(nteger), r(eal).
std::string Values(const StatementShape& shape) {
  std::string out;
  for (const LiftedValue& v : shape.values) {
    char number[32] = {};
    if (v.type == LiftedValue::Type::kInteger) std::to_chars(number, number + 31, v.integer);
    if (v.precision > 0) std::snprintf(number, sizeof(number), "(%d,%d)", v.precision, v.scale);
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
  const auto key = [](std::string_view tsql) {
    const StatementShape shape = LiftLiterals(tsql);
    return ShapeKey(shape.text, shape.values);
  };
  EXPECT_EQ(key("select a from t where c=N'x'"), key("select a from t where c=N'y'"));
  EXPECT_NE(key("select a from t where c=N'x'"), key("select a from t where c='x'"));
  // An exact number is declared with its precision and scale.
  EXPECT_EQ(key("select a from t where c=2.5"), key("select a from t where c=7.0"));
  EXPECT_NE(key("select a from t where c=2.5"), key("select a from t where c=2.50"));
}

#ifdef TAMSEL_TEST_HAVE_ODBC
// What the ODBC driver declares for a lifted value. T-SQL reads 2.5 as numeric(2,1): bound as a
// float it would compare with money and decimal columns other than written. SQLite has no exact
// numbers and reads 2.5 as a float itself.
TEST(OdbcParameterFor, DeclaresValuesAsTheirLiteralsAreTyped) {
  const struct {
    const char* literal;
    bool exact_numbers;
    SQLSMALLINT c_type, sql_type;
    SQLULEN size;
    SQLSMALLINT digits;
    const char* text;
  } cases[] = {
      {"2.5", true, SQL_C_CHAR, SQL_NUMERIC, 2, 1, "2.5"},
      {"0012.50", true, SQL_C_CHAR, SQL_NUMERIC, 4, 2, "0012.50"},
      {"0.00", true, SQL_C_CHAR, SQL_NUMERIC, 2, 2, "0.00"},
      {"5.", true, SQL_C_CHAR, SQL_NUMERIC, 1, 0, "5."},
      {"2.5", false, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, ""},
      {"25e-1", true, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, ""},
      {"25", true, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, ""},
      {"N'x'", true, SQL_C_WCHAR, SQL_WVARCHAR, kLiftedTextMax, 0, "x"},
      {"'x'", true, SQL_C_WCHAR, SQL_VARCHAR, 2 * kLiftedTextMax, 0, "x"},
  };
  for (const auto& c : cases) {
    const StatementShape shape =
        LiftLiterals(std::string("select a from t where b = ") + c.literal);
    ASSERT_EQ(shape.values.size(), 1u) << c.literal;
    const OdbcParameter p = OdbcParameterFor(shape.values[0], c.exact_numbers, true);
    EXPECT_EQ(p.c_type, c.c_type) << c.literal;
    EXPECT_EQ(p.sql_type, c.sql_type) << c.literal;
    EXPECT_EQ(p.size, c.size) << c.literal;
    EXPECT_EQ(p.digits, c.digits) << c.literal;
    EXPECT_EQ(p.text, c.text) << c.literal;
  }
}
#endif

TEST(SplitGoBatchesTest, SplitsOnlyOnLinesHoldingGo) {
  EXPECT_THAT(SplitGoBatches("create table a (go int)\n  go  \nselect 1 as go;\nGO\r\n"
                             "GOTO:\nselect 2\nGo"),
              ElementsAre("create table a (go int)", "select 1 as go;", "GOTO:\nselect 2"));
  // A script may end without a separator; comment-only batches never reach the server.
  EXPECT_THAT(SplitGoBatches("-- header\n\nGO\n-- only a note\nGO\nselect 1 -- trailing\n"),
              ElementsAre("select 1 -- trailing"));
  EXPECT_THAT(SplitGoBatches("\n-- nothing\n"), IsEmpty());
  EXPECT_THAT([] { SplitGoBatches("insert into t values (1)\nGO 5\n"); },
              ThrowsMessage<DatabaseError>(HasSubstr("repeat count")));
}

// The text without its comment lines.
std::string Code(const std::string& text) {
  std::istringstream in(text);
  std::string code;
  for (std::string line; std::getline(in, line);) {
    if (!Trim(line).starts_with("--")) code += line + "\n";
  }
  return code;
}

// Tables written by a script and the number of VALUES rows of each ("exch" is generated).
std::map<std::string, int> InsertedRows(const std::string& script) {
  static const std::regex kInsert(R"(INSERT INTO (?:dbo\.)?(\w+))", std::regex::icase);
  std::map<std::string, int> rows;
  std::string table;
  std::istringstream in(Code(script));
  for (std::string line; std::getline(in, line);) {
    std::smatch match;
    if (std::regex_search(line, match, kInsert)) table = Lower(match[1].str());
    if (table.empty()) continue;
    rows.try_emplace(table, 0);
    if (table != "exch" && Trim(line).starts_with("(")) ++rows[table];
    if (line.ends_with(";")) table.clear();
  }
  return rows;
}

TEST(EmbeddedScriptsTest, SqlServerScriptsMatchTheSqliteOnesAndRunThroughTheOdbcDriver) {
  EXPECT_TRUE(EmbeddedSql("suite.sql").empty());
  // The same demo rows on both databases, or suites would pass on one and fail on the other.
  const std::map<std::string, int> rows = InsertedRows(std::string(EmbeddedSql("sqlite/demo.sql")));
  EXPECT_GT(rows.size(), 5u);
  EXPECT_EQ(InsertedRows(std::string(EmbeddedSql("mssql/demo.sql"))), rows);
  EXPECT_FALSE(EmbeddedSql("sqlite/suite.sql").empty());

  // The driver refuses a batch that reports more than one row count.
  static const std::regex kInsert(R"(\bINSERT\b)", std::regex::icase);
  for (const std::string& batch : SplitGoBatches(EmbeddedSql("mssql/demo.sql"))) {
    const std::string code = Code(batch);
    EXPECT_LE(std::distance(std::sregex_iterator(code.begin(), code.end(), kInsert),
                            std::sregex_iterator()),
              1)
        << batch.substr(0, 120);
  }
  // SQL Server requires CREATE VIEW to open its batch.
  int views = 0;
  for (const std::string& batch : SplitGoBatches(EmbeddedSql("mssql/suite.sql"))) {
    const size_t view = Lower(batch).find("create view");
    if (view == std::string::npos) continue;
    ++views;
    EXPECT_EQ(Code(batch.substr(0, view)).find_first_not_of(" \t\r\n"), std::string::npos)
        << batch.substr(0, 120);
  }
  EXPECT_GT(views, 0);
}

TEST(ConnectionDialectTest, NamesTheEngineAndGuardsTheScripts) {
  Connection conn;
  EXPECT_EQ(conn.Dialect(), "");
  EXPECT_THAT([&] { InstallSuiteSchema(conn); },
              ThrowsMessage<DatabaseError>(HasSubstr("no SQL scripts for this database")));
  conn.Open("Provider=SQLite;Data Source=file:sql_script_dialect?mode=memory&cache=shared");
  EXPECT_EQ(conn.Dialect(), "sqlite");
  // Generated data takes skewed vendors per item (0), and 0 (varied) to 6 tiers.
  InstallSuiteSchema(conn);
  EXPECT_NO_THROW(GenerateTrialData(conn, {.items = 2, .vendors_per_item = 0, .tiers = 6}, {}));
  EXPECT_THROW(GenerateTrialData(conn, {.items = 1, .vendors_per_item = 1, .tiers = 7}, {}),
               std::invalid_argument);
  conn.Close();
  EXPECT_EQ(conn.Dialect(), "");
}

}  // namespace
}  // namespace tamsel::detail
