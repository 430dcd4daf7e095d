#pragma once

// Splitting the compiled-in schema scripts into what one Execute call may run.

#include <string>
#include <string_view>
#include <vector>

#include "common/internal_api.h"

namespace tamsel::detail {

// SQLite: statements in order, without their final ';'. Comment-only lines are dropped.
// Throws DatabaseError when the script ends inside a statement.
TAMSEL_INTERNAL std::vector<std::string> SplitSqliteScript(std::string_view script);

// SQL Server: the batches between lines that hold only GO (any letter case), as sqlcmd sends
// them; batches of nothing but comments and blanks are dropped. Throws DatabaseError for a GO
// with a repeat count, which would otherwise reach the server as text.
TAMSEL_INTERNAL std::vector<std::string> SplitGoBatches(std::string_view script);

}  // namespace tamsel::detail
