#pragma once

// The first worksheet of an xlsx workbook, row by row. No Debian library reads xlsx, and imports
// need little of it: the sheet's cells as shared or inline strings, numbers, flags and dates
// (numbers too, by the 1900 or 1904 system), which minizip and pugixml read from the package.
// The sheet is parsed whole; its rows are handed out one at a time.

#include <pugixml.hpp>
#include <string>
#include <vector>

namespace tamsel::cli {

struct XlsxCell {
  std::string text;     // a number as written in the sheet; a flag 1 or 0
  bool number = false;  // stored as a number (dates are numbers in a sheet)
};

class XlsxReader {
 public:
  // The workbook's bytes; ToolError when they are not an xlsx workbook.
  explicit XlsxReader(const std::string& file);
  // The next row holding anything: its number from 1, and its cells from column A (a missing
  // cell is empty). False after the last.
  bool Next(int& row, std::vector<XlsxCell>& cells);
  // A number cell's date as yyyy-MM-dd; a cell that is not a whole day's number as it is.
  std::string DateText(const XlsxCell& cell) const;

 private:
  std::vector<std::string> shared_;
  bool date1904_ = false;
  pugi::xml_document sheet_;
  pugi::xml_node row_;
  int row_number_ = 0;
};

}  // namespace tamsel::cli
