// The free-item condition of the price look-ups: which free items take part in pricing, and the
// caller's values for them from the XML parameter.

#include <array>
#include <optional>
#include <pugixml.hpp>
#include <stdexcept>
#include <string>
#include <string_view>

#include "common/xml_attr.h"
#include "db/driver.h"
#include "manager/lookup_support.h"
#include "manager/row_mapping.h"
#include "manager/statements.h"
#include "tamsel/manager.h"

namespace tamsel {

namespace {

using Flags = std::array<bool, detail::kFreeItemCount>;

using FlagNames = std::array<std::string_view, detail::kFreeItemCount>;
constexpr FlagNames kPurchaseFlags = {
    "bPurPriceFree1", "bPurPriceFree2", "bPurPriceFree3", "bPurPriceFree4", "bPurPriceFree5",
    "bPurPriceFree6", "bPurPriceFree7", "bPurPriceFree8", "bPurPriceFree9", "bPurPriceFree10"};
constexpr FlagNames kOutsourcingFlags = {
    "bOMPriceFree1", "bOMPriceFree2", "bOMPriceFree3", "bOMPriceFree4", "bOMPriceFree5",
    "bOMPriceFree6", "bOMPriceFree7", "bOMPriceFree8", "bOMPriceFree9", "bOMPriceFree10"};

// The item's flags for the supply type: the purchase set for 1, the outsourcing set otherwise.
Flags InventoryFlags(Connection& conn, const std::string& inv_code, int32_t supply_type) {
  auto rs = detail::ConnectionAccess::OpenShaped(conn, detail::InventoryFreeFlagsSql(inv_code));
  if (rs->Eof()) {
    throw std::runtime_error("The item '" + inv_code +
                             "' has no free-item settings in inventory_sub.");
  }
  const FlagNames& names = supply_type == 1 ? kPurchaseFlags : kOutsourcingFlags;
  std::array<int32_t, detail::kFreeItemCount> at{};
  rs->FieldIndexes(names, at);
  Flags flags{};
  for (size_t n = 0; n < flags.size(); ++n) {
    // A missing column is reported by the by-name read.
    flags[n] = VarToBool(at[n] < 0 ? rs->Fields(names[n]) : *rs->FieldValueAt(at[n]));
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
