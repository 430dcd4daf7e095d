#pragma once

// The one reader of connection texts ("key=value;" pairs, ODBC quoting), shared by the library's
// drivers and the tool, and the masking of their secrets for every message.

#include <string>
#include <string_view>
#include <vector>

#include "common/internal_api.h"

namespace tamsel::detail {

struct ConnectionPart {
  std::string key;    // trimmed, as written
  std::string value;  // trimmed, quotes or braces removed
};

// Every key=value part in order; a part without '=' is skipped. A key given twice (ignoring case)
// throws DatabaseError naming the key: two readers could otherwise each take another one.
TAMSEL_INTERNAL std::vector<ConnectionPart> ParseConnectionText(std::string_view connection_text);

// The value of key (ignoring case), "" when the text has none; throws as ParseConnectionText.
TAMSEL_INTERNAL std::string ConnectionTextValue(std::string_view connection_text,
                                                std::string_view key);

// The connection text without the parts of that key (for keys Tamsel reads itself).
TAMSEL_INTERNAL std::string WithoutConnectionTextKey(std::string_view connection_text,
                                                     std::string_view key);

// The text with the value of every secret key (PWD, anything with "password") shown as "***".
// Never throws, also for texts that do not parse.
TAMSEL_INTERNAL std::string RedactConnectionText(std::string_view connection_text);

// The message with every secret value of the connection text replaced by "***", for failures
// whose wording comes from elsewhere (a driver may echo what it was given).
TAMSEL_INTERNAL std::string RedactSecrets(std::string_view message,
                                          std::string_view connection_text);

}  // namespace tamsel::detail
