#include "support/test_db.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace tamsel::testing {

std::string DriverName() {
  const char* driver = std::getenv("TAMSEL_TEST_DRIVER");
  return driver != nullptr && *driver != '\0' ? driver : "sqlite";
}

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

// The SQLite ODBC driver waits about twice its Timeout for a lock: 2500 gives the embedded
// driver's bound of 5 s.
std::string OdbcConnectionText(const std::string& path) {
  return "Driver={" + OdbcSetting("TAMSEL_TEST_ODBC_DRIVER", TAMSEL_TEST_ODBC_DRIVER_DEFAULT) +
         "};Database=" + path +
         ";LoadExt=" + OdbcSetting("TAMSEL_TEST_SQLITE_EXT", TAMSEL_TEST_SQLITE_EXT_DEFAULT) +
         ";Timeout=2500";
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
  } else {
    throw std::runtime_error("unknown TAMSEL_TEST_DRIVER: " + driver);
  }
  try {
    Connection conn;
    conn.Open(connection_text_);
    InstallSuiteSchema(conn);
    if (demo_data) InstallDemoData(conn);
    conn.Close();
  } catch (...) {
    std::remove(path_.c_str());
    throw;
  }
}

TestDatabase::~TestDatabase() {
  if (path_.empty()) return;
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

}  // namespace tamsel::testing
