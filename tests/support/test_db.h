#pragma once

// Fixtures shared by the test suites: fresh databases with the suite schema, statement logs,
// table snapshots. Database suites run once per driver; TAMSEL_TEST_DRIVER says which
// ("sqlite", the default, "odbc" or "mssql").

#include <locale>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tamsel/tamsel.h"

namespace tamsel::testing {

// "sqlite", "odbc" or "mssql".
std::string DriverName();
// Whether the flag columns are bit, as on the server: they read as Booleans, and a number other
// than 0 stored in one reads True.
bool BitFlags();

// A new database at a unique temporary path (on SQL Server: a new database with a unique name on
// the server that TAMSEL_TEST_MSSQL names) with the suite schema (and, when asked, the demo
// data), removed again on destruction. Safe under ctest -j.
class TestDatabase {
 public:
  explicit TestDatabase(bool demo_data = false);
  ~TestDatabase();
  TestDatabase(const TestDatabase&) = delete;
  TestDatabase& operator=(const TestDatabase&) = delete;

  // The connection text for the current driver.
  const std::string& ConnectionText() const { return connection_text_; }
  // The database file; on SQL Server the database's name.
  const std::string& Path() const { return path_; }
  // A new open connection to it.
  std::shared_ptr<Connection> Connect() const;
  // Runs a statement on a connection of its own (fixture data).
  void Exec(std::string_view sql) const;

 private:
  std::string path_;
  std::string connection_text_;
};

// Records every statement the component runs on this thread while it lives.
class StatementLog {
 public:
  StatementLog();
  const std::vector<std::string>& statements() const { return statements_; }
  void clear() { statements_.clear(); }
  // Statements that contain the fragment.
  std::vector<std::string> Containing(std::string_view fragment) const;

 private:
  std::vector<std::string> statements_;
  ScopedStatementObserver observer_;
};

// The process runs in a decimal-comma locale (de_DE.UTF-8, which scripts/deps.sh installs)
// while this lives; the test fails when the locale is missing.
class DecimalCommaLocale {
 public:
  DecimalCommaLocale();
  ~DecimalCommaLocale();
  DecimalCommaLocale(const DecimalCommaLocale&) = delete;
  DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;

 private:
  std::locale previous_;
};

// The first value of a query (Empty when it has no row).
Variant QueryValue(Connection& conn, const std::string& sql);

// All rows of a table, ordered by the given columns, as one comparable text.
std::string DumpTable(Connection& conn, const std::string& table, const std::string& order_by);
// ven_inv_price_rule and ven_inv_price_ruleitem, for before/after comparisons.
std::string DumpRuleTables(Connection& conn);

// The fields, unescaped, of the rows of tests/data/<file> whose first field is `table`.
using Case = std::vector<std::string>;
std::vector<std::string> Split(const std::string& text, char at);
std::vector<Case> ReadCases(const std::string& file, const std::string& table);

}  // namespace tamsel::testing
