#pragma once

#include <string_view>

namespace tamsel::detail {

// Text of a script under schema/sqlite/ by file name ("suite.sql"); empty when there is none.
std::string_view EmbeddedSql(std::string_view name);

}  // namespace tamsel::detail
