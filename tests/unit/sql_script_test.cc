#include "services/sql_script.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "common/text.h"
#include "services/embedded_sql.h"
#include "tamsel/error.h"
#include "tamsel/services.h"

namespace tamsel::detail {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::ThrowsMessage;

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
  static const std::regex kInsert(R"(INSERT INTO (\w+))", std::regex::icase);
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
