// The ODBC driver's statements: running them, binding a prepared shape's values, row counts.

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/text.h"
#include "common/utf16.h"
#include "db/driver.h"
#include "db/odbc/odbc_api.h"
#include "db/odbc/odbc_driver.h"
#include "db/odbc/odbc_parameter.h"
#include "db/tsql_rewriter.h"
#include "tamsel/error.h"

namespace tamsel::detail {
namespace {

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
// Runs f; any failure marks the session (see ReopenAfterReset).
template <typename F>
auto MarkingFailure(bool& failed, F&& f) {
  try {
    return f();
  } catch (...) {
    failed = true;
    throw;
  }
}

}  // namespace

int32_t OdbcDriver::Execute(std::string_view sql) {
  ReopenAfterReset();
  return MarkingFailure(report_.failed, [&] { return ExecuteNow(sql); });
}

std::shared_ptr<const ResultData> OdbcDriver::Query(std::string_view sql) {
  ReopenAfterReset();
  return MarkingFailure(report_.failed, [&] { return QueryNow(sql); });
}

int32_t OdbcDriver::ExecuteNow(std::string_view sql) {
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

std::shared_ptr<const ResultData> OdbcDriver::QueryNow(std::string_view sql) {
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
void OdbcDriver::FollowSqliteSchema() {
  const int64_t version = SqliteSchemaVersion();
  if (version == sqlite_schema_) return;
  Run("select 1 from sqlite_master where 0");  // a statement on a table reloads the schema
  prepared_.clear();
  prepared_index_.clear();
  sqlite_schema_ = version;
}

std::shared_ptr<ResultData> OdbcDriver::QueryOnce(std::string_view sql) {
  std::optional<Executed> prepared = RunPrepared(sql);
  // Errors name the statement as the engine received it.
  const std::string text = prepared ? std::string(sql) : Translate(sql);
  Executed run = prepared ? std::move(*prepared) : Run(text);
  return FetchResult(run, text);
}

std::string OdbcDriver::Translate(std::string_view sql) const {
  RequireOpen();
  RequireNoNul(sql, "statement");
  return dialect_ == Dialect::kSqlite ? RewriteTsql(sql) : std::string(sql);
}

// Sets what every statement handle needs before it runs.
void OdbcDriver::PrepareHandle(SQLHSTMT h) {
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
std::optional<OdbcDriver::Executed> OdbcDriver::RunPrepared(std::string_view sql) {
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
        SQLBindParameter(h, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, p.c_type, p.sql_type,
                         p.size, p.digits, data, lengths[i], indicator);
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
SQLHSTMT OdbcDriver::PreparedHandle(const StatementShape& shape) {
  std::string key = ShapeKey(shape.text, shape.values);
  if (auto it = prepared_index_.find(key); it != prepared_index_.end()) {
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
  prepared_.push_front({std::move(key), std::move(stmt)});
  prepared_index_[prepared_.front().key] = prepared_.begin();
  return prepared_.front().stmt.get();
}

OdbcDriver::Executed OdbcDriver::Run(const std::string& text) {
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
int64_t OdbcDriver::SqliteSchemaVersion() {
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

int32_t OdbcDriver::RunCommand(const std::string& text) {
  Executed run = Run(text);
  return RowsChanged(run, text);
}

int32_t OdbcDriver::RowsChanged(Executed& run, std::string_view text) {
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
    case LiftedValue::Type::kNull:  // never lifted from a text: the statement keeps null
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

}  // namespace tamsel::detail
