// The price of one purchase: vendor, item, day and quantity.
//   price_lookup prices.db
#include <tamsel/tamsel.h>

#include <iostream>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: price_lookup DATABASE\n";
    return 2;
  }
  const tamsel::Date day = tamsel::Date::FromYmd(2026, 12, 6);
  auto login = std::make_shared<tamsel::SimpleLogin>(
      std::string("Provider=SQLite;Data Source=") + argv[1], day);
  tamsel::PriceRuleManager manager;
  if (!tamsel::VarToBool(manager.InitManager(login, tamsel::MakeSysInfo(day)))) {
    std::cerr << "cannot start: " << manager.InitFailure() << "\n";
    return 1;
  }
  try {
    // Any currency (""), supply type 1, no free items.
    auto tier = manager.GetVenInvPriceRuleItem("V002", "A01", day, 2000);
    if (!tier) {
      std::cout << "no price\n";
    } else {
      std::cout << "unit price " << tier->iUnitPrice << " " << tier->objRule()->cExchName
                << ", with tax " << tier->iTaxUnitPrice << "\n";
    }
  } catch (const tamsel::ComponentError& e) {
    std::cerr << e.description() << "\n";
    return 1;
  }
  manager.ExitManager();
  return 0;
}
