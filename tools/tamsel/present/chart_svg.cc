// The report page: the three figures as inline SVG, each followed by the table it draws. XHTML,
// so that any XML reader can check it; no script and nothing fetched.

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "present/chart.h"
#include "present/chart_scale.h"
#include "present/i18n.h"

namespace tamsel::cli {
namespace {

constexpr double kWidth = 960, kFont = 13;
constexpr int kLineClasses = 6;

// What a label takes on the page, bold or not: a wide (CJK) character at most one and a quarter
// em, others at most two thirds.
double TextWidth(std::string_view text, double size = kFont) {
  return static_cast<double>(DisplayWidth(text)) * size * 0.64;
}

std::string Num(double v) { return fmt::format("{:.1f}", v); }

class Svg {
 public:
  Svg(const std::string& id, double height, const std::string& title, const std::string& desc) {
    out_ = fmt::format(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" role=\"img\" id=\"{0}\" "
        "aria-labelledby=\"{0}-title {0}-desc\" viewBox=\"0 0 {1} {2}\" width=\"{1}\" "
        "height=\"{2}\"><title id=\"{0}-title\">{3}</title><desc id=\"{0}-desc\">{4}</desc>",
        id, kWidth, Num(height), XmlEscape(title), XmlEscape(desc));
  }
  void Add(const std::string& element) { out_ += element; }
  void Text(double x, double y, std::string_view text, const char* cls = "label",
            const char* anchor = "start") {
    out_ += fmt::format("<text x=\"{}\" y=\"{}\" class=\"{}\" text-anchor=\"{}\">{}</text>", Num(x),
                        Num(y), cls, anchor, XmlEscape(text));
  }
  void Line(double x1, double y1, double x2, double y2, const char* cls) {
    out_ += fmt::format("<line x1=\"{}\" y1=\"{}\" x2=\"{}\" y2=\"{}\" class=\"{}\"/>", Num(x1),
                        Num(y1), Num(x2), Num(y2), cls);
  }
  void Rect(double x, double y, double w, double h, const std::string& cls,
            const std::string& title = "") {
    out_ += fmt::format("<rect x=\"{}\" y=\"{}\" width=\"{}\" height=\"{}\" class=\"{}\">", Num(x),
                        Num(y), Num(std::max(w, 1.0)), Num(h), cls);
    if (!title.empty()) out_ += "<title>" + XmlEscape(title) + "</title>";
    out_ += "</rect>";
  }
  std::string Done() { return out_ + "</svg>"; }

 private:
  std::string out_;
};

std::string HtmlTable(const Table& table) {
  const Json rows = table.ToJson();
  std::string html = "<table>";
  if (rows.empty()) return html + "</table>";
  html += "<thead><tr>";
  for (const auto& [header, value] : rows.front().items()) {
    html += "<th scope=\"col\">" + XmlEscape(_(header)) + "</th>";
  }
  html += "</tr></thead><tbody>";
  for (const auto& row : rows) {
    html += "<tr>";
    for (const auto& [header, value] : row.items()) {
      const std::string text = value.get<std::string>();
      const bool number =
          !text.empty() && text.find_first_not_of("0123456789.,-/x ") == std::string::npos;
      html += std::string(number ? "<td class=\"n\">" : "<td>") + XmlEscape(text) + "</td>";
    }
    html += "</tr>";
  }
  return html + "</tbody></table>";
}

std::string StepsSvg(const StepsFigure& f) {
  const double left = 80, top = 30, plot_w = kWidth - left - 30, plot_h = 260;
  const double legend_top = top + plot_h + 50;
  // The legend: the chosen line on a row of its own, the others in columns.
  double cell_w = 100;
  for (const StepLine& line : f.lines) cell_w = std::max(cell_w, TextWidth(line.label) + 48);
  const auto per_row =
      static_cast<size_t>(std::max(1.0, std::floor(plot_w / std::min(cell_w, plot_w))));
  std::vector<std::pair<double, double>> legend_at;
  size_t rows = 0, placed = 0;
  for (const StepLine& line : f.lines) {
    if (line.chosen) {
      legend_at.emplace_back(left, legend_top + 20.0 * static_cast<double>(rows++));
    } else {
      legend_at.emplace_back(-1, 0);
    }
  }
  for (size_t k = 0; k < f.lines.size(); ++k) {
    if (legend_at[k].first >= 0) continue;
    legend_at[k] = {left + cell_w * static_cast<double>(placed % per_row),
                    legend_top + 20.0 * static_cast<double>(rows + placed / per_row)};
    ++placed;
  }
  rows += (placed + per_row - 1) / per_row;
  const double height = legend_top + 20.0 * static_cast<double>(rows) + 10;
  const QuantityScale xs(f);
  const PriceScale ys(f);
  const auto X = [&](double q) { return left + xs(q) * plot_w; };
  const auto Y = [&](double p) { return top + (1 - ys(p)) * plot_h; };
  const auto next = f.NextBreak();
  std::string desc =
      Tfn("{0} offer", "{0} offers", static_cast<int64_t>(f.lines.size()), f.lines.size());
  for (const StepLine& line : f.lines) {
    if (!line.chosen) continue;
    if (auto price = line.PriceAt(f.qty)) {
      desc += "; " + line.label + " " + Tf("at {0}: {1}", FormatNumber(f.qty), FormatMoney(*price));
    }
  }
  if (next)
    desc += "; " + Tf("Next break at {0}: {1} less per unit", FormatNumber(next->quantity),
                      FormatMoney(next->saving));
  Svg svg("steps", height,
          Tf("Price breaks: unit price in {0} against quantity",
             f.currency.empty() ? _("the offer's currency") : f.currency),
          desc);
  svg.Rect(left, top, plot_w, plot_h, "frame");
  // The band that applies to the buyer's quantity, across the plot.
  for (const StepLine& line : f.lines) {
    if (!line.chosen) continue;
    for (size_t i = 0; i < line.steps.size(); ++i) {
      const double from = line.steps[i].from;
      const double to = i + 1 < line.steps.size() ? X(line.steps[i + 1].from) : left + plot_w;
      if (from <= f.qty && (i + 1 == line.steps.size() || line.steps[i + 1].from > f.qty)) {
        svg.Rect(X(from), top, to - X(from), plot_h, "band",
                 Tf("the band that applies from {0}", FormatNumber(from)));
      }
    }
  }
  // Enough decimals that neighbouring ticks differ.
  const double span = ys.high() - ys.low();
  const int decimals = std::clamp(static_cast<int>(std::ceil(-std::log10(span / 4))) + 1, 2, 8);
  for (int t = 0; t <= 4; ++t) {
    const double p = ys.low() + (ys.high() - ys.low()) * t / 4;
    svg.Line(left - 4, Y(p), left + plot_w, Y(p), "grid");
    svg.Text(left - 8, Y(p) + 4, fmt::format("{:.{}f}", p, decimals), "tick", "end");
  }
  double free_from = 0;
  for (double q : xs.Ticks()) {
    const double x = X(q);
    if (x < free_from) continue;
    svg.Line(x, top + plot_h, x, top + plot_h + 5, "axis");
    svg.Text(x, top + plot_h + 18, FormatNumber(q), "tick", "middle");
    free_from = x + TextWidth(FormatNumber(q)) + 8;
  }
  svg.Text(left + plot_w, top + plot_h + 36,
           _("quantity") + (f.LogScale() ? " (" + std::string(_("log scale")) + ")" : ""), "tick",
           "end");
  for (size_t k = 0; k < f.lines.size(); ++k) {
    const StepLine& line = f.lines[k];
    std::string d;
    for (size_t i = 0; i < line.steps.size(); ++i) {
      const double y = Y(line.steps[i].price);
      d += (i == 0 ? "M" : "V") + Num(i == 0 ? X(line.steps[i].from) : y) +
           (i == 0 ? " " + Num(y) : "");
      d += " H" + Num(i + 1 < line.steps.size() ? X(line.steps[i + 1].from) : left + plot_w) + " ";
    }
    const std::string cls =
        fmt::format("step s{}{}", k % kLineClasses, line.chosen ? " chosen" : "");
    svg.Add("<path class=\"" + cls + "\" d=\"" + d + "\"><title>" + XmlEscape(line.label) +
            "</title></path>");
    const auto [lx, y] = legend_at[k];
    svg.Line(lx, y - 4, lx + 28, y - 4, cls.c_str());
    std::string legend = line.label;
    if (line.chosen && f.qty > 0) {
      if (auto price = line.PriceAt(f.qty)) {
        legend += "  " + Tf("at {0}: {1}", FormatNumber(f.qty), FormatMoney(*price));
      }
    }
    svg.Text(lx + 36, y, legend, line.chosen ? "label strong" : "label");
  }
  if (f.qty > 0) {
    svg.Line(X(f.qty), top - 6, X(f.qty), top + plot_h, "qty");
    svg.Text(X(f.qty), top - 10, Tf("your quantity {0}", FormatNumber(f.qty)), "mark", "middle");
  }
  if (next) {
    svg.Text(X(next->quantity) + 4, top + 16,
             Tf("Next break at {0}: {1} less per unit", FormatNumber(next->quantity),
                FormatMoney(next->saving)),
             "saving", X(next->quantity) > left + plot_w * 0.6 ? "end" : "start");
  }
  return svg.Done();
}

std::string BarsSvg(const BarsFigure& f) {
  double label_w = 60, high = 0;
  for (const Bar& b : f.bars) {
    label_w = std::max(label_w, TextWidth(b.label) + 12);
    high = std::max(high, b.price.local_amount);
  }
  label_w = std::min(label_w, kWidth / 3);
  const double top = 20, row = 26, bar_x = label_w + 10, bar_w = kWidth - bar_x - 330;
  const double height = top + row * static_cast<double>(std::max<size_t>(f.bars.size(), 1)) + 20;
  std::string desc = f.bars.empty()
                         ? _("No offer.")
                         : Tf("cheapest: {0}, {1} {2}", f.bars.front().label,
                              FormatMoney(f.bars.front().price.local_amount), f.local_currency);
  Svg svg(
      "bars", height,
      Tf("Offers at quantity {0} in {1}, cheapest first", FormatNumber(f.qty), f.local_currency),
      desc);
  if (f.bars.empty()) svg.Text(10, top + 16, _("No offer."));
  for (size_t i = 0; i < f.bars.size(); ++i) {
    const Bar& b = f.bars[i];
    const LocalPrice& p = b.price;
    const bool missing = p.source == RateSource::kMissing;
    const double y = top + row * static_cast<double>(i);
    const double w = high > 0 ? p.local_amount / high * bar_w : 0;
    svg.Text(label_w, y + 16, b.label, b.marked ? "label strong" : "label", "end");
    std::string cls = "bar";
    if (b.winner) cls += " winner";
    if (missing) cls += " missing";
    svg.Rect(bar_x, y + 4, w, row - 8, cls, p.Describe());
    std::string note = FormatMoney(p.local_amount) + " " + f.local_currency;
    if (p.converted()) {
      note += " · " + p.currency + (p.divide ? " / " : " x ") + FormatNumber(p.rate) + " (" +
              _(RateSourceName(p.source)) + ")";
    }
    if (missing) note += " · " + std::string(_("rate missing, taken as 1"));
    if (b.winner) note = "★ " + std::string(_("cheapest")) + " · " + note;
    svg.Text(bar_x + w + 6, y + 16, note,
             missing    ? "label warn"
             : b.winner ? "label strong"
                        : "label");
  }
  return svg.Done();
}

std::string TimelineSvg(const TimelineFigure& f) {
  double label_w = 80;
  for (const Span& s : f.spans) label_w = std::max(label_w, TextWidth(s.label) + 70);
  label_w = std::min(label_w, kWidth / 2.5);
  const double top = 40, row = 22, x0 = label_w + 10, track = kWidth - x0 - 20;
  const double height = top + row * static_cast<double>(std::max<size_t>(f.spans.size(), 1)) + 40;
  const DateScale xs(f);
  const auto X = [&](const std::string& day) { return x0 + xs(ParseIsoDate(day)) * track; };
  std::string desc =
      Tfn("{0} span", "{0} spans", static_cast<int64_t>(f.spans.size()), f.spans.size());
  for (const Span& s : f.spans) {
    if (s.wins) desc += "; " + Tf("wins on {0}", f.date.IsoDate()) + ": " + s.label;
  }
  const auto gaps = f.Gaps();
  if (!gaps.empty())
    desc += "; " + Tfn("{0} gap", "{0} gaps", static_cast<int64_t>(gaps.size()), gaps.size());
  Svg svg("timeline", height, _("Validity over time"), desc);
  // Year ticks.
  for (int y = xs.first().year() + 1; y <= xs.last().year(); ++y) {
    const double x = x0 + xs(Date::FromYmd(y, 1, 1)) * track;
    svg.Line(x, top - 8, x, height - 30, "grid");
    svg.Text(x, top - 12, std::to_string(y), "tick", "middle");
  }
  std::string lane = "\x01";
  for (size_t i = 0; i < f.spans.size(); ++i) {
    const Span& s = f.spans[i];
    const double y = top + row * static_cast<double>(i);
    if (s.lane != lane) {
      lane = s.lane;
      svg.Line(10, y, kWidth - 20, y, "lane");
      svg.Text(12, y + 15, VendorLabel(lane), "label strong");
    }
    svg.Text(label_w, y + 15, s.label, "label", "end");
    const double from = X(s.enable);
    const double to = s.disable.empty() ? x0 + track : X(s.disable);
    std::string cls = std::string("span") + (s.rule ? " rule" : " rows") + (s.wins ? " wins" : "") +
                      (s.disable.empty() ? " open" : "");
    svg.Rect(from, y + 4, to - from, row - 8, cls,
             s.label + ": " + s.enable + " – " + (s.disable.empty() ? _("(no end)") : s.disable));
    // The days this span shares with another of its lane and kind, hatched.
    for (const Span& o : f.spans) {
      if (&o == &s || !o.Competes(s)) continue;
      const std::string start = std::max(s.enable, o.enable);
      std::string end = s.disable.empty()   ? o.disable
                        : o.disable.empty() ? s.disable
                                            : std::min(s.disable, o.disable);
      if (!end.empty() && end <= start) continue;
      const double a = X(start), b = end.empty() ? x0 + track : X(end);
      svg.Rect(a, y + 4, b - a, row - 8, "overlap", _("overlaps"));
    }
    if (s.wins) svg.Text(std::min(to, x0 + track) - 4, y + 15, "◆", "mark", "end");
  }
  for (const auto& g : gaps) {
    const double y = top + row * static_cast<double>(g.first);
    svg.Rect(X(g.from), y + 2, X(g.to) - X(g.from), row - 4, "gap",
             Tf("gap for {0}: {1} until {2}", VendorLabel(f.spans[g.first].lane), g.from, g.to));
  }
  const double bottom = height - 30;
  const double today = x0 + xs(f.today) * track, date = x0 + xs(f.date) * track;
  svg.Line(today, top - 4, today, bottom, "today");
  svg.Line(date, top - 4, date, bottom, "qty");
  // Each label on the side of its line that has room.
  const auto side = [&](double x) { return x > x0 + track / 2 ? "end" : "start"; };
  svg.Text(today, bottom + 14, Tf("today {0}", f.today.IsoDate()), "tick", side(today));
  svg.Text(date, bottom + 28, Tf("wins on {0}", f.date.IsoDate()), "mark", side(date));
  return svg.Done();
}

constexpr const char* kStyle = R"(
:root { color-scheme: light dark; --fg: #1d232a; --bg: #ffffff; --muted: #5b6670; --grid: #d9dee3;
  --band: #fff4c2; --good: #1b7f3b; --warn: #b35900; --rule: #3f6fb5; --rows: #8a97a6;
  --s0: #0b7285; --s1: #9c36b5; --s2: #1864ab; --s3: #e67700; --s4: #c92a2a; --s5: #5c940d; }
@media (prefers-color-scheme: dark) {
  :root { --fg: #e6e9ec; --bg: #15191d; --muted: #9aa5b1; --grid: #343b42; --band: #3d3610;
    --good: #51cf66; --warn: #ffa94d; --rule: #74a5f0; --rows: #6c7a89;
    --s0: #3bc9db; --s1: #da77f2; --s2: #74c0fc; --s3: #ffc078; --s4: #ff8787; --s5: #a9e34b; } }
body { font-family: FONTS; color: var(--fg); background: var(--bg); margin: 1.5em; }
h1 { font-size: 1.4em; } figure { margin: 0 0 2.5em 0; } figcaption { font-weight: bold; margin: .5em 0; }
svg { display: block; max-width: 100%; height: auto; font-family: FONTS; }
.label { font-size: 13px; fill: var(--fg); } .strong { font-weight: bold; } .warn { fill: var(--warn); }
.tick { font-size: 11px; fill: var(--muted); } .mark { font-size: 12px; fill: var(--warn); font-weight: bold; }
.saving { font-size: 12px; fill: var(--good); font-weight: bold; }
.frame { fill: none; stroke: var(--grid); } .grid, .lane { stroke: var(--grid); } .axis { stroke: var(--muted); }
.band { fill: var(--band); } .qty { stroke: var(--warn); stroke-width: 2; stroke-dasharray: 5 3; }
.today { stroke: var(--muted); stroke-width: 1.5; }
.step { fill: none; stroke-width: 2; } .chosen { stroke-width: 4; }
.s0 { stroke: var(--s0); } .s1 { stroke: var(--s1); } .s2 { stroke: var(--s2); }
.s3 { stroke: var(--s3); } .s4 { stroke: var(--s4); } .s5 { stroke: var(--s5); }
.bar { fill: var(--rows); } .bar.winner { fill: var(--good); }
.bar.missing { fill: url(#hatch); stroke: var(--warn); }
.span.rows { fill: var(--rows); } .span.rule { fill: var(--rule); } .span.wins { fill: var(--good); }
.span.open { opacity: .8; } .overlap { fill: url(#hatch); } .hatch { stroke: var(--warn); stroke-width: 2; }
.gap { fill: none; stroke: var(--warn); stroke-dasharray: 3 3; }
table { border-collapse: collapse; margin-top: .5em; font-size: 13px; }
th, td { border: 1px solid var(--grid); padding: 2px 8px; text-align: left; } td.n { text-align: right; }
@media print { :root { --fg: #000; --bg: #fff; --grid: #bbb; --band: #eee; }
  body { margin: 0; } figure { break-inside: avoid; } }
)";

// Fonts a Debian machine has (fonts-noto-cjk), the page's language first, then generic ones.
std::string Fonts(const std::string& language) {
  const std::string han = language == "zh-TW"   ? "\"Noto Sans CJK TC\", \"Noto Sans CJK SC\""
                          : language == "zh-CN" ? "\"Noto Sans CJK SC\", \"Noto Sans CJK TC\""
                                                : "\"Noto Sans CJK SC\"";
  return "\"Noto Sans\", \"DejaVu Sans\", " + han + ", \"Noto Sans CJK JP\", sans-serif";
}

std::string Figure(const std::string& caption, const std::string& svg, const Table& table) {
  return "<figure><figcaption>" + XmlEscape(caption) + "</figcaption>" + svg + HtmlTable(table) +
         "</figure>\n";
}

}  // namespace

std::string ReportPage(const Figures& figures, double qty, const std::string& language) {
  std::string style = kStyle;
  for (size_t at; (at = style.find("FONTS")) != std::string::npos;) {
    style.replace(at, 5, Fonts(language));
  }
  const std::string heading =
      Tf("Item {0}, quantity {1}", figures.item, FormatNumber(qty)) +
      (figures.vendor.empty() ? "" : ", " + Tf("vendor {0}", figures.vendor)) +
      (figures.timeline ? ", " + figures.timeline->date.IsoDate() : "");
  std::string page =
      "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"" + language +
      "\" xml:lang=\"" + language + "\"><head><meta charset=\"utf-8\"/>" +
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"/><title>" +
      XmlEscape(heading) + "</title><style>" + style + "</style></head><body>" +
      // One hatch pattern for every figure: missing rates and overlaps.
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"0\" height=\"0\" aria-hidden=\"true\">"
      "<defs><pattern id=\"hatch\" patternUnits=\"userSpaceOnUse\" width=\"6\" height=\"6\" "
      "patternTransform=\"rotate(45)\"><line x1=\"0\" y1=\"0\" x2=\"0\" y2=\"6\" "
      "class=\"hatch\"/></pattern></defs></svg>" +
      "<main><h1>" + XmlEscape(heading) + "</h1>\n";
  if (figures.steps) {
    page += Figure(_("Price breaks"), StepsSvg(*figures.steps), StepsTable(*figures.steps));
  }
  if (figures.bars) {
    page += Figure(_("Vendor comparison"), BarsSvg(*figures.bars), BarsTable(*figures.bars));
  }
  if (figures.timeline) {
    page += Figure(_("Validity over time"), TimelineSvg(*figures.timeline),
                   TimelineTable(*figures.timeline));
  }
  return page + "</main></body></html>\n";
}

}  // namespace tamsel::cli
