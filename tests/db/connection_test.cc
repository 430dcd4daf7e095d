#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/sql_text.h"
#include "services/driver.h"
#include "support/test_db.h"
#include "tamsel/error.h"
#include "tamsel/services.h"

namespace tamsel {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

// These tests drive the embedded driver directly; the ODBC run has suites of its own.
bool OdbcRun() { return ::tamsel::testing::DriverName() != "sqlite"; }

std::string UniqueName() {
  static std::atomic<int> counter{0};
  return "tamsel_conn_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
}

// Each test runs on a database file and on a shared in-memory database.
class ConnectionTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (OdbcRun()) GTEST_SKIP() << "embedded driver only";
    const std::string name = UniqueName();
    if (GetParam()) {
      path_ = (std::filesystem::temp_directory_path() / (name + ".db")).string();
      text_ = "Provider=SQLite;Data Source=" + path_;
    } else {
      text_ = "provider=sqlite; data source=file:" + name + "?mode=memory&cache=shared";
    }
    conn_.Open(text_);
    conn_.Execute("create table t(id integer primary key, c text)");
  }
  void TearDown() override {
    conn_.Close();
    for (const char* suffix : {"", "-wal", "-shm"}) {
      if (!path_.empty()) std::filesystem::remove(path_ + suffix);
    }
  }

  int32_t Count(Connection& conn) {
    return conn.OpenRecordset("select count(*) as n from t")->Fields("n").AsLong();
  }

  std::string path_;
  std::string text_;
  Connection conn_;
};

TEST_P(ConnectionTest, ExecuteReportsRowsChangedByTheStatementItself) {
  EXPECT_EQ(conn_.Execute("insert into t(c) values('a'),('b'),('c')"), 3);
  EXPECT_EQ(conn_.Execute("update t set c='x' where id<3"), 2);
  // DDL changes no rows, whatever the statement before it did.
  EXPECT_EQ(conn_.Execute("create table log(n integer)"), 0);
  EXPECT_EQ(conn_.Execute("update t set c='y' where id=99"), 0);
  // Rows written by a trigger do not count as rows of the statement.
  conn_.Execute(
      "create trigger tr after update on t begin insert into log values(1); insert into log "
      "values(2); end");
  EXPECT_EQ(conn_.Execute("update t set c='z' where id=1"), 1);
  // A script runs every statement; the counts add up.
  EXPECT_EQ(conn_.Execute("insert into t(c) values('d'); delete from t where c='d';"), 2);
  EXPECT_EQ(conn_.ConnectionString(), text_);
}

TEST_P(ConnectionTest, TransactionsCommitAndRollBack) {
  conn_.BeginTrans();
  EXPECT_TRUE(conn_.InTransaction());
  conn_.Execute("insert into t(c) values('gone')");
  conn_.RollbackTrans();
  EXPECT_EQ(Count(conn_), 0);

  conn_.BeginTrans();
  EXPECT_THROW(conn_.BeginTrans(), DatabaseError);  // one at a time; the first goes on
  conn_.Execute("insert into t(c) values('kept')");
  conn_.CommitTrans();
  EXPECT_FALSE(conn_.InTransaction());
  EXPECT_EQ(Count(conn_), 1);

  EXPECT_THROW(conn_.CommitTrans(), DatabaseError);
  EXPECT_THROW(conn_.RollbackTrans(), DatabaseError);

  {
    TransactionGuard guard(conn_);
    conn_.Execute("insert into t(c) values('guarded')");
  }
  EXPECT_EQ(Count(conn_), 1);
  {
    TransactionGuard guard(conn_);
    conn_.Execute("insert into t(c) values('committed')");
    guard.Commit();
  }
  EXPECT_EQ(Count(conn_), 2);
}

TEST_P(ConnectionTest, CloseRollsBackAndRefusesFurtherWork) {
  Connection other;
  other.Open(text_);  // keeps a shared in-memory database alive
  conn_.BeginTrans();
  conn_.Execute("insert into t(c) values('uncommitted')");
  EXPECT_EQ(conn_.State(), 1);
  conn_.Close();
  conn_.Close();
  EXPECT_EQ(conn_.State(), 0);
  EXPECT_FALSE(conn_.InTransaction());
  EXPECT_EQ(Count(other), 0);
  EXPECT_THROW(conn_.OpenRecordset("select 1"), DatabaseError);
  EXPECT_THROW(conn_.BeginTrans(), DatabaseError);
  conn_.Open(text_);
  EXPECT_EQ(Count(conn_), 0);

  Connection fresh;
  EXPECT_EQ(fresh.State(), 0);
  EXPECT_EQ(fresh.ConnectionString(), "");
  EXPECT_THAT([&] { fresh.Execute("select 1"); },
              ThrowsMessage<DatabaseError>(StrEq("the connection is closed")));
}

TEST_P(ConnectionTest, ResultSetOutlivesItsConnection) {
  conn_.Execute("insert into t(c) values('one'),('two')");
  auto other = std::make_unique<Connection>();
  other->Open(text_);
  auto rs = other->OpenRecordset("select id, c as Name from t order by id");
  other.reset();
  ASSERT_EQ(rs->RecordCount(), 2);
  EXPECT_EQ(rs->FieldName(1), "Name");
  EXPECT_EQ(rs->Fields("name").AsString(), "one");
  rs->MoveNext();
  EXPECT_EQ(rs->Fields("ID").AsLong(), 2);
}

TEST_P(ConnectionTest, ObserversSeeTheTextAsBuilt) {
  std::vector<std::string> seen;
  const std::string query = "select TOP 1 c from dbo.t where isnull(c,'')<>N'' order by id desc";
  {
    ScopedStatementObserver outer(
        [&](std::string_view sql) { seen.push_back("1:" + std::string(sql)); });
    {
      ScopedStatementObserver inner(
          [&](std::string_view sql) { seen.push_back("2:" + std::string(sql)); });
      conn_.Execute("insert into t(c) values(N'a'),(N'b')");
    }
    auto rs = conn_.OpenRecordset(query);
    EXPECT_EQ(rs->Fields("c").AsString(), "b");
  }
  conn_.Execute("delete from t");  // no observer left
  const std::vector<std::string> expected = {"1:insert into t(c) values(N'a'),(N'b')",
                                             "2:insert into t(c) values(N'a'),(N'b')",
                                             "1:" + query};
  EXPECT_EQ(seen, expected);
}

TEST_P(ConnectionTest, QuotedValuesStayInsideTheirLiteral) {
  conn_.Execute("insert into t(c) values('keep')");
  for (const std::string value : {"x'; delete from t; --", "'", "''", "a'b'c", "N'x'"}) {
    SCOPED_TRACE(value);
    EXPECT_EQ(conn_.Execute("insert into t(c) values(N'" + detail::SqlEsc(value) + "')"), 1);
    auto rs = conn_.OpenRecordset("select c from t where c=N'" + detail::SqlEsc(value) + "'");
    ASSERT_EQ(rs->RecordCount(), 1);
    EXPECT_EQ(rs->Fields("c").AsString(), value);
  }
  EXPECT_EQ(Count(conn_), 6);
}

TEST_P(ConnectionTest, ColumnValuesKeepTheirKind) {
  auto rs = conn_.OpenRecordset(
      "select null as n, 7 as i, 3000000000 as big, 2.5 as r, 'txt' as s, x'410042' as b, '' as "
      "e");
  EXPECT_TRUE(rs->Fields("n").IsNull());
  EXPECT_EQ(rs->Fields("i"), Variant(int32_t{7}));
  EXPECT_EQ(rs->Fields("big").type(), VarType::Decimal);
  EXPECT_DOUBLE_EQ(rs->Fields("big").AsDouble(), 3000000000.0);
  EXPECT_EQ(rs->Fields("r"), Variant(2.5));
  EXPECT_EQ(rs->Fields("s"), Variant("txt"));
  EXPECT_EQ(rs->Fields("b"), Variant("0x410042"));  // bytes never become raw text
  EXPECT_EQ(rs->Fields("e"), Variant(""));
}

TEST_P(ConnectionTest, FailuresCarryTheDatabaseText) {
  EXPECT_THAT([&] { conn_.Execute("insert into nosuch values(1)"); },
              ThrowsMessage<DatabaseError>(
                  AllOf(HasSubstr("no such table: nosuch"), HasSubstr("insert into nosuch"))));
  // The connection stays usable.
  EXPECT_EQ(conn_.Execute("insert into t(c) values('ok')"), 1);
}

INSTANTIATE_TEST_SUITE_P(Sqlite, ConnectionTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "File" : "Memory"; });

TEST(ConnectionOpen, RefusesTextsItCannotOpen) {
  if (OdbcRun()) GTEST_SKIP() << "embedded driver only";
  Connection conn;
  EXPECT_THROW(conn.Open("Provider=SQLite;"), DatabaseError);
  EXPECT_THROW(conn.Open("Provider=SQLite;Data Source=/nonexistent-dir/x/y.db"), DatabaseError);
  EXPECT_EQ(conn.State(), 0);
}

TEST(ConnectionText, ValuesByKey) {
  const std::string text =
      " Provider = SQLite ;DRIVER={SQLite3 ODBC; x};PWD={a}}b};Data "
      "Source=file:m?mode=memory;Empty=";
  EXPECT_EQ(detail::ConnectionTextValue(text, "provider"), "SQLite");
  EXPECT_EQ(detail::ConnectionTextValue(text, "Driver"), "SQLite3 ODBC; x");
  EXPECT_EQ(detail::ConnectionTextValue(text, "pwd"), "a}b");
  EXPECT_EQ(detail::ConnectionTextValue(text, "data source"), "file:m?mode=memory");
  EXPECT_EQ(detail::ConnectionTextValue(text, "Empty"), "");
  EXPECT_EQ(detail::ConnectionTextValue(text, "Missing"), "");
  // Two readers could each take another one of a repeated key.
  EXPECT_THAT([&] { detail::ConnectionTextValue(text + ";DATA SOURCE=b.db", "Provider"); },
              ThrowsMessage<DatabaseError>(HasSubstr("\"DATA SOURCE\" more than once")));
  EXPECT_EQ(detail::RedactConnectionText(text + ";Password = 'x;y' ;"),
            " Provider = SQLite ;DRIVER={SQLite3 ODBC; x};PWD=***;Data "
            "Source=file:m?mode=memory;Empty=;Password =***;");
  EXPECT_EQ(detail::RedactSecrets("login a}b failed ({a}}b})", text), "login *** failed (***)");
}

}  // namespace
}  // namespace tamsel
