#include "suite/suite_catalog.h"

#include <algorithm>

#include "common/text.h"
#include "tamsel/error.h"
#include "tamsel/services.h"

namespace tamsel::detail {

namespace {

enum class Need { kDate, kCode, kRowVersion };

struct Requirement {
  std::string_view table, column;
  Need need;
};

// With a datetime column and a dmy login language, SQL Server reads 'yyyy-MM-dd' as
// year-day-month; a date column reads it the same way for every language. Codes are compared
// as users type them: Unicode and case-insensitive. The save statement compares ufts as the
// money text of a rowversion.
constexpr Requirement kRequirements[] = {
    {"ven_inv_price_rule", "dEnableDate", Need::kDate},
    {"ven_inv_price_rule", "dDisableDate", Need::kDate},
    {"ven_inv_price", "dEnableDate", Need::kDate},
    {"ven_inv_price", "dDisableDate", Need::kDate},
    {"Vendor", "dEndDate", Need::kDate},
    {"ven_inv_price_rule", "cVenCode", Need::kCode},
    {"ven_inv_price_rule", "cInvCode", Need::kCode},
    {"ven_inv_price_rule", "cExch_Name", Need::kCode},
    {"ven_inv_price_rule", "cTermCode", Need::kCode},
    {"ven_inv_price", "cVenCode", Need::kCode},
    {"ven_inv_price", "cInvCode", Need::kCode},
    {"ven_inv_price", "cExch_Name", Need::kCode},
    {"ven_inv_price", "cTermCode", Need::kCode},
    {"Vendor", "cVenCode", Need::kCode},
    {"Inventory", "cInvCode", Need::kCode},
    {"Inventory_sub", "cInvSubCode", Need::kCode},
    {"ComputationUnit", "cComUnitCode", Need::kCode},
    {"ForeignCurrency", "cExch_Name", Need::kCode},
    {"ex_incoterms", "cIncotermCode", Need::kCode},
    {"ven_inv_price_rule", "ufts", Need::kRowVersion},
    {"ven_inv_price", "ufts", Need::kRowVersion},
};

// A save trusts its update's row count; a trigger that reports counts of its own hides it.
constexpr std::string_view kTriggerTables[] = {"ven_inv_price_rule", "ven_inv_price_ruleitem"};

bool CaseInsensitive(std::string_view collation) {
  return Lower(collation).find("_ci") != std::string::npos;
}

// SET NOCOUNT ON with any blanks, line breaks and letter case.
bool SetsNocountOn(std::string_view definition) {
  std::string words;
  for (char c : Lower(definition)) {
    const bool blank = c == ' ' || c == '\t' || c == '\r' || c == '\n';
    if (!blank) {
      words += c;
    } else if (!words.empty() && words.back() != ' ') {
      words += ' ';
    }
  }
  return words.find("set nocount on") != std::string::npos;
}

constexpr std::string_view kCatalogTables =
    "(N'ven_inv_price_rule', N'ven_inv_price_ruleitem', N'ven_inv_price', N'Vendor', "
    "N'Inventory', N'Inventory_sub', N'ComputationUnit', N'ForeignCurrency', N'ex_incoterms')";

}  // namespace

CatalogStatements CatalogSql() {
  const std::string tables(kCatalogTables);
  return {
      "select t.name as [table], c.name as [column], type_name(c.system_type_id) as [type], "
      "isnull(c.collation_name, N'') as [collation] from sys.columns c join sys.tables t on "
      "t.object_id = c.object_id where t.name in " +
          tables,
      "select object_name(tr.parent_id) as [table], tr.name as [name], "
      "isnull(object_definition(tr.object_id), N'') as [definition] from sys.triggers tr "
      "where tr.parent_class = 1 and object_name(tr.parent_id) in " +
          tables,
      "select convert(nvarchar(128), databasepropertyex(db_name(), 'Collation')) as [collation]",
  };
}

std::vector<std::string> SuiteCatalogMismatches(const SuiteCatalog& catalog) {
  std::vector<std::string> out;
  if (catalog.columns.empty()) return out;  // no suite table yet: nothing relies on anything
  if (!CaseInsensitive(catalog.database_collation)) {
    out.push_back("the database collation " + catalog.database_collation +
                  " is not case-insensitive (_CI_)");
  }
  for (const Requirement& r : kRequirements) {
    const std::string name = std::string(r.table) + "." + std::string(r.column);
    bool table_exists = false;
    const CatalogColumn* found = nullptr;
    for (const CatalogColumn& c : catalog.columns) {
      if (!EqualsNoCase(c.table, r.table)) continue;
      table_exists = true;
      if (EqualsNoCase(c.column, r.column)) found = &c;
    }
    if (!table_exists) continue;
    if (found == nullptr) {
      out.push_back(name + " is missing");
    } else if (r.need == Need::kDate && !EqualsNoCase(found->type, "date")) {
      out.push_back(name + " is " + found->type + ", not date");
    } else if (r.need == Need::kRowVersion && !EqualsNoCase(found->type, "timestamp")) {
      out.push_back(name + " is " + found->type + ", not rowversion");
    } else if (r.need == Need::kCode && !EqualsNoCase(found->type, "nvarchar")) {
      out.push_back(name + " is " + found->type + ", not nvarchar");
    } else if (r.need == Need::kCode && !CaseInsensitive(found->collation)) {
      out.push_back(name + " has the collation " + found->collation +
                    ", which is not case-insensitive (_CI_)");
    }
  }
  for (const CatalogTrigger& t : catalog.triggers) {
    const bool rule_table =
        std::any_of(std::begin(kTriggerTables), std::end(kTriggerTables),
                    [&](std::string_view table) { return EqualsNoCase(t.table, table); });
    if (rule_table && !SetsNocountOn(t.definition)) {
      out.push_back("the trigger " + t.name + " on " + t.table + " lacks SET NOCOUNT ON");
    }
  }
  return out;
}

void CheckSuiteCatalog(Connection& conn) {
  if (conn.Dialect() != "mssql") return;
  const CatalogStatements sql = CatalogSql();
  SuiteCatalog catalog;
  const auto each = [&conn](const std::string& statement, const auto& take) {
    auto rows = conn.OpenRecordset(statement);
    for (; !rows->Eof(); rows->MoveNext()) take(*rows);
    rows->Close();
  };
  const auto text = [](Recordset& row, std::string_view name) {
    return VarToStr(row.Fields(name));
  };
  each(sql.collation, [&](Recordset& r) { catalog.database_collation = text(r, "collation"); });
  each(sql.columns, [&](Recordset& r) {
    catalog.columns.push_back(
        {text(r, "table"), text(r, "column"), text(r, "type"), text(r, "collation")});
  });
  each(sql.triggers, [&](Recordset& r) {
    catalog.triggers.push_back({text(r, "table"), text(r, "name"), text(r, "definition")});
  });
  const std::vector<std::string> mismatches = SuiteCatalogMismatches(catalog);
  if (mismatches.empty()) return;
  std::string list;
  for (const std::string& m : mismatches) list += (list.empty() ? "" : "; ") + m;
  throw DatabaseError("the suite database differs from what Tamsel relies on (" + list +
                      "); see docs/sqlserver.md");
}

}  // namespace tamsel::detail
