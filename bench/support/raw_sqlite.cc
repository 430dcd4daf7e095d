#include "support/raw_sqlite.h"

#include <sqlite3.h>

#include <stdexcept>

#include "db/sqlite_functions.h"

namespace tamsel::bench {

namespace {

[[noreturn]] void Fail(sqlite3* db, const std::string& what) {
  throw std::runtime_error(what + ": " + sqlite3_errmsg(db));
}

}  // namespace

RawSqlite::RawSqlite(const std::string& path) {
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    Fail(db_, "open " + path);
  }
  if (detail::RegisterSqliteFunctions(db_) != SQLITE_OK) Fail(db_, "register functions");
}

RawSqlite::~RawSqlite() {
  for (auto& [sql, stmt] : cache_) sqlite3_finalize(stmt);
  sqlite3_close_v2(db_);
}

namespace {

int StepAll(sqlite3* db, sqlite3_stmt* stmt) {
  int rows = 0;
  const int columns = sqlite3_column_count(stmt);
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    ++rows;
    for (int c = 0; c < columns; ++c) {
      if (sqlite3_column_type(stmt, c) == SQLITE_TEXT) sqlite3_column_bytes(stmt, c);
    }
  }
  if (rc != SQLITE_DONE) Fail(db, "step");
  return rows;
}

}  // namespace

void BindValues(sqlite3_stmt* stmt, const std::vector<detail::LiftedValue>& values) {
  using Type = detail::LiftedValue::Type;
  for (size_t i = 0; i < values.size(); ++i) {
    const auto& v = values[i];
    const int at = static_cast<int>(i + 1);
    if (v.type == Type::kInteger) {
      sqlite3_bind_int64(stmt, at, v.integer);
    } else if (v.type == Type::kReal) {
      sqlite3_bind_double(stmt, at, v.real);
    } else {
      sqlite3_bind_text(stmt, at, v.text.data(), static_cast<int>(v.text.size()), SQLITE_STATIC);
    }
  }
}

int RawSqlite::Run(const std::string& sql) {
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr) !=
      SQLITE_OK) {
    Fail(db_, "prepare");
  }
  const int rows = StepAll(db_, stmt);
  sqlite3_finalize(stmt);
  return rows;
}

int RawSqlite::RunBound(const std::string& sql, const std::vector<detail::LiftedValue>& values) {
  sqlite3_stmt*& stmt = cache_[sql];
  if (stmt == nullptr &&
      sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                         &stmt, nullptr) != SQLITE_OK) {
    Fail(db_, "prepare");
  }
  BindValues(stmt, values);
  const int rows = StepAll(db_, stmt);
  sqlite3_reset(stmt);
  return rows;
}

std::vector<std::string> RawSqlite::QueryPlan(const std::string& sql) {
  const std::string explain = "EXPLAIN QUERY PLAN " + sql;
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db_, explain.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
    Fail(db_, "prepare plan");
  }
  std::vector<std::string> lines;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    lines.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 3)));
  }
  sqlite3_finalize(stmt);
  return lines;
}

}  // namespace tamsel::bench
