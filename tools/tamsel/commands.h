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
#include "output.h"

namespace tamsel::cli {

// Returns the exit code.
using Action = std::function<int()>;

void AddLookupCommands(CLI::App& app, CLI::App& rule, GlobalOptions& options, Action& action);
void AddRuleCommands(CLI::App& rule, GlobalOptions& options, Action& action);
void AddImportExportCommands(CLI::App& rule, GlobalOptions& options, Action& action);
void AddDataCommands(CLI::App& app, GlobalOptions& options, Action& action);
void AddDemoCommand(CLI::App& app, GlobalOptions& options, Action& action);

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

// What rule import and pricelist import share: the format of a file by --format or its
// extension, and the elements of a JSON file (an array, or one object as position 1) handed
// over one at a time as they are parsed.
std::string ImportFormat(const std::string& format, const std::string& path, bool json_default);
// A cell's plain decimal number; ToolError "COLUMN: not a number: TEXT" otherwise.
double ImportNumber(const std::string& text, const std::string& column);
// A cell's date in the one form both imports read, yyyy-MM-dd (blanks around it ignored), as that
// text; ToolError "COLUMN: not a date in the form yyyy-MM-dd: TEXT" otherwise.
std::string ImportDate(std::string_view text, const std::string& column);
// A JSON value as a CSV cell: null empty, flags 1/0, numbers plain decimals; ToolError for an
// array or an object.
std::string JsonToCell(const Json& value);
void EachJsonElement(std::istream& in,
                     const std::function<void(int position, Json&& element)>& take);
// And what the two exports share: the list's options, --format and -o.
void AddExportOptions(CLI::App& cmd, ListArgs& list, std::string& format, std::string& output);

// The hidden command that writes the bash completion script (the build installs its output).
inline constexpr std::string_view kCompletionCommand = "__bash-completion";
void AddCompletionCommand(CLI::App& app, Action& action);
std::string BashCompletion(const CLI::App& app);
// Appends the top level's options to every command's help: they are accepted after any command.
// Call once all commands are declared.
void ShowGlobalOptionsInHelp(CLI::App& app);
// For a command line that failed to parse because a word is no known command: the message naming
// it, with the nearest command's name when one is close. nullopt for any other mistake.
std::optional<std::string> UnknownCommandMessage(const CLI::App& app);

// The XML parameter of the price look-ups from "N=VALUE" texts: <z cfreeN="VALUE" .../>.
// N must be 1 to 10 and may appear once; UsageError otherwise.
std::string FreeItemXml(const std::vector<std::string>& free_items);

// A compared price's conversion to local currency, as the comparison made it.
struct LocalPrice {
  std::string currency;
  std::string local_currency;
  RateSource source = RateSource::kLocal;
  double rate = 1;
  bool divide = false;
  double amount = 0;
  double local_amount = 0;
  bool converted() const { return source == RateSource::kDaily || source == RateSource::kMonthly; }
  Json ToJson() const;
  // "7.2 USD x 7.1 = 51.12 CNY"
  std::string Describe() const;
};
// The name of the local currency of the session's database ("" when none is marked).
std::string LocalCurrency(const Session& session);
LocalPrice ToLocalCurrency(const ComparedPrice& price, const std::string& local_currency);

// A look-up result: the price-list row's header and its tier.
Json PriceToJson(const PriceRuleItem& tier);
void PrintPrice(std::ostream& out, const PriceRuleItem& tier);

// Reads a whole file, or stdin for "-"; ToolError when it cannot be read.
std::string ReadInput(const std::string& path);

}  // namespace tamsel::cli
