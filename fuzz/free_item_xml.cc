// The free-item XML of the price look-ups: attribute reading and the condition built from it,
// run on the demo database by the two look-ups that take it.

#include "harness.h"

TAMSEL_FUZZ_TARGET(text) {
  const std::string xml(text);
  auto& manager = SuiteManager();
  Refusing<tamsel::ComponentError>([&] { manager.ComparePrice("A01", 10, 1, xml); });
  Refusing<tamsel::ComponentError>([&] {
    manager.GetVenInvPriceRuleItem("V001", "A01", tamsel::Date::FromYmd(2026, 6, 1), 10, "", 1,
                                   xml);
  });
}
