// Installs the compiled-in scripts of schema/<dialect>/ through a Connection, choosing them by
// the dialect of the database behind it.

#include <sqlite3.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"
#include "suite/embedded_sql.h"
#include "suite/sql_script.h"
#include "tamsel/error.h"
#include "tamsel/services.h"

namespace tamsel {
namespace detail {

namespace {

// Calls on_line with every line of the script, without its line end.
template <typename OnLine>
void ForEachLine(std::string_view script, OnLine on_line) {
  size_t pos = 0;
  while (pos < script.size()) {
    size_t end = script.find('\n', pos);
    if (end == std::string_view::npos) end = script.size();
    on_line(script.substr(pos, end - pos));
    pos = end + 1;
  }
}

}  // namespace

// sqlite3_complete decides where a statement ends, so semicolons inside literals, comments and
// trigger bodies stay put; the driver runs one statement per call.
std::vector<std::string> SplitSqliteScript(std::string_view script) {
  std::vector<std::string> statements;
  std::string pending;
  ForEachLine(script, [&](std::string_view line) {
    const std::string trimmed = Trim(line);
    if (trimmed.starts_with("--") || (pending.empty() && trimmed.empty())) return;
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
  });
  if (!Trim(pending).empty()) {
    throw DatabaseError("SQL script ends inside a statement: " + Trim(pending).substr(0, 80));
  }
  return statements;
}

namespace {

// Scripts edited elsewhere may carry tabs and CRLF line ends.
std::string_view TrimBlank(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

std::vector<std::string> SplitGoBatches(std::string_view script) {
  std::vector<std::string> batches;
  std::string pending;
  bool substance = false;  // the pending batch holds more than comments and blanks
  auto flush = [&] {
    if (substance) batches.emplace_back(TrimBlank(pending));
    pending.clear();
    substance = false;
  };
  ForEachLine(script, [&](std::string_view line) {
    const std::string_view trimmed = TrimBlank(line);
    if (EqualsNoCase(trimmed, "go")) {
      flush();
      return;
    }
    if (trimmed.size() > 2 && EqualsNoCase(trimmed.substr(0, 2), "go") &&
        (trimmed[2] == ' ' || trimmed[2] == '\t') &&
        TrimBlank(trimmed.substr(3)).find_first_not_of("0123456789") == std::string_view::npos) {
      throw DatabaseError("SQL script: GO with a repeat count is not supported: " +
                          std::string(trimmed));
    }
    if (!trimmed.empty() && !trimmed.starts_with("--")) substance = true;
    pending.append(line);
    pending.push_back('\n');
  });
  flush();
  return batches;
}

namespace {

// Runs a script in one transaction: all of it or nothing. Inside a transaction the caller
// already holds, the statements join that one and the caller decides.
void RunScript(Connection& conn, std::string_view file) {
  const std::string dialect = conn.Dialect();
  if (dialect != "sqlite" && dialect != "mssql") {
    throw DatabaseError(
        "no SQL scripts for this database: the connection is closed or reaches "
        "neither SQLite nor SQL Server");
  }
  const std::string name = dialect + "/" + std::string(file);
  const std::string_view script = EmbeddedSql(name);
  if (script.empty()) {
    throw DatabaseError("the SQL script " + name + " is not part of this build");
  }
  const std::vector<std::string> statements =
      dialect == "mssql" ? SplitGoBatches(script) : SplitSqliteScript(script);
  std::optional<TransactionGuard> guard;
  if (!conn.InTransaction()) guard.emplace(conn);
  for (size_t i = 0; i < statements.size(); ++i) {
    try {
      conn.Execute(statements[i]);
    } catch (const std::exception& failure) {
      const std::string& sql = statements[i];
      throw DatabaseError(name + ", statement " + std::to_string(i + 1) + " (" +
                          sql.substr(0, sql.find('\n')) + "): " + failure.what());
    }
  }
  if (guard) guard->Commit();
}

}  // namespace
}  // namespace detail

void InstallSuiteSchema(Connection& conn) { detail::RunScript(conn, "suite.sql"); }

void InstallDemoData(Connection& conn) { detail::RunScript(conn, "demo.sql"); }

std::string MissingSuiteTable(const Connection& conn) {
  // The tables every operation reads or writes; the rest show up by name when a statement fails.
  static constexpr std::string_view kCore[] = {"ven_inv_price_rule", "ven_inv_price_ruleitem",
                                               "ven_inv_price",      "Vendor",
                                               "Inventory",          "ForeignCurrency"};
  for (std::string_view table : kCore) {
    if (!conn.HasTable(table)) return std::string(table);
  }
  return "";
}

}  // namespace tamsel
