#pragma once

// UTF-8 <-> UTF-16 for the ODBC wide-character calls. Text never passes through a code page, so
// no look-alike character can turn into a quote on the way to the database.

#include <string>
#include <string_view>

namespace tamsel::detail {

// Throws DatabaseError naming the byte offset when the text is not well-formed UTF-8
// (overlong forms, encoded surrogates and values beyond U+10FFFF included).
std::u16string Utf8ToUtf16(std::string_view text);
// An unpaired surrogate becomes U+FFFD; everything else converts exactly.
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace tamsel::detail
