// init and gen: new databases and generated trial data.

#include <chrono>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <memory>

#include "commands/commands.h"
#include "common/text.h"
#include "db/connection_text.h"
#include "present/i18n.h"
#include "present/progress.h"

namespace tamsel::cli {

// A new embedded database at path with the suite schema (and the demo data). A failure removes
// the file again, so no half-made database is left behind. An existing file is refused.
void CreateDatabase(const std::string& path, bool demo_data) {
  std::string text = SqliteConnectionText(path);
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) throw ToolError(Tf("already exists: {0}", path));
  try {
    Connection conn;
    conn.Open(text + ";Mode=ReadWriteCreate");
    InstallSuiteSchema(conn);
    if (demo_data) InstallDemoData(conn);
    conn.Close();
  } catch (...) {
    std::filesystem::remove(path, ec);
    throw;
  }
}

namespace {

// The suite schema (and the demo data) in the database the text names: Debian has no sqlcmd, so
// this is how a SQL Server database gets its tables over ODBC.
void InstallSchema(const std::string& text, bool demo_data) {
  // init is the one command that makes a database: an embedded file the text names is created
  // unless the text says otherwise.
  const bool embedded =
      detail::EqualsNoCase(detail::ConnectionTextValue(text, "Provider"), "SQLite");
  const bool mode_given = !detail::ConnectionTextValue(text, "Mode").empty();
  Connection conn;
  try {
    conn.Open(embedded && !mode_given ? text + ";Mode=ReadWriteCreate" : text);
  } catch (const DatabaseError& e) {
    throw ToolError(Tf("cannot open {0}: {1}", detail::RedactConnectionText(text),
                       CleanMessage(detail::RedactSecrets(e.what(), text))),
                    kUnavailable);
  }
  InstallSuiteSchema(conn);
  if (demo_data) InstallDemoData(conn);
  conn.Close();
}

struct GenArgs {
  TrialDataOptions data;
};

int Generate(const GlobalOptions& options, const GenArgs& args) {
  std::string text = ResolveConnectionText(options, /*must_exist=*/true);
  Connection conn;
  conn.Open(text);
  ProgressBar progress(_("generating"));
  auto start = std::chrono::steady_clock::now();
  TrialDataCounts made;
  GenerateTrialData(
      conn, args.data, [&](double share) { progress.Update(share); }, &made);
  progress.Finish();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  conn.Close();
  if (options.json) {
    std::cout << Json{{"vendors", made.vendors},      {"items", made.items},
                      {"rows", made.price_rows},      {"rules", made.rules},
                      {"ruleTiers", made.rule_tiers}, {"seconds", seconds}}
                     .dump(2)
              << '\n';
  } else {
    std::cout << Tf("Generated {0} price-list rows for {1} items from {2} vendors, and {3} rules "
                    "with {4} tiers, in {5} s.",
                    made.price_rows, made.items, made.vendors, made.rules, made.rule_tiers,
                    FormatNumber(std::round(seconds * 10) / 10))
              << '\n';
  }
  return 0;
}

}  // namespace

void AddDataCommands(CLI::App& app, GlobalOptions& options, Action& action) {
  auto demo_data = std::make_shared<bool>(false);
  auto* init = app.add_subcommand(
      "init",
      _("Create a new embedded database with the suite schema (--db), or install the schema in "
        "the empty database a connection text names, such as a SQL Server database over ODBC"));
  init->add_flag("--demo-data", *demo_data, _("add the demo vendors, items, rates and rules"));
  init->callback([&options, &action, demo_data] {
    action = [&options, demo_data] {
      if (options.db_path.empty() && options.connection.empty()) {
        throw UsageError(_("init needs --db PATH or --connection TEXT"));
      }
      std::string where = options.db_path;
      if (options.connection.empty()) {
        CreateDatabase(options.db_path, *demo_data);
      } else {
        const std::string text = ResolveConnectionText(options, /*must_exist=*/false);
        where = detail::RedactConnectionText(text);
        InstallSchema(text, *demo_data);
      }
      if (options.json) {
        std::cout << Json{{"created", where}, {"demoData", *demo_data}}.dump(2) << '\n';
      } else {
        std::cout << (*demo_data ? Tf("Created the suite schema with demo data in {0}.", where)
                                 : Tf("Created the suite schema in {0}.", where))
                  << '\n';
      }
      return 0;
    };
  });

  auto gen_args = std::make_shared<GenArgs>();
  auto* gen =
      app.add_subcommand("gen", _("Add generated vendors, items, price-list rows and rules"));
  auto* items = gen->add_option("--items", gen_args->data.items, _("items to add"))
                    ->check(CLI::Range(1, 100000000));
  auto* rows = gen->add_option("--rows", gen_args->data.rows,
                               _("add items until the price list has gained this many rows"))
                   ->check(CLI::Range(int64_t{1}, int64_t{1000000000}));
  items->excludes(rows);
  gen->add_option("--vendors-per-item", gen_args->data.vendors_per_item,
                  _("exactly this many vendors per item (default: skewed, 1 to 300)"))
      ->check(CLI::Range(1, 100000));
  gen->add_option("--tiers", gen_args->data.tiers,
                  _("exactly this many tiers per price (default: varied, 1 to 6)"))
      ->check(CLI::Range(1, 6));
  gen->add_option("--seed", gen_args->data.seed, _("seed (same seed, same data)"));
  gen->add_option("--free-share", gen_args->data.free_item_share,
                  _("share of rows with free-item values, 0 to 1"))
      ->check(CLI::Range(0.0, 1.0));
  gen->callback([&options, &action, gen_args, items, rows] {
    if (items->count() + rows->count() == 0) throw CLI::RequiredError("--items or --rows");
    action = [&options, gen_args] { return Generate(options, *gen_args); };
  });
}

}  // namespace tamsel::cli
