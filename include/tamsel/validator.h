#pragma once

// Checks on price rules and tiers, against the master data of the manager's database.
//
// Checks return true when they pass; on failure they return false and append the localized
// message and one carriage return ("\r") to errstr (CheckRuleOverLap replaces errstr instead).
// Failures of the database or of missing objects are thrown, not reported in errstr.

#include <memory>
#include <string>

#include "tamsel/export.h"
#include "tamsel/price_rule.h"

namespace tamsel {

class clsContext;
class PriceRuleManager;

// Made by the manager only (GetValidator); it refers to the manager's context without owning it,
// and its database checks throw ComponentError once that context is gone.
// Threads: a validator works on its manager's context and connection, so it belongs to the
// manager's thread.
class TAMSEL_API Validator {
 public:
  // Throws ComponentError at the first condition that fails; normalises the dates to
  // yyyy-MM-dd and completes item, vendor and currency from master data on the way.
  void VerifyRule(const std::shared_ptr<PriceRule>& rule);
  bool CheckInv(const std::shared_ptr<PriceRule>& rule, std::string& errstr);
  bool CheckSupplyType(const std::shared_ptr<PriceRule>& rule, std::string& errstr);
  bool CheckVen(const std::shared_ptr<PriceRule>& rule, std::string& errstr);
  bool CheckUnitPrice(const std::shared_ptr<PriceRuleItem>& ruleItem, std::string& errstr);
  bool CheckTaxUnitPrice(const std::shared_ptr<PriceRuleItem>& ruleItem, std::string& errstr);
  bool CheckTaxRate(const std::shared_ptr<PriceRuleItem>& ruleItem, std::string& errstr);
  bool CheckExchName(const std::shared_ptr<PriceRule>& rule, std::string& errstr);
  bool CheckRuleOverLap(const std::shared_ptr<PriceRule>& rule, std::string& errstr);
  bool CheckCoItem(const std::shared_ptr<PriceRule>& rule, std::string& errstr);

 private:
  friend class PriceRuleManager;
  Validator() = default;
  void SetContext(const std::shared_ptr<clsContext>& context);
  // The context, or ComponentError when there is none any more.
  std::shared_ptr<clsContext> Context() const;

  std::weak_ptr<clsContext> mContext;
};

}  // namespace tamsel
