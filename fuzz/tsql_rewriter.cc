// The T-SQL to SQLite rewriter on any text: a rewrite or DatabaseError, nothing else.

#include "services/tsql_rewriter.h"

#include <cstdint>
#include <string_view>

#include "tamsel/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    tamsel::detail::RewriteTsql(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const tamsel::DatabaseError&) {
  }
  return 0;
}
