#pragma once

// Turns the suite's T-SQL into SQLite's dialect, token by token; the inside of string literals
// is never changed.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/internal_api.h"

namespace tamsel::detail {

// N'..' -> '..', TOP n -> LIMIT n (at the end of its own SELECT, also inside subqueries),
// isnull( -> ifnull(, convert(type, ...) -> tamsel_convert('type', ...), dbo. dropped,
// [name] -> "name", comments dropped. Throws DatabaseError for text it cannot rewrite
// (an unterminated literal, comment or bracket; TOP without a number).
TAMSEL_INTERNAL std::string RewriteTsql(std::string_view tsql);

// Accepts only one SELECT (or WITH ... SELECT) statement: refuses any text that holds a word
// which starts another statement or writes (T-SQL needs no separator between statements), a
// second SELECT not joined by UNION, EXCEPT or INTERSECT, or anything after a ';'. Words inside
// literals, quoted names and comments do not count. For engines that cannot tell a reading
// statement themselves. `sqlite`: the text goes to SQLite, which may also be asked a PRAGMA
// that only reports (IsReportingPragma). Throws DatabaseError.
TAMSEL_INTERNAL void RequireReadOnlyQuery(std::string_view tsql, bool sqlite = false);

// Refuses a text holding a NUL character, which some layer on its way would take for its end or
// store whole, so the statement that runs would not be the one written. `what` names the text in
// the error. Returns the text. Throws DatabaseError.
TAMSEL_INTERNAL std::string_view RequireNoNul(std::string_view text, std::string_view what);

// A literal taken out of a statement, typed as it was written.
struct LiftedValue {
  // kNull only comes from a statement's builder that asks for it (LiftLiterals leaves the
  // keyword null in the text), so that rows differing only in which cells are empty share one
  // compiled statement.
  enum class Type : char {
    kText = 't',
    kNationalText = 'n',
    kInteger = 'i',
    kReal = 'r',
    kNull = 'z'
  };
  Type type = Type::kText;
  std::string text;  // a text's value: quotes removed, '' made one; a real's digits as written
  int64_t integer = 0;
  double real = 0;
  // A real written with a point and no exponent is exact in T-SQL, numeric(precision, scale);
  // both 0 for one with an exponent, which is a float.
  uint8_t precision = 0;
  uint8_t scale = 0;
};

// The most digits an exact number has in T-SQL.
constexpr size_t kDecimalPrecisionMax = 38;

// A statement with its literal values replaced by ? markers, and those values in order.
struct StatementShape {
  std::string text;  // T-SQL; the statement itself when nothing was lifted
  std::vector<LiftedValue> values;
};

// A statement's text with its shape, built side by side by the statement's builder.
struct ShapedSql {
  std::string text;
  StatementShape shape;
};

// Texts longer than this stay in the statement; a bound text parameter is declared this long.
constexpr size_t kLiftedTextMax = 4000;
// A statement with more values than this stays whole: it is a bulk write, which gains nothing
// from a cached plan, and SQL Server takes at most 2,100 parameters in one statement.
constexpr size_t kLiftedValuesMax = 256;

// A number as written in T-SQL, typed as LiftLiterals types it; false for one it leaves in the
// text (beyond 64 bits, or too many digits for an exact number).
TAMSEL_INTERNAL bool LiftNumber(std::string_view text, LiftedValue& out);

// The key of a shape: its text and its values' types (one compiled statement per key).
TAMSEL_INTERNAL std::string ShapeKey(std::string_view text, const std::vector<LiftedValue>& values);

// Lifts the literal values out of a single SELECT, INSERT, UPDATE or DELETE so that statements
// differing only in values share one compiled plan. Any other text comes back whole, without
// values. Throws DatabaseError for text it cannot read (as RewriteTsql).
TAMSEL_INTERNAL StatementShape LiftLiterals(std::string_view tsql);

}  // namespace tamsel::detail
