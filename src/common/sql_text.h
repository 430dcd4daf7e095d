#pragma once

// The one place where values become SQL text. Every statement builder of the component uses
// these, so a value holding a quote can never end a literal early.

#include <cstdint>
#include <string>
#include <string_view>

#include "common/internal_api.h"

namespace tamsel::detail {

// The value for use between quotes: each ' doubled. Values without quotes come back unchanged.
// A value holding a NUL character throws std::invalid_argument.
TAMSEL_INTERNAL std::string SqlEsc(std::string_view value);
// SqlEsc(value) appended to out.
TAMSEL_INTERNAL void AppendSqlEsc(std::string& out, std::string_view value);
// A number as VarToStr writes it (plain decimal, point, at most 15 significant digits; from
// 1E+15 up and below 1E-15 in exponent form). Infinity, NaN and numbers whose 15-digit form
// exceeds the double range have no literal: std::invalid_argument.
TAMSEL_INTERNAL std::string NumText(double value);
// A whole number in plain decimal.
TAMSEL_INTERNAL std::string IntText(int64_t value);

}  // namespace tamsel::detail
