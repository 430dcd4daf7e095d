// rule import and rule export: rules in bulk as CSV (one line per tier) or as a JSON array of
// rule files.

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <ext/stdio_filebuf.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <unordered_map>

#include "commands/commands.h"
#include "common/text.h"
#include "files/cleanup.h"
#include "files/csv.h"
#include "files/rule_file.h"
#include "manager/rule_batch.h"
#include "present/i18n.h"
#include "present/progress.h"
#include "validation/check_support.h"

namespace tamsel::cli {
namespace {

constexpr const char* kKeyColumn = "rule";

constexpr const char* kCsvHelp = N_(
    R"(CSV shape: a header line, then one line per tier. Columns (any order, names in any letter case):
  rule           key that groups lines into one rule (export writes the rule id); required
  cVenCode, cInvCode, iSupplyType, cExchName (or cExch_Name), dEnableDate, dDisableDate,
  bPromotion, bTaxCost, cTermCode, cMemo
                 the rule's fields, repeated on each of its lines (a cell left empty takes the
                 value of the rule's other lines, or the new-rule default: supply type 1, the
                 local currency, the login date, bTaxCost 1)
  iLowerLimit, iUpperLimit, iUnitPrice, iTaxRate, iTaxUnitPrice
                 the tier; tiers in line order; an empty iUpperLimit means no upper limit, an
                 empty iLowerLimit starts where the previous tier ends
Dates yyyy-MM-dd, flags 1/0 (or true/false), numbers plain decimals with a point.
Quoted fields may hold commas, doubled quotes and line breaks.
JSON: an array of rule files (the shape of rule show --json).)");

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

// How a spreadsheet shows a column of the CSV shape.
ColumnKind SheetKind(const std::string& column) {
  if (column == kKeyColumn) return ColumnKind::kWhole;
  const ToolField* field = FindField(column);
  switch (field ? field->kind : FieldKind::kText) {
    case FieldKind::kText:
      break;
    case FieldKind::kWhole:
      return ColumnKind::kWhole;
    case FieldKind::kNumber:
    case FieldKind::kLimit:
    case FieldKind::kMoney:
      return ColumnKind::kNumber;
    case FieldKind::kFlag:
      return ColumnKind::kFlag;
    case FieldKind::kDate:
      return ColumnKind::kDate;
  }
  return ColumnKind::kText;
}

// A rule file's value as an exported cell, as JsonToCell reads it.
void JsonToSheetCell(const Json& value, Cell& cell) {
  if (value.is_null()) {
    cell.SetNull();
  } else if (value.is_string()) {
    cell.SetText() = value.get<std::string>();
  } else if (value.is_boolean()) {
    cell.SetFlag(value.get<bool>());
  } else if (value.is_number_integer()) {
    cell.SetWhole(value.get<int64_t>());
  } else if (value.is_number()) {
    cell.SetNumber(value.get<double>());
  } else {
    JsonToCell(value);  // throws for what no cell holds
  }
}

bool IsTierColumn(const std::string& name) {
  const auto& tiers = TierFieldNames();
  return std::find(tiers.begin(), tiers.end(), name) != tiers.end();
}

// A header cell's text as the JSON value of its field.
Json HeaderCell(const RuleField& field, const std::string& text) {
  return std::visit(
      [&](auto member) -> Json {
        using T = std::remove_reference_t<decltype(std::declval<PriceRule&>().*member)>;
        if constexpr (std::is_same_v<T, std::string>) {
          return text;
        } else if constexpr (std::is_same_v<T, int32_t>) {
          return ImportNumberCell(text, field.name, true);
        } else if constexpr (std::is_same_v<T, double>) {
          return ImportNumberCell(text, field.name, false);
        } else {
          return ImportFlagCell(text, field.name);
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

struct CsvLayout {
  std::vector<std::string> columns;  // known column names, in the file's order
  size_t key = 0;                    // the rule column
};

// The header line mapped onto the known columns.
CsvLayout ReadCsvLayout(const CsvRecord& header) {
  const std::vector<std::string> known = CsvColumns();
  CsvLayout layout;
  for (const auto& cell : header.fields) {
    std::string lower = detail::Lower(ToolName(cell));
    auto it = std::find_if(known.begin(), known.end(),
                           [&](const std::string& k) { return detail::Lower(k) == lower; });
    if (it == known.end()) {
      throw ToolError(Tf("line {0}: unknown column \"{1}\" (see tamsel {2} import --help)",
                         header.line, cell, "rule"));
    }
    if (std::find(layout.columns.begin(), layout.columns.end(), *it) != layout.columns.end()) {
      throw ToolError(Tf("line {0}: column {1} twice", header.line, *it));
    }
    layout.columns.push_back(*it);
  }
  auto key = std::find(layout.columns.begin(), layout.columns.end(), kKeyColumn);
  if (key == layout.columns.end()) {
    throw ToolError(_("the CSV file has no \"rule\" column to group its lines into rules"));
  }
  layout.key = static_cast<size_t>(key - layout.columns.begin());
  return layout;
}

std::string KeyOf(const CsvLayout& layout, const CsvRecord& line) {
  return layout.key < line.fields.size() ? line.fields[layout.key] : "";
}

// One line's header cells and tier into its rule; a bad line refuses the whole rule.
void AddCsvLine(ImportRecord& record, const CsvLayout& layout, const CsvRecord& line) {
  if (!record.error.empty()) return;
  const auto& columns = layout.columns;
  try {
    if (line.fields.size() != columns.size()) {
      throw ToolError(
          Tf("{0} fields where the header has {1}", line.fields.size(), columns.size()));
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
          tier[name] = cell.empty() ? Json(nullptr) : ImportNumberCell(cell, name, false);
        } else if (!cell.empty()) {
          tier[name] = ImportNumberCell(cell, name, false);
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
        throw ToolError(Tf("{0} differs from an earlier line of rule {1}", name, record.key));
      }
      record.rule[name] = std::move(value);
    }
    if (has_tier) record.rule["ruleItems"].push_back(std::move(tier));
  } catch (const ToolError& e) {
    record.error = e.what();
    record.line = line.line;  // point at the offending line, not the rule's first
  }
}

using TakeRecord = std::function<void(ImportRecord&&)>;

// CSV rules, each handed over at its last line. The first pass checks the syntax and finds the
// last lines, so a broken file stores nothing. Memory holds 16 bytes per run of lines with one
// key (one run per rule when a rule's lines are together, as export writes them), not the
// lines; two keys of one hash only keep the first rule open longer.
class CsvImport {
 public:
  CsvImport(std::string format, ReadOptions read) : format_(std::move(format)), read_(read) {}

  size_t Check(std::istream& in) {
    TableReader reader(in, format_, read_);
    CsvRecord line;
    layout_ = ReadHeader(reader);
    size_t orphans = 0;
    std::string run;  // the key of the run the last line belongs to
    while (reader.Next(line)) {
      const std::string key = KeyOf(layout_, line);
      if (key.empty()) {
        ++orphans;
      } else if (key == run && !last_lines_.empty()) {
        last_lines_.back().second = line.line;
      } else {
        last_lines_.emplace_back(Hash(key), line.line);
      }
      run = key;
    }
    // One entry per key, with the key's last line.
    std::sort(last_lines_.begin(), last_lines_.end());
    auto out = last_lines_.begin();
    for (auto it = last_lines_.begin(); it != last_lines_.end(); ++it) {
      if (std::next(it) == last_lines_.end() || std::next(it)->first != it->first) *out++ = *it;
    }
    last_lines_.erase(out, last_lines_.end());
    last_lines_.shrink_to_fit();
    return orphans + last_lines_.size();
  }

  void Read(std::istream& in, const TakeRecord& take) {
    TableReader reader(in, format_, read_);
    CsvRecord line;
    ReadHeader(reader);
    std::map<int, ImportRecord> open;  // by first line
    std::unordered_map<std::string, int> first_line;
    while (reader.Next(line)) {
      const std::string key = KeyOf(layout_, line);
      if (key.empty()) {
        ImportRecord orphan;
        orphan.line = line.line;
        orphan.error = _("the rule column is empty");
        take(std::move(orphan));
        continue;
      }
      auto [first, added] = first_line.try_emplace(key, line.line);
      ImportRecord& record = open[first->second];
      if (added) {
        record.line = line.line;
        record.key = key;
        record.rule["ruleItems"] = Json::array();
      }
      AddCsvLine(record, layout_, line);
      if (LastLine(key) == line.line) {
        take(std::move(record));
        open.erase(first->second);
        first_line.erase(first);
      }
    }
    for (auto& [line_number, record] : open) take(std::move(record));
  }

 private:
  static CsvLayout ReadHeader(TableReader& reader) {
    CsvRecord header;
    if (!reader.Next(header)) throw ToolError(_("the CSV file has no header line"));
    return ReadCsvLayout(header);
  }

  static uint64_t Hash(const std::string& key) { return std::hash<std::string>{}(key); }

  int LastLine(const std::string& key) const {
    const uint64_t hash = Hash(key);
    auto it = std::lower_bound(last_lines_.begin(), last_lines_.end(), std::pair(hash, 0));
    return it != last_lines_.end() && it->first == hash ? it->second : 0;
  }

  const std::string format_;
  const ReadOptions read_;
  CsvLayout layout_;
  std::vector<std::pair<uint64_t, int>> last_lines_;  // key hash, last line; sorted by hash
};

// Every rule of a JSON import (an array of rule files, or one rule file), one at a time.
size_t EachJsonRule(std::istream& in, const TakeRecord& take) {
  return EachJsonElement(in, [&](int position, Json&& element) {
    if (!take) return;
    ImportRecord record;
    record.position = position;
    record.rule = std::move(element);
    take(std::move(record));
  });
}

// The rule's dates in the form the import documents: the library would read other forms too,
// and the price-list import takes this one only.
void RequireImportDates(Json& rule) {
  if (!rule.is_object()) return;
  for (auto& item : rule.items()) {
    const std::string name = ToolName(item.key());
    Json& value = item.value();
    if ((name == "dEnableDate" || name == "dDisableDate") && value.is_string() &&
        !detail::Trim(value.get<std::string>()).empty()) {
      value = ImportDate(value.get<std::string>(), item.key());
    }
  }
}

std::string Where(const ImportRecord& record) {
  if (record.line > 0) return Tf("line {0}", record.line);
  return Tf("rule {0}", record.position);
}

struct ImportArgs {
  std::string file;
  std::string format;
  ReadOptions read;
  bool dry_run = false;
  bool check_overlap = false;
  bool skip_existing = false;
  int batch = 1000;
};

// A signal that stopped the import before the rule at `where`.
struct Interrupted {
  int signal = 0;
  std::string where;
};

// A temporary file's stream, read from its start through a descriptor of its own.
class SpoolStream : public std::istream {
 public:
  explicit SpoolStream(int fd) : std::istream(nullptr), buffer_(fd, std::ios::in) {
    rdbuf(&buffer_);
  }

 private:
  __gnu_cxx::stdio_filebuf<char> buffer_;
};

// The import file, read twice. A regular file is opened by its name each time; anything else
// (standard input, a pipe, a process substitution) can be read only once, so it is first copied
// to a temporary file that loses its name as soon as it is made: no signal or crash leaves it
// behind.
class ImportFile {
 public:
  explicit ImportFile(const std::string& path) : path_(path) {
    std::error_code ec;
    if (path != "-" && std::filesystem::is_regular_file(path, ec)) return;
    std::ifstream named;
    if (path != "-") {
      named.open(path, std::ios::binary);
      if (!named) throw ToolError(Tf("cannot read {0}", path));
    }
    std::istream& in = path == "-" ? std::cin : named;
    // A name of its own, made with the file, so nobody can put a link in its place.
    std::string name = (std::filesystem::temp_directory_path() / "tamsel-import-XXXXXX").string();
    fd_ = ::mkstemp(name.data());
    if (fd_ < 0) throw ToolError(_("cannot make a temporary file for standard input"));
    // Where an open file cannot lose its name, it goes when the import ends (or at a signal).
    if (::unlink(name.c_str()) != 0) {
      name_ = name;
      guard_.emplace(name_);
    }
    try {
      Spool(in);
    } catch (...) {
      Release();
      throw;
    }
  }
  ~ImportFile() { Release(); }
  ImportFile(const ImportFile&) = delete;
  ImportFile& operator=(const ImportFile&) = delete;

  std::unique_ptr<std::istream> Open() const {
    if (fd_ < 0) {
      auto in = std::make_unique<std::ifstream>(path_, std::ios::binary);
      if (!*in) throw ToolError(Tf("cannot read {0}", path_));
      return in;
    }
    const int fd = ::dup(fd_);
    if (fd < 0 || ::lseek(fd, 0, SEEK_SET) != 0) throw ToolError(Tf("cannot read {0}", Source()));
    return std::make_unique<SpoolStream>(fd);
  }

 private:
  void Spool(std::istream& in) {
    std::vector<char> chunk(1 << 16);
    while (in) {
      in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
      const char* const end = chunk.data() + in.gcount();
      for (const char* at = chunk.data(); at < end;) {
        const ssize_t n = ::write(fd_, at, static_cast<size_t>(end - at));
        if (n <= 0) throw ToolError(Tf("cannot keep {0} in a temporary file", Source()));
        at += n;
      }
    }
    if (in.bad()) throw ToolError(Tf("cannot read {0}", Source()));
  }

  std::string Source() const { return path_ == "-" ? _("standard input") : path_; }

  void Release() noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!name_.empty()) std::remove(name_.c_str());
    name_.clear();
  }

  std::string path_;
  std::string name_;  // the spool's, while it has one
  int fd_ = -1;
  std::optional<TempFileGuard> guard_;
};

// The suite keeps rules for any vendor (empty cVenCode) and the look-ups honour them, but the
// component's verification requires a vendor, so no create can store one.
constexpr const char* kAnyVendorRule = N_(
    "a rule for any vendor (empty cVenCode), which the component does not create (it stores rules "
    "of a named vendor only)");

constexpr const char* kBatchHelp = N_(
    "rules per transaction (default 1000). Each rule is stored in a savepoint of its batch, so a "
    "refused rule stores nothing; a batch is acknowledged once it is committed, which the "
    "progress line's stored count and the closing summary show. A crash or power loss loses at "
    "most the batch in hand, never an acknowledged one.");

std::string Duplicate() { return detail::MsgKey("00055"); }

int Import(const GlobalOptions& options, const ImportArgs& args) {
  if (args.batch < 1) throw UsageError(_("--batch must be at least 1"));
  const std::string format = ImportFormat(args.format, args.file, false);
  const bool json = format == "json";
  // A signal while the input is spooled ends the tool at once: nothing is stored yet, and the
  // spool has no name to leave behind.
  const ImportFile file(args.file);
  // From here on a signal lets the rule in hand finish, then stops the import.
  SignalDeferral signals;
  CsvImport csv(format, args.read);
  size_t total = 0;
  {
    auto in = file.Open();
    total = json ? EachJsonRule(*in, nullptr) : csv.Check(*in);
  }

  Session session(options);
  auto& manager = session.manager();
  // A dry run stores like the import, duplicate and overlap tests included, and never commits.
  detail::RuleBatch batch(manager);
  Json refused = Json::array();
  std::vector<std::string> refused_at;
  std::vector<int32_t> stored_ids, batch_ids;
  int accepted = 0, skipped = 0;
  size_t done = 0;
  ProgressBar progress(args.dry_run ? _("checking") : _("importing"));
  const auto counts = [&] {
    return std::to_string(done) + "/" + std::to_string(total) + " " +
           Tf("stored {0}", stored_ids.size());
  };
  const auto commit = [&] {
    if (args.dry_run || batch_ids.empty()) return;
    try {
      batch.Commit();
    } catch (const std::exception& e) {
      throw ToolError(
          Tfn("{1}: the last batch is not stored; {0} rule before it is (resume "
              "with --skip-existing)",
              "{1}: the last batch is not stored; {0} rules before it are (resume "
              "with --skip-existing)",
              static_cast<int64_t>(stored_ids.size()), stored_ids.size(), CleanMessage(e.what())));
    }
    stored_ids.insert(stored_ids.end(), batch_ids.begin(), batch_ids.end());
    batch_ids.clear();
  };
  const TakeRecord store = [&](ImportRecord&& record) {
    if (const int signal = SignalDeferral::Pending()) throw Interrupted{signal, Where(record)};
    std::string message = record.error;
    bool any_vendor = false;
    if (message.empty()) {
      std::shared_ptr<PriceRule> rule;
      bool rule_refused = false;
      try {
        RequireImportDates(record.rule);
        rule = RuleFromJson(record.rule, manager);
        any_vendor = detail::Trim(rule->cVenCode).empty();
        if (args.check_overlap) rule->bCheckOverLap = true;
        manager.CreateVenInvPriceRule(rule);
        batch_ids.push_back(rule->id);
        ++accepted;
      } catch (const ComponentError& e) {
        if (args.skip_existing && e.key() == Duplicate()) {
          ++skipped;
        } else {
          rule_refused = true;
          message = CleanMessage(e.what());
          // Verification stops at the first problem; the report names them all.
          try {
            if (rule) VerifyReportingAll(manager, *rule);
          } catch (const ComponentError& all) {
            message = CleanMessage(all.what());
          }
        }
      } catch (const std::exception& e) {
        rule_refused = true;
        message = CleanMessage(e.what());
      }
      if (message.empty() && rule_refused) message = _("refused");
      if (!message.empty() && any_vendor) message = Tf("{0}: {1}", _(kAnyVendorRule), message);
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
    ++done;
    if (batch_ids.size() >= static_cast<size_t>(args.batch)) commit();
    progress.Update(static_cast<double>(done) / static_cast<double>(std::max<size_t>(total, 1)),
                    counts());
  };
  std::optional<Interrupted> interrupted;
  try {
    auto in = file.Open();
    if (json) {
      EachJsonRule(*in, store);
    } else {
      csv.Read(*in, store);
    }
  } catch (const Interrupted& stop) {
    interrupted = stop;
  }
  commit();
  progress.Finish(counts());
  const int stored = static_cast<int>(stored_ids.size());

  if (options.json) {
    Json out = Json::object();
    out["dryRun"] = args.dry_run;
    out[args.dry_run ? "passed" : "imported"] = args.dry_run ? accepted : stored;
    if (!args.dry_run) out["ids"] = stored_ids;
    if (args.skip_existing) out["skipped"] = skipped;
    out["refused"] = refused;
    if (interrupted) out["resumeAt"] = interrupted->where;
    std::cout << out.dump(2) << '\n';
  } else {
    std::cout << (args.dry_run
                      ? Tfn("Checked {0} rule without storing it; refused {1}.",
                            "Checked {0} rules without storing them; refused {1}.", accepted,
                            accepted, refused.size())
                      : Tfn("Imported {0} rule; refused {1}.", "Imported {0} rules; refused {1}.",
                            stored, stored, refused.size()));
    if (args.skip_existing) std::cout << ' ' << Tf("Skipped {0} already stored.", skipped);
    std::cout << '\n';
    for (size_t i = 0; i < refused.size(); ++i) {
      // Several problems of one rule come on lines of their own, indented under it.
      std::string message = refused[i]["message"].get<std::string>();
      for (size_t at = 0; (at = message.find('\n', at)) != std::string::npos; at += 5) {
        message.insert(at + 1, "    ");
      }
      std::cout << "  " << Tf("{0}: {1}", refused_at[i], message) << '\n';
    }
  }
  if (interrupted) {
    std::cerr << Tf("Interrupted: the rules from {0} on are not imported; the same import with "
                    "--skip-existing goes on from there.",
                    interrupted->where)
              << '\n';
    return SignalExitCode(interrupted->signal);
  }
  return refused.empty() ? kDone : kRefused;
}

struct ExportArgs {
  ListArgs list;
  std::string format;
  std::string output;
};

// Rules are read and written one at a time: an export of any size needs the memory of one rule
// and one page of ids. A file is replaced only once it is complete.
int Export(const GlobalOptions& options, const ExportArgs& args) {
  const std::string format = ExportFormat(args.format, args.output, options.json);
  Session session(options);
  ExportTarget out(args.output, [&] { return CountRules(session.connection_text(), args.list); });
  const auto write = [&](std::string_view text) { out.Write(text); };
  std::vector<int64_t> any_vendor;
  const auto each_rule = [&](const std::function<void(const Json&)>& take) {
    EachRulePage(session.connection_text(), args.list, [&](Recordset& ids) {
      for (; !ids.Eof(); ids.MoveNext()) {
        if (auto rule = session.manager().LoadVenInvPriceRule(VarToLng(ids.Fields("id")))) {
          if (detail::Trim(rule->cVenCode).empty()) any_vendor.push_back(rule->id);
          take(RuleToJson(*rule));
          out.Counted();
        }
      }
    });
  };
  if (format == "json") {
    JsonArrayWriter rules(write);
    each_rule([&](const Json& rule) { rules.Add(rule); });
    rules.Close();
  } else {
    const std::vector<std::string> names = CsvColumns();
    std::vector<ExportColumn> columns;
    for (const auto& name : names) columns.push_back({name, SheetKind(name)});
    const auto sheet = OpenSheet(out, format, std::move(columns));
    std::vector<Cell> cells(names.size());
    each_rule([&](const Json& rule) {
      Json tiers = rule["ruleItems"];
      // A rule without tiers still gets its line, so that nothing of it is lost.
      if (tiers.empty()) tiers.push_back(Json::object());
      for (const Json& tier : tiers) {
        for (size_t c = 0; c < names.size(); ++c) {
          const std::string& column = names[c];
          if (column == kKeyColumn) {
            cells[c].SetWhole(rule["id"].get<int64_t>());
          } else if (IsTierColumn(column)) {
            JsonToSheetCell(tier.contains(column) ? tier[column] : Json(nullptr), cells[c]);
          } else {
            JsonToSheetCell(rule[column], cells[c]);
          }
        }
        sheet->Row(cells);
      }
    });
    sheet->Close();
  }
  out.Finish(NP_("Exported {0} rule to {1}.", "Exported {0} rules to {1}."));
  if (!any_vendor.empty()) {
    std::string ids;
    for (const int64_t id : any_vendor) ids += (ids.empty() ? "" : ", ") + std::to_string(id);
    std::cerr << Tfn("Note: rule {0} is {1}; rule import refuses it.",
                     "Note: rules {0} are each {1}; rule import refuses them.",
                     static_cast<int64_t>(any_vendor.size()), ids, _(kAnyVendorRule))
              << '\n';
  }
  return 0;
}

}  // namespace

void AddExportOptions(CLI::App& cmd, ListArgs& list, std::string& format, std::string& output) {
  AddListOptions(cmd, list, true, true, true);
  cmd.add_option("--format", format,
                 _("csv, json or xlsx (default: by --output's extension, json with --json, else "
                   "csv)"))
      ->check(CLI::IsMember({"csv", "json", "xlsx"}));
  cmd.add_option("-o,--output", output,
                 _("file to write (default: stdout; an xlsx workbook needs a file)"));
}

void AddImportExportCommands(CLI::App& rule, GlobalOptions& options, Action& action) {
  auto import_args = std::make_shared<ImportArgs>();
  auto* imp = rule.add_subcommand(
      "import",
      _("Create rules in bulk from CSV or JSON, each verified and stored in a savepoint of its "
        "batch; SIGINT or SIGTERM stops after the rule in hand, keeping what is stored"));
  imp->footer(_(kCsvHelp));
  AddImportInput(*imp, import_args->file, import_args->format, import_args->read);
  imp->add_flag("--dry-run", import_args->dry_run,
                _("store every rule as the import would, duplicate and overlap tests included, in "
                  "a transaction that is rolled back: nothing is stored"));
  imp->add_flag("--check-overlap", import_args->check_overlap,
                _("refuse rules whose validity overlaps a stored rule"));
  imp->add_flag("--skip-existing", import_args->skip_existing,
                _("count a rule that duplicates a stored rule as skipped instead of refusing it; "
                  "resumes an interrupted import"));
  imp->add_option("--batch", import_args->batch, _(kBatchHelp));
  imp->callback([&options, &action, import_args] {
    action = [&options, import_args] { return Import(options, *import_args); };
  });

  auto export_args = std::make_shared<ExportArgs>();
  auto* exp = rule.add_subcommand("export", _("Write rules in the shape rule import reads"));
  exp->footer(_(kCsvHelp));
  AddExportOptions(*exp, export_args->list, export_args->format, export_args->output);
  exp->callback([&options, &action, export_args] {
    action = [&options, export_args] { return Export(options, *export_args); };
  });
}

}  // namespace tamsel::cli
