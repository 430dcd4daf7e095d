// pricelist export to a CSV file through the tool's own command, run in this process, against
// a raw SQLite loop writing the same columns as the sqlite3 shell's CSV mode does (its number
// texts, its quoting, large buffered writes): the ratio of the two from one run, medians of
// interleaved repetitions.
//
//   export_bench [--rows=N]   (default 1,000,000; the generated database is cached under /tmp)

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "db/sqlite_functions.h"
#include "support/trial_db.h"

namespace tamsel::bench {
namespace {

constexpr const char* kColumns =
    "autoid, cVenCode, cInvCode, iSupplyType, dEnableDate, dDisableDate, bPromotion, cExch_Name, "
    "cMemo, bTaxCost, cTermCode, iLowerLimit, iUpperLimit, iUnitPrice, iTaxRate, iTaxUnitPrice, "
    "cFree1, cFree2, cFree3, cFree4, cFree5, cFree6, cFree7, cFree8, cFree9, cFree10";

std::string OutputPath(const char* side) {
  return (std::filesystem::temp_directory_path() / (std::string("tamsel-export-") + side + ".csv"))
      .string();
}

// The command line as main parses it, the action run as main runs it.
int RunTool(std::vector<std::string> args) {
  cli::GlobalOptions options;
  cli::Action action;
  CLI::App app;
  app.fallthrough();
  app.add_option("--db", options.db_path);
  app.add_flag("--json", options.json);
  CLI::App* rule = app.add_subcommand("rule");
  cli::AddListCommands(app, *rule, options, action);
  cli::AddPriceListCommands(app, options, action);
  std::reverse(args.begin(), args.end());  // CLI11 takes the arguments last first
  app.parse(args);
  return action();
}

// sqlite3's CSV mode: NULL empty, numbers as the engine prints them, texts quoted when they
// hold a separator, a quote or a line break; written in large pieces.
void RawCsv(sqlite3* db, const std::string& path) {
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) throw std::runtime_error("cannot write " + path);
  sqlite3_stmt* stmt = nullptr;
  const std::string sql = std::string("select ") + kColumns + " from ven_inv_price order by autoid";
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
    throw std::runtime_error(sqlite3_errmsg(db));
  }
  std::string text;
  const int columns = sqlite3_column_count(stmt);
  for (int c = 0; c < columns; ++c)
    text += std::string(c ? "," : "") + sqlite3_column_name(stmt, c);
  text += "\r\n";
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    for (int c = 0; c < columns; ++c) {
      if (c > 0) text += ',';
      if (sqlite3_column_type(stmt, c) == SQLITE_NULL) continue;
      const auto* cell = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
      const std::string_view value(cell, static_cast<size_t>(sqlite3_column_bytes(stmt, c)));
      if (value.find_first_of(",\"\r\n") == std::string_view::npos) {
        text += value;
        continue;
      }
      text += '"';
      for (const char ch : value) text += ch == '"' ? "\"\"" : std::string_view(&ch, 1);
      text += '"';
    }
    text += "\r\n";
    if (text.size() >= (1 << 20)) {
      std::fwrite(text.data(), 1, text.size(), out);
      text.clear();
    }
  }
  sqlite3_finalize(stmt);
  std::fwrite(text.data(), 1, text.size(), out);
  if (std::fclose(out) != 0) throw std::runtime_error("cannot write " + path);
}

class MedianReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        median[run.run_name.function_name] = run.GetAdjustedRealTime();
        cpu[run.run_name.function_name] = run.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> median, cpu;
};

}  // namespace
}  // namespace tamsel::bench

int main(int argc, char** argv) {
  using namespace tamsel::bench;
  int64_t rows = 1000000;
  std::vector<std::string> flags = {"--benchmark_repetitions=3",
                                    "--benchmark_enable_random_interleaving=true",
                                    "--benchmark_report_aggregates_only=true"};
  std::vector<char*> rest = {argv[0]};
  for (auto& flag : flags) rest.push_back(flag.data());
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--rows=", 0) == 0) {
      rows = std::stoll(arg.substr(7));
    } else {
      rest.push_back(argv[i]);  // after the defaults: the caller's flags win
    }
  }
  int rest_count = static_cast<int>(rest.size());
  benchmark::Initialize(&rest_count, rest.data());

  tamsel::ConfigureSqliteForConcurrentReaders();
  const TrialDb db = CachedTrialDb(rows, 7);
  std::fprintf(stderr, "%lld price rows\n", static_cast<long long>(db.price_rows));
  sqlite3* raw = nullptr;
  if (sqlite3_open_v2(db.path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
      tamsel::detail::RegisterSqliteFunctions(raw) != SQLITE_OK) {
    std::fprintf(stderr, "cannot open %s\n", db.path.c_str());
    return 1;
  }

  benchmark::RegisterBenchmark(
      "pricelist_export_csv",
      [&](benchmark::State& state) {
        for (auto _ : state) {
          if (RunTool({"pricelist", "export", "--db", db.path, "-o", OutputPath("tool")}) != 0) {
            state.SkipWithError("the export failed");
          }
        }
        state.SetItemsProcessed(state.iterations() * db.price_rows);
      })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Iterations(1);
  benchmark::RegisterBenchmark("raw_sqlite_csv",
                               [&](benchmark::State& state) {
                                 for (auto _ : state) RawCsv(raw, OutputPath("raw"));
                                 state.SetItemsProcessed(state.iterations() * db.price_rows);
                               })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Iterations(1);

  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  // The tool syncs its file before renaming it into place and the loop does not, so on a busy
  // disk the wall-clock ratio grows with the sync; the CPU ratio shows the writing alone.
  const auto ratio = [](std::map<std::string, double>& of) {
    const double tool = of["pricelist_export_csv"], base = of["raw_sqlite_csv"];
    return tool > 0 && base > 0 ? tool / base : -1;
  };
  std::printf("\npricelist export -o FILE.csv / raw SQLite CSV loop: %.2f wall, %.2f CPU\n",
              ratio(reporter.median), ratio(reporter.cpu));
  benchmark::Shutdown();
  sqlite3_close(raw);
  for (const char* side : {"tool", "raw"}) std::filesystem::remove(OutputPath(side));
  return 0;
}
