#include "tamsel/price_rule.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "common/sql_text.h"

namespace tamsel {

namespace {

// A tier handle whose control block keeps the rule alive beside the tier. The tier itself only
// links back weakly, so nothing stored inside a rule can own that rule.
std::shared_ptr<PriceRuleItem> Handle(std::shared_ptr<PriceRuleItem> item) {
  std::shared_ptr<PriceRule> rule = item->objRule();
  if (!rule) return item;
  struct Holder {
    std::shared_ptr<PriceRule> rule;
    std::shared_ptr<PriceRuleItem> item;
  };
  auto holder = std::make_shared<Holder>(Holder{std::move(rule), std::move(item)});
  PriceRuleItem* raw = holder->item.get();
  return std::shared_ptr<PriceRuleItem>(std::move(holder), raw);
}

std::string TierKey(int number) { return detail::IntText(number); }

}  // namespace

std::shared_ptr<PriceRule> PriceRuleItem::objRule() const { return rule_.lock(); }

void PriceRuleItem::set_objRule(const std::shared_ptr<PriceRule>& rule) { rule_ = rule; }

int32_t RuleItems::Count() const { return static_cast<int32_t>(entries_.size()); }

std::shared_ptr<PriceRuleItem> RuleItems::Item(std::string_view key) const {
  const auto it = by_key_.find(key);
  if (it == by_key_.end()) {
    throw std::out_of_range("no tier under the key \"" + std::string(key) + "\"");
  }
  return Handle(it->second);
}

void RuleItems::Add(std::shared_ptr<PriceRuleItem> item, std::string key) {
  if (!item) throw std::invalid_argument("no tier to add");
  if (by_key_.count(key) != 0) {
    throw std::invalid_argument("a tier is already stored under the key \"" + key + "\"");
  }
  // Store the tier under its own ownership, never a handle's hold on a rule: a handle added to
  // its own rule would otherwise keep that rule alive for ever.
  if (std::shared_ptr<PriceRuleItem> own = item->weak_from_this().lock()) item = std::move(own);
  by_key_.emplace(key, item);
  entries_.emplace_back(std::move(key), std::move(item));
}

void RuleItems::Remove(std::string_view key) {
  const auto it = by_key_.find(key);
  if (it == by_key_.end()) {
    throw std::out_of_range("no tier under the key \"" + std::string(key) + "\"");
  }
  // Tiers are mostly removed near the end, so search from there.
  const auto entry = std::find_if(entries_.rbegin(), entries_.rend(),
                                  [&](const Entry& e) { return e.first == key; });
  entries_.erase(std::next(entry).base());
  by_key_.erase(it);
}

bool RuleItems::Contains(std::string_view key) const { return by_key_.find(key) != by_key_.end(); }

std::shared_ptr<PriceRule> PriceRule::New() { return std::make_shared<PriceRule>(Key{}); }

namespace {

RuleItems& Items(std::shared_ptr<RuleItems>& items) {
  // A collection replaced by nothing is created anew on first use.
  if (!items) items = std::make_shared<RuleItems>();
  return *items;
}

}  // namespace

std::shared_ptr<PriceRuleItem> PriceRule::GetPriceRuleItem(double iquantity) {
  RuleItems& items = Items(ruleItems);
  const int32_t n = items.Count();
  for (int32_t i = 1; i <= n; ++i) {
    std::shared_ptr<PriceRuleItem> item = items.Item(TierKey(i));
    // An open band holds every quantity above its start; testing against quantity + 1 would
    // miss quantities so large that adding 1 changes nothing.
    const bool below_upper = item->iUpperLimit.IsNull() || VarToDbl(item->iUpperLimit) > iquantity;
    if (item->iLowerLimit <= iquantity && below_upper) return item;
  }
  return nullptr;
}

std::shared_ptr<PriceRuleItem> PriceRule::AddRuleItem() {
  RuleItems& items = Items(ruleItems);
  const int32_t count = items.Count();
  if (count >= std::numeric_limits<int16_t>::max()) {
    throw std::overflow_error("a price rule holds at most 32767 tiers");
  }
  auto item = std::make_shared<PriceRuleItem>();
  std::shared_ptr<PriceRule> self = weak_from_this().lock();
  item->set_objRule(self);
  item->id = id;
  item->index = static_cast<int16_t>(count + 1);
  item->iTaxRate = iTaxRate;
  item->iUnitPrice = 0;
  item->iTaxUnitPrice = 0;
  const std::string key = TierKey(item->index);
  items.Add(item, key);
  try {
    int16_t index = item->index;
    AdjustRuleItem(index);
  } catch (...) {
    // A collection whose keys were broken from outside: leave it as it was.
    items.Remove(key);
    throw;
  }
  return Handle(std::move(item));
}

void PriceRule::RemoveRuleItem(int16_t& index) {
  RuleItems& items = Items(ruleItems);
  const int32_t n = items.Count();
  // Check every key this touches before changing anything, so a collection with broken keys
  // fails whole instead of half renumbered.
  if (!items.Contains(TierKey(index))) {
    throw std::out_of_range("no tier under the key \"" + TierKey(index) + "\"");
  }
  for (int32_t i = index + 1; i <= n; ++i) {
    if (!items.Contains(TierKey(i)))
      throw std::out_of_range("no tier under the key \"" + TierKey(i) + "\"");
  }
  if (index > 1 && index < n && !items.Contains(TierKey(index - 1))) {
    throw std::out_of_range("no tier under the key \"" + TierKey(index - 1) + "\"");
  }

  items.Remove(TierKey(index));
  const int32_t left = items.Count();
  for (int32_t i = index; i <= left; ++i) {
    std::shared_ptr<PriceRuleItem> moved = items.Item(TierKey(i + 1));
    items.Remove(TierKey(i + 1));
    items.Add(std::move(moved), TierKey(i));
  }
  if (index <= items.Count()) AdjustRuleItem(index);
}

void PriceRule::AdjustRuleItem(int16_t& index) {
  RuleItems& items = Items(ruleItems);
  std::shared_ptr<PriceRuleItem> item = items.Item(TierKey(index));
  if (index == 1) {
    item->iLowerLimit = 0;
    return;
  }
  const std::shared_ptr<PriceRuleItem> previous = items.Item(TierKey(index - 1));
  item->iLowerLimit = VarToDbl(previous->iUpperLimit);
}

}  // namespace tamsel
