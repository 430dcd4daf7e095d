#include "db/sqlite_functions.h"

#include <fmt/format.h>
#include <sqlite3.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/sql_text.h"
#include "common/text.h"

namespace tamsel::detail {

namespace {

std::string_view WithoutTrailingBlanks(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

unsigned char FoldAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

int CollateText(void*, int n1, const void* s1, int n2, const void* s2) {
  return CompareSuiteText(std::string_view(static_cast<const char*>(s1), n1),
                          std::string_view(static_cast<const char*>(s2), n2));
}

// The target type of a convert: "varchar(20)" is name "varchar" with args {20}.
struct TargetType {
  std::string name;
  std::vector<int> args;
  bool max_length = false;
};

std::optional<TargetType> ParseType(std::string_view text) {
  TargetType type;
  const std::string t = Lower(text);
  const size_t open = t.find('(');
  type.name = Trim(t.substr(0, open));
  if (type.name.empty()) return std::nullopt;
  if (open == std::string::npos) return type;
  const size_t close = t.find(')', open);
  if (close == std::string::npos || !Trim(t.substr(close + 1)).empty()) return std::nullopt;
  std::string_view inner = std::string_view(t).substr(open + 1, close - open - 1);
  while (!inner.empty()) {
    const size_t comma = inner.find(',');
    const std::string part = Trim(inner.substr(0, comma));
    if (part == "max") {
      type.max_length = true;
    } else {
      if (part.empty() || part.size() > 9) return std::nullopt;
      for (char c : part)
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
      type.args.push_back(std::stoi(part));
    }
    if (comma == std::string_view::npos) break;
    inner.remove_prefix(comma + 1);
  }
  return type;
}

// A decimal number as the server reads one from text: sign, digits, an optional point and
// (unless integral_only) an exponent. std::strtod alone would also take "inf", "nan" or hex.
std::optional<double> ReadNumber(std::string_view text, bool integral_only, bool allow_grouping) {
  std::string s;
  for (char c : Trim(text)) {
    if (allow_grouping && c == ',') continue;
    s += c;
  }
  if (s.empty()) return 0.0;  // the server reads an empty text as 0
  size_t i = 0;
  if (s[i] == '+' || s[i] == '-') ++i;
  size_t digits = 0;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
  if (!integral_only && i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (!integral_only && i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    const size_t exp_start = j;
    while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
    if (j == exp_start) return std::nullopt;
    i = j;
  }
  if (i != s.size()) return std::nullopt;
  return ParseNumber(s);
}

std::string ValueText(sqlite3_value* v) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
  return p ? std::string(p, sqlite3_value_bytes(v)) : std::string();
}

// The value as a number, or an error text for the caller to report.
std::optional<double> NumberOf(sqlite3_value* v, const TargetType& type, bool integral_only,
                               bool allow_grouping, std::string& error) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
      return static_cast<double>(sqlite3_value_int64(v));
    case SQLITE_FLOAT:
      return sqlite3_value_double(v);
    default: {
      const std::string text = ValueText(v);
      auto n = ReadNumber(text, integral_only, allow_grouping);
      if (!n) error = fmt::format("convert: '{}' is not a valid {} value", text, type.name);
      return n;
    }
  }
}

std::string Utf8Prefix(const std::string& s, size_t chars) {
  size_t count = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
      if (count == chars) return s.substr(0, i);
      ++count;
    }
  }
  return s;
}

std::string Grouped(double value) {
  std::string digits = fmt::format("{:.2f}", std::fabs(value));
  const size_t point = digits.find('.');
  std::string out;
  for (size_t i = 0; i < point; ++i) {
    if (i > 0 && (point - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return (value < 0 ? "-" : "") + out + digits.substr(point);
}

bool IsOneOf(const std::string& name, std::initializer_list<std::string_view> names) {
  for (auto n : names)
    if (name == n) return true;
  return false;
}

// tamsel_convert(type, value[, style]): the server's convert for the types the suite uses.
// Values that cannot convert raise an error, as on the server, instead of turning into NULL.
void ConvertValue(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  const auto type = ParseType(ValueText(argv[0]));
  if (!type) {
    const std::string msg = "convert: unknown type '" + ValueText(argv[0]) + "'";
    sqlite3_result_error(ctx, msg.c_str(), -1);
    return;
  }
  sqlite3_value* value = argv[1];
  if (sqlite3_value_type(value) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  const int style =
      argc > 2 && sqlite3_value_type(argv[2]) != SQLITE_NULL ? sqlite3_value_int(argv[2]) : 0;
  const std::string& name = type->name;
  std::string error;

  if (IsOneOf(name, {"char", "varchar", "nchar", "nvarchar", "text", "ntext"})) {
    std::string text;
    switch (sqlite3_value_type(value)) {
      case SQLITE_INTEGER:
        text = IntText(sqlite3_value_int64(value));
        break;
      case SQLITE_FLOAT: {
        const double d = sqlite3_value_double(value);
        // Style 2 is the money form without grouping; style 1 groups thousands.
        if (style == 2) {
          text = fmt::format("{:.4f}", d);
        } else if (style == 1) {
          text = Grouped(d);
        } else {
          text = NumText(d);
        }
        break;
      }
      default:
        text = ValueText(value);
    }
    if (!type->args.empty() && !type->max_length) text = Utf8Prefix(text, type->args[0]);
    sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  } else if (IsOneOf(name, {"money", "smallmoney"})) {
    auto n = NumberOf(value, *type, false, true, error);
    if (!n) return sqlite3_result_error(ctx, error.c_str(), -1);
    sqlite3_result_double(ctx, std::round(*n * 10000.0) / 10000.0);
  } else if (IsOneOf(name, {"decimal", "numeric"})) {
    if (sqlite3_value_type(value) == SQLITE_TEXT && Trim(ValueText(value)).empty())
      return sqlite3_result_error(ctx, "convert: '' is not a valid decimal value", -1);
    auto n = NumberOf(value, *type, false, false, error);
    if (!n) return sqlite3_result_error(ctx, error.c_str(), -1);
    const int scale = type->args.size() > 1 ? type->args[1] : 0;
    const double factor = std::pow(10.0, scale);
    sqlite3_result_double(ctx, std::round(*n * factor) / factor);
  } else if (IsOneOf(name, {"int", "integer", "bigint", "smallint", "tinyint", "bit"})) {
    auto n = NumberOf(value, *type, sqlite3_value_type(value) == SQLITE_TEXT, false, error);
    if (!n) return sqlite3_result_error(ctx, error.c_str(), -1);
    double whole = std::trunc(*n);
    if (name == "bit") whole = whole != 0 ? 1 : 0;
    double low = std::numeric_limits<int32_t>::min(), high = std::numeric_limits<int32_t>::max();
    if (name == "bigint") low = -9223372036854775808.0, high = 9223372036854775807.0;
    if (name == "smallint") low = -32768, high = 32767;
    if (name == "tinyint") low = 0, high = 255;
    if (whole < low || whole > high) {
      const std::string msg = "convert: value out of range for " + name;
      return sqlite3_result_error(ctx, msg.c_str(), -1);
    }
    sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(whole));
  } else if (IsOneOf(name, {"float", "real", "double"})) {
    auto n = NumberOf(value, *type, false, false, error);
    if (!n) return sqlite3_result_error(ctx, error.c_str(), -1);
    sqlite3_result_double(ctx, *n);
  } else if (IsOneOf(name, {"datetime", "smalldatetime", "date", "datetime2"})) {
    // Dates are stored as yyyy-MM-dd texts, which already compare in date order.
    sqlite3_result_value(ctx, value);
  } else {
    const std::string msg = "convert: unsupported type '" + name + "'";
    sqlite3_result_error(ctx, msg.c_str(), -1);
  }
}

// SQLite is C code: no exception may unwind through it, so every failure becomes an SQL error.
void ConvertFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  try {
    ConvertValue(ctx, argc, argv);
  } catch (const std::exception& e) {
    const std::string msg = std::string("convert: ") + e.what();
    sqlite3_result_error(ctx, msg.c_str(), -1);
  } catch (...) {
    sqlite3_result_error(ctx, "convert: unexpected failure", -1);
  }
}

}  // namespace

int CompareSuiteText(std::string_view a, std::string_view b) {
  a = WithoutTrailingBlanks(a);
  b = WithoutTrailingBlanks(b);
  const size_t n = std::min(a.size(), b.size());
  size_t i = 0;
  // Sorts and group keys mostly compare texts that are equal or differ late: skip equal words
  // whole, and fold only where the bytes differ.
  for (; i + 8 <= n; i += 8) {
    uint64_t x, y;
    std::memcpy(&x, a.data() + i, 8);
    std::memcpy(&y, b.data() + i, 8);
    if (x != y) break;
  }
  for (; i < n; ++i) {
    const unsigned char x = static_cast<unsigned char>(a[i]);
    const unsigned char y = static_cast<unsigned char>(b[i]);
    if (x == y) continue;
    const unsigned char fx = FoldAscii(x), fy = FoldAscii(y);
    if (fx != fy) return fx < fy ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool IsReportingPragma(std::string_view name, bool with_argument) {
  // Their argument is a table, an index or a count, never a setting.
  static constexpr std::string_view kReporting[] = {
      "integrity_check", "quick_check",      "foreign_key_check", "table_info",
      "table_xinfo",     "table_list",       "index_list",        "index_info",
      "index_xinfo",     "foreign_key_list", "database_list",     "compile_options",
      "page_count",      "freelist_count",   "data_version"};
  for (std::string_view reporting : kReporting)
    if (EqualsNoCase(name, reporting)) return true;
  // These set their value when given one.
  return !with_argument &&
         (EqualsNoCase(name, "schema_version") || EqualsNoCase(name, "user_version"));
}

int RegisterSqliteFunctions(sqlite3* db) {
  int rc =
      sqlite3_create_collation_v2(db, kTextCollation, SQLITE_UTF8, nullptr, CollateText, nullptr);
  const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
  for (int args : {2, 3}) {
    if (rc != SQLITE_OK) break;
    rc = sqlite3_create_function_v2(db, "tamsel_convert", args, flags, nullptr, ConvertFunction,
                                    nullptr, nullptr, nullptr);
  }
  return rc;
}

}  // namespace tamsel::detail
