// The free-item condition of the price look-ups: which free items take part in pricing, and the
// caller's values for them from the XML parameter.

#include <array>
#include <optional>
#include <pugixml.hpp>
#include <stdexcept>
#include <string>

#include "common/xml_attr.h"
#include "db/driver.h"
#include "manager/lookup_support.h"
#include "manager/row_mapping.h"
#include "manager/statements.h"
#include "tamsel/manager.h"

namespace tamsel {

namespace {

using Flags = std::array<bool, detail::kFreeItemCount>;

// The item's flags for the supply type: the purchase set for 1, the outsourcing set otherwise.
Flags InventoryFlags(Connection& conn, const std::string& inv_code, int32_t supply_type) {
  auto rs = detail::ConnectionAccess::OpenShaped(conn, detail::InventoryFreeFlagsSql(inv_code));
  if (rs->Eof()) {
    throw std::runtime_error("The item '" + inv_code +
                             "' has no free-item settings in inventory_sub.");
  }
  const char* prefix = supply_type == 1 ? "bPurPriceFree" : "bOMPriceFree";
  Flags flags{};
  for (int n = 1; n <= detail::kFreeItemCount; ++n) {
    flags[n - 1] = VarToBool(rs->Fields(prefix + std::to_string(n)));
  }
  rs->Close();
  return flags;
}

// The caller's own flags for supply type 1; empty or missing counts as false.
Flags XmlFlags(const pugi::xml_node& z) {
  Flags flags{};
  for (int n = 1; n <= detail::kFreeItemCount; ++n) {
    const std::string text = GetXmlAttr(z, "bpurpricefree" + std::to_string(n));
    flags[n - 1] = !text.empty() && detail::StrictBool(Variant(text));
  }
  return flags;
}

}  // namespace

namespace detail {

ShapedWriter FreeItemConditionShaped(Connection& conn, const std::string& invCode,
                                     int32_t iSupplyType, const std::string& sXml, bool bXmlFlags) {
  if (sXml.empty()) return {};

  // The price look-up reads the flags before it looks at the XML at all; the comparison reads
  // them only when the XML does not bring its own.
  std::optional<Flags> flags;
  if (!bXmlFlags) flags = InventoryFlags(conn, invCode, iSupplyType);

  pugi::xml_document doc;
  // Text that does not parse counts as an empty document, not as whatever came before the
  // error.
  if (!doc.load_string(sXml.c_str())) doc.reset();
  const pugi::xml_node z = doc.select_node("//z").node();

  if (!flags) {
    if (iSupplyType == 1 && GetXmlAttr(z, "allparas") == "1") {
      flags = XmlFlags(z);
    } else {
      flags = InventoryFlags(conn, invCode, iSupplyType);
    }
  }

  std::array<std::optional<std::string>, detail::kFreeItemCount> values;
  for (int n = 1; n <= detail::kFreeItemCount; ++n) {
    if ((*flags)[n - 1]) values[n - 1] = GetXmlAttr(z, "cfree" + std::to_string(n));
  }
  return detail::FreeItemCondition(values);
}

std::string FreeItemConditionFor(Connection& conn, const std::string& invCode, int32_t iSupplyType,
                                 const std::string& sXml, bool bXmlFlags) {
  return FreeItemConditionShaped(conn, invCode, iSupplyType, sXml, bXmlFlags).text();
}

}  // namespace detail

std::string PriceRuleManager::GetFreeItemCondition(const std::string& invCode, int32_t iSupplyType,
                                                   const std::string& sXml, bool bXmlFlags) {
  if (sXml.empty()) return "";
  return detail::FreeItemConditionFor(*Context()->mConn, invCode, iSupplyType, sXml, bXmlFlags);
}

}  // namespace tamsel
