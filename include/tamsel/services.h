#pragma once

// What the component needs of its surroundings: the database connection and its result sets,
// and the suite's login, system-information and row-authorisation objects, with simple
// stand-ins for them.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tamsel/export.h"
#include "tamsel/variant.h"

namespace tamsel {

namespace detail {
class Driver;
struct ResultData;
struct ConnectionAccess;
}  // namespace detail

// Rows of named fields, all read when the query ran (client-side). A result set keeps the
// connection's driver alive, so it stays readable after the Connection object is gone.
class TAMSEL_API Recordset {
 public:
  Recordset();  // closed, no rows
  explicit Recordset(std::shared_ptr<const detail::ResultData> data,
                     std::shared_ptr<void> keep_alive = nullptr);
  Recordset(const Recordset&) = delete;
  Recordset& operator=(const Recordset&) = delete;
  Recordset(Recordset&&) noexcept;
  Recordset& operator=(Recordset&&) noexcept;
  ~Recordset();

  // At the end: no row, or moved past the last one.
  bool Eof() const;
  // Before the first row; true together with Eof on an empty result.
  bool Bof() const;
  // The current row's value of a column, letter case ignored. Unknown name, or no current row:
  // throws DatabaseError.
  Variant Fields(std::string_view name) const;
  // Whether the result has that column, letter case ignored.
  bool HasField(std::string_view name) const;
  // The current row's value of a column without a copy, or null when there is no such column;
  // no current row throws DatabaseError. Valid until the result set moves or closes.
  const Variant* FieldValue(std::string_view name) const;
  // The current row's values in column order (FieldCount of them), for reading whole rows
  // without a look-up by name per cell; no current row throws DatabaseError. Valid until the
  // result set moves or closes.
  const Variant* RowValues() const;
  // Positions (0-based) of several columns at once, letter case ignored, -1 for a name the
  // result lacks; positions holds one entry per name. One pass over the result's columns,
  // cheapest when the names come in about the result's order.
  void FieldIndexes(std::span<const std::string_view> names, std::span<int32_t> positions) const;
  // FieldValue by position: null when out of range; no current row throws DatabaseError.
  const Variant* FieldValueAt(int32_t i) const;
  int32_t FieldCount() const;
  // Name of column i (0-based); out of range throws DatabaseError.
  std::string FieldName(int32_t i) const;
  // Rows visible under the current filter.
  int32_t RecordCount() const;
  void MoveNext();  // at the end: throws DatabaseError
  void MoveFirst();
  // Keeps only the rows that meet the condition and moves to the first of them; "" shows every
  // row again. The condition compares columns with literals: name op value, op one of
  // = <> != < <= > >= and LIKE, value a 'quoted text' (quotes doubled inside), a number or
  // NULL (with IS [NOT] NULL), joined with AND / OR and grouped with parentheses. Texts compare
  // ignoring letter case and trailing blanks, as the database does. A condition that does not
  // parse or names an unknown column throws DatabaseError and leaves the filter as it was.
  void Filter(std::string_view condition);
  // Drops the rows; afterwards the result set is closed and Eof.
  void Close();
  bool IsOpen() const;

 private:
  std::shared_ptr<const detail::ResultData> data_;
  std::shared_ptr<void> keep_alive_;
  std::vector<int32_t> visible_;  // row numbers under the filter
  bool filtered_ = false;
  int32_t position_ = 0;
  bool open_ = false;
};

// One database connection. Open chooses the driver from the connection text:
//   "Provider=SQLite;Data Source=PATH" is the embedded SQLite database (PATH may be a file:
//   URI such as file:name?mode=memory&cache=shared); any other text goes to ODBC where that
//   driver is built. Every failure throws DatabaseError with the database's text.
//   The embedded driver opens only a file that exists; "Mode=ReadWriteCreate" in the text makes
//   a missing one (for installing the schema), "Mode=ReadWrite" is the default.
// Connections are movable, not copyable; destroying one closes it.
// Threads: a connection and its result sets are used by one thread at a time; connections on
// different threads may share a database.
class TAMSEL_API Connection {
 public:
  Connection();
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  Connection(Connection&&) noexcept;
  Connection& operator=(Connection&&) noexcept;

  // Opens the database; an open connection is closed first. user, password and options are
  // accepted for the suite's calling convention; the embedded driver ignores them.
  void Open(const std::string& connectionString, const std::string& user = "",
            const std::string& password = "", int32_t options = -1);
  // The text the connection was opened with ("" before Open).
  std::string ConnectionString() const;
  // Runs an INSERT, UPDATE, DELETE or DDL statement; returns the rows it changed.
  int32_t Execute(std::string_view sql, int32_t options = -1);
  // Runs a query and reads all its rows. cursorType, lockType and options follow the suite's
  // calling convention; every result set is client-side and read-only.
  std::shared_ptr<Recordset> OpenRecordset(std::string_view sql, int32_t cursorType = 0,
                                           int32_t lockType = 1, int32_t options = -1);
  // One transaction at a time: beginning a second one throws DatabaseError.
  void BeginTrans();
  void CommitTrans();
  void RollbackTrans();
  bool InTransaction() const;
  // 0 closed, 1 open.
  int32_t State() const;
  // The SQL dialect of the database behind the open connection: "sqlite" (the embedded driver,
  // or SQLite reached through ODBC) or "mssql" (SQL Server through ODBC); "" when the connection
  // is closed or ODBC reaches some other database.
  std::string Dialect() const;
  // Whether the database has a table or view of that name (as the database compares names),
  // read from its catalog; no statement is reported to observers. Throws DatabaseError when the
  // connection is closed or the catalog cannot be read (a file that is no database).
  bool HasTable(std::string_view name) const;
  // Closes the connection; a transaction still open is rolled back. Closing a closed
  // connection does nothing.
  void Close();

 private:
  friend struct detail::ConnectionAccess;
  std::string connection_string_;
  std::shared_ptr<detail::Driver> driver_;
};

// Rolls back in its destructor unless Commit was called.
class TAMSEL_API TransactionGuard {
 public:
  explicit TransactionGuard(Connection& conn);  // begins the transaction
  ~TransactionGuard();
  TransactionGuard(const TransactionGuard&) = delete;
  TransactionGuard& operator=(const TransactionGuard&) = delete;
  void Commit();
  // Rolls back now; a failure of the rollback throws.
  void Rollback();

 private:
  Connection& conn_;
  bool done_ = false;
};

// While an observer lives, every statement and query run on any connection of this thread is
// reported to it with the exact text the component built, before any rewriting. Observers
// nest; every live observer of the thread is told, oldest first.
class TAMSEL_API ScopedStatementObserver {
 public:
  explicit ScopedStatementObserver(std::function<void(std::string_view)> observer);
  ~ScopedStatementObserver();
  ScopedStatementObserver(const ScopedStatementObserver&) = delete;
  ScopedStatementObserver& operator=(const ScopedStatementObserver&) = delete;

 private:
  std::function<void(std::string_view)> observer_;
};

// For hosts, optional: switches SQLite's process-wide memory statistics off. With them on, every
// allocation takes one mutex for the whole process, so readers on separate connections take
// turns instead of running side by side. The library never changes SQLite's global
// configuration itself: that belongs to the process. SQLite accepts this only before it is first
// initialised and while no other thread uses it, so call it first thing in main(), before any
// thread starts. false when SQLite refused (already initialised): its settings stay as they were.
TAMSEL_API bool ConfigureSqliteForConcurrentReaders();

// Creates the suite's tables, views and indexes in an empty database, all or nothing (inside the
// caller's transaction when one is open, else in one of its own). On an embedded database that
// already has them it throws DatabaseError naming the failing statement and changes nothing; on
// SQL Server it creates only what is missing and renews the views. The script follows
// Dialect(): SQLite's or SQL Server's; a closed connection or another database throws
// DatabaseError.
TAMSEL_API void InstallSuiteSchema(Connection& conn);
// The first of the suite's tables that the component cannot work without and that the database
// lacks; "" when it has them all. Reads the catalog only (Connection::HasTable).
TAMSEL_API std::string MissingSuiteTable(const Connection& conn);
// How a failed InitManager's description begins when the database lacks the suite's tables.
inline constexpr std::string_view kNotTamselDatabase = "not a Tamsel database";
// Adds a small, realistic sample: vendors, items, units, currencies with daily and monthly
// rates (every day and month of 2026 and 2027), trade terms, a price list and a few rules.
// All or nothing, as InstallSuiteSchema; a second call fails on the unique keys (SQL Server:
// adds nothing, each table getting its rows only while empty).
TAMSEL_API void InstallDemoData(Connection& conn);

// A large generated data set for benchmarks and trials, added to a database with the suite
// schema. Deterministic for a seed.
struct TrialDataOptions {
  int32_t items = 1000;
  // 0: a skewed number per item, as purchasing sees it (55% of items 1-3 vendors, 30% 4-10,
  // 12% 11-40, 2.5% 41-150, 0.5% 200-300); otherwise exactly this many.
  int32_t vendors_per_item = 0;
  // 0: 1 to 6 tiers per price set (30/20/25/12/8/5%); otherwise exactly this many (at most 6).
  int32_t tiers = 0;
  uint32_t seed = 1;
  // Share of price rows (0..1) that carry free-item values, near enough.
  double free_item_share = 0.1;
  // Above 0: items are added until the price list has gained at least this many rows, and
  // items is ignored.
  int64_t rows = 0;
};
// What one run added.
struct TrialDataCounts {
  int64_t vendors = 0;
  int64_t items = 0;
  int64_t price_rows = 0;
  int64_t rules = 0;
  int64_t rule_tiers = 0;
};
// progress is called now and then with the share done (0..1), last with 1. Returns the
// price-list rows made, and fills *counts when given. Item and vendor codes continue after those
// of an earlier run; missing currencies (and a local one), units and trade terms are added.
// Runs in one transaction (or the caller's). Options out of range throw std::invalid_argument;
// database failures DatabaseError, with nothing added.
TAMSEL_API int64_t GenerateTrialData(Connection& conn, const TrialDataOptions& options,
                                     const std::function<void(double)>& progress = nullptr,
                                     TrialDataCounts* counts = nullptr);

class RowAuthService;

// The suite's login object, by role.
class TAMSEL_API Login {
 public:
  virtual ~Login() = default;
  virtual std::string ConnectionText() = 0;                   // database with the business tables
  virtual std::shared_ptr<RowAuthService> AuthService() = 0;  // or null
  virtual std::string RowAuthText() = 0;  // second argument of RowAuthService::Init
  virtual Date LoginDate() = 0;
};

// The suite's system-information object: members reached by name. Unknown members throw.
class TAMSEL_API SysInfo {
 public:
  virtual ~SysInfo() = default;
  virtual Variant Invoke(std::string_view member, const std::vector<Variant>& args = {}) = 0;
};

// The suite's row-authorisation service.
class TAMSEL_API RowAuthService {
 public:
  virtual ~RowAuthService() = default;
  virtual bool Init(const std::string& connectionText, const std::string& loginText, int32_t,
                    int32_t) = 0;
  // "" no restriction; "1=2" nothing visible; otherwise a list of ids for an SQL IN list.
  virtual std::string GetRowAuthCondition(const std::string& busObject, int32_t, int32_t) = 0;
  virtual bool HasRowAuth(const std::string& kind, const std::string& code, int32_t,
                          const std::string& right) = 0;
};

// Replaces how a new row-authorisation service is made (the manager asks for one when the login
// gives none). A null factory restores the default, which makes a TableRowAuthService.
TAMSEL_API void SetRowAuthServiceFactory(std::function<std::shared_ptr<RowAuthService>()> factory);
// A new service from the current factory.
TAMSEL_API std::shared_ptr<RowAuthService> NewRowAuthService();

// Stand-in login built from values.
class TAMSEL_API SimpleLogin : public Login {
 public:
  SimpleLogin(std::string connection_text, Date login_date,
              std::shared_ptr<RowAuthService> auth_service = nullptr,
              std::string row_auth_text = "");
  std::string ConnectionText() override;
  std::shared_ptr<RowAuthService> AuthService() override;
  std::string RowAuthText() override;
  Date LoginDate() override;

 private:
  std::string connection_text_;
  Date login_date_;
  std::shared_ptr<RowAuthService> auth_service_;
  std::string row_auth_text_;
};

// Stand-in system-information object: properties and methods by name, letter case ignored.
class TAMSEL_API MapSysInfo : public SysInfo {
 public:
  using Method = std::function<Variant(const std::vector<Variant>&)>;
  MapSysInfo() = default;
  // A property: Invoke gives the value whatever the arguments.
  void Set(std::string_view member, Variant value);
  void SetMethod(std::string_view member, Method method);
  // Unknown member: throws std::invalid_argument naming it.
  Variant Invoke(std::string_view member, const std::vector<Variant>& args = {}) override;

 private:
  std::map<std::string, Method> members_;  // keyed by lower-case name
};

// The members the component reads: bCheckInvAuth, bCheckVendorAuth, Today, TheYear, TheMonth
// (from today, as whole numbers: their text is "2026" and "3", the form of the monthly rates in
// exch) and getdicvalue("ixchgratestl") answering monthly_rates; other getdicvalue keys give
// Empty.
TAMSEL_API std::shared_ptr<MapSysInfo> MakeSysInfo(const Date& today, bool check_inv_auth = false,
                                                   bool check_vendor_auth = false,
                                                   bool monthly_rates = false);

// Stand-in row-authorisation service backed by the table "tamsel_row_auth" (cUser, cKind,
// cCode, cRight) of the database it is initialised on. The login text is the user name. A user
// with a row of code "*" for a kind may see every row of it; a user with no row for a kind may
// see none. Rights: the row's cRight must contain the right asked for ("W" or "R"), letter case
// ignored; seeing a row (GetRowAuthCondition) takes either. Before a successful Init every
// question throws std::logic_error.
class TAMSEL_API TableRowAuthService : public RowAuthService {
 public:
  TableRowAuthService();
  ~TableRowAuthService() override;
  // Opens its own connection; false when it cannot.
  bool Init(const std::string& connectionText, const std::string& loginText, int32_t,
            int32_t) override;
  // For "VENDOR": the iid values of the vendors the user may see, "" for all, "1=2" for none.
  // Other kinds: their visible codes as N'..' literals, "" or "1=2" alike.
  std::string GetRowAuthCondition(const std::string& busObject, int32_t, int32_t) override;
  bool HasRowAuth(const std::string& kind, const std::string& code, int32_t,
                  const std::string& right) override;

 private:
  std::unique_ptr<Connection> conn_;
  std::string user_;
};

}  // namespace tamsel
