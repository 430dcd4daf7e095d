#include "manager/row_mapping.h"

#include <limits>
#include <stdexcept>
#include <string>

#include "common/text.h"

namespace tamsel::detail {

namespace {

// Calls set with the column's value when the result has that column.
template <typename Set>
void IfField(const Recordset& row, std::string_view name, Set set) {
  if (const Variant* value = row.FieldValue(name)) set(*value);
}

// Calls set with the column's value; a result without the column is a failure, since the
// object would otherwise be filled with defaults that look like data.
template <typename Set>
void MustField(const Recordset& row, std::string_view name, Set set) {
  const Variant* value = row.FieldValue(name);
  if (value == nullptr)
    throw std::invalid_argument("The result has no column " + std::string(name) + ".");
  set(*value);
}

void TextField(const Recordset& row, std::string_view name, std::string& target) {
  IfField(row, name, [&](const Variant& v) { target = Trim(VarToStr(v)); });
}

}  // namespace

void FillRuleFromRow(PriceRule& rule, const Recordset& row) {
  IfField(row, "id", [&](const Variant& v) { rule.id = VarToLng(v); });
  TextField(row, "cvencode", rule.cVenCode);
  TextField(row, "cvenabbname", rule.cVenAbbName);
  TextField(row, "cinvcode", rule.cInvCode);
  TextField(row, "cinvname", rule.cInvName);
  TextField(row, "cComUnitCode", rule.cComUnitCode);
  TextField(row, "cComUnitName", rule.cComUnitName);
  TextField(row, "cInvAddCode", rule.cInvAddCode);
  TextField(row, "cInvStd", rule.cInvStd);
  IfField(row, "iInvTaxRate", [&](const Variant& v) { rule.iTaxRate = VarToDbl(v); });
  TextField(row, "dEnableDate", rule.dEnableDate);
  TextField(row, "dDisableDate", rule.dDisableDate);
  // A bit column arrives as a Boolean, whose True is -1 as a number; a stored number counts
  // only when it is 1.
  IfField(row, "bPromotion", [&](const Variant& v) {
    rule.bPromotion = v.type() == VarType::Boolean ? v.AsBool() : VarToLng(v) == 1;
  });
  TextField(row, "cExch_Name", rule.cExchName);
  IfField(row, "iSupplyType", [&](const Variant& v) { rule.iSupplyType = VarToLng(v); });
  IfField(row, "bTaxCost", [&](const Variant& v) { rule.bTaxCost = VarToBool(v); });
  TextField(row, "cMemo", rule.cMemo);
  TextField(row, "ufts", rule.ufts);
  TextField(row, "cTermCode", rule.cTermCode);
  TextField(row, "cTermName", rule.cTermName);
}

void FillTierFromRow(PriceRuleItem& item, const Recordset& row, bool numbered) {
  if (numbered) {
    MustField(row, "itemid", [&](const Variant& v) {
      const int32_t number = VarToLng(v);
      if (number < std::numeric_limits<int16_t>::min() ||
          number > std::numeric_limits<int16_t>::max()) {
        throw std::out_of_range("The tier number " + std::to_string(number) +
                                " does not fit a 16-bit tier number.");
      }
      item.index = static_cast<int16_t>(number);
    });
  }
  MustField(row, "iLowerLimit", [&](const Variant& v) { item.iLowerLimit = VarToDbl(v); });
  MustField(row, "iUpperLimit", [&](const Variant& v) { item.iUpperLimit = v; });
  MustField(row, "iTaxRate", [&](const Variant& v) { item.iTaxRate = VarToDbl(v); });
  MustField(row, "iTaxUnitPrice", [&](const Variant& v) { item.iTaxUnitPrice = VarToDbl(v); });
  MustField(row, "iUnitPrice", [&](const Variant& v) { item.iUnitPrice = VarToDbl(v); });
}

std::shared_ptr<PriceRuleItem> TierWithRuleFromRow(const Recordset& row) {
  if (row.Eof()) return nullptr;
  auto rule = PriceRule::New();
  FillRuleFromRow(*rule, row);
  auto item = rule->AddRuleItem();
  FillTierFromRow(*item, row, false);
  return item;
}

ComparedPrice ComparedPriceFromRow(const Recordset& row) {
  ComparedPrice out;
  out.item = TierWithRuleFromRow(row);
  MustField(row, "inatprice", [&](const Variant& v) { out.local_price = VarToDbl(v); });
  bool local = false, missing = false;
  MustField(row, "iOtherUsed", [&](const Variant& v) { local = !v.IsNull() && VarToLng(v) == -1; });
  MustField(row, "iRateRank", [&](const Variant& v) { missing = VarToLng(v) == 1; });
  // As the statement converts: a rate of 0 or none counts as 1; bCal 1 or Null multiplies (a
  // bit column's True is 1 to the server, -1 as a number here).
  MustField(row, "nRate", [&](const Variant& v) {
    if (!v.IsNull() && VarToDbl(v) != 0) out.rate = VarToDbl(v);
  });
  MustField(row, "bCal", [&](const Variant& v) {
    out.divide = v.type() == VarType::Boolean ? !v.AsBool() : !v.IsNull() && VarToLng(v) != 1;
  });
  MustField(row, "iRateType", [&](const Variant& v) {
    out.rate_source = local                             ? RateSource::kLocal
                      : missing                         ? RateSource::kMissing
                      : !v.IsNull() && VarToLng(v) == 2 ? RateSource::kMonthly
                                                        : RateSource::kDaily;
  });
  return out;
}

bool StrictBool(const Variant& value) {
  switch (value.type()) {
    case VarType::Empty:
      return false;
    case VarType::Boolean:
      return value.AsBool();
    case VarType::String: {
      const std::string text = Trim(value.AsString());
      if (EqualsNoCase(text, "true")) return true;
      if (EqualsNoCase(text, "false")) return false;
      if (const std::optional<double> number = ParseNumber(text)) return *number != 0;
      throw std::invalid_argument("Type mismatch: '" + value.AsString() +
                                  "' is not a Boolean value.");
    }
    default:
      if (value.IsNumeric()) return VarToDbl(value) != 0;
      throw std::invalid_argument(value.IsNull() ? "Invalid use of Null: a Boolean was expected."
                                                 : "Type mismatch: a Boolean was expected.");
  }
}

}  // namespace tamsel::detail
