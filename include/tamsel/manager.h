#pragma once

// The entry object: look-ups of rules and prices, and the persistence of rules.
//
// Lifecycle: InitManager, then any number of calls on the caller's thread, then ExitManager.
// Threads: a manager, its validator and the result sets it returns are used by one thread at a
// time; give each thread a manager of its own (managers on one database work side by side, each
// on its own connection). The rules it returns are plain data that may move between threads.
// Every operation but InitManager, ExitManager, NewVenInvPriceRule, GetbTaxType and
// GetValidator reports every failure as ComponentError (source "Assert") with the first
// failure's description. Finding nothing is no error: the look-ups return null.

#include <cstdint>
#include <memory>
#include <string>

#include "tamsel/export.h"
#include "tamsel/price_rule.h"
#include "tamsel/services.h"
#include "tamsel/validator.h"
#include "tamsel/variant.h"

namespace tamsel {

class PriceRuleManager;
namespace detail {
class RuleBatch;
}

// What a ready manager works with.
class TAMSEL_API clsContext {
 public:
  std::shared_ptr<Login> objLogin;
  std::shared_ptr<Connection> mConn;       // the manager's own connection
  bool bNewConn = false;                   // true: opened from the login's connection text
  PriceRuleManager* objManager = nullptr;  // back link, not owning
  std::shared_ptr<Validator> objValidator;
  std::shared_ptr<SysInfo> objSysInfo;
  std::shared_ptr<RowAuthService> objAuthSrv;
};

class TAMSEL_API PriceRuleManager {
 public:
  PriceRuleManager();
  ~PriceRuleManager();
  PriceRuleManager(const PriceRuleManager&) = delete;
  PriceRuleManager& operator=(const PriceRuleManager&) = delete;

  // The rule header valid for vendor (or any vendor), item and date; null when none. Blank
  // vendor or item: null without touching the database. sXml is accepted and not used.
  std::shared_ptr<PriceRule> GetVenInvPriceRule(const std::string& venCode,
                                                const std::string& invCode, const Date& ddate,
                                                const std::string& exchName = "",
                                                int32_t iSupplyType = 1,
                                                const std::string& sXml = "");
  // The price-list tier for one purchase, linked to a rule holding the row's header; null when
  // nothing matches. Blank item: null without touching the database.
  std::shared_ptr<PriceRuleItem> GetVenInvPriceRuleItem(
      const std::string& venCode, const std::string& invCode, const Date& ddate, double iquantity,
      const std::string& exchName = "", int32_t iSupplyType = 1, const std::string& sXml = "");
  // The cheapest authorised vendor's tier for the item on the business date, prices compared in
  // local currency; null when none qualifies.
  std::shared_ptr<PriceRuleItem> ComparePrice(const std::string& invCode, double iquantity,
                                              int32_t iSupplyType = 1,
                                              const std::string& sXml = "");
  // A blank rule with the suite's defaults (login date, supply type 1, local currency).
  // Failures are thrown as they are.
  std::shared_ptr<PriceRule> NewVenInvPriceRule();
  // Sets bulTaxType to the vendor's tax flag (true for an unknown vendor); always returns false.
  bool GetbTaxType(const std::string& id, bool& bulTaxType);
  // The stored rule with its tiers; null when no rule has that id.
  std::shared_ptr<PriceRule> LoadVenInvPriceRule(int32_t id);
  // Verifies and stores a new rule with its tiers in one transaction; sets id and ufts.
  void CreateVenInvPriceRule(const std::shared_ptr<PriceRule>& rule);
  // Verifies and stores a changed rule, refused when the stored row version is not rule->ufts.
  void SaveVenInvPriceRule(const std::shared_ptr<PriceRule>& rule);
  void RemoveVenInvPriceRule(int32_t id);
  // Open result sets over the price-list and rule views; filter is an SQL condition inserted
  // as it stands (trusted text). The result set stays tied to this manager's connection.
  std::shared_ptr<Recordset> ListVenInvPriceRuleItems(const std::string& filter);
  std::shared_ptr<Recordset> ListVenInvPriceRules(const std::string& filter);
  // The context's validator; throws ComponentError when the manager is not initialised.
  std::shared_ptr<Validator> GetValidator();
  // Opens the manager's own connection (from conn's text, or the login's) and prepares the
  // context. Never throws: Variant(true) when ready, Variant(false) otherwise (see InitFailure).
  // Opening never creates a database: the file must exist and hold the suite's tables.
  Variant InitManager(std::shared_ptr<Login> login, std::shared_ptr<SysInfo> info,
                      std::shared_ptr<Connection> conn = nullptr);
  // Why the last InitManager returned Variant(false): the failure's description, which never
  // shows a password (a database that does not exist, one without the suite's tables, which
  // begins with kNotTamselDatabase, a login that failed). Empty after one that succeeded.
  const std::string& InitFailure() const { return mInitFailure; }
  // Closes the connection and drops the context; true when there was one. Never throws.
  bool ExitManager();

 private:
  // The comparison with its conversions (tamsel/compare.h) runs on this manager's context.
  friend struct CompareAccess;
  // Bulk writes in one transaction on this manager's connection (the tool's rule import).
  friend class detail::RuleBatch;
  // The ready context, or ComponentError when there is none. Callers keep the handle for the
  // whole call: a host object they call may end the manager meanwhile.
  std::shared_ptr<clsContext> Context();
  std::string GetFreeItemCondition(const std::string& invCode, int32_t iSupplyType,
                                   const std::string& sXml, bool bXmlFlags);
  void LoadRuleItems(const std::shared_ptr<PriceRule>& rule);
  void SaveRuleItems(const std::shared_ptr<PriceRule>& rule);

  std::shared_ptr<clsContext> mContext;
  std::string mInitFailure;
};

}  // namespace tamsel
