// The connection-text reader and the masking of its secrets: after RedactConnectionText every
// secret reads as "***" and every other value as before; RedactSecrets leaves no secret in the
// text itself.

#include "services/connection_text.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/text.h"
#include "tamsel/error.h"

namespace {

bool Secret(const std::string& key) {
  return tamsel::detail::EqualsNoCase(key, "pwd") ||
         tamsel::detail::Lower(key).find("password") != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tamsel::detail;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string redacted = RedactConnectionText(text);
  std::vector<ConnectionPart> parts;
  try {
    parts = ParseConnectionText(text);
    ConnectionTextValue(text, "Data Source");
  } catch (const tamsel::DatabaseError&) {
    return 0;
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
  return 0;
}
