#include "common/sql_text.h"
#include "common/text.h"
#include "tamsel/manager.h"
#include "tamsel/validator.h"
#include "validation/check_support.h"

namespace tamsel {

namespace {

using detail::SqlEsc;

// Stored rules of the same vendor, item, supply type and currency (and trade term for supply
// type 4) whose half-open validity meets the rule's; the rule's own row is left out.
std::string OverlapSql(const PriceRule& rule) {
  const int32_t id = VarToLng(Variant(rule.id));
  const std::string enable = SqlEsc(detail::IsoDateText(rule.dEnableDate));
  std::string sql = "select id from ven_inv_price_rule where ";
  if (id > 0) sql += " id <> " + detail::IntText(id) + " and ";
  sql += " cvencode =N'" + SqlEsc(rule.cVenCode) + "' and cinvcode =N'" + SqlEsc(rule.cInvCode) +
         "' and iSupplyType= " + detail::IntText(rule.iSupplyType) + " and cExch_Name =N'" +
         SqlEsc(rule.cExchName);
  if (detail::Trim(rule.dDisableDate).empty()) {
    sql += "' and ((dEnableDate >='" + enable + "') or ((dEnableDate <'" + enable +
           "') and ((dDisableDate is null) or (dDisableDate>'" + enable + "'))))";
  } else {
    const std::string disable = SqlEsc(detail::IsoDateText(rule.dDisableDate));
    sql += "' and ((dEnableDate <='" + enable +
           "' and ((dDisableDate  is null) or (dDisableDate>'" + enable +
           "')))  or (dEnableDate >'" + enable + "' and dEnableDate <'" + disable + "'))";
  }
  if (rule.iSupplyType == 4) sql += " And ctermcode = N'" + SqlEsc(rule.cTermCode) + "'";
  return sql;
}

}  // namespace

bool Validator::CheckRuleOverLap(const std::shared_ptr<PriceRule>& rule, std::string& errstr) {
  const PriceRule& r = detail::Required(rule, "The rule");
  if (!r.bCheckOverLap) return true;
  const std::shared_ptr<clsContext> context = Context();
  const std::shared_ptr<Recordset> rs = detail::Required(context->mConn, "The manager's connection")
                                            .OpenRecordset(OverlapSql(r), 0, 1, -1);
  const bool overlaps = !(rs->Eof() && rs->Bof());
  rs->Close();
  if (overlaps) {
    errstr = detail::Msg("00500");
    return false;
  }
  return true;
}

}  // namespace tamsel
