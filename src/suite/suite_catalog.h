#pragma once

// What the component's statements rely on in an existing SQL Server suite database, checked
// against the catalog when a manager opens its connection. The decision takes catalog rows, so
// it holds no SQL and runs anywhere; CheckSuiteCatalog reads the rows with CatalogSql().

#include <string>
#include <string_view>
#include <vector>

#include "common/internal_api.h"

namespace tamsel {
class Connection;
}

namespace tamsel::detail {

struct CatalogColumn {
  std::string table, column;
  std::string type;       // sys.types name of the base type ("timestamp" for rowversion)
  std::string collation;  // empty for a column that has none
};

struct CatalogTrigger {
  std::string table, name;
  std::string definition;  // empty when the definition is hidden (WITH ENCRYPTION)
};

struct SuiteCatalog {
  std::string database_collation;
  std::vector<CatalogColumn> columns;  // of the suite tables that exist
  std::vector<CatalogTrigger> triggers;
};

// The statements that read the catalog: columns (table, column, type, collation), triggers
// (table, name, definition), database collation (collation). SQL Server only.
struct CatalogStatements {
  std::string columns, triggers, collation;
};
CatalogStatements CatalogSql();

// One text per unmet requirement, naming the table and column or the trigger; empty when the
// database is fit. A suite table that does not exist yet is not checked, and a database
// without any is not a suite database yet (the schema script creates them as required).
TAMSEL_INTERNAL std::vector<std::string> SuiteCatalogMismatches(const SuiteCatalog& catalog);

// On SQL Server, reads the catalog and throws DatabaseError naming every unmet requirement (a
// database that differs would give wrong prices, not errors). Other databases pass at once.
TAMSEL_INTERNAL void CheckSuiteCatalog(Connection& conn);

}  // namespace tamsel::detail
