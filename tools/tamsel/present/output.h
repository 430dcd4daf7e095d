#pragma once

// Text tables and JSON values for the tool's output.

#include <functional>
#include <iosfwd>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tamsel/tamsel.h"

namespace tamsel::cli {

using Json = nlohmann::ordered_json;

// Plain decimal, as the component writes numbers (no exponent, no grouping).
std::string FormatNumber(double value);
// Money for people: rounded to two decimals (the suite's currency table keeps no decimals of
// its own), thousands grouped with commas whatever the locale: "1,234.50".
std::string FormatMoney(double value);
// An upper limit: its number, or "no limit" for Null or Empty.
std::string FormatUpperLimit(const Variant& limit);
std::string YesNo(bool value);

// Null and Empty become null, numbers numbers, Booleans Booleans, everything else text.
Json VariantToJson(const Variant& value);

// The one set of field names the tool writes, and the database columns they stand for. Rule
// files, JSON output and --filter use the public rule object's names (cExchName); columns keep
// the suite's (cExch_Name), and the old spellings are read as the names they stand for.
enum class FieldKind { kText, kWhole, kNumber, kLimit, kMoney, kFlag, kDate };
struct ToolField {
  const char* name;    // in rule files, JSON and filters
  const char* column;  // in the database
  const char* header;  // in text tables
  FieldKind kind;
};
// The field a tool name or a column names, letter case ignored; null when neither does.
const ToolField* FindField(std::string_view name_or_column);
// The tool's name for a name or column it knows; anything else unchanged.
std::string ToolName(std::string_view name_or_column);
// An SQL condition with the tool's names turned into columns; string literals and quoted names
// stay as written.
std::string FilterToColumns(std::string_view filter);
// A column's value in the tool's JSON: flags true/false, an empty date null.
Json FieldToJson(const ToolField* field, const Variant& value);
// A column's value in a text table: money rounded and grouped, flags yes/no, an open upper
// limit "no limit", Null blank.
std::string FieldToCell(const ToolField* field, const Variant& value);

class Table {
 public:
  explicit Table(std::vector<std::string> headers);
  // Right-aligns a column (numbers).
  Table& AlignRight(size_t column);
  void AddRow(std::vector<std::string> cells);
  bool empty() const { return rows_.empty(); }
  // Columns padded to their widest cell; wide East Asian characters count twice.
  void Print(std::ostream& out) const;
  // The widths Print uses, and the rows (after the headers when asked) at given widths, so that
  // a long list printed a part at a time stays aligned.
  std::vector<size_t> Widths() const;
  void Print(std::ostream& out, const std::vector<size_t>& widths, bool headers) const;
  // An array of objects keyed by the headers.
  Json ToJson() const;

 private:
  std::vector<std::string> headers_;
  std::vector<bool> right_;
  std::vector<std::vector<std::string>> rows_;
};

// Two columns, field and value.
void PrintFields(std::ostream& out, const std::vector<std::pair<std::string, std::string>>& fields);

// The current row, all columns, under the tool's names.
Json RowToJson(Recordset& rs);

// Writes a JSON array an element at a time, laid out as the whole array's dump(2) would be.
class JsonArrayWriter {
 public:
  explicit JsonArrayWriter(std::function<void(std::string_view)> write);
  void Add(const Json& element);
  void Close();

 private:
  std::function<void(std::string_view)> write_;
  bool empty_ = true;
};
// The chosen columns of every row (missing columns left blank) as a table under readable
// headers, numbers right-aligned.
Table RecordsetToTable(Recordset& rs, const std::vector<std::string>& columns);

// Display width of UTF-8 text in terminal columns.
size_t DisplayWidth(std::string_view text);

}  // namespace tamsel::cli
