// Installs the compiled-in scripts of schema/sqlite/ through a Connection.

#include <sqlite3.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"
#include "services/embedded_sql.h"
#include "tamsel/error.h"
#include "tamsel/services.h"

namespace tamsel {
namespace detail {
namespace {

// Statements of a script, in order, without their final ';'. sqlite3_complete decides where a
// statement ends, so semicolons inside literals, comments and trigger bodies stay put. Lines
// holding only a comment are dropped; the driver runs one statement per call.
std::vector<std::string> SplitSqlScript(std::string_view script) {
  std::vector<std::string> statements;
  std::string pending;
  size_t pos = 0;
  while (pos < script.size()) {
    size_t end = script.find('\n', pos);
    if (end == std::string_view::npos) end = script.size();
    std::string_view line = script.substr(pos, end - pos);
    pos = end + 1;
    const std::string trimmed = Trim(line);
    if (trimmed.starts_with("--") || (pending.empty() && trimmed.empty())) continue;
    pending.append(line);
    pending.push_back('\n');
    if (sqlite3_complete(pending.c_str())) {
      std::string statement = Trim(pending);
      while (!statement.empty() &&
             (statement.back() == ';' || statement.back() == '\n' || statement.back() == ' ')) {
        statement.pop_back();
      }
      if (!statement.empty()) statements.push_back(std::move(statement));
      pending.clear();
    }
  }
  if (!Trim(pending).empty()) {
    throw DatabaseError("SQL script ends inside a statement: " + Trim(pending).substr(0, 80));
  }
  return statements;
}

// Runs a script in one transaction: all of it or nothing. Inside a transaction the caller
// already holds, the statements join that one and the caller decides.
void RunScript(Connection& conn, std::string_view name) {
  const std::string_view script = EmbeddedSql(name);
  if (script.empty()) {
    throw DatabaseError("the SQL script " + std::string(name) + " is not part of this build");
  }
  const std::vector<std::string> statements = SplitSqlScript(script);
  std::optional<TransactionGuard> guard;
  if (!conn.InTransaction()) guard.emplace(conn);
  for (size_t i = 0; i < statements.size(); ++i) {
    try {
      conn.Execute(statements[i]);
    } catch (const std::exception& failure) {
      const std::string& sql = statements[i];
      throw DatabaseError(std::string(name) + ", statement " + std::to_string(i + 1) + " (" +
                          sql.substr(0, sql.find('\n')) + "): " + failure.what());
    }
  }
  if (guard) guard->Commit();
}

}  // namespace
}  // namespace detail

void InstallSuiteSchema(Connection& conn) { detail::RunScript(conn, "suite.sql"); }

void InstallDemoData(Connection& conn) { detail::RunScript(conn, "demo.sql"); }

}  // namespace tamsel
