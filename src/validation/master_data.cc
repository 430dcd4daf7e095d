#include "common/sql_text.h"
#include "common/text.h"
#include "tamsel/manager.h"
#include "tamsel/validator.h"
#include "validation/check_support.h"

namespace tamsel {

namespace {

using detail::SqlEsc;

std::string InventorySql(std::string_view code) {
  const std::string c = SqlEsc(code);
  return "select Inventory.cinvcode,Inventory.cinvname,Inventory.cInvAddCode,Inventory.cinvstd,"
         "Inventory.iImpTaxRate as iTaxRate,Inventory.ccomunitcode,ComputationUnit.ccomunitname "
         "from Inventory left join ComputationUnit on "
         "(Inventory.cComUnitCode=ComputationUnit.cComUnitCode ) where (cinvcode=N'" +
         c + "' or cinvname=N'" + c + "' or cinvaddcode=N'" + c + "')";
}

// The statement matches by code, name or additional code; only a match by code counts.
std::string InventoryCodeFilter(std::string_view code) { return "cInvCode='" + SqlEsc(code) + "'"; }

std::string VendorSupplyCondition(int32_t supply_type) {
  switch (supply_type) {
    case 1:
      return " and (bVenCargo=1 or bVenService=1)";
    case 2:
      return " and (bProxyForeign=1 or bVenService=1)";
    case 4:
      return " and bVenOverseas = 1 ";
    default:
      return "";
  }
}

std::string VendorSql(std::string_view code, int32_t supply_type, std::string_view login_date) {
  const std::string c = SqlEsc(code);
  return "select top 1 cVenCode,cVenAbbName from Vendor where (cvencode=N'" + c +
         "' or cvenabbname=N'" + c + "' or cvenname=N'" + c + "')" +
         VendorSupplyCondition(supply_type) +
         " AND (case when ISNULL(dEndDate,'')='' then '9999-12-31' else dEndDate end) > " + " '" +
         SqlEsc(login_date) + "'";
}

std::string SupplyVendorSql(std::string_view code, int32_t supply_type) {
  return "select cvencode from vendor where cvencode=N'" + SqlEsc(code) + "'" +
         (supply_type == 1 ? " and (bVenCargo=1 or bVenService=1)"
                           : " and (bProxyForeign=1 or bVenService=1)");
}

std::string SupplyItemSql(std::string_view code, int32_t supply_type) {
  return "select cinvcode from inventory where cinvcode=N'" + SqlEsc(code) + "'" +
         (supply_type == 1 ? " and (bPurchase=1 or bService=1)"
                           : " and (bProxyForeign=1 or bService=1)");
}

std::string CurrencySql(std::string_view name) {
  const std::string c = SqlEsc(name);
  return "select top 1 cExch_Name from ForeignCurrency where cExch_Name=N'" + c +
         "' or cExch_Code=N'" + c + "'";
}

std::string TradeTermSql(std::string_view term) {
  const std::string c = SqlEsc(term);
  return "select top 1 cincotermcode,cincotermsremark from v_ex_incoterms where cincotermcode = "
         "N'" +
         c + "' or cincotermsremark = N'" + c + "'";
}

std::shared_ptr<Recordset> OpenQuery(clsContext& context, const std::string& sql) {
  return detail::Required(context.mConn, "The manager's connection").OpenRecordset(sql, 0, 1, -1);
}

std::string FieldText(const Recordset& rs, std::string_view name) {
  return detail::Trim(VarToStr(rs.Fields(name)));
}

// An empty value of the flag counts as false, as VarToBool reads it.
bool SysFlag(clsContext& context, std::string_view member) {
  return VarToBool(detail::Required(context.objSysInfo, "The system information").Invoke(member));
}

bool HasWriteRight(clsContext& context, const std::string& kind, const std::string& code) {
  return detail::Required(context.objAuthSrv, "The row-authorisation service")
      .HasRowAuth(kind, code, 0, "W");
}

}  // namespace

bool Validator::CheckInv(const std::shared_ptr<PriceRule>& rule, std::string& errstr) {
  PriceRule& r = detail::Required(rule, "The rule");
  const std::shared_ptr<clsContext> context = Context();
  const std::string code = r.cInvCode;
  const std::shared_ptr<Recordset> rs = OpenQuery(*context, InventorySql(code));
  rs->Filter(InventoryCodeFilter(code));
  if (rs->Eof()) {
    detail::AppendCheckError(errstr, "00031", code);
    return false;
  }
  if (SysFlag(*context, "bCheckInvAuth") &&
      !HasWriteRight(*context, "Inventory", FieldText(*rs, "cInvCode"))) {
    detail::AppendCheckError(errstr, "00029", code);
    return false;
  }
  // Read every field before writing any, so a failed read leaves the rule as it was.
  std::string inv_code = FieldText(*rs, "cInvCode");
  std::string inv_name = FieldText(*rs, "cInvName");
  std::string add_code = FieldText(*rs, "cInvAddCode");
  std::string inv_std = FieldText(*rs, "cInvStd");
  const double tax_rate = VarToDbl(rs->Fields("iTaxRate"));
  std::string unit_code = FieldText(*rs, "cComUnitCode");
  std::string unit_name = FieldText(*rs, "cComUnitName");
  rs->Close();
  r.cInvCode = std::move(inv_code);
  r.cInvName = std::move(inv_name);
  r.cInvAddCode = std::move(add_code);
  r.cInvStd = std::move(inv_std);
  r.iTaxRate = tax_rate;
  r.cComUnitCode = std::move(unit_code);
  r.cComUnitName = std::move(unit_name);
  return true;
}

bool Validator::CheckVen(const std::shared_ptr<PriceRule>& rule, std::string& errstr) {
  PriceRule& r = detail::Required(rule, "The rule");
  const std::shared_ptr<clsContext> context = Context();
  const std::string code = r.cVenCode;
  const std::string login_date =
      detail::Trim(VarToStr(Variant(detail::Required(context->objLogin, "The login").LoginDate())));
  const std::shared_ptr<Recordset> rs =
      OpenQuery(*context, VendorSql(code, r.iSupplyType, login_date));
  if (rs->Eof()) {
    detail::AppendCheckError(errstr, "00033", code);
    return false;
  }
  std::string ven_code = FieldText(*rs, "cVenCode");
  if (SysFlag(*context, "bCheckVendorAuth") && !HasWriteRight(*context, "Vendor", ven_code)) {
    detail::AppendCheckError(errstr, "00043", code);
    return false;
  }
  std::string abb_name = FieldText(*rs, "cVenAbbName");
  rs->Close();
  r.cVenCode = std::move(ven_code);
  r.cVenAbbName = std::move(abb_name);
  return true;
}

bool Validator::CheckSupplyType(const std::shared_ptr<PriceRule>& rule, std::string& errstr) {
  // Advisory check for clients: any failure simply means "not confirmed".
  try {
    bool result = true;
    const PriceRule& r = detail::Required(rule, "The rule");
    const std::shared_ptr<clsContext> context = Context();
    const std::string word = detail::Msg(r.iSupplyType == 1 ? "00035" : "00036");
    // Both parts always run, so one call can report the vendor and the item.
    auto confirm = [&](const std::string& code, const std::string& sql, std::string_view key) {
      if (detail::Trim(code).empty()) return;
      const std::shared_ptr<Recordset> rs = OpenQuery(*context, sql);
      if (rs->Eof()) {
        detail::AppendCheckError(errstr, key, code, word);
        result = false;
      }
      rs->Close();
    };
    confirm(r.cVenCode, SupplyVendorSql(r.cVenCode, r.iSupplyType), "00034");
    confirm(r.cInvCode, SupplyItemSql(r.cInvCode, r.iSupplyType), "00037");
    return result;
  } catch (...) {
    return false;
  }
}

bool Validator::CheckExchName(const std::shared_ptr<PriceRule>& rule, std::string& errstr) {
  PriceRule& r = detail::Required(rule, "The rule");
  const std::shared_ptr<clsContext> context = Context();
  const std::shared_ptr<Recordset> rs = OpenQuery(*context, CurrencySql(r.cExchName));
  if (rs->Eof()) {
    detail::AppendCheckError(errstr, "00050", r.cExchName);
    return false;
  }
  std::string name = FieldText(*rs, "cExch_Name");
  rs->Close();
  r.cExchName = std::move(name);
  return true;
}

bool Validator::CheckCoItem(const std::shared_ptr<PriceRule>& rule, std::string& errstr) {
  // Never raises: each step that fails is skipped and the next one runs. A statement that could
  // not run therefore counts as "found" and leaves the rule unchanged.
  const auto attempt = [](auto&& step) {
    try {
      step();
    } catch (...) {
    }
  };
  bool result = true;
  std::shared_ptr<Recordset> rs;
  attempt([&] {
    rs = OpenQuery(*Context(), TradeTermSql(detail::Required(rule, "The rule").cTermCode));
  });
  bool empty = false;
  attempt([&] { empty = rs && rs->Bof() && rs->Eof(); });
  if (empty) {
    attempt([&] { detail::AppendCheckError(errstr, "00501", rule->cTermCode); });
    result = false;
  } else if (rs && rule) {
    attempt([&] { rule->cTermCode = FieldText(*rs, "cincotermcode"); });
    attempt([&] { rule->cTermName = FieldText(*rs, "cincotermsremark"); });
  }
  attempt([&] {
    if (rs) rs->Close();
  });
  return result;
}

}  // namespace tamsel
