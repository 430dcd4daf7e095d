#pragma once

// Small text helpers shared by every subsystem.

#include <string>
#include <string_view>

namespace tamsel::detail {

// Without leading and trailing blanks (the space character only).
std::string Trim(std::string_view text);
// ASCII lower case.
std::string Lower(std::string_view text);
// Equal ignoring ASCII letter case.
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace tamsel::detail
