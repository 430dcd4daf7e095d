#include "support/test_db.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <regex>
#include <stdexcept>
#include <string>

#include "db/connection_text.h"
#include "suite/embedded_sql.h"
#include "suite/sql_script.h"
#include "unit/data_table.h"

namespace tamsel::testing {

std::string DriverName() {
  const char* driver = std::getenv("TAMSEL_TEST_DRIVER");
  return driver != nullptr && *driver != '\0' ? driver : "sqlite";
}

bool BitFlags() { return DriverName() != "sqlite"; }

namespace {

// A fresh, empty file under $TMPDIR (or /tmp) that no other test process can be handed.
std::string UniqueDatabasePath() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/tamsel-test-XXXXXX.db";
  int fd = mkstemps(pattern.data(), 3);
  if (fd < 0) throw std::runtime_error("cannot create a temporary database file: " + pattern);
  close(fd);
  return pattern;
}

// --- ODBC: the same file reached through the SQLite ODBC driver ---------------------------
// tests/CMakeLists.txt compiles in the ODBC driver (its library path, so no registration is
// needed) and the built collation/convert extension; the environment may override both.
std::string OdbcSetting(const char* variable, const char* built_in) {
  const char* value = std::getenv(variable);
  if (value != nullptr && *value != '\0') return value;
  if (built_in != nullptr && *built_in != '\0') return built_in;
  throw std::runtime_error(std::string(variable) + " is not set and this build has no default");
}

#ifndef TAMSEL_TEST_ODBC_DRIVER_DEFAULT
#define TAMSEL_TEST_ODBC_DRIVER_DEFAULT "SQLite3"
#endif
#ifndef TAMSEL_TEST_SQLITE_EXT_DEFAULT
#define TAMSEL_TEST_SQLITE_EXT_DEFAULT nullptr
#endif

std::string OdbcConnectionText(const std::string& path) {
  return "Driver={" + OdbcSetting("TAMSEL_TEST_ODBC_DRIVER", TAMSEL_TEST_ODBC_DRIVER_DEFAULT) +
         "};Database=" + path +
         ";LoadExt=" + OdbcSetting("TAMSEL_TEST_SQLITE_EXT", TAMSEL_TEST_SQLITE_EXT_DEFAULT);
}

// The embedded schema with SQL Server's column types wherever the SQLite ODBC driver then
// reports the server's SQL type (bit: SQL_BIT, date: SQL_TYPE_DATE), so that values come back
// as the server sends them. Their SQLite affinity (numeric) keeps what the fixtures store.
void InstallOdbcSuiteSchema(Connection& conn) {
  std::string script(detail::EmbeddedSql("sqlite/suite.sql"));
  script = std::regex_replace(script, std::regex(R"(\b(b[A-Z]\w*) INTEGER\b)"), "$1 bit");
  script = std::regex_replace(script, std::regex(R"(\b(d[A-Z]\w*) TEXT\b)"), "$1 date");
  TransactionGuard guard(conn);
  for (const std::string& statement : detail::SplitSqliteScript(script)) conn.Execute(statement);
  guard.Commit();
}
// -------------------------------------------------------------------------------------------

// --- SQL Server: a database of its own per TestDatabase -------------------------------------
// TAMSEL_TEST_MSSQL names the server: an ODBC connection text for a login that may create
// databases. Without it every test of an mssql run is skipped, before any fixture is built.
constexpr const char* kMssqlVariable = "TAMSEL_TEST_MSSQL";

const char* MssqlServerText() {
  const char* text = std::getenv(kMssqlVariable);
  return text != nullptr && *text != '\0' ? text : nullptr;
}

class MssqlGate : public ::testing::Environment {
 public:
  void SetUp() override {
    if (DriverName() == "mssql" && MssqlServerText() == nullptr) {
      GTEST_SKIP() << "no SQL Server configured: set " << kMssqlVariable
                   << " to an ODBC connection text for a login that may create databases";
    }
  }
};

// Registered by every test program that builds a TestDatabase; gtest owns it.
[[maybe_unused]] ::testing::Environment* const kMssqlGate =
    ::testing::AddGlobalTestEnvironment(new MssqlGate);

// The server's connection text with Database= set to the given one.
std::string WithDatabase(std::string_view text, const std::string& database) {
  std::string out = detail::WithoutConnectionTextKey(text, "Database");
  return out + (out.empty() || out.back() == ';' ? "" : ";") + "Database=" + database;
}

// Random, so that parallel runs, other machines and leftovers of a killed run never collide.
std::string UniqueMssqlDatabaseName() {
  std::random_device random;
  return fmt::format("tamsel_t_{:08x}{:08x}", random(), random());
}

// Runs the statements on a connection to the server itself.
void OnMssqlServer(std::initializer_list<std::string> statements) {
  const char* server = MssqlServerText();
  if (server == nullptr) throw std::runtime_error(std::string(kMssqlVariable) + " is not set");
  Connection admin;
  admin.Open(server);
  if (admin.Dialect() != "mssql") {
    throw std::runtime_error(std::string(kMssqlVariable) + " does not reach a SQL Server");
  }
  for (const std::string& sql : statements) admin.Execute(sql);
}

// A fixed case-insensitive collation: the suite compares codes as users type them, whatever
// the server's default is.
void CreateMssqlDatabase(const std::string& name) {
  OnMssqlServer({"create database [" + name + "] collate Latin1_General_100_CI_AS"});
}

// Single-user mode with rollback immediate ends the sessions a test left open (or a pooled
// one), which would otherwise make the drop fail.
void DropMssqlDatabase(const std::string& name) {
  OnMssqlServer({"alter database [" + name + "] set single_user with rollback immediate",
                 "drop database [" + name + "]"});
}
// -------------------------------------------------------------------------------------------

}  // namespace

TestDatabase::TestDatabase(bool demo_data) {
  const std::string driver = DriverName();
  if (driver == "sqlite") {
    path_ = UniqueDatabasePath();
    connection_text_ = "Provider=SQLite;Data Source=" + path_;
  } else if (driver == "odbc") {
    path_ = UniqueDatabasePath();
    connection_text_ = OdbcConnectionText(path_);
  } else if (driver == "mssql") {
    // Path() is the database's name on the server.
    path_ = UniqueMssqlDatabaseName();
    CreateMssqlDatabase(path_);
    connection_text_ = WithDatabase(MssqlServerText(), path_);
  } else {
    throw std::runtime_error("unknown TAMSEL_TEST_DRIVER: " + driver);
  }
  try {
    Connection conn;
    conn.Open(driver == "sqlite" ? connection_text_ + ";Mode=ReadWriteCreate" : connection_text_);
    if (driver == "odbc") {
      InstallOdbcSuiteSchema(conn);
    } else {
      InstallSuiteSchema(conn);
    }
    if (demo_data) InstallDemoData(conn);
    conn.Close();
  } catch (...) {
    if (driver == "mssql") {
      try {
        DropMssqlDatabase(path_);
      } catch (...) {  // the first failure is the one worth reporting
      }
    } else {
      std::remove(path_.c_str());
    }
    throw;
  }
}

TestDatabase::~TestDatabase() {
  if (path_.empty()) return;
  if (DriverName() == "mssql") {
    try {
      DropMssqlDatabase(path_);
    } catch (const std::exception& e) {  // a leftover database must not end the test run
      ADD_FAILURE() << "cannot drop the test database " << path_ << ": " << e.what();
    }
    return;
  }
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
    std::remove((path_ + suffix).c_str());
  }
}

std::shared_ptr<Connection> TestDatabase::Connect() const {
  auto conn = std::make_shared<Connection>();
  conn->Open(connection_text_);
  return conn;
}

void TestDatabase::Exec(std::string_view sql) const { Connect()->Execute(sql); }

StatementLog::StatementLog()
    : observer_([this](std::string_view sql) { statements_.emplace_back(sql); }) {}

std::vector<std::string> StatementLog::Containing(std::string_view fragment) const {
  std::vector<std::string> found;
  for (const auto& statement : statements_) {
    if (statement.find(fragment) != std::string::npos) found.push_back(statement);
  }
  return found;
}

namespace {

// Null and the empty text must differ in a dump, or a lost value would go unnoticed.
std::string CellText(const Variant& value) {
  if (value.IsNull()) return "NULL";
  if (value.type() == VarType::String) return "'" + value.AsString() + "'";
  return VarToStr(value);
}

}  // namespace

Variant QueryValue(Connection& conn, const std::string& sql) {
  auto rs = conn.OpenRecordset(sql);
  return rs->Eof() ? Variant() : rs->Fields(rs->FieldName(0));
}

std::string DumpTable(Connection& conn, const std::string& table, const std::string& order_by) {
  auto rs = conn.OpenRecordset("select * from " + table + " order by " + order_by);
  std::string out = table + ":";
  for (int32_t c = 0; c < rs->FieldCount(); ++c) out += (c ? "," : " ") + rs->FieldName(c);
  out += "\n";
  for (; !rs->Eof(); rs->MoveNext()) {
    for (int32_t c = 0; c < rs->FieldCount(); ++c) {
      out += (c ? "|" : "") + CellText(rs->Fields(rs->FieldName(c)));
    }
    out += "\n";
  }
  rs->Close();
  return out;
}

std::string DumpRuleTables(Connection& conn) {
  return DumpTable(conn, "ven_inv_price_rule", "id") +
         DumpTable(conn, "ven_inv_price_ruleitem",
                   "id, itemid, iLowerLimit, iUpperLimit, iUnitPrice, iTaxRate, iTaxUnitPrice");
}

std::vector<std::string> Split(const std::string& text, char at) {
  std::vector<std::string> parts(1);
  for (char c : text) {
    if (c == at)
      parts.emplace_back();
    else
      parts.back().push_back(c);
  }
  return parts;
}

std::vector<Case> ReadCases(const std::string& file, const std::string& table) {
  std::vector<Case> cases;
  for (const table::Row& row : table::Read("data/" + file)) {
    if (row.fields[0] != table) continue;
    cases.emplace_back();
    for (size_t f = 1; f < row.fields.size(); ++f)
      cases.back().push_back(table::Unescape(row.fields[f]));
  }
  EXPECT_FALSE(cases.empty()) << "no " << table << " cases in tests/data/" << file;
  return cases;
}

DecimalCommaLocale::DecimalCommaLocale() : previous_(std::locale()) {
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8"}) {
    try {
      std::locale::global(std::locale(name));  // the C locale follows a named global one
      return;
    } catch (const std::runtime_error&) {
    }
  }
  ADD_FAILURE() << "no de_DE.UTF-8 locale: run scripts/deps.sh";
}

DecimalCommaLocale::~DecimalCommaLocale() {
  std::locale::global(previous_);
  std::setlocale(LC_ALL, "C");
}

}  // namespace tamsel::testing
