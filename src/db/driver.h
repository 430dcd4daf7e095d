#pragma once

// The seam between Connection and a database engine.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/connection_text.h"
#include "db/tsql_rewriter.h"
#include "tamsel/error.h"
#include "tamsel/variant.h"

namespace tamsel {
class Connection;
class Recordset;
}  // namespace tamsel

namespace tamsel::detail {

// Every row of a query, read at once.
struct ResultData {
  std::vector<std::string> columns;
  std::vector<Variant> cells;  // row-major: row r, column c at r * columns.size() + c
  size_t RowCount() const { return columns.empty() ? 0 : cells.size() / columns.size(); }
};

// A commit that failed after the change may already have become durable (a failed sync, a
// failed unlock, a lost link): whether it is stored is unknown until the data is read again.
class CommitOutcomeUnknown : public DatabaseError {
 public:
  using DatabaseError::DatabaseError;
};

// One open database session. Statements arrive in the suite's T-SQL as the component built
// them; a driver rewrites them for its engine where needed. Failures throw DatabaseError.
class Driver {
 public:
  virtual ~Driver() = default;
  virtual int32_t Execute(std::string_view sql) = 0;  // rows changed
  // The same write with its shape already built (as QueryShaped): a driver that binds values
  // runs the shape; others run the text.
  virtual int32_t ExecuteShaped(std::string_view sql, const StatementShape& /*shape*/) {
    return Execute(sql);
  }
  virtual std::shared_ptr<const ResultData> Query(std::string_view sql) = 0;
  // The same query with its shape already built (LiftLiterals of sql, or its equal): a driver
  // that binds values runs the shape without reading the text again; others run the text.
  virtual std::shared_ptr<const ResultData> QueryShaped(std::string_view sql,
                                                        const StatementShape& /*shape*/) {
    return Query(sql);
  }
  virtual void Begin() = 0;
  // Throws CommitOutcomeUnknown when the engine ended the transaction without telling whether
  // it was stored; any other failure means nothing was stored, and Rollback ends what is left.
  virtual void Commit() = 0;
  virtual void Rollback() = 0;
  virtual bool InTransaction() const = 0;
  // Ends the session whatever its state, so the database drops its locks and undoes what was
  // not committed, and opens it again with the same connection text. When reopening fails, the
  // session stays open in name and the next use tries again.
  virtual void Reset() noexcept = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // The SQL the engine behind the session speaks: "sqlite" or "mssql"; "" for any other, whose
  // statements go through unchanged and for which no schema scripts exist.
  virtual std::string_view DialectName() const = 0;
  // Whether the database has a table or view of that name, asked of the catalog without a
  // statement of the component's own.
  virtual bool HasTable(std::string_view name) = 0;
};

// Opens the embedded SQLite database named by the connection text's Data Source.
std::shared_ptr<Driver> OpenSqliteDriver(const std::string& connection_text);
// Opens an ODBC connection (built only with TAMSEL_HAVE_ODBC).
std::shared_ptr<Driver> OpenOdbcDriver(const std::string& connection_text);

// Reports a statement to this thread's observers before it runs.
void NotifyStatementObservers(std::string_view sql);

// Connection::OpenRecordset and Execute for a shaped statement: observers see the text; the
// embedded driver binds the shape's values.
struct ConnectionAccess {
  static std::shared_ptr<Recordset> OpenShaped(Connection& conn, const ShapedSql& sql);
  TAMSEL_INTERNAL static int32_t ExecuteShaped(Connection& conn, const ShapedSql& sql);
};

}  // namespace tamsel::detail
