// The T-SQL readers on any text: the rewriter, the literal lifter and the read-only check each
// give their result or DatabaseError, nothing else.

#include "services/tsql_rewriter.h"

#include <cstdint>
#include <string_view>

#include "tamsel/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (auto* read : {+[](std::string_view t) { tamsel::detail::RewriteTsql(t); },
                     +[](std::string_view t) { tamsel::detail::LiftLiterals(t); },
                     +[](std::string_view t) { tamsel::detail::RequireReadOnlyQuery(t); }}) {
    try {
      read(text);
    } catch (const tamsel::DatabaseError&) {
    }
  }
  return 0;
}
