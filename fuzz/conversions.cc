// The value conversions and date texts on any text, and numbers back from their own text.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "tamsel/variant.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using tamsel::Variant;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const Variant value(text);
  tamsel::VarToStr(value);
  tamsel::VarToDbl(value);
  tamsel::VarToLng(value);
  tamsel::VarToBool(value);
  try {
    tamsel::ToSqlText(value);
  } catch (const std::invalid_argument&) {  // a NUL inside a text has no literal, by design
  }
  const Variant date = tamsel::TextToDate(text);
  if (date.type() == tamsel::VarType::Date) {
    // A date's own text reads back as the same date.
    if (!(tamsel::TextToDate(tamsel::VarToStr(date)) == date)) std::abort();
    tamsel::VarToDbl(date);
  }
  if (size >= sizeof(double)) {
    double number = 0;
    std::memcpy(&number, data, sizeof number);
    // Not finite, or within 15 digits of the largest double (the rounded text would lie outside
    // the double range): VarToStr refuses both by design.
    if (!std::isfinite(number) || std::fabs(number) > 1.7976931348623e308) return 0;
    const std::string written = tamsel::VarToStr(Variant(number));
    // Fifteen significant digits: the text reads back within rounding.
    const double back = tamsel::VarToDbl(Variant(written));
    if (std::isnormal(number) && std::fabs(back - number) > std::fabs(number) * 1e-14) std::abort();
  }
  return 0;
}
