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

// A value on its way into JSON or a CSV cell, held without building a JSON value, so that a long
// list or export writes row after row without allocating per cell.
struct Cell {
  enum class Type { kNull, kFlag, kWhole, kNumber, kText };
  Type type = Type::kNull;
  bool flag = false;
  int64_t whole = 0;
  double number = 0;
  std::string text;  // kText; kept from row to row so that its buffer is reused
  void SetNull() { type = Type::kNull; }
  void SetFlag(bool value) { type = Type::kFlag, flag = value; }
  void SetWhole(int64_t value) { type = Type::kWhole, whole = value; }
  void SetNumber(double value) { type = Type::kNumber, number = value; }
  std::string& SetText() {
    type = Type::kText;
    return text;
  }
};
Json CellToJson(const Cell& cell);
// The cell's value as Json::dump writes it.
void AppendJson(std::string& out, const Cell& cell);

// Null and Empty become null, numbers numbers, Booleans Booleans, everything else text.
Json VariantToJson(const Variant& value);
void VariantToCell(const Variant& value, Cell& cell);

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
void FieldToJsonCell(const ToolField* field, const Variant& value, Cell& cell);
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

// Text gathered in one large buffer and handed to its sink a large piece at a time, so that a
// long output makes few writes. What is left at the end goes on Flush; destroyed without it,
// the rest is dropped (the output failed anyway).
class TextBuffer {
 public:
  explicit TextBuffer(std::function<void(std::string_view)> sink);
  std::string& text() { return text_; }
  // Hands the text over once it is large enough.
  void FlushIfFull() {
    if (text_.size() >= kPiece) Flush();
  }
  void Flush();

 private:
  static constexpr size_t kPiece = 1 << 20;
  std::function<void(std::string_view)> sink_;
  std::string text_;
};

// Writes a JSON array an element at a time, laid out as the whole array's dump(2) would be.
class JsonArrayWriter {
 public:
  explicit JsonArrayWriter(std::function<void(std::string_view)> write);
  void Add(const Json& element);
  // An object of scalars straight from its cells, keys as JsonKeys made them: the layout of
  // Add, without a JSON value.
  void AddObject(const std::vector<std::string>& keys, const std::vector<Cell>& cells);
  void Close();
  // Object keys written once: each quoted, escaped and followed by ": ".
  static std::vector<std::string> JsonKeys(const std::vector<std::string>& names);

 private:
  void Separate();
  TextBuffer out_;
  bool empty_ = true;
};

// The rows of a result as JSON objects: every column under the tool's name, its value as
// FieldToJson writes it. The columns are resolved once per result, not per cell.
class JsonRows {
 public:
  explicit JsonRows(std::function<void(std::string_view)> write) : array_(std::move(write)) {}
  // Every row from the current one to the end; returns how many.
  int64_t AddAll(Recordset& rs);
  void Close() { array_.Close(); }

 private:
  JsonArrayWriter array_;
  std::vector<std::string> keys_;
  std::vector<const ToolField*> fields_;
  std::vector<int32_t> columns_;  // for each key, the column whose value it shows
  std::vector<Cell> cells_;
};
// The chosen columns of every row (missing columns left blank) as a table under readable
// headers, numbers right-aligned.
Table RecordsetToTable(Recordset& rs, const std::vector<std::string>& columns);

// Display width of UTF-8 text in terminal columns.
size_t DisplayWidth(std::string_view text);
// The code point of the UTF-8 sequence at `at`, which moves past it.
uint32_t NextCodePoint(std::string_view text, size_t& at);

}  // namespace tamsel::cli
