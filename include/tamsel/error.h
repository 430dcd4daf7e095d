#pragma once

#include "tamsel/export.h"

// The component's one error, and the database's.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace tamsel {

// Every failure of a component operation reaches the caller as this error. what() is the
// description: a localized message, or the text of the underlying failure.
class TAMSEL_API ComponentError : public std::runtime_error {
 public:
  static constexpr int32_t kNumber = -2147220503;  // 0x800403E9

  ComponentError(std::string source, std::string description, std::string key = {});

  int32_t number() const { return kNumber; }
  // "Assert" or "Error".
  const std::string& source() const { return source_; }
  const std::string& description() const { return description_; }
  // The message key of a failure that is one of the component's own messages
  // ("Zorvik.pu.Quorlin.00059"), whatever the message language; empty for any other failure.
  const std::string& key() const { return key_; }

 private:
  std::string source_;
  std::string description_;
  std::string key_;
};

// A failure of the database or of its driver, with the database's own text.
class TAMSEL_API DatabaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Raises ComponentError with source "Assert" and the message when the condition is false.
TAMSEL_API void Assert(bool condition, const std::string& message);
// Always raises ComponentError with source "Error" and the message.
[[noreturn]] TAMSEL_API void RaiseError(const std::string& message);

}  // namespace tamsel
