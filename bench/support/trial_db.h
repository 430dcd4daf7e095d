#pragma once

// Generated price lists for benchmarks, kept under /tmp between runs: generating a million
// rows takes far longer than measuring them.

#include <cstdint>
#include <string>

namespace tamsel::bench {

struct TrialDb {
  std::string path;
  int64_t price_rows = 0;
  int32_t items = 0;
};

// A database file with the suite schema and at least `rows` price-list rows made by
// GenerateTrialData for the seed (vendors per item: 0 skewed, else exactly that many); reused
// when a file for the same arguments exists.
TrialDb CachedTrialDb(int64_t rows, uint32_t seed, int32_t vendors_per_item = 0);

}  // namespace tamsel::bench
