#include "services/sql_script.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>
#include <vector>

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
}

TEST(SplitGoBatchesTest, RefusesRepeatCounts) {
  EXPECT_THAT([] { SplitGoBatches("insert into t values (1)\nGO 5\n"); },
              ThrowsMessage<DatabaseError>(HasSubstr("repeat count")));
}

std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> lines;
  for (size_t pos = 0; pos <= text.size();) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return lines;
}

// Tables written by a script and the number of VALUES rows of each ("exch" is generated).
std::map<std::string, int> InsertedRows(std::string_view script) {
  static const std::regex kInsert(R"(INSERT INTO (\w+))", std::regex::icase);
  std::map<std::string, int> rows;
  std::string table;
  for (const std::string& line : Lines(script)) {
    if (Trim(line).starts_with("--")) continue;
    std::smatch match;
    if (std::regex_search(line, match, kInsert)) table = Lower(match[1].str());
    if (table.empty()) continue;
    rows.try_emplace(table, 0);
    if (table != "exch" && Trim(line).starts_with("(")) ++rows[table];
    if (line.ends_with(";")) table.clear();
  }
  return rows;
}

TEST(EmbeddedScriptsTest, SqlServerScriptsMatchTheSqliteOnes) {
  for (const char* name :
       {"sqlite/suite.sql", "sqlite/demo.sql", "mssql/suite.sql", "mssql/demo.sql"}) {
    EXPECT_FALSE(EmbeddedSql(name).empty()) << name;
  }
  EXPECT_TRUE(EmbeddedSql("suite.sql").empty());
  // The same demo rows on both databases, or suites would pass on one and fail on the other.
  EXPECT_EQ(InsertedRows(EmbeddedSql("mssql/demo.sql")),
            InsertedRows(EmbeddedSql("sqlite/demo.sql")));
}

TEST(EmbeddedScriptsTest, SqlServerBatchesRunThroughTheOdbcDriver) {
  static const std::regex kInsert(R"(\bINSERT\b)", std::regex::icase);
  // The driver refuses a batch that reports more than one row count.
  for (const std::string& batch : SplitGoBatches(EmbeddedSql("mssql/demo.sql"))) {
    std::string code;
    for (const std::string& line : Lines(batch)) {
      if (!Trim(line).starts_with("--")) code += line + "\n";
    }
    auto inserts = std::distance(std::sregex_iterator(code.begin(), code.end(), kInsert),
                                 std::sregex_iterator());
    EXPECT_LE(inserts, 1) << batch.substr(0, 120);
  }
  // SQL Server requires CREATE VIEW to open its batch.
  for (const std::string& batch : SplitGoBatches(EmbeddedSql("mssql/suite.sql"))) {
    const size_t view = Lower(batch).find("create view");
    if (view == std::string::npos) continue;
    std::string before;
    for (const std::string& line : Lines(batch.substr(0, view))) {
      if (!Trim(line).starts_with("--")) before += Trim(line);
    }
    EXPECT_THAT(before, IsEmpty()) << batch.substr(0, 120);
  }
}

TEST(ConnectionDialectTest, NamesTheEngineAndGuardsTheSchemaScripts) {
  Connection conn;
  EXPECT_EQ(conn.Dialect(), "");
  EXPECT_THAT([&] { InstallSuiteSchema(conn); },
              ThrowsMessage<DatabaseError>(HasSubstr("no SQL scripts for this database")));
  conn.Open("Provider=SQLite;Data Source=file:sql_script_dialect?mode=memory&cache=shared");
  EXPECT_EQ(conn.Dialect(), "sqlite");
  conn.Close();
  EXPECT_EQ(conn.Dialect(), "");
}

}  // namespace
}  // namespace tamsel::detail
