// The cheapest vendor of an item in local currency, with the day's exchange rates.
//   cheapest_vendor prices.db
#include <tamsel/tamsel.h>

#include <iostream>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: cheapest_vendor DATABASE\n";
    return 2;
  }
  const tamsel::Date day = tamsel::Date::FromYmd(2026, 12, 6);
  auto login = std::make_shared<tamsel::SimpleLogin>(
      std::string("Provider=SQLite;Data Source=") + argv[1], day);
  tamsel::PriceRuleManager manager;
  // The system information gives the business date and chooses daily or monthly rates.
  if (!tamsel::VarToBool(manager.InitManager(login, tamsel::MakeSysInfo(day)))) {
    std::cerr << "cannot start: " << manager.InitFailure() << "\n";
    return 1;
  }
  try {
    auto tier = manager.ComparePrice("A02", 10000);
    if (!tier) {
      std::cout << "no vendor offers A02\n";
    } else {
      const auto rule = tier->objRule();
      std::cout << rule->cVenCode << " (" << rule->cVenAbbName << "): " << tier->iUnitPrice << " "
                << rule->cExchName << "\n";
    }
  } catch (const tamsel::ComponentError& e) {
    std::cerr << e.description() << "\n";
    return 1;
  }
  manager.ExitManager();
  return 0;
}
