// The manager object itself and its small operations on the context.

#include "tamsel/manager.h"

#include "common/text.h"
#include "manager/statements.h"

namespace tamsel {

PriceRuleManager::PriceRuleManager() = default;

// A manager dropped without ExitManager still releases its context, and with it the
// connection once no result set reads from it any more.
PriceRuleManager::~PriceRuleManager() = default;

std::shared_ptr<PriceRule> PriceRuleManager::NewVenInvPriceRule() {
  auto rule = PriceRule::New();
  clsContext& context = Context();
  rule->dEnableDate = context.objLogin->LoginDate().ToString();
  rule->iSupplyType = 1;
  rule->dDisableDate.clear();
  rule->bTaxCost = true;
  rule->bPromotion = false;
  auto rs = context.mConn->OpenRecordset(detail::LocalCurrencySql(), 0, 1, -1);
  if (!rs->Eof()) rule->cExchName = detail::Trim(VarToStr(rs->Fields("cExch_Name")));
  rs->Close();
  return rule;
}

bool PriceRuleManager::GetbTaxType(const std::string& id, bool& bulTaxType) {
  auto rs = Context().mConn->OpenRecordset(detail::VendorTaxSql(id), 0, 1, -1);
  bulTaxType = rs->Eof() ? true : VarToBool(rs->Fields("bventax"));
  rs->Close();
  return false;
}

}  // namespace tamsel
