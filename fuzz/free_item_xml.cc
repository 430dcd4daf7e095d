// The free-item XML of the price look-ups: attribute reading and the condition built from it,
// run on the demo database by the two look-ups that take it.

#include <cstdint>
#include <string>

#include "suite_db.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string xml(reinterpret_cast<const char*>(data), size);
  auto& manager = SuiteManager();
  const tamsel::Date day = tamsel::Date::FromYmd(2026, 6, 1);
  try {
    manager.ComparePrice("A01", 10, 1, xml);
  } catch (const tamsel::ComponentError&) {
  }
  try {
    manager.GetVenInvPriceRuleItem("V001", "A01", day, 10, "", 1, xml);
  } catch (const tamsel::ComponentError&) {
  }
  return 0;
}
