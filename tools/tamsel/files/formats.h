#pragma once

// What the imports and exports share in reading and writing files: the format by --format or
// extension, cells as numbers, flags and dates, JSON values as cells, the elements of a JSON
// file as they are parsed, and whole inputs.

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "files/csv.h"
#include "present/output.h"

namespace CLI {
class App;
}

namespace tamsel::cli {

class DecodedStream;
class XlsxReader;
struct XlsxCell;

// "json", "csv" or "xlsx": format when given, else by the path's extension, else the default.
std::string ImportFormat(const std::string& format, const std::string& path, bool json_default);
// A cell's plain decimal number (whole: a 32-bit whole number); ToolError
// "COLUMN: not a number: TEXT" otherwise.
Json ImportNumberCell(const std::string& text, const std::string& column, bool whole);
double ImportNumber(const std::string& text, const std::string& column);
// 1/0, true/false or yes/no in any letter case; ToolError otherwise.
Json ImportFlagCell(const std::string& text, const std::string& column);
// A cell's date in the one form both imports read, yyyy-MM-dd (blanks around it ignored), as that
// text; ToolError "COLUMN: not a date in the form yyyy-MM-dd: TEXT" otherwise.
std::string ImportDate(std::string_view text, const std::string& column);
// A JSON value as a CSV cell: null empty, flags 1/0, numbers plain decimals; ToolError for an
// array or an object.
std::string JsonToCell(const Json& value);
// The elements of a JSON file (an array, or one object as position 1), each handed over as soon
// as it is parsed and then dropped, so memory does not grow with the file. Returns their count.
size_t EachJsonElement(std::istream& in,
                       const std::function<void(int position, Json&& element)>& take);
// Reads a whole file, or stdin for "-"; ToolError when it cannot be read.
std::string ReadInput(const std::string& path);

// How an import reads the text of its CSV file.
struct ReadOptions {
  std::string encoding;        // empty: UTF-8
  bool decimal_comma = false;  // numbers such as 0,76; implied by ';' as the separator
};
// An import's input: FILE, --format (csv, json or xlsx), --encoding and --decimal-comma, with
// their help.
void AddImportInput(CLI::App& command, std::string& file, std::string& format,
                    ReadOptions& options);

// "0,76" as "0.76": a cell whose one comma, read as a point, makes a plain decimal number (no
// point and no thousands grouping besides); any other text as it is.
std::string PointDecimal(std::string_view text);

// The records of a CSV or xlsx import, the header first, with cells as the import reads them:
// CSV decoded from its encoding; a text cell without the quote an export puts in front of text
// a spreadsheet would run (see files/cells.h); a number cell with a decimal comma read; an xlsx
// date as yyyy-MM-dd. A cell's kind comes from its column's name, which the suite gives the
// kind's letter: c text, i number, d date, b flag.
class TableReader {
 public:
  // format: "csv" or "xlsx" (as ImportFormat gives it).
  TableReader(std::istream& in, const std::string& format, const ReadOptions& options);
  ~TableReader();
  TableReader(const TableReader&) = delete;
  TableReader& operator=(const TableReader&) = delete;
  // The next record, or false at the end. Throws ToolError for a file that cannot be read.
  bool Next(CsvRecord& record);

 private:
  enum class Kind { kText, kNumber, kDate, kOther };

  const ReadOptions options_;
  std::unique_ptr<DecodedStream> text_;
  std::unique_ptr<CsvReader> csv_;
  std::unique_ptr<XlsxReader> xlsx_;
  std::vector<XlsxCell> cells_;
  std::vector<Kind> kinds_;  // by field, once the header is read
  bool header_read_ = false;
};

}  // namespace tamsel::cli
