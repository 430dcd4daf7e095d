#pragma once

// Turns the suite's T-SQL into SQLite's dialect, token by token; the inside of string literals
// is never changed.

#include <string>
#include <string_view>

namespace tamsel::detail {

// N'..' -> '..', TOP n -> LIMIT n (at the end of its own SELECT, also inside subqueries),
// isnull( -> ifnull(, convert(type, ...) -> tamsel_convert('type', ...), dbo. dropped,
// [name] -> "name", comments dropped. Throws DatabaseError for text it cannot rewrite
// (an unterminated literal, comment or bracket; TOP without a number).
std::string RewriteTsql(std::string_view tsql);

// Refuses a query text that holds more than one statement or a word that writes (outside
// literals, quoted names and comments): for engines that cannot tell a reading statement
// themselves. Throws DatabaseError.
void RequireReadOnlyQuery(std::string_view tsql);

}  // namespace tamsel::detail
