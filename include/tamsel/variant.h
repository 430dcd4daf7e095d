#pragma once

#include "tamsel/export.h"

// Nullable, dynamically typed values and the conversions with fixed defaults that every other
// part of the component uses to read them.

#include <compare>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

namespace tamsel {

enum class VarType {
  Empty,
  Null,
  Integer,
  Long,
  Single,
  Double,
  Currency,
  Date,
  String,
  Object,
  Error,
  Boolean,
  Decimal,
  Byte
};

// A calendar date with a time of day (whole seconds), proleptic Gregorian, years 1 to 9999.
class TAMSEL_API Date {
 public:
  // 1899-12-30 00:00:00, the zero of the suite's date values.
  Date();
  // Throws std::invalid_argument when the date or time does not exist (2024-02-30, 25:00:00).
  static Date FromYmd(int year, int month, int day);
  static Date FromYmdHms(int year, int month, int day, int hour, int minute, int second);
  // Today's date on this machine's local calendar, at midnight.
  static Date Today();

  int year() const;
  int month() const;
  int day() const;
  int hour() const;
  int minute() const;
  int second() const;

  // Whole days since 1970-01-01 (negative before it).
  int64_t days() const { return days_; }
  int32_t seconds_of_day() const { return seconds_; }
  // This date plus n days, same time of day.
  Date AddDays(int64_t n) const;

  // "yyyy-MM-dd", or "yyyy-MM-dd HH:mm:ss" when the time of day is not midnight.
  std::string ToString() const;
  // "yyyy-MM-dd" (the date part only).
  std::string IsoDate() const;
  // "yyyy.mm.dd" (the form of daily exchange-rate dates).
  std::string DottedDate() const;

  friend bool operator==(const Date&, const Date&) = default;
  friend std::strong_ordering operator<=>(const Date&, const Date&) = default;

 private:
  Date(int64_t days, int32_t seconds) : days_(days), seconds_(seconds) {}
  int64_t days_;
  int32_t seconds_;
};

// A value of one of the kinds of VarType. Empty (never assigned), Null (the database's NULL),
// "" and 0 are four different values; nothing here turns one into another.
class TAMSEL_API Variant {
 public:
  Variant() = default;  // Empty
  static Variant Null();
  Variant(int16_t v);  // Integer
  Variant(int32_t v);  // Long
  Variant(float v);    // Single
  Variant(double v);   // Double
  Variant(bool v);     // Boolean
  Variant(uint8_t v);  // Byte
  Variant(const Date& v);
  Variant(std::string v);  // String
  Variant(const char* v);  // String, never Boolean
  Variant(std::string_view v);
  // Currency is a fixed-point amount with four decimals; the value is rounded to that.
  static Variant Currency(double amount);
  static Variant Decimal(double value);
  static Variant Error(int32_t code);
  static Variant Object(std::shared_ptr<void> object);

  VarType type() const { return type_; }
  bool IsEmpty() const { return type_ == VarType::Empty; }
  bool IsNull() const { return type_ == VarType::Null; }
  // True for Integer, Long, Single, Double, Currency, Decimal and Byte.
  bool IsNumeric() const;

  // Typed accessors: each throws std::bad_variant_access when the value is of another kind.
  // AsDouble also reads Single, Currency and Decimal values.
  int16_t AsInteger() const;
  int32_t AsLong() const;
  float AsSingle() const;
  double AsDouble() const;
  bool AsBool() const;
  uint8_t AsByte() const;
  const Date& AsDate() const;
  const std::string& AsString() const;
  int32_t AsError() const;
  std::shared_ptr<void> AsObject() const;

  // Same kind and same value.
  friend TAMSEL_API bool operator==(const Variant& a, const Variant& b);

 private:
  using Storage = std::variant<std::monostate, bool, int16_t, int32_t, float, double, int64_t,
                               uint8_t, Date, std::string, std::shared_ptr<void>>;
  Variant(VarType type, Storage value) : type_(type), value_(std::move(value)) {}
  VarType type_ = VarType::Empty;
  Storage value_;
};

// Text form: Null and Empty give ""; numbers in plain decimal with at most 15 significant
// digits and a point; Boolean as True/False; a Date as Date::ToString; text unchanged.
// Object and Error values cannot be written as text: std::invalid_argument reaches the caller.
TAMSEL_API std::string VarToStr(const Variant& v);
// Double; Null, Empty and anything that does not convert give 0. Boolean True is -1. Never throws.
// A text converts when, without surrounding blanks, it is a decimal number with optional sign,
// point and exponent (" 12.5 ", "-3", "1E+20"); grouping, hexadecimal, "inf" and "nan" do not.
// A Date gives its day count from 1899-12-30, the time of day as a fraction.
TAMSEL_API double VarToDbl(const Variant& v);
// As VarToDbl, rounded half to even to a 32-bit integer; out of range gives 0. Never throws.
TAMSEL_API int32_t VarToLng(const Variant& v);
// Non-zero numbers and the texts True/False in any case (and numeric texts) convert; anything
// else gives False. Never throws.
TAMSEL_API bool VarToBool(const Variant& v);
// Replaces every capital "T" by a blank, then reads the text as a date or date-time; Null when it
// does not read. Accepted forms: yyyy-MM-dd, yyyy-M-d, yyyy/MM/dd and yyyy/M/d, each optionally
// followed by blanks and a time HH:mm or HH:mm:ss; surrounding blanks are ignored. Never throws.
TAMSEL_API Variant TextToDate(std::string_view text);
// An SQL literal: null for Null and Empty; N'text' for Date and String (quotes inside doubled);
// 1 or 0 for Boolean; VarToStr of the value, unquoted, for every other kind.
TAMSEL_API std::string ToSqlText(const Variant& v);

}  // namespace tamsel
