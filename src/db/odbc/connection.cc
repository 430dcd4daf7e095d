// The ODBC driver's connection: connecting, dialect and text calls, transactions, error reports.

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"
#include "common/utf16.h"
#include "db/connection_text.h"
#include "db/driver.h"
#include "db/odbc/odbc_api.h"
#include "db/odbc/odbc_driver.h"
#include "tamsel/error.h"
#include "tamsel/variant.h"

namespace tamsel::detail {
namespace {

// Statements in error texts are cut to this many bytes.
constexpr size_t kStatementEcho = 300;

// One diagnostic record of a failed call.
struct DiagRecord {
  std::string state;  // SQLSTATE, five characters
  SQLINTEGER native = 0;
  std::string message;
};

std::vector<DiagRecord> NarrowDiagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::vector<DiagRecord> out;
  for (SQLSMALLINT record = 1;; ++record) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    std::string message(2048, '\0');
    SQLRETURN rc = SQLGetDiagRec(type, handle, record, state, &native,
                                 reinterpret_cast<SQLCHAR*>(message.data()),
                                 static_cast<SQLSMALLINT>(message.size()), &length);
    if (!SQL_SUCCEEDED(rc)) break;
    message.resize(std::min(static_cast<size_t>(length), message.size() - 1));
    out.push_back({std::string(reinterpret_cast<const char*>(state), 5), native, message});
  }
  return out;
}

// Every diagnostic record of a handle.
std::vector<DiagRecord> Diagnostics(SQLSMALLINT type, SQLHANDLE handle, TextCalls calls) {
  std::vector<DiagRecord> out;
  if (handle == SQL_NULL_HANDLE) return out;
  if (calls == TextCalls::kNarrow) return NarrowDiagnostics(type, handle);
  for (SQLSMALLINT record = 1;; ++record) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    std::u16string message(1024, u'\0');
    SQLRETURN rc = SQLGetDiagRecW(type, handle, record, state, &native, Wide(message),
                                  static_cast<SQLSMALLINT>(message.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
      message.assign(static_cast<size_t>(length) + 1, u'\0');
      rc = SQLGetDiagRecW(type, handle, record, state, &native, Wide(message),
                          static_cast<SQLSMALLINT>(message.size()), &length);
    }
    if (!SQL_SUCCEEDED(rc)) break;
    message.resize(std::min<size_t>(static_cast<size_t>(length), message.size()));
    out.push_back({Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(state), 5)),
                   native, Utf16ToUtf8(message)});
  }
  return out;
}

// SQL Server's error number for "Lock request time out period exceeded".
constexpr SQLINTEGER kSqlServerLockTimeout = 1222;

}  // namespace

std::string Echo(std::string_view sql) {
  if (sql.size() <= kStatementEcho) return std::string(sql);
  return std::string(sql.substr(0, kStatementEcho)) + "...";
}

void Reporter::Fail(SQLSMALLINT type, SQLHANDLE handle, std::string_view what,
                    std::string_view sql) {
  failed = true;
  const std::vector<DiagRecord> records = Diagnostics(type, handle, calls);
  bool timed_out = false, lost = false;
  native = records.empty() ? 0 : records.front().native;
  std::string diagnostics;
  for (const DiagRecord& r : records) {
    lost = lost || r.state.starts_with("08");
    timed_out =
        timed_out || r.state == "HYT00" || r.state == "HYT01" ||
        (dialect == Dialect::kSqlServer && r.native == kSqlServerLockTimeout) ||
        (dialect == Dialect::kSqlite && (r.native == SQLITE_BUSY || r.native == SQLITE_LOCKED));
    if (!diagnostics.empty()) diagnostics += "; ";
    diagnostics += "[" + r.state + "] " + r.message;
  }
  link_lost = link_lost || lost;
  std::string text(what);
  if (lost) text += " (the connection to the database is lost and closed; connect again)";
  if (timed_out) {
    text += " (another session holds what this one needs, and waits end after " +
            std::to_string(lock_timeout_ms) +
            " ms: LockTimeout=<milliseconds> in the connection text sets that bound)";
  }
  text += diagnostics.empty() ? ": the ODBC driver gave no reason" : ": " + diagnostics;
  if (!sql.empty()) text += " (statement: " + Echo(sql) + ")";
  throw DatabaseError(text);
}

OdbcDriver::OdbcDriver(const std::string& connection_text) {
  env_ = Handle(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
  if (!SQL_SUCCEEDED(SQLSetEnvAttr(env_.get(), SQL_ATTR_ODBC_VERSION,
                                   reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0))) {
    report_.Fail(SQL_HANDLE_ENV, env_.get(), "ODBC: cannot select ODBC 3 behaviour");
  }
  dbc_ = Handle(SQL_HANDLE_DBC, env_.get());
  report_.lock_timeout_ms = LockTimeoutMs(connection_text);
  SQLSetConnectAttrW(dbc_.get(), SQL_ATTR_LOGIN_TIMEOUT,
                     reinterpret_cast<SQLPOINTER>(WaitSeconds(kStatementTimeoutFactor)), 0);
  // LockTimeout= is Tamsel's own: a driver might refuse a key it does not know.
  const std::string text = WithoutConnectionTextKey(connection_text, kLockTimeoutKey);
  Connect(text);
  session_text_ = text;
  try {
    dialect_ = DetectDialect();
    report_.dialect = dialect_;
    if (dialect_ == Dialect::kSqlite) {
      // That driver's lock wait is bounded only by its own Timeout=, and it waits that long
      // twice (its busy handler, then a retry of the statement): it gets half the bound.
      SQLDisconnect(dbc_.get());
      connected_ = false;
      std::string bounded = WithoutConnectionTextKey(text, "Timeout");
      if (!bounded.empty() && bounded.back() != ';') bounded += ';';
      session_text_ = bounded + "Timeout=" + std::to_string((report_.lock_timeout_ms + 1) / 2);
      Connect(session_text_);
    }
    ChooseTextCalls();
    Initialise();
    Ready();
  } catch (...) {
    Close();
    throw;
  }
}

void OdbcDriver::Connect(const std::string& connection_text) {
  std::u16string text = Utf8ToUtf16(RequireNoNul(connection_text, "connection text"));
  SQLSMALLINT out_length = 0;
  SQLRETURN rc = SQLDriverConnectW(dbc_.get(), nullptr, Wide(text), SQL_NTS, nullptr, 0,
                                   &out_length, SQL_DRIVER_NOPROMPT);
  // The connection text may hold a password: it is never echoed.
  if (!SQL_SUCCEEDED(rc)) FailConnection("ODBC: cannot connect");
  connected_ = true;
}

OdbcDriver::~OdbcDriver() {
  try {
    Close();
  } catch (...) {  // a destructor has nobody to tell
  }
}

void OdbcDriver::Begin() {
  ReopenAfterReset();
  RequireOpen();
  if (in_transaction_) throw DatabaseError("a transaction is already open on this connection");
  if (dialect_ == Dialect::kSqlite) {
    // The SQLite ODBC driver's manual-commit mode begins a deferred transaction: its first
    // read takes a shared lock, and the later write then fails at once ("database is
    // locked") when another connection writes, instead of waiting. BEGIN IMMEDIATE takes the
    // write lock up front and waits for it, as the embedded driver does; the ODBC driver
    // stays in autocommit mode and leaves SQLite's own transaction alone.
    // Armed first: a failure after the statement ran must not leave its transaction behind.
    in_transaction_ = true;
    try {
      RunCommand("BEGIN IMMEDIATE");
    } catch (...) {
      try {
        Rollback();
      } catch (...) {
        Reset();
      }
      throw;
    }
  } else {
    // The duplicate and overlap checks read what the insert then relies on: under READ
    // COMMITTED another session could insert the same rule in between.
    SetIsolation(SQL_TXN_SERIALIZABLE);
    SetAutocommit(false);
  }
  in_transaction_ = true;
}

void OdbcDriver::Commit() {
  RequireOpen();
  if (!in_transaction_) throw DatabaseError("no transaction is open on this connection");
  // On failure the transaction stays open, so the caller can still roll it back, unless it
  // ended on the way: then nobody can tell whether the commit arrived.
  if (dialect_ == Dialect::kSqlite) {
    try {
      RunCommand("COMMIT");
    } catch (const DatabaseError& e) {
      // SQLite ends a transaction itself when its commit fails at the disk, possibly after
      // the change reached the file. The driver reports SQLite's primary codes only, so of
      // the disk's failures none can be told to come before that; no memory does.
      const SQLINTEGER code = report_.native;
      if (SqliteTransactionOpen()) throw;
      in_transaction_ = false;
      if (code == SQLITE_NOMEM) throw;
      throw CommitOutcomeUnknown(e.what());
    }
    in_transaction_ = false;
    return;
  }
  if (!SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_COMMIT))) {
    try {
      FailConnection("ODBC: commit failed");
    } catch (const DatabaseError& e) {
      if (!report_.link_lost) throw;
      in_transaction_ = false;
      throw CommitOutcomeUnknown(e.what());
    }
  }
  // The change is stored: what follows must not report otherwise. A session that stays in
  // manual-commit mode would hold every later statement in a transaction nobody ends.
  in_transaction_ = false;
  try {
    SetAutocommit(true);
    SetIsolation(default_isolation_);
  } catch (...) {
    Reset();
  }
}

void OdbcDriver::Rollback() {
  ReopenAfterReset();
  RequireOpen();
  if (!in_transaction_) throw DatabaseError("no transaction is open on this connection");
  // Switching autocommit back on commits whatever is pending, so after a failed rollback the
  // connection stays in manual mode: nothing half-written may be committed by a later call.
  if (dialect_ == Dialect::kSqlite) {
    try {
      RunCommand("ROLLBACK");
    } catch (const DatabaseError&) {
      // After an I/O error, a full disk or an OR ROLLBACK conflict SQLite has already rolled
      // back by itself: the transaction is over, and the caller's first error is the cause.
      if (SqliteTransactionOpen()) throw;
    }
    in_transaction_ = false;
    return;
  }
  if (!SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_ROLLBACK))) {
    try {
      FailConnection("ODBC: rollback failed");
    } catch (const DatabaseError&) {
      // A server discards the transaction of a session whose link is gone; the caller's first
      // error is the cause worth reporting.
      if (!report_.link_lost) throw;
      in_transaction_ = false;
      return;
    }
  }
  EndTransaction();
}

// Disconnecting ends the session's transaction on the server or in the SQLite file. A session
// still in manual-commit mode is rolled back first, as a driver may refuse to disconnect it.
void OdbcDriver::Reset() noexcept {
  if (!connected_ || !Disconnect()) return;  // still connected: nothing to do
  connected_ = false;
  ready_ = false;
  in_transaction_ = false;
  report_.link_lost = false;
  report_.failed = false;
  reopen_ = true;
  try {
    ReopenAfterReset();
  } catch (...) {  // the next use tries again
  }
}

void OdbcDriver::Close() {
  reopen_ = false;
  if (!connected_) return;
  connected_ = false;
  prepared_.clear();
  prepared_index_.clear();
  schema_probe_.Reset();
  if (report_.link_lost) {
    // Nothing more can reach the server: free the handles whatever the driver says.
    in_transaction_ = false;
    SQLDisconnect(dbc_.get());
    dbc_.Reset();
    env_.Reset();
    return;
  }
  if (in_transaction_) {
    in_transaction_ = false;
    if (dialect_ == Dialect::kSqlite) {
      try {
        RunCommand("ROLLBACK");
      } catch (const DatabaseError&) {  // closing the database rolls back anyway
      }
    } else {
      SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_ROLLBACK);
    }
  }
  SQLRETURN rc = SQLDisconnect(dbc_.get());
  if (SQL_SUCCEEDED(rc)) {
    dbc_.Reset();
    env_.Reset();
    return;
  }
  // A driver that refuses to disconnect keeps its handles; freeing them now would fail too.
  report_.Fail(SQL_HANDLE_DBC, dbc_.get(), "ODBC: disconnect failed");
}

std::string_view OdbcDriver::DialectName() const {
  switch (dialect_) {
    case Dialect::kSqlServer:
      return "mssql";
    case Dialect::kSqlite:
      return "sqlite";
    case Dialect::kOther:
      break;
  }
  return "";
}

bool OdbcDriver::HasTable(std::string_view name) {
  RequireOpen();
  Handle stmt(SQL_HANDLE_STMT, dbc_.get());
  std::string table(RequireNoNul(name, "table name"));
  // Every table type: a view serves the component as well as a table does.
  SQLRETURN rc =
      SQLTables(stmt.get(), nullptr, 0, nullptr, 0, reinterpret_cast<SQLCHAR*>(table.data()),
                static_cast<SQLSMALLINT>(table.size()), nullptr, 0);
  if (SQL_SUCCEEDED(rc)) rc = SQLFetch(stmt.get());
  if (rc == SQL_NO_DATA) return false;
  if (!SQL_SUCCEEDED(rc)) {
    report_.Fail(SQL_HANDLE_STMT, stmt.get(), "ODBC: cannot read the database's tables");
  }
  return true;
}

// After a failed statement (SQLite out of memory, or a failure of ours between executing and
// reading) the SQLite ODBC driver can go on giving broken or empty results, and even read
// freed memory when its prepared statement runs again: once the transaction is over, a
// session on it that saw a failure is connected afresh.
void OdbcDriver::ReopenAfterReset() {
  if (ready_ && report_.failed && dialect_ == Dialect::kSqlite && !in_transaction_) Reset();
  if (!reopen_) return;
  Connect(session_text_);
  reopen_ = false;  // Initialise runs statements of its own
  try {
    Initialise();
  } catch (...) {
    if (Disconnect()) {
      connected_ = false;
      reopen_ = true;
    } else {
      ready_ = true;  // a failed session: the next use resets it again
      report_.failed = true;
    }
    throw;
  }
  Ready();
}

// Ends the session: its prepared statements first, then the connection, rolling back a
// transaction the driver will not leave open. false when the driver keeps the connection.
bool OdbcDriver::Disconnect() noexcept {
  prepared_.clear();
  prepared_index_.clear();
  schema_probe_.Reset();
  sqlite_schema_ = -1;
  if (SQL_SUCCEEDED(SQLDisconnect(dbc_.get()))) return true;
  SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_ROLLBACK);
  return SQL_SUCCEEDED(SQLDisconnect(dbc_.get()));
}

// Failures while connecting are the connection's own, not signs of a damaged session.
void OdbcDriver::Ready() {
  report_.failed = false;
  ready_ = true;
}

void OdbcDriver::RequireOpen() const {
  if (!IsOpen()) throw DatabaseError("the connection is closed");
}

int OdbcDriver::LockTimeoutMs(std::string_view connection_text) {
  const std::string text = ConnectionTextValue(connection_text, kLockTimeoutKey);
  if (text.empty()) return kDefaultLockTimeoutMs;
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value <= 0) {
    throw DatabaseError(
        "LockTimeout= in the connection text must be a positive whole number of milliseconds");
  }
  return value;
}

// The bound in whole seconds, rounded up, times a factor.
SQLULEN OdbcDriver::WaitSeconds(int factor) const {
  return static_cast<SQLULEN>((report_.lock_timeout_ms + 999) / 1000) *
         static_cast<SQLULEN>(factor);
}

std::string OdbcDriver::InfoText(SQLUSMALLINT info) {
  std::u16string buffer(256, u'\0');
  SQLSMALLINT length = 0;
  if (!SQL_SUCCEEDED(SQLGetInfoW(dbc_.get(), info, Wide(buffer),
                                 static_cast<SQLSMALLINT>(buffer.size() * sizeof(char16_t)),
                                 &length))) {
    FailConnection("ODBC: cannot ask the driver what database it serves");
  }
  buffer.resize(std::min(buffer.size() - 1, static_cast<size_t>(length) / sizeof(char16_t)));
  return Utf16ToUtf8(buffer);
}

Dialect OdbcDriver::DetectDialect() {
  std::string dbms = Lower(InfoText(SQL_DBMS_NAME));
  if (dbms.find("sql server") != std::string::npos) return Dialect::kSqlServer;
  if (dbms.find("sqlite") != std::string::npos) return Dialect::kSqlite;
  return Dialect::kOther;
}

// Sends a text that a code page would change and keeps the first way that brings it back
// unchanged. Each character of the probe turns into harmless bytes if a driver manager keeps
// only the low byte, so the probe itself cannot break its statement.
void OdbcDriver::ChooseTextCalls() {
  static constexpr std::string_view kProbe = "\u4e2d\u02bc\uff07\u00e9\U0001F600";
  const std::string sql = std::string(dialect_ == Dialect::kSqlServer ? "select N'" : "select '") +
                          std::string(kProbe) + "' as v";
  std::string failures;
  for (TextCalls calls : {TextCalls::kWide, TextCalls::kNarrow}) {
    report_.calls = calls;
    try {
      std::shared_ptr<const ResultData> back = Query(sql);
      if (back->RowCount() == 1 && back->cells[0].type() == VarType::String &&
          VarToStr(back->cells[0]) == kProbe) {
        return;
      }
      failures += failures.empty() ? "" : "; ";
      failures += "came back changed";
    } catch (const DatabaseError& e) {
      failures += failures.empty() ? "" : "; ";
      failures += e.what();
    }
  }
  throw DatabaseError(
      "ODBC: text does not reach this database unchanged through either the wide or the UTF-8 "
      "calls, so statements could be altered on the way (" +
      failures + ")");
}

void OdbcDriver::Initialise() {
  if (dialect_ == Dialect::kSqlServer) {
    // Saving a rule trusts the update's row count; a session with NOCOUNT on reports none.
    RunCommand("SET NOCOUNT OFF");
    RunCommand("SET LOCK_TIMEOUT " + std::to_string(report_.lock_timeout_ms));
  } else if (dialect_ == Dialect::kSqlite) {
    // The SQLite ODBC driver reports success even when LoadExt failed; without the
    // extension every text comparison and convert would go wrong later, so fail now.
    std::shared_ptr<const ResultData> probe;
    try {
      probe = Query(
          "select tamsel_convert('int','1') as v, case when 'a' = 'A ' collate "
          "tamsel_text then 1 else 0 end as c");
    } catch (const DatabaseError& e) {
      throw DatabaseError(
          std::string("ODBC: the Tamsel SQLite extension is not loaded; add "
                      "LoadExt=<path of libtamsel_sqlite_ext.so> to the connection text (") +
          e.what() + ")");
    }
    if (probe->RowCount() != 1 || probe->cells.size() != 2 || VarToStr(probe->cells[0]) != "1" ||
        VarToStr(probe->cells[1]) != "1") {
      throw DatabaseError("ODBC: the Tamsel SQLite extension answered wrongly");
    }
  }
}

// SQLite's own transaction state, which the ODBC driver does not expose: BEGIN fails only
// inside a transaction, and an empty deferred one touches no file.
bool OdbcDriver::SqliteTransactionOpen() {
  try {
    RunCommand("BEGIN");
  } catch (const DatabaseError&) {
    return true;
  }
  RunCommand("ROLLBACK");
  return false;
}

// Back to autocommit and the connection's own isolation level once a transaction is over.
void OdbcDriver::EndTransaction() {
  in_transaction_ = false;
  SetAutocommit(true);
  SetIsolation(default_isolation_);
}

void OdbcDriver::SetIsolation(SQLULEN level) {
  if (level == 0) return;
  if (default_isolation_ == 0) {
    SQLULEN current = 0;
    if (SQL_SUCCEEDED(
            SQLGetConnectAttrW(dbc_.get(), SQL_ATTR_TXN_ISOLATION, &current, 0, nullptr))) {
      default_isolation_ = current;
    }
  }
  if (!SQL_SUCCEEDED(SQLSetConnectAttrW(dbc_.get(), SQL_ATTR_TXN_ISOLATION,
                                        reinterpret_cast<SQLPOINTER>(level), 0))) {
    FailConnection("ODBC: cannot set the transaction isolation level");
  }
}

void OdbcDriver::SetAutocommit(bool on) {
  auto value = static_cast<SQLULEN>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF);
  if (!SQL_SUCCEEDED(SQLSetConnectAttrW(dbc_.get(), SQL_ATTR_AUTOCOMMIT,
                                        reinterpret_cast<SQLPOINTER>(value), 0))) {
    FailConnection(on ? "ODBC: cannot end manual commit mode" : "ODBC: cannot begin a transaction");
  }
}

std::shared_ptr<Driver> OpenOdbcDriver(const std::string& connection_text) {
  return std::make_shared<OdbcDriver>(connection_text);
}

}  // namespace tamsel::detail
