#include "support/trial_db.h"

#include <cstdio>
#include <filesystem>
#include <string>

#include "tamsel/tamsel.h"

namespace tamsel::bench {

namespace {

// Price rows per item that GenerateTrialData gives for the options below, near enough to size
// the item count.
constexpr int32_t kVendorsPerItem = 20;
constexpr int32_t kTiers = 3;
constexpr double kRowsPerItem = 85;

int64_t Count(Connection& conn, const std::string& sql) {
  auto rs = conn.OpenRecordset(sql);
  return rs->Eof() ? 0 : static_cast<int64_t>(VarToDbl(rs->Fields(rs->FieldName(0))));
}

}  // namespace

TrialDb CachedTrialDb(int64_t rows, uint32_t seed) {
  TrialDb db;
  db.path =
      "/tmp/tamsel_lookup_bench_" + std::to_string(rows) + "_seed" + std::to_string(seed) + ".db";
  if (!std::filesystem::exists(db.path)) {
    const std::string building = db.path + ".building";
    std::filesystem::remove(building);
    Connection conn;
    conn.Open("Provider=SQLite;Data Source=" + building);
    InstallSuiteSchema(conn);
    TrialDataOptions options;
    options.items = static_cast<int32_t>(rows / kRowsPerItem) + 1;
    options.vendors_per_item = kVendorsPerItem;
    options.tiers = kTiers;
    options.seed = seed;
    options.free_item_share = 0.1;
    std::fprintf(stderr, "generating %s ...\n", db.path.c_str());
    GenerateTrialData(conn, options);
    conn.Close();
    std::filesystem::rename(building, db.path);
  }
  Connection conn;
  conn.Open("Provider=SQLite;Data Source=" + db.path);
  db.price_rows = Count(conn, "select count(*) from ven_inv_price");
  db.items = static_cast<int32_t>(Count(conn, "select count(*) from Inventory"));
  return db;
}

}  // namespace tamsel::bench
