// A price list of generated rows imported by `tamsel pricelist import` (every check, the
// duplicate test included), against a raw SQLite loop inserting the same rows with one compiled
// statement in one transaction. Both start from the same database with master data and an empty
// price list, and both read the same CSV file; the closing lines give the ratios of the medians,
// of wall time and of CPU time (the tool's whole process).
//
// Rows: --rows=N (default 100000). The tool is the one built beside this program.

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/sqlite_functions.h"
#include "support/run_tool.h"
#include "tamsel/tamsel.h"

namespace tamsel::bench {

namespace {

namespace fs = std::filesystem;

int rows = 100000;

int RunTool(std::vector<std::string> args) {
  return bench::RunToolProcess(TAMSEL_CLI_PATH, std::move(args));
}

// CPU time of the finished child processes, in milliseconds: the tool's own, wherever the
// shared machine's load puts its waits.
double ChildCpuMs() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// The generated database without its price list, and the list as the tool exports it.
struct Files {
  fs::path dir = fs::temp_directory_path() / ("tamsel-import-bench-" + std::to_string(rows));
  fs::path base = dir / "base.db", csv = dir / "list.csv", work = dir / "work.db";

  Files() {
    if (fs::exists(csv)) return;
    fs::create_directories(dir);
    const std::string db = base.string();
    if (RunTool({"init", "--db", db}) != 0 ||
        RunTool({"gen", "--db", db, "--rows", std::to_string(rows), "--seed", "1"}) != 0 ||
        RunTool({"pricelist", "export", "--db", db, "--csv", "-o", csv.string()}) != 0) {
      throw std::runtime_error("cannot generate " + db);
    }
    Connection conn;
    conn.Open("Provider=SQLite;Data Source=" + db);
    conn.Execute("delete from ven_inv_price");
    conn.Close();
  }

  // A fresh copy of the base database to import into.
  std::string Fresh() const {
    for (const char* suffix : {"-wal", "-shm"}) fs::remove(work.string() + suffix);
    fs::copy_file(base, work, fs::copy_options::overwrite_existing);
    return work.string();
  }
};

const Files& TheFiles() {
  static const Files files;
  return files;
}

// The CSV's cells; the generated list has no quoted cells.
std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> cells;
  size_t at = 0;
  for (size_t comma; (comma = line.find(',', at)) != std::string::npos; at = comma + 1) {
    cells.push_back(line.substr(at, comma - at));
  }
  cells.push_back(line.substr(at));
  return cells;
}

void RawInsert(const std::string& db_path, const fs::path& csv) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(db_path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
      detail::RegisterSqliteFunctions(db) != SQLITE_OK) {
    throw std::runtime_error("cannot open " + db_path);
  }
  // The settings of the component's driver.
  sqlite3_exec(db,
               "PRAGMA synchronous=FULL; PRAGMA cache_size=-32768; PRAGMA temp_store=MEMORY; "
               "BEGIN IMMEDIATE",
               nullptr, nullptr, nullptr);
  std::ifstream in(csv, std::ios::binary);
  std::string line;
  std::getline(in, line);
  std::vector<std::string> names = Split(line);
  names.erase(names.begin());  // autoid: the database assigns it
  std::string sql = "insert into ven_inv_price (", marks;
  for (const auto& name : names) {
    sql += (marks.empty() ? "" : ",") + (name == "cExchName" ? std::string("cExch_Name") : name);
    marks += marks.empty() ? "?" : ",?";
  }
  sql += ") values (" + marks + ")";
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
    throw std::runtime_error(sqlite3_errmsg(db));
  while (std::getline(in, line)) {
    const std::vector<std::string> cells = Split(line);
    for (size_t c = 1; c < cells.size(); ++c) {
      const int at = static_cast<int>(c);
      if (cells[c].empty()) {
        sqlite3_bind_null(stmt, at);
      } else {
        sqlite3_bind_text(stmt, at, cells[c].data(), static_cast<int>(cells[c].size()),
                          SQLITE_TRANSIENT);
      }
    }
    if (sqlite3_step(stmt) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db));
    sqlite3_reset(stmt);
  }
  sqlite3_finalize(stmt);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close_v2(db);
}

void BM_ToolPriceListImport(benchmark::State& state) {
  const Files& files = TheFiles();
  double cpu_ms = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const std::string db = files.Fresh();
    state.ResumeTiming();
    const double before = ChildCpuMs();
    if (RunTool({"pricelist", "import", files.csv.string(), "--db", db}) != 0) {
      state.SkipWithError("the import refused rows");
      return;
    }
    cpu_ms += ChildCpuMs() - before;
  }
  state.counters["rows"] = rows;
  state.counters["cpu_ms"] = cpu_ms / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ToolPriceListImport)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RawSqliteInsert(benchmark::State& state) {
  const Files& files = TheFiles();
  for (auto _ : state) {
    state.PauseTiming();
    const std::string db = files.Fresh();
    state.ResumeTiming();
    RawInsert(db, files.csv);
  }
  state.counters["rows"] = rows;
}
BENCHMARK(BM_RawSqliteInsert)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps every repetition's time, then prints the ratio of the medians.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration) continue;
      const std::string& name = run.run_name.function_name;
      times_[name].push_back(run.GetAdjustedRealTime());
      // The tool runs in a child process, the raw loop in this one.
      const auto child = run.counters.find("cpu_ms");
      cpu_[name].push_back(child != run.counters.end() ? child->second.value
                                                       : run.GetAdjustedCPUTime());
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (auto* times : {&times_, &cpu_}) {
      const double tool = Median(*times, "BM_ToolPriceListImport"),
                   raw = Median(*times, "BM_RawSqliteInsert");
      if (tool > 0 && raw > 0) {
        std::printf(
            "pricelist import / raw SQLite insert of %d rows, %s: %.0f ms / %.0f ms = %.2f\n", rows,
            times == &times_ ? "wall" : "CPU", tool, raw, tool / raw);
      }
    }
  }

 private:
  using Times = std::map<std::string, std::vector<double>>;
  static double Median(Times& times, const std::string& name) {
    auto& v = times[name];
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  }
  Times times_, cpu_;  // per benchmark, every repetition's
};

}  // namespace
}  // namespace tamsel::bench

int main(int argc, char** argv) {
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--rows=", 7) == 0) {
      tamsel::bench::rows = std::atoi(argv[i] + 7);
    } else {
      args.push_back(argv[i]);
    }
  }
  static char repetitions[] = "--benchmark_repetitions=3";
  static char interleave[] = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, {repetitions, interleave});
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  tamsel::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
