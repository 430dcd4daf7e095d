// The embedded database: SQLite through its C API, running the suite's T-SQL after rewriting.

#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdint>
#include <limits>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "common/text.h"
#include "db/driver.h"
#include "db/sqlite_functions.h"
#include "db/tsql_rewriter.h"
#include "tamsel/error.h"
#include "tamsel/services.h"

namespace tamsel::detail {

namespace {

// How long a statement waits for another connection's lock before it fails with "database is
// locked". Bounded, so a stuck writer elsewhere turns into an error instead of a hang.
constexpr int kBusyTimeoutMs = 5000;
constexpr size_t kStatementCacheSize = 128;
constexpr size_t kRewriteCacheSize = 512;

std::string Shorten(std::string_view sql) {
  constexpr size_t kMax = 200;
  std::string s(sql.substr(0, kMax));
  if (sql.size() > kMax) s += "...";
  return s;
}

bool IsBlank(const char* p) {
  if (p == nullptr) return true;
  for (; *p; ++p) {
    if (*p != ' ' && *p != '\t' && *p != '\n' && *p != '\r' && *p != ';') return false;
  }
  return true;
}

struct StmtDeleter {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using StmtPtr = std::unique_ptr<sqlite3_stmt, StmtDeleter>;

// Leaves a statement ready for its next use whatever happens while it runs; a statement left
// mid-step would keep its read lock and block COMMIT.
struct ResetOnExit {
  sqlite3_stmt* stmt;
  ~ResetOnExit() {
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
  }
};

Variant ColumnValue(sqlite3_stmt* stmt, int i) {
  switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_NULL:
      return Variant::Null();
    case SQLITE_INTEGER: {
      const sqlite3_int64 v = sqlite3_column_int64(stmt, i);
      if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max())
        return Variant(static_cast<int32_t>(v));
      return Variant::Decimal(static_cast<double>(v));
    }
    case SQLITE_FLOAT:
      return Variant(sqlite3_column_double(stmt, i));
    case SQLITE_TEXT: {
      const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
      return Variant(std::string(p, sqlite3_column_bytes(stmt, i)));
    }
    default: {
      const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt, i));
      const int n = sqlite3_column_bytes(stmt, i);
      return Variant(HexText(p ? std::string_view(p, n) : std::string_view()));
    }
  }
}

constexpr const char* kModeKey = "Mode";
constexpr const char* kModeCreate = "ReadWriteCreate";

// Mode=ReadWriteCreate asks for a missing database file to be made; ReadWrite, the default, opens
// only one that exists. In-memory databases are made either way.
bool CreatesFile(const std::string& connection_text) {
  const std::string mode = ConnectionTextValue(connection_text, kModeKey);
  if (mode.empty() || EqualsNoCase(mode, "ReadWrite")) return false;
  if (EqualsNoCase(mode, kModeCreate)) return true;
  throw DatabaseError("unknown Mode in the connection text: '" + mode +
                      "' (ReadWrite or ReadWriteCreate)");
}

// A file: URI names its file before any '?'; URIs that are no plain file paths are left to SQLite.
bool PathExists(const std::string& path) {
  if (path.starts_with("file:")) return true;
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

class SqliteDriver : public Driver {
 public:
  explicit SqliteDriver(const std::string& connection_text)
      : path_(ConnectionTextValue(connection_text, "Data Source")),
        // Opening for use never makes a file: a mistyped path would answer as an empty database.
        create_(CreatesFile(connection_text)) {
    if (path_.empty()) throw DatabaseError("the connection text names no Data Source");
    Open();
  }

  ~SqliteDriver() override { Close(); }

  void Open() {
    const int flags = SQLITE_OPEN_READWRITE | (create_ ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_URI |
                      SQLITE_OPEN_NOMUTEX;
    int rc = sqlite3_open_v2(path_.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
      const std::string msg = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
      sqlite3_close_v2(db_);
      db_ = nullptr;
      if (!create_ && (rc & 0xff) == SQLITE_CANTOPEN && !PathExists(path_)) {
        throw DatabaseError("database not found: " + path_ + " (" + kModeKey + "=" + kModeCreate +
                            " in the connection text creates it)");
      }
      throw DatabaseError("cannot open the database '" + path_ + "': " + msg);
    }
    ran_out_ = false;
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    try {
      if (RegisterSqliteFunctions(db_) != SQLITE_OK) Raise("registering the suite's functions");
      // WAL lets readers go on while one connection writes, so two managers can share a file.
      // In-memory databases have no file to log to. FULL syncs the log at every commit, so a
      // commit reported as done survives a power loss; NORMAL could lose the latest ones.
      const char* file = sqlite3_db_filename(db_, "main");
      has_file_ = file != nullptr && *file != '\0';
      if (has_file_) {
        RunScript("PRAGMA journal_mode=WAL");
        RunScript("PRAGMA synchronous=FULL");
      }
      // Declared foreign keys are enforced, as the server always does. The rule tables declare
      // none between them, and removing a rule deletes its tiers first, so nothing depends on it.
      RunScript("PRAGMA foreign_keys=ON");
      // Look-ups hop through the price list's indexes at random; with the default 2 MB most
      // pages come back from the file each time. The cache only grows as pages are read, and
      // in WAL mode it stays valid between transactions unless another connection wrote.
      RunScript("PRAGMA cache_size=-32768");
    } catch (...) {
      CloseHandle();
      throw;
    }
  }

  int32_t Execute(std::string_view sql) override {
    int64_t changed = 0;
    Run(sql, nullptr, &changed);
    return Changed(changed);
  }

  int32_t ExecuteShaped(std::string_view sql, const StatementShape& shape) override {
    EnsureOpen();
    RequireNoNul(sql, "statement");
    int64_t changed = 0;
    if (CachedStmt* cached = Prepared(shape, sql, false)) {
      RunOne(cached->stmt.get(), sql, nullptr, &changed);
    } else {
      Run(sql, nullptr, &changed);
    }
    return Changed(changed);
  }

  // A query runs one statement that the engine itself says only reads: a caller's filter text
  // cannot smuggle in a second statement, a write or a change of the session.
  std::shared_ptr<const ResultData> Query(std::string_view sql) override {
    EnsureOpen();
    RequireNoNul(sql, "statement");
    return RunQuery(sql, LiftLiterals(sql));
  }

  std::shared_ptr<const ResultData> QueryShaped(std::string_view sql,
                                                const StatementShape& shape) override {
    EnsureOpen();
    RequireNoNul(sql, "statement");
    return RunQuery(sql, shape);
  }

  std::shared_ptr<const ResultData> RunQuery(std::string_view sql, const StatementShape& shape) {
    CachedStmt* cached = Prepared(shape, sql, true);
    if (cached == nullptr)
      throw DatabaseError("a query must be a single statement [" + Shorten(sql) + "]");
    sqlite3_stmt* stmt = cached->stmt.get();
    if (!sqlite3_stmt_readonly(stmt)) {
      sqlite3_clear_bindings(stmt);  // they point into this call's values
      throw DatabaseError("a query must only read, not change data [" + Shorten(sql) + "]");
    }
    auto data = std::make_shared<ResultData>();
    RunOne(stmt, sql, data.get(), nullptr, cached);
    return data;
  }

  void Begin() override {
    EnsureOpen();
    if (!sqlite3_get_autocommit(db_)) throw DatabaseError("a transaction is already open");
    // IMMEDIATE takes the write lock now, waiting up to the busy timeout, instead of failing
    // later when a read lock would have to be upgraded.
    RunScript("BEGIN IMMEDIATE");
    began_ = true;
  }

  void Commit() override {
    EnsureOpen();
    if (sqlite3_get_autocommit(db_)) {
      const bool lost = began_;
      began_ = false;
      throw DatabaseError(lost ? "the transaction was already rolled back by the database"
                               : "no transaction is open");
    }
    if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
      // A commit still open failed before writing anything: the caller rolls it back. One that
      // SQLite ended itself may have written its log before the sync failed.
      if (!sqlite3_get_autocommit(db_) || !MayBeDurable(sqlite3_extended_errcode(db_)))
        Raise("COMMIT");
      began_ = false;
      throw CommitOutcomeUnknown(std::string(sqlite3_errmsg(db_)) + " [COMMIT]");
    }
    began_ = false;
  }

  void Rollback() override {
    EnsureOpen();
    if (sqlite3_get_autocommit(db_)) {
      // SQLite may have rolled back on its own after an error; there is nothing left to undo.
      if (began_) {
        began_ = false;
        return;
      }
      throw DatabaseError("no transaction is open");
    }
    began_ = false;
    RunScript("ROLLBACK");
  }

  // A read transaction: one lock of the file for all the reads instead of one per statement.
  bool BeginRead() override {
    EnsureOpen();
    if (!sqlite3_get_autocommit(db_)) return false;
    StepOnce(begin_read_, "BEGIN");
    return true;
  }

  void EndRead() noexcept override {
    if (db_ == nullptr || sqlite3_get_autocommit(db_)) return;
    try {
      StepOnce(end_read_, "COMMIT");
    } catch (...) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);  // reads leave nothing to keep
    }
    // Still open (memory too short even to roll back): a session ended and opened anew holds no
    // lock that would keep the log from being checkpointed or the next transaction from starting.
    if (!sqlite3_get_autocommit(db_)) Reset();
  }

  bool InTransaction() const override { return db_ != nullptr && !sqlite3_get_autocommit(db_); }

  // A database without a file would be lost with its session; nobody else waits on its locks.
  void Reset() noexcept override {
    if (db_ == nullptr || !has_file_) return;
    CloseHandle();
    reopen_ = true;
    try {
      EnsureOpen();
    } catch (...) {  // the next use tries again
    }
  }

  void Close() override {
    reopen_ = false;
    CloseHandle();
  }

  bool IsOpen() const override { return db_ != nullptr || reopen_; }
  std::string_view DialectName() const override { return "sqlite"; }

  bool HasTable(std::string_view name) override {
    EnsureOpen();
    // With no column named, this only looks the table or view up (reading the schema first,
    // which is where a file that is no database shows).
    const std::string table(name);
    const int rc = sqlite3_table_column_metadata(db_, "main", table.c_str(), nullptr, nullptr,
                                                 nullptr, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) return true;
    const std::string msg = sqlite3_errmsg(db_);
    if ((rc & 0xff) == SQLITE_ERROR && msg.starts_with("no such table")) return false;
    throw DatabaseError("cannot read the database's tables: " + msg);
  }

 private:
  struct CachedStmt {
    std::string sql;  // the key: a shape's, or the statement's text
    StmtPtr stmt;
    bool query = false;  // compiled under OnlyReading
    // The names its rows came with, and the engine's recompile count they belong to.
    std::shared_ptr<const ResultColumns> columns;
    int compiled = -1;
  };

  void CloseHandle() {
    if (db_ == nullptr) return;
    begin_read_.reset();
    end_read_.reset();
    cache_.clear();
    index_.clear();
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db_);
    db_ = nullptr;
    began_ = false;
  }

  void EnsureOpen() {
    // Running out of memory can leave a session failing with "out of memory" after memory is
    // back (seen with a view's compiled columns): once its transaction is over, such a session
    // is opened afresh.
    if (db_ != nullptr && ran_out_ && has_file_ && sqlite3_get_autocommit(db_)) {
      CloseHandle();
      reopen_ = true;
    }
    if (db_ == nullptr) {
      if (!reopen_) throw DatabaseError("the connection is closed");
      Open();
      reopen_ = false;
    }
  }

  // Whether a failed COMMIT may still have stored the change: a failure to get memory, to
  // read or write pages, or to take the log's locks comes before the commit record is complete
  // in the log. A sync that reports a full disk cannot be told from a write that does.
  static bool MayBeDurable(int code) {
    switch (code) {
      case SQLITE_IOERR_SHMLOCK:
      case SQLITE_NOMEM:
      case SQLITE_IOERR_NOMEM:
      case SQLITE_IOERR_WRITE:
      case SQLITE_IOERR_READ:
      case SQLITE_IOERR_SHORT_READ:
      case SQLITE_FULL:
        return false;
      default:
        return true;
    }
  }

  [[noreturn]] void Raise(std::string_view sql) const {
    throw DatabaseError(std::string(sqlite3_errmsg(db_)) + " [" + Shorten(sql) + "]");
  }

  // Internal statements, never rewritten nor cached.
  void RunScript(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Raise(sql);
  }

  // An internal statement run often: compiled once, kept in stmt.
  void StepOnce(StmtPtr& stmt, const char* sql) {
    if (!stmt) {
      sqlite3_stmt* raw = nullptr;
      if (sqlite3_prepare_v2(db_, sql, -1, &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        Raise(sql);
      }
      stmt.reset(raw);
    }
    if (sqlite3_step(stmt.get()) != SQLITE_DONE) {
      const std::string message = sqlite3_errmsg(db_);
      sqlite3_reset(stmt.get());
      throw DatabaseError(message + " [" + sql + "]");
    }
    sqlite3_reset(stmt.get());
  }

  const std::string& Rewritten(std::string_view tsql) {
    auto it = rewrites_.find(std::string(tsql));
    if (it != rewrites_.end()) return it->second;
    std::string sqlite_sql = RewriteTsql(tsql);
    // Texts with literal values vary without end; dropping everything now and then is enough
    // to keep the hot look-up texts cached without growing.
    if (rewrites_.size() >= kRewriteCacheSize) rewrites_.clear();
    return rewrites_.emplace(std::string(tsql), std::move(sqlite_sql)).first->second;
  }

  // The compiled statement for a single-statement text with the shape's values bound, or
  // nullptr for a text of several statements. A shape the engine refuses with markers in it
  // is compiled from the full text instead, whose error (if any) names the real fault. A query
  // is compiled under OnlyReading, also when a statement compiled without it is cached.
  CachedStmt* Prepared(const StatementShape& shape, std::string_view original, bool query) {
    if (!shape.values.empty()) {
      CachedStmt* cached = Cached(
          BoundKey(shape), [&] { return RewriteTsql(shape.text); }, {}, query);
      if (cached != nullptr &&
          sqlite3_bind_parameter_count(cached->stmt.get()) == Count(shape.values.size())) {
        Bind(cached->stmt.get(), shape.values);
        return cached;
      }
    }
    return Cached(
        std::string(original), [&] { return Rewritten(original); }, original, query);
  }

  static int Count(size_t n) { return static_cast<int>(n); }

  static int32_t Changed(int64_t n) {
    return n > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                   : static_cast<int32_t>(n);
  }

  // The cache's key for a shape: its text, marked apart from a statement's own text. A compiled
  // statement takes values of any type (the engine recompiles it by itself where a value could
  // change the plan), so a price written as 12 and one written as 12.5, or an empty cell bound
  // as a value, share one compiled statement.
  const std::string& BoundKey(const StatementShape& shape) {
    bound_key_.assign(shape.text);
    bound_key_ += '\x1f';
    return bound_key_;
  }

  void Bind(sqlite3_stmt* stmt, const std::vector<LiftedValue>& values) {
    int rc = SQLITE_OK;
    for (int i = 0; i < Count(values.size()) && rc == SQLITE_OK; ++i) {
      const LiftedValue& v = values[static_cast<size_t>(i)];
      switch (v.type) {
        case LiftedValue::Type::kInteger:
          rc = sqlite3_bind_int64(stmt, i + 1, v.integer);
          break;
        case LiftedValue::Type::kReal:
          rc = sqlite3_bind_double(stmt, i + 1, v.real);
          break;
        case LiftedValue::Type::kNull:
          rc = sqlite3_bind_null(stmt, i + 1);
          break;
        default:  // the values outlive the statement's run
          rc = sqlite3_bind_text(stmt, i + 1, v.text.data(), Count(v.text.size()), SQLITE_STATIC);
      }
    }
    if (rc != SQLITE_OK) {
      sqlite3_clear_bindings(stmt);
      Raise("binding a statement's values");
    }
  }

  // A prepared single-statement text from the cache, compiling the text that make() gives on a
  // miss. nullptr for several statements, and when the text fails to compile and no original
  // is given to report it with.
  template <typename Make>
  CachedStmt* Cached(const std::string& key, Make make, std::string_view original, bool query) {
    if (auto it = index_.find(key); it != index_.end()) {
      if (query && !it->second->query) {  // compiled for a write: checked anew
        cache_.erase(it->second);
        index_.erase(it);
      } else {
        cache_.splice(cache_.begin(), cache_, it->second);
        return &*it->second;
      }
    }
    const std::string& sql = make();
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    bool denied = false;
    if (query) sqlite3_set_authorizer(db_, OnlyReading, &denied);
    const int rc = sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &raw, &tail);
    if (query) sqlite3_set_authorizer(db_, nullptr, nullptr);
    if (rc != SQLITE_OK) {
      if (sqlite3_errcode(db_) == SQLITE_NOMEM) ran_out_ = true;
      sqlite3_finalize(raw);
      if (denied) {
        throw DatabaseError(
            "a query must only read, not begin a transaction, attach a database "
            "or change a setting [" +
            Shorten(original.empty() ? std::string_view(sql) : original) + "]");
      }
      if (original.empty()) return nullptr;
      Raise(original);
    }
    StmtPtr stmt(raw);
    if (raw == nullptr || HasStatement(tail)) return nullptr;  // several statements: not cached
    if (cache_.size() >= kStatementCacheSize) {
      index_.erase(cache_.back().sql);
      cache_.pop_back();
    }
    cache_.push_front({key, std::move(stmt), query, nullptr, -1});
    index_[cache_.front().sql] = cache_.begin();
    return &cache_.front();
  }

  // What a query may do as SQLite compiles it. sqlite3_stmt_readonly lets BEGIN, SAVEPOINT,
  // ATTACH, DETACH and PRAGMAs that set something through, since they write no table, yet they
  // would change the session for every later statement. A PRAGMA that only reports may run.
  static int OnlyReading(void* denied, int action, const char* name, const char* value, const char*,
                         const char*) {
    switch (action) {
      case SQLITE_SELECT:
      case SQLITE_READ:
      case SQLITE_FUNCTION:
      case SQLITE_RECURSIVE:
        return SQLITE_OK;
      case SQLITE_UPDATE:
        // The pragma functions (pragma_integrity_check) ask for the schema table's columns as
        // if they updated it; a statement that really writes fails sqlite3_stmt_readonly.
        if (name != nullptr &&
            (EqualsNoCase(name, "sqlite_master") || EqualsNoCase(name, "sqlite_temp_master")))
          return SQLITE_OK;
        break;
      case SQLITE_PRAGMA:
        if (name != nullptr && IsReportingPragma(name, value != nullptr)) return SQLITE_OK;
        break;
      default:
        break;
    }
    *static_cast<bool*>(denied) = true;
    return SQLITE_DENY;
  }

  // Whether text left after a statement holds another one, not just blanks and comments.
  bool HasStatement(const char* tail) const {
    const char* p = tail;
    while (!IsBlank(p)) {
      sqlite3_stmt* raw = nullptr;
      if (sqlite3_prepare_v2(db_, p, -1, &raw, &p) != SQLITE_OK || raw != nullptr) {
        sqlite3_finalize(raw);
        return true;
      }
    }
    return false;
  }

  // Runs every statement of the text. Rows of the first statement that returns columns go to
  // out; rows changed directly by the statements (not by their triggers) add up in changed.
  void Run(std::string_view tsql, ResultData* out, int64_t* changed) {
    EnsureOpen();
    RequireNoNul(tsql, "statement");
    const StatementShape shape = LiftLiterals(tsql);
    if (CachedStmt* cached = Prepared(shape, tsql, false)) {
      RunOne(cached->stmt.get(), tsql, out, changed, cached);
      return;
    }
    const std::string& sql = Rewritten(tsql);
    const char* p = sql.c_str();
    const char* end = p + sql.size();
    bool have_rows = false;
    while (p < end && !IsBlank(p)) {
      sqlite3_stmt* raw = nullptr;
      const char* tail = nullptr;
      if (sqlite3_prepare_v2(db_, p, static_cast<int>(end - p), &raw, &tail) != SQLITE_OK) {
        sqlite3_finalize(raw);
        Raise(tsql);
      }
      StmtPtr stmt(raw);
      p = tail;
      if (raw == nullptr) continue;
      const bool want = out != nullptr && !have_rows && sqlite3_column_count(raw) > 0;
      RunOne(raw, tsql, want ? out : nullptr, changed);
      have_rows = have_rows || want;
    }
  }

  // The statement's column names, read from the engine only when it compiled the statement anew.
  static std::shared_ptr<const ResultColumns> Columns(sqlite3_stmt* stmt, int count,
                                                      CachedStmt* cached) {
    const int compiled = sqlite3_stmt_status(stmt, SQLITE_STMTSTATUS_REPREPARE, 0);
    if (cached != nullptr && cached->columns && cached->compiled == compiled)
      return cached->columns;
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
      const char* name = sqlite3_column_name(stmt, i);
      names.emplace_back(name ? name : "");
    }
    auto columns = std::make_shared<const ResultColumns>(std::move(names));
    if (cached != nullptr) {
      cached->columns = columns;
      cached->compiled = compiled;
    }
    return columns;
  }

  // Rows go to out (when given); a cached statement lends its column names to them.
  void RunOne(sqlite3_stmt* stmt, std::string_view original, ResultData* out, int64_t* changed,
              CachedStmt* cached = nullptr) {
    ResetOnExit reset{stmt};
    const int64_t total_before = sqlite3_total_changes64(db_);
    int rc = sqlite3_step(stmt);
    // The first step recompiles a statement whose tables another connection changed since it was
    // cached; only then do its columns (a "select *" above all) name what the rows hold.
    const int columns = sqlite3_column_count(stmt);
    if (out != nullptr) {
      out->columns = Columns(stmt, columns, cached);
      out->cells.clear();
      // Look-ups read one row or a few: room for one saves the vectors' regrowth.
      out->cells.reserve(static_cast<size_t>(columns));
    }
    for (; rc == SQLITE_ROW; rc = sqlite3_step(stmt)) {
      if (out != nullptr) {
        for (int i = 0; i < columns; ++i) out->cells.emplace_back(ColumnValue(stmt, i));
      }
    }
    if (rc != SQLITE_DONE) {
      if ((rc & 0xff) == SQLITE_NOMEM) ran_out_ = true;
      Raise(original);
    }
    // sqlite3_changes keeps the count of the last INSERT/UPDATE/DELETE, also after DDL; the
    // total tells whether this statement changed anything at all.
    if (changed != nullptr && sqlite3_total_changes64(db_) != total_before)
      *changed += sqlite3_changes64(db_);
  }

  std::string path_;
  bool create_ = false;  // Mode=ReadWriteCreate: a missing file is made
  sqlite3* db_ = nullptr;
  bool has_file_ = false;
  bool reopen_ = false;   // reset, and reopening failed: the next use opens again
  bool ran_out_ = false;  // a statement ran out of memory since the session was opened
  bool began_ = false;
  std::list<CachedStmt> cache_;  // most recently used first
  StmtPtr begin_read_, end_read_;
  std::unordered_map<std::string, std::list<CachedStmt>::iterator> index_;
  std::unordered_map<std::string, std::string> rewrites_;
  std::string bound_key_;  // scratch, kept for its capacity
};

}  // namespace

std::shared_ptr<Driver> OpenSqliteDriver(const std::string& connection_text) {
  return std::make_shared<SqliteDriver>(connection_text);
}

}  // namespace tamsel::detail

namespace tamsel {

bool ConfigureSqliteForConcurrentReaders() {
  return sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
}

}  // namespace tamsel
