#include <memory>
#include <string>
#include <string_view>

#include "common/text.h"
#include "db/driver.h"
#include "tamsel/error.h"
#include "tamsel/services.h"

namespace tamsel {

namespace {

std::shared_ptr<detail::Driver> OpenDriver(const std::string& connection_text) {
  if (detail::EqualsNoCase(detail::ConnectionTextValue(connection_text, "Provider"), "SQLite"))
    return detail::OpenSqliteDriver(connection_text);
#ifdef TAMSEL_HAVE_ODBC
  return detail::OpenOdbcDriver(connection_text);
#else
  throw DatabaseError("ODBC driver not built: only Provider=SQLite connections are available");
#endif
}

}  // namespace

Connection::Connection() = default;

Connection::~Connection() {
  try {
    Close();
  } catch (...) {  // a destructor must not throw; the database rolls back on its own
  }
}

Connection::Connection(Connection&&) noexcept = default;

Connection& Connection::operator=(Connection&& other) noexcept {
  if (this != &other) {
    try {
      Close();
    } catch (...) {
    }
    connection_string_ = std::move(other.connection_string_);
    driver_ = std::move(other.driver_);
  }
  return *this;
}

void Connection::Open(const std::string& connectionString, const std::string&, const std::string&,
                      int32_t) {
  Close();
  try {
    driver_ = OpenDriver(connectionString);
  } catch (const DatabaseError& e) {
    // A driver may echo what it was given: no password reaches a message.
    throw DatabaseError(detail::RedactSecrets(e.what(), connectionString));
  }
  connection_string_ = connectionString;
}

std::string Connection::ConnectionString() const { return connection_string_; }

namespace {
detail::Driver& OpenOrThrow(const std::shared_ptr<detail::Driver>& driver) {
  if (!driver || !driver->IsOpen()) throw DatabaseError("the connection is closed");
  return *driver;
}
}  // namespace

int32_t Connection::Execute(std::string_view sql, int32_t) {
  detail::Driver& driver = OpenOrThrow(driver_);
  detail::NotifyStatementObservers(sql);
  return driver.Execute(sql);
}

bool Connection::HasTable(std::string_view name) const {
  return OpenOrThrow(driver_).HasTable(name);
}

std::shared_ptr<Recordset> Connection::OpenRecordset(std::string_view sql, int32_t, int32_t,
                                                     int32_t) {
  detail::Driver& driver = OpenOrThrow(driver_);
  detail::NotifyStatementObservers(sql);
  return std::make_shared<Recordset>(driver.Query(sql), driver_);
}

std::shared_ptr<Recordset> detail::ConnectionAccess::OpenShaped(Connection& conn,
                                                                const ShapedSql& sql) {
  detail::Driver& driver = OpenOrThrow(conn.driver_);
  detail::NotifyStatementObservers(sql.text);
  return std::make_shared<Recordset>(driver.QueryShaped(sql.text, sql.shape), conn.driver_);
}

std::shared_ptr<detail::Driver> detail::ConnectionAccess::BeginRead(Connection& conn) {
  detail::Driver& driver = OpenOrThrow(conn.driver_);
  return driver.BeginRead() ? conn.driver_ : nullptr;
}

int32_t detail::ConnectionAccess::ExecuteShaped(Connection& conn, const ShapedSql& sql) {
  detail::Driver& driver = OpenOrThrow(conn.driver_);
  detail::NotifyStatementObservers(sql.text);
  return driver.ExecuteShaped(sql.text, sql.shape);
}

void Connection::BeginTrans() { OpenOrThrow(driver_).Begin(); }

void Connection::CommitTrans() {
  detail::Driver& driver = OpenOrThrow(driver_);
  try {
    driver.Commit();
  } catch (const detail::CommitOutcomeUnknown&) {
    // The session may hold a view of the file that no longer matches it: the next statement
    // must see what really is stored.
    driver.Reset();
    throw;
  }
}

// A transaction must never outlive a failed rollback: its locks would stall every other writer.
// A rollback that fails twice (memory or I/O exhausted) ends with the session instead; the
// failure is still reported.
void Connection::RollbackTrans() {
  detail::Driver& driver = OpenOrThrow(driver_);
  try {
    driver.Rollback();
    return;
  } catch (...) {
    if (!driver.InTransaction()) throw;
  }
  try {
    driver.Rollback();
  } catch (...) {
    if (driver.InTransaction()) driver.Reset();
    throw;
  }
}

bool Connection::InTransaction() const { return driver_ && driver_->InTransaction(); }

std::string Connection::Dialect() const {
  return driver_ && driver_->IsOpen() ? std::string(driver_->DialectName()) : std::string();
}

int32_t Connection::State() const { return driver_ && driver_->IsOpen() ? 1 : 0; }

void Connection::Close() {
  if (!driver_) return;
  // Result sets may still hold the driver; closing it here ends the session for them too, while
  // their rows, read in full, stay readable.
  auto driver = std::move(driver_);
  driver->Close();
}

TransactionGuard::TransactionGuard(Connection& conn) : conn_(conn) { conn_.BeginTrans(); }

TransactionGuard::~TransactionGuard() {
  if (done_) return;
  try {
    conn_.RollbackTrans();
  } catch (...) {  // the connection may already be gone; nothing is left to undo then
  }
}

void TransactionGuard::Commit() {
  if (done_) throw DatabaseError("the transaction has already ended");
  conn_.CommitTrans();  // a failed commit leaves the transaction for the destructor to undo
  done_ = true;
}

void TransactionGuard::Rollback() {
  if (done_) throw DatabaseError("the transaction has already ended");
  done_ = true;
  conn_.RollbackTrans();
}

}  // namespace tamsel
