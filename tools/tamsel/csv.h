#pragma once

// Comma-separated values as spreadsheets write them: a field may be quoted, a quote inside a
// quoted field is doubled, and a quoted field may hold commas and line breaks.

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace tamsel::cli {

struct CsvRecord {
  int line = 0;  // the line on which the record starts, from 1
  std::vector<std::string> fields;
};

// Every record of the text; blank lines are skipped and a leading byte-order mark is ignored.
// An unterminated quoted field, or a quote in the middle of a field, throws ToolError with the
// line. first_line is the number of the text's first line in its file.
std::vector<CsvRecord> ParseCsv(std::string_view text, int first_line = 1);

// The records of a stream one at a time, holding no more than one record's lines.
class CsvReader {
 public:
  explicit CsvReader(std::istream& in) : in_(in) {}
  // The next record, or false at the end. Throws as ParseCsv does.
  bool Next(CsvRecord& record);

 private:
  std::istream& in_;
  int next_line_ = 1;
  std::vector<CsvRecord> pending_;
  size_t taken_ = 0;
};

// One line with its line break ("\r\n" as the common format asks); fields are quoted when they
// hold a comma, a quote, a line break or surrounding blanks.
std::string FormatCsvLine(const std::vector<std::string>& fields);

}  // namespace tamsel::cli
