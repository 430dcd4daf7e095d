#pragma once

// Text cells as spreadsheets take them: a cell that starts like a formula (= + - @, a tab or a
// carriage return) would be run when a buyer opens an exported file. Export puts one single
// quote before such a text, and before a text that already starts with one, so that import can
// take exactly one quote off again and every text survives the round trip.

#include <string>
#include <string_view>

namespace tamsel::cli {

// Whether an exported text cell gets the quote.
bool NeedsNeutralising(std::string_view text);
// The text as an export writes it into a text cell. Numbers, dates and flags never pass here.
std::string NeutraliseCell(std::string_view text);

}  // namespace tamsel::cli
