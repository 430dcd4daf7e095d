// The ODBC driver's results: describing a result set's columns and reading its cells as Variants.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "common/sql_text.h"
#include "common/text.h"
#include "common/utf16.h"
#include "db/driver.h"
#include "db/odbc/odbc_api.h"
#include "db/odbc/odbc_driver.h"
#include "tamsel/variant.h"

namespace tamsel::detail {
namespace {

Reader ReaderFor(SQLSMALLINT sql_type, Dialect dialect) {
  switch (sql_type) {
    case SQL_BIT:
      // Also on SQLite, where only a column declared bit reports it: flags then arrive as on the
      // server, True and False.
      return Reader::kBit;
    case SQL_TINYINT:
      return dialect == Dialect::kSqlite ? Reader::kWhole : Reader::kByte;
    case SQL_SMALLINT:
      return dialect == Dialect::kSqlite ? Reader::kWhole : Reader::kShort;
    case SQL_INTEGER:
    case SQL_BIGINT:
      return Reader::kWhole;
    case SQL_REAL:
      return dialect == Dialect::kSqlite ? Reader::kDouble : Reader::kReal;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return Reader::kDouble;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return Reader::kExact;
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATE:
    case SQL_TIMESTAMP:
      // SQLite has no date type: what the driver calls a date is whatever text was stored.
      return dialect == Dialect::kSqlite ? Reader::kText : Reader::kDate;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return Reader::kBinary;
    default:
      return Reader::kText;
  }
}

// Reads a character or binary column in pieces, so that long values are never cut.
// Returns false for Null.
//
// A piece need not fill the buffer: a driver may stop short of a character it will not split
// (a surrogate pair, a character converted from a code page) and put its terminator there. So
// a piece's length is what the driver reports: the bytes left before it minus the bytes left
// after it, or, for the last piece, its indicator. Only a driver that reports no totals is read
// up to the terminator it wrote.
template <typename Unit>
bool ReadChunked(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT c_type, size_t terminator,
                 Reporter& report, std::basic_string<Unit>& out) {
  Unit buffer[4096];
  const size_t room = sizeof(buffer) / sizeof(Unit) - terminator;
  out.clear();
  size_t piece_start = 0;
  SQLLEN left_before = SQL_NO_TOTAL;  // as reported with the previous piece
  for (;;) {
    SQLLEN indicator = 0;
    SQLRETURN rc = SQLGetData(stmt, column, c_type, buffer, sizeof(buffer), &indicator);
    if (rc == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(rc)) report.Fail(SQL_HANDLE_STMT, stmt, "ODBC: reading a column failed");
    if (indicator == SQL_NULL_DATA) return false;
    if (left_before != SQL_NO_TOTAL && indicator != SQL_NO_TOTAL && indicator <= left_before) {
      const size_t held = static_cast<size_t>(left_before - indicator) / sizeof(Unit);
      // A piece holds something: a driver that repeats the full length each time is not
      // believed.
      if (held > 0 && held < out.size() - piece_start) out.resize(piece_start + held);
    }
    piece_start = out.size();
    size_t units = room;
    if (rc == SQL_SUCCESS && indicator != SQL_NO_TOTAL) {
      units = std::min(room, static_cast<size_t>(indicator) / sizeof(Unit));
    } else if (indicator == SQL_NO_TOTAL && terminator > 0) {
      units = static_cast<size_t>(std::find(buffer, buffer + room, Unit{}) - buffer);
    }
    out.append(buffer, units);
    if (rc == SQL_SUCCESS) break;
    left_before = indicator;
  }
  return true;
}

Variant ReadCell(SQLHSTMT stmt, SQLUSMALLINT index, const Column& column, Reporter& report) {
  SQLLEN indicator = 0;
  auto get = [&](SQLSMALLINT c_type, void* target, SQLLEN size) {
    SQLRETURN rc = SQLGetData(stmt, index, c_type, target, size, &indicator);
    if (!SQL_SUCCEEDED(rc)) {
      report.Fail(SQL_HANDLE_STMT, stmt, "ODBC: reading column " + column.name + " failed");
    }
    return indicator != SQL_NULL_DATA;
  };
  switch (column.reader) {
    case Reader::kBit: {
      // As a number: SQLite keeps what a fixture stored in a column declared bit (2, -1), and
      // the server would have stored any number but 0 as 1.
      SQLBIGINT value = 0;
      return get(SQL_C_SBIGINT, &value, sizeof(value)) ? Variant(value != 0) : Variant::Null();
    }
    case Reader::kByte: {
      unsigned char value = 0;
      return get(SQL_C_UTINYINT, &value, sizeof(value)) ? Variant(uint8_t{value}) : Variant::Null();
    }
    case Reader::kShort: {
      SQLSMALLINT value = 0;
      return get(SQL_C_SSHORT, &value, sizeof(value)) ? Variant(int16_t{value}) : Variant::Null();
    }
    case Reader::kWhole: {
      SQLBIGINT value = 0;
      if (!get(SQL_C_SBIGINT, &value, sizeof(value))) return Variant::Null();
      // As the embedded driver: Long when it fits, else a Decimal; beyond 2^53 a double would
      // round, so the exact digits come back as text.
      if (value >= std::numeric_limits<int32_t>::min() &&
          value <= std::numeric_limits<int32_t>::max()) {
        return Variant(static_cast<int32_t>(value));
      }
      constexpr SQLBIGINT kExactInDouble = SQLBIGINT{1} << std::numeric_limits<double>::digits;
      if (value > kExactInDouble || value < -kExactInDouble) return Variant(IntText(value));
      return Variant::Decimal(static_cast<double>(value));
    }
    case Reader::kReal: {
      SQLREAL value = 0;
      return get(SQL_C_FLOAT, &value, sizeof(value)) ? Variant(float{value}) : Variant::Null();
    }
    case Reader::kDouble: {
      SQLDOUBLE value = 0;
      return get(SQL_C_DOUBLE, &value, sizeof(value)) ? Variant(double{value}) : Variant::Null();
    }
    case Reader::kDate: {
      SQL_TIMESTAMP_STRUCT value{};
      if (!get(SQL_C_TYPE_TIMESTAMP, &value, sizeof(value))) return Variant::Null();
      return Variant(Date::FromYmdHms(value.year, value.month, value.day, value.hour, value.minute,
                                      value.second));
    }
    case Reader::kBinary: {
      std::string bytes;
      if (!ReadChunked(stmt, index, SQL_C_BINARY, 0, report, bytes)) return Variant::Null();
      return Variant(HexText(bytes));
    }
    case Reader::kExact: {
      // Exact numbers come as text, so no driver rounding happens before the one conversion.
      std::u16string wide;
      if (!ReadChunked(stmt, index, SQL_C_WCHAR, 1, report, wide)) return Variant::Null();
      std::string text = Utf16ToUtf8(wide);
      // from_chars: the decimal point is '.' whatever the process locale says.
      double value = 0;
      const char* last = text.data() + text.size();
      const char* first = text.starts_with('+') ? text.data() + 1 : text.data();
      const auto [end, ec] = std::from_chars(first, last, value);
      if (text.empty() || ec != std::errc() || end != last || !std::isfinite(value)) {
        return Variant(std::move(text));
      }
      return column.money ? Variant::Currency(value) : Variant::Decimal(value);
    }
    case Reader::kText:
      break;
  }
  std::u16string wide;
  if (!ReadChunked(stmt, index, SQL_C_WCHAR, 1, report, wide)) return Variant::Null();
  return Variant(Utf16ToUtf8(wide));
}

}  // namespace

// An executed query's result: its columns, then every row, then whatever the batch said after.
std::shared_ptr<ResultData> OdbcDriver::FetchResult(Executed& run, const std::string& text) {
  auto result = std::make_shared<ResultData>();
  if (run.no_data) return result;
  SQLHSTMT h = run.get();
  SQLSMALLINT count = 0;
  // A batch may report row counts before its result set.
  for (;;) {
    if (!SQL_SUCCEEDED(SQLNumResultCols(h, &count))) {
      FailStatement(h, "ODBC: query failed", text);
    }
    if (count > 0) break;
    SQLRETURN rc = SQLMoreResults(h);
    if (rc == SQL_NO_DATA) return result;
    if (!SQL_SUCCEEDED(rc)) FailStatement(h, "ODBC: query failed", text);
  }
  // Described after every execution, never kept with a prepared shape: the columns a shape
  // returns change with the tables behind it.
  std::vector<Column> columns = Describe(h, count, text);
  std::vector<std::string> names;
  names.reserve(columns.size());
  for (const Column& column : columns) names.push_back(column.name);
  result->columns = std::make_shared<const ResultColumns>(std::move(names));
  for (;;) {
    SQLRETURN rc = SQLFetch(h);
    if (rc == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(rc)) FailStatement(h, "ODBC: reading a row failed", text);
    for (SQLSMALLINT c = 0; c < count; ++c) {
      result->cells.push_back(ReadCell(h, static_cast<SQLUSMALLINT>(c + 1), columns[c], report_));
    }
  }
  // Errors raised after the first result set (a later statement of a batch, a conversion in
  // a later row) must not be lost.
  for (SQLRETURN rc = SQLMoreResults(h); rc != SQL_NO_DATA; rc = SQLMoreResults(h)) {
    if (!SQL_SUCCEEDED(rc)) FailStatement(h, "ODBC: query failed", text);
  }
  return result;
}

std::vector<Column> OdbcDriver::Describe(SQLHSTMT h, SQLSMALLINT count, const std::string& text) {
  std::vector<Column> columns(static_cast<size_t>(count));
  for (SQLSMALLINT c = 0; c < count; ++c) {
    auto index = static_cast<SQLUSMALLINT>(c + 1);
    SQLSMALLINT sql_type = 0;
    Column& column = columns[static_cast<size_t>(c)];
    column.name = report_.calls == TextCalls::kWide ? DescribeWide(h, index, sql_type, text)
                                                    : DescribeNarrow(h, index, sql_type, text);
    column.reader = ReaderFor(sql_type, dialect_);
    if (column.reader == Reader::kExact && dialect_ == Dialect::kSqlServer) {
      column.money = Lower(TypeName(h, index)).find("money") != std::string::npos;
    }
  }
  return columns;
}

std::string OdbcDriver::DescribeWide(SQLHSTMT h, SQLUSMALLINT index, SQLSMALLINT& sql_type,
                                     const std::string& text) {
  std::u16string name(256, u'\0');
  SQLSMALLINT name_length = 0, digits = 0, nullable = 0;
  SQLULEN size = 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!SQL_SUCCEEDED(SQLDescribeColW(h, index, Wide(name), static_cast<SQLSMALLINT>(name.size()),
                                       &name_length, &sql_type, &size, &digits, &nullable))) {
      FailStatement(h, "ODBC: cannot describe a column", text);
    }
    if (name_length < static_cast<SQLSMALLINT>(name.size())) break;
    name.assign(static_cast<size_t>(name_length) + 1, u'\0');
  }
  name.resize(std::min(static_cast<size_t>(name_length), name.size() - 1));
  return Utf16ToUtf8(name);
}

std::string OdbcDriver::DescribeNarrow(SQLHSTMT h, SQLUSMALLINT index, SQLSMALLINT& sql_type,
                                       const std::string& text) {
  std::string name(512, '\0');
  SQLSMALLINT name_length = 0, digits = 0, nullable = 0;
  SQLULEN size = 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!SQL_SUCCEEDED(SQLDescribeCol(h, index, reinterpret_cast<SQLCHAR*>(name.data()),
                                      static_cast<SQLSMALLINT>(name.size()), &name_length,
                                      &sql_type, &size, &digits, &nullable))) {
      FailStatement(h, "ODBC: cannot describe a column", text);
    }
    if (name_length < static_cast<SQLSMALLINT>(name.size())) break;
    name.assign(static_cast<size_t>(name_length) + 1, '\0');
  }
  name.resize(std::min(static_cast<size_t>(name_length), name.size() - 1));
  return name;
}

std::string OdbcDriver::TypeName(SQLHSTMT h, SQLUSMALLINT index) {
  std::u16string buffer(128, u'\0');
  SQLSMALLINT length = 0;
  if (!SQL_SUCCEEDED(SQLColAttributeW(h, index, SQL_DESC_TYPE_NAME, Wide(buffer),
                                      static_cast<SQLSMALLINT>(buffer.size() * 2), &length,
                                      nullptr))) {
    return {};
  }
  buffer.resize(std::min(buffer.size() - 1, static_cast<size_t>(length) / 2));
  return Utf16ToUtf8(buffer);
}

}  // namespace tamsel::detail
