#pragma once

// Text cells a spreadsheet would take for a formula. A spreadsheet runs a cell that starts with
// =, +, - or @ (and some with a tab or a carriage return first) when a buyer opens the file, so
// exports put a single quote in front of such text, and in front of text that already starts
// with a quote; imports take exactly one leading quote off every text cell. Export then import
// gives back every text as it was. Numbers, dates and flags are never changed.

#include <string>
#include <string_view>

namespace tamsel::cli {

// Whether an exported text cell gets the quote.
bool NeedsNeutralising(std::string_view text);
// The text as a spreadsheet cell that shows it and runs nothing.
std::string NeutraliseCell(std::string_view text);
// The text NeutraliseCell was given.
std::string_view RestoreCell(std::string_view cell);

}  // namespace tamsel::cli
