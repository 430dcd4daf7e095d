#pragma once

// Fixtures for the validation and persistence suites: master data that rules refer to, a
// manager with controllable suite objects, valid rules to start from, and table snapshots.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/lookup_fixtures.h"
#include "support/test_db.h"
#include "tamsel/tamsel.h"

namespace tamsel::testing {

Date RuleLoginDate();  // 2024-06-01

using RecordingRowAuth = FakeRowAuth;

// Master data (vendors V01 cargo, V02 overseas, V03 foreign proxy, V04 ended on the login date,
// V05 ending the day after; items I01 with unit PCS, I02 foreign proxy without unit;
// currencies CNY (code RMB, local) and USD; trade terms FOB and CIF) and a manager on it.
class RuleEnv {
 public:
  RuleEnv();
  ~RuleEnv();
  RuleEnv(const RuleEnv&) = delete;
  RuleEnv& operator=(const RuleEnv&) = delete;

  // V01 / I01 / CNY, supply type 1, from 2024-01-01 without end, tiers [0,10), [10,20), ...,
  // the last without upper limit; overlap checking on.
  static std::shared_ptr<PriceRule> NewRule(int tiers = 3);
  // NewRule(tiers) over the given period ("" for no end), stored without the overlap check.
  std::shared_ptr<PriceRule> Store(const std::string& enable, const std::string& disable = "",
                                   int tiers = 2);
  int32_t Count(const std::string& sql) const;  // a count(*) query's answer
  std::string Dump() const;  // both rule tables, read on a connection of the fixture's own
  // Readies a second manager on the same database file, or on the one the text names.
  void InitOther(PriceRuleManager& other, const std::string& connection_text = "") const;

  TestDatabase db;
  std::shared_ptr<MapSysInfo> info;
  std::shared_ptr<RecordingRowAuth> auth;
  PriceRuleManager manager;
  std::shared_ptr<Validator> validator;
};

// Sets a tier's prices with tax rate 13: unit price p, tax price p * 1.13.
void SetTierPrices(PriceRuleItem& item, double price);

// The description of the ComponentError f throws, or "<no ComponentError>".
template <typename F>
std::string ErrorText(F&& f) {
  const auto error = CatchComponentError(std::forward<F>(f));
  return error ? error->description() : "<no ComponentError>";
}

// The message text of a key's last five digits, plain or with values.
std::string KeyText(const std::string& digits);
std::string KeyText(const std::string& digits, const std::vector<Variant>& values);

}  // namespace tamsel::testing
