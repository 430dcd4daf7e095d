// tamsel report for an item with 300 vendor offers (100 vendors, each in three currencies, two
// bands each): the whole command, from its start to the written page, and the page's size.
// The aim is under 200 ms and under 1 MB.
//
//   report_bench [benchmark flags]

#include <benchmark/benchmark.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/run_tool.h"
#include "tamsel/tamsel.h"

namespace tamsel::bench {

namespace {

constexpr int kVendors = 100;
const char* const kOffer[] = {"CNY", "USD", "EUR"};

int RunTool(std::vector<std::string> args) {
  return bench::RunToolProcess(TAMSEL_CLI_PATH, std::move(args), false);
}

// The demo data with the bench vendors' offers for A01, made once and kept under /tmp.
std::string Database() {
  const std::string path = "/tmp/tamsel_bench_report_v1.db";
  if (std::filesystem::exists(path)) return path;
  const std::string building = path + ".building";
  std::filesystem::remove(building);
  if (RunTool({"init", "--db", building, "--demo-data"}) != 0) {
    throw std::runtime_error("tamsel init failed");
  }
  Connection conn;
  conn.Open("Provider=SQLite;Data Source=" + building);
  conn.BeginTrans();
  for (int v = 0; v < kVendors; ++v) {
    const std::string code = "B" + std::to_string(1000 + v);
    conn.Execute(
        "insert into Vendor (iid, cVenCode, cVenName, cVenAbbName, bVenTax, bVenCargo, "
        "bVenService, bProxyForeign, bVenOverseas) values (" +
        std::to_string(1000 + v) + ", '" + code + "', 'Bench vendor " + code + "', 'Bench " + code +
        "', 1, 1, 0, 0, 0)");
    for (int c = 0; c < 3; ++c) {
      for (const auto& [lower, factor] : {std::pair{0, 1.0}, {1000, 0.95}}) {
        const double price = (c == 0 ? 1.0 : 0.14) * factor * (1 + v / 1000.0);
        conn.Execute(
            "insert into ven_inv_price (cVenCode, cInvCode, iSupplyType, dEnableDate, bPromotion, "
            "cExch_Name, bTaxCost, iLowerLimit, iUpperLimit, iUnitPrice, iTaxRate, "
            "iTaxUnitPrice) values ('" +
            code + "', 'A01', 1, '2026-0" + std::to_string(1 + v % 9) + "-01', 0, '" + kOffer[c] +
            "', 1, " + std::to_string(lower) + ", " + (lower == 0 ? "1000" : "null") + ", " +
            std::to_string(price) + ", 13, " + std::to_string(price * 1.13) + ")");
      }
    }
  }
  conn.CommitTrans();
  conn.Close();
  std::filesystem::rename(building, path);
  return path;
}

void BM_Report(benchmark::State& state) {
  const std::string db = Database(), page = "/tmp/tamsel_bench_report.html";
  for (auto _ : state) {
    if (RunTool({"report", "--db", db, "--item", "A01", "--qty", "1500", "--date", "2026-12-06",
                 "-o", page}) != 0) {
      state.SkipWithError("tamsel report failed");
      return;
    }
  }
  state.counters["page_kb"] = static_cast<double>(std::filesystem::file_size(page)) / 1024;
}
BENCHMARK(BM_Report)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

}  // namespace
}  // namespace tamsel::bench

BENCHMARK_MAIN();
