#include "manager/row_mapping.h"

#include <algorithm>
#include <array>
#include <limits>
#include <stdexcept>
#include <string>

#include "common/text.h"

namespace tamsel::detail {

namespace {

// Positions of a mapping's columns in one result, -1 where it has none.
template <size_t N>
std::array<int32_t, N> Positions(const Recordset& result,
                                 const std::array<std::string_view, N>& names) {
  std::array<int32_t, N> at;
  result.FieldIndexes(names, at);
  return at;
}

// The column's value; a result without the column is a failure, since the object would
// otherwise be filled with defaults that look like data.
const Variant& Must(const Recordset& row, int32_t at, std::string_view name) {
  const Variant* value = row.FieldValueAt(at);
  if (value == nullptr)
    throw std::invalid_argument("The result has no column " + std::string(name) + ".");
  return *value;
}

void Text(const Variant* value, std::string& target) {
  if (value == nullptr) return;
  target = value->type() == VarType::String ? Trim(value->AsString()) : Trim(VarToStr(*value));
}

enum RuleField {
  kId,
  kVenCode,
  kVenAbbName,
  kInvCode,
  kInvName,
  kComUnitCode,
  kComUnitName,
  kInvAddCode,
  kInvStd,
  kInvTaxRate,
  kEnableDate,
  kDisableDate,
  kPromotion,
  kExchName,
  kSupplyType,
  kTaxCost,
  kMemo,
  kUfts,
  kTermCode,
  kTermName,
  kRuleFields
};
constexpr std::array<std::string_view, kRuleFields> kRuleNames = {
    "id",           "cvencode",     "cvenabbname", "cinvcode",   "cinvname",
    "cComUnitCode", "cComUnitName", "cInvAddCode", "cInvStd",    "iInvTaxRate",
    "dEnableDate",  "dDisableDate", "bPromotion",  "cExch_Name", "iSupplyType",
    "bTaxCost",     "cMemo",        "ufts",        "cTermCode",  "cTermName"};

// In the tier table's own order.
enum TierField {
  kItemId,
  kLowerLimit,
  kUpperLimit,
  kUnitPrice,
  kTaxRate,
  kTaxUnitPrice,
  kTierFields
};
constexpr std::array<std::string_view, kTierFields> kTierNames = {
    "itemid", "iLowerLimit", "iUpperLimit", "iUnitPrice", "iTaxRate", "iTaxUnitPrice"};

enum CompareField { kNatPrice, kOtherUsed, kRateRank, kRate, kCal, kRateType, kCompareFields };
constexpr std::array<std::string_view, kCompareFields> kCompareNames = {
    "inatprice", "iOtherUsed", "iRateRank", "nRate", "bCal", "iRateType"};

}  // namespace

void FillRuleFromRow(PriceRule& rule, const Recordset& row) {
  const auto at = Positions(row, kRuleNames);
  auto field = [&](RuleField f) { return row.FieldValueAt(at[f]); };
  if (const Variant* v = field(kId)) rule.id = VarToLng(*v);
  Text(field(kVenCode), rule.cVenCode);
  Text(field(kVenAbbName), rule.cVenAbbName);
  Text(field(kInvCode), rule.cInvCode);
  Text(field(kInvName), rule.cInvName);
  Text(field(kComUnitCode), rule.cComUnitCode);
  Text(field(kComUnitName), rule.cComUnitName);
  Text(field(kInvAddCode), rule.cInvAddCode);
  Text(field(kInvStd), rule.cInvStd);
  if (const Variant* v = field(kInvTaxRate)) rule.iTaxRate = VarToDbl(*v);
  Text(field(kEnableDate), rule.dEnableDate);
  Text(field(kDisableDate), rule.dDisableDate);
  // A bit column arrives as a Boolean, whose True is -1 as a number; a stored number counts
  // only when it is 1.
  if (const Variant* v = field(kPromotion))
    rule.bPromotion = v->type() == VarType::Boolean ? v->AsBool() : VarToLng(*v) == 1;
  Text(field(kExchName), rule.cExchName);
  if (const Variant* v = field(kSupplyType)) rule.iSupplyType = VarToLng(*v);
  if (const Variant* v = field(kTaxCost)) rule.bTaxCost = VarToBool(*v);
  Text(field(kMemo), rule.cMemo);
  Text(field(kUfts), rule.ufts);
  Text(field(kTermCode), rule.cTermCode);
  Text(field(kTermName), rule.cTermName);
}

TierColumns::TierColumns(const Recordset& result, bool numbered) : numbered_(numbered) {
  const auto at = Positions(result, kTierNames);
  std::copy(at.begin(), at.end(), at_);
}

void FillTierFromRow(PriceRuleItem& item, const Recordset& row, const TierColumns& columns) {
  auto must = [&](TierField f) -> const Variant& {
    return Must(row, columns.at_[f], kTierNames[f]);
  };
  if (columns.numbered_) {
    const int32_t number = VarToLng(must(kItemId));
    if (number < std::numeric_limits<int16_t>::min() ||
        number > std::numeric_limits<int16_t>::max()) {
      throw std::out_of_range("The tier number " + std::to_string(number) +
                              " does not fit a 16-bit tier number.");
    }
    item.index = static_cast<int16_t>(number);
  }
  item.iLowerLimit = VarToDbl(must(kLowerLimit));
  item.iUpperLimit = must(kUpperLimit);
  item.iTaxRate = VarToDbl(must(kTaxRate));
  item.iTaxUnitPrice = VarToDbl(must(kTaxUnitPrice));
  item.iUnitPrice = VarToDbl(must(kUnitPrice));
}

void FillTierFromRow(PriceRuleItem& item, const Recordset& row, bool numbered) {
  FillTierFromRow(item, row, TierColumns(row, numbered));
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
  const auto at = Positions(row, kCompareNames);
  auto must = [&](CompareField f) -> const Variant& { return Must(row, at[f], kCompareNames[f]); };
  out.local_price = VarToDbl(must(kNatPrice));
  const Variant& other_used = must(kOtherUsed);
  const bool local = !other_used.IsNull() && VarToLng(other_used) == -1;
  const bool missing = VarToLng(must(kRateRank)) == 1;
  // As the statement converts: a rate of 0 or none counts as 1; bCal 1 or Null multiplies (a
  // bit column's True is 1 to the server, -1 as a number here).
  const Variant& rate = must(kRate);
  if (!rate.IsNull() && VarToDbl(rate) != 0) out.rate = VarToDbl(rate);
  const Variant& cal = must(kCal);
  out.divide = cal.type() == VarType::Boolean ? !cal.AsBool() : !cal.IsNull() && VarToLng(cal) != 1;
  const Variant& type = must(kRateType);
  out.rate_source = local                                   ? RateSource::kLocal
                    : missing                               ? RateSource::kMissing
                    : !type.IsNull() && VarToLng(type) == 2 ? RateSource::kMonthly
                                                            : RateSource::kDaily;
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
