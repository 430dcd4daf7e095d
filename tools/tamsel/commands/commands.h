#pragma once

// The command groups. Each Add* function declares its subcommands; the chosen subcommand leaves
// its work in `action`, which main runs after the whole command line parsed.

#include <CLI/CLI.hpp>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli_context.h"
#include "files/export_target.h"
#include "files/formats.h"
#include "present/output.h"
#include "present/prices.h"

namespace tamsel::cli {

// Returns the exit code.
using Action = std::function<int()>;

void AddLookupCommands(CLI::App& app, CLI::App& rule, GlobalOptions& options, Action& action);
void AddRuleCommands(CLI::App& rule, GlobalOptions& options, Action& action);
void AddImportExportCommands(CLI::App& rule, GlobalOptions& options, Action& action);
void AddDataCommands(CLI::App& app, GlobalOptions& options, Action& action);
void AddDemoCommand(CLI::App& app, GlobalOptions& options, Action& action);
void AddReportCommand(CLI::App& app, GlobalOptions& options, Action& action);

// A quantity to buy: a finite number, not below 0.
CLI::Validator QuantityValidator();
// Refuse a vendor or item that does not exist (kNotFound): the look-ups would answer as if it
// merely had no price.
void RequireVendor(const Session& session, const std::string& vendor);
void RequireItem(const Session& session, const std::string& item);

// What a list shows: the caller's SQL condition, codes to match and at most `limit` rows.
struct ListArgs {
  std::string filter, vendor, item, currency;
  int64_t limit = -1;  // no limit
};
void AddListOptions(CLI::App& cmd, ListArgs& args, bool vendor, bool item, bool currency);
// rule list, pricelist list, vendor/item/currency/rate list.
void AddListCommands(CLI::App& app, CLI::App& rule, GlobalOptions& options, Action& action);
// How many rules the list holds, and the rules a page at a time, in id order.
int64_t CountRules(const std::string& connection_text, const ListArgs& args);
void EachRulePage(const std::string& connection_text, const ListArgs& args,
                  const std::function<void(Recordset&)>& page);
// The same for the rows of the price list's table (ven_inv_price), in autoid order.
int64_t CountPriceRows(const std::string& connection_text, const ListArgs& args);
void EachPriceRowPage(const std::string& connection_text, const ListArgs& args,
                      const std::function<void(Recordset&)>& page);
// pricelist import and export; call after AddListCommands, which makes the pricelist group.
void AddPriceListCommands(CLI::App& app, GlobalOptions& options, Action& action);

// And what the two exports share: the list's options, --format and -o.
void AddExportOptions(CLI::App& cmd, ListArgs& list, std::string& format, std::string& output);

// The XML parameter of the price look-ups from "N=VALUE" texts: <z cfreeN="VALUE" .../>.
// N must be 1 to 10 and may appear once; UsageError otherwise.
std::string FreeItemXml(const std::vector<std::string>& free_items);

}  // namespace tamsel::cli
