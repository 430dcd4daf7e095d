// A large, deterministic purchasing data set for benchmarks and trials.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/sql_text.h"
#include "common/text.h"
#include "tamsel/error.h"
#include "tamsel/services.h"

namespace tamsel {
namespace {

// Rows per INSERT: one statement per row would cost a round trip each; the suite's server
// takes at most 1000 rows in one VALUES list.
constexpr size_t kRowsPerStatement = 400;

std::string Lit(std::string_view text) { return "N'" + detail::SqlEsc(text) + "'"; }
std::string Num(double value) { return detail::NumText(value); }
std::string Int(int64_t value) { return detail::IntText(value); }
std::string Code(const char* prefix, int64_t n, int width) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%s%0*lld", prefix, width, static_cast<long long>(n));
  return buffer;
}

// Collects rows of one multi-row INSERT and runs it whenever it is full.
class InsertBatch {
 public:
  InsertBatch(Connection& conn, std::string head) : conn_(conn), head_(std::move(head)) {}
  void Add(const std::string& values) {
    text_ += count_ == 0 ? head_ + " values(" : ",(";
    text_ += values;
    text_ += ')';
    if (++count_ == kRowsPerStatement) Flush();
  }
  void Flush() {
    if (count_ == 0) return;
    conn_.Execute(text_);
    text_.clear();
    count_ = 0;
  }

 private:
  Connection& conn_;
  std::string head_;
  std::string text_;
  size_t count_ = 0;
};

// Raw engine output mapped by hand: the standard distributions differ between libraries, and
// a seed must give the same data everywhere.
class Random {
 public:
  explicit Random(uint32_t seed) : engine_(seed) {}
  uint32_t Below(uint32_t n) { return n == 0 ? 0 : static_cast<uint32_t>(engine_() % n); }
  double Unit() { return static_cast<double>(engine_()) / 4294967296.0; }
  bool Chance(double p) { return Unit() < p; }

 private:
  std::mt19937 engine_;
};

struct Currency {
  const char* name;
  const char* code;
  int bcal;
  double rate;   // local amount per unit (bCal 1) or units per local amount (bCal 0)
  double share;  // of vendors quoting in it
};
constexpr std::array<Currency, 5> kForeign = {{
    {"USD", "840", 1, 7.1, 0.10},
    {"EUR", "978", 1, 7.7, 0.07},
    {"JPY", "392", 1, 0.048, 0.05},
    {"HKD", "344", 0, 1.09, 0.03},
    {"GBP", "826", 1, 9.0, 0.02},
}};
// Every foreign currency has a daily and a monthly rate for each day and month of these years,
// which hold every generated validity: a comparison finds its rate in either mode.
constexpr int kFirstRateYear = 2025, kLastRateYear = 2027;

double ToForeign(const Currency& currency, double local_price) {
  return currency.bcal == 1 ? local_price / currency.rate : local_price * currency.rate;
}

std::optional<std::string> FirstText(Connection& conn, const std::string& sql) {
  auto rs = conn.OpenRecordset(sql);
  if (rs->Eof()) return std::nullopt;
  Variant value = rs->Fields(rs->FieldName(0));
  if (value.IsNull()) return std::nullopt;
  return VarToStr(value);
}

// A whole number the query gives, 0 for none.
int64_t ScalarInt(Connection& conn, const std::string& sql) {
  auto text = FirstText(conn, sql);
  return text ? static_cast<int64_t>(detail::ParseNumber(*text).value_or(0)) : 0;
}

// Adds the row unless the query finds one.
void InsertMissing(Connection& conn, const std::string& probe, const std::string& insert) {
  if (!FirstText(conn, probe)) conn.Execute(insert);
}

// The local currency's name, and every foreign one with its rates. Currencies that already
// exist are left as they are, rates included.
std::string EnsureCurrencies(Connection& conn) {
  std::string local =
      FirstText(conn, "select cExch_Name from ForeignCurrency where iOtherUsed=-1").value_or("");
  if (local.empty()) {
    local = "CNY";
    if (FirstText(conn, "select cExch_Name from ForeignCurrency where cExch_Name=N'CNY'")) {
      conn.Execute("update ForeignCurrency set iOtherUsed=-1 where cExch_Name=N'CNY'");
    } else {
      conn.Execute(
          "insert into ForeignCurrency(cExch_Name,cExch_Code,iOtherUsed,bCal) "
          "values(N'CNY',N'156',-1,1)");
    }
  }
  InsertBatch rates(conn, "insert into exch(cexch_name,itype,iyear,cdate,nflat)");
  for (const Currency& currency : kForeign) {
    if (FirstText(conn, std::string("select cExch_Name from ForeignCurrency where cExch_Name=") +
                            Lit(currency.name))) {
      continue;
    }
    conn.Execute("insert into ForeignCurrency(cExch_Name,cExch_Code,iOtherUsed,bCal) values(" +
                 Lit(currency.name) + "," + Lit(currency.code) + ",0," + Int(currency.bcal) + ")");
    const Date end = Date::FromYmd(kLastRateYear + 1, 1, 1);
    for (Date day = Date::FromYmd(kFirstRateYear, 1, 1); day < end; day = day.AddDays(1)) {
      const double rate = currency.rate * (1 + ((day.days() % 21) - 10) / 1000.0);
      rates.Add(Lit(currency.name) + ",1," + Int(day.year()) + "," + Lit(day.DottedDate()) + "," +
                Num(rate));
    }
    for (int year = kFirstRateYear; year <= kLastRateYear; ++year) {
      for (int month = 1; month <= 12; ++month) {
        const double rate = currency.rate * (1 + ((year * 12 + month) % 7 - 3) / 500.0);
        rates.Add(Lit(currency.name) + ",2," + Int(year) + "," + Lit(Int(month)) + "," + Num(rate));
      }
    }
  }
  rates.Flush();
  return local;
}

const char* const kUnits[][2] = {{"TPCS", "Piece"}, {"TKG", "Kilogram"}, {"TM", "Metre"}};
const char* const kTerms[][2] = {{"EXW", "Ex works"},
                                 {"FOB", "Free on board"},
                                 {"CIF", "Cost, insurance and freight"},
                                 {"DAP", "Delivered at place"}};

// Lower limits of the tiers, one scheme per kind of goods; a price set uses the first n.
constexpr int kMaxTiers = 6;
constexpr double kBreakSchemes[][kMaxTiers] = {
    {0, 100, 500, 1000, 5000, 10000},       // pieces
    {0, 10, 50, 100, 500, 1000},            // small lots
    {0, 12, 24, 48, 96, 144},               // dozens
    {0, 1000, 5000, 20000, 50000, 100000},  // bulk
    {0, 0.5, 1, 5, 10, 50},                 // weights
};
// Tiers per price set when not fixed: 1 (30%), 2 (20%), 3 (25%), 4 (12%), 5 (8%), 6 (5%).
constexpr double kTierShares[kMaxTiers] = {0.30, 0.20, 0.25, 0.12, 0.08, 0.05};

// Free items that take part in pricing for a flagged item, and the values priced for each; a
// price set has one row per combination of values (per tier).
struct FreePattern {
  std::vector<std::pair<int, std::vector<const char*>>> items;  // free item number, values
};
const FreePattern kFreePatterns[] = {
    {{{1, {"RED", "BLUE"}}}},
    {{{2, {"A", "B", "C"}}}},
    {{{1, {"RED", "BLUE"}}, {3, {"S", "L"}}}},
};
constexpr double kMeanVariants = (2.0 + 3.0 + 4.0) / 3;

// Vendors per item when not fixed: most items have a few, some hundreds.
int32_t SkewedVendorCount(Random& random) {
  const double p = random.Unit();
  if (p < 0.55) return 1 + static_cast<int32_t>(random.Below(3));      // 1..3
  if (p < 0.85) return 4 + static_cast<int32_t>(random.Below(7));      // 4..10
  if (p < 0.97) return 11 + static_cast<int32_t>(random.Below(30));    // 11..40
  if (p < 0.995) return 41 + static_cast<int32_t>(random.Below(110));  // 41..150
  return 200 + static_cast<int32_t>(random.Below(101));                // 200..300
}

double TierPrice(double base, int32_t tier) { return base * std::pow(0.96, tier); }
double Rounded(double price) { return std::round(price * 10000) / 10000; }
std::string DateText(const Date& date) { return Lit(date.IsoDate()); }

struct Vendor {
  std::string code;
  const Currency* currency;  // null: local; a foreign currency makes the vendor overseas
};

// One price set or rule: who sells, on which terms, from when to when, with which tiers.
struct Terms {
  std::string vendor_sql;  // N'' for a price open to every vendor
  const Currency* currency;
  int supply_type;
  std::string term;  // trade term, supply type 4 only
  Date enable;
  std::string disable_sql;  // a date literal or null
  bool promotion;
  double base;  // local price of the first tier
  int32_t tiers;
  const double* breaks;
};

std::string UpperLimit(const Terms& terms, int32_t t) {
  return t + 1 < terms.tiers ? Num(terms.breaks[t + 1]) : "null";
}

class Generator {
 public:
  Generator(Connection& conn, const TrialDataOptions& options)
      : conn_(conn), options_(options), random_(options.seed) {}

  TrialDataCounts Run(const std::function<void(double)>& progress) {
    local_ = EnsureCurrencies(conn_);
    for (const auto& unit : kUnits) {
      InsertMissing(conn_,
                    std::string("select cComUnitCode from ComputationUnit where cComUnitCode=") +
                        Lit(unit[0]),
                    "insert into ComputationUnit(cComUnitCode,cComUnitName) values(" +
                        Lit(unit[0]) + "," + Lit(unit[1]) + ")");
    }
    for (const auto& term : kTerms) {
      InsertMissing(
          conn_,
          std::string("select cIncotermCode from ex_incoterms where cIncotermCode=") + Lit(term[0]),
          "insert into ex_incoterms(cIncotermCode,cIncotermsRemark) values(" + Lit(term[0]) + "," +
              Lit(term[1]) + ")");
    }
    AddVendors();
    next_rule_id_ = ScalarInt(conn_, "select max(id) as m from ven_inv_price_rule") + 1;
    first_item_ =
        ScalarInt(conn_, "select count(*) as n from Inventory where cInvCode like 'TI%'") + 1;
    // Flagged items carry kMeanVariants rows per price on average, so this share of items gives
    // about free_item_share of the rows.
    const double s = options_.free_item_share;
    flagged_share_ = s / (kMeanVariants - s * (kMeanVariants - 1));

    for (int64_t i = 0; options_.rows > 0 ? counts_.price_rows < options_.rows : i < options_.items;
         ++i) {
      AddItem(first_item_ + i);
      if (progress && (i + 1) % 500 == 0) {
        progress(options_.rows > 0 ? static_cast<double>(counts_.price_rows) / options_.rows
                                   : static_cast<double>(i + 1) / options_.items);
      }
    }
    for (InsertBatch* batch : {&items_, &subs_, &prices_, &rules_, &rule_items_}) batch->Flush();
    return counts_;
  }

 private:
  // A pool of vendors several times the vendors an item may have, so items share vendors
  // unevenly: a few vendors supply many items.
  void AddVendors() {
    const int64_t fixed = options_.vendors_per_item;
    const int64_t pool =
        fixed > 0
            ? std::max<int64_t>(20, fixed * 5)
            : std::max<int64_t>(600, (options_.rows > 0 ? options_.rows / 50 : options_.items) / 5);
    // Codes go on after those of an earlier run, so trial data can be added more than once.
    const int64_t first_iid = ScalarInt(conn_, "select max(iid) as m from Vendor") + 1;
    const int64_t first_vendor =
        ScalarInt(conn_, "select count(*) as n from Vendor where cVenCode like 'TV%'") + 1;
    InsertBatch batch(conn_,
                      "insert into Vendor(iid,cVenCode,cVenName,cVenAbbName,dEndDate,bVenTax,"
                      "bVenCargo,bVenService,bProxyForeign,bVenOverseas)");
    for (int64_t v = 0; v < pool; ++v) {
      const Currency* currency = nullptr;
      double pick = random_.Unit();
      for (const Currency& c : kForeign) {
        if (pick < c.share) {
          currency = &c;
          break;
        }
        pick -= c.share;
      }
      Vendor vendor{Code("TV", first_vendor + v, 6), currency};
      const bool ended = random_.Chance(0.05);
      batch.Add(Int(first_iid + v) + "," + Lit(vendor.code) + "," +
                Lit("Trial vendor " + Int(first_vendor + v)) + "," +
                Lit("TV " + Int(first_vendor + v)) + "," + (ended ? Lit("2026-03-31") : "null") +
                "," + (currency ? "0" : "1") + ",1," + (random_.Chance(0.1) ? "1" : "0") + "," +
                (random_.Chance(0.3) ? "1" : "0") + "," + (currency ? "1" : "0"));
      vendors_.push_back(std::move(vendor));
    }
    batch.Flush();
    counts_.vendors = pool;
  }

  int32_t TierCount() {
    if (options_.tiers > 0) return options_.tiers;
    double p = random_.Unit();
    for (int32_t n = 0; n < kMaxTiers; ++n) {
      if (p < kTierShares[n]) return n + 1;
      p -= kTierShares[n];
    }
    return 1;
  }

  // Distinct vendors for one item; low pool indexes are drawn more often.
  std::vector<const Vendor*> ChooseVendors() {
    const int64_t pool = static_cast<int64_t>(vendors_.size());
    const int64_t wanted = std::min<int64_t>(
        options_.vendors_per_item > 0 ? options_.vendors_per_item : SkewedVendorCount(random_),
        pool);
    std::vector<char> taken(static_cast<size_t>(pool), 0);
    std::vector<const Vendor*> chosen;
    while (static_cast<int64_t>(chosen.size()) < wanted) {
      const double u = random_.Unit();
      int64_t v = static_cast<int64_t>(u * u * static_cast<double>(pool));
      while (taken[v]) v = (v + 1) % pool;
      taken[v] = 1;
      chosen.push_back(&vendors_[v]);
    }
    return chosen;
  }

  void AddItem(int64_t number) {
    item_ = Code("TI", number, 7);
    tax_ = random_.Chance(0.05) ? 6 : 13;
    pattern_ = random_.Chance(flagged_share_)
                   ? &kFreePatterns[random_.Below(std::size(kFreePatterns))]
                   : nullptr;
    const double* breaks = kBreakSchemes[random_.Below(std::size(kBreakSchemes))];
    items_.Add(Lit(item_) + "," + Lit("Trial item " + Int(number)) + "," +
               Lit(Code("TA-", number, 7)) + "," + Lit("Std " + Int(random_.Below(90) + 10)) + "," +
               Num(tax_) + "," + Lit(kUnits[random_.Below(3)][0]) + ",1,0," +
               (random_.Chance(0.3) ? "1" : "0"));
    std::array<bool, 10> flags{};
    if (pattern_) {
      for (const auto& [free_item, values] : pattern_->items) flags[free_item - 1] = true;
    }
    std::string sub = Lit(item_);
    for (int pass = 0; pass < 2; ++pass) {  // purchase flags, then the other supply types'
      for (bool flag : flags) sub += flag ? ",1" : ",0";
    }
    subs_.Add(sub);
    ++counts_.items;
    const double item_base = std::exp(random_.Unit() * std::log(1000.0));  // 1 .. 1000 local

    const auto vendors = ChooseVendors();
    const Date first_enable = Date::FromYmd(2025, 1, 1);
    for (size_t k = 0; k < vendors.size(); ++k) {
      const Vendor& vendor = *vendors[k];
      Terms terms{Lit(vendor.code),
                  vendor.currency,
                  1,
                  "",
                  first_enable.AddDays(random_.Below(600)),
                  random_.Chance(0.3) ? Lit("2027-12-31") : "null",
                  false,
                  item_base * (0.85 + 0.3 * random_.Unit()),
                  TierCount(),
                  breaks};
      AddPrices(terms);
      // An older list never closed: superseded by the later enable date.
      if (random_.Chance(0.25)) {
        Terms older = terms;
        older.enable = terms.enable.AddDays(-200 - static_cast<int64_t>(random_.Below(200)));
        older.disable_sql = "null";
        older.base *= 1.08;
        AddPrices(older);
      }
      if (random_.Chance(0.08)) {
        Terms outsourced = terms;
        outsourced.supply_type = 2;
        outsourced.base *= 0.9;
        AddPrices(outsourced);
      }
      // Imports: overseas vendors quote on a trade term.
      if (vendor.currency && random_.Chance(0.5)) {
        Terms import = terms;
        import.supply_type = 4;
        import.term = kTerms[random_.Below(std::size(kTerms))][0];
        import.base *= 0.95;
        AddPrices(import);
        if (k < 3) AddRule(import);
      }
      if (random_.Chance(0.05)) {
        Terms promotion = terms;
        promotion.enable = Date::FromYmd(2026, 10, 1);
        promotion.disable_sql = Lit("2027-03-01");
        promotion.promotion = true;
        promotion.base *= 0.93;
        promotion.tiers = 1;
        AddPrices(promotion);
      }
      // Rules for the first vendors: one to three in a row over time, each ending where the
      // next one starts.
      if (k < 3) {
        const int32_t history = 1 + static_cast<int32_t>(random_.Below(3));
        Terms rule = terms;
        rule.disable_sql = "null";
        for (int32_t h = history - 1; h >= 0; --h) {
          rule.enable = Date::FromYmd(2026 - h, 1, 1);
          rule.disable_sql = h == 0 ? terms.disable_sql : DateText(Date::FromYmd(2027 - h, 1, 1));
          rule.tiers = TierCount();
          AddRule(rule);
          rule.base *= 1.03;
        }
      }
    }
    // Now and then a price open to every vendor.
    if (random_.Chance(0.1)) {
      AddPrices(
          Terms{"N''", nullptr, 1, "", first_enable, "null", false, item_base * 1.2, 1, breaks});
    }
  }

  // One row per tier and combination of free-item values.
  void AddPrices(const Terms& terms) {
    const std::string head = terms.vendor_sql + "," + Lit(item_) + "," + Int(terms.supply_type) +
                             "," + DateText(terms.enable) + "," + terms.disable_sql + "," +
                             (terms.promotion ? "1" : "0") + "," +
                             Lit(terms.currency ? terms.currency->name : local_) + ",N'',1," +
                             Lit(terms.term) + ",";
    std::vector<std::string> variants{""};  // the free-item columns' values, cFree1..cFree3
    if (pattern_) {
      variants.clear();
      std::array<const char*, 3> slots{};
      std::function<void(size_t)> combine = [&](size_t level) {
        if (level == pattern_->items.size()) {
          std::string text;
          for (const char* value : slots) text += "," + (value ? Lit(value) : std::string("null"));
          variants.push_back(text);
          return;
        }
        const auto& [free_item, values] = pattern_->items[level];
        for (const char* value : values) {
          slots[free_item - 1] = value;
          combine(level + 1);
        }
      };
      combine(0);
    }
    for (size_t variant = 0; variant < variants.size(); ++variant) {
      const std::string free = pattern_ ? variants[variant] : ",null,null,null";
      const double variant_base = terms.base * (1 + 0.05 * static_cast<double>(variant));
      for (int32_t t = 0; t < terms.tiers; ++t) {
        double price = TierPrice(variant_base, t);
        if (terms.currency) price = ToForeign(*terms.currency, price);
        price = Rounded(price);
        prices_.Add(head + Num(terms.breaks[t]) + "," + UpperLimit(terms, t) + "," + Num(price) +
                    "," + Num(tax_) + "," + Num(Rounded(price * (1 + tax_ / 100))) + free);
        ++counts_.price_rows;
      }
    }
  }

  void AddRule(const Terms& terms) {
    const int64_t id = next_rule_id_++;
    rules_.Add(Int(id) + "," + terms.vendor_sql + "," + Lit(item_) + "," + Int(terms.supply_type) +
               "," + DateText(terms.enable) + "," + terms.disable_sql + ",0," +
               Lit(terms.currency ? terms.currency->name : local_) + ",N'',1," + Lit(terms.term));
    ++counts_.rules;
    for (int32_t t = 0; t < terms.tiers; ++t) {
      double price = TierPrice(terms.base, t);
      if (terms.currency) price = ToForeign(*terms.currency, price);
      price = Rounded(price);
      rule_items_.Add(Int(id) + "," + Int(t + 1) + "," + Num(terms.breaks[t]) + "," +
                      UpperLimit(terms, t) + "," + Num(price) + "," + Num(tax_) + "," +
                      Num(Rounded(price * (1 + tax_ / 100))));
      ++counts_.rule_tiers;
    }
  }

  Connection& conn_;
  const TrialDataOptions& options_;
  Random random_;
  std::string local_;
  std::vector<Vendor> vendors_;
  int64_t next_rule_id_ = 0;
  int64_t first_item_ = 0;
  double flagged_share_ = 0;
  TrialDataCounts counts_;
  // The item being made.
  std::string item_;
  double tax_ = 13;
  const FreePattern* pattern_ = nullptr;

  InsertBatch items_{conn_,
                     "insert into Inventory(cInvCode,cInvName,cInvAddCode,cInvStd,iImpTaxRate,"
                     "cComUnitCode,bPurchase,bService,bProxyForeign)"};
  InsertBatch subs_{conn_,
                    "insert into Inventory_sub(cInvSubCode,bPurPriceFree1,bPurPriceFree2,"
                    "bPurPriceFree3,bPurPriceFree4,bPurPriceFree5,bPurPriceFree6,bPurPriceFree7,"
                    "bPurPriceFree8,bPurPriceFree9,bPurPriceFree10,bOMPriceFree1,bOMPriceFree2,"
                    "bOMPriceFree3,bOMPriceFree4,bOMPriceFree5,bOMPriceFree6,bOMPriceFree7,"
                    "bOMPriceFree8,bOMPriceFree9,bOMPriceFree10)"};
  InsertBatch prices_{conn_,
                      "insert into ven_inv_price(cVenCode,cInvCode,iSupplyType,dEnableDate,"
                      "dDisableDate,bPromotion,cExch_Name,cMemo,bTaxCost,cTermCode,iLowerLimit,"
                      "iUpperLimit,iUnitPrice,iTaxRate,iTaxUnitPrice,cFree1,cFree2,cFree3)"};
  InsertBatch rules_{conn_,
                     "insert into ven_inv_price_rule(id,cVenCode,cInvCode,iSupplyType,dEnableDate,"
                     "dDisableDate,bPromotion,cExch_Name,cMemo,bTaxCost,cTermCode)"};
  InsertBatch rule_items_{conn_,
                          "insert into ven_inv_price_ruleitem(id,itemid,iLowerLimit,iUpperLimit,"
                          "iUnitPrice,iTaxRate,iTaxUnitPrice)"};
};

}  // namespace

int64_t GenerateTrialData(Connection& conn, const TrialDataOptions& options,
                          const std::function<void(double)>& progress, TrialDataCounts* counts) {
  if (options.items < 0 || options.vendors_per_item < 0 || options.tiers < 0 ||
      options.tiers > kMaxTiers || options.rows < 0 ||
      !(options.free_item_share >= 0 && options.free_item_share <= 1)) {
    throw std::invalid_argument(
        "trial data needs items, vendors per item and rows of 0 or more, 0 (varied) to 6 tiers "
        "and a free-item share between 0 and 1");
  }
  std::optional<TransactionGuard> guard;
  if (!conn.InTransaction()) guard.emplace(conn);
  const TrialDataCounts made = Generator(conn, options).Run(progress);
  if (guard) guard->Commit();
  if (progress) progress(1.0);
  if (counts) *counts = made;
  return made.price_rows;
}

}  // namespace tamsel
