#pragma once

// The compiled-in message store behind GetResString and FormatResString.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/internal_api.h"
#include "tamsel/variant.h"

namespace tamsel::detail {

enum class Language { kEnUs = 0, kZhCn = 1, kZhTw = 2 };

struct CatalogEntry {
  const char* key;
  const char* en_us;
  const char* zh_cn;
  const char* zh_tw;
};

// Every message of the component, ordered by key.
TAMSEL_INTERNAL std::span<const CatalogEntry> MessageCatalog();

// The key's text in the language, or nullptr when the catalog has no such key.
const char* CatalogText(std::string_view key, Language language);

// Replaces each {n} marker by VarToStr of params[n], in one pass (inserted values are never
// scanned again). Markers without a parameter and other braces stay as they are.
TAMSEL_INTERNAL std::string ReplaceMarkers(std::string_view text,
                                           const std::vector<Variant>& params);

// How often this thread has created each message service; each should happen at most once.
struct MessageServiceCounts {
  int providers = 0;
  int text_interfaces = 0;
  int formatters = 0;
};
TAMSEL_INTERNAL MessageServiceCounts ThisThreadMessageServiceCounts();

}  // namespace tamsel::detail
