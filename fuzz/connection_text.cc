// The connection-text reader and the masking of its secrets: after RedactConnectionText every
// secret reads as "***" and every other value as before; RedactSecrets leaves no secret in the
// text itself.

#include "db/connection_text.h"

#include "common/text.h"
#include "harness.h"

namespace {

bool Secret(const std::string& key) {
  return tamsel::detail::EqualsNoCase(key, "pwd") ||
         tamsel::detail::Lower(key).find("password") != std::string::npos;
}

}  // namespace

TAMSEL_FUZZ_TARGET(text) {
  using namespace tamsel::detail;
  const std::string redacted = RedactConnectionText(text);
  std::vector<ConnectionPart> parts;
  try {
    parts = ParseConnectionText(text);
    ConnectionTextValue(text, "Data Source");
  } catch (const tamsel::DatabaseError&) {
    return;
  }
  const auto after = ParseConnectionText(redacted);
  if (after.size() != parts.size()) std::abort();
  for (size_t i = 0; i < parts.size(); ++i) {
    if (after[i].key != parts[i].key) std::abort();
    if (after[i].value != (Secret(parts[i].key) ? "***" : parts[i].value)) std::abort();
  }
  const std::string message = RedactSecrets(text, text);
  for (const auto& part : parts) {
    const std::string secret = Trim(part.value);
    if (Secret(part.key) && !secret.empty() && secret.find('*') == std::string::npos &&
        message.find(secret) != std::string::npos) {
      std::abort();
    }
  }
}
