#pragma once

// What the embedded database adds to SQLite so that the suite's SQL behaves as on the suite's
// server: the text collation and the convert function.

#include <string_view>

#include "common/internal_api.h"

struct sqlite3;

namespace tamsel::detail {

// Collation of every text column of the suite schema: letter case and trailing blanks ignored.
inline constexpr const char* kTextCollation = "tamsel_text";

// The order of kTextCollation: <0, 0, >0. ASCII letters compare without case, other bytes as
// they are, and trailing blanks do not count, so 'abc' equals 'ABC  '. Result sets' filters
// compare texts with it too.
int CompareSuiteText(std::string_view a, std::string_view b);

// Whether PRAGMA `name`, given an argument or not, only reports, so that a query may ask it:
// integrity_check(n), table_info(t), schema_version, ... but no pragma that sets a value.
bool IsReportingPragma(std::string_view name, bool with_argument);

// Registers the collation kTextCollation and the function tamsel_convert(type, value[, style])
// on a connection. Returns an SQLite result code. Works on any sqlite3 handle, so benchmarks and
// the ODBC test set-up can use it on connections they open themselves.
TAMSEL_INTERNAL int RegisterSqliteFunctions(sqlite3* db);

}  // namespace tamsel::detail
