#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <stdexcept>

#include "common/sql_text.h"
#include "common/text.h"
#include "tamsel/variant.h"

namespace tamsel {

namespace {

// Days from the suite's date zero (1899-12-30) to 1970-01-01.
constexpr double kZeroToEpochDays = 25569.0;

double DateSerial(const Date& d) {
  return static_cast<double>(d.days()) + kZeroToEpochDays +
         static_cast<double>(d.seconds_of_day()) / 86400.0;
}

// Exact text of a fixed-point currency amount, up to four decimals.
std::string CurrencyText(const Variant& v) {
  // The amount holds four decimals at most, so four fixed decimals print it without the
  // 15-digit cut that other numbers get.
  std::string out = fmt::format("{:.4f}", v.AsDouble());
  while (out.back() == '0') out.pop_back();
  if (out.back() == '.') out.pop_back();
  if (out == "-0") out = "0";
  return out;
}

// Any value as a double, or nothing when it does not convert.
std::optional<double> ToDouble(const Variant& v) {
  switch (v.type()) {
    case VarType::Empty:
    case VarType::Null:
      return 0.0;
    case VarType::Integer:
      return v.AsInteger();
    case VarType::Long:
      return v.AsLong();
    case VarType::Byte:
      return v.AsByte();
    case VarType::Single:
    case VarType::Double:
    case VarType::Currency:
    case VarType::Decimal:
      return v.AsDouble();
    case VarType::Boolean:
      return v.AsBool() ? -1.0 : 0.0;
    case VarType::Date:
      return DateSerial(v.AsDate());
    case VarType::String:
      return detail::ParseNumber(v.AsString());
    case VarType::Object:
    case VarType::Error:
      return std::nullopt;
  }
  return std::nullopt;
}

double RoundHalfEven(double x) {
  const double floor = std::floor(x);
  const double diff = x - floor;
  if (diff < 0.5) return floor;
  if (diff > 0.5) return floor + 1;
  return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

}  // namespace

// A text reads as a number when, without surrounding blanks, it is a decimal number with an
// optional sign, point and exponent ("12.5", " -3 ", "+1e3", ".5"). Grouping, currency signs,
// hexadecimal, "inf" and "nan" are not numbers, nor is anything out of the double range.
std::optional<double> detail::ParseNumber(std::string_view raw) {
  const std::string text = detail::Trim(raw);
  std::string_view body = text;
  bool negative = false;
  if (!body.empty() && (body.front() == '+' || body.front() == '-')) {
    negative = body.front() == '-';
    body.remove_prefix(1);
  }
  if (body.empty() ||
      !(std::isdigit(static_cast<unsigned char>(body.front())) || body.front() == '.')) {
    return std::nullopt;
  }
  double value = 0;
  const auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), value);
  if (ec != std::errc() || end != body.data() + body.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

std::string VarToStr(const Variant& v) {
  switch (v.type()) {
    case VarType::Empty:
    case VarType::Null:
      return {};
    case VarType::Integer:
      return detail::IntText(v.AsInteger());
    case VarType::Long:
      return detail::IntText(v.AsLong());
    case VarType::Byte:
      return detail::IntText(v.AsByte());
    case VarType::Single: {
      // The shortest text of the float, so 1.1f reads "1.1" and not its double expansion.
      const std::string shortest = fmt::format("{}", v.AsSingle());
      return detail::NumText(detail::ParseNumber(shortest).value_or(v.AsSingle()));
    }
    case VarType::Double:
    case VarType::Decimal:
      return detail::NumText(v.AsDouble());
    case VarType::Currency:
      return CurrencyText(v);
    case VarType::Boolean:
      return v.AsBool() ? "True" : "False";
    case VarType::Date:
      return v.AsDate().ToString();
    case VarType::String:
      return v.AsString();
    case VarType::Object:
      throw std::invalid_argument("an object value has no text form");
    case VarType::Error:
      throw std::invalid_argument("an error value has no text form");
  }
  throw std::invalid_argument("unknown value kind");
}

double VarToDbl(const Variant& v) { return ToDouble(v).value_or(0.0); }

int32_t VarToLng(const Variant& v) {
  switch (v.type()) {
    case VarType::Integer:
      return v.AsInteger();
    case VarType::Long:
      return v.AsLong();
    case VarType::Byte:
      return v.AsByte();
    default:
      break;
  }
  const std::optional<double> d = ToDouble(v);
  if (!d || !std::isfinite(*d)) return 0;
  const double r = RoundHalfEven(*d);
  if (r < -2147483648.0 || r > 2147483647.0) return 0;
  return static_cast<int32_t>(r);
}

bool VarToBool(const Variant& v) {
  switch (v.type()) {
    case VarType::Boolean:
      return v.AsBool();
    case VarType::String: {
      const std::string text = detail::Trim(v.AsString());
      if (detail::EqualsNoCase(text, "true")) return true;
      if (detail::EqualsNoCase(text, "false")) return false;
      const std::optional<double> d = detail::ParseNumber(text);
      return d && *d != 0;
    }
    default: {
      const std::optional<double> d = ToDouble(v);
      return d && !std::isnan(*d) && *d != 0;
    }
  }
}

namespace {

// Reads 1 to max_digits decimal digits at pos; -1 when there is none.
int ReadDigits(std::string_view s, std::size_t& pos, std::size_t min_digits,
               std::size_t max_digits) {
  std::size_t n = 0;
  int value = 0;
  while (pos < s.size() && n < max_digits && std::isdigit(static_cast<unsigned char>(s[pos]))) {
    value = value * 10 + (s[pos] - '0');
    ++pos;
    ++n;
  }
  return n >= min_digits ? value : -1;
}

std::optional<Date> ParseDateTime(std::string_view s) {
  std::size_t pos = 0;
  const int year = ReadDigits(s, pos, 4, 4);
  if (year < 0 || pos >= s.size() || (s[pos] != '-' && s[pos] != '/')) return std::nullopt;
  const char sep = s[pos++];
  const int month = ReadDigits(s, pos, 1, 2);
  if (month < 0 || pos >= s.size() || s[pos++] != sep) return std::nullopt;
  const int day = ReadDigits(s, pos, 1, 2);
  if (day < 0) return std::nullopt;
  int hour = 0, minute = 0, second = 0;
  if (pos < s.size()) {
    if (s[pos] != ' ') return std::nullopt;
    while (pos < s.size() && s[pos] == ' ') ++pos;
    hour = ReadDigits(s, pos, 1, 2);
    if (hour < 0 || pos >= s.size() || s[pos++] != ':') return std::nullopt;
    minute = ReadDigits(s, pos, 2, 2);
    if (minute < 0) return std::nullopt;
    if (pos < s.size()) {
      if (s[pos++] != ':') return std::nullopt;
      second = ReadDigits(s, pos, 2, 2);
      if (second < 0) return std::nullopt;
    }
    if (pos != s.size()) return std::nullopt;
  }
  try {
    return Date::FromYmdHms(year, month, day, hour, minute, second);
  } catch (const std::invalid_argument&) {
    return std::nullopt;
  }
}

}  // namespace

Variant TextToDate(std::string_view text) {
  std::string replaced(text);
  for (char& c : replaced) {
    if (c == 'T') c = ' ';
  }
  const std::optional<Date> parsed = ParseDateTime(detail::Trim(replaced));
  return parsed ? Variant(*parsed) : Variant::Null();
}

std::string ToSqlText(const Variant& v) {
  switch (v.type()) {
    case VarType::Empty:
    case VarType::Null:
      return "null";
    case VarType::Date:
    case VarType::String:
      return "N'" + detail::SqlEsc(VarToStr(v)) + "'";
    case VarType::Boolean:
      return v.AsBool() ? "1" : "0";
    default:
      return VarToStr(v);
  }
}

}  // namespace tamsel
