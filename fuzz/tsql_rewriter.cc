// The T-SQL readers on any text: the rewriter, the literal lifter and the read-only check each
// give their result or DatabaseError, nothing else.

#include "db/tsql_rewriter.h"

#include "harness.h"

TAMSEL_FUZZ_TARGET(text) {
  using namespace tamsel::detail;
  Refusing<tamsel::DatabaseError>([&] { RewriteTsql(text); });
  Refusing<tamsel::DatabaseError>([&] { LiftLiterals(text); });
  Refusing<tamsel::DatabaseError>([&] { RequireReadOnlyQuery(text); });
  Refusing<tamsel::DatabaseError>([&] { RequireReadOnlyQuery(text, true); });
}
