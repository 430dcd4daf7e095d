// The ODBC driver behind Connection: unixODBC's wide-character API, client-side results,
// transactions through the connection's autocommit switch.

#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>
#include <sqlucode.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/sql_text.h"
#include "common/text.h"
#include "common/utf16.h"
#include "db/connection_text.h"
#include "db/driver.h"
#include "db/odbc/odbc_parameter.h"
#include "db/tsql_rewriter.h"
#include "tamsel/error.h"
#include "tamsel/variant.h"

namespace tamsel::detail {
namespace {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "unixODBC must be built with 2-byte SQLWCHAR");

// Statements in error texts are cut to this many bytes.
constexpr size_t kStatementEcho = 300;

enum class Dialect { kSqlServer, kSqlite, kOther };

SQLWCHAR* Wide(std::u16string& text) { return reinterpret_cast<SQLWCHAR*>(text.data()); }

std::string Echo(std::string_view sql) {
  if (sql.size() <= kStatementEcho) return std::string(sql);
  return std::string(sql.substr(0, kStatementEcho)) + "...";
}

// Which calls carry text to and from the driver. Wide: UTF-16 through the W calls. Narrow: UTF-8
// bytes through the plain calls, for a driver that has no W calls and takes UTF-8 (the SQLite
// ODBC driver): the driver manager would otherwise squeeze UTF-16 into the process's code page.
enum class TextCalls { kWide, kNarrow };

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

// Turns a failed call into the DatabaseError thrown, "[SQLSTATE] text" per record joined with
// "; ". It remembers a lost link (SQLSTATE class 08), after which the connection is unusable.
class Reporter {
 public:
  Dialect dialect = Dialect::kOther;
  TextCalls calls = TextCalls::kWide;
  int lock_timeout_ms = 0;
  bool link_lost = false;
  SQLINTEGER native = 0;  // the engine's own code of the last failure's first record
  bool failed = false;    // a call failed since the session was connected

  [[noreturn]] void Fail(SQLSMALLINT type, SQLHANDLE handle, std::string_view what,
                         std::string_view sql = {}) {
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
};

// Owns one ODBC handle.
class Handle {
 public:
  Handle() = default;
  Handle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(type, parent, &handle_))) {
      handle_ = SQL_NULL_HANDLE;
      throw DatabaseError("ODBC: cannot allocate a handle");
    }
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& other) noexcept
      : type_(other.type_), handle_(std::exchange(other.handle_, nullptr)) {}
  Handle& operator=(Handle&& other) noexcept {
    std::swap(type_, other.type_);
    std::swap(handle_, other.handle_);
    return *this;
  }
  ~Handle() { Reset(); }
  void Reset() {
    if (handle_ != SQL_NULL_HANDLE) SQLFreeHandle(type_, std::exchange(handle_, nullptr));
  }
  SQLHANDLE get() const { return handle_; }
  SQLSMALLINT type() const { return type_; }

 private:
  SQLSMALLINT type_ = 0;
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

// How a column's values become Variants.
enum class Reader { kText, kBit, kByte, kShort, kWhole, kReal, kDouble, kExact, kDate, kBinary };

Reader ReaderFor(SQLSMALLINT sql_type, Dialect dialect) {
  switch (sql_type) {
    case SQL_BIT:
      // Also on SQLite, where only a column declared bit reports it: flags then arrive as on the
      // server, True and False.
      return Reader::kBit;
    case SQL_TINYINT:
      return dialect == Dialect::kSqlite ? Reader::kWhole : Reader::kByte;
    case SQL_SMALLINT:
      return dialect == Dialect::kSqlite ? Reader::kWhole : Reader::kShort;
    case SQL_INTEGER:
    case SQL_BIGINT:
      return Reader::kWhole;
    case SQL_REAL:
      return dialect == Dialect::kSqlite ? Reader::kDouble : Reader::kReal;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return Reader::kDouble;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return Reader::kExact;
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATE:
    case SQL_TIMESTAMP:
      // SQLite has no date type: what the driver calls a date is whatever text was stored.
      return dialect == Dialect::kSqlite ? Reader::kText : Reader::kDate;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return Reader::kBinary;
    default:
      return Reader::kText;
  }
}

struct Column {
  std::string name;
  Reader reader = Reader::kText;
  bool money = false;  // DECIMAL reported by the server as money: Currency
};

// Reads a character or binary column in pieces, so that long values are never cut.
// Returns false for Null.
//
// A piece need not fill the buffer: a driver may stop short of a character it will not split
// (a surrogate pair, a character converted from a code page) and put its terminator there. So
// a piece's length is what the driver reports: the bytes left before it minus the bytes left
// after it, or, for the last piece, its indicator. Only a driver that reports no totals is read
// up to the terminator it wrote.
template <typename Unit>
bool ReadChunked(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT c_type, size_t terminator,
                 Reporter& report, std::basic_string<Unit>& out) {
  Unit buffer[4096];
  const size_t room = sizeof(buffer) / sizeof(Unit) - terminator;
  out.clear();
  size_t piece_start = 0;
  SQLLEN left_before = SQL_NO_TOTAL;  // as reported with the previous piece
  for (;;) {
    SQLLEN indicator = 0;
    SQLRETURN rc = SQLGetData(stmt, column, c_type, buffer, sizeof(buffer), &indicator);
    if (rc == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(rc)) report.Fail(SQL_HANDLE_STMT, stmt, "ODBC: reading a column failed");
    if (indicator == SQL_NULL_DATA) return false;
    if (left_before != SQL_NO_TOTAL && indicator != SQL_NO_TOTAL && indicator <= left_before) {
      const size_t held = static_cast<size_t>(left_before - indicator) / sizeof(Unit);
      // A piece holds something: a driver that repeats the full length each time is not
      // believed.
      if (held > 0 && held < out.size() - piece_start) out.resize(piece_start + held);
    }
    piece_start = out.size();
    size_t units = room;
    if (rc == SQL_SUCCESS && indicator != SQL_NO_TOTAL) {
      units = std::min(room, static_cast<size_t>(indicator) / sizeof(Unit));
    } else if (indicator == SQL_NO_TOTAL && terminator > 0) {
      units = static_cast<size_t>(std::find(buffer, buffer + room, Unit{}) - buffer);
    }
    out.append(buffer, units);
    if (rc == SQL_SUCCESS) break;
    left_before = indicator;
  }
  return true;
}

Variant ReadCell(SQLHSTMT stmt, SQLUSMALLINT index, const Column& column, Reporter& report) {
  SQLLEN indicator = 0;
  auto get = [&](SQLSMALLINT c_type, void* target, SQLLEN size) {
    SQLRETURN rc = SQLGetData(stmt, index, c_type, target, size, &indicator);
    if (!SQL_SUCCEEDED(rc)) {
      report.Fail(SQL_HANDLE_STMT, stmt, "ODBC: reading column " + column.name + " failed");
    }
    return indicator != SQL_NULL_DATA;
  };
  switch (column.reader) {
    case Reader::kBit: {
      // As a number: SQLite keeps what a fixture stored in a column declared bit (2, -1), and
      // the server would have stored any number but 0 as 1.
      SQLBIGINT value = 0;
      return get(SQL_C_SBIGINT, &value, sizeof(value)) ? Variant(value != 0) : Variant::Null();
    }
    case Reader::kByte: {
      unsigned char value = 0;
      return get(SQL_C_UTINYINT, &value, sizeof(value)) ? Variant(uint8_t{value}) : Variant::Null();
    }
    case Reader::kShort: {
      SQLSMALLINT value = 0;
      return get(SQL_C_SSHORT, &value, sizeof(value)) ? Variant(int16_t{value}) : Variant::Null();
    }
    case Reader::kWhole: {
      SQLBIGINT value = 0;
      if (!get(SQL_C_SBIGINT, &value, sizeof(value))) return Variant::Null();
      // As the embedded driver: Long when it fits, else a Decimal; beyond 2^53 a double would
      // round, so the exact digits come back as text.
      if (value >= std::numeric_limits<int32_t>::min() &&
          value <= std::numeric_limits<int32_t>::max()) {
        return Variant(static_cast<int32_t>(value));
      }
      constexpr SQLBIGINT kExactInDouble = SQLBIGINT{1} << std::numeric_limits<double>::digits;
      if (value > kExactInDouble || value < -kExactInDouble) return Variant(IntText(value));
      return Variant::Decimal(static_cast<double>(value));
    }
    case Reader::kReal: {
      SQLREAL value = 0;
      return get(SQL_C_FLOAT, &value, sizeof(value)) ? Variant(float{value}) : Variant::Null();
    }
    case Reader::kDouble: {
      SQLDOUBLE value = 0;
      return get(SQL_C_DOUBLE, &value, sizeof(value)) ? Variant(double{value}) : Variant::Null();
    }
    case Reader::kDate: {
      SQL_TIMESTAMP_STRUCT value{};
      if (!get(SQL_C_TYPE_TIMESTAMP, &value, sizeof(value))) return Variant::Null();
      return Variant(Date::FromYmdHms(value.year, value.month, value.day, value.hour, value.minute,
                                      value.second));
    }
    case Reader::kBinary: {
      std::string bytes;
      if (!ReadChunked(stmt, index, SQL_C_BINARY, 0, report, bytes)) return Variant::Null();
      return Variant(HexText(bytes));
    }
    case Reader::kExact: {
      // Exact numbers come as text, so no driver rounding happens before the one conversion.
      std::u16string wide;
      if (!ReadChunked(stmt, index, SQL_C_WCHAR, 1, report, wide)) return Variant::Null();
      std::string text = Utf16ToUtf8(wide);
      // from_chars: the decimal point is '.' whatever the process locale says.
      double value = 0;
      const char* last = text.data() + text.size();
      const char* first = text.starts_with('+') ? text.data() + 1 : text.data();
      const auto [end, ec] = std::from_chars(first, last, value);
      if (text.empty() || ec != std::errc() || end != last || !std::isfinite(value)) {
        return Variant(std::move(text));
      }
      return column.money ? Variant::Currency(value) : Variant::Decimal(value);
    }
    case Reader::kText:
      break;
  }
  std::u16string wide;
  if (!ReadChunked(stmt, index, SQL_C_WCHAR, 1, report, wide)) return Variant::Null();
  return Variant(Utf16ToUtf8(wide));
}

// Splits a script for SQLite, which takes one statement per call; sqlite3_complete knows
// where a statement ends (literals, comments, trigger bodies).
std::vector<std::string> SplitSqliteScript(const std::string& script) {
  std::vector<std::string> out;
  auto keep = [&out](std::string piece) {
    if (Trim(piece).find_first_not_of(";\t\r\n ") != std::string::npos) {
      out.push_back(std::move(piece));
    }
  };
  size_t start = 0;
  for (size_t i = script.find(';'); i != std::string::npos; i = script.find(';', i + 1)) {
    std::string piece = script.substr(start, i + 1 - start);
    if (sqlite3_complete(piece.c_str())) {
      keep(std::move(piece));
      start = i + 1;
    }
  }
  keep(script.substr(start));
  return out;
}

class OdbcDriver final : public Driver {
 public:
  explicit OdbcDriver(const std::string& connection_text) {
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

  void Connect(const std::string& connection_text) {
    std::u16string text = Utf8ToUtf16(RequireNoNul(connection_text, "connection text"));
    SQLSMALLINT out_length = 0;
    SQLRETURN rc = SQLDriverConnectW(dbc_.get(), nullptr, Wide(text), SQL_NTS, nullptr, 0,
                                     &out_length, SQL_DRIVER_NOPROMPT);
    // The connection text may hold a password: it is never echoed.
    if (!SQL_SUCCEEDED(rc)) FailConnection("ODBC: cannot connect");
    connected_ = true;
  }

  ~OdbcDriver() override {
    try {
      Close();
    } catch (...) {  // a destructor has nobody to tell
    }
  }

  // Any failure marks the session: see ReopenAfterReset.
  int32_t Execute(std::string_view sql) override {
    ReopenAfterReset();
    try {
      return ExecuteNow(sql);
    } catch (...) {
      report_.failed = true;
      throw;
    }
  }

  std::shared_ptr<const ResultData> Query(std::string_view sql) override {
    ReopenAfterReset();
    try {
      return QueryNow(sql);
    } catch (...) {
      report_.failed = true;
      throw;
    }
  }

  int32_t ExecuteNow(std::string_view sql) {
    if (std::optional<Executed> run = RunPrepared(sql)) return RowsChanged(*run, sql);
    std::string text = Translate(sql);
    if (dialect_ != Dialect::kSqlite || text.find(';') == std::string::npos) {
      return RunCommand(text);
    }
    // As sqlite3_exec: every statement runs, the last one's count is reported.
    int32_t changed = 0;
    for (const std::string& statement : SplitSqliteScript(text)) changed = RunCommand(statement);
    return changed;
  }

  std::shared_ptr<const ResultData> QueryNow(std::string_view sql) {
    RequireNoNul(sql, "statement");
    // The server cannot be asked whether a text only reads, so the text itself is checked.
    RequireReadOnlyQuery(sql, dialect_ == Dialect::kSqlite);
    if (dialect_ != Dialect::kSqlite) return QueryOnce(sql);
    // Another connection may change the schema between the check and the rows: the query then
    // runs again, described anew.
    for (int attempt = 1;; ++attempt) {
      FollowSqliteSchema();
      std::shared_ptr<ResultData> result = QueryOnce(sql);
      if (SqliteSchemaVersion() == sqlite_schema_) return result;
      if (attempt == 3) {
        throw DatabaseError("ODBC: the database's tables kept changing while the query ran (" +
                            Echo(sql) + ")");
      }
    }
  }

  // The SQLite ODBC driver describes a statement's columns when it prepares it, from the schema
  // its connection last read, and keeps that description when SQLite recompiles the statement
  // for a schema that another connection changed: values would come back under the old
  // columns' names and types. So before a query a changed schema is read again, and the
  // statements prepared under the old one are dropped.
  void FollowSqliteSchema() {
    const int64_t version = SqliteSchemaVersion();
    if (version == sqlite_schema_) return;
    Run("select 1 from sqlite_master where 0");  // a statement on a table reloads the schema
    prepared_.clear();
    prepared_index_.clear();
    sqlite_schema_ = version;
  }

  std::shared_ptr<ResultData> QueryOnce(std::string_view sql) {
    std::optional<Executed> prepared = RunPrepared(sql);
    // Errors name the statement as the engine received it.
    const std::string text = prepared ? std::string(sql) : Translate(sql);
    Executed run = prepared ? std::move(*prepared) : Run(text);
    auto result = std::make_shared<ResultData>();
    if (run.no_data) return result;
    SQLHSTMT h = run.get();
    SQLSMALLINT count = 0;
    // A batch may report row counts before its result set.
    for (;;) {
      if (!SQL_SUCCEEDED(SQLNumResultCols(h, &count))) {
        FailStatement(h, "ODBC: query failed", text);
      }
      if (count > 0) break;
      SQLRETURN rc = SQLMoreResults(h);
      if (rc == SQL_NO_DATA) return result;
      if (!SQL_SUCCEEDED(rc)) FailStatement(h, "ODBC: query failed", text);
    }
    // Described after every execution, never kept with a prepared shape: the columns a shape
    // returns change with the tables behind it.
    std::vector<Column> columns = Describe(h, count, text);
    for (const Column& column : columns) result->columns.push_back(column.name);
    for (;;) {
      SQLRETURN rc = SQLFetch(h);
      if (rc == SQL_NO_DATA) break;
      if (!SQL_SUCCEEDED(rc)) FailStatement(h, "ODBC: reading a row failed", text);
      for (SQLSMALLINT c = 0; c < count; ++c) {
        result->cells.push_back(ReadCell(h, static_cast<SQLUSMALLINT>(c + 1), columns[c], report_));
      }
    }
    // Errors raised after the first result set (a later statement of a batch, a conversion in
    // a later row) must not be lost.
    for (SQLRETURN rc = SQLMoreResults(h); rc != SQL_NO_DATA; rc = SQLMoreResults(h)) {
      if (!SQL_SUCCEEDED(rc)) FailStatement(h, "ODBC: query failed", text);
    }
    return result;
  }

  void Begin() override {
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

  void Commit() override {
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

  void Rollback() override {
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

  // A lost link ends the transaction with the session.
  bool InTransaction() const override { return in_transaction_ && !report_.link_lost; }

  // Disconnecting ends the session's transaction on the server or in the SQLite file. A session
  // still in manual-commit mode is rolled back first, as a driver may refuse to disconnect it.
  void Reset() noexcept override {
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

  void Close() override {
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

  bool IsOpen() const override { return (connected_ && !report_.link_lost) || reopen_; }
  std::string_view DialectName() const override {
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

  bool HasTable(std::string_view name) override {
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

 private:
  // After a failed statement (SQLite out of memory, or a failure of ours between executing and
  // reading) the SQLite ODBC driver can go on giving broken or empty results, and even read
  // freed memory when its prepared statement runs again: once the transaction is over, a
  // session on it that saw a failure is connected afresh.
  void ReopenAfterReset() {
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
  bool Disconnect() noexcept {
    prepared_.clear();
    prepared_index_.clear();
    schema_probe_.Reset();
    sqlite_schema_ = -1;
    if (SQL_SUCCEEDED(SQLDisconnect(dbc_.get()))) return true;
    SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_ROLLBACK);
    return SQL_SUCCEEDED(SQLDisconnect(dbc_.get()));
  }

  // Failures while connecting are the connection's own, not signs of a damaged session.
  void Ready() {
    report_.failed = false;
    ready_ = true;
  }

  void RequireOpen() const {
    if (!IsOpen()) throw DatabaseError("the connection is closed");
  }

  // LockTimeout=<milliseconds> bounds every wait for another session's locks, as the embedded
  // driver's busy timeout does.
  static constexpr std::string_view kLockTimeoutKey = "LockTimeout";
  static constexpr int kDefaultLockTimeoutMs = 5000;
  // Logging in and a whole statement may take this many times the bound.
  static constexpr int kStatementTimeoutFactor = 6;

  static int LockTimeoutMs(std::string_view connection_text) {
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
  SQLULEN WaitSeconds(int factor) const {
    return static_cast<SQLULEN>((report_.lock_timeout_ms + 999) / 1000) *
           static_cast<SQLULEN>(factor);
  }

  std::string Translate(std::string_view sql) const {
    RequireOpen();
    RequireNoNul(sql, "statement");
    return dialect_ == Dialect::kSqlite ? RewriteTsql(sql) : std::string(sql);
  }

  std::string InfoText(SQLUSMALLINT info) {
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

  Dialect DetectDialect() {
    std::string dbms = Lower(InfoText(SQL_DBMS_NAME));
    if (dbms.find("sql server") != std::string::npos) return Dialect::kSqlServer;
    if (dbms.find("sqlite") != std::string::npos) return Dialect::kSqlite;
    return Dialect::kOther;
  }

  // Sends a text that a code page would change and keeps the first way that brings it back
  // unchanged. Each character of the probe turns into harmless bytes if a driver manager keeps
  // only the low byte, so the probe itself cannot break its statement.
  void ChooseTextCalls() {
    static constexpr std::string_view kProbe = "\u4e2d\u02bc\uff07\u00e9\U0001F600";
    const std::string sql =
        std::string(dialect_ == Dialect::kSqlServer ? "select N'" : "select '") +
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

  void Initialise() {
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
  bool SqliteTransactionOpen() {
    try {
      RunCommand("BEGIN");
    } catch (const DatabaseError&) {
      return true;
    }
    RunCommand("ROLLBACK");
    return false;
  }

  // Back to autocommit and the connection's own isolation level once a transaction is over.
  void EndTransaction() {
    in_transaction_ = false;
    SetAutocommit(true);
    SetIsolation(default_isolation_);
  }

  void SetIsolation(SQLULEN level) {
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

  void SetAutocommit(bool on) {
    auto value = static_cast<SQLULEN>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF);
    if (!SQL_SUCCEEDED(SQLSetConnectAttrW(dbc_.get(), SQL_ATTR_AUTOCOMMIT,
                                          reinterpret_cast<SQLPOINTER>(value), 0))) {
      FailConnection(on ? "ODBC: cannot end manual commit mode"
                        : "ODBC: cannot begin a transaction");
    }
  }

  // A statement while its results are read. A one-off handle is freed afterwards; a prepared
  // one from the cache is closed and its values unbound, ready for the next call.
  class Executed {
   public:
    Executed(Handle owned, bool no_data)
        : no_data(no_data), owned_(std::move(owned)), h_(owned_.get()) {}
    Executed(SQLHSTMT prepared, bool no_data) : no_data(no_data), h_(prepared) {}
    Executed(Executed&& other) noexcept
        : no_data(other.no_data),
          owned_(std::move(other.owned_)),
          h_(std::exchange(other.h_, nullptr)) {}
    Executed& operator=(Executed&&) = delete;
    ~Executed() {
      if (owned_.get() != SQL_NULL_HANDLE || h_ == SQL_NULL_HSTMT) return;
      SQLFreeStmt(h_, SQL_CLOSE);
      SQLFreeStmt(h_, SQL_RESET_PARAMS);
    }
    SQLHSTMT get() const { return h_; }
    bool no_data = false;  // an UPDATE or DELETE that touched nothing

   private:
    Handle owned_;
    SQLHSTMT h_ = SQL_NULL_HSTMT;
  };

  // Sets what every statement handle needs before it runs.
  void PrepareHandle(SQLHSTMT h) {
    // The component's statements hold no ODBC escape clauses; a literal that looks like one
    // must reach the server unchanged.
    SQLSetStmtAttrW(h, SQL_ATTR_NOSCAN, reinterpret_cast<SQLPOINTER>(SQL_NOSCAN_ON), 0);
    // A backstop for waits the lock bound does not cover; a statement may wait for several
    // locks in turn, so it gets a multiple of the bound (that SQLite driver ignores it).
    if (dialect_ != Dialect::kSqlite) {
      SQLSetStmtAttrW(h, SQL_ATTR_QUERY_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(WaitSeconds(kStatementTimeoutFactor)), 0);
    }
  }

  // Runs a single statement as its shape, prepared once per connection, with the literal values
  // bound as parameters; nothing when the statement has no values to lift or its shape cannot
  // be prepared (the full text then runs as before). A server caches one plan per shape this
  // way: its own parameterization leaves out statements with TOP, joins or grouping. Texts are
  // declared at a fixed length and numbers as written, so the same shape always brings the
  // same parameter types.
  std::optional<Executed> RunPrepared(std::string_view sql) {
    RequireOpen();
    RequireNoNul(sql, "statement");
    if (dialect_ == Dialect::kOther) return std::nullopt;
    const StatementShape shape = LiftLiterals(sql);
    if (shape.values.empty()) return std::nullopt;
    SQLHSTMT h = PreparedHandle(shape);
    if (h == SQL_NULL_HSTMT) return std::nullopt;
    Executed run(h, false);
    const std::string echo(sql);
    const size_t n = shape.values.size();
    std::vector<OdbcParameter> params(n);
    std::vector<std::u16string> wide(n);
    std::vector<int64_t> integers(n);
    std::vector<double> reals(n);
    std::vector<SQLLEN> lengths(n, 0);
    for (size_t i = 0; i < n; ++i) {
      const LiftedValue& v = shape.values[i];
      OdbcParameter& p = params[i];
      p = OdbcParameterFor(v, dialect_ == Dialect::kSqlServer, report_.calls == TextCalls::kWide);
      SQLPOINTER data = nullptr;
      SQLLEN* indicator = nullptr;  // numbers need none
      if (p.c_type == SQL_C_SBIGINT) {
        integers[i] = v.integer;
        data = &integers[i];
      } else if (p.c_type == SQL_C_DOUBLE) {
        reals[i] = v.real;
        data = &reals[i];
      } else if (p.c_type == SQL_C_WCHAR) {
        wide[i] = Utf8ToUtf16(p.text);
        data = Wide(wide[i]);
        lengths[i] = static_cast<SQLLEN>(wide[i].size() * sizeof(char16_t));
        indicator = &lengths[i];
      } else {
        Utf8ToUtf16(p.text);  // refuses malformed UTF-8, as the wide calls do
        data = p.text.data();
        lengths[i] = static_cast<SQLLEN>(p.text.size());
        indicator = &lengths[i];
      }
      const SQLRETURN rc =
          SQLBindParameter(h, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, p.c_type,
                           p.sql_type, p.size, p.digits, data, lengths[i], indicator);
      if (!SQL_SUCCEEDED(rc)) FailStatement(h, "ODBC: cannot bind a statement's value", echo);
    }
    const SQLRETURN rc = SQLExecute(h);
    if (rc != SQL_NO_DATA && !SQL_SUCCEEDED(rc)) {
      FailStatement(h, "ODBC: statement failed", echo);
    }
    run.no_data = rc == SQL_NO_DATA;
    return run;
  }

  // The connection's prepared handle for a shape; SQL_NULL_HSTMT when the driver will not
  // prepare it with markers.
  SQLHSTMT PreparedHandle(const StatementShape& shape) {
    if (auto it = prepared_index_.find(shape.key); it != prepared_index_.end()) {
      prepared_.splice(prepared_.begin(), prepared_, it->second);
      return it->second->stmt.get();
    }
    // The rewrite to SQLite's dialect runs once per shape.
    const std::string text = dialect_ == Dialect::kSqlite ? RewriteTsql(shape.text) : shape.text;
    Handle stmt(SQL_HANDLE_STMT, dbc_.get());
    PrepareHandle(stmt.get());
    SQLRETURN rc;
    std::u16string wide = Utf8ToUtf16(text);  // also refuses malformed UTF-8 in narrow mode
    if (report_.calls == TextCalls::kWide) {
      rc = SQLPrepareW(stmt.get(), Wide(wide), static_cast<SQLINTEGER>(wide.size()));
    } else {
      std::string narrow = text;
      rc = SQLPrepare(stmt.get(), reinterpret_cast<SQLCHAR*>(narrow.data()),
                      static_cast<SQLINTEGER>(narrow.size()));
    }
    SQLSMALLINT markers = 0;
    if (!SQL_SUCCEEDED(rc) || !SQL_SUCCEEDED(SQLNumParams(stmt.get(), &markers)) ||
        static_cast<size_t>(markers) != shape.values.size()) {
      return SQL_NULL_HSTMT;
    }
    if (prepared_.size() >= kPreparedCacheSize) {
      prepared_index_.erase(prepared_.back().key);
      prepared_.pop_back();
    }
    prepared_.push_front({shape.key, std::move(stmt)});
    prepared_index_[prepared_.front().key] = prepared_.begin();
    return prepared_.front().stmt.get();
  }

  Executed Run(const std::string& text) {
    std::u16string wide = Utf8ToUtf16(text);  // also refuses malformed UTF-8 in narrow mode
    Handle stmt(SQL_HANDLE_STMT, dbc_.get());
    PrepareHandle(stmt.get());
    SQLRETURN rc;
    if (report_.calls == TextCalls::kWide) {
      rc = SQLExecDirectW(stmt.get(), Wide(wide), static_cast<SQLINTEGER>(wide.size()));
    } else {
      std::string narrow = text;
      rc = SQLExecDirect(stmt.get(), reinterpret_cast<SQLCHAR*>(narrow.data()),
                         static_cast<SQLINTEGER>(narrow.size()));
    }
    if (rc != SQL_NO_DATA && !SQL_SUCCEEDED(rc)) {
      FailStatement(stmt.get(), "ODBC: statement failed", text);
    }
    return Executed(std::move(stmt), rc == SQL_NO_DATA);
  }

  // SQLite's count of schema changes, which every CREATE, ALTER or DROP by any connection moves
  // on. Asked before and after every query, so its statement is prepared once.
  int64_t SqliteSchemaVersion() {
    static constexpr std::string_view kSql = "PRAGMA schema_version";
    if (schema_probe_.get() == SQL_NULL_HANDLE) {
      Handle probe(SQL_HANDLE_STMT, dbc_.get());
      std::string text(kSql);
      if (!SQL_SUCCEEDED(SQLPrepare(probe.get(), reinterpret_cast<SQLCHAR*>(text.data()),
                                    static_cast<SQLINTEGER>(text.size())))) {
        FailStatement(probe.get(), "ODBC: cannot read the database's schema version", kSql);
      }
      schema_probe_ = std::move(probe);
    }
    SQLHSTMT h = schema_probe_.get();
    SQLFreeStmt(h, SQL_CLOSE);  // a failed read may have left it open
    SQLBIGINT version = 0;
    SQLLEN indicator = 0;
    const bool read =
        SQL_SUCCEEDED(SQLExecute(h)) && SQL_SUCCEEDED(SQLFetch(h)) &&
        SQL_SUCCEEDED(SQLGetData(h, 1, SQL_C_SBIGINT, &version, sizeof(version), &indicator)) &&
        indicator != SQL_NULL_DATA;
    if (!read) FailStatement(h, "ODBC: cannot read the database's schema version", kSql);
    SQLFreeStmt(h, SQL_CLOSE);
    return version;
  }

  int32_t RunCommand(const std::string& text) {
    Executed run = Run(text);
    return RowsChanged(run, text);
  }

  int32_t RowsChanged(Executed& run, std::string_view text) {
    if (run.no_data) return 0;
    SQLHSTMT h = run.get();
    int counts = 0;
    SQLLEN rows = 0;
    for (;;) {
      SQLSMALLINT columns = 0;
      SQLNumResultCols(h, &columns);
      if (columns == 0) {
        SQLLEN here = -1;
        if (SQL_SUCCEEDED(SQLRowCount(h, &here)) && here >= 0) {
          rows = here;
          ++counts;
        }
      }
      SQLRETURN rc = SQLMoreResults(h);
      if (rc == SQL_NO_DATA) break;
      if (!SQL_SUCCEEDED(rc)) FailStatement(h, "ODBC: statement failed", text);
    }
    // A trigger without SET NOCOUNT ON adds counts of its own; taking any of them could let a
    // stale update pass as one changed row, so such a statement is refused.
    if (counts > 1) {
      throw DatabaseError(
          "ODBC: the statement reported " + std::to_string(counts) +
          " row counts, so its own cannot be told apart (does a trigger lack SET NOCOUNT ON?) "
          "(statement: " +
          Echo(text) + ")");
    }
    // No count at all (NOCOUNT, DDL) reads as nothing changed, never as success.
    return static_cast<int32_t>(std::min<SQLLEN>(rows, std::numeric_limits<int32_t>::max()));
  }

  std::vector<Column> Describe(SQLHSTMT h, SQLSMALLINT count, const std::string& text) {
    std::vector<Column> columns(static_cast<size_t>(count));
    for (SQLSMALLINT c = 0; c < count; ++c) {
      auto index = static_cast<SQLUSMALLINT>(c + 1);
      SQLSMALLINT sql_type = 0;
      Column& column = columns[static_cast<size_t>(c)];
      column.name = report_.calls == TextCalls::kWide ? DescribeWide(h, index, sql_type, text)
                                                      : DescribeNarrow(h, index, sql_type, text);
      column.reader = ReaderFor(sql_type, dialect_);
      if (column.reader == Reader::kExact && dialect_ == Dialect::kSqlServer) {
        column.money = Lower(TypeName(h, index)).find("money") != std::string::npos;
      }
    }
    return columns;
  }

  std::string DescribeWide(SQLHSTMT h, SQLUSMALLINT index, SQLSMALLINT& sql_type,
                           const std::string& text) {
    std::u16string name(256, u'\0');
    SQLSMALLINT name_length = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (!SQL_SUCCEEDED(SQLDescribeColW(h, index, Wide(name),
                                         static_cast<SQLSMALLINT>(name.size()), &name_length,
                                         &sql_type, &size, &digits, &nullable))) {
        FailStatement(h, "ODBC: cannot describe a column", text);
      }
      if (name_length < static_cast<SQLSMALLINT>(name.size())) break;
      name.assign(static_cast<size_t>(name_length) + 1, u'\0');
    }
    name.resize(std::min(static_cast<size_t>(name_length), name.size() - 1));
    return Utf16ToUtf8(name);
  }

  std::string DescribeNarrow(SQLHSTMT h, SQLUSMALLINT index, SQLSMALLINT& sql_type,
                             const std::string& text) {
    std::string name(512, '\0');
    SQLSMALLINT name_length = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (!SQL_SUCCEEDED(SQLDescribeCol(h, index, reinterpret_cast<SQLCHAR*>(name.data()),
                                        static_cast<SQLSMALLINT>(name.size()), &name_length,
                                        &sql_type, &size, &digits, &nullable))) {
        FailStatement(h, "ODBC: cannot describe a column", text);
      }
      if (name_length < static_cast<SQLSMALLINT>(name.size())) break;
      name.assign(static_cast<size_t>(name_length) + 1, '\0');
    }
    name.resize(std::min(static_cast<size_t>(name_length), name.size() - 1));
    return name;
  }

  [[noreturn]] void FailStatement(SQLHSTMT h, std::string_view what, std::string_view sql) {
    report_.Fail(SQL_HANDLE_STMT, h, what, sql);
  }

  [[noreturn]] void FailConnection(std::string_view what) {
    report_.Fail(SQL_HANDLE_DBC, dbc_.get(), what);
  }

  static std::string TypeName(SQLHSTMT h, SQLUSMALLINT index) {
    std::u16string buffer(128, u'\0');
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLColAttributeW(h, index, SQL_DESC_TYPE_NAME, Wide(buffer),
                                        static_cast<SQLSMALLINT>(buffer.size() * 2), &length,
                                        nullptr))) {
      return {};
    }
    buffer.resize(std::min(buffer.size() - 1, static_cast<size_t>(length) / 2));
    return Utf16ToUtf8(buffer);
  }

  struct PreparedStmt {
    std::string key;
    Handle stmt;
  };
  static constexpr size_t kPreparedCacheSize = 64;

  Handle env_;
  Handle dbc_;
  std::list<PreparedStmt> prepared_;  // most recently used first; freed before disconnecting
  std::unordered_map<std::string, std::list<PreparedStmt>::iterator> prepared_index_;
  Handle schema_probe_;         // PRAGMA schema_version, prepared (SQLite only)
  int64_t sqlite_schema_ = -1;  // the SQLite schema version that prepared_ was filled under
  Dialect dialect_ = Dialect::kOther;
  Reporter report_;
  std::string session_text_;  // as connected, for a reset to connect again
  bool connected_ = false;
  bool reopen_ = false;  // reset, and connecting again failed: the next use tries again
  bool ready_ = false;   // connected and initialised
  bool in_transaction_ = false;
  SQLULEN default_isolation_ = 0;  // read when a transaction first changes it
};

}  // namespace

OdbcParameter OdbcParameterFor(const LiftedValue& value, bool exact_numbers, bool wide) {
  OdbcParameter p;
  switch (value.type) {
    case LiftedValue::Type::kInteger:
      p.c_type = SQL_C_SBIGINT;
      p.sql_type = SQL_BIGINT;
      break;
    case LiftedValue::Type::kReal:
      if (exact_numbers && value.precision > 0) {
        // T-SQL reads 2.5 as numeric(2,1); as a float it would compare with money and decimal
        // columns other than written. Its digits go as text, so nothing rounds them on the way.
        p.c_type = SQL_C_CHAR;
        p.sql_type = SQL_NUMERIC;
        p.size = value.precision;
        p.digits = value.scale;
        p.text = value.text;
      } else {
        p.c_type = SQL_C_DOUBLE;
        p.sql_type = SQL_DOUBLE;
      }
      break;
    case LiftedValue::Type::kText:
    case LiftedValue::Type::kNationalText: {
      // N'..' stays nvarchar and '..' varchar: a varchar column compared with an nvarchar value
      // would be converted row by row instead of sought in its index.
      const bool national = value.type == LiftedValue::Type::kNationalText;
      p.c_type = wide ? SQL_C_WCHAR : SQL_C_CHAR;
      p.sql_type = national ? SQL_WVARCHAR : SQL_VARCHAR;
      p.size = national ? kLiftedTextMax : 2 * kLiftedTextMax;
      p.text = value.text;
      break;
    }
  }
  return p;
}

std::shared_ptr<Driver> OpenOdbcDriver(const std::string& connection_text) {
  return std::make_shared<OdbcDriver>(connection_text);
}

}  // namespace tamsel::detail
