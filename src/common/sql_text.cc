#include "common/sql_text.h"

#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "common/text.h"

namespace tamsel::detail {

void AppendSqlEsc(std::string& out, std::string_view value) {
  // SQL text ends at a NUL, so the rest of the statement would be lost.
  if (value.find('\0') != std::string_view::npos)
    throw std::invalid_argument("a text holds a NUL character, which no statement can carry");
  out.reserve(out.size() + value.size());
  for (char c : value) {
    out.push_back(c);
    if (c == '\'') out.push_back('\'');
  }
}

std::string SqlEsc(std::string_view value) {
  std::string out;
  AppendSqlEsc(out, value);
  return out;
}

std::string NumText(double value) {
  // Infinity and NaN have no literal that both the database and VarToDbl read back.
  if (!std::isfinite(value)) throw std::invalid_argument("the number is not finite");
  if (value == 0) return "0";  // also -0

  // Rounding to 15 significant digits is done by the scientific form; the digits and the
  // exponent are then laid out as plain decimal.
  // Written into a buffer on the stack: bulk writes format every price of every row.
  char buffer[32];
  const auto written =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
  *written.ptr = '\0';
  const std::string_view sci(buffer, static_cast<std::size_t>(written.ptr - buffer));
  const bool negative = sci.front() == '-';
  const auto e_pos = sci.find('e');
  std::string digits;
  for (std::size_t i = negative ? 1 : 0; i < e_pos; ++i) {
    if (sci[i] != '.') digits.push_back(sci[i]);
  }
  const int exponent = std::atoi(buffer + e_pos + 1);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out = negative ? "-" : "";
  if (exponent >= 15 || exponent < -15) {
    // Too long for plain decimal; the database reads this form as the same number.
    out += digits.front();
    if (digits.size() > 1) out += "." + digits.substr(1);
    out += fmt::format("E{}{:02}", exponent < 0 ? '-' : '+', std::abs(exponent));
  } else if (exponent >= 0) {
    const auto int_len = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= int_len) {
      out += digits + std::string(int_len - digits.size(), '0');
    } else {
      out += digits.substr(0, int_len) + "." + digits.substr(int_len);
    }
  } else {
    out += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  }
  // Next to the double limit the 15-digit rounding goes past it: the database would read infinity.
  if (exponent >= 308 && !ParseNumber(out)) throw std::invalid_argument("the number is too large");
  return out;
}

std::string IntText(int64_t value) { return fmt::format("{}", value); }

}  // namespace tamsel::detail
