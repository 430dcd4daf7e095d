// tamsel: the price-rule component from the command line.

#include <iostream>
#include <optional>

#include "commands/commands.h"
#include "commands/introduce.h"
#include "present/i18n.h"

namespace {

using tamsel::cli::CleanMessage;

int Fail(int code, const std::string& message) {
  std::cerr << "tamsel: " << CleanMessage(message) << '\n';
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tamsel::cli;
  // The process is the tool's own: SQLite's global settings are its to choose, before any thread.
  tamsel::ConfigureSqliteForConcurrentReaders();
  GlobalOptions options;
  Action action;

  const std::optional<std::string> lang = LangArgument(argc, argv);
  const std::optional<std::string> language =
      lang ? LanguageOfOption(*lang) : EnvironmentLanguage();
  UseLanguage(language.value_or(EnvironmentLanguage()));
  if (!language) {
    return Fail(2, Tf("--lang {0}: unknown language; use one of {1}", *lang, kLanguages));
  }

  CLI::App app(_("Supplier price rules: look-ups, comparison and maintenance"), "tamsel");
  LocalizeHelp(app);
  // Global options may also follow the command: tamsel rule list --db x.db --json
  app.fallthrough();
  app.require_subcommand(1);
  app.set_version_flag("--version", "tamsel " TAMSEL_VERSION,
                       _("Display program version information and exit"));
  app.add_option("--db", options.db_path, _("embedded database file"));
  app.add_option("--connection", options.connection,
                 _("connection text, e.g. \"Provider=SQLite;Data Source=x.db\" or an ODBC text "
                   "(default: $TAMSEL_CONNECTION)"));
  app.add_option("--connection-file", options.connection_file,
                 _("file holding the connection text (keeps a password off the command line)"));
  // Read before parsing (LangArgument); declared for the help and so that parsing accepts it.
  app.add_option(
      "--lang", options.lang,
      Tf("message language: {0} (default: from LC_ALL, LC_MESSAGES or LANG)", kLanguages));
  app.add_flag("--json", options.json, _("machine-readable output"));
  app.add_flag("--trace-sql", options.trace_sql, _("print every statement run to stderr"));
  app.add_option("--date,--login-date", options.login_date,
                 _("login date: new rules start on it, look-ups default to it (default: today)"))
      ->check(IsoDateValidator());
  app.add_option("--user", options.user, _("login user, the row-authorisation text"));
  app.add_flag("--check-auth", options.check_auth,
               _("apply the user's row authorisation to items and vendors"));
  app.footer(
      _("Global options may also follow the command (tamsel rule list --db x.db --json).\n"
        "Exit codes: 0 done, 1 failed (message on stderr), 2 wrong command line, 3 not found,\n"
        "4 refused by a check, 5 changed by another user meanwhile, 6 database unavailable.\n"
        "Dates are yyyy-MM-dd; quantities and prices plain decimals."));

  auto* rule = app.add_subcommand("rule", _("Rules: find, show, create, save, remove, list, "
                                            "import, export"));
  rule->require_subcommand(1);
  AddLookupCommands(app, *rule, options, action);
  AddRuleCommands(*rule, options, action);
  AddImportExportCommands(*rule, options, action);
  AddListCommands(app, *rule, options, action);
  AddPriceListCommands(app, options, action);
  AddDataCommands(app, options, action);
  AddDemoCommand(app, options, action);
  AddReportCommand(app, options, action);
  AddCompletionCommand(app, action);
  AddManCommand(app, action);
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
  if (!action) return Fail(2, _("no command given (tamsel --help)"));

  try {
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
    return Fail(1, _("unexpected failure"));
  }
}
