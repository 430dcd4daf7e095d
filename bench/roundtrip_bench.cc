// A rule's round trip (create, load, save, remove; 5 tiers) through the component, against
// the same statements run straight on the SQLite C API in one transaction.
//
// The raw side replays the statements the component ran for one round trip, captured by a
// statement observer and rewritten for SQLite once. The rule id and row version differ on
// every trip, so the captured texts hold them as placeholders, filled in from the create's
// read-back, as the component does.

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/text.h"
#include "db/sqlite_functions.h"
#include "db/tsql_rewriter.h"
#include "support/allow_all.h"
#include "support/memory_meter.h"
#include "support/raw_sqlite.h"
#include "tamsel/tamsel.h"

namespace tamsel::bench {
namespace {

// Distinctive values, so the captured texts can be turned into templates without ambiguity.
constexpr const char* kCapturedIdSeed = "987654320";
constexpr const char* kCapturedId = "987654321";
constexpr const char* kRowVersionSeed = "777000000";

class TempDatabase {
 public:
  TempDatabase() {
    std::string pattern = "/tmp/tamsel-roundtrip-XXXXXX.db";
    const int fd = mkstemps(pattern.data(), 3);
    if (fd < 0) throw std::runtime_error("cannot create " + pattern);
    close(fd);
    path_ = pattern;
    Connection conn;
    conn.Open(ConnectionText());
    InstallSuiteSchema(conn);
    for (const char* sql : {
             "insert into Vendor(iid,cVenCode,cVenName,cVenAbbName,bVenCargo) values "
             "(1,'V01','Vendor One','One',1)",
             "insert into ComputationUnit(cComUnitCode,cComUnitName) values ('PCS','Pieces')",
             "insert into Inventory(cInvCode,cInvName,cInvAddCode,cInvStd,iImpTaxRate,"
             "cComUnitCode,bPurchase) values ('I01','Bolt','B-8','M8',13,'PCS',1)",
             "insert into ForeignCurrency(cExch_Name,cExch_Code,iOtherUsed) values "
             "('CNY','RMB',-1)",
         }) {
      conn.Execute(sql);
    }
    conn.Execute(std::string("insert into sqlite_sequence(name,seq) values "
                             "('ven_inv_price_rule',") +
                 kCapturedIdSeed + ")");
    conn.Execute(std::string("update tamsel_rowversion set v = ") + kRowVersionSeed);
    conn.Close();
  }
  ~TempDatabase() {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
      std::remove((path_ + suffix).c_str());
    }
  }
  std::string ConnectionText() const { return "Provider=SQLite;Data Source=" + path_; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A rule of V01 for I01 with `tiers` tiers, 10 apart, valid from `enable` (to `disable`).
std::shared_ptr<PriceRule> TieredRule(int tiers, const std::string& enable,
                                      const std::string& disable = "") {
  auto rule = PriceRule::New();
  rule->cVenCode = "V01";
  rule->cInvCode = "I01";
  rule->cExchName = "CNY";
  rule->iSupplyType = 1;
  rule->dEnableDate = enable;
  rule->dDisableDate = disable;
  for (int i = 1; i <= tiers; ++i) {
    auto item = rule->AddRuleItem();
    item->iTaxRate = 13;
    item->iUnitPrice = 20 - i;
    item->iTaxUnitPrice = (20 - i) * 1.13;
    item->iUpperLimit = i < tiers ? Variant(10.0 * i) : Variant::Null();
  }
  return rule;
}

std::shared_ptr<PriceRule> FiveTierRule() {
  auto rule = TieredRule(5, "2024-01-01");
  rule->bCheckOverLap = true;
  return rule;
}

// One round trip through the manager; returns the row version the create read back.
std::string ComponentRoundTrip(PriceRuleManager& manager) {
  auto rule = FiveTierRule();
  manager.CreateVenInvPriceRule(rule);
  const std::string created_ufts = rule->ufts;
  auto loaded = manager.LoadVenInvPriceRule(rule->id);
  loaded->cMemo = "saved";
  manager.SaveVenInvPriceRule(loaded);
  manager.RemoveVenInvPriceRule(rule->id);
  return created_ufts;
}

void InitManager(PriceRuleManager& manager, const TempDatabase& db) {
  auto login = std::make_shared<SimpleLogin>(db.ConnectionText(), Date::FromYmd(2024, 6, 1),
                                             std::make_shared<AllowAll>());
  if (!VarToBool(manager.InitManager(login, MakeSysInfo(Date::FromYmd(2024, 6, 1))))) {
    throw std::runtime_error("InitManager failed");
  }
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

// A captured statement, rewritten for SQLite, with the id and row version as placeholders.
struct Step {
  std::string sql;
  bool reads_back_id = false;  // the create's read-back: gives id and ufts
  bool must_change = false;    // the update and the deletes of the rule row
};

std::vector<Step> CaptureRoundTrip() {
  TempDatabase db;
  PriceRuleManager manager;
  InitManager(manager, db);
  std::vector<std::string> captured;
  std::string ufts;
  {
    ScopedStatementObserver observer([&](std::string_view sql) { captured.emplace_back(sql); });
    ufts = ComponentRoundTrip(manager);
  }
  manager.ExitManager();
  std::vector<Step> steps;
  for (std::string sql : captured) {
    Step step;
    step.reads_back_id = sql.rfind("select id,ufts from pu_VenInvPriceRule", 0) == 0;
    step.must_change = sql.rfind("update ven_inv_price_rule", 0) == 0 ||
                       sql.rfind("delete from ven_inv_price_rule ", 0) == 0;
    sql = detail::RewriteTsql(sql);
    ReplaceAll(sql, kCapturedId, "{ID}");
    ReplaceAll(sql, ufts, "{UFTS}");
    step.sql = std::move(sql);
    steps.push_back(std::move(step));
  }
  return steps;
}

class RawConnection {
 public:
  // cache: keep compiled statements by text, as the component's driver may.
  RawConnection(const std::string& path, bool cache) : cache_enabled_(cache) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
        detail::RegisterSqliteFunctions(db_) != SQLITE_OK) {
      throw std::runtime_error("cannot open " + path);
    }
    // The same settings as the component's driver.
    Exec("PRAGMA journal_mode=WAL");
    Exec("PRAGMA synchronous=FULL");
    Exec("PRAGMA foreign_keys=ON");
  }
  ~RawConnection() {
    for (auto& [sql, stmt] : cache_) sqlite3_finalize(stmt);
    sqlite3_close_v2(db_);
  }

  void Exec(const std::string& sql) { Run(sql, nullptr, nullptr); }
  int64_t LastId() const { return sqlite3_last_insert_rowid(db_); }

  // A statement compiled once, its ? markers bound to the values.
  void RunBound(const std::string& shape, const std::vector<detail::LiftedValue>& values) {
    sqlite3_stmt* stmt = Prepare(shape);
    BindValues(stmt, values);
    const int rc = sqlite3_step(stmt);
    sqlite3_reset(stmt);
    if (rc != SQLITE_DONE)
      throw std::runtime_error(sqlite3_errmsg(db_) + std::string(": ") + shape);
  }

  // Steps through every row reading every column; keeps the first row's id and ufts texts.
  // Returns the rows the statement changed.
  int Run(const std::string& sql, std::string* id, std::string* ufts) {
    sqlite3_stmt* stmt = Prepare(sql);
    bool first = true;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
        benchmark::DoNotOptimize(sqlite3_column_type(stmt, c) == SQLITE_TEXT
                                     ? static_cast<const void*>(sqlite3_column_text(stmt, c))
                                     : nullptr);
      }
      if (first && id != nullptr) {
        *id = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        *ufts = detail::Trim(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1)));
      }
      first = false;
    }
    if (cache_enabled_) {
      sqlite3_reset(stmt);
    } else {
      sqlite3_finalize(stmt);
    }
    if (rc != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db_) + std::string(": ") + sql);
    return sqlite3_changes(db_);
  }

 private:
  sqlite3_stmt* Prepare(const std::string& sql) {
    if (cache_enabled_) {
      if (auto it = cache_.find(sql); it != cache_.end()) return it->second;
    }
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr) !=
        SQLITE_OK) {
      throw std::runtime_error(sqlite3_errmsg(db_) + std::string(": ") + sql);
    }
    if (cache_enabled_) {
      // Texts that carry an id never come back; keep the cache small.
      if (cache_.size() >= 256) {
        for (auto& [text, old] : cache_) sqlite3_finalize(old);
        cache_.clear();
      }
      cache_.emplace(sql, stmt);
    }
    return stmt;
  }

  sqlite3* db_ = nullptr;
  bool cache_enabled_;
  std::unordered_map<std::string, sqlite3_stmt*> cache_;
};

// Creates: the component's create (checks, inserts, read-back, one transaction) against the
// same inserts run straight, bound to compiled statements, committed with the same durability.

// A day of its own for every rule, so that none is a duplicate of another.
std::shared_ptr<PriceRule> ThreeTierRule(int64_t n) {
  const Date day = Date::FromYmd(2000, 1, 1).AddDays(n);
  return TieredRule(3, day.IsoDate(), day.AddDays(1).IsoDate());
}

void BM_ComponentCreate(benchmark::State& state) {
  TempDatabase db;
  PriceRuleManager manager;
  InitManager(manager, db);
  int64_t n = 0;
  for (auto _ : state) manager.CreateVenInvPriceRule(ThreeTierRule(n++));
  manager.ExitManager();
}
BENCHMARK(BM_ComponentCreate)->Unit(benchmark::kMicrosecond);

// The inserts of one create as shapes with values; the tiers' rule id is the captured one.
struct BoundInsert {
  std::string shape;
  std::vector<detail::LiftedValue> values;
  int id_at = -1;  // the value that holds the rule's id
};

std::vector<BoundInsert> CaptureCreateInserts() {
  TempDatabase db;
  PriceRuleManager manager;
  InitManager(manager, db);
  std::vector<BoundInsert> inserts;
  {
    ScopedStatementObserver observer([&](std::string_view sql) {
      if (sql.rfind("insert", 0) != 0) return;
      detail::StatementShape shape = detail::LiftLiterals(sql);
      BoundInsert insert{detail::RewriteTsql(shape.text), std::move(shape.values)};
      for (size_t i = 0; i < insert.values.size(); ++i) {
        const auto& v = insert.values[i];
        if (std::to_string(v.integer) == kCapturedId || v.text == kCapturedId) {
          insert.id_at = static_cast<int>(i);
        }
      }
      inserts.push_back(std::move(insert));
    });
    manager.CreateVenInvPriceRule(ThreeTierRule(0));
  }
  manager.ExitManager();
  return inserts;
}

void BM_RawBoundCreate(benchmark::State& state) {
  const std::vector<BoundInsert> inserts = CaptureCreateInserts();
  TempDatabase db;
  RawConnection raw(db.path(), true);
  for (auto _ : state) {
    raw.Exec("BEGIN IMMEDIATE");
    int64_t id = 0;
    for (const BoundInsert& insert : inserts) {
      if (insert.id_at < 0) {
        raw.RunBound(insert.shape, insert.values);
        id = raw.LastId();
        continue;
      }
      auto values = insert.values;
      auto& value = values[static_cast<size_t>(insert.id_at)];
      value.integer = id;
      value.text = std::to_string(id);
      raw.RunBound(insert.shape, values);
    }
    raw.Exec("COMMIT");
  }
  state.counters["inserts"] = static_cast<double>(inserts.size());
}
BENCHMARK(BM_RawBoundCreate)->Unit(benchmark::kMicrosecond);

// Peak memory above the level at the start (C++ heap and SQLite), and heap bytes per trip.
void ReportMemory(benchmark::State& state, const MemoryMeter& meter) {
  state.counters["peak_kB"] = static_cast<double>(meter.PeakBytes()) / 1024.0;
  state.counters["heap_B/trip"] = benchmark::Counter(static_cast<double>(meter.AllocatedBytes()),
                                                     benchmark::Counter::kAvgIterations);
}

void BM_ComponentRoundTrip(benchmark::State& state) {
  TempDatabase db;
  PriceRuleManager manager;
  InitManager(manager, db);
  const MemoryMeter meter;
  for (auto _ : state) benchmark::DoNotOptimize(ComponentRoundTrip(manager));
  ReportMemory(state, meter);
  manager.ExitManager();
}
BENCHMARK(BM_ComponentRoundTrip)->Unit(benchmark::kMicrosecond);

void BM_RawSqliteRoundTrip(benchmark::State& state) {
  const std::vector<Step> steps = CaptureRoundTrip();
  TempDatabase db;
  RawConnection raw(db.path(), state.range(0) != 0);
  const MemoryMeter meter;
  for (auto _ : state) {
    std::string id, ufts;
    raw.Exec("BEGIN IMMEDIATE");
    for (const Step& step : steps) {
      std::string sql = step.sql;
      ReplaceAll(sql, "{ID}", id);
      ReplaceAll(sql, "{UFTS}", ufts);
      // A replay that misses its row would measure less work than the component did.
      if (raw.Run(sql, step.reads_back_id ? &id : nullptr, &ufts) < 1 && step.must_change) {
        state.SkipWithError(("replay hit no row: " + sql).c_str());
        return;
      }
    }
    raw.Exec("COMMIT");
  }
  ReportMemory(state, meter);
  state.counters["statements"] = static_cast<double>(steps.size());
}
// Argument: 0 prepares every statement anew, 1 keeps compiled statements by text.
BENCHMARK(BM_RawSqliteRoundTrip)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tamsel::bench

BENCHMARK_MAIN();
