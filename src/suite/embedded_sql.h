#pragma once

#include <string_view>

#include "common/internal_api.h"

namespace tamsel::detail {

// Text of a script under schema/ by its path there ("sqlite/suite.sql", "mssql/demo.sql"); empty
// when this build has none by that name.
TAMSEL_INTERNAL std::string_view EmbeddedSql(std::string_view name);

}  // namespace tamsel::detail
