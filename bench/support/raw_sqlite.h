#pragma once

// The baseline the benchmarks compare with: the same SQL run straight on the SQLite C API, on
// a handle with the suite's collation and functions, without the component in between.

#include <string>
#include <vector>

struct sqlite3;

namespace tamsel::bench {

class RawSqlite {
 public:
  explicit RawSqlite(const std::string& path);  // read-only; throws std::runtime_error
  ~RawSqlite();
  RawSqlite(const RawSqlite&) = delete;
  RawSqlite& operator=(const RawSqlite&) = delete;

  // Prepares, steps through every row reading every column, finalises. Returns the rows.
  int Run(const std::string& sql);
  // The detail column of EXPLAIN QUERY PLAN, one line per step.
  std::vector<std::string> QueryPlan(const std::string& sql);

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace tamsel::bench
