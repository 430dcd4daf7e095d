// The figures' numbers, gathered from the look-ups behind price --explain and compare --all.

#include "present/chart.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "common/text.h"
#include "present/i18n.h"

namespace tamsel::cli {
namespace {

// Enough digits to check the arithmetic by hand, as the explanations print them.
std::string Plain(double value) { return FormatNumber(std::round(value * 1e6) / 1e6); }

std::string FreeLabel(const std::map<int, std::string>& free) {
  std::string text;
  for (const auto& [n, value] : free) text += " cfree" + std::to_string(n) + "=" + value;
  return text;
}

// A look-up's answer changes with the quantity only where some row's band starts: asking at
// every lower limit of the item's rows finds every step.
std::set<double> BreakQuantities(const std::vector<Candidate>& candidates) {
  std::set<double> breaks = {0};
  for (const auto& c : candidates) breaks.insert(c.lower);
  return breaks;
}

// The day of a date column: spans need yyyy-MM-dd, whatever the driver gives.
std::string Day(const std::string& text) { return text.substr(0, 10); }

// Adds a step where the line's answer changes row; equal rows carry on.
void Extend(StepLine& line, double from, double price, int32_t row) {
  if (!line.steps.empty() && line.steps.back().row == row) return;
  line.steps.push_back({from, price, row});
}

const Candidate* FindRow(const std::vector<Candidate>& candidates, int32_t id) {
  for (const auto& c : candidates) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

std::string OfferKey(const std::string& vendor, const std::string& currency, const Candidate* row) {
  return VendorLabel(vendor) + " " + currency + (row ? FreeLabel(row->free) : "");
}

// The comparison at every band, each offer a line in local currency.
StepsFigure OfferSteps(Session& session, const std::vector<Candidate>& candidates,
                       const std::vector<Offer>& ranking, const std::string& item,
                       const std::string& vendor, double qty, int32_t supply_type,
                       const std::string& xml) {
  StepsFigure steps;
  steps.currency = LocalCurrency(session);
  steps.qty = qty;
  std::map<std::string, size_t> lines;
  for (double from : BreakQuantities(candidates)) {
    for (const ComparedPrice& price :
         CompareOffers(session.manager(), item, from, supply_type, xml)) {
      const auto rule = price.item->objRule();
      const std::string code = rule ? rule->cVenCode : "";
      if (!vendor.empty() && !detail::EqualsNoCase(code, vendor)) continue;
      const std::string key =
          OfferKey(code, rule ? rule->cExchName : "", FindRow(candidates, price.item->id));
      auto [at, added] = lines.emplace(key, steps.lines.size());
      if (added) steps.lines.push_back({key, false, {}});
      Extend(steps.lines[at->second], from, price.local_price, price.item->id);
    }
  }
  for (const Offer& o : ranking) {
    if (!vendor.empty() && !detail::EqualsNoCase(o.vendor, vendor)) continue;
    const auto at =
        lines.find(OfferKey(o.vendor, o.conversion.currency, FindRow(candidates, o.id)));
    if (at != lines.end()) steps.lines[at->second].chosen = true;
    break;
  }
  return steps;
}

BarsFigure OfferBars(Session& session, const std::vector<Offer>& offers, double qty,
                     const std::string& vendor) {
  BarsFigure bars;
  bars.local_currency = LocalCurrency(session);
  bars.qty = qty;
  for (size_t i = 0; i < offers.size(); ++i) {
    const Offer& o = offers[i];
    bars.bars.push_back({o.vendor_name.empty() ? o.vendor : o.vendor + " (" + o.vendor_name + ")",
                         o.id, o.conversion, i == 0,
                         !vendor.empty() && detail::EqualsNoCase(o.vendor, vendor)});
  }
  return bars;
}

// Price rows as spans: one per vendor, currency, supply type, validity, promotion and free
// items, the rows of its bands named in the label.
void AddRowSpans(TimelineFigure& timeline, const std::vector<Candidate>& candidates,
                 const std::string& vendor, int32_t supply_type, int32_t winner) {
  std::map<std::string, size_t> groups;
  for (const auto& c : candidates) {
    if (c.supply_type != supply_type || c.enable.empty() ||
        (!vendor.empty() && !detail::EqualsNoCase(c.vendor, vendor))) {
      continue;
    }
    const std::string key = c.vendor + "|" + c.currency + "|" + c.enable + "|" + c.disable + "|" +
                            (c.promotion ? "p" : "") + FreeLabel(c.free);
    auto [at, added] = groups.emplace(key, timeline.spans.size());
    if (added) {
      Span span;
      span.lane = c.vendor;
      span.group = FreeLabel(c.free);
      span.enable = Day(c.enable);
      span.disable = Day(c.disable);
      span.label = c.currency + (c.promotion ? " " + std::string(_("promotion")) : "") +
                   FreeLabel(c.free) + " · " + _("rows") + " " + std::to_string(c.id);
      timeline.spans.push_back(std::move(span));
    } else {
      timeline.spans[at->second].label += "," + std::to_string(c.id);
    }
    if (c.id == winner) timeline.spans[at->second].wins = true;
  }
}

// The rules of the listing's filter as spans; `winner` is the rule look-up's answer.
void AddRuleSpans(TimelineFigure& timeline, Session& session, const std::string& filter,
                  int32_t winner) {
  auto rs = session.manager().ListVenInvPriceRules(filter);
  for (; !rs->Eof(); rs->MoveNext()) {
    Span span;
    span.rule = true;
    const int32_t id = VarToLng(rs->Fields("id"));
    span.lane = detail::Trim(VarToStr(rs->Fields("cVenCode")));
    span.enable = Day(detail::Trim(VarToStr(rs->Fields("dEnableDate"))));
    span.disable = Day(detail::Trim(VarToStr(rs->Fields("dDisableDate"))));
    if (span.enable.empty()) continue;
    const bool promotion = VarToLng(rs->Fields("bPromotion")) == 1;
    span.label = Tf("rule {0}", id) + " · " + detail::Trim(VarToStr(rs->Fields("cExch_Name"))) +
                 (promotion ? " " + std::string(_("promotion")) : "");
    span.wins = id == winner;
    timeline.spans.push_back(std::move(span));
  }
  rs->Close();
}

std::string SqlText(const std::string& text) { return ToSqlText(Variant(text)); }

std::string RuleFilter(const std::string& item, const std::string& vendor, int32_t supply_type) {
  std::string filter =
      "cInvCode=" + SqlText(item) + " and iSupplyType=" + std::to_string(supply_type);
  if (!vendor.empty()) filter += " and cVenCode=" + SqlText(vendor);
  return filter;
}

bool Overlap(const Span& a, const Span& b) {
  const auto before = [](const std::string& end, const std::string& start) {
    return !end.empty() && end <= start;
  };
  return !before(a.disable, b.enable) && !before(b.disable, a.enable);
}

// Lanes in order, spans by enable date within; overlaps marked.
void Finish(TimelineFigure& timeline) {
  std::stable_sort(timeline.spans.begin(), timeline.spans.end(), [](const Span& a, const Span& b) {
    return std::tie(a.lane, a.rule, a.group, a.enable) <
           std::tie(b.lane, b.rule, b.group, b.enable);
  });
  for (size_t i = 0; i < timeline.spans.size(); ++i) {
    for (size_t j = i + 1; j < timeline.spans.size(); ++j) {
      Span& a = timeline.spans[i];
      Span& b = timeline.spans[j];
      if (!a.Competes(b)) break;
      if (Overlap(a, b)) a.overlaps = b.overlaps = true;
    }
  }
}

}  // namespace

std::string VendorLabel(const std::string& vendor) { return vendor.empty() ? _("(any)") : vendor; }

std::optional<double> StepLine::PriceAt(double qty) const {
  std::optional<double> price;
  for (const Step& s : steps) {
    if (s.from > qty) break;
    price = s.price;
  }
  return price;
}

std::optional<StepsFigure::Break> StepsFigure::NextBreak() const {
  for (const StepLine& line : lines) {
    if (!line.chosen || qty <= 0) continue;
    const std::optional<double> now = line.PriceAt(qty);
    for (const auto& s : line.steps) {
      if (now && s.from > qty && s.price < *now) return Break{s.from, *now - s.price};
    }
  }
  return std::nullopt;
}

bool StepsFigure::LogScale() const {
  double low = 0, high = 0;
  for (const StepLine& line : lines) {
    for (const auto& s : line.steps) {
      if (s.from > 0 && (low == 0 || s.from < low)) low = s.from;
      high = std::max(high, s.from);
    }
  }
  high = std::max(high, qty);
  return low > 0 && high / low >= 10;
}

std::vector<TimelineFigure::Gap> TimelineFigure::Gaps() const {
  std::vector<Gap> gaps;
  for (size_t i = 0; i < spans.size();) {
    size_t j = i;
    std::string covered = spans[i].disable;  // "" once open-ended
    for (++j; j < spans.size() && spans[i].Competes(spans[j]); ++j) {
      if (covered.empty()) continue;
      if (spans[j].enable > covered) gaps.push_back({covered, spans[j].enable, i});
      if (spans[j].disable.empty() || spans[j].disable > covered) covered = spans[j].disable;
    }
    i = j;
  }
  return gaps;
}

Figures ReportFigures(Session& session, const std::string& item, const std::string& vendor,
                      double qty, int32_t supply_type, const std::string& xml) {
  Figures f{item, vendor, {}, {}, {}};
  const Date date = session.today();
  const std::vector<Candidate> candidates =
      PriceCandidates(session, {vendor, item, "", xml, date, qty, supply_type});
  const std::vector<Offer> offers = RankOffers(session, item, qty, supply_type, xml);
  f.steps = OfferSteps(session, candidates, offers, item, vendor, qty, supply_type, xml);
  f.bars = OfferBars(session, offers, qty, vendor);
  TimelineFigure timeline{session.login_date(), date, {}};
  int32_t row_winner = offers.empty() ? 0 : offers.front().id, rule_winner = 0;
  if (!vendor.empty()) {
    const auto tier =
        session.manager().GetVenInvPriceRuleItem(vendor, item, date, qty, "", supply_type, xml);
    row_winner = tier ? tier->id : 0;
    const auto rule = session.manager().GetVenInvPriceRule(vendor, item, date, "", supply_type);
    rule_winner = rule ? rule->id : 0;
  }
  AddRowSpans(timeline, candidates, vendor, supply_type, row_winner);
  AddRuleSpans(timeline, session, RuleFilter(item, vendor, supply_type), rule_winner);
  Finish(timeline);
  f.timeline = std::move(timeline);
  return f;
}

Figures PriceFigures(Session& session, const PriceQuery& q,
                     const std::vector<Candidate>& candidates, int32_t chosen) {
  Figures f{q.item, q.vendor, {}, {}, {}};
  StepsFigure steps;
  steps.qty = q.qty;
  std::map<std::string, size_t> lines;
  for (double from : BreakQuantities(candidates)) {
    const auto tier = session.manager().GetVenInvPriceRuleItem(q.vendor, q.item, q.date, from,
                                                               q.currency, q.supply_type, q.xml);
    if (!tier) continue;
    const auto rule = tier->objRule();
    const std::string key =
        VendorLabel(rule ? rule->cVenCode : "") + " " + (rule ? rule->cExchName : "");
    auto [at, added] = lines.emplace(key, steps.lines.size());
    if (added) steps.lines.push_back({key, false, {}});
    Extend(steps.lines[at->second], from, tier->iUnitPrice, tier->id);
  }
  for (StepLine& line : steps.lines) {
    for (const auto& s : line.steps) line.chosen = line.chosen || s.row == chosen;
  }
  f.steps = std::move(steps);
  TimelineFigure timeline{session.login_date(), q.date, {}};
  std::vector<Candidate> own;
  for (const auto& c : candidates) {
    if (detail::EqualsNoCase(c.vendor, q.vendor) || c.vendor.empty()) own.push_back(c);
  }
  AddRowSpans(timeline, own, "", q.supply_type, chosen);
  Finish(timeline);
  f.timeline = std::move(timeline);
  return f;
}

Figures CompareFigures(Session& session, const std::vector<Offer>& offers, const std::string& item,
                       double qty, int32_t supply_type, const std::string& xml) {
  Figures f{item, "", {}, {}, {}};
  const std::vector<Candidate> candidates =
      PriceCandidates(session, {"", item, "", xml, session.today(), qty, supply_type});
  f.steps = OfferSteps(session, candidates, offers, item, "", qty, supply_type, xml);
  f.bars = OfferBars(session, offers, qty, "");
  return f;
}

Figures RuleFigures(Session& session, const PriceRule& rule) {
  Figures f{rule.cInvCode, rule.cVenCode, {}, {}, {}};
  StepsFigure steps;
  steps.currency = rule.cExchName;
  StepLine line{Tf("rule {0}", rule.id), true, {}};
  for (int32_t i = 1; i <= rule.ruleItems->Count(); ++i) {
    const auto tier = rule.ruleItems->Item(std::to_string(i));
    line.steps.push_back({tier->iLowerLimit, tier->iUnitPrice, i});
  }
  steps.lines.push_back(std::move(line));
  f.steps = std::move(steps);
  TimelineFigure timeline{session.login_date(), session.login_date(), {}};
  const auto winner = session.manager().GetVenInvPriceRule(rule.cVenCode, rule.cInvCode,
                                                           timeline.date, "", rule.iSupplyType);
  AddRuleSpans(timeline, session, RuleFilter(rule.cInvCode, rule.cVenCode, rule.iSupplyType),
               winner ? winner->id : 0);
  Finish(timeline);
  f.timeline = std::move(timeline);
  return f;
}

Table StepsTable(const StepsFigure& steps) {
  Table table({N_("Offer"), N_("From quantity"), N_("Unit price"), N_("Row")});
  for (size_t c : {1, 2, 3}) table.AlignRight(c);
  for (const StepLine& line : steps.lines) {
    for (const auto& s : line.steps) {
      table.AddRow({line.label + (line.chosen ? " *" : ""), FormatNumber(s.from), Plain(s.price),
                    std::to_string(s.row)});
    }
  }
  return table;
}

Table BarsTable(const BarsFigure& bars) {
  Table table({N_("Rank"), N_("Vendor"), N_("Row"), N_("Unit price"), N_("Currency"), N_("Rate"),
               N_("Rate from"), N_("Local price")});
  for (size_t c : {0, 2, 3, 5, 7}) table.AlignRight(c);
  for (size_t i = 0; i < bars.bars.size(); ++i) {
    const Bar& b = bars.bars[i];
    const LocalPrice& p = b.price;
    table.AddRow(
        {std::to_string(i + 1), b.label, std::to_string(b.row), FormatNumber(p.amount), p.currency,
         p.converted() ? (p.divide ? "/ " : "x ") + FormatNumber(p.rate) : "1",
         p.source == RateSource::kMissing ? _("MISSING, taken as 1") : _(RateSourceName(p.source)),
         Plain(p.local_amount)});
  }
  return table;
}

Table TimelineTable(const TimelineFigure& timeline) {
  Table table({N_("Vendor"), N_("Kind"), N_("What"), N_("From"), N_("Until"), N_("Note")});
  for (const Span& s : timeline.spans) {
    std::string note;
    if (s.wins) note = Tf("wins on {0}", timeline.date.IsoDate());
    if (s.overlaps) note += (note.empty() ? "" : _(", ")) + std::string(_("overlaps"));
    table.AddRow({VendorLabel(s.lane), s.rule ? _("rule") : _("price rows"), s.label, s.enable,
                  s.disable.empty() ? _("(no end)") : s.disable, note});
  }
  for (const auto& g : timeline.Gaps()) {
    const Span& s = timeline.spans[g.first];
    table.AddRow({VendorLabel(s.lane), s.rule ? _("rule") : _("price rows"), _("gap"), g.from, g.to,
                  _("nothing valid")});
  }
  return table;
}

std::string XmlEscape(std::string_view value) {
  std::string out;
  for (char c : value) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      // Attribute-value normalisation would turn these into blanks.
      case '\n':
        out += "&#10;";
        break;
      case '\r':
        out += "&#13;";
        break;
      case '\t':
        out += "&#9;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace tamsel::cli
