#include "common/xml_attr.h"

#include <stdexcept>

#include "common/text.h"

namespace tamsel {

std::string GetXmlAttr(const pugi::xml_node& element, std::string_view name) {
  if (!element) throw std::invalid_argument("the XML element is missing");
  // Lower-cased on purpose: attributes written with capitals in the document are not matched.
  const std::string lowered = detail::Lower(name);
  const pugi::xml_attribute attr = element.attribute(lowered.c_str());
  return attr ? std::string(attr.value()) : std::string();
}

}  // namespace tamsel
