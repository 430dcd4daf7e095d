#pragma once

// Small text helpers shared by every subsystem.

#include <optional>
#include <string>
#include <string_view>

#include "common/internal_api.h"

namespace tamsel::detail {

// Without leading and trailing blanks (the space character only).
TAMSEL_INTERNAL std::string Trim(std::string_view text);
// ASCII lower case.
TAMSEL_INTERNAL std::string Lower(std::string_view text);
// Equal ignoring ASCII letter case.
TAMSEL_INTERNAL bool EqualsNoCase(std::string_view a, std::string_view b);
// Binary bytes as text a person and every conversion can read: "0x" and two upper-case hex
// digits a byte, as the server's tools show them. Raw bytes would hold NULs and invalid UTF-8.
std::string HexText(std::string_view bytes);
// The number a text reads as, whatever the process locale: a decimal number with an optional
// sign, point and exponent, blanks around it ignored. Grouping, currency signs, hexadecimal,
// "inf", "nan" and anything beyond the double range read as nothing.
TAMSEL_INTERNAL std::optional<double> ParseNumber(std::string_view text);

}  // namespace tamsel::detail
