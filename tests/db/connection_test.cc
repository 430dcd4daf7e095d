// Connection behaviour that must hold whichever SQLite-backed driver runs underneath (run once per
// driver label), and what only one of the drivers has to get right.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/sql_text.h"
#include "db/connection_text.h"
#include "db/driver.h"
#include "suite/suite_catalog.h"
#include "support/test_db.h"
#include "tamsel/error.h"
#include "tamsel/services.h"
#include "unit/data_table.h"

namespace tamsel {
namespace {

using ::tamsel::testing::DriverName;
using ::tamsel::testing::ReadCases;
using ::tamsel::testing::TestDatabase;
using ::testing::HasSubstr;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

bool OdbcRun() { return DriverName() == "odbc"; }

std::string Literal(const std::string& value) { return "N'" + detail::SqlEsc(value) + "'"; }

class ConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The probe table is written in SQLite's dialect: the ODBC run reaches SQLite too.
    if (DriverName() == "mssql") GTEST_SKIP() << "SQLite dialect";
    conn_ = db_.Connect();
    conn_->Execute("create table probe (id integer, v text collate tamsel_text, n real)");
  }
  int32_t Count(Connection& conn, const std::string& where = "1=1") {
    return VarToLng(Scalar("select count(*) as v from probe where " + where, &conn));
  }
  Variant Scalar(const std::string& sql, Connection* conn = nullptr) {
    auto rs = (conn ? conn : conn_.get())->OpenRecordset(sql);
    return rs->Eof() ? Variant("<no row>") : rs->Fields("v");
  }

  TestDatabase db_;
  std::shared_ptr<Connection> conn_;
};

// Texts that broke statements or changed on their way somewhere: quotes, an escape-looking
// backslash, look-alike apostrophes, characters whose low byte is a quote (a driver manager
// squeezing UTF-16 into one byte would turn them into one), surrogate pairs, ODBC escape and
// parameter syntax inside a literal, and texts long enough to arrive in several pieces of 4095
// UTF-16 units, with a 4-byte character (two units) across each cut.
TEST_F(ConnectionTest, HostileTextsRoundTripUnchanged) {
  std::string long_mixed;
  for (int i = 0; i < 12000; ++i) long_mixed += i % 3 ? "价'" : "x\xF0\x9F\x98\x80";
  // clang-format off
  std::vector<std::string> texts = {
      "O'Brien", "''", "'; delete from probe; --", "a\\\nb", "\\'", "it\u02BCs", "it\uFF07s",
      "\u0127\u2027\uFF27", "\xF0\x9F\x98\x80 \xF0\xA0\x80\x80", "", "   padded   ",
      "{fn user()} {d '2024-01-01'} ? :name @p", std::string(70000, 'q'), long_mixed};
  // clang-format on
  for (size_t before : {4093, 4094, 4095, 8188, 8189, 8190}) {
    texts.push_back(std::string(before, 'a') + "\xF0\x9F\x98\x80\xF0\x9F\x98\x80" +
                    std::string(9000 - before - 4, 'b'));
  }
  for (size_t i = 0; i < texts.size(); ++i) {
    SCOPED_TRACE("text #" + std::to_string(i));
    const std::string id = std::to_string(i);
    EXPECT_EQ(
        conn_->Execute("insert into probe (id, v) values (" + id + ", " + Literal(texts[i]) + ")"),
        1);
    EXPECT_EQ(VarToStr(Scalar("select v from probe where id = " + id)), texts[i]);
    // The same literal must also compare equal inside the database.
    EXPECT_EQ(Count(*conn_, "id = " + id + " and v = " + Literal(texts[i])), 1);
  }
  EXPECT_EQ(Count(*conn_), static_cast<int32_t>(texts.size()));
}

TEST_F(ConnectionTest, ColumnValuesKeepTheirKind) {
  conn_->Execute("insert into probe (id, v, n) values (1, N'', 0), (2, null, null)");
  auto rs = conn_->OpenRecordset(
      "select id, v, n, 3000000000 as big, 2.5 as r, x'410042' as b from probe order by id");
  ASSERT_EQ(rs->RecordCount(), 2);
  EXPECT_EQ(rs->Fields("v"), Variant(""));  // Null, empty and zero stay apart
  EXPECT_EQ(VarToDbl(rs->Fields("N")), 0.0);
  EXPECT_FALSE(rs->Fields("n").IsNull());
  EXPECT_EQ(rs->Fields("ID"), Variant(int32_t{1}));
  EXPECT_DOUBLE_EQ(VarToDbl(rs->Fields("big")), 3000000000.0);
  EXPECT_EQ(rs->Fields("r"), Variant(2.5));
  EXPECT_EQ(rs->Fields("b"), Variant("0x410042"));  // bytes never become raw text
  rs->MoveNext();
  EXPECT_TRUE(rs->Fields("v").IsNull());
  EXPECT_TRUE(rs->Fields("n").IsNull());
}

TEST_F(ConnectionTest, AffectedRowsAreTheStatementsOwn) {
  EXPECT_EQ(conn_->Execute("insert into probe (id, v) values (1, N'x'), (2, N'x'), (3, N'x')"), 3);
  EXPECT_EQ(conn_->Execute("update probe set v = N'y' where id = 99"), 0);  // not a failure
  EXPECT_EQ(conn_->Execute("update probe set v = N'y' where id >= 2"), 2);
  EXPECT_EQ(conn_->Execute("create table log (n integer)"), 0);  // whatever came before
  EXPECT_EQ(conn_->Execute("delete from probe where id = 1"), 1);
  // The rule table's row-version trigger writes rows too; only the statement's own count.
  conn_->Execute(
      "insert into ven_inv_price_rule (cVenCode, cInvCode, iSupplyType, dEnableDate) "
      "values (N'V1', N'I1', 1, '2024-01-01')");
  EXPECT_EQ(conn_->Execute("update ven_inv_price_rule set cMemo = N'm' where cVenCode = N'V1'"), 1);
  // A script runs statement by statement, separators inside literals included; the embedded
  // driver adds the counts up, the ODBC driver reports the last statement's.
  EXPECT_EQ(conn_->Execute("insert into probe (id, v) values (4, N'a;b'); "
                           "update probe set n = 1 where id >= 3;"),
            OdbcRun() ? 2 : 3);
  EXPECT_EQ(VarToStr(Scalar("select v from probe where id = 4")), "a;b");
  EXPECT_EQ(conn_->ConnectionString(), db_.ConnectionText());
}

TEST_F(ConnectionTest, TransactionsCommitRollBackAndDoNotNest) {
  auto other = db_.Connect();
  conn_->BeginTrans();
  EXPECT_TRUE(conn_->InTransaction());
  EXPECT_THROW(conn_->BeginTrans(), DatabaseError);  // one at a time; the first goes on
  conn_->Execute("insert into probe (id, v) values (1, N'gone')");
  conn_->RollbackTrans();
  EXPECT_FALSE(conn_->InTransaction());
  EXPECT_EQ(Count(*other), 0);
  conn_->BeginTrans();
  conn_->Execute("insert into probe (id, v) values (2, N'kept')");
  conn_->CommitTrans();
  EXPECT_EQ(Count(*other), 1);
  // Back to committing each statement itself.
  conn_->Execute("insert into probe (id, v) values (3, N'auto')");
  EXPECT_EQ(Count(*other), 2);
  EXPECT_THROW(conn_->CommitTrans(), DatabaseError);
  EXPECT_THROW(conn_->RollbackTrans(), DatabaseError);
  for (bool commit : {false, true}) {
    TransactionGuard guard(*conn_);
    conn_->Execute("insert into probe (id, v) values (4, N'guarded')");
    if (commit) guard.Commit();
  }
  EXPECT_EQ(Count(*other), 3);

  // OR ROLLBACK makes SQLite end the transaction itself, as after an I/O error: the rollback
  // that follows must still succeed and leave the connection ready for the next one.
  conn_->Execute("create table pk (id integer primary key)");
  conn_->BeginTrans();
  conn_->Execute("insert into probe (id, v) values (5, N'gone')");
  conn_->Execute("insert into pk (id) values (1)");
  EXPECT_THROW(conn_->Execute("insert or rollback into pk (id) values (1)"), DatabaseError);
  EXPECT_NO_THROW(conn_->RollbackTrans());
  EXPECT_FALSE(conn_->InTransaction());
  EXPECT_EQ(Count(*other), 3);
}

TEST_F(ConnectionTest, CloseRollsBackAndRefusesFurtherWork) {
  auto other = db_.Connect();
  auto rs = other->OpenRecordset("select id as v from probe");
  conn_->BeginTrans();
  conn_->Execute("insert into probe (id, v) values (1, N'pending')");
  EXPECT_EQ(conn_->State(), 1);
  conn_->Close();
  conn_->Close();
  other.reset();  // a result set outlives its connection
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(conn_->State(), 0);
  EXPECT_FALSE(conn_->InTransaction());
  EXPECT_THROW(conn_->OpenRecordset("select 1"), DatabaseError);
  EXPECT_THROW(conn_->BeginTrans(), DatabaseError);
  conn_->Open(db_.ConnectionText());
  EXPECT_EQ(Count(*conn_), 0);
  Connection fresh;
  EXPECT_EQ(fresh.ConnectionString(), "");
  EXPECT_THAT([&] { fresh.Execute("select 1"); },
              ThrowsMessage<DatabaseError>(StrEq("the connection is closed")));
}

TEST_F(ConnectionTest, FailuresCarryTheDatabaseTextAndLeaveTheConnectionUsable) {
  EXPECT_THAT([&] { conn_->Execute("insert into nosuch values (1)"); },
              ThrowsMessage<DatabaseError>(HasSubstr("no such table: nosuch")));
  if (OdbcRun()) {
    EXPECT_THAT([&] { conn_->OpenRecordset("select * from nosuch"); },
                ThrowsMessage<DatabaseError>(HasSubstr("[HY000]")));
  } else {  // the statement too
    EXPECT_THAT([&] { conn_->Execute("insert into nosuch values (1)"); },
                ThrowsMessage<DatabaseError>(HasSubstr("insert into nosuch")));
  }
  EXPECT_EQ(conn_->Execute("insert into probe (id, v) values (1, N'after')"), 1);
}

// The suite's text columns ignore letter case and trailing blanks, in comparisons, order and keys.
TEST_F(ConnectionTest, TextColumnsIgnoreCaseAndTrailingBlanks) {
  conn_->Execute(
      "insert into probe (v) values ('b'),('ABC'),('a'),('C'),('abc  '),('Ab'),('宏'),('')");
  for (const auto& c : ReadCases("connection.txt", "collate")) {
    EXPECT_EQ(Count(*conn_, c[0]), VarToLng(Variant(c[1]))) << c[0];
  }
  EXPECT_EQ(VarToLng(Scalar("select count(distinct v) as v from probe")), 7);
  auto rs = conn_->OpenRecordset("select v from probe order by v, length(v)");
  std::vector<std::string> order;
  for (; !rs->Eof(); rs->MoveNext()) order.push_back(rs->Fields("v").AsString());
  EXPECT_EQ(order, (std::vector<std::string>{"", "a", "Ab", "ABC", "abc  ", "b", "C", "宏"}));

  // Longer texts differing in case, blanks and bytes beyond ASCII at any place (equal words are
  // skipped whole) sort as folding A-Z alone, trailing blanks dropped, would sort them.
  auto folded = [](std::string t) {
    t.erase(t.find_last_not_of(' ') + 1);
    for (char& c : t) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    return t;
  };
  conn_->Execute("delete from probe");
  std::vector<std::pair<std::string, int>> texts;
  const char* pieces[] = {"a", "A", "[", " ", "\xC3\xA9", "z", "Z"};
  uint32_t seed = 5;
  for (int id = 0; id < 400; ++id) {
    std::string t;
    for (int n = static_cast<int>((seed = seed * 1103515245 + 12345) >> 16) % 21; n > 0; --n)
      t += pieces[((seed = seed * 1103515245 + 12345) >> 16) % std::size(pieces)];
    texts.push_back({t, id});
    conn_->Execute("insert into probe (id, v) values (" + std::to_string(id) + "," + Literal(t) +
                   ")");
  }
  std::sort(texts.begin(), texts.end(), [&](const auto& x, const auto& y) {
    return std::pair(folded(x.first), x.second) < std::pair(folded(y.first), y.second);
  });
  std::string expected, sorted;
  for (const auto& [t, id] : texts) expected += std::to_string(id) + " ";
  for (rs = conn_->OpenRecordset("select id as v from probe order by probe.v, id"); !rs->Eof();
       rs->MoveNext())
    sorted += VarToStr(rs->Fields("v")) + " ";
  EXPECT_EQ(sorted, expected);
}

TEST_F(ConnectionTest, ConvertBehavesAsTheServer) {
  for (const auto& c : ReadCases("connection.txt", "convert")) {
    const std::string sql = "select " + c[0] + " as v";
    if (c.size() == 1) {
      EXPECT_THROW(Scalar(sql), DatabaseError) << c[0];
      continue;
    }
    const Variant expected = c[1] == "i"   ? Variant(VarToLng(Variant(c[2])))
                             : c[1] == "d" ? Variant(VarToDbl(Variant(c[2])))
                             : c[1] == "n" ? Variant::Null()
                                           : Variant(c[2]);
    EXPECT_EQ(Scalar(sql), expected) << c[0];
  }
}

TEST_F(ConnectionTest, SuiteDialectRunsEndToEnd) {
  conn_->Execute("insert into dbo.probe values (1,N'a',1),(2,null,2),(3,N'b',3),(4,N'it''s',4)");
  auto rs = conn_->OpenRecordset(
      "select TOP 2 [id], isnull(v,'none') as v from dbo.probe /* newest first */ where id in "
      "(select top 3 id from probe order by id) order by id desc -- two rows");
  ASSERT_EQ(rs->RecordCount(), 2);
  EXPECT_EQ(rs->Fields("v").AsString(), "b");
  rs->MoveNext();
  EXPECT_EQ(rs->Fields("v").AsString(), "none");
  for (const auto& c : ReadCases("connection.txt", "bound")) {
    EXPECT_EQ(Count(*conn_, c[0]), VarToLng(Variant(c[1]))) << c[0];
  }
}

TEST_F(ConnectionTest, CachedStatementsStayFreshAndReusable) {
  conn_->Execute("insert into probe (n, v) values (1, '1')");
  const std::string sum = "select sum(n) as v from probe";
  EXPECT_EQ(VarToLng(Scalar(sum)), 1);
  conn_->Execute("insert into probe (n, v) values (2, '2')");
  EXPECT_EQ(VarToLng(Scalar(sum)), 3);
  // A statement that fails after its first row must not keep a lock that blocks COMMIT.
  conn_->Execute("insert into probe (n, v) values (3, 'bad')");
  const std::string failing = "select convert(int, v) as v from probe order by n";
  conn_->BeginTrans();
  EXPECT_THROW(conn_->OpenRecordset(failing), DatabaseError);
  conn_->Execute("delete from probe where v='bad'");
  conn_->CommitTrans();
  EXPECT_EQ(conn_->OpenRecordset(failing)->RecordCount(), 2);
  for (int i = 0; i < 100; ++i) {  // more distinct texts than the cache holds
    EXPECT_EQ(VarToLng(Scalar("select " + std::to_string(i) + " as v")), i);
  }
  EXPECT_EQ(VarToLng(Scalar(sum)), 3);
}

// Another session changes the table between two runs of one statement shape: every run answers
// the table's columns as they are then, each value under its own name.
TEST_F(ConnectionTest, CachedStatementsFollowAnotherSessionsSchemaChange) {
  conn_->Execute("insert into probe (id, v, n) values (1, N'a', 1.5), (2, N'b', 2.5)");
  auto other = db_.Connect();
  const struct {
    const char* change;
    std::vector<std::pair<std::string, std::string>> row;  // id = 2, column by column
  } steps[] = {
      {"", {{"id", "2"}, {"v", "b"}, {"n", "2.5"}}},
      {"alter table probe add column d date; update probe set d = '2026-01-02'",
       {{"id", "2"}, {"v", "b"}, {"n", "2.5"}, {"d", "2026-01-02"}}},
      {"alter table probe drop column v", {{"id", "2"}, {"n", "2.5"}, {"d", "2026-01-02"}}},
      {"alter table probe rename column n to m", {{"id", "2"}, {"m", "2.5"}, {"d", "2026-01-02"}}},
  };
  for (const auto& step : steps) {  // one shape throughout: prepared once, then cached
    SCOPED_TRACE(step.change);
    if (*step.change) other->Execute(step.change);
    auto rs = conn_->OpenRecordset("select * from probe where id = 2");
    ASSERT_EQ(rs->FieldCount(), static_cast<int32_t>(step.row.size()));
    for (size_t c = 0; c < step.row.size(); ++c) {
      EXPECT_EQ(rs->FieldName(static_cast<int32_t>(c)), step.row[c].first);
      EXPECT_EQ(VarToStr(rs->Fields(step.row[c].first)), step.row[c].second);
    }
  }
}

// A caller's condition after "where " cannot add a statement, write, or change the session for
// later statements; nor can a query text itself, which the engines would take as reading.
TEST_F(ConnectionTest, QueriesRunOneReadingStatementOnly) {
  conn_->Execute("insert into probe (id, v, n) values (1, N'a', null), (2, N'b', 2.5)");
  for (const table::Row& row : table::Read("data/list_filters.txt")) {
    if (row.fields[1] == "tsql") continue;
    const std::string sql = "select * from probe where " + table::Unescape(row.fields[0]);
    if (row.fields[1] == "ok") {
      EXPECT_NO_THROW(conn_->OpenRecordset(sql)) << row.where;
    } else {
      EXPECT_THROW(conn_->OpenRecordset(sql), DatabaseError) << row.where;
    }
  }
  conn_->Execute("pragma cache_size = 2000");  // compiled and kept for a write first
  for (const char* sql :
       {"pragma cache_size = 2000", "attach database ':memory:' as x", "detach database main",
        "begin", "commit", "savepoint s", "reindex", "pragma foreign_keys = off",
        "pragma writable_schema = 1", "select 1 as v; begin"}) {
    EXPECT_THROW(conn_->OpenRecordset(sql), DatabaseError) << sql;
  }
  // What only reports may be asked.
  EXPECT_EQ(VarToStr(conn_->OpenRecordset("pragma integrity_check")->Fields("integrity_check")),
            "ok");
  EXPECT_EQ(VarToLng(Scalar("select count(*) as v from pragma_integrity_check")), 1);
  EXPECT_FALSE(conn_->InTransaction());
  EXPECT_EQ(conn_->Execute("insert into probe (id) values (3)"), 1);
  EXPECT_EQ(Count(*conn_), 3);
}

// A NUL would end a statement early on some layer's way, or be stored with it: refused on every
// driver, in a value bound as a parameter as in one that stays in the text.
TEST_F(ConnectionTest, StatementsHoldingANulAreRefused) {
  const std::string nul(1, '\0');
  for (const std::string& sql :
       {"insert into probe (id, v) values (1, N'x" + nul + "y')",
        "insert into probe (id, v) values (1, isnull(N'x" + nul + "', ''))",
        "delete from probe where v = N'x" + nul + "' or 1=1"}) {
    EXPECT_THAT([&] { conn_->Execute(sql); }, ThrowsMessage<DatabaseError>(HasSubstr("NUL")));
  }
  EXPECT_THAT([&] { conn_->OpenRecordset("select v from probe where v = N'" + nul + "'"); },
              ThrowsMessage<DatabaseError>(HasSubstr("NUL")));
  EXPECT_EQ(Count(*conn_), 0);
}

// A writer behind another session's write transaction waits: the embedded driver until the
// other commits, the ODBC driver up to the text's bound, with an error that says how to change
// it. Readers are not blocked.
TEST_F(ConnectionTest, AWriterWaitsForAnotherWriterAndReadersAreNot) {
  auto writer = db_.Connect();
  writer->BeginTrans();
  writer->Execute("insert into probe (id) values (1)");
  EXPECT_EQ(Count(*conn_), 0);
  Connection waiting;
  waiting.Open(db_.ConnectionText() + (OdbcRun() ? ";LockTimeout=400" : ""));
  const auto start = std::chrono::steady_clock::now();
  if (OdbcRun()) {
    EXPECT_THAT([&] { waiting.BeginTrans(); },
                ThrowsMessage<DatabaseError>(HasSubstr("LockTimeout=")));
    writer->RollbackTrans();
  } else {
    std::thread committer([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(400));
      writer->CommitTrans();
    });
    waiting.BeginTrans();
    committer.join();
    waiting.Execute("insert into probe (id) values (2)");
    waiting.CommitTrans();
  }
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(300));
  EXPECT_LT(waited, std::chrono::milliseconds(1500));
  waiting.BeginTrans();
  waiting.RollbackTrans();
  EXPECT_EQ(Count(*conn_), OdbcRun() ? 0 : 2);
}

TEST_F(ConnectionTest, OdbcRefusesWhatWouldChangeOnTheWay) {
  if (!OdbcRun()) GTEST_SKIP() << "ODBC driver only";
  conn_->Execute("insert into probe (id, v) values (0, N'keep')");
  for (const std::string bad : {"\xC0\xA7", "\xED\xA0\x80", "\xF8\x88\x80\x80\x80", "a\xE4\xB8"}) {
    EXPECT_THROW(conn_->Execute("insert into probe (id, v) values (1, N'" + bad + "')"),
                 DatabaseError);
  }
  EXPECT_EQ(Count(*conn_), 1);
  // Bigints a double would round come back exact.
  conn_->Execute("create table big (b bigint)");
  for (const std::string big : {"9007199254740993", "-9223372036854775807"}) {
    conn_->Execute("delete from big; insert into big values (" + big + ")");
    EXPECT_EQ(VarToStr(Scalar("select b as v from big")), big);
  }
}

TEST(ConnectionOpen, FailsClearlyAndNamesNoPassword) {
  if (DriverName() == "mssql") GTEST_SKIP() << "SQLite-backed drivers only";
  Connection conn;
  TestDatabase db;
  std::vector<std::pair<std::string, std::string>> cases;  // text, part of the error
  if (OdbcRun()) {
    // Without the extension every collation and convert would fail later; it must fail now.
    cases = {{detail::WithoutConnectionTextKey(db.ConnectionText(), "LoadExt"), "LoadExt"},
             {"Driver={tamsel no such driver};UID=u;PWD=s3cr3t-pw", "tamsel no such driver"}};
  } else {
    cases = {{"Provider=SQLite;PWD=s3cr3t-pw", ""},
             {"Provider=SQLite;Data Source=/nonexistent-dir/x/y.db;PWD=s3cr3t-pw", ""}};
  }
  for (const auto& [text, part] : cases) {
    try {
      conn.Open(text);
      ADD_FAILURE() << "opened " << text;
    } catch (const DatabaseError& e) {
      EXPECT_THAT(e.what(), HasSubstr(part));
      EXPECT_THAT(e.what(), ::testing::Not(HasSubstr("s3cr3t-pw")));
    }
    EXPECT_EQ(conn.State(), 0);
  }
}

TEST(ConnectionText, ValuesByKey) {
  const std::string text =
      " Provider = SQLite ;DRIVER={SQLite3 ODBC; x};PWD={a}}b};Data "
      "Source=file:m?mode=memory;Empty=";
  const std::pair<const char*, const char*> values[] = {
      {"provider", "SQLite"}, {"Driver", "SQLite3 ODBC; x"},
      {"pwd", "a}b"},         {"data source", "file:m?mode=memory"},
      {"Empty", ""},          {"Missing", ""}};
  for (const auto& [key, value] : values) EXPECT_EQ(detail::ConnectionTextValue(text, key), value);
  // Two readers could each take another one of a repeated key.
  EXPECT_THAT([&] { detail::ConnectionTextValue(text + ";DATA SOURCE=b.db", "Provider"); },
              ThrowsMessage<DatabaseError>(HasSubstr("\"DATA SOURCE\" more than once")));
  EXPECT_EQ(detail::RedactConnectionText(text + ";Password = 'x;y' ;"),
            " Provider = SQLite ;DRIVER={SQLite3 ODBC; x};PWD=***;Data "
            "Source=file:m?mode=memory;Empty=;Password =***;");
  EXPECT_EQ(detail::RedactSecrets("login a}b failed ({a}}b})", text), "login *** failed (***)");
}

// The connect-time check of a SQL Server suite database, fed catalog rows: one mismatch per
// broken requirement, named.
TEST(SuiteCatalogCheck, NamesWhatTheDatabaseDoesNotMeet) {
  using detail::SuiteCatalog;
  const std::string ci = "Latin1_General_100_CI_AS";
  SuiteCatalog fit{ci, {}, {{"ven_inv_price_rule", "tr_ok", "as begin\n set  NOCOUNT\tON; end"}}};
  for (const char* table : {"ven_inv_price_rule", "ven_inv_price"}) {
    for (const char* date : {"dEnableDate", "dDisableDate"}) {
      fit.columns.push_back({table, date, "date", ""});
    }
    for (const char* code : {"cVenCode", "cInvCode", "cExch_Name", "cTermCode"}) {
      fit.columns.push_back({table, code, "nvarchar", ci});
    }
    fit.columns.push_back({table, "ufts", "timestamp", ""});
  }
  EXPECT_EQ(detail::SuiteCatalogMismatches(fit), std::vector<std::string>{});
  EXPECT_EQ(detail::SuiteCatalogMismatches({"Latin1_General_CS_AS", {}, {}}),
            std::vector<std::string>{});
  const std::pair<std::function<void(SuiteCatalog&)>, std::string> cases[] = {
      {[](SuiteCatalog& c) { c.database_collation = "Latin1_General_CS_AS"; }, "collation"},
      {[](SuiteCatalog& c) { c.columns[1].type = "datetime"; }, "rule.dDisableDate is datetime"},
      {[](SuiteCatalog& c) { c.columns[9].type = "varchar"; }, "price.cVenCode is varchar"},
      {[](SuiteCatalog& c) { c.columns[2].collation = "Latin1_General_CS_AS"; }, "rule.cVenCode"},
      {[](SuiteCatalog& c) { c.columns[13].type = "binary"; }, "price.ufts is binary"},
      {[](SuiteCatalog& c) { c.columns.erase(c.columns.begin()); }, "dEnableDate is missing"},
      {[](SuiteCatalog& c) {
         c.triggers.push_back({"ven_inv_price_ruleitem", "tr_x", "as"});
       },
       "tr_x on ven_inv_price_ruleitem lacks SET NOCOUNT ON"},
  };
  for (const auto& [change, named] : cases) {
    SuiteCatalog changed = fit;
    change(changed);
    const std::vector<std::string> found = detail::SuiteCatalogMismatches(changed);
    ASSERT_EQ(found.size(), 1u) << named;
    EXPECT_THAT(found[0], HasSubstr(named));
  }
}

}  // namespace
}  // namespace tamsel
