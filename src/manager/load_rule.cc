// LoadVenInvPriceRule: a stored rule with all its tiers.

#include <stdexcept>

#include "common/funnel.h"
#include "db/driver.h"
#include "manager/row_mapping.h"
#include "manager/statements.h"
#include "tamsel/manager.h"

namespace tamsel {

std::shared_ptr<PriceRule> PriceRuleManager::LoadVenInvPriceRule(int32_t id) {
  std::shared_ptr<PriceRule> result;
  detail::Funnel([&] {
    // The header and its tiers from one state of the data: a save in between cannot pair the
    // header of one version with the tiers of another.
    const detail::ReadTogether together(*Context()->mConn);
    auto rs = detail::ConnectionAccess::OpenShaped(*Context()->mConn, detail::LoadRuleSql(id));
    if (rs->Eof()) return;
    auto rule = PriceRule::New();
    detail::FillRuleFromRow(*rule, *rs);
    rule->id = id;
    rs->Close();
    LoadRuleItems(rule);
    result = std::move(rule);
  });
  return result;
}

void PriceRuleManager::LoadRuleItems(const std::shared_ptr<PriceRule>& rule) {
  detail::Funnel([&] {
    if (!rule) throw std::invalid_argument("LoadRuleItems needs a rule.");
    // Filled aside and swapped in whole, so a failed load leaves the rule's tiers as they were.
    auto items = std::make_shared<RuleItems>();
    auto rs =
        detail::ConnectionAccess::OpenShaped(*Context()->mConn, detail::LoadRuleItemsSql(rule->id));
    const detail::TierColumns columns(*rs, true);
    while (!rs->Eof()) {
      auto item = std::make_shared<PriceRuleItem>();
      item->set_objRule(rule);
      item->id = rule->id;
      detail::FillTierFromRow(*item, *rs, columns);
      std::string key = VarToStr(Variant(item->index));
      items->Add(std::move(item), std::move(key));
      rs->MoveNext();
    }
    rs->Close();
    rule->ruleItems = std::move(items);
  });
}

}  // namespace tamsel
