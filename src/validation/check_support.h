#pragma once

// Helpers shared by the validator's checks and the manager's persistence: message keys, the
// errstr convention and the date texts that the stored rules use.

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tamsel/error.h"
#include "tamsel/messages.h"
#include "tamsel/variant.h"

namespace tamsel::detail {

// "Zorvik.pu.Quorlin." followed by the five digits.
inline std::string MsgKey(std::string_view digits) {
  return "Zorvik.pu.Quorlin." + std::string(digits);
}

inline std::string Msg(std::string_view digits) { return GetResString(MsgKey(digits)); }

// The key's text with the values inserted through this thread's parameter list.
template <typename... Values>
std::string FormatMsg(std::string_view digits, Values... values) {
  std::vector<Variant>& params = MsgParams();
  params.resize(sizeof...(values));
  size_t i = 0;
  ((params[i++] = Variant(values)), ...);
  return FormatResString(MsgKey(digits), params);
}

// The key of the last line a check of this thread appended, so that a check raised as an error
// keeps its key.
inline std::string& LastCheckKey() {
  thread_local std::string key;
  return key;
}

// The key's text, with the values inserted when there are any.
template <typename... Values>
std::string MsgText(std::string_view digits, Values... values) {
  if constexpr (sizeof...(values) == 0) {
    return Msg(digits);
  } else {
    return FormatMsg(digits, values...);
  }
}

// A failed check adds the key's line to what the caller has collected so far.
template <typename... Values>
void AppendCheckError(std::string& errstr, std::string_view digits, Values... values) {
  errstr += MsgText(digits, values...);
  errstr += '\r';
  LastCheckKey() = MsgKey(digits);
}

// Raises the key's message as the component error, the key beside it.
template <typename... Values>
[[noreturn]] void RaiseMsg(const char* source, std::string_view digits, Values... values) {
  throw ComponentError(source, MsgText(digits, values...), MsgKey(digits));
}

// The text read as a date and written yyyy-MM-dd; a text that does not read as a date stays as
// it is, so the caller's statement still shows what it was given.
inline std::string IsoDateText(std::string_view text) {
  const Variant date = TextToDate(text);
  return date.type() == VarType::Date ? date.AsDate().IsoDate() : std::string(text);
}

// A tier's number the database can store and give back: an infinite or NaN price would be
// written as text no database reads, and one near the double limit turns infinite in its
// 15-digit text.
inline constexpr double kLargestStoredNumber = 1e300;
inline bool IsStorableNumber(double value) {
  return std::isfinite(value) && std::fabs(value) <= kLargestStoredNumber;
}

// The object behind a reference the caller had to supply; a missing one is the caller's
// error, reported instead of dereferenced.
template <typename T>
T& Required(const std::shared_ptr<T>& object, std::string_view what) {
  if (!object) RaiseError(std::string(what) + " is missing");
  return *object;
}

}  // namespace tamsel::detail
