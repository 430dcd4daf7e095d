#pragma once

// A supplier price rule and its quantity tiers.
//
// Ownership: a rule owns its tier collection, the collection owns its tiers, and a tier's link
// back to its rule is weak, so rule and tiers never keep each other alive in a cycle. A tier
// handed out by AddRuleItem, RuleItems::Item or the manager's look-ups is an aliasing handle
// whose control block also holds the rule: while the caller holds that handle, objRule()
// answers, even when the caller dropped every other reference to the rule.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tamsel/export.h"
#include "tamsel/variant.h"

namespace tamsel {

class PriceRule;

class TAMSEL_API PriceRuleItem : public std::enable_shared_from_this<PriceRuleItem> {
 public:
  int32_t id = 0;     // the rule's id, or the price-list row's id for a look-up result
  int16_t index = 0;  // the tier's number, from 1
  double iLowerLimit = 0;
  Variant iUpperLimit;  // Empty until set; Null = no upper limit
  double iUnitPrice = 0, iTaxRate = 0, iTaxUnitPrice = 0;

  // The rule that holds the tier, or null when it has none or the rule is gone.
  std::shared_ptr<PriceRule> objRule() const;
  // Links the tier to a rule without owning it; null unlinks.
  void set_objRule(const std::shared_ptr<PriceRule>& rule);

 private:
  std::weak_ptr<PriceRule> rule_;
};

// Tiers keyed by text ("1" to "n"), in insertion order.
class TAMSEL_API RuleItems {
 public:
  using Entry = std::pair<std::string, std::shared_ptr<PriceRuleItem>>;

  int32_t Count() const;
  // The tier under the key, as a handle that keeps its rule alive. Missing key: throws
  // std::out_of_range.
  std::shared_ptr<PriceRuleItem> Item(std::string_view key) const;
  // Adds a tier under a new key; the collection keeps the tier itself, never a handle's hold
  // on a rule. Duplicate key: throws std::invalid_argument; null item: std::invalid_argument.
  void Add(std::shared_ptr<PriceRuleItem> item, std::string key);
  // Missing key: throws std::out_of_range.
  void Remove(std::string_view key);
  bool Contains(std::string_view key) const;

  // Iterates the entries (key, tier) in insertion order.
  std::vector<Entry>::const_iterator begin() const { return entries_.begin(); }
  std::vector<Entry>::const_iterator end() const { return entries_.end(); }

 private:
  std::vector<Entry> entries_;
  // The same tiers by key, so look-ups stay cheap however many tiers a rule has.
  std::map<std::string, std::shared_ptr<PriceRuleItem>, std::less<>> by_key_;
};

// Threads: a rule and its tiers are plain data without locks; one thread at a time may use them,
// and they may be handed to another thread in between.
class TAMSEL_API PriceRule : public std::enable_shared_from_this<PriceRule> {
  struct Key {};

 public:
  // A rule with the defaults of a new rule: empty texts, zero numbers, bTaxCost true,
  // bPromotion and bCheckOverLap false, and an empty tier collection.
  static std::shared_ptr<PriceRule> New();
  explicit PriceRule(Key) : ruleItems(std::make_shared<RuleItems>()) {}

  int32_t id = 0;
  std::string cVenCode, cVenAbbName, cInvCode, cInvAddCode, cInvName, cInvStd;
  double iTaxRate = 0;
  std::string cComUnitCode, cComUnitName, dEnableDate, dDisableDate;
  bool bPromotion = false;
  std::string cExchName;
  int32_t iSupplyType = 0;
  bool bTaxCost = true;
  std::string cMemo, ufts, cTermCode, cTermName;
  bool bCheckOverLap = false;
  std::shared_ptr<RuleItems> ruleItems;  // never null after New(); may be replaced as a whole

  // The first tier, in number order, whose band [iLowerLimit, iUpperLimit) holds the quantity
  // (a Null upper limit is open, an Empty one counts as 0); null when none does.
  std::shared_ptr<PriceRuleItem> GetPriceRuleItem(double iquantity);
  // Appends a tier numbered count+1 that starts where the previous tier ends, with the rule's
  // id and tax rate; returns it as a handle that keeps this rule alive.
  std::shared_ptr<PriceRuleItem> AddRuleItem();
  // Removes tier `index` and moves every later tier down one key; their index fields are kept.
  // Missing tier: throws std::out_of_range and changes nothing.
  void RemoveRuleItem(int16_t& index);
  // Sets tier `index`'s lower limit to the previous tier's upper limit (0 for the first).
  // Missing tier or predecessor: throws std::out_of_range.
  void AdjustRuleItem(int16_t& index);
};

}  // namespace tamsel
