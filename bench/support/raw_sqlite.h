#pragma once

// The baseline the benchmarks compare with: the same SQL run straight on the SQLite C API, on
// a handle with the suite's collation and functions, without the component in between.

#include <string>
#include <unordered_map>
#include <vector>

#include "db/tsql_rewriter.h"

struct sqlite3;
struct sqlite3_stmt;

namespace tamsel::bench {

// Binds the values to the statement's ? markers in order; they must outlive its run.
void BindValues(sqlite3_stmt* stmt, const std::vector<detail::LiftedValue>& values);

class RawSqlite {
 public:
  explicit RawSqlite(const std::string& path);  // read-only; throws std::runtime_error
  ~RawSqlite();
  RawSqlite(const RawSqlite&) = delete;
  RawSqlite& operator=(const RawSqlite&) = delete;

  // Prepares, steps through every row reading every column, finalises. Returns the rows.
  int Run(const std::string& sql);
  // The same with a statement compiled once per text, its ? markers bound to values.
  int RunBound(const std::string& sql, const std::vector<detail::LiftedValue>& values);
  // The detail column of EXPLAIN QUERY PLAN, one line per step.
  std::vector<std::string> QueryPlan(const std::string& sql);

 private:
  sqlite3* db_ = nullptr;
  std::unordered_map<std::string, sqlite3_stmt*> cache_;
};

}  // namespace tamsel::bench
