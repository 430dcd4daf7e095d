#include "tamsel/variant.h"

#include <cmath>
#include <stdexcept>
#include <utility>

namespace tamsel {

namespace {

// Currency is held as an integer count of ten-thousandths.
constexpr double kCurrencyScale = 10000.0;

}  // namespace

// The factories fill a default value in place: passing a whole Storage by value makes GCC 12
// report a false "maybe uninitialized" under the sanitizers.
Variant Variant::Null() {
  Variant v;
  v.type_ = VarType::Null;
  return v;
}

Variant::Variant(int16_t v) : type_(VarType::Integer), value_(v) {}
Variant::Variant(int32_t v) : type_(VarType::Long), value_(v) {}
Variant::Variant(float v) : type_(VarType::Single), value_(v) {}
Variant::Variant(double v) : type_(VarType::Double), value_(v) {}
Variant::Variant(bool v) : type_(VarType::Boolean), value_(v) {}
Variant::Variant(uint8_t v) : type_(VarType::Byte), value_(v) {}
Variant::Variant(const Date& v) : type_(VarType::Date), value_(v) {}
Variant::Variant(std::string v) : type_(VarType::String), value_(std::move(v)) {}
// A null pointer is no text at all; it becomes "" rather than undefined behaviour.
Variant::Variant(const char* v) : type_(VarType::String), value_(std::string(v ? v : "")) {}
Variant::Variant(std::string_view v) : type_(VarType::String), value_(std::string(v)) {}

Variant Variant::Currency(double amount) {
  const double scaled = std::nearbyint(amount * kCurrencyScale);
  // Beyond int64 the fixed-point value cannot be held; converting would be undefined.
  if (!std::isfinite(scaled) || scaled >= 9.2233720368547758e18 ||
      scaled < -9.2233720368547758e18) {
    throw std::out_of_range("the amount is outside the range of a currency value");
  }
  Variant v;
  v.type_ = VarType::Currency;
  v.value_.emplace<int64_t>(static_cast<int64_t>(scaled));
  return v;
}

Variant Variant::Decimal(double value) {
  Variant v;
  v.type_ = VarType::Decimal;
  v.value_.emplace<double>(value);
  return v;
}

Variant Variant::Error(int32_t code) {
  Variant v;
  v.type_ = VarType::Error;
  v.value_.emplace<int32_t>(code);
  return v;
}

Variant Variant::Object(std::shared_ptr<void> object) {
  Variant v;
  v.type_ = VarType::Object;
  v.value_.emplace<std::shared_ptr<void>>(std::move(object));
  return v;
}

bool Variant::IsNumeric() const {
  switch (type_) {
    case VarType::Integer:
    case VarType::Long:
    case VarType::Single:
    case VarType::Double:
    case VarType::Currency:
    case VarType::Decimal:
    case VarType::Byte:
      return true;
    default:
      return false;
  }
}

namespace {

// The storage alone does not tell Long from Error or Double from Decimal, so every accessor
// checks the kind first.
void Expect(bool ok) {
  if (!ok) throw std::bad_variant_access();
}

}  // namespace

int16_t Variant::AsInteger() const {
  Expect(type_ == VarType::Integer);
  return std::get<int16_t>(value_);
}

int32_t Variant::AsLong() const {
  Expect(type_ == VarType::Long);
  return std::get<int32_t>(value_);
}

float Variant::AsSingle() const {
  Expect(type_ == VarType::Single);
  return std::get<float>(value_);
}

double Variant::AsDouble() const {
  switch (type_) {
    case VarType::Double:
    case VarType::Decimal:
      return std::get<double>(value_);
    case VarType::Single:
      return std::get<float>(value_);
    case VarType::Currency:
      return static_cast<double>(std::get<int64_t>(value_)) / kCurrencyScale;
    default:
      throw std::bad_variant_access();
  }
}

bool Variant::AsBool() const {
  Expect(type_ == VarType::Boolean);
  return std::get<bool>(value_);
}

uint8_t Variant::AsByte() const {
  Expect(type_ == VarType::Byte);
  return std::get<uint8_t>(value_);
}

const Date& Variant::AsDate() const {
  Expect(type_ == VarType::Date);
  return std::get<Date>(value_);
}

const std::string& Variant::AsString() const {
  Expect(type_ == VarType::String);
  return std::get<std::string>(value_);
}

int32_t Variant::AsError() const {
  Expect(type_ == VarType::Error);
  return std::get<int32_t>(value_);
}

std::shared_ptr<void> Variant::AsObject() const {
  Expect(type_ == VarType::Object);
  return std::get<std::shared_ptr<void>>(value_);
}

bool operator==(const Variant& a, const Variant& b) {
  return a.type_ == b.type_ && a.value_ == b.value_;
}

}  // namespace tamsel
