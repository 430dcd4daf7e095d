// The manager object itself and its small operations on the context.

#include "tamsel/manager.h"

#include "common/text.h"
#include "manager/statements.h"
#include "tamsel/error.h"

namespace tamsel {

PriceRuleManager::PriceRuleManager() = default;

// A manager dropped without ExitManager still releases its context, and with it the
// connection once no result set reads from it any more.
PriceRuleManager::~PriceRuleManager() = default;

std::shared_ptr<PriceRule> PriceRuleManager::NewVenInvPriceRule() {
  auto rule = PriceRule::New();
  const std::shared_ptr<clsContext> held = Context();
  clsContext& context = *held;
  rule->dEnableDate = context.objLogin->LoginDate().ToString();
  rule->iSupplyType = 1;
  rule->dDisableDate.clear();
  rule->bTaxCost = true;
  rule->bPromotion = false;
  auto rs = context.mConn->OpenRecordset(detail::LocalCurrencySql(), 0, 1, -1);
  // The rows come in no set order, so with several local currencies the default would be
  // whichever the database lists first.
  if (rs->RecordCount() > 1) {
    std::string names;
    for (; !rs->Eof(); rs->MoveNext())
      names += (names.empty() ? "" : ", ") + detail::Trim(VarToStr(rs->Fields("cExch_Name")));
    RaiseError("Several currencies are marked as the local currency (" + names +
               "): mark exactly one.");
  }
  if (!rs->Eof()) rule->cExchName = detail::Trim(VarToStr(rs->Fields("cExch_Name")));
  rs->Close();
  return rule;
}

bool PriceRuleManager::GetbTaxType(const std::string& id, bool& bulTaxType) {
  auto rs = Context()->mConn->OpenRecordset(detail::VendorTaxSql(id), 0, 1, -1);
  bulTaxType = rs->Eof() ? true : VarToBool(rs->Fields("bventax"));
  rs->Close();
  return false;
}

}  // namespace tamsel
