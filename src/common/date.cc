#include <date/date.h>
#include <fmt/format.h>

#include <ctime>
#include <stdexcept>

#include "tamsel/variant.h"

namespace tamsel {

namespace {

using date::days;
using date::sys_days;
using date::year_month_day;

constexpr int32_t kSecondsPerDay = 86400;
// 0001-01-01 and 9999-12-31 as days since 1970-01-01.
constexpr int64_t kFirstDay = -719162;
constexpr int64_t kLastDay = 2932896;
// 1899-12-30, the zero of the suite's date values.
constexpr int64_t kZeroDay = -25569;

year_month_day Ymd(int64_t day_count) { return year_month_day{sys_days{days{day_count}}}; }

}  // namespace

Date::Date() : days_(kZeroDay), seconds_(0) {}

Date Date::FromYmd(int year, int month, int day) { return FromYmdHms(year, month, day, 0, 0, 0); }

Date Date::FromYmdHms(int year, int month, int day, int hour, int minute, int second) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31) {
    throw std::invalid_argument(fmt::format("no such date: {}-{}-{}", year, month, day));
  }
  const year_month_day ymd{date::year{year}, date::month{static_cast<unsigned>(month)},
                           date::day{static_cast<unsigned>(day)}};
  if (!ymd.ok())
    throw std::invalid_argument(fmt::format("no such date: {}-{}-{}", year, month, day));
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
    throw std::invalid_argument(fmt::format("no such time: {}:{}:{}", hour, minute, second));
  }
  return Date(sys_days{ymd}.time_since_epoch().count(), hour * 3600 + minute * 60 + second);
}

Date Date::Today() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  return FromYmd(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

int Date::year() const { return static_cast<int>(Ymd(days_).year()); }
int Date::month() const { return static_cast<int>(static_cast<unsigned>(Ymd(days_).month())); }
int Date::day() const { return static_cast<int>(static_cast<unsigned>(Ymd(days_).day())); }
int Date::hour() const { return seconds_ / 3600; }
int Date::minute() const { return seconds_ / 60 % 60; }
int Date::second() const { return seconds_ % 60; }

Date Date::AddDays(int64_t n) const {
  if (n > kLastDay - days_ || n < kFirstDay - days_) {
    throw std::out_of_range("the date lies outside the years 1 to 9999");
  }
  return Date(days_ + n, seconds_);
}

std::string Date::ToString() const {
  if (seconds_ == 0) return IsoDate();
  return fmt::format("{} {:02}:{:02}:{:02}", IsoDate(), hour(), minute(), second());
}

std::string Date::IsoDate() const {
  return fmt::format("{:04}-{:02}-{:02}", year(), month(), day());
}

std::string Date::DottedDate() const {
  return fmt::format("{:04}.{:02}.{:02}", year(), month(), day());
}

}  // namespace tamsel
