#pragma once

// The axes the terminal and the SVG drawings share: each maps its values onto 0..1.

#include <algorithm>
#include <cmath>
#include <set>

#include "present/chart.h"

namespace tamsel::cli {

// Quantity, from 0 to beyond the last break and the buyer's quantity; logarithmic when the
// bands span decades, with 0 drawn at the left edge.
class QuantityScale {
 public:
  explicit QuantityScale(const StepsFigure& f) : log_(f.LogScale()) {
    for (const StepLine& line : f.lines) {
      for (const auto& s : line.steps) ticks_.insert(s.from);
    }
    double high = std::max(f.qty, ticks_.empty() ? 0.0 : *ticks_.rbegin());
    low_ = 1;
    for (double t : ticks_) {
      if (t > 0) {
        low_ = t / 2;
        break;
      }
    }
    high_ = log_ ? high * 3 : std::max(high * 1.25, 1.0);
  }
  double operator()(double qty) const {
    if (!log_) return std::clamp(qty / high_, 0.0, 1.0);
    if (qty <= low_) return 0;
    return std::clamp(std::log(qty / low_) / std::log(high_ / low_), 0.0, 1.0);
  }
  double Invert(double at) const {
    if (!log_) return at * high_;
    return at <= 0 ? 0 : low_ * std::exp(at * std::log(high_ / low_));
  }
  const std::set<double>& Ticks() const { return ticks_; }

 private:
  bool log_;
  std::set<double> ticks_;
  double low_ = 1, high_ = 1;
};

// Unit price, with a margin above and below so that no step lies on the frame.
class PriceScale {
 public:
  explicit PriceScale(const StepsFigure& f) {
    bool any = false;
    for (const StepLine& line : f.lines) {
      for (const auto& s : line.steps) {
        low_ = any ? std::min(low_, s.price) : s.price;
        high_ = any ? std::max(high_, s.price) : s.price;
        any = true;
      }
    }
    const double margin =
        high_ > low_ ? (high_ - low_) * 0.1 : std::max(std::fabs(high_) * 0.2, 0.01);
    low_ = std::max(0.0, low_ - margin);
    high_ += margin;
  }
  double operator()(double price) const { return (price - low_) / (high_ - low_); }
  double low() const { return low_; }
  double high() const { return high_; }

 private:
  double low_ = 0, high_ = 0;
};

// Days, from the earliest date the timeline names to the latest, a little room on each side.
class DateScale {
 public:
  explicit DateScale(const TimelineFigure& f) {
    first_ = last_ = f.date.days();
    const auto take = [&](int64_t d) {
      first_ = std::min(first_, d);
      last_ = std::max(last_, d);
    };
    take(f.today.days());
    for (const Span& s : f.spans) {
      take(ParseIsoDate(s.enable).days());
      if (!s.disable.empty()) take(ParseIsoDate(s.disable).days());
    }
    const int64_t room = std::max<int64_t>((last_ - first_) / 12, 15);
    first_ -= room;
    last_ += room;
  }
  double operator()(const Date& d) const {
    return std::clamp(static_cast<double>(d.days() - first_) / static_cast<double>(last_ - first_),
                      0.0, 1.0);
  }
  Date first() const { return Date::FromYmd(1970, 1, 1).AddDays(first_); }
  Date last() const { return Date::FromYmd(1970, 1, 1).AddDays(last_); }

 private:
  int64_t first_ = 0, last_ = 0;
};

}  // namespace tamsel::cli
