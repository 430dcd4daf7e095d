#pragma once

// Reading attributes of the optional XML parameter of the price look-ups.

#include <pugixml.hpp>
#include <string>
#include <string_view>

#include "common/internal_api.h"

namespace tamsel {

// The attribute of the lower-cased name, or "" when the element has none. Attribute names in the
// document therefore match only when written in lower case. An empty (missing) element throws
// std::invalid_argument.
TAMSEL_INTERNAL std::string GetXmlAttr(const pugi::xml_node& element, std::string_view name);

}  // namespace tamsel
