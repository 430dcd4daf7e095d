#pragma once

#include <string_view>

namespace tamsel::detail {

// Text of a script under schema/ by its path there ("sqlite/suite.sql", "mssql/demo.sql"); empty
// when this build has none by that name.
std::string_view EmbeddedSql(std::string_view name);

}  // namespace tamsel::detail
