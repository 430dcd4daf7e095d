#include "support/trial_db.h"

#include <cstdio>
#include <filesystem>
#include <string>

#include "tamsel/tamsel.h"

namespace tamsel::bench {

namespace {

int64_t Count(Connection& conn, const std::string& sql) {
  auto rs = conn.OpenRecordset(sql);
  return rs->Eof() ? 0 : static_cast<int64_t>(VarToDbl(rs->Fields(rs->FieldName(0))));
}

}  // namespace

TrialDb CachedTrialDb(int64_t rows, uint32_t seed, int32_t vendors_per_item) {
  TrialDb db;
  // The generator's version is in the name, so data from an older generator is not reused.
  db.path = "/tmp/tamsel_bench_g2_" + std::to_string(rows) + "_v" +
            std::to_string(vendors_per_item) + "_seed" + std::to_string(seed) + ".db";
  if (!std::filesystem::exists(db.path)) {
    const std::string building = db.path + ".building";
    std::filesystem::remove(building);
    Connection conn;
    conn.Open("Provider=SQLite;Mode=ReadWriteCreate;Data Source=" + building);
    InstallSuiteSchema(conn);
    TrialDataOptions options;
    options.rows = rows;
    options.vendors_per_item = vendors_per_item;
    options.seed = seed;
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
