// The figures in a terminal: box-drawing steps, block bars and a timeline, fitted to the width.

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ostream>

#include "present/chart.h"
#include "present/chart_scale.h"
#include "present/i18n.h"

namespace tamsel::cli {
namespace {

constexpr size_t kPlotRows = 10;
constexpr int kPalette[] = {36, 35, 34, 31, 94, 95};
constexpr int kGood = 32, kWarn = 33;

struct Cell {
  const char* glyph = " ";
  int colour = 0;
};

class Painter {
 public:
  explicit Painter(bool colour) : colour_(colour) {}
  std::string operator()(std::string_view text, int colour) const {
    if (!colour_ || colour == 0 || text.empty()) return std::string(text);
    return "\x1b[" + std::to_string(colour) + "m" + std::string(text) + "\x1b[0m";
  }
  std::string Row(const std::vector<Cell>& cells) const {
    std::string line;
    for (const Cell& c : cells) line += (*this)(c.glyph, c.colour);
    return line;
  }

 private:
  bool colour_;
};

// The text cut to `width` columns (wide characters count two), then padded to it.
std::string Fit(std::string_view text, size_t width) {
  std::string out;
  size_t used = 0;
  for (size_t i = 0; i < text.size();) {
    size_t len = 1;
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0xF0) {
      len = 4;
    } else if (c >= 0xE0) {
      len = 3;
    } else if (c >= 0xC0) {
      len = 2;
    }
    const std::string_view glyph = text.substr(i, len);
    const size_t w = DisplayWidth(glyph);
    if (used + w > width) break;
    out += glyph;
    used += w;
    i += len;
  }
  return out + std::string(width - used, ' ');
}

size_t LabelWidth(const std::vector<std::string>& labels, size_t width) {
  size_t w = 0;
  for (const auto& l : labels) w = std::max(w, DisplayWidth(l));
  return std::min(w, std::max<size_t>(width / 3, 8));
}

// Items side by side, two blanks apart, wrapped at the width; each item is its plain text and
// the text to print (the same, coloured).
void Flow(std::ostream& out, const std::vector<std::pair<std::string, std::string>>& items,
          size_t width, size_t indent) {
  size_t used = 0;
  for (const auto& [plain, shown] : items) {
    const size_t w = DisplayWidth(plain);
    if (used > 0 && used + 2 + w > width) {
      out << '\n';
      used = 0;
    }
    if (used == 0) {
      out << std::string(indent, ' ');
      used = indent;
    } else {
      out << "  ";
      used += 2;
    }
    out << shown;
    used += w;
  }
  if (used > 0) out << '\n';
}

// A title, broken between words to fit, each line indented.
void Title(std::ostream& out, const std::string& title, size_t width, size_t indent = 0) {
  out << std::string(indent, ' ');
  size_t used = indent;
  for (size_t from = 0, blank; from < title.size(); from = blank + 1) {
    blank = std::min(title.find(' ', from), title.size());
    const std::string word = title.substr(from, blank - from);
    const size_t w = DisplayWidth(word);
    if (used > indent && used + 1 + w > width) {
      out << '\n' << std::string(indent, ' ');
      used = indent;
    }
    out << (used > indent ? " " : "") << word;
    used += w + (used > indent ? 1 : 0);
  }
  out << '\n';
}

void DrawSteps(std::ostream& out, const StepsFigure& f, size_t width, const Painter& paint) {
  Title(out,
        Tf("Price breaks: unit price in {0} against quantity",
           f.currency.empty() ? _("the offer's currency") : f.currency) +
            (f.LogScale() ? " (" + std::string(_("log scale")) + ")" : ""),
        width);
  const QuantityScale xs(f);
  const PriceScale ys(f);
  const size_t left = 10, cols = width > left + 12 ? width - left - 2 : 10;
  std::vector<std::vector<Cell>> grid(kPlotRows, std::vector<Cell>(cols));
  const auto row_of = [&](double price) {
    return static_cast<size_t>(std::lround((1 - ys(price)) * (kPlotRows - 1)));
  };
  const auto qty_at = [&](size_t c) { return xs.Invert((c + 0.5) / cols); };
  const size_t qcol = std::min(cols - 1, static_cast<size_t>(xs(f.qty) * cols));
  for (size_t r = 0; r < kPlotRows && f.qty > 0; ++r) grid[r][qcol] = {"┊", 0};
  for (size_t k = 0; k < f.lines.size(); ++k) {
    const StepLine& line = f.lines[k];
    const bool heavy = line.chosen;
    const int colour = heavy ? kGood : kPalette[k % std::size(kPalette)];
    // The chosen line stays on top of the others.
    const auto put = [&](size_t r, size_t c, const char* light, const char* bold) {
      if (heavy || grid[r][c].colour != kGood) grid[r][c] = {heavy ? bold : light, colour};
    };
    std::optional<size_t> previous;
    for (size_t c = 0; c < cols; ++c) {
      const std::optional<double> price = line.PriceAt(qty_at(c));
      if (!price) continue;
      const size_t r = row_of(*price);
      if (previous && *previous != r) {
        const bool down = r > *previous;
        put(*previous, c, down ? "┐" : "┘", down ? "┓" : "┛");
        for (size_t m = std::min(r, *previous) + 1; m < std::max(r, *previous); ++m) {
          put(m, c, "│", "┃");
        }
        put(r, c, down ? "└" : "┌", down ? "┗" : "┏");
      } else {
        put(r, c, "─", "━");
      }
      previous = r;
    }
  }
  for (size_t r = 0; r < kPlotRows; ++r) {
    std::string axis(left, ' ');
    if (r == 0) axis = Fit(FormatMoney(ys.high()), left - 1) + " ";
    if (r == kPlotRows - 1) axis = Fit(FormatMoney(ys.low()), left - 1) + " ";
    out << axis << "│" << paint.Row(grid[r]) << '\n';
  }
  out << std::string(left, ' ') << "└" << std::string();
  for (size_t c = 0; c < cols; ++c) out << (c == qcol && f.qty > 0 ? "┴" : "─");
  out << '\n';
  // Quantity labels at the breaks, as many as fit.
  std::string ticks(cols + left + 1, ' ');
  size_t free_from = 0;
  for (double q : xs.Ticks()) {
    const std::string text = FormatNumber(q);
    const size_t at = left + 1 + std::min(cols - 1, static_cast<size_t>(xs(q) * cols));
    if (at < free_from || at + text.size() > ticks.size()) continue;
    ticks.replace(at, text.size(), text);
    free_from = at + text.size() + 1;
  }
  out << ticks.substr(0, ticks.find_last_not_of(' ') + 1) << '\n';
  // The legend: the chosen line first, on a line of its own, the others side by side.
  std::vector<std::pair<std::string, std::string>> others;
  for (size_t k = 0; k < f.lines.size(); ++k) {
    const StepLine& line = f.lines[k];
    const int colour = line.chosen ? kGood : kPalette[k % std::size(kPalette)];
    const char* mark = line.chosen ? "━━" : "──";
    std::pair<std::string, std::string> item = {std::string(mark) + " " + line.label,
                                                paint(mark, colour) + " " + line.label};
    if (!line.chosen) {
      others.push_back(std::move(item));
      continue;
    }
    std::vector<std::pair<std::string, std::string>> items = {std::move(item)};
    if (const auto price = f.qty > 0 ? line.PriceAt(f.qty) : std::nullopt) {
      const std::string at = Tf("at {0}: {1}", FormatNumber(f.qty), FormatMoney(*price));
      items.emplace_back(at, at);
    }
    Flow(out, items, width, 2);
  }
  Flow(out, others, width, 2);
  if (const auto next = f.NextBreak()) {
    Title(out,
          Tf("Next break at {0}: {1} less per unit", FormatNumber(next->quantity),
             FormatMoney(next->saving)),
          width, 2);
  }
}

void DrawBars(std::ostream& out, const BarsFigure& f, size_t width, const Painter& paint) {
  Title(out,
        Tf("Offers at quantity {0} in {1}, cheapest first", FormatNumber(f.qty), f.local_currency),
        width);
  if (f.bars.empty()) {
    out << "  " << _("No offer.") << '\n';
    return;
  }
  std::vector<std::string> labels;
  double high = 0;
  size_t values = 0;
  for (const Bar& b : f.bars) {
    labels.push_back(b.label);
    high = std::max(high, b.price.local_amount);
    values = std::max(values, FormatMoney(b.price.local_amount).size());
  }
  const size_t lw = LabelWidth(labels, width);
  // Indent, label, blank, bar, blank, value: what is left of the width is the bar's.
  const size_t room = width > lw + values + 12 ? width - lw - values - 4 : 8;
  static const char* const kEighths[] = {"", "▏", "▎", "▍", "▌", "▋", "▊", "▉"};
  for (const Bar& b : f.bars) {
    const bool missing = b.price.source == RateSource::kMissing;
    const double eighths = high > 0 ? b.price.local_amount / high * room * 8 : 0;
    const auto whole = static_cast<size_t>(eighths / 8);
    std::string bar;
    for (size_t i = 0; i < whole; ++i) bar += missing ? "░" : "█";
    if (!missing) bar += kEighths[static_cast<size_t>(eighths) % 8];
    const size_t shown = whole + (!missing && static_cast<size_t>(eighths) % 8 ? 1 : 0);
    out << "  " << Fit(b.label, lw) << " "
        << paint(bar, b.winner  ? kGood
                      : missing ? kWarn
                                : 0)
        << std::string(room + 1 - std::min(room, shown), ' ') << FormatMoney(b.price.local_amount)
        << '\n';
    // Notes on a line of their own, under the bar, so that the bars keep the width.
    std::vector<std::pair<std::string, std::string>> notes;
    const auto note = [&](const std::string& text, int colour) {
      notes.emplace_back(text, paint(text, colour));
    };
    if (b.winner) note("★ " + std::string(_("cheapest")), kGood);
    if (b.marked) note("◀ " + Tf("vendor {0}", b.label), 0);
    if (missing) note(_("rate missing, taken as 1"), kWarn);
    if (!notes.empty()) Flow(out, notes, width, lw + 3);
  }
}

void DrawTimeline(std::ostream& out, const TimelineFigure& f, size_t width, const Painter& paint) {
  Title(out, _("Validity over time"), width);
  if (f.spans.empty()) {
    out << "  " << _("No rule or price row.") << '\n';
    return;
  }
  const DateScale xs(f);
  std::vector<std::string> labels;
  for (const Span& s : f.spans) labels.push_back(VendorLabel(s.lane) + " " + s.label);
  const size_t lw = LabelWidth(labels, width);
  // Indent, label, blank, track, then "  ◆" for the winner.
  const size_t cols = width > lw + 16 ? width - lw - 6 : 10;
  const auto col = [&](const Date& d) {
    return std::min(cols - 1, static_cast<size_t>(xs(d) * cols));
  };
  const size_t today = col(f.today), date = col(f.date);
  bool wins = false, overlaps = false;
  for (size_t i = 0; i < f.spans.size(); ++i) {
    const Span& s = f.spans[i];
    wins = wins || s.wins;
    overlaps = overlaps || s.overlaps;
    std::vector<Cell> track(cols);
    track[today] = {"│", 0};
    track[date] = {"┃", kWarn};
    const size_t from = col(ParseIsoDate(s.enable));
    const size_t to = s.disable.empty() ? cols : col(ParseIsoDate(s.disable));
    const int colour = s.wins ? kGood : 0;
    for (size_t c = from; c < std::max(to, from + 1) && c < cols; ++c) {
      track[c] = {s.wins ? "█" : s.overlaps ? "▓" : "▒", colour};
    }
    if (s.disable.empty()) track[cols - 1] = {"▶", colour};
    out << "  " << Fit(labels[i], lw) << " " << paint.Row(track)
        << (s.wins ? "  " + paint("◆", kGood) : "") << '\n';
  }
  std::string axis(cols, ' ');
  const std::string first = xs.first().IsoDate(), last = xs.last().IsoDate();
  axis.replace(0, first.size(), first);
  if (cols > 2 * last.size() + 2) axis.replace(cols - last.size(), last.size(), last);
  out << "  " << std::string(lw + 1, ' ') << axis << '\n';
  std::vector<std::pair<std::string, std::string>> legend;
  if (wins) {
    const std::string text = Tf("wins on {0}", f.date.IsoDate());
    legend.emplace_back("█ " + text, paint("█", kGood) + " " + text);
  }
  if (overlaps)
    legend.emplace_back("▓ " + std::string(_("overlaps")), "▓ " + std::string(_("overlaps")));
  const std::string today_text = "│ " + Tf("today {0}", f.today.IsoDate());
  legend.emplace_back(today_text, today_text);
  legend.emplace_back("┃ " + f.date.IsoDate(), paint("┃", kWarn) + " " + f.date.IsoDate());
  Flow(out, legend, width, 2);
  for (const auto& g : f.Gaps()) {
    Title(out, Tf("gap for {0}: {1} until {2}", VendorLabel(f.spans[g.first].lane), g.from, g.to),
          width, 2);
  }
}

}  // namespace

void DrawFigures(std::ostream& out, const Figures& figures, size_t width, bool colour) {
  const Painter paint(colour);
  width = std::max<size_t>(width, 40);
  bool first = true;
  const auto gap = [&] {
    if (!first) out << '\n';
    first = false;
  };
  if (figures.steps) gap(), DrawSteps(out, *figures.steps, width, paint);
  if (figures.bars) gap(), DrawBars(out, *figures.bars, width, paint);
  if (figures.timeline) gap(), DrawTimeline(out, *figures.timeline, width, paint);
}

size_t TerminalWidth() {
  if (const char* columns = std::getenv("COLUMNS")) {
    const long n = std::strtol(columns, nullptr, 10);
    if (n > 0) return static_cast<size_t>(n);
  }
  winsize size{};
  if (isatty(STDOUT_FILENO) && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
    return size.ws_col;
  }
  return 80;
}

bool TerminalColour() {
  const char* no_colour = std::getenv("NO_COLOR");
  return isatty(STDOUT_FILENO) == 1 && (no_colour == nullptr || *no_colour == '\0');
}

}  // namespace tamsel::cli
