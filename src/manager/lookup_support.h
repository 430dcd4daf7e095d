#pragma once

// The look-ups' inner steps, for callers that explain a look-up's answer: they run on a
// context of their own and build the very statements the look-ups run.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "common/internal_api.h"
#include "manager/statements.h"
#include "tamsel/manager.h"

namespace tamsel::detail {

// The free-item condition of GetVenInvPriceRuleItem (xml_flags false) or ComparePrice (true),
// as text and as a shaped fragment.
TAMSEL_INTERNAL ShapedWriter FreeItemConditionShaped(Connection& conn, const std::string& inv_code,
                                                     int32_t supply_type, const std::string& xml,
                                                     bool xml_flags);
TAMSEL_INTERNAL std::string FreeItemConditionFor(Connection& conn, const std::string& inv_code,
                                                 int32_t supply_type, const std::string& xml,
                                                 bool xml_flags);

// The login's own row-authorisation service, or a new one started on conn_text; null when it
// does not start.
TAMSEL_INTERNAL std::shared_ptr<RowAuthService> RowAuthFor(Login& login,
                                                           const std::string& conn_text);

// ComparePrice's statement on the context (connection, system information, authorisation),
// giving the rows asked for; nullopt when the user may see no vendor.
TAMSEL_INTERNAL std::optional<std::string> ComparePriceStatement(
    clsContext& context, const std::string& inv_code, double quantity, int32_t supply_type,
    const std::string& xml, CompareRows rows);

}  // namespace tamsel::detail
