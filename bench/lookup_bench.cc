// The look-ups against raw SQLite running the very same SQL on the same database, at three
// sizes of price list. Prints the manager/raw ratio per operation and size, and how each
// operation's cost grows from the smallest to the largest list.
//
//   lookup_bench [--sizes=10000,100000,1000000] [--plans] [benchmark flags]

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "services/tsql_rewriter.h"
#include "support/allow_all.h"
#include "support/memory_meter.h"
#include "support/raw_sqlite.h"
#include "support/trial_db.h"
#include "tamsel/tamsel.h"

namespace tamsel::bench {
namespace {

constexpr uint32_t kSeed = 7;
constexpr int kSamples = 32;  // argument sets cycled through, so no single row stays hot
constexpr double kQuantity = 150;
const Date kDay = Date::FromYmd(2026, 11, 15);

struct Sample {
  int32_t rule_id;
  std::string ven, inv;
};

using Call = std::function<void(PriceRuleManager&, const Sample&)>;

struct Operation {
  const char* name;
  Call call;
};

const Operation kOperations[] = {
    {"GetVenInvPriceRule",
     [](PriceRuleManager& m, const Sample& s) {
       benchmark::DoNotOptimize(m.GetVenInvPriceRule(s.ven, s.inv, kDay));
     }},
    {"GetVenInvPriceRuleItem",
     [](PriceRuleManager& m, const Sample& s) {
       benchmark::DoNotOptimize(
           m.GetVenInvPriceRuleItem(s.ven, s.inv, kDay, kQuantity, "", 1, "<z cfree1=''/>"));
     }},
    {"ComparePrice",
     [](PriceRuleManager& m, const Sample& s) {
       benchmark::DoNotOptimize(m.ComparePrice(s.inv, kQuantity));
     }},
    {"LoadVenInvPriceRule",
     [](PriceRuleManager& m, const Sample& s) {
       benchmark::DoNotOptimize(m.LoadVenInvPriceRule(s.rule_id));
     }},
};

// One generated database with a manager and a raw handle on it, and for every operation and
// sample the rewritten statements the manager ran.
struct Fixture {
  TrialDb db;
  PriceRuleManager manager;
  std::unique_ptr<RawSqlite> raw;
  std::vector<Sample> samples;
  std::map<std::string, std::vector<std::vector<std::string>>> raw_sql;  // op -> sample -> sql
};

std::unique_ptr<Fixture> MakeFixture(int64_t rows) {
  auto f = std::make_unique<Fixture>();
  f->db = CachedTrialDb(rows, kSeed);
  const std::string text = "Provider=SQLite;Data Source=" + f->db.path;
  auto login = std::make_shared<SimpleLogin>(text, kDay, std::make_shared<AllowAll>());
  if (!VarToBool(f->manager.InitManager(login, MakeSysInfo(kDay)))) {
    throw std::runtime_error("InitManager failed on " + f->db.path);
  }
  f->raw = std::make_unique<RawSqlite>(f->db.path);

  Connection conn;
  conn.Open(text);
  const int64_t rules =
      VarToLng(conn.OpenRecordset("select count(*) as n from ven_inv_price_rule")->Fields("n"));
  const int64_t step = std::max<int64_t>(1, rules / kSamples);
  auto rs = conn.OpenRecordset("select id,cVenCode,cInvCode from ven_inv_price_rule where id % " +
                               std::to_string(step) + " = 0 order by id limit " +
                               std::to_string(kSamples));
  for (; !rs->Eof(); rs->MoveNext()) {
    f->samples.push_back({VarToLng(rs->Fields("id")), VarToStr(rs->Fields("cVenCode")),
                          VarToStr(rs->Fields("cInvCode"))});
  }

  for (const auto& op : kOperations) {
    auto& per_sample = f->raw_sql[op.name];
    for (const auto& sample : f->samples) {
      std::vector<std::string> statements;
      {
        ScopedStatementObserver observer(
            [&](std::string_view sql) { statements.push_back(detail::RewriteTsql(sql)); });
        op.call(f->manager, sample);
      }
      per_sample.push_back(std::move(statements));
    }
  }
  return f;
}

void PrintPlans(const Fixture& f) {
  for (const auto& op : kOperations) {
    std::printf("\n-- %s (%lld rows)\n", op.name, static_cast<long long>(f.db.price_rows));
    for (const auto& sql : f.raw_sql.at(op.name).front()) {
      std::printf("%s\n", sql.c_str());
      for (const auto& line : f.raw->QueryPlan(sql)) std::printf("   %s\n", line.c_str());
    }
  }
}

// Peak memory above the level at the start (C++ heap and SQLite), and heap bytes per call.
void ReportMemory(benchmark::State& state, const MemoryMeter& meter) {
  state.counters["peak_kB"] = static_cast<double>(meter.PeakBytes()) / 1024.0;
  state.counters["heap_B/call"] = benchmark::Counter(static_cast<double>(meter.AllocatedBytes()),
                                                     benchmark::Counter::kAvgIterations);
}

void RegisterFor(Fixture& f, int64_t size) {
  for (const auto& op : kOperations) {
    const std::string suffix = std::string(op.name) + "/" + std::to_string(size);
    benchmark::RegisterBenchmark(("manager/" + suffix).c_str(), [&f, &op](benchmark::State& state) {
      size_t i = 0;
      const MemoryMeter meter;
      for (auto _ : state) {
        op.call(f.manager, f.samples[i++ % f.samples.size()]);
      }
      ReportMemory(state, meter);
    })->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("raw/" + suffix).c_str(), [&f, &op](benchmark::State& state) {
      const auto& per_sample = f.raw_sql.at(op.name);
      size_t i = 0;
      const MemoryMeter meter;
      for (auto _ : state) {
        for (const auto& sql : per_sample[i++ % per_sample.size()]) {
          benchmark::DoNotOptimize(f.raw->Run(sql));
        }
      }
      ReportMemory(state, meter);
    })->Unit(benchmark::kMicrosecond);
  }
}

// Keeps every run's time per iteration for the summary.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& run : runs) {
      if (run.error_occurred) continue;
      times[run.benchmark_name()] = run.GetAdjustedRealTime();
      const auto peak = run.counters.find("peak_kB");
      if (peak != run.counters.end()) peaks[run.benchmark_name()] = peak->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
  std::map<std::string, double> peaks;  // kB
};

// One line per operation: manager/raw per size and, last, how the manager's figure grows from
// the smallest to the largest price list.
void PrintSummary(const char* title, const std::map<std::string, double>& values,
                  const std::vector<int64_t>& sizes) {
  std::printf("\n%-24s", title);
  for (int64_t size : sizes) std::printf("%12lld", static_cast<long long>(size));
  std::printf("%18s\n", "largest/smallest");
  auto find = [&](const std::string& side, const char* op, int64_t size) {
    const auto it = values.find(side + "/" + op + "/" + std::to_string(size));
    return it == values.end() ? -1.0 : it->second;
  };
  for (const auto& op : kOperations) {
    std::printf("%-24s", op.name);
    for (int64_t size : sizes) {
      const double m = find("manager", op.name, size), r = find("raw", op.name, size);
      if (m < 0 || r <= 0) {
        std::printf("%12s", "-");
      } else {
        std::printf("%12.2f", m / r);
      }
    }
    const double first = find("manager", op.name, sizes.front());
    const double last = find("manager", op.name, sizes.back());
    if (first > 0 && last >= 0) {
      std::printf("%18.2f\n", last / first);
    } else {
      std::printf("%18s\n", "-");
    }
  }
}

std::vector<int64_t> ParseSizes(const std::string& text) {
  std::vector<int64_t> sizes;
  size_t at = 0;
  while (at < text.size()) {
    const size_t comma = text.find(',', at);
    sizes.push_back(std::stoll(text.substr(at, comma - at)));
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  return sizes;
}

}  // namespace
}  // namespace tamsel::bench

int main(int argc, char** argv) {
  using namespace tamsel::bench;
  std::vector<int64_t> sizes = {10000, 100000, 1000000};
  bool plans = false;
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--sizes=", 0) == 0) {
      sizes = ParseSizes(arg.substr(8));
    } else if (arg == "--plans") {
      plans = true;
    } else {
      rest.push_back(argv[i]);
    }
  }
  int rest_count = static_cast<int>(rest.size());
  benchmark::Initialize(&rest_count, rest.data());

  std::vector<std::unique_ptr<Fixture>> fixtures;
  for (int64_t size : sizes) {
    fixtures.push_back(MakeFixture(size));
    std::fprintf(stderr, "%lld: %lld price rows, %d items\n", static_cast<long long>(size),
                 static_cast<long long>(fixtures.back()->db.price_rows), fixtures.back()->db.items);
    RegisterFor(*fixtures.back(), size);
  }
  if (plans && !fixtures.empty()) PrintPlans(*fixtures.back());

  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintSummary("time, manager / raw", reporter.times, sizes);
  PrintSummary("peak memory, manager / raw", reporter.peaks, sizes);
  benchmark::Shutdown();
  for (auto& f : fixtures) f->manager.ExitManager();
  return 0;
}
