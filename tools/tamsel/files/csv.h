#pragma once

// Comma-separated values as spreadsheets write them: a field may be quoted, a quote inside a
// quoted field is doubled, and a quoted field may hold separators and line breaks. Spreadsheets
// in many locales separate by ';', and some exports by a tab: a reader takes the one its first
// line uses most.

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
std::vector<CsvRecord> ParseCsv(std::string_view text, int first_line = 1, char separator = ',');

// ',', ';' or a tab: whichever the line holds most of outside quotes; ',' when none.
char DetectSeparator(std::string_view line);

// The records of a stream one at a time, holding no more than one record's lines.
class CsvReader {
 public:
  explicit CsvReader(std::istream& in) : in_(in) {}
  // The next record, or false at the end. Throws as ParseCsv does.
  bool Next(CsvRecord& record);
  // The separator the first line uses; 0 before it is read.
  char separator() const { return separator_; }

 private:
  std::istream& in_;
  char separator_ = 0;  // found on the first line
  int next_line_ = 1;
  std::vector<CsvRecord> pending_;
  size_t taken_ = 0;
  std::string chunk_, piece_;  // scratch, kept for their capacity
};

// One line with its line break ("\r\n" as the common format asks); fields are quoted when they
// hold a comma, a quote, a line break or surrounding blanks.
// A file starts with the byte-order mark, by which spreadsheets know the text is UTF-8.
inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
std::string FormatCsvLine(const std::vector<std::string>& fields);
// The same field by field into a line being built: a separator before every field but the
// line's first, and no line break (the caller ends the line with "\r\n").
void AppendCsvField(std::string& line, std::string_view field, bool first);

}  // namespace tamsel::cli
