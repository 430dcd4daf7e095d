// A loadable SQLite extension with the embedded driver's collation and convert function, for
// SQLite databases reached through ODBC (the SQLite ODBC driver's LoadExt= option). It calls the
// library's own registration, so both ways to the database compare and convert alike.

#include <sqlite3.h>

#include "db/sqlite_functions.h"

namespace {

int Init(sqlite3* db, char** error_message) {
  int rc = tamsel::detail::RegisterSqliteFunctions(db);
  if (rc != SQLITE_OK && error_message != nullptr) {
    *error_message = sqlite3_mprintf("tamsel: registering the collation and functions failed: %s",
                                     sqlite3_errstr(rc));
  }
  return rc;
}

}  // namespace

// SQLite looks for sqlite3_<file name letters>_init first, then the generic name.
extern "C" {
int sqlite3_tamselsqliteext_init(sqlite3* db, char** error_message,
                                 const sqlite3_api_routines* /*api*/) {
  return Init(db, error_message);
}
int sqlite3_extension_init(sqlite3* db, char** error_message, const sqlite3_api_routines* /*api*/) {
  return Init(db, error_message);
}
}
