// Explaining the look-ups. The lists come from the look-ups' own statements; the words beside
// them only describe the order those statements gave.

#include "present/explain.h"

#include <cmath>
#include <ostream>
#include <set>

#include "common/text.h"
#include "manager/lookup_support.h"
#include "manager/statements.h"
#include "present/i18n.h"
#include "present/prices.h"

namespace tamsel::cli {
namespace {

constexpr const char* kQuantityBand = N_("quantity band");
// The condition columns of the candidate statement and their names for people (in English in
// JSON, translated in the table).
constexpr std::pair<const char*, const char*> kConditions[] = {
    {"okDate", N_("date")},         {"okVendor", N_("vendor")},
    {"okCurrency", N_("currency")}, {"okSupplyType", N_("supply type")},
    {"okFree", N_("free items")},   {"okQuantity", kQuantityBand}};

std::string Text(const Recordset& rs, const std::string& column) {
  return detail::Trim(VarToStr(rs.Fields(column)));
}

// Enough digits for a quantity someone types, without the binary noise of a subtraction.
std::string Rounded(double value) { return FormatNumber(std::round(value * 1e6) / 1e6); }

const Candidate* Chosen(const std::vector<Candidate>& candidates) {
  for (const auto& c : candidates) {
    if (c.failed.empty()) return &c;
  }
  return nullptr;
}

// The first ordering key on which the winner comes before the row, in the look-up's order of
// keys; empty when none explains it.
std::string Advantage(const Candidate& w, const Candidate& r) {
  if (w.no_vendor != r.no_vendor || w.vendor != r.vendor) {
    if (!r.no_vendor && (w.no_vendor || w.vendor < r.vendor)) return "";
    return w.vendor.empty() ? _("an empty vendor code (sorts before none)")
                            : _("the vendor's own price");
  }
  if (w.promotion != r.promotion) return w.promotion ? _("a promotion") : "";
  if (w.lower != r.lower) {
    return w.lower > r.lower
               ? Tf("a higher band ({0} > {1})", FormatNumber(w.lower), FormatNumber(r.lower))
               : "";
  }
  if (w.enable != r.enable) {
    return w.enable > r.enable ? Tf("enabled later ({0} > {1})", w.enable, r.enable) : "";
  }
  return w.id > r.id ? Tf("the newer row ({0} > {1})", w.id, r.id) : "";
}

std::string Why(const Candidate& winner, const Candidate& row) {
  std::string why = Advantage(winner, row);
  return why.empty() ? _("ordered after it by the database") : why;
}

struct Outcome {
  std::string kind, reason;
};

Outcome OutcomeOf(const Candidate& c, const Candidate* winner) {
  if (&c == winner) return {N_("chosen"), ""};
  if (!c.failed.empty()) {
    std::string reason;
    for (const auto& f : c.failed) reason += (reason.empty() ? "" : _(", ")) + _(f);
    return {N_("excluded"), reason};
  }
  return {N_("lost"), Tf("to row {0}: {1}", winner->id, Why(*winner, c))};
}

std::string FreeText(const std::map<int, std::string>& free) {
  std::string text;
  for (const auto& [n, value] : free) {
    text += (text.empty() ? "" : ", ") + std::string("cfree") + std::to_string(n) + "=" + value;
  }
  return text.empty() ? _("none") : text;
}

}  // namespace

std::vector<Candidate> PriceCandidates(Session& session, const PriceQuery& q) {
  std::vector<Candidate> candidates;
  if (detail::Trim(q.item).empty()) return candidates;
  Connection conn;
  conn.Open(session.connection_text());
  const std::string free = detail::FreeItemConditionFor(conn, q.item, q.supply_type, q.xml, false);
  auto rs = conn.OpenRecordset(detail::PriceItemCandidatesSql(q.vendor, q.item, q.date, q.qty,
                                                              q.currency, q.supply_type, free),
                               0, 1, -1);
  for (; !rs->Eof(); rs->MoveNext()) {
    Candidate c;
    c.id = VarToLng(rs->Fields("id"));
    c.vendor = Text(*rs, "cvencode");
    c.no_vendor = rs->Fields("cvencode").IsNull();
    c.currency = Text(*rs, "cExch_Name");
    c.enable = Text(*rs, "dEnableDate");
    c.disable = Text(*rs, "dDisableDate");
    c.supply_type = VarToLng(rs->Fields("iSupplyType"));
    const Variant promotion = rs->Fields("bPromotion");
    c.promotion = !promotion.IsNull() && VarToLng(promotion) == 1;
    c.lower = VarToDbl(rs->Fields("iLowerLimit"));
    c.upper = rs->Fields("iUpperLimit");
    c.unit_price = VarToDbl(rs->Fields("iUnitPrice"));
    for (int n = 1; n <= detail::kFreeItemCount; ++n) {
      std::string value = Text(*rs, "cfree" + std::to_string(n));
      if (!value.empty()) c.free[n] = std::move(value);
    }
    for (const auto& [column, name] : kConditions) {
      if (VarToLng(rs->Fields(column)) != 1) c.failed.emplace_back(name);
    }
    candidates.push_back(std::move(c));
  }
  rs->Close();
  conn.Close();
  return candidates;
}

std::optional<NextTier> FindNextTier(Session& session, const PriceQuery& q,
                                     const std::vector<Candidate>& candidates,
                                     const PriceRuleItem& current) {
  // Bands the quantity alone keeps out; the look-up itself says which row wins at each.
  std::set<double> limits;
  for (const auto& c : candidates) {
    if (c.failed.size() == 1 && c.failed[0] == kQuantityBand) limits.insert(c.lower);
  }
  const auto rule = current.objRule();
  for (double limit : limits) {
    auto tier = session.manager().GetVenInvPriceRuleItem(q.vendor, q.item, q.date, limit,
                                                         q.currency, q.supply_type, q.xml);
    if (!tier || tier->iUnitPrice >= current.iUnitPrice) continue;
    // A price in another currency is no cheaper band of the same offer.
    const auto other = tier->objRule();
    if ((rule ? rule->cExchName : "") == (other ? other->cExchName : "")) {
      return NextTier{limit, tier->iUnitPrice};
    }
  }
  return std::nullopt;
}

std::string DescribeNextTier(const NextTier& next, double qty) {
  return Tf("buy {0} more to reach the next band at {1}", Rounded(next.quantity - qty),
            FormatMoney(next.unit_price));
}

std::string Disagreement(const std::vector<Candidate>& candidates, int32_t chosen_id) {
  const Candidate* first = Chosen(candidates);
  const int32_t explained = first ? first->id : 0;
  if (explained == chosen_id) return "";
  return Tf(
      "the explanation picks row {0} but the look-up returned row {1}; the list below does not "
      "explain the answer",
      explained, chosen_id);
}

void PrintCandidates(std::ostream& out, const std::vector<Candidate>& candidates,
                     int32_t chosen_id) {
  const Candidate* winner = Chosen(candidates);
  out << '\n' << _("Price-list rows of the item, in the look-up's order:") << '\n';
  Table table({N_("Row"), N_("Vendor"), N_("Currency"), N_("Supply"), N_("Valid"), N_("Band"),
               N_("Unit price"), N_("Promotion"), N_("Outcome")});
  for (size_t c : {0, 6}) table.AlignRight(c);
  for (const auto& c : candidates) {
    const Outcome o = OutcomeOf(c, winner);
    table.AddRow({std::to_string(c.id), c.vendor.empty() ? _("(any)") : c.vendor, c.currency,
                  std::to_string(c.supply_type), c.enable + ".." + c.disable,
                  Tf("{0} up to {1}", FormatNumber(c.lower), FormatUpperLimit(c.upper)),
                  FormatMoney(c.unit_price), YesNo(c.promotion),
                  o.reason.empty() ? _(o.kind) : Tf("{0}: {1}", _(o.kind), o.reason)});
  }
  table.Print(out);
  if (!winner || winner->id != chosen_id) {
    if (!winner) out << _("No row meets every condition.") << '\n';
    return;
  }
  for (const auto& c : candidates) {
    if (&c == winner || !c.failed.empty()) continue;
    out << Tf("Row {0} won over row {1}: {2}.", winner->id, c.id, Why(*winner, c)) << '\n';
    break;
  }
  out << Tf("Free items of row {0}: {1}", winner->id, FreeText(winner->free)) << '\n';
}

Json CandidatesToJson(const std::vector<Candidate>& candidates) {
  const Candidate* winner = Chosen(candidates);
  Json rows = Json::array();
  for (const auto& c : candidates) {
    const Outcome o = OutcomeOf(c, winner);
    Json free = Json::object();
    for (const auto& [n, value] : c.free) free["cfree" + std::to_string(n)] = value;
    rows.push_back({{"autoid", c.id},
                    {"cVenCode", c.no_vendor ? Json(nullptr) : Json(c.vendor)},
                    {"cExchName", c.currency},
                    {"iSupplyType", c.supply_type},
                    {"dEnableDate", c.enable},
                    {"dDisableDate", c.disable.empty() ? Json(nullptr) : Json(c.disable)},
                    {"bPromotion", c.promotion},
                    {"iLowerLimit", c.lower},
                    {"iUpperLimit", VariantToJson(c.upper)},
                    {"iUnitPrice", c.unit_price},
                    {"freeItems", free},
                    {"excludedBy", c.failed},
                    {"outcome", o.kind},
                    {"reason", o.kind == "lost" ? Json(o.reason) : Json(nullptr)}});
  }
  return rows;
}

namespace {

std::string RateFrom(RateSource source) {
  switch (source) {
    case RateSource::kLocal:
      return _("local");
    case RateSource::kDaily:
      return _("daily");
    case RateSource::kMonthly:
      return _("monthly");
    case RateSource::kMissing:
      break;
  }
  return _("MISSING, taken as 1");
}

}  // namespace

std::vector<Offer> RankOffers(Session& session, const std::string& item, double qty,
                              int32_t supply_type, const std::string& xml) {
  std::vector<Offer> offers;
  const std::string local = LocalCurrency(session);
  for (const ComparedPrice& price : CompareOffers(session.manager(), item, qty, supply_type, xml)) {
    const auto rule = price.item->objRule();
    Offer o;
    o.id = price.item->id;
    o.vendor = rule ? rule->cVenCode : "";
    o.vendor_name = rule ? rule->cVenAbbName : "";
    o.lower = price.item->iLowerLimit;
    o.upper = price.item->iUpperLimit;
    o.conversion = ToLocalCurrency(price, local);
    offers.push_back(std::move(o));
  }
  return offers;
}

Table OffersTable(const std::vector<Offer>& offers) {
  Table table({N_("Rank"), N_("Vendor"), N_("Row"), N_("Band"), N_("Currency"), N_("Unit price"),
               N_("Rate"), N_("Rate from"), N_("Local price")});
  for (size_t c : {0, 2, 5, 6, 8}) table.AlignRight(c);
  for (size_t i = 0; i < offers.size(); ++i) {
    const Offer& o = offers[i];
    const LocalPrice& cv = o.conversion;
    table.AddRow({std::to_string(i + 1),
                  o.vendor_name.empty() ? o.vendor : o.vendor + " (" + o.vendor_name + ")",
                  std::to_string(o.id),
                  Tf("{0} up to {1}", FormatNumber(o.lower), FormatUpperLimit(o.upper)),
                  cv.currency, FormatMoney(cv.amount),
                  cv.converted() ? (cv.divide ? "/ " : "x ") + FormatNumber(cv.rate) : "1",
                  RateFrom(cv.source), FormatMoney(cv.local_amount)});
  }
  return table;
}

Json OffersToJson(const std::vector<Offer>& offers) {
  Json out = Json::array();
  for (size_t i = 0; i < offers.size(); ++i) {
    const Offer& o = offers[i];
    Json row = {{"rank", i + 1},
                {"autoid", o.id},
                {"cVenCode", o.vendor},
                {"cVenAbbName", o.vendor_name},
                {"iLowerLimit", o.lower},
                {"iUpperLimit", VariantToJson(o.upper)},
                {"iUnitPrice", o.conversion.amount}};
    row.update(o.conversion.ToJson());
    row["rateMissing"] = o.conversion.source == RateSource::kMissing;
    out.push_back(std::move(row));
  }
  return out;
}

std::string MissingRateWarning(const std::vector<Offer>& offers, const Session& session) {
  std::set<std::string> missing;
  for (const auto& o : offers) {
    if (o.conversion.source == RateSource::kMissing) missing.insert(o.conversion.currency);
  }
  if (missing.empty()) return "";
  std::string names;
  for (const auto& m : missing) names += (names.empty() ? "" : ", ") + m;
  // An unconverted price ranks after every converted one, so it leads only when all are.
  const char* effect = offers.front().conversion.source == RateSource::kMissing
                           ? _("the winner's own price is unconverted")
                           : _("those offers rank after every converted one");
  return session.monthly_rates()
             ? Tf("warning: no monthly rate for the period for {0}, taken as 1: {1}", names, effect)
             : Tf("warning: no daily rate for {0} for {1}, taken as 1: {2}",
                  session.today().IsoDate(), names, effect);
}

}  // namespace tamsel::cli
