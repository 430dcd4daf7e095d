// init and gen: new databases and generated trial data.

#include <chrono>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <memory>

#include "commands.h"
#include "progress.h"

namespace tamsel::cli {

// A new embedded database at path with the suite schema (and the demo data). A failure removes
// the file again, so no half-made database is left behind. An existing file is refused.
void CreateDatabase(const std::string& path, bool demo_data) {
  std::string text = SqliteConnectionText(path);
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) throw ToolError("already exists: " + path);
  try {
    Connection conn;
    conn.Open(text);
    InstallSuiteSchema(conn);
    if (demo_data) InstallDemoData(conn);
    conn.Close();
  } catch (...) {
    std::filesystem::remove(path, ec);
    throw;
  }
}

namespace {

struct GenArgs {
  TrialDataOptions data;
};

int Generate(const GlobalOptions& options, const GenArgs& args) {
  std::string text = ResolveConnectionText(options, /*must_exist=*/true);
  Connection conn;
  conn.Open(text);
  ProgressBar progress("generating");
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
    std::cout << "Generated " << made.price_rows << " price-list rows for " << made.items
              << " items from " << made.vendors << " vendors, and " << made.rules << " rules with "
              << made.rule_tiers << " tiers, in " << FormatNumber(std::round(seconds * 10) / 10)
              << " s.\n";
  }
  return 0;
}

}  // namespace

void AddDataCommands(CLI::App& app, GlobalOptions& options, Action& action) {
  auto demo_data = std::make_shared<bool>(false);
  auto* init = app.add_subcommand("init", "Create a new embedded database with the suite schema");
  init->add_flag("--demo-data", *demo_data, "add the demo vendors, items, rates and rules");
  init->callback([&options, &action, demo_data] {
    action = [&options, demo_data] {
      if (options.db_path.empty()) throw UsageError("init needs --db PATH");
      if (!options.connection.empty()) throw UsageError("init takes --db, not --connection");
      CreateDatabase(options.db_path, *demo_data);
      if (options.json) {
        std::cout << Json{{"created", options.db_path}, {"demoData", *demo_data}}.dump(2) << '\n';
      } else {
        std::cout << "Created " << options.db_path << (*demo_data ? " with demo data" : "")
                  << ".\n";
      }
      return 0;
    };
  });

  auto gen_args = std::make_shared<GenArgs>();
  auto* gen = app.add_subcommand("gen", "Add generated vendors, items, price-list rows and rules");
  auto* items = gen->add_option("--items", gen_args->data.items, "items to add")
                    ->check(CLI::Range(1, 100000000));
  auto* rows = gen->add_option("--rows", gen_args->data.rows,
                               "add items until the price list has gained this many rows")
                   ->check(CLI::Range(int64_t{1}, int64_t{1000000000}));
  items->excludes(rows);
  gen->add_option("--vendors-per-item", gen_args->data.vendors_per_item,
                  "exactly this many vendors per item (default: skewed, 1 to 300)")
      ->check(CLI::Range(1, 100000));
  gen->add_option("--tiers", gen_args->data.tiers,
                  "exactly this many tiers per price (default: varied, 1 to 6)")
      ->check(CLI::Range(1, 6));
  gen->add_option("--seed", gen_args->data.seed, "seed (same seed, same data)");
  gen->add_option("--free-share", gen_args->data.free_item_share,
                  "share of rows with free-item values, 0 to 1")
      ->check(CLI::Range(0.0, 1.0));
  gen->callback([&options, &action, gen_args, items, rows] {
    if (items->count() + rows->count() == 0) throw CLI::RequiredError("--items or --rows");
    action = [&options, gen_args] { return Generate(options, *gen_args); };
  });
}

}  // namespace tamsel::cli
