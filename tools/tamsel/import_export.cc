// rule import and rule export: rules in bulk as CSV (one line per tier) or as a JSON array of
// rule files.

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>

#include "commands.h"
#include "csv.h"
#include "progress.h"
#include "rule_file.h"

namespace tamsel::cli {
namespace {

constexpr const char* kKeyColumn = "rule";

constexpr const char* kCsvHelp =
    R"(CSV shape: a header line, then one line per tier. Columns (any order, names in any letter case):
  rule           key that groups lines into one rule (export writes the rule id); required
  cVenCode, cInvCode, iSupplyType, cExchName, dEnableDate, dDisableDate,
  bPromotion, bTaxCost, cTermCode, cMemo
                 the rule's fields, repeated on each of its lines (a cell left empty takes the
                 value of the rule's other lines, or the new-rule default: supply type 1, the
                 local currency, the login date, bTaxCost 1)
  iLowerLimit, iUpperLimit, iUnitPrice, iTaxRate, iTaxUnitPrice
                 the tier; tiers in line order; an empty iUpperLimit means no upper limit, an
                 empty iLowerLimit starts where the previous tier ends
Dates yyyy-MM-dd, flags 1/0 (or true/false), numbers plain decimals with a point.
Quoted fields may hold commas, doubled quotes and line breaks.
JSON: an array of rule files (the shape of rule show --json).)";

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::vector<std::string> CsvColumns() {
  std::vector<std::string> columns = {kKeyColumn};
  for (const auto& field : RuleFields()) {
    if (field.stored) columns.emplace_back(field.name);
  }
  for (const auto& name : TierFieldNames()) {
    if (name != "index") columns.push_back(name);
  }
  return columns;
}

bool IsTierColumn(const std::string& name) {
  const auto& tiers = TierFieldNames();
  return std::find(tiers.begin(), tiers.end(), name) != tiers.end();
}

Json ParseNumberCell(const std::string& text, const std::string& column, bool whole) {
  double value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    throw ToolError(column + ": not a number: " + text);
  }
  if (whole) {
    if (value != std::floor(value) || std::fabs(value) > 2147483647.0) {
      throw ToolError(column + ": not a whole number: " + text);
    }
    return static_cast<int64_t>(value);
  }
  return value;
}

Json ParseFlagCell(const std::string& text, const std::string& column) {
  std::string v = Lower(text);
  if (v == "1" || v == "true" || v == "yes") return true;
  if (v == "0" || v == "false" || v == "no") return false;
  throw ToolError(column + ": not a flag (1 or 0): " + text);
}

// A header cell's text as the JSON value of its field.
Json HeaderCell(const RuleField& field, const std::string& text) {
  return std::visit(
      [&](auto member) -> Json {
        using T = std::remove_reference_t<decltype(std::declval<PriceRule&>().*member)>;
        if constexpr (std::is_same_v<T, std::string>) {
          return text;
        } else if constexpr (std::is_same_v<T, int32_t>) {
          return ParseNumberCell(text, field.name, true);
        } else if constexpr (std::is_same_v<T, double>) {
          return ParseNumberCell(text, field.name, false);
        } else {
          return ParseFlagCell(text, field.name);
        }
      },
      field.member);
}

struct ImportRecord {
  int line = 0;      // CSV: first line of the rule; JSON: 0
  int position = 0;  // JSON: place in the array, from 1
  std::string key;
  Json rule = Json::object();
  std::string error;  // refused before reaching the library
};

std::vector<ImportRecord> RecordsFromCsv(const std::string& text) {
  std::vector<CsvRecord> lines = ParseCsv(text);
  if (lines.empty()) throw ToolError("the CSV file has no header line");
  // Map the header onto the known columns.
  std::vector<std::string> known = CsvColumns();
  std::vector<std::string> columns;
  for (const auto& cell : lines[0].fields) {
    std::string lower = Lower(cell);
    auto it = std::find_if(known.begin(), known.end(),
                           [&](const std::string& k) { return Lower(k) == lower; });
    if (it == known.end()) {
      throw ToolError("line " + std::to_string(lines[0].line) + ": unknown column \"" + cell +
                      "\" (see tamsel rule import --help)");
    }
    if (std::find(columns.begin(), columns.end(), *it) != columns.end()) {
      throw ToolError("line " + std::to_string(lines[0].line) + ": column " + *it + " twice");
    }
    columns.push_back(*it);
  }
  if (std::find(columns.begin(), columns.end(), kKeyColumn) == columns.end()) {
    throw ToolError("the CSV file has no \"rule\" column to group its lines into rules");
  }

  std::vector<ImportRecord> records;
  std::map<std::string, size_t> by_key;
  for (size_t l = 1; l < lines.size(); ++l) {
    const CsvRecord& line = lines[l];
    std::string key;
    for (size_t c = 0; c < columns.size() && c < line.fields.size(); ++c) {
      if (columns[c] == kKeyColumn) key = line.fields[c];
    }
    if (key.empty()) {
      ImportRecord orphan;
      orphan.line = line.line;
      orphan.error = "the rule column is empty";
      records.push_back(std::move(orphan));
      continue;
    }
    auto [pos, added] = by_key.emplace(key, records.size());
    if (added) {
      ImportRecord record;
      record.line = line.line;
      record.key = key;
      record.rule["ruleItems"] = Json::array();
      records.push_back(std::move(record));
    }
    ImportRecord& record = records[pos->second];
    if (!record.error.empty()) continue;
    try {
      if (line.fields.size() != columns.size()) {
        throw ToolError(std::to_string(line.fields.size()) + " fields where the header has " +
                        std::to_string(columns.size()));
      }
      Json tier = Json::object();
      bool has_tier = false;
      for (size_t c = 0; c < columns.size(); ++c) {
        const std::string& name = columns[c];
        const std::string& cell = line.fields[c];
        if (name == kKeyColumn) continue;
        if (IsTierColumn(name)) {
          if (!cell.empty()) has_tier = true;
          if (name == "iUpperLimit") {
            tier[name] = cell.empty() ? Json(nullptr) : ParseNumberCell(cell, name, false);
          } else if (!cell.empty()) {
            tier[name] = ParseNumberCell(cell, name, false);
          }
          continue;
        }
        if (cell.empty()) continue;
        const RuleField* field = nullptr;
        for (const auto& f : RuleFields()) {
          if (name == f.name) field = &f;
        }
        Json value = HeaderCell(*field, cell);
        if (record.rule.contains(name) && record.rule[name] != value) {
          throw ToolError(name + " differs from an earlier line of rule " + key);
        }
        record.rule[name] = std::move(value);
      }
      if (has_tier) record.rule["ruleItems"].push_back(std::move(tier));
    } catch (const ToolError& e) {
      record.error = e.what();
      record.line = line.line;  // point at the offending line, not the rule's first
    }
  }
  return records;
}

std::vector<ImportRecord> RecordsFromJson(const std::string& text) {
  Json doc;
  try {
    doc = Json::parse(text);
  } catch (const Json::parse_error& e) {
    throw ToolError(std::string("not valid JSON: ") + e.what());
  }
  if (doc.is_object()) doc = Json::array({doc});
  if (!doc.is_array()) throw ToolError("expected an array of rules");
  std::vector<ImportRecord> records;
  for (size_t i = 0; i < doc.size(); ++i) {
    ImportRecord record;
    record.position = static_cast<int>(i + 1);
    record.rule = doc[i];
    records.push_back(std::move(record));
  }
  return records;
}

std::string Where(const ImportRecord& record) {
  if (record.line > 0) return "line " + std::to_string(record.line);
  return "rule " + std::to_string(record.position);
}

struct ImportArgs {
  std::string file;
  std::string format;
  bool dry_run = false;
  bool check_overlap = false;
};

std::string FormatFor(const std::string& format, const std::string& path, bool json_default) {
  if (!format.empty()) return format;
  std::string ext = Lower(std::filesystem::path(path).extension().string());
  if (ext == ".json") return "json";
  if (ext == ".csv") return "csv";
  return json_default ? "json" : "csv";
}

int Import(const GlobalOptions& options, const ImportArgs& args) {
  std::string format = FormatFor(args.format, args.file, false);
  std::string text = ReadInput(args.file);
  std::vector<ImportRecord> records =
      format == "json" ? RecordsFromJson(text) : RecordsFromCsv(text);

  Session session(options);
  auto& manager = session.manager();
  Json refused = Json::array();
  std::vector<std::string> refused_at;
  Json stored_ids = Json::array();
  int accepted = 0;
  ProgressBar progress(args.dry_run ? "checking" : "importing");
  for (size_t i = 0; i < records.size(); ++i) {
    ImportRecord& record = records[i];
    std::string message = record.error;
    if (message.empty()) {
      try {
        auto rule = RuleFromJson(record.rule, manager);
        if (args.check_overlap) rule->bCheckOverLap = true;
        if (args.dry_run) {
          auto validator = manager.GetValidator();
          validator->VerifyRule(rule);
          std::string overlap;
          if (!validator->CheckRuleOverLap(rule, overlap)) throw ToolError(overlap);
        } else {
          // One rule, one transaction: a refused rule leaves nothing behind.
          manager.CreateVenInvPriceRule(rule);
          stored_ids.push_back(rule->id);
        }
        ++accepted;
      } catch (const std::exception& e) {
        message = CleanMessage(e.what());
        if (message.empty()) message = "refused";
      }
    }
    if (!message.empty()) {
      Json entry = Json::object();
      if (record.line > 0) entry["line"] = record.line;
      if (record.position > 0) entry["position"] = record.position;
      if (!record.key.empty()) entry["rule"] = record.key;
      entry["message"] = message;
      refused.push_back(std::move(entry));
      refused_at.push_back(Where(record));
    }
    progress.Update(static_cast<double>(i + 1) / static_cast<double>(records.size()),
                    std::to_string(i + 1) + "/" + std::to_string(records.size()));
  }
  progress.Finish(std::to_string(records.size()) + "/" + std::to_string(records.size()));

  if (options.json) {
    Json out = Json::object();
    out["dryRun"] = args.dry_run;
    out[args.dry_run ? "passed" : "imported"] = accepted;
    if (!args.dry_run) out["ids"] = stored_ids;
    out["refused"] = refused;
    std::cout << out.dump(2) << '\n';
  } else {
    std::cout << (args.dry_run ? "Checked " : "Imported ") << accepted << " rule"
              << (accepted == 1 ? "" : "s") << (args.dry_run ? " without storing them" : "")
              << "; refused " << refused.size() << ".\n";
    for (size_t i = 0; i < refused.size(); ++i) {
      std::cout << "  " << refused_at[i] << ": " << refused[i]["message"].get<std::string>()
                << '\n';
    }
  }
  return refused.empty() ? 0 : 1;
}

struct ExportArgs {
  std::string filter;
  std::string format;
  std::string output;
};

int Export(const GlobalOptions& options, const ExportArgs& args) {
  std::string format = FormatFor(args.format, args.output, options.json);
  Session session(options);
  auto& manager = session.manager();
  std::vector<int32_t> ids;
  {
    auto rs = manager.ListVenInvPriceRules(args.filter);
    while (!rs->Eof()) {
      ids.push_back(VarToLng(rs->Fields("id")));
      rs->MoveNext();
    }
    rs->Close();
  }
  std::sort(ids.begin(), ids.end());
  std::string out;
  if (format == "json") {
    Json rules = Json::array();
    for (int32_t id : ids) {
      if (auto rule = manager.LoadVenInvPriceRule(id)) rules.push_back(RuleToJson(*rule));
    }
    out = rules.dump(2) + "\n";
  } else {
    std::vector<std::string> columns = CsvColumns();
    out = FormatCsvLine(columns);
    auto cell = [](const Json& v) -> std::string {
      if (v.is_null()) return "";
      if (v.is_string()) return v.get<std::string>();
      if (v.is_boolean()) return v.get<bool>() ? "1" : "0";
      if (v.is_number_integer()) return std::to_string(v.get<int64_t>());
      return FormatNumber(v.get<double>());
    };
    for (int32_t id : ids) {
      auto rule = manager.LoadVenInvPriceRule(id);
      if (!rule) continue;
      Json file = RuleToJson(*rule);
      Json tiers = file["ruleItems"];
      // A rule without tiers still gets its line, so that nothing of it is lost.
      if (tiers.empty()) tiers.push_back(Json::object());
      for (const Json& tier : tiers) {
        std::vector<std::string> line;
        for (const auto& column : columns) {
          if (column == kKeyColumn) {
            line.push_back(std::to_string(id));
          } else if (IsTierColumn(column)) {
            line.push_back(tier.contains(column) ? cell(tier[column]) : "");
          } else {
            line.push_back(cell(file[column]));
          }
        }
        out += FormatCsvLine(line);
      }
    }
  }
  if (args.output.empty() || args.output == "-") {
    std::cout << out;
  } else {
    std::ofstream file(args.output, std::ios::binary | std::ios::trunc);
    file << out;
    file.close();
    if (!file) {
      std::error_code ec;
      std::filesystem::remove(args.output, ec);
      throw ToolError("cannot write " + args.output);
    }
    std::cerr << "Exported " << ids.size() << " rule" << (ids.size() == 1 ? "" : "s") << " to "
              << args.output << ".\n";
  }
  return 0;
}

}  // namespace

void AddImportExportCommands(CLI::App& rule, GlobalOptions& options, Action& action) {
  auto import_args = std::make_shared<ImportArgs>();
  auto* import = rule.add_subcommand(
      "import",
      "Create rules in bulk from CSV or JSON, each verified and stored in its own transaction");
  import->footer(kCsvHelp);
  import->add_option("FILE", import_args->file, "FILE.csv or FILE.json (- reads stdin)")
      ->required();
  import->add_option("--format", import_args->format, "csv or json (default: by extension)")
      ->check(CLI::IsMember({"csv", "json"}));
  import->add_flag("--dry-run", import_args->dry_run,
                   "verify every rule (and its overlaps with --check-overlap) without storing; "
                   "duplicates of stored rules are found only when storing");
  import->add_flag("--check-overlap", import_args->check_overlap,
                   "refuse rules whose validity overlaps a stored rule");
  import->callback([&options, &action, import_args] {
    action = [&options, import_args] { return Import(options, *import_args);
};
}  // namespace tamsel::cli
);

auto export_args = std::make_shared<ExportArgs>();
auto* exp = rule.add_subcommand("export", "Write rules in the shape rule import reads");
exp->footer(kCsvHelp);
exp->add_option("--filter", export_args->filter, "SQL condition over the rule view");
exp->add_option("--format", export_args->format,
                "csv or json (default: by --output's extension, json with --json, else csv)")
    ->check(CLI::IsMember({"csv", "json"}));
exp->add_option("-o,--output", export_args->output, "file to write (default: stdout)");
exp->callback([&options, &action, export_args] {
  action = [&options, export_args] { return Export(options, *export_args); };
});
}

}  // namespace tamsel::cli
