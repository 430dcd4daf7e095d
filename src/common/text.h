#pragma once

// Small text helpers shared by every subsystem.

#include <optional>
#include <string>
#include <string_view>

namespace tamsel::detail {

// Without leading and trailing blanks (the space character only).
std::string Trim(std::string_view text);
// ASCII lower case.
std::string Lower(std::string_view text);
// Equal ignoring ASCII letter case.
bool EqualsNoCase(std::string_view a, std::string_view b);
// The number a text reads as, whatever the process locale: a decimal number with an optional
// sign, point and exponent, blanks around it ignored. Grouping, currency signs, hexadecimal,
// "inf", "nan" and anything beyond the double range read as nothing.
std::optional<double> ParseNumber(std::string_view text);

}  // namespace tamsel::detail
