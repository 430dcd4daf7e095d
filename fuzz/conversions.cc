// The value conversions and date texts on any text, and numbers back from their own text.

#include <cmath>
#include <cstring>

#include "harness.h"

TAMSEL_FUZZ_TARGET(text) {
  using tamsel::Variant;
  const Variant value{std::string(text)};
  tamsel::VarToStr(value);
  tamsel::VarToDbl(value);
  tamsel::VarToLng(value);
  tamsel::VarToBool(value);
  // A NUL inside a text has no literal, by design.
  Refusing<std::invalid_argument>([&] { tamsel::ToSqlText(value); });
  const Variant date = tamsel::TextToDate(std::string(text));
  if (date.type() == tamsel::VarType::Date) {
    // A date's own text reads back as the same date.
    if (!(tamsel::TextToDate(tamsel::VarToStr(date)) == date)) std::abort();
    tamsel::VarToDbl(date);
  }
  if (text.size() >= sizeof(double)) {
    double number = 0;
    std::memcpy(&number, text.data(), sizeof number);
    // Not finite, or within 15 digits of the largest double (the rounded text would lie outside
    // the double range): VarToStr refuses both by design.
    if (!std::isfinite(number) || std::fabs(number) > 1.7976931348623e308) return;
    const std::string written = tamsel::VarToStr(Variant(number));
    // Fifteen significant digits: the text reads back within rounding.
    const double back = tamsel::VarToDbl(Variant(written));
    if (std::isnormal(number) && std::fabs(back - number) > std::fabs(number) * 1e-14) std::abort();
  }
}
