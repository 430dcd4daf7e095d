// pricelist import and export: the supplier price list's rows in bulk, as CSV (one line a row)
// or a JSON array, under the tool's field names for the columns of its table. Rules never feed the
// price list; these commands are how a buyer changes it.

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "commands/commands.h"
#include "common/text.h"
#include "db/driver.h"
#include "files/csv.h"
#include "manager/statements.h"
#include "present/i18n.h"
#include "present/progress.h"
#include "validation/check_support.h"

namespace tamsel::cli {
namespace {

enum class Kind { kWhole, kText, kDate, kFlag, kNumber };

struct PriceColumn {
  const char* name;
  Kind kind;
};

// Every column of ven_inv_price but ufts (a row version the database keeps), in table order.
constexpr std::array<PriceColumn, 26> kColumns = {{
    {"autoid", Kind::kWhole},         {"cVenCode", Kind::kText},     {"cInvCode", Kind::kText},
    {"iSupplyType", Kind::kWhole},    {"dEnableDate", Kind::kDate},  {"dDisableDate", Kind::kDate},
    {"bPromotion", Kind::kFlag},      {"cExch_Name", Kind::kText},   {"cMemo", Kind::kText},
    {"bTaxCost", Kind::kFlag},        {"cTermCode", Kind::kText},    {"iLowerLimit", Kind::kNumber},
    {"iUpperLimit", Kind::kNumber},   {"iUnitPrice", Kind::kNumber}, {"iTaxRate", Kind::kNumber},
    {"iTaxUnitPrice", Kind::kNumber}, {"cFree1", Kind::kText},       {"cFree2", Kind::kText},
    {"cFree3", Kind::kText},          {"cFree4", Kind::kText},       {"cFree5", Kind::kText},
    {"cFree6", Kind::kText},          {"cFree7", Kind::kText},       {"cFree8", Kind::kText},
    {"cFree9", Kind::kText},          {"cFree10", Kind::kText},
}};
constexpr size_t kColumnCount = kColumns.size();

constexpr const char* kHelp = N_(
    R"(Columns (a header line names them, in any order and letter case; JSON objects use them as keys):
  autoid         ignored on import: every imported row is added with a new autoid (a new
                 price takes effect through a row with a later dEnableDate)
  cVenCode       vendor code; empty: a price open to any vendor
  cInvCode, iSupplyType (1 purchase, 2 outsourcing, 4 import), dEnableDate, cExchName
                 required (cExch_Name, the column's name, is read too); codes must exist in
                 master data; an import row (iSupplyType 4) needs its cTermCode
  dDisableDate, cMemo, cTermCode, cFree1 ... cFree10
  bPromotion (empty: 0), bTaxCost (empty: 1), iLowerLimit (empty: 0), iUpperLimit (empty: no limit)
  iUnitPrice     required, above 0
  iTaxRate       from 0 to below 100 (empty: read as 0)
  iTaxUnitPrice  above 0; empty: iUnitPrice with the tax rate added
Dates yyyy-MM-dd, enable on or before disable; flags 1/0 (or true/false); numbers plain decimals
up to 1E+300, not negative, the upper limit above the lower one. Any other empty CSV cell stores
NULL (the look-ups read NULL and empty text alike); JSON keeps "" and null apart.
A row equal to a stored row or an earlier line in its key (cVenCode, cInvCode, iSupplyType,
cExchName, dEnableDate, bPromotion, cTermCode, iLowerLimit and cFree1 ... cFree10; codes and texts as the database
compares them, empty as none) is refused, so a list imported twice is not doubled. With
--replace it updates the stored row in place, with --skip-existing it is left out.)");

// The cells of one row by column; nullopt for an empty CSV cell or a JSON null.
using Cells = std::array<std::optional<std::string>, kColumnCount>;

// A column's position by its exact name, resolved when compiled.
consteval size_t Col(std::string_view name) {
  for (size_t c = 0; c < kColumnCount; ++c) {
    if (name == kColumns[c].name) return c;
  }
  throw "no such column";
}
constexpr size_t kVendor = Col("cVenCode"), kItem = Col("cInvCode"), kSupply = Col("iSupplyType"),
                 kEnable = Col("dEnableDate"), kDisable = Col("dDisableDate"),
                 kCurrency = Col("cExch_Name"), kTerm = Col("cTermCode"),
                 kLower = Col("iLowerLimit"), kUpper = Col("iUpperLimit"),
                 kUnit = Col("iUnitPrice"), kRate = Col("iTaxRate"),
                 kWithTax = Col("iTaxUnitPrice"), kFree1 = Col("cFree1");

std::optional<size_t> ColumnIndex(std::string_view name) {
  for (size_t c = 0; c < kColumnCount; ++c) {
    if (detail::EqualsNoCase(name, kColumns[c].name) ||
        detail::EqualsNoCase(name, ToolName(kColumns[c].name))) {
      return c;
    }
  }
  return std::nullopt;
}

std::string DateText(const Variant& value) {
  const Variant date = value.type() == VarType::Date ? value : TextToDate(VarToStr(value));
  return date.type() == VarType::Date ? date.AsDate().IsoDate() : VarToStr(value);
}

// A stored value as export writes it: null stays null, whatever its column.
void ValueToCell(const Variant& value, Kind kind, Cell& cell) {
  if (value.IsNull() || value.IsEmpty()) return cell.SetNull();
  switch (kind) {
    case Kind::kWhole:
      return cell.SetWhole(static_cast<int64_t>(VarToDbl(value)));
    case Kind::kDate:
      cell.SetText() = DateText(value);
      return;
    case Kind::kFlag:
      return cell.SetFlag(VarToBool(value));
    case Kind::kNumber:
      return cell.SetNumber(VarToDbl(value));
    case Kind::kText:
      break;
  }
  if (value.type() == VarType::String) {
    cell.SetText().assign(value.AsString());
  } else {
    cell.SetText() = VarToStr(value);
  }
}

ColumnKind SheetKind(Kind kind) {
  switch (kind) {
    case Kind::kWhole:
      return ColumnKind::kWhole;
    case Kind::kText:
      break;
    case Kind::kDate:
      return ColumnKind::kDate;
    case Kind::kFlag:
      return ColumnKind::kFlag;
    case Kind::kNumber:
      return ColumnKind::kNumber;
  }
  return ColumnKind::kText;
}

// Master-data codes as stored, each looked up once per import; nullopt for a missing one.
class MasterData {
 public:
  explicit MasterData(Connection& conn) : conn_(conn) {}

  const std::optional<std::string>& Code(const char* table, const char* column,
                                         const std::string& code) {
    auto& known = known_[table];
    if (auto it = known.find(code); it != known.end()) return it->second;
    auto rs = conn_.OpenRecordset(std::string("select ") + column + " as c from " + table +
                                  " where " + column + " = " + ToSqlText(Variant(code)));
    std::optional<std::string> stored;
    if (!rs->Eof()) stored = VarToStr(rs->Fields("c"));
    return known.emplace(code, std::move(stored)).first->second;
  }

 private:
  Connection& conn_;
  std::map<std::string_view, std::unordered_map<std::string, std::optional<std::string>>> known_;
};

// A row's cells checked and turned into the values to store (autoid left out), or every
// problem found with them.
struct CheckedRow {
  std::array<Variant, kColumnCount> values;
  std::vector<std::string> problems;
};

std::string NotStorable(const char* name) {
  return Tf("{0} is not a number between -{1} and {1}", name,
            fmt::format("{:G}", detail::kLargestStoredNumber));
}

// The rules' tier checks on a row's prices, with their ranges and messages; a price with tax
// left out is derived as the tier checks complete a tier from its unit price. The look-ups read
// a row without a tax rate as 0%, so that is the rate it is derived at. One scratch tier serves
// every row of an import.
class PriceChecks {
 public:
  explicit PriceChecks(std::shared_ptr<Validator> validator)
      : validator_(std::move(validator)), rule_(PriceRule::New()), tier_(rule_->AddRuleItem()) {
    rule_->bTaxCost = false;  // the net price leads
  }

  void Apply(CheckedRow& row) {
    Variant& with_tax = row.values[kWithTax];
    tier_->iUnitPrice = VarToDbl(row.values[kUnit]);
    tier_->iTaxRate = VarToDbl(row.values[kRate]);
    std::string errors;
    const bool unit_ok = !row.values[kUnit].IsEmpty() && validator_->CheckUnitPrice(tier_, errors);
    const double derived = tier_->iTaxUnitPrice;
    const bool rate_ok = validator_->CheckTaxRate(tier_, errors);
    if (!with_tax.IsEmpty()) {
      tier_->iTaxUnitPrice = VarToDbl(with_tax);
      validator_->CheckTaxUnitPrice(tier_, errors);
    } else if (unit_ok && rate_ok) {
      if (detail::IsStorableNumber(derived)) {
        with_tax = Variant(derived);
      } else {
        errors += NotStorable("iTaxUnitPrice") + '\r';
      }
    }
    // Each check's sentence becomes one clause of the line's list of problems.
    for (size_t at = 0, end; at < errors.size(); at = end + 1) {
      end = std::min(errors.find('\r', at), errors.size());
      std::string_view problem(errors.data() + at, end - at);
      for (const std::string_view stop : {".", "\u3002"}) {
        if (problem.ends_with(stop)) problem.remove_suffix(stop.size());
      }
      if (!problem.empty()) row.problems.emplace_back(problem);
    }
  }

 private:
  std::shared_ptr<Validator> validator_;
  std::shared_ptr<PriceRule> rule_;
  std::shared_ptr<PriceRuleItem> tier_;
};

CheckedRow CheckRow(const Cells& cells, MasterData& master, PriceChecks& prices) {
  CheckedRow row;
  auto& problems = row.problems;
  const auto given = [&](size_t c) { return cells[c] && !detail::Trim(*cells[c]).empty(); };
  for (size_t c = 1; c < kColumnCount; ++c) {
    const auto& text = cells[c];
    const char* name = kColumns[c].name;
    if (!text) continue;
    switch (kColumns[c].kind) {
      case Kind::kText:
        row.values[c] = Variant(*text);
        break;
      case Kind::kWhole:
      case Kind::kNumber:
        try {
          const double value = ImportNumber(detail::Trim(*text), name);
          if (!detail::IsStorableNumber(value)) throw ToolError(NotStorable(name));
          row.values[c] = Variant(value);
        } catch (const ToolError& e) {
          problems.push_back(e.what());
        }
        break;
      case Kind::kFlag:
        try {
          row.values[c] = Variant(ImportFlagCell(detail::Trim(*text), name).get<bool>());
        } catch (const ToolError& e) {
          problems.push_back(e.what());
        }
        break;
      case Kind::kDate:
        try {
          row.values[c] = Variant(ImportDate(*text, name));
        } catch (const ToolError& e) {
          problems.push_back(e.what());
        }
        break;
    }
  }

  const auto number = [&](size_t c) -> std::optional<double> {
    const Variant& v = row.values[c];
    if (v.IsEmpty()) return std::nullopt;
    return VarToDbl(v);
  };
  for (const size_t c : {kItem, kSupply, kEnable, kCurrency, kUnit}) {
    if (!given(c)) problems.push_back(Tf("{0} is required", ToolName(kColumns[c].name)));
  }
  const std::optional<double> supply = number(kSupply);
  if (supply && *supply != 1 && *supply != 2 && *supply != 4) {
    problems.push_back(Tf("iSupplyType must be 1 (purchase), 2 (outsourcing) or 4 (import): {0}",
                          *cells[kSupply]));
  }
  const auto exists = [&](size_t c, const char* table, const char* column, const char* missing) {
    if (!given(c)) return;
    if (const auto& code = master.Code(table, column, *cells[c])) {
      row.values[c] = Variant(*code);
    } else {
      problems.push_back(Tf(missing, *cells[c]));
    }
  };
  exists(kVendor, "Vendor", "cVenCode", N_("vendor {0} does not exist"));
  exists(kItem, "Inventory", "cInvCode", N_("item {0} does not exist"));
  exists(kCurrency, "ForeignCurrency", "cExch_Name", N_("currency {0} does not exist"));
  exists(kTerm, "ex_incoterms", "cIncotermCode", N_("trade term {0} does not exist"));
  if (supply == 4 && !given(kTerm)) {
    problems.push_back(_("an import price (iSupplyType 4) needs its cTermCode"));
  }
  const Variant& enable = row.values[kEnable];
  const Variant& disable = row.values[kDisable];
  if (!enable.IsEmpty() && !disable.IsEmpty() && VarToStr(disable) < VarToStr(enable)) {
    problems.push_back(
        Tf("dDisableDate {0} is before dEnableDate {1}", VarToStr(disable), VarToStr(enable)));
  }
  // The look-up orders by bPromotion, and a Null one sorts after 0: a row stored without its
  // flags would lose to every older row of its vendor.
  static const auto kDefaults = PriceRule::New();
  for (const auto& [c, flag] : {std::pair{Col("bPromotion"), kDefaults->bPromotion},
                                std::pair{Col("bTaxCost"), kDefaults->bTaxCost}}) {
    if (row.values[c].IsEmpty()) row.values[c] = Variant(flag);
  }
  prices.Apply(row);
  const double lower = number(kLower).value_or(0);
  if (lower < 0) problems.push_back(Tf("{0} must not be negative", "iLowerLimit"));
  row.values[kLower] = Variant(lower);
  if (auto upper = number(kUpper); upper && *upper <= lower) {
    problems.push_back(_("iUpperLimit must be empty (no limit) or above iLowerLimit"));
  }
  return row;
}

// The text as the quoter writes each value, and beside it the shape the embedded driver binds:
// one compiled statement for every row.
// Good rows stored several to a statement on the embedded database: the trigger that keeps the
// row version gives each statement a high cost of its own, and empty cells are bound like any
// value, so that one compiled statement serves every batch of a size. Elsewhere a row a
// statement. The rows held are written before the price list is read or changed otherwise.
class InsertBatch {
 public:
  explicit InsertBatch(Connection& conn)
      : conn_(conn), size_(conn.Dialect() == "sqlite" ? kBatchRows : 1) {}

  void Add(const CheckedRow& row) {
    static const std::string kInto = [] {
      std::string names;
      for (size_t c = 1; c < kColumnCount; ++c) (names += c == 1 ? "" : ",") += kColumns[c].name;
      return "insert into ven_inv_price (" + names + ") values ";
    }();
    if (held_ == 0) {
      sql_ = detail::ShapedWriter(kInto.size() + 512 * size_);
      sql_ += kInto;
    } else {
      sql_ += ",";
    }
    sql_ += "(";
    for (size_t c = 1; c < kColumnCount; ++c) {
      if (c > 1) sql_ += ",";
      sql_.Value(row.values[c], size_ > 1);
    }
    sql_ += ")";
    if (++held_ == size_) Flush();
  }

  void Flush() {
    if (held_ == 0) return;
    held_ = 0;
    detail::ConnectionAccess::ExecuteShaped(conn_, std::move(sql_).Done());
  }

 private:
  // As many rows as stay within the values a statement binds.
  static constexpr size_t kBatchRows = detail::kLiftedValuesMax / (kColumnCount - 1);

  Connection& conn_;
  const size_t size_;
  size_t held_ = 0;
  detail::ShapedWriter sql_;
};

// The columns of a row's key: two rows equal in all of them price the same purchase from the same
// day, and the look-up would choose between them by chance. A promotion price and the price of
// another trade term are offers of their own beside the regular one, as suites store them.
constexpr size_t kPromotion = Col("bPromotion");
constexpr std::array<size_t, 18> kKeyColumns = {
    kItem,      kSupply,    kVendor,    kEnable,    kCurrency,  kPromotion,
    kTerm,      kLower,     kFree1,     kFree1 + 1, kFree1 + 2, kFree1 + 3,
    kFree1 + 4, kFree1 + 5, kFree1 + 6, kFree1 + 7, kFree1 + 8, kFree1 + 9};

// The stored rows equal to the row in its key, texts compared by the database, an empty one
// equal to none as the look-ups read them.
void KeyCondition(const CheckedRow& row, detail::ShapedWriter& sql) {
  bool first = true;
  for (const size_t c : kKeyColumns) {
    const std::string_view name = kColumns[c].name;
    if (!std::exchange(first, false)) sql += " and ";
    if (kColumns[c].kind == Kind::kText && c != kItem) {
      ((sql += "isnull(") += name) += ",'')=";
      sql.Text(VarToStr(row.values[c]), true);
    } else if (kColumns[c].kind == Kind::kFlag) {
      ((sql += "isnull(") += name) += ",0)=";
      sql.Number(VarToBool(row.values[c]) ? "1" : "0");
    } else {
      (sql += name) += "=";
      sql.Value(row.values[c]);
    }
  }
}

// Every column a row sets, written over the stored rows of its key in place (their autoid stays).
detail::ShapedSql UpdateSql(const CheckedRow& row) {
  detail::ShapedWriter sql(2048);
  sql += "update ven_inv_price set ";
  for (size_t c = 1; c < kColumnCount; ++c) {
    ((sql += c == 1 ? "" : ",") += kColumns[c].name) += "=";
    sql.Value(row.values[c]);
  }
  sql += " where ";
  KeyCondition(row, sql);
  return std::move(sql).Done();
}

// The keys of an item's stored rows and of this import's rows, so that a row's duplicate is
// found without a statement per row: each item's stored keys are read once, when its first row
// comes. Texts are keyed as the database's collation compares them (ASCII letter case and
// trailing blanks ignored).
class KeyIndex {
 public:
  struct Seen {
    int64_t stored = 0;  // the first stored row with the key
    int line = 0;        // this import's row with the key: its line (CSV) or position (JSON)
  };

  KeyIndex(Connection& conn, InsertBatch& batch) : conn_(conn), batch_(batch) {}

  // Room for about this many keys at once: each growth of the table rehashes every key held.
  void Expect(size_t keys) { keys_.reserve(keys); }

  Seen& Find(const CheckedRow& row) {
    item_.clear();
    Fold(VarToStr(row.values[kItem]), item_);
    if (!items_.contains(item_)) {
      items_.insert(item_);
      batch_.Flush();
      Load(row.values[kItem]);
    }
    return At([&](size_t c) -> const Variant& { return row.values[c]; });
  }

 private:
  static void Fold(std::string_view text, std::string& out) {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    for (const char c : text) out += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }

  // The entry of the key the values make, added when new.
  template <typename Value>
  Seen& At(Value value) {
    key_.clear();
    for (const size_t c : kKeyColumns) {
      const auto& v = value(c);
      if (kColumns[c].kind == Kind::kText || kColumns[c].kind == Kind::kDate) {
        // Read in place: most of a row's key is text.
        Fold(v.type() == VarType::String ? std::string_view(v.AsString()) : VarToStr(v), key_);
      } else if (kColumns[c].kind == Kind::kFlag) {
        key_ += VarToBool(v) ? '1' : '0';
      } else {
        const double number = v.IsEmpty() || v.IsNull() ? 0 : VarToDbl(v);
        key_.append(reinterpret_cast<const char*>(&number), sizeof number);
      }
      key_ += '\0';
    }
    if (auto it = keys_.find(key_); it != keys_.end()) return it->second;
    return keys_.emplace(key_, Seen{}).first->second;
  }

  void Load(const Variant& item) {
    std::string columns = "autoid";
    for (const size_t c : kKeyColumns) columns += std::string(",") + kColumns[c].name;
    auto rs = conn_.OpenRecordset("select " + columns + " from ven_inv_price where cInvCode=" +
                                  ToSqlText(item) + " order by autoid");
    for (; !rs->Eof(); rs->MoveNext()) {
      Seen& seen = At([&](size_t c) { return rs->Fields(kColumns[c].name); });
      if (seen.stored == 0) seen.stored = static_cast<int64_t>(VarToDbl(rs->Fields("autoid")));
    }
  }

  Connection& conn_;
  InsertBatch& batch_;
  std::unordered_set<std::string> items_;
  std::unordered_map<std::string, Seen> keys_;
  std::string item_, key_;  // scratch, kept for their capacity
};

enum class OnExisting { kRefuse, kReplace, kSkip };

struct ImportArgs {
  std::string file;
  std::string format;
  ReadOptions read;
  bool dry_run = false;
  bool replace = false;
  bool skip_existing = false;
};

struct Refusal {
  std::string where;  // "line 4" or "row 2"
  Json entry;
};

// Good rows are stored in one transaction, committed once the whole file is read: a file that
// turns out broken, or a failed write, leaves the price list as it was. A dry run writes as the
// import would and rolls back, so that it finds the same duplicates.
int Import(const GlobalOptions& options, const ImportArgs& args) {
  const std::string format = ImportFormat(args.format, args.file, false);
  const bool json = format == "json";
  const OnExisting on_existing = args.replace         ? OnExisting::kReplace
                                 : args.skip_existing ? OnExisting::kSkip
                                                      : OnExisting::kRefuse;
  std::ifstream file;
  if (args.file != "-") {
    file.open(args.file, std::ios::binary);
    if (!file) throw ToolError(Tf("cannot read {0}", args.file));
  }
  std::istream& in = args.file == "-" ? std::cin : file;
  std::error_code ec;
  const double size =
      args.file == "-" ? 0 : static_cast<double>(std::filesystem::file_size(args.file, ec));

  Session session(options);
  Connection conn;
  conn.Open(session.connection_text());
  // A statement journal for each insert (its trigger writes twice): in memory, not a file.
  if (conn.Dialect() == "sqlite") conn.Execute("PRAGMA temp_store=MEMORY");
  MasterData master(conn);
  PriceChecks prices(session.manager().GetValidator());
  TransactionGuard transaction(conn);
  InsertBatch inserts(conn);
  KeyIndex keys(conn, inserts);
  // A price-list line takes some sixty bytes at least.
  keys.Expect(static_cast<size_t>(std::min(size / 64, 1e7)));
  std::vector<Refusal> refused;
  int accepted = 0, replaced = 0, skipped = 0;
  size_t taken = 0;
  ProgressBar progress(args.dry_run ? _("checking") : _("importing"));
  const auto take = [&](const Cells* cells, std::string problem, int line, int position) {
    const auto where = [&] { return line > 0 ? Tf("line {0}", line) : Tf("row {0}", position); };
    CheckedRow row;
    if (cells) row = CheckRow(*cells, master, prices);
    if (!problem.empty()) row.problems.insert(row.problems.begin(), std::move(problem));
    if (row.problems.empty()) {
      KeyIndex::Seen& seen = keys.Find(row);
      if (seen.line > 0) {
        // Which of two lines holds the price is the file's to say; neither is taken.
        row.problems.push_back(
            Tf("the same key as {0} (vendor, item, supply type, currency, "
               "dEnableDate, iLowerLimit, bPromotion, cTermCode and free items)",
               line > 0 ? Tf("line {0}", seen.line) : Tf("row {0}", seen.line)));
      } else if (seen.stored == 0) {
        inserts.Add(row);
        seen.line = line > 0 ? line : position;
        ++accepted;
      } else if (on_existing == OnExisting::kReplace) {
        inserts.Flush();
        detail::ConnectionAccess::ExecuteShaped(conn, UpdateSql(row));
        seen.line = line > 0 ? line : position;
        ++replaced;
      } else if (on_existing == OnExisting::kSkip) {
        ++skipped;
      } else {
        row.problems.push_back(
            Tf("the same key as stored row {0} (vendor, item, supply type, "
               "currency, dEnableDate, iLowerLimit, bPromotion, cTermCode and free items); "
               "--replace updates it, --skip-existing leaves it",
               seen.stored));
      }
    }
    if (!row.problems.empty()) {
      std::string message;
      for (const auto& p : row.problems) message = message.empty() ? p : Tf("{0}; {1}", message, p);
      Refusal refusal{where(), Json::object()};
      refusal.entry[line > 0 ? "line" : "position"] = line > 0 ? line : position;
      refusal.entry["message"] = message;
      refused.push_back(std::move(refusal));
    }
    // Asking the stream where it is costs a system call.
    if (++taken % 1024 == 0 && size > 0 && in.good() && in.tellg() > 0)
      progress.Update(static_cast<double>(in.tellg()) / size);
  };

  if (json) {
    EachJsonElement(in, [&](int position, Json&& element) {
      Cells cells;
      std::string problem;
      try {
        if (!element.is_object()) throw ToolError(_("expected an object of columns"));
        for (const auto& [key, value] : element.items()) {
          const auto c = ColumnIndex(key);
          if (!c) throw ToolError(Tf("{0}: unknown column", key));
          if (value.is_null()) continue;
          cells[*c] = JsonToCell(value);
          if (cells[*c]->empty() && kColumns[*c].kind != Kind::kText) cells[*c].reset();
        }
      } catch (const ToolError& e) {
        problem = e.what();
      }
      take(problem.empty() ? &cells : nullptr, problem, 0, position);
    });
  } else {
    TableReader reader(in, format, args.read);
    CsvRecord record;
    if (!reader.Next(record)) throw ToolError(_("the CSV file has no header line"));
    std::vector<size_t> layout;
    for (const std::string& name : record.fields) {
      const auto c = ColumnIndex(name);
      if (!c) {
        throw ToolError(Tf("line {0}: unknown column \"{1}\" (see tamsel {2} import --help)",
                           record.line, name, "pricelist"));
      }
      if (std::find(layout.begin(), layout.end(), *c) != layout.end()) {
        throw ToolError(Tf("line {0}: column {1} twice", record.line, kColumns[*c].name));
      }
      layout.push_back(*c);
    }
    Cells cells;
    while (reader.Next(record)) {
      if (record.fields.size() != layout.size()) {
        take(nullptr,
             Tf("{0} fields where the header has {1}", record.fields.size(), layout.size()),
             record.line, 0);
        continue;
      }
      for (auto& cell : cells) cell.reset();
      for (size_t f = 0; f < layout.size(); ++f) {
        if (!record.fields[f].empty()) cells[layout[f]] = std::move(record.fields[f]);
      }
      take(&cells, "", record.line, 0);
    }
  }
  inserts.Flush();
  if (args.dry_run) {
    transaction.Rollback();
  } else {
    transaction.Commit();
  }
  progress.Finish();

  if (options.json) {
    Json out = Json::object();
    out["dryRun"] = args.dry_run;
    out[args.dry_run ? "passed" : "imported"] = accepted;
    if (args.replace) out["replaced"] = replaced;
    if (args.skip_existing) out["skipped"] = skipped;
    out["refused"] = Json::array();
    for (const auto& refusal : refused) out["refused"].push_back(refusal.entry);
    std::cout << out.dump(2) << '\n';
  } else {
    std::cout << (args.dry_run
                      ? Tfn("Checked {0} price-list row without storing it; refused {1}.",
                            "Checked {0} price-list rows without storing them; refused {1}.",
                            accepted, accepted, refused.size())
                      : Tfn("Imported {0} price-list row; refused {1}.",
                            "Imported {0} price-list rows; refused {1}.", accepted, accepted,
                            refused.size()));
    if (args.replace) std::cout << ' ' << Tf("Replaced {0} stored.", replaced);
    if (args.skip_existing) std::cout << ' ' << Tf("Skipped {0} already stored.", skipped);
    std::cout << '\n';
    for (const auto& refusal : refused) {
      std::cout << "  "
                << Tf("{0}: {1}", refusal.where, refusal.entry["message"].get<std::string>())
                << '\n';
    }
  }
  return refused.empty() ? kDone : kRefused;
}

struct ExportArgs {
  ListArgs list;
  std::string format;
  std::string output;
  bool csv = false;
};

// Read and written a page at a time, the table's columns found once per page and the cells
// written straight into large pieces of text; a file is replaced only once it is complete.
int Export(const GlobalOptions& options, const ExportArgs& args) {
  const std::string format =
      args.csv ? "csv" : ExportFormat(args.format, args.output, options.json);
  const Session session(options);
  ExportTarget out(args.output,
                   [&] { return CountPriceRows(session.connection_text(), args.list); });
  std::vector<std::string> names;
  std::vector<ExportColumn> columns;
  for (const auto& column : kColumns) {
    names.emplace_back(ToolName(column.name));
    columns.push_back({names.back(), SheetKind(column.kind)});
  }
  std::optional<JsonArrayWriter> json;
  std::unique_ptr<SheetWriter> sheet;
  if (format == "json") {
    json.emplace([&](std::string_view text) { out.Write(text); });
  } else {
    sheet = OpenSheet(out, format, std::move(columns));
  }
  const std::vector<std::string> keys = JsonArrayWriter::JsonKeys(names);
  std::vector<Cell> cells(kColumnCount);
  EachPriceRowPage(session.connection_text(), args.list, [&](Recordset& rs) {
    std::array<int32_t, kColumnCount> at{};
    for (size_t c = 0; c < kColumnCount; ++c) {
      at[c] = -1;
      for (int32_t f = 0; f < rs.FieldCount() && at[c] < 0; ++f) {
        if (detail::EqualsNoCase(rs.FieldName(f), kColumns[c].name)) at[c] = f;
      }
      if (at[c] < 0) rs.Fields(kColumns[c].name);  // reports the missing column
    }
    for (; !rs.Eof(); rs.MoveNext()) {
      const Variant* row = rs.RowValues();
      for (size_t c = 0; c < kColumnCount; ++c) ValueToCell(row[at[c]], kColumns[c].kind, cells[c]);
      if (json) {
        json->AddObject(keys, cells);
      } else {
        sheet->Row(cells);
      }
      out.Counted();
    }
  });
  if (json) json->Close();
  if (sheet) sheet->Close();
  out.Finish(NP_("Exported {0} price-list row to {1}.", "Exported {0} price-list rows to {1}."));
  return kDone;
}

}  // namespace

void AddPriceListCommands(CLI::App& app, GlobalOptions& options, Action& action) {
  CLI::App* pricelist = app.get_subcommand("pricelist");

  auto import_args = std::make_shared<ImportArgs>();
  auto* imp = pricelist->add_subcommand(
      "import",
      _("Add price-list rows from CSV or JSON, each checked first; the good rows are stored in "
        "one transaction"));
  imp->footer(_(kHelp));
  AddImportInput(*imp, import_args->file, import_args->format, import_args->read);
  imp->add_flag("--dry-run", import_args->dry_run,
                _("check every row, duplicates included, without storing any"));
  auto* replace = imp->add_flag(
      "--replace", import_args->replace,
      _("a row with the key of a stored row updates that row in place instead of being refused"));
  imp->add_flag("--skip-existing", import_args->skip_existing,
                _("a row with the key of a stored row is left out and counted instead of refused"))
      ->excludes(replace);
  imp->callback([&options, &action, import_args] {
    action = [&options, import_args] { return Import(options, *import_args); };
  });

  auto export_args = std::make_shared<ExportArgs>();
  auto* exp = pricelist->add_subcommand(
      "export", _("Write price-list rows in the shape pricelist import reads"));
  exp->footer(_(kHelp));
  AddExportOptions(*exp, export_args->list, export_args->format, export_args->output);
  exp->add_flag("--csv", export_args->csv, _("CSV whatever --json or the file's extension say"));
  exp->callback([&options, &action, export_args] {
    action = [&options, export_args] { return Export(options, *export_args); };
  });
}

}  // namespace tamsel::cli
