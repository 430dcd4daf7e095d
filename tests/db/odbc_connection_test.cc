// Connection behaviour that must hold whichever driver runs underneath (run
// once per driver label), and what only the ODBC driver has to get right.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "common/sql_text.h"
#include "services/suite_catalog.h"
#include "support/test_db.h"
#include "tamsel/error.h"
#include "tamsel/services.h"

namespace tamsel {
namespace {

using ::tamsel::testing::DriverName;
using ::tamsel::testing::TestDatabase;

bool OdbcRun() { return DriverName() == "odbc"; }

std::string Literal(const std::string& value) { return "N'" + detail::SqlEsc(value) + "'"; }

class DriverContractTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The probe table is written in SQLite's dialect: the ODBC run reaches SQLite too.
    if (DriverName() == "mssql") GTEST_SKIP() << "SQLite dialect";
    conn_ = db_.Connect();
    conn_->Execute("create table probe (id integer, v text collate tamsel_text, n real)");
  }

  int32_t Count(Connection& conn, const std::string& where = "1=1") {
    auto rs = conn.OpenRecordset("select count(*) as n from probe where " + where);
    return VarToLng(rs->Fields("n"));
  }

  std::string ReadBack(int id) {
    auto rs = conn_->OpenRecordset("select v from probe where id = " + std::to_string(id));
    EXPECT_FALSE(rs->Eof());
    return rs->Eof() ? std::string("<no row>") : rs->Fields("V").AsString();
  }

  TestDatabase db_;
  std::shared_ptr<Connection> conn_;
};

// Texts that broke statements or changed on their way somewhere: quotes, an
// escape-looking backslash, look-alike apostrophes, characters whose low byte
// is a quote (a driver manager squeezing UTF-16 into one byte would turn them
// into one), surrogate pairs, ODBC escape and parameter syntax inside a
// literal, and texts long enough to arrive in several pieces of 4095 UTF-16 units, with a
// 4-byte character (two units) across each cut.
TEST_F(DriverContractTest, HostileTextsRoundTripUnchanged) {
  std::string long_mixed;
  for (int i = 0; i < 12000; ++i) long_mixed += i % 3 ? "价'" : "x\xF0\x9F\x98\x80";
  std::vector<std::string> texts = {
      "O'Brien",
      "''",
      "'; delete from probe; --",
      "a\\\nb",
      "\\'",
      "it\u02BCs",
      "it\uFF07s",
      "\u0127\u2027\uFF27",
      "供应商价格规则",
      "\xF0\x9F\x98\x80 \xF0\xA0\x80\x80",
      "{fn user()} {d '2024-01-01'} ? :name @p",
      "",
      "   padded   ",
      std::string(70000, 'q'),
      long_mixed,
  };
  for (size_t before : {4093, 4094, 4095, 8188, 8189, 8190}) {
    texts.push_back(std::string(before, 'a') + "\xF0\x9F\x98\x80\xF0\x9F\x98\x80" +
                    std::string(9000 - before - 4, 'b'));
  }
  for (size_t i = 0; i < texts.size(); ++i) {
    SCOPED_TRACE("text #" + std::to_string(i));
    EXPECT_EQ(conn_->Execute("insert into probe (id, v) values (" + std::to_string(i) + ", " +
                             Literal(texts[i]) + ")"),
              1);
    EXPECT_EQ(ReadBack(static_cast<int>(i)), texts[i]);
    // The same literal must also compare equal inside the database.
    EXPECT_EQ(Count(*conn_, "id = " + std::to_string(i) + " and v = " + Literal(texts[i])), 1);
  }
  EXPECT_EQ(Count(*conn_), static_cast<int32_t>(texts.size()));
}

TEST_F(DriverContractTest, NullEmptyAndZeroStayApart) {
  conn_->Execute("insert into probe (id, v, n) values (1, N'', 0)");
  conn_->Execute("insert into probe (id, v, n) values (2, null, null)");
  auto rs = conn_->OpenRecordset("select id, v, n from probe order by id");
  ASSERT_EQ(rs->RecordCount(), 2);
  EXPECT_EQ(rs->Fields("v").type(), VarType::String);
  EXPECT_EQ(rs->Fields("v").AsString(), "");
  EXPECT_FALSE(rs->Fields("n").IsNull());
  EXPECT_EQ(VarToDbl(rs->Fields("N")), 0.0);
  EXPECT_EQ(rs->Fields("ID").type(), VarType::Long);
  rs->MoveNext();
  EXPECT_TRUE(rs->Fields("v").IsNull());
  EXPECT_TRUE(rs->Fields("n").IsNull());
}

TEST_F(DriverContractTest, AffectedRowsAreTheStatementsOwn) {
  for (int i = 1; i <= 3; ++i) {
    conn_->Execute("insert into probe (id, v) values (" + std::to_string(i) + ", N'x')");
  }
  // Touching nothing is a count of 0, not a failure.
  EXPECT_EQ(conn_->Execute("update probe set v = N'y' where id = 99"), 0);
  EXPECT_EQ(conn_->Execute("delete from probe where id = 99"), 0);
  EXPECT_EQ(conn_->Execute("update probe set v = N'y' where id >= 2"), 2);
  EXPECT_EQ(conn_->Execute("delete from probe where id = 1"), 1);
  // The rule table's row-version trigger writes rows too; only the statement's
  // own count.
  conn_->Execute(
      "insert into ven_inv_price_rule (cVenCode, cInvCode, "
      "iSupplyType, dEnableDate) "
      "values (N'V1', N'I1', 1, '2024-01-01')");
  EXPECT_EQ(conn_->Execute("update ven_inv_price_rule set cMemo = N'm' where cVenCode = N'V1'"), 1);
}

TEST_F(DriverContractTest, TransactionsCommitRollBackAndDoNotNest) {
  auto other = db_.Connect();
  conn_->BeginTrans();
  EXPECT_TRUE(conn_->InTransaction());
  EXPECT_THROW(conn_->BeginTrans(), DatabaseError);
  conn_->Execute("insert into probe (id, v) values (1, N'gone')");
  conn_->RollbackTrans();
  EXPECT_FALSE(conn_->InTransaction());
  EXPECT_EQ(Count(*other), 0);

  conn_->BeginTrans();
  conn_->Execute("insert into probe (id, v) values (2, N'kept')");
  conn_->CommitTrans();
  EXPECT_EQ(Count(*other), 1);
  // After the transaction the connection is back to committing each statement
  // itself.
  conn_->Execute("insert into probe (id, v) values (3, N'auto')");
  EXPECT_EQ(Count(*other), 2);

  EXPECT_THROW(conn_->CommitTrans(), DatabaseError);
  EXPECT_THROW(conn_->RollbackTrans(), DatabaseError);
}

// OR ROLLBACK makes SQLite end the transaction itself, as it does after an I/O error: the
// rollback that follows must still succeed and leave the connection ready for the next one.
TEST_F(DriverContractTest, TransactionEndedByTheEngineRollsBackCleanly) {
  conn_->Execute("create table pk (id integer primary key)");
  conn_->BeginTrans();
  conn_->Execute("insert into probe (id, v) values (1, N'gone')");
  conn_->Execute("insert into pk (id) values (1)");
  EXPECT_THROW(conn_->Execute("insert or rollback into pk (id) values (1)"), DatabaseError);
  EXPECT_NO_THROW(conn_->RollbackTrans());
  EXPECT_FALSE(conn_->InTransaction());
  EXPECT_EQ(Count(*conn_), 0);
  conn_->BeginTrans();
  conn_->Execute("insert into probe (id, v) values (2, N'kept')");
  conn_->CommitTrans();
  EXPECT_EQ(Count(*db_.Connect()), 1);
}

TEST_F(DriverContractTest, CloseRollsBackWhatIsPending) {
  conn_->BeginTrans();
  conn_->Execute("insert into probe (id, v) values (1, N'pending')");
  conn_->Close();
  EXPECT_EQ(conn_->State(), 0);
  EXPECT_THROW(conn_->Execute("delete from probe"), DatabaseError);
  auto other = db_.Connect();
  EXPECT_EQ(Count(*other), 0);
}

TEST_F(DriverContractTest, FailuresCarryTheDatabaseTextAndLeaveTheConnectionUsable) {
  try {
    conn_->OpenRecordset("select * from no_such_table");
    FAIL() << "no error";
  } catch (const DatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("no_such_table"), std::string::npos) << e.what();
    if (OdbcRun()) {
      EXPECT_NE(std::string(e.what()).find("[HY000]"), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(conn_->Execute("insert into probe (id, v) values (1, N'after')"), 1);
}

// The connect-time check of a SQL Server suite database, fed catalog rows: one mismatch per
// broken requirement, named.
TEST(SuiteCatalogCheck, NamesWhatTheDatabaseDoesNotMeet) {
  using detail::SuiteCatalog;
  using detail::SuiteCatalogMismatches;
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
  EXPECT_EQ(SuiteCatalogMismatches(fit), std::vector<std::string>{});
  EXPECT_EQ(SuiteCatalogMismatches({"Latin1_General_CS_AS", {}, {}}), std::vector<std::string>{});
  const struct {
    std::function<void(SuiteCatalog&)> change;
    std::string named;
  } cases[] = {
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
  for (const auto& c : cases) {
    SuiteCatalog changed = fit;
    c.change(changed);
    const std::vector<std::string> found = SuiteCatalogMismatches(changed);
    ASSERT_EQ(found.size(), 1u) << c.named;
    EXPECT_NE(found[0].find(c.named), std::string::npos) << found[0];
  }
}

// --- ODBC only
// ----------------------------------------------------------------------------

class OdbcOnlyTest : public DriverContractTest {
 protected:
  void SetUp() override {
    if (!OdbcRun()) GTEST_SKIP() << "ODBC driver only";
    DriverContractTest::SetUp();
  }

  // The fixture's text without its LoadExt= part.
  std::string TextWithoutExtension() const {
    std::string text = db_.ConnectionText();
    size_t at = text.find(";LoadExt=");
    size_t end = text.find(';', at + 1);
    return text.substr(0, at) + (end == std::string::npos ? "" : text.substr(end));
  }
};

TEST_F(OdbcOnlyTest, ANulByteIsRefusedNotCut) {
  const std::string sql = std::string("insert into probe (id, v) values (1, N'ab") + '\0' +
                          "'); delete from probe where id = 0; --')";
  conn_->Execute("insert into probe (id, v) values (0, N'keep')");
  try {
    conn_->Execute(sql);
    FAIL() << "no error";
  } catch (const DatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("NUL"), std::string::npos) << e.what();
  }
  EXPECT_EQ(Count(*conn_), 1);
  EXPECT_THROW(conn_->OpenRecordset(std::string("select 1 as a\0", 14)), DatabaseError);
}

// Behind another session's write transaction the wait ends at the connection text's bound,
// with an error that says how to change it, and the connection stays usable.
TEST_F(OdbcOnlyTest, WaitingForAnotherSessionIsBounded) {
  auto writer = db_.Connect();
  writer->BeginTrans();
  writer->Execute("insert into probe (id) values (1)");
  Connection waiting;
  waiting.Open(db_.ConnectionText() + ";LockTimeout=400");
  const auto start = std::chrono::steady_clock::now();
  try {
    waiting.BeginTrans();
    FAIL() << "did not wait";
  } catch (const DatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("LockTimeout="), std::string::npos) << e.what();
  }
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(300));
  EXPECT_LT(waited, std::chrono::milliseconds(1500));
  writer->RollbackTrans();
  waiting.BeginTrans();
  waiting.RollbackTrans();
}

TEST_F(OdbcOnlyTest, BigintsADoubleWouldRoundComeBackExact) {
  conn_->Execute("create table big (id integer, b bigint)");
  const std::vector<std::string> values = {"9007199254740993", "-9223372036854775807"};
  for (size_t i = 0; i < values.size(); ++i) {
    conn_->Execute("insert into big (id, b) values (" + std::to_string(i) + ", " + values[i] + ")");
    auto rs = conn_->OpenRecordset("select b from big where id = " + std::to_string(i));
    EXPECT_EQ(VarToStr(rs->Fields("b")), values[i]);
  }
}

TEST_F(OdbcOnlyTest, MalformedUtf8IsRefused) {
  for (const std::string bad : {"\xC0\xA7", "\xED\xA0\x80", "\xF8\x88\x80\x80\x80", "a\xE4\xB8"}) {
    EXPECT_THROW(conn_->Execute("insert into probe (id, v) values (1, N'" + bad + "')"),
                 DatabaseError);
  }
  EXPECT_EQ(Count(*conn_), 0);
}

TEST_F(OdbcOnlyTest, TheSuitesDialectIsRewrittenForSqlite) {
  conn_->Execute("insert into probe (id, v, n) values (1, N'a', 12.5)");
  conn_->Execute("insert into probe (id, v, n) values (2, null, 3)");
  auto rs = conn_->OpenRecordset(
      "select top 1 isnull(v, N'none') as v, "
      "convert(char,convert(money,n),2) as m "
      "from dbo.probe where [v] is null order by id");
  ASSERT_EQ(rs->RecordCount(), 1);
  EXPECT_EQ(rs->Fields("v").AsString(), "none");
  EXPECT_EQ(VarToStr(rs->Fields("m")), "3.0000");
  // The collation comes from the loaded extension: case and trailing blanks do
  // not count.
  EXPECT_EQ(Count(*conn_, "v = N'A   '"), 1);
}

TEST_F(OdbcOnlyTest, AScriptRunsStatementByStatement) {
  EXPECT_EQ(conn_->Execute("insert into probe (id, v) values (1, N'a;b'); "
                           "insert into probe (id, v) values (2, N'c'); "
                           "update probe set n = 1 where id <= 2;"),
            2);
  EXPECT_EQ(Count(*conn_, "n = 1"), 2);
  EXPECT_EQ(ReadBack(1), "a;b");
}

TEST_F(OdbcOnlyTest, OpeningFailsClearly) {
  Connection conn;
  // Without the extension every collation and convert would fail later; it must
  // fail now.
  try {
    conn.Open(TextWithoutExtension());
    FAIL() << "opened without the extension";
  } catch (const DatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("LoadExt"), std::string::npos) << e.what();
  }
  EXPECT_EQ(conn.State(), 0);

  // An unknown driver: the manager's SQLSTATE, and never the password of the
  // text.
  try {
    conn.Open("Driver={tamsel no such driver};UID=u;PWD=s3cr3t-pw");
    FAIL() << "opened an unknown driver";
  } catch (const DatabaseError& e) {
    const std::string text = e.what();
    EXPECT_TRUE(std::regex_search(text, std::regex(R"(\[[0-9A-Z]{5}\])"))) << text;
    EXPECT_NE(text.find("tamsel no such driver"), std::string::npos) << text;
    EXPECT_EQ(text.find("s3cr3t-pw"), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace tamsel
