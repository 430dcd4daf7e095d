// tamsel: the price-rule component from the command line.

#include <iostream>
#include <optional>

#include "commands.h"

namespace {

using tamsel::cli::CleanMessage;

int Fail(int code, const std::string& message) {
  std::cerr << "tamsel: " << CleanMessage(message) << '\n';
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tamsel::cli;
  GlobalOptions options;
  Action action;

  CLI::App app("Supplier price rules: look-ups, comparison and maintenance", "tamsel");
  // Global options may also follow the command: tamsel rule list --db x.db --json
  app.fallthrough();
  app.require_subcommand(1);
  app.set_version_flag("--version", "tamsel " TAMSEL_VERSION);
  app.add_option("--db", options.db_path, "embedded database file");
  app.add_option("--connection", options.connection,
                 "connection text, e.g. \"Provider=SQLite;Data Source=x.db\" or an ODBC text "
                 "(default: $TAMSEL_CONNECTION)");
  app.add_option("--connection-file", options.connection_file,
                 "file holding the connection text (keeps a password off the command line)");
  app.add_option("--lang", options.lang, "message language")
      ->check(CLI::IsMember({"en-US", "zh-CN", "zh-TW"}));
  app.add_flag("--json", options.json, "machine-readable output");
  app.add_flag("--trace-sql", options.trace_sql, "print every statement run to stderr");
  app.add_option("--date,--login-date", options.login_date,
                 "login date: new rules start on it, look-ups default to it (default: today)")
      ->check(IsoDateValidator());
  app.add_option("--user", options.user, "login user, the row-authorisation text");
  app.add_flag("--check-auth", options.check_auth,
               "apply the user's row authorisation to items and vendors");
  app.footer(
      "Global options may also follow the command (tamsel rule list --db x.db --json).\n"
      "Exit codes: 0 done, 1 failed (message on stderr), 2 wrong command line, 3 not found,\n"
      "4 refused by a check, 5 changed by another user meanwhile, 6 database unavailable.\n"
      "Dates are yyyy-MM-dd; quantities and prices plain decimals.");

  auto* rule = app.add_subcommand("rule",
                                  "Rules: find, show, create, save, remove, list, "
                                  "import, export");
  rule->require_subcommand(1);
  AddLookupCommands(app, *rule, options, action);
  AddRuleCommands(*rule, options, action);
  AddImportExportCommands(*rule, options, action);
  AddListCommands(app, *rule, options, action);
  AddPriceListCommands(app, options, action);
  AddDataCommands(app, options, action);
  AddDemoCommand(app, options, action);
  AddCompletionCommand(app, action);
  ShowGlobalOptionsInHelp(app);

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    if (auto unknown = UnknownCommandMessage(app)) return Fail(2, *unknown);
    app.exit(e);
    return 2;
  } catch (const UsageError& e) {
    return Fail(2, e.what());
  }
  if (!action) return Fail(2, "no command given (tamsel --help)");

  try {
    if (!options.lang.empty()) tamsel::SetMessageLanguage(options.lang);
    ReadConnectionSources(options);
    std::optional<tamsel::ScopedStatementObserver> trace;
    if (options.trace_sql) {
      trace.emplace([](std::string_view sql) { std::cerr << "sql: " << sql << '\n'; });
    }
    return action();
  } catch (const UsageError& e) {
    return Fail(2, e.what());
  } catch (const ToolError& e) {
    return Fail(e.code(), e.what());
  } catch (const tamsel::ComponentError& e) {
    return Fail(ExitCodeOf(e), e.description());
  } catch (const std::exception& e) {
    return Fail(1, e.what());
  } catch (...) {
    return Fail(1, "unexpected failure");
  }
}
