// Creates a rule, then saves it from two managers that both read it: the second save is refused
// because the first changed the row version. The caller reads the rule again, reapplies its
// change and saves once more.
//   save_with_conflict prices.db
#include <tamsel/tamsel.h>

#include <iostream>

namespace {

const tamsel::Date kDay = tamsel::Date::FromYmd(2026, 12, 6);

bool Start(tamsel::PriceRuleManager& manager, const std::string& db) {
  auto login = std::make_shared<tamsel::SimpleLogin>("Provider=SQLite;Data Source=" + db, kDay);
  if (tamsel::VarToBool(manager.InitManager(login, tamsel::MakeSysInfo(kDay)))) return true;
  std::cerr << "cannot start: " << manager.InitFailure() << "\n";
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: save_with_conflict DATABASE\n";
    return 2;
  }
  tamsel::PriceRuleManager mine, theirs;
  if (!Start(mine, argv[1]) || !Start(theirs, argv[1])) return 1;
  try {
    // A new rule with the suite's defaults and two tiers: below 100 at 3.00, from 100 at 2.80.
    auto rule = mine.NewVenInvPriceRule();
    rule->cVenCode = "V002";
    rule->cInvCode = "B02";
    rule->dEnableDate = "2031-01-01";
    rule->dDisableDate = "2031-12-31";
    // Each new tier starts where the one before ends.
    for (const double price : {3.0, 2.8}) {
      auto tier = rule->AddRuleItem();
      tier->iUnitPrice = price;
      tier->iTaxUnitPrice = price * 1.13;
      tier->iUpperLimit = price == 3.0 ? tamsel::Variant(100.0) : tamsel::Variant::Null();
    }
    mine.CreateVenInvPriceRule(rule);
    std::cout << "created rule " << rule->id << "\n";

    auto their_copy = theirs.LoadVenInvPriceRule(rule->id);
    auto my_copy = mine.LoadVenInvPriceRule(rule->id);
    their_copy->cMemo = "their change";
    theirs.SaveVenInvPriceRule(their_copy);

    my_copy->cMemo = "my change";
    try {
      mine.SaveVenInvPriceRule(my_copy);
    } catch (const tamsel::ComponentError& e) {
      // The key, unlike the text, does not depend on the message language.
      if (e.key() != "Zorvik.pu.Quorlin.00059") throw;
      std::cout << "refused: " << e.description() << "\n";
      my_copy = mine.LoadVenInvPriceRule(rule->id);
      my_copy->cMemo = "my change, after theirs";
      mine.SaveVenInvPriceRule(my_copy);
    }
    std::cout << "stored: " << mine.LoadVenInvPriceRule(rule->id)->cMemo << "\n";
    mine.RemoveVenInvPriceRule(rule->id);
  } catch (const tamsel::ComponentError& e) {
    std::cerr << e.description() << "\n";
    return 1;
  }
  return 0;
}
