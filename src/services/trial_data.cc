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
constexpr std::array<Currency, 4> kForeign = {{
    {"USD", "840", 1, 7.1, 0.10},
    {"EUR", "978", 1, 7.7, 0.07},
    {"JPY", "392", 1, 0.048, 0.05},
    {"HKD", "344", 0, 1.09, 0.03},
}};

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

// The local currency's name, and every foreign one with rates for 2025 to 2027. Currencies that
// already exist are left as they are, rates included.
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
    const Date first = Date::FromYmd(2026, 1, 1);
    for (int i = 0; i < 730; ++i) {
      const Date day = first.AddDays(i);
      const double rate = currency.rate * (1 + ((day.days() % 21) - 10) / 1000.0);
      rates.Add(Lit(currency.name) + ",1," + Int(day.year()) + "," + Lit(day.DottedDate()) + "," +
                Num(rate));
    }
    for (int year = 2025; year <= 2027; ++year) {
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
const char* const kFreeValues[] = {"RED", "BLUE"};
// Lower limits of the tiers: 0, 100, 500, 1000, 5000, 10000, ...
double TierLowerLimit(int32_t tier) {
  if (tier == 0) return 0;
  const double steps[] = {100, 500};
  return steps[(tier - 1) % 2] * std::pow(10.0, (tier - 1) / 2);
}
// Each tier a little cheaper than the one below.
double TierPrice(double base, int32_t tier) { return base * std::pow(0.96, tier); }

std::string DateText(const Date& date) { return Lit(date.IsoDate()); }

struct Vendor {
  std::string code;
  const Currency* currency;  // null: local
};

}  // namespace

int64_t GenerateTrialData(Connection& conn, const TrialDataOptions& options,
                          const std::function<void(double)>& progress) {
  if (options.items < 0 || options.vendors_per_item < 0 || options.tiers < 1 ||
      options.tiers > 12 || !(options.free_item_share >= 0 && options.free_item_share <= 1)) {
    throw std::invalid_argument(
        "trial data needs items and vendors per item of 0 or more, 1 to 12 tiers and a "
        "free-item share between 0 and 1");
  }
  Random random(options.seed);
  std::optional<TransactionGuard> guard;
  if (!conn.InTransaction()) guard.emplace(conn);

  const std::string local = EnsureCurrencies(conn);
  for (const auto& unit : kUnits) {
    if (!FirstText(conn, std::string("select cComUnitCode from ComputationUnit where "
                                     "cComUnitCode=") +
                             Lit(unit[0]))) {
      conn.Execute("insert into ComputationUnit(cComUnitCode,cComUnitName) values(" + Lit(unit[0]) +
                   "," + Lit(unit[1]) + ")");
    }
  }

  // Vendors: a pool several times the vendors per item, so items share vendors unevenly.
  const int32_t vendor_count = std::max(20, options.vendors_per_item * 5);
  // Codes go on after those of an earlier run, so trial data can be added more than once.
  const int64_t first_iid = ScalarInt(conn, "select max(iid) as m from Vendor") + 1;
  const int64_t first_vendor =
      ScalarInt(conn, "select count(*) as n from Vendor where cVenCode like 'TV%'") + 1;
  std::vector<Vendor> vendors;
  {
    InsertBatch batch(conn,
                      "insert into Vendor(iid,cVenCode,cVenName,cVenAbbName,dEndDate,bVenTax,"
                      "bVenCargo,bVenService,bProxyForeign,bVenOverseas)");
    for (int32_t v = 0; v < vendor_count; ++v) {
      const Currency* currency = nullptr;
      double pick = random.Unit();
      for (const Currency& c : kForeign) {
        if (pick < c.share) {
          currency = &c;
          break;
        }
        pick -= c.share;
      }
      Vendor vendor{Code("TV", first_vendor + v, 5), currency};
      const bool ended = random.Chance(0.05);
      batch.Add(Int(first_iid + v) + "," + Lit(vendor.code) + "," +
                Lit("Trial vendor " + Int(first_vendor + v)) + "," +
                Lit("TV " + Int(first_vendor + v)) + "," + (ended ? Lit("2026-03-31") : "null") +
                "," + (currency ? "0" : "1") + ",1," + (random.Chance(0.1) ? "1" : "0") + "," +
                (random.Chance(0.3) ? "1" : "0") + "," + (currency ? "1" : "0"));
      vendors.push_back(std::move(vendor));
    }
    batch.Flush();
  }

  InsertBatch items(conn,
                    "insert into Inventory(cInvCode,cInvName,cInvAddCode,cInvStd,iImpTaxRate,"
                    "cComUnitCode,bPurchase,bService,bProxyForeign)");
  InsertBatch subs(conn, "insert into Inventory_sub(cInvSubCode,bPurPriceFree1,bOMPriceFree1)");
  InsertBatch prices(conn,
                     "insert into ven_inv_price(cVenCode,cInvCode,iSupplyType,dEnableDate,"
                     "dDisableDate,bPromotion,cExch_Name,cMemo,bTaxCost,cTermCode,iLowerLimit,"
                     "iUpperLimit,iUnitPrice,iTaxRate,iTaxUnitPrice,cFree1)");
  InsertBatch rules(conn,
                    "insert into ven_inv_price_rule(id,cVenCode,cInvCode,iSupplyType,dEnableDate,"
                    "dDisableDate,bPromotion,cExch_Name,cMemo,bTaxCost,cTermCode)");
  InsertBatch rule_items(conn,
                         "insert into ven_inv_price_ruleitem(id,itemid,iLowerLimit,iUpperLimit,"
                         "iUnitPrice,iTaxRate,iTaxUnitPrice)");
  int64_t next_rule_id = ScalarInt(conn, "select max(id) as m from ven_inv_price_rule") + 1;
  const int64_t first_item =
      ScalarInt(conn, "select count(*) as n from Inventory where cInvCode like 'TI%'") + 1;

  // Flagged items carry two free-item variants per price, so this share of items gives about
  // free_item_share of the rows.
  const double flagged_share = options.free_item_share / (2 - options.free_item_share);
  const Date base_enable = Date::FromYmd(2025, 1, 1);
  int64_t rows = 0;

  for (int32_t i = 0; i < options.items; ++i) {
    const std::string item = Code("TI", first_item + i, 6);
    const double tax = random.Chance(0.05) ? 6 : 13;
    const bool flagged = random.Chance(flagged_share);
    items.Add(Lit(item) + "," + Lit("Trial item " + Int(first_item + i)) + "," +
              Lit(Code("TA-", first_item + i, 6)) + "," + Lit("Std " + Int(random.Below(90) + 10)) +
              "," + Num(tax) + "," + Lit(kUnits[random.Below(3)][0]) + ",1,0," +
              (random.Chance(0.3) ? "1" : "0"));
    subs.Add(Lit(item) + (flagged ? ",1,1" : ",0,0"));
    const double item_base = std::exp(random.Unit() * std::log(1000.0));  // 1 .. 1000 local

    // A price set: one row per tier (and per free-item variant).
    auto add_set = [&](const std::string& vendor_sql, const Currency* currency, int supply_type,
                       const Date& enable, const std::string& disable_sql, bool promotion,
                       double base, int32_t tiers) {
      const std::string currency_name = currency ? currency->name : local;
      const int variants = flagged ? 2 : 1;
      for (int variant = 0; variant < variants; ++variant) {
        const double variant_base = base * (1 + 0.05 * variant);
        for (int32_t t = 0; t < tiers; ++t) {
          double price = TierPrice(variant_base, t);
          if (currency) price = ToForeign(*currency, price);
          price = std::round(price * 10000) / 10000;
          const std::string upper = t + 1 < tiers ? Num(TierLowerLimit(t + 1)) : "null";
          prices.Add(vendor_sql + "," + Lit(item) + "," + Int(supply_type) + "," +
                     DateText(enable) + "," + disable_sql + "," + (promotion ? "1" : "0") + "," +
                     Lit(currency_name) + ",N'',1,N''," + Num(TierLowerLimit(t)) + "," + upper +
                     "," + Num(price) + "," + Num(tax) + "," +
                     Num(std::round(price * (1 + tax / 100) * 10000) / 10000) + "," +
                     (flagged ? Lit(kFreeValues[variant]) : "null"));
          ++rows;
        }
      }
    };

    // Distinct vendors for this item.
    std::vector<int32_t> chosen;
    const int32_t wanted = std::min(options.vendors_per_item, vendor_count);
    while (static_cast<int32_t>(chosen.size()) < wanted) {
      const int32_t v = static_cast<int32_t>(random.Below(vendor_count));
      if (std::find(chosen.begin(), chosen.end(), v) == chosen.end()) chosen.push_back(v);
    }
    for (size_t k = 0; k < chosen.size(); ++k) {
      const Vendor& vendor = vendors[chosen[k]];
      const double base = item_base * (0.85 + 0.3 * random.Unit());
      const Date enable = base_enable.AddDays(random.Below(600));
      const std::string disable = random.Chance(0.3) ? Lit("2027-12-31") : "null";
      add_set(Lit(vendor.code), vendor.currency, 1, enable, disable, false, base, options.tiers);
      // An older list never closed: superseded by the later enable date.
      if (random.Chance(0.25)) {
        add_set(Lit(vendor.code), vendor.currency, 1,
                enable.AddDays(-200 - static_cast<int64_t>(random.Below(200))), "null", false,
                base * 1.08, options.tiers);
      }
      if (random.Chance(0.08)) {
        add_set(Lit(vendor.code), vendor.currency, 2, enable, disable, false, base * 0.9,
                options.tiers);
      }
      if (random.Chance(0.05)) {
        add_set(Lit(vendor.code), vendor.currency, 1, Date::FromYmd(2026, 10, 1), Lit("2027-03-01"),
                true, base * 0.93, 1);
      }
      // One rule per item, for its first vendor, with the same tiers.
      if (k == 0) {
        const int64_t id = next_rule_id++;
        rules.Add(Int(id) + "," + Lit(vendor.code) + "," + Lit(item) + ",1," + DateText(enable) +
                  "," + disable + ",0," + Lit(vendor.currency ? vendor.currency->name : local) +
                  ",N'',1,N''");
        for (int32_t t = 0; t < options.tiers; ++t) {
          const double price = std::round(TierPrice(base, t) * 10000) / 10000;
          rule_items.Add(Int(id) + "," + Int(t + 1) + "," + Num(TierLowerLimit(t)) + "," +
                         (t + 1 < options.tiers ? Num(TierLowerLimit(t + 1)) : "null") + "," +
                         Num(price) + "," + Num(tax) + "," +
                         Num(std::round(price * (1 + tax / 100) * 10000) / 10000));
        }
      }
    }
    // Now and then a price open to every vendor.
    if (random.Chance(0.1)) {
      add_set("N''", nullptr, 1, base_enable, "null", false, item_base * 1.2, 1);
    }
    if (progress && (i + 1) % 500 == 0) progress(static_cast<double>(i + 1) / options.items);
  }
  for (InsertBatch* batch : {&items, &subs, &prices, &rules, &rule_items}) batch->Flush();
  if (guard) guard->Commit();
  if (progress) progress(1.0);
  return rows;
}

}  // namespace tamsel
