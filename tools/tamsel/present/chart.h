#pragma once

// Pictures of a look-up: the price-break steps of each offer, the offers compared at the
// quantity, and the validity of rules and price rows over time. The figures hold only numbers
// the look-ups gave (the price look-up, the comparison and the candidate lists behind
// --explain); the drawings, in the terminal and as SVG, add no choice of their own.

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "present/explain.h"

namespace tamsel::cli {

// One offer's unit price against quantity: each step holds from its quantity up to the next.
struct StepLine {
  std::string label;
  bool chosen = false;  // the offer that answers at the buyer's quantity
  struct Step {
    double from = 0, price = 0;
    int32_t row = 0;
  };
  std::vector<Step> steps;
  // The price at a quantity; nullopt below the first step.
  std::optional<double> PriceAt(double qty) const;
};

struct StepsFigure {
  std::string currency;  // of every price in the figure
  double qty = 0;
  std::vector<StepLine> lines;
  // The next break of the chosen line: where, and the saving per unit there.
  struct Break {
    double quantity, saving;
  };
  std::optional<Break> NextBreak() const;
  // Breaks a decade or more apart are drawn on a logarithmic quantity axis.
  bool LogScale() const;
};

struct Bar {
  std::string label;
  int32_t row = 0;
  LocalPrice price;
  bool winner = false, marked = false;  // marked: the vendor the report is for
};
struct BarsFigure {
  std::string local_currency;
  double qty = 0;
  std::vector<Bar> bars;  // in the comparison's order, best first
};

// A rule or a group of price rows sharing vendor, currency, validity and promotion.
struct Span {
  std::string lane;  // the vendor, "" for rows open to any vendor
  std::string label;
  bool rule = false;
  std::string group;  // spans compete only within a group: price rows of the same free items
  std::string enable, disable;  // yyyy-MM-dd; disable "" for no end (half-open periods)
  bool wins = false;            // the look-up's answer on the chosen date
  bool overlaps = false;        // shares days with another span of its lane, kind and group
  bool Competes(const Span& other) const {
    return lane == other.lane && rule == other.rule && group == other.group;
  }
};
struct TimelineFigure {
  Date today, date;
  std::vector<Span> spans;  // by lane, then by enable date
  // Days that no span of a group covers, between two that do: [from, to); `first` is the
  // group's first span.
  struct Gap {
    std::string from, to;
    size_t first;
  };
  std::vector<Gap> Gaps() const;
};

struct Figures {
  std::string item, vendor;
  std::optional<StepsFigure> steps;
  std::optional<BarsFigure> bars;
  std::optional<TimelineFigure> timeline;
};

// The report's figures: the offers in local currency as the comparison ranks them at the date,
// the timeline of the item's rules and price rows; with a vendor, that vendor's offers and spans
// only in the steps and the timeline, its bars marked in the comparison.
Figures ReportFigures(Session& session, const std::string& item, const std::string& vendor,
                      double qty, int32_t supply_type, const std::string& xml);
// price --chart: the vendor's price look-up at every band, in the price's own currency, and the
// vendor's price rows over time; `chosen` is the row the look-up returned (0 for none).
Figures PriceFigures(Session& session, const PriceQuery& query,
                     const std::vector<Candidate>& candidates, int32_t chosen);
// compare --chart: the ranking at the quantity and each offer's steps in local currency.
Figures CompareFigures(Session& session, const std::vector<Offer>& offers, const std::string& item,
                       double qty, int32_t supply_type, const std::string& xml);
// rule show --chart: the rule's own tiers, and the item's rules of its vendor over time.
Figures RuleFigures(Session& session, const PriceRule& rule);

// Terminal drawing, `width` columns wide; colour only when asked.
void DrawFigures(std::ostream& out, const Figures& figures, size_t width, bool colour);
// The terminal's width (COLUMNS, else the terminal's own, else 80), and whether colour is wanted:
// standard output is a terminal and NO_COLOR is unset.
size_t TerminalWidth();
bool TerminalColour();

// The tables under the pictures, the same numbers for reading and copying.
Table StepsTable(const StepsFigure& steps);
Table BarsTable(const BarsFigure& bars);
Table TimelineTable(const TimelineFigure& timeline);

// The self-contained page of `tamsel report`: XHTML with inline SVG and CSS, no script.
std::string ReportPage(const Figures& figures, double qty, const std::string& language);

// A vendor code for people: "(any)" for rows open to every vendor.
std::string VendorLabel(const std::string& vendor);

// Text for XML content and attribute values.
std::string XmlEscape(std::string_view text);

}  // namespace tamsel::cli
