#pragma once

// What the embedded database adds to SQLite so that the suite's SQL behaves as on the suite's
// server: the text collation and the convert function.

struct sqlite3;

namespace tamsel::detail {

// Collation of every text column of the suite schema: letter case and trailing blanks ignored.
inline constexpr const char* kTextCollation = "tamsel_text";

// Registers the collation kTextCollation and the function tamsel_convert(type, value[, style])
// on a connection. Returns an SQLite result code.
int RegisterSqliteFunctions(sqlite3* db);

}  // namespace tamsel::detail
