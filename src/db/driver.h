#pragma once

// The seam between Connection and a database engine.

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/internal_api.h"
#include "db/connection_text.h"
#include "db/tsql_rewriter.h"
#include "tamsel/error.h"
#include "tamsel/variant.h"

namespace tamsel {
class Connection;
class Recordset;
}  // namespace tamsel

namespace tamsel::detail {

// A result's column names. A driver that keeps compiled statements hands each of its results
// the statement's one object, so a caller looking columns up by name pays for the matching once
// per statement rather than once per call.
class ResultColumns {
 public:
  ResultColumns() = default;
  explicit ResultColumns(std::vector<std::string> names) : names_(std::move(names)) {}
  const std::vector<std::string>& names() const { return names_; }
  size_t size() const { return names_.size(); }

  // Positions of the wanted names (letter case ignored, -1 when absent; of two columns with one
  // name the first), remembered for the last few lists asked for.
  void Find(std::span<const std::string_view> wanted, std::span<int32_t> at) const;

 private:
  struct Found {
    std::vector<std::string> wanted;
    std::vector<int32_t> at;
  };
  std::vector<std::string> names_;
  mutable std::mutex mutex_;  // results of one statement may be read on several threads
  mutable std::vector<Found> found_;
};

// The columns of a result that has none.
TAMSEL_INTERNAL const std::shared_ptr<const ResultColumns>& NoColumns();

// Every row of a query, read at once.
struct ResultData {
  std::shared_ptr<const ResultColumns> columns = NoColumns();
  std::vector<Variant> cells;  // row-major: row r, column c at r * Width() + c
  size_t Width() const { return columns->size(); }
  size_t RowCount() const { return Width() == 0 ? 0 : cells.size() / Width(); }
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
  // Reads of several statements that must see one state of the data. A driver whose engine
  // gives each statement outside a transaction a snapshot of its own opens one for them and
  // answers true; EndRead then ends it. Inside a transaction, and for other drivers, nothing.
  virtual bool BeginRead() { return false; }
  virtual void EndRead() noexcept {}
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
  static std::shared_ptr<Driver> BeginRead(Connection& conn);  // the driver when it began one
};

// The statements run while it lives read one state of the data (see Driver::BeginRead).
class ReadTogether {
 public:
  explicit ReadTogether(Connection& conn) : driver_(ConnectionAccess::BeginRead(conn)) {}
  ~ReadTogether() {
    if (driver_) driver_->EndRead();
  }
  ReadTogether(const ReadTogether&) = delete;
  ReadTogether& operator=(const ReadTogether&) = delete;

 private:
  std::shared_ptr<Driver> driver_;
};

}  // namespace tamsel::detail
