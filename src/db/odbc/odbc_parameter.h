#pragma once

// How the ODBC driver declares a value lifted out of a statement when it binds it.

#include <string>

#include "common/internal_api.h"
#include "db/odbc/odbc_api.h"
#include "db/tsql_rewriter.h"

namespace tamsel::detail {

struct OdbcParameter {
  SQLSMALLINT c_type = 0;    // how the value is handed over
  SQLSMALLINT sql_type = 0;  // what the server is told it is
  SQLULEN size = 0;          // column size: a text's length, an exact number's precision
  SQLSMALLINT digits = 0;    // an exact number's scale
  std::string text;          // the value as text, for the C types that take one
};

// The declaration depends on how the literal was written, never on its value beyond that, so one
// prepared shape always gets the same parameter types. `exact_numbers`: the server has numeric
// (SQL Server); SQLite reads every number with a point as a float. `wide`: texts go as UTF-16.
TAMSEL_INTERNAL OdbcParameter OdbcParameterFor(const LiftedValue& value, bool exact_numbers,
                                               bool wide);

}  // namespace tamsel::detail
