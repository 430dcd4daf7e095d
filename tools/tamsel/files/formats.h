#pragma once

// What the imports and exports share in reading and writing files: the format by --format or
// extension, cells as numbers, flags and dates, JSON values as cells, the elements of a JSON
// file as they are parsed, and whole inputs.

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

#include "present/output.h"

namespace tamsel::cli {

// "json" or "csv": format when given, else by the path's extension, else the default.
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

}  // namespace tamsel::cli
