// The look-ups (P) against raw SQLite running the very same statements on the same database:
// R1 prepares, steps and finalises each statement text per call, R2 keeps one compiled
// statement per shape and binds the values. Keys are drawn at random, one in ten of them
// missing. Data sets: the generator's skewed data at several sizes, and fixed vendor counts per
// item at the largest size. Repetitions are interleaved; the summaries use their medians.
// ComparePrice has a third baseline, H: a hand-written SQLite statement that finds the same
// winner's autoid, bound per key.
//
//   lookup_bench [--sizes=10000,100000,1000000] [--vendors=10,200] [--fixed-rows=1000000]
//                [--samples=4096] [--no-threads] [--plans] [benchmark flags]

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/tsql_rewriter.h"
#include "support/allow_all.h"
#include "support/memory_meter.h"
#include "support/raw_sqlite.h"
#include "support/trial_db.h"
#include "tamsel/tamsel.h"

namespace tamsel::bench {
namespace {

constexpr uint32_t kSeed = 7;
size_t kSamples = 4096;  // drawn at random, so the caches see real key variety
constexpr double kMissShare = 0.10;
constexpr double kQuantity = 150;
const Date kDay = Date::FromYmd(2026, 11, 15);

struct Sample {
  int32_t rule_id;
  std::string rule_ven, rule_inv;  // a stored rule's keys
  std::string ven, inv;            // a price-list row's keys
};

using Call = std::function<void(PriceRuleManager&, const Sample&)>;

struct Operation {
  const char* name;
  Call call;
};

const Operation kOperations[] = {
    {"GetVenInvPriceRule",
     [](PriceRuleManager& m, const Sample& s) {
       benchmark::DoNotOptimize(m.GetVenInvPriceRule(s.rule_ven, s.rule_inv, kDay));
     }},
    {"GetVenInvPriceRuleItem",
     [](PriceRuleManager& m, const Sample& s) {
       benchmark::DoNotOptimize(m.GetVenInvPriceRuleItem(s.ven, s.inv, kDay, kQuantity));
     }},
    {"GetVenInvPriceRuleItem+xml",
     [](PriceRuleManager& m, const Sample& s) {
       // An unknown item has no free-item settings: the look-up raises, as callers see it.
       try {
         benchmark::DoNotOptimize(m.GetVenInvPriceRuleItem(s.ven, s.inv, kDay, kQuantity, "", 1,
                                                           "<z cfree1='RED' cfree2='A'/>"));
       } catch (const ComponentError&) {
       }
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

// ComparePrice's winner written by hand, as directly as SQLite answers it: a row of an offer
// (vendor, tier, currency, free items) takes part unless a valid row of the offer is enabled
// later, and the cheapest in local money wins. ?1 rate day, ?2 item, ?3 quantity, ?4 today.
std::string HandComparePrice() {
  std::string same_free;
  for (int n = 1; n <= 10; ++n) {
    const std::string column = "cFree" + std::to_string(n);
    same_free += " and ifnull(q." + column + ",'') COLLATE tamsel_text=ifnull(p." + column + ",'')";
  }
  return "select p.autoid from ven_inv_price p left join Vendor v on v.cVenCode=p.cVenCode "
         "left join ForeignCurrency c on c.cExch_Name=p.cExch_Name "
         "left join exch e on e.cexch_name=c.cExch_Name and e.itype=1 and e.cdate=?1 "
         "where p.cInvCode=?2 and p.iSupplyType=1 and p.iLowerLimit<=?3 and p.dEnableDate<=?4 "
         "and (p.dDisableDate is null or p.dDisableDate>?4) and ifnull(p.cVenCode,'')<>'' "
         "and ifnull(v.dEndDate,'9999-12-31')>?4 and p.cExch_Name is not null "
         "and not exists (select 1 from ven_inv_price q where q.cInvCode=p.cInvCode "
         "and q.iSupplyType=p.iSupplyType and q.cVenCode=p.cVenCode "
         "and q.dEnableDate>p.dEnableDate and q.dEnableDate<=?4 "
         "and (q.dDisableDate is null or q.dDisableDate>?4) and q.iLowerLimit=p.iLowerLimit "
         "and q.cExch_Name=p.cExch_Name" +
         same_free +
         ") order by case when c.iOtherUsed=-1 or ifnull(e.nflat,0)<>0 then 0 else 1 end,"
         "case ifnull(c.bCal,1) when 1 then p.iUnitPrice*ifnull(nullif(e.nflat,0),1) "
         "else p.iUnitPrice/ifnull(nullif(e.nflat,0),1) end,"
         "p.dEnableDate desc,p.iLowerLimit desc,p.autoid desc limit 1";
}

std::vector<detail::LiftedValue> HandValues(const Sample& s) {
  auto text = [](std::string value) {
    detail::LiftedValue v;
    v.text = std::move(value);
    return v;
  };
  detail::LiftedValue quantity;
  quantity.type = detail::LiftedValue::Type::kReal;
  quantity.real = kQuantity;
  return {text(kDay.DottedDate()), text(s.inv), quantity, text(kDay.IsoDate())};
}

// A statement the manager ran, rewritten for SQLite whole (R1) and as a shape with values (R2).
struct Statement {
  std::string sql;
  std::string shape;
  std::vector<detail::LiftedValue> values;
};

struct Dataset {
  std::string name;
  int64_t rows;
  int32_t vendors_per_item;  // 0: skewed
};

constexpr int kThreads = 2;

struct Fixture {
  Dataset set;
  TrialDb db;
  std::unique_ptr<PriceRuleManager> managers[kThreads];
  std::unique_ptr<RawSqlite> raw;
  std::unique_ptr<RawSqlite> raws[kThreads];  // for the reader threads
  std::vector<Sample> samples;
  std::map<std::string, std::vector<std::vector<Statement>>> statements;  // op -> sample -> run
  std::vector<std::vector<detail::LiftedValue>> hand_values;              // sample -> H's values
};

int64_t ScalarInt(Connection& conn, const std::string& sql) {
  auto rs = conn.OpenRecordset(sql);
  return rs->Eof() ? 0 : static_cast<int64_t>(VarToDbl(rs->Fields(rs->FieldName(0))));
}

std::vector<Sample> DrawSamples(Connection& conn) {
  std::mt19937 random(kSeed);
  const int64_t max_row = ScalarInt(conn, "select max(autoid) from ven_inv_price");
  const int64_t max_rule = ScalarInt(conn, "select max(id) from ven_inv_price_rule");
  std::vector<Sample> samples;
  for (size_t i = 0; i < kSamples; ++i) {
    Sample s;
    const bool miss = std::uniform_real_distribution<double>(0, 1)(random) < kMissShare;
    auto row = conn.OpenRecordset(
        "select cVenCode,cInvCode from ven_inv_price where autoid>=" +
        std::to_string(std::uniform_int_distribution<int64_t>(1, max_row)(random)) + " limit 1");
    auto rule = conn.OpenRecordset(
        "select id,cVenCode,cInvCode from ven_inv_price_rule where id>=" +
        std::to_string(std::uniform_int_distribution<int64_t>(1, max_rule)(random)) + " limit 1");
    s.ven = VarToStr(row->Fields("cVenCode"));
    s.inv = VarToStr(row->Fields("cInvCode"));
    s.rule_id = VarToLng(rule->Fields("id"));
    s.rule_ven = VarToStr(rule->Fields("cVenCode"));
    s.rule_inv = VarToStr(rule->Fields("cInvCode"));
    if (miss) {  // codes and an id that no row has
      s.inv = s.rule_inv = "TX" + std::to_string(i);
      s.rule_id = static_cast<int32_t>(max_rule + 1 + static_cast<int64_t>(i));
    }
    samples.push_back(std::move(s));
  }
  return samples;
}

std::unique_ptr<Fixture> MakeFixture(const Dataset& set) {
  auto f = std::make_unique<Fixture>();
  f->set = set;
  f->db = CachedTrialDb(set.rows, kSeed, set.vendors_per_item);
  const std::string text = "Provider=SQLite;Data Source=" + f->db.path;
  for (auto& manager : f->managers) {
    manager = std::make_unique<PriceRuleManager>();
    auto login = std::make_shared<SimpleLogin>(text, kDay, std::make_shared<AllowAll>());
    if (!VarToBool(manager->InitManager(login, MakeSysInfo(kDay)))) {
      throw std::runtime_error("InitManager failed on " + f->db.path);
    }
  }
  f->raw = std::make_unique<RawSqlite>(f->db.path);
  for (auto& raw : f->raws) raw = std::make_unique<RawSqlite>(f->db.path);
  {
    Connection conn;
    conn.Open(text);
    f->samples = DrawSamples(conn);
  }
  for (const auto& sample : f->samples) f->hand_values.push_back(HandValues(sample));
  for (const auto& op : kOperations) {
    auto& per_sample = f->statements[op.name];
    for (const auto& sample : f->samples) {
      std::vector<Statement> run;
      {
        ScopedStatementObserver observer([&](std::string_view sql) {
          detail::StatementShape shape = detail::LiftLiterals(sql);
          run.push_back(
              {detail::RewriteTsql(sql), detail::RewriteTsql(shape.text), std::move(shape.values)});
        });
        op.call(*f->managers[0], sample);
      }
      per_sample.push_back(std::move(run));
    }
  }
  return f;
}

void PrintPlans(const Fixture& f) {
  for (const auto& op : kOperations) {
    std::printf("\n-- %s (%s)\n", op.name, f.set.name.c_str());
    for (const auto& statement : f.statements.at(op.name).front()) {
      std::printf("%s\n", statement.sql.c_str());
      for (const auto& line : f.raw->QueryPlan(statement.sql)) std::printf("   %s\n", line.c_str());
    }
  }
}

void ReportMemory(benchmark::State& state, const MemoryMeter& meter) {
  state.counters["peak_kB"] = static_cast<double>(meter.PeakBytes()) / 1024.0;
}

std::string Name(const char* side, const Fixture& f, const char* op) {
  return std::string(side) + "/" + f.set.name + "/" + op;
}

void RegisterFor(Fixture& f, bool threads) {
  for (const auto& op : kOperations) {
    benchmark::RegisterBenchmark(Name("P", f, op.name).c_str(), [&f, &op](benchmark::State& state) {
      size_t i = 0;
      const MemoryMeter meter;
      for (auto _ : state) op.call(*f.managers[0], f.samples[i++ % f.samples.size()]);
      ReportMemory(state, meter);
    })->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(Name("R1", f, op.name).c_str(), [&f,
                                                                  &op](benchmark::State& state) {
      const auto& runs = f.statements.at(op.name);
      size_t i = 0;
      const MemoryMeter meter;
      for (auto _ : state) {
        for (const auto& s : runs[i++ % runs.size()]) benchmark::DoNotOptimize(f.raw->Run(s.sql));
      }
      ReportMemory(state, meter);
    })->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(Name("R2", f, op.name).c_str(), [&f,
                                                                  &op](benchmark::State& state) {
      const auto& runs = f.statements.at(op.name);
      size_t i = 0;
      const MemoryMeter meter;
      for (auto _ : state) {
        for (const auto& s : runs[i++ % runs.size()]) {
          benchmark::DoNotOptimize(f.raw->RunBound(s.shape, s.values));
        }
      }
      ReportMemory(state, meter);
    })->Unit(benchmark::kMicrosecond);
    if (std::string_view(op.name) == "ComparePrice") {
      benchmark::RegisterBenchmark(Name("H", f, op.name).c_str(), [&f](benchmark::State& state) {
        const std::string sql = HandComparePrice();
        size_t i = 0;
        for (auto _ : state) {
          benchmark::DoNotOptimize(f.raw->RunBound(sql, f.hand_values[i++ % f.hand_values.size()]));
        }
      })->Unit(benchmark::kMicrosecond);
    }
    if (!threads) continue;
    // Look-ups per second with one reader, and with two, each on a manager of its own; and the
    // same for raw SQLite (R2), each thread on a handle of its own.
    benchmark::RegisterBenchmark(Name("T", f, op.name).c_str(),
                                 [&f, &op](benchmark::State& state) {
                                   PriceRuleManager& manager = *f.managers[state.thread_index()];
                                   size_t i = static_cast<size_t>(state.thread_index()) *
                                              f.samples.size() / kThreads;
                                   for (auto _ : state)
                                     op.call(manager, f.samples[i++ % f.samples.size()]);
                                   state.SetItemsProcessed(state.iterations());
                                 })
        ->Unit(benchmark::kMicrosecond)
        ->UseRealTime()
        ->Threads(1)
        ->Threads(kThreads);
    benchmark::RegisterBenchmark(Name("TR", f, op.name).c_str(),
                                 [&f, &op](benchmark::State& state) {
                                   RawSqlite& raw = *f.raws[state.thread_index()];
                                   const auto& runs = f.statements.at(op.name);
                                   size_t i = static_cast<size_t>(state.thread_index()) *
                                              runs.size() / kThreads;
                                   for (auto _ : state) {
                                     for (const auto& s : runs[i++ % runs.size()]) {
                                       benchmark::DoNotOptimize(raw.RunBound(s.shape, s.values));
                                     }
                                   }
                                   state.SetItemsProcessed(state.iterations());
                                 })
        ->Unit(benchmark::kMicrosecond)
        ->UseRealTime()
        ->Threads(1)
        ->Threads(kThreads);
  }
}

// The median of every benchmark's repetitions: time per call (µs), peak memory (kB) and
// look-ups per second.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& run : runs) {
      if (run.error_occurred) continue;
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      const std::string name = run.run_name.str();
      time[name] = run.GetAdjustedRealTime();
      cpu[name] = run.GetAdjustedCPUTime();
      for (const auto& [counter, value] : run.counters) values[counter][name] = value.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  double Get(const std::map<std::string, double>& from, const std::string& name) const {
    const auto it = from.find(name);
    return it == from.end() ? -1 : it->second;
  }
  std::map<std::string, double> time;
  std::map<std::string, double> cpu;  // steadier than the wall clock on a busy machine
  std::map<std::string, std::map<std::string, double>> values;
};

std::string Ratio(double a, double b) {
  if (a < 0 || b <= 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", a / b);
  return text;
}

void PrintSummary(const MedianReporter& r, const std::vector<std::unique_ptr<Fixture>>& fixtures,
                  const std::vector<int64_t>& sizes, const std::vector<int32_t>& vendors,
                  bool threads) {
  const auto& peak = r.values.count("peak_kB") ? r.values.at("peak_kB") : decltype(r.time){};
  std::printf("\n%-28s %-16s %10s %8s %8s %8s %8s %12s\n", "operation", "data", "P us", "P/R1",
              "P/R2", "cpu P/R2", "P/H", "peak P/R1");
  for (const auto& f : fixtures) {
    for (const auto& op : kOperations) {
      const double p = r.Get(r.time, Name("P", *f, op.name));
      std::printf(
          "%-28s %-16s %10.1f %8s %8s %8s %8s %12s\n", op.name, f->set.name.c_str(), p,
          Ratio(p, r.Get(r.time, Name("R1", *f, op.name))).c_str(),
          Ratio(p, r.Get(r.time, Name("R2", *f, op.name))).c_str(),
          Ratio(r.Get(r.cpu, Name("P", *f, op.name)), r.Get(r.cpu, Name("R2", *f, op.name)))
              .c_str(),
          Ratio(p, r.Get(r.time, Name("H", *f, op.name))).c_str(),
          Ratio(r.Get(peak, Name("P", *f, op.name)), r.Get(peak, Name("R1", *f, op.name))).c_str());
    }
  }
  auto find = [&](const std::string& name) -> const Fixture* {
    for (const auto& f : fixtures) {
      if (f->set.name == name) return f.get();
    }
    return nullptr;
  };
  const Fixture* smallest =
      sizes.empty() ? nullptr : find("skewed-" + std::to_string(sizes.front()));
  const Fixture* largest = sizes.empty() ? nullptr : find("skewed-" + std::to_string(sizes.back()));
  const Fixture* few =
      vendors.size() < 2 ? nullptr : find("vendors-" + std::to_string(vendors.front()));
  const Fixture* many =
      vendors.size() < 2 ? nullptr : find("vendors-" + std::to_string(vendors.back()));
  std::printf("\n%-28s %16s %16s %16s %16s\n", "operation (P)", "largest/smallest",
              "most/fewest vend.", "2 thr/1 thr", "R2: 2 thr/1 thr");
  const auto& rate =
      r.values.count("items_per_second") ? r.values.at("items_per_second") : decltype(r.time){};
  for (const auto& op : kOperations) {
    auto time = [&](const Fixture* f) { return f ? r.Get(r.time, Name("P", *f, op.name)) : -1; };
    auto scaling = [&](const char* side) -> std::string {
      if (!threads || !largest) return "-";
      const std::string base = Name(side, *largest, op.name) + "/real_time/threads:";
      return Ratio(r.Get(rate, base + std::to_string(kThreads)), r.Get(rate, base + "1"));
    };
    std::printf("%-28s %16s %16s %16s %16s\n", op.name,
                Ratio(time(largest), time(smallest)).c_str(), Ratio(time(many), time(few)).c_str(),
                scaling("T").c_str(), scaling("TR").c_str());
  }
}

template <typename T>
std::vector<T> ParseList(const std::string& text) {
  std::vector<T> list;
  size_t at = 0;
  while (at < text.size()) {
    const size_t comma = text.find(',', at);
    list.push_back(static_cast<T>(std::stoll(text.substr(at, comma - at))));
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  return list;
}

}  // namespace
}  // namespace tamsel::bench

int main(int argc, char** argv) {
  using namespace tamsel::bench;
  std::vector<int64_t> sizes = {10000, 100000, 1000000};
  std::vector<int32_t> vendors = {10, 200};
  int64_t fixed_rows = 1000000;
  bool plans = false, threads = true;
  std::vector<std::string> flags = {"--benchmark_repetitions=3",
                                    "--benchmark_enable_random_interleaving=true",
                                    "--benchmark_report_aggregates_only=true"};
  std::vector<char*> rest = {argv[0]};
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--sizes=", 0) == 0) {
      sizes = ParseList<int64_t>(arg.substr(8));
    } else if (arg.rfind("--vendors=", 0) == 0) {
      vendors = ParseList<int32_t>(arg.substr(10));
    } else if (arg.rfind("--fixed-rows=", 0) == 0) {
      fixed_rows = std::stoll(arg.substr(13));
    } else if (arg.rfind("--samples=", 0) == 0) {
      kSamples = std::stoull(arg.substr(10));
    } else if (arg == "--plans") {
      plans = true;
    } else if (arg == "--no-threads") {
      threads = false;
    } else {
      rest.push_back(argv[i]);
    }
  }
  for (auto& flag : flags) rest.push_back(flag.data());  // later flags win: the caller's go last
  std::rotate(rest.begin() + 1, rest.end() - static_cast<ptrdiff_t>(flags.size()), rest.end());
  int rest_count = static_cast<int>(rest.size());
  benchmark::Initialize(&rest_count, rest.data());

  std::vector<Dataset> sets;
  for (int64_t size : sizes) sets.push_back({"skewed-" + std::to_string(size), size, 0});
  for (int32_t v : vendors) sets.push_back({"vendors-" + std::to_string(v), fixed_rows, v});
  std::vector<std::unique_ptr<Fixture>> fixtures;
  for (const auto& set : sets) {
    fixtures.push_back(MakeFixture(set));
    std::fprintf(stderr, "%s: %lld price rows, %d items\n", set.name.c_str(),
                 static_cast<long long>(fixtures.back()->db.price_rows), fixtures.back()->db.items);
    RegisterFor(*fixtures.back(),
                threads && !sizes.empty() && set.rows == sizes.back() && set.vendors_per_item == 0);
  }
  if (plans && !fixtures.empty()) PrintPlans(*fixtures.front());

  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintSummary(reporter, fixtures, sizes, vendors, threads);
  benchmark::Shutdown();
  for (auto& f : fixtures) {
    for (auto& manager : f->managers) manager->ExitManager();
  }
  return 0;
}
