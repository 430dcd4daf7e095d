#pragma once

// The SQL text of every statement the manager runs, one builder per statement, grouped by the
// operation that runs it. Builders are pure: values in, T-SQL text out. Text values between
// quotes go through SqlEsc, numbers through NumText/IntText, dates through Date's formatters.
// The look-ups' builders also give the statement's shape (ShapedSql), so the embedded driver
// binds their values instead of reading them back out of the text on every call.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/internal_api.h"
#include "db/tsql_rewriter.h"
#include "tamsel/price_rule.h"
#include "tamsel/variant.h"

namespace tamsel::detail {

// Writes a statement's text and beside it its shape, marking each value where LiftLiterals
// would lift it, so the embedded driver binds the values without reading the text again.
class TAMSEL_INTERNAL ShapedWriter {
 public:
  ShapedWriter() = default;
  explicit ShapedWriter(size_t room);              // for a statement about this long
  ShapedWriter& operator+=(std::string_view raw);  // SQL without values
  ShapedWriter& operator+=(const ShapedWriter& part);
  void Text(std::string_view value, bool national);  // 'value' or N'value', quotes doubled
  void Number(std::string_view digits);              // as NumText or IntText writes it
  // As ToSqlText writes it; an empty value is the keyword null, bound as a value when asked.
  void Value(const Variant& value, bool bind_null = false);
  const std::string& text() const { return sql_.text; }
  ShapedSql Done() &&;

 private:
  ShapedSql sql_;
};

// --- NewVenInvPriceRule, GetbTaxType -------------------------------------------------------

// The local currency (iotherused = -1).
std::string LocalCurrencySql();
// The vendor's tax flag; the code sits between plain quotes.
TAMSEL_INTERNAL std::string VendorTaxSql(std::string_view ven_code);

// --- GetVenInvPriceRule --------------------------------------------------------------------

// exch_name is trimmed here; blank adds no currency condition.
TAMSEL_INTERNAL ShapedSql RuleLookupSql(std::string_view ven_code, std::string_view inv_code,
                                        const Date& ddate, std::string_view exch_name,
                                        int32_t supply_type);

// --- Free-item condition of GetVenInvPriceRuleItem and ComparePrice ------------------------

inline constexpr int kFreeItemCount = 10;

// The item's price-relevant free-item flags, purchase set then outsourcing set.
TAMSEL_INTERNAL ShapedSql InventoryFreeFlagsSql(std::string_view inv_code);
// " and 1=1 " plus one comparison per free item that has a value; nullopt means the free item
// takes no part in pricing.
TAMSEL_INTERNAL ShapedWriter
FreeItemCondition(const std::array<std::optional<std::string>, kFreeItemCount>& values);

// --- GetVenInvPriceRuleItem ----------------------------------------------------------------

// The ranking of the price look-up, best first; also orders its candidates.
inline constexpr const char* kPriceItemOrder =
    "cvencode desc,bPromotion DESC,iLowerLimit DESC,denabledate desc,id DESC ";

// free_condition is appended as built by FreeItemCondition ("" for none); exch_name is trimmed
// here, blank adds no currency condition.
TAMSEL_INTERNAL ShapedSql PriceItemLookupSql(std::string_view ven_code, std::string_view inv_code,
                                             const Date& ddate, double quantity,
                                             std::string_view exch_name, int32_t supply_type,
                                             const ShapedWriter& free_condition);
// Every price-list row of the item in the look-up's order, with one 0/1 column per condition of
// the look-up (okDate, okVendor, okCurrency, okSupplyType, okFree, okQuantity): the first row
// passing all six is the look-up's answer.
TAMSEL_INTERNAL std::string PriceItemCandidatesSql(std::string_view ven_code,
                                                   std::string_view inv_code, const Date& ddate,
                                                   double quantity, std::string_view exch_name,
                                                   int32_t supply_type,
                                                   std::string_view free_condition);

// --- ComparePrice --------------------------------------------------------------------------

// Rate of the business date (type 1).
TAMSEL_INTERNAL std::string DailyRateCondition(const Date& today);
// Rate of the period (type 2); year and month as the system-information object gives them.
TAMSEL_INTERNAL std::string MonthlyRateCondition(std::string_view year, std::string_view month);
// What the comparison's statement gives: ComparePrice's best row alone; the best row with its
// conversion columns (iOtherUsed, bCal, iRateType, nRate, iRateRank: 1 for a foreign price
// without a usable rate); or every qualifying row in ranking order with those columns and the
// group's free-item values cafree1..cafree10.
enum class CompareRows { kBest, kBestWithRate, kEveryOffer };

// How the comparison keeps only the latest rows of each vendor's offer (vendor, tier,
// currency, free items): by a grouped subquery joined back, as SQL Server runs it; or, for the
// embedded database, by asking of each row whether a later one of its offer exists, which
// gives the same rows without sorting them all on fifteen keys.
enum class CompareShape { kGroupedJoin, kLaterRowCheck };

// auth_condition ("ven.iid in (...)" or "") and rate_condition are trusted text, inserted as
// they stand.
TAMSEL_INTERNAL std::string ComparePriceSql(std::string_view inv_code, double quantity,
                                            int32_t supply_type, const Date& today,
                                            std::string_view auth_condition,
                                            std::string_view free_condition,
                                            std::string_view rate_condition,
                                            CompareRows rows = CompareRows::kBest,
                                            CompareShape shape = CompareShape::kGroupedJoin);

// --- LoadVenInvPriceRule -------------------------------------------------------------------

TAMSEL_INTERNAL ShapedSql LoadRuleSql(int32_t id);
TAMSEL_INTERNAL ShapedSql LoadRuleItemsSql(int32_t id);

// --- Creating, saving, removing and listing ------------------------------------------------
// These take the rule as it stands after VerifyRule: dates already yyyy-MM-dd.

// 'dDisableDate' when the rule has an end date, otherwise null.
std::string EndDateLiteral(const PriceRule& rule);
// Another stored rule with the same duplicate key. Saving leaves the rule's own row out.
std::string DuplicateForCreateSql(const PriceRule& rule);
std::string DuplicateForSaveSql(const PriceRule& rule);
// id and ufts of the row just inserted, found by the duplicate key.
std::string ReadBackForCreateSql(const PriceRule& rule);
std::string ReadBackForSaveSql(int32_t id);
std::string RuleInsertSql(const PriceRule& rule);
// Hits the row only while its row version still equals rule.ufts.
std::string RuleUpdateSql(const PriceRule& rule);
// Also the first statement of RemoveVenInvPriceRule.
std::string RuleItemsDeleteSql(int32_t id);
std::string RuleItemInsertSql(int32_t rule_id, int16_t number, const PriceRuleItem& item);
std::string RuleDeleteSql(int32_t id);
// filter is trusted caller text, inserted unchanged; a blank filter lists every row.
std::string ListRulesSql(const std::string& filter);
std::string ListPriceListSql(const std::string& filter);

}  // namespace tamsel::detail
