#pragma once

// The ODBC driver behind Connection: unixODBC's wide-character API, client-side results,
// transactions through the connection's autocommit switch.
// Here its shared pieces and class; connection.cc, statements.cc and fetch.cc define its members.

#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "db/driver.h"
#include "db/odbc/odbc_api.h"
#include "db/tsql_rewriter.h"
#include "tamsel/error.h"

namespace tamsel::detail {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "unixODBC must be built with 2-byte SQLWCHAR");

enum class Dialect { kSqlServer, kSqlite, kOther };

inline SQLWCHAR* Wide(std::u16string& text) { return reinterpret_cast<SQLWCHAR*>(text.data()); }

// The statement as error texts quote it, cut short when long.
std::string Echo(std::string_view sql);

// Which calls carry text to and from the driver. Wide: UTF-16 through the W calls. Narrow: UTF-8
// bytes through the plain calls, for a driver that has no W calls and takes UTF-8 (the SQLite
// ODBC driver): the driver manager would otherwise squeeze UTF-16 into the process's code page.
enum class TextCalls { kWide, kNarrow };

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
                         std::string_view sql = {});
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

struct Column {
  std::string name;
  Reader reader = Reader::kText;
  bool money = false;  // DECIMAL reported by the server as money: Currency
};

class OdbcDriver final : public Driver {
 public:
  explicit OdbcDriver(const std::string& connection_text);
  void Connect(const std::string& connection_text);
  ~OdbcDriver() override;

  int32_t Execute(std::string_view sql) override;
  std::shared_ptr<const ResultData> Query(std::string_view sql) override;
  int32_t ExecuteNow(std::string_view sql);
  std::shared_ptr<const ResultData> QueryNow(std::string_view sql);
  void FollowSqliteSchema();
  std::shared_ptr<ResultData> QueryOnce(std::string_view sql);

  void Begin() override;
  void Commit() override;
  void Rollback() override;
  // A lost link ends the transaction with the session.
  bool InTransaction() const override { return in_transaction_ && !report_.link_lost; }
  void Reset() noexcept override;
  void Close() override;
  bool IsOpen() const override { return (connected_ && !report_.link_lost) || reopen_; }
  std::string_view DialectName() const override;
  bool HasTable(std::string_view name) override;

 private:
  void ReopenAfterReset();
  void Ready();
  bool Disconnect() noexcept;
  void RequireOpen() const;

  // LockTimeout=<milliseconds> bounds every wait for another session's locks, as the embedded
  // driver's busy timeout does.
  static constexpr std::string_view kLockTimeoutKey = "LockTimeout";
  static constexpr int kDefaultLockTimeoutMs = 5000;
  // Logging in and a whole statement may take this many times the bound.
  static constexpr int kStatementTimeoutFactor = 6;

  static int LockTimeoutMs(std::string_view connection_text);
  SQLULEN WaitSeconds(int factor) const;
  std::string InfoText(SQLUSMALLINT info);
  Dialect DetectDialect();
  void ChooseTextCalls();
  void Initialise();
  bool SqliteTransactionOpen();
  void EndTransaction();
  void SetIsolation(SQLULEN level);
  void SetAutocommit(bool on);

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

  std::string Translate(std::string_view sql) const;
  void PrepareHandle(SQLHSTMT h);
  std::optional<Executed> RunPrepared(std::string_view sql);
  SQLHSTMT PreparedHandle(const StatementShape& shape);
  Executed Run(const std::string& text);
  int64_t SqliteSchemaVersion();
  int32_t RunCommand(const std::string& text);
  int32_t RowsChanged(Executed& run, std::string_view text);

  std::shared_ptr<ResultData> FetchResult(Executed& run, const std::string& text);
  std::vector<Column> Describe(SQLHSTMT h, SQLSMALLINT count, const std::string& text);
  std::string DescribeWide(SQLHSTMT h, SQLUSMALLINT index, SQLSMALLINT& sql_type,
                           const std::string& text);
  std::string DescribeNarrow(SQLHSTMT h, SQLUSMALLINT index, SQLSMALLINT& sql_type,
                             const std::string& text);
  static std::string TypeName(SQLHSTMT h, SQLUSMALLINT index);

  [[noreturn]] void FailStatement(SQLHSTMT h, std::string_view what, std::string_view sql) {
    report_.Fail(SQL_HANDLE_STMT, h, what, sql);
  }

  [[noreturn]] void FailConnection(std::string_view what) {
    report_.Fail(SQL_HANDLE_DBC, dbc_.get(), what);
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

}  // namespace tamsel::detail
