#pragma once

// UTF-8 <-> UTF-16, for the ODBC wide-character calls and the published face's strings. Text
// never passes through a code page, so no look-alike character can turn into a quote on the way.

#include <string>
#include <string_view>

#include "common/internal_api.h"

namespace tamsel::detail {

// Throws DatabaseError naming the byte offset when the text is not well-formed UTF-8
// (overlong forms, encoded surrogates and values beyond U+10FFFF included).
TAMSEL_INTERNAL std::u16string Utf8ToUtf16(std::string_view text);
// The same, with every byte that starts no well-formed character as U+FFFD instead.
TAMSEL_INTERNAL std::u16string Utf8ToUtf16Replacing(std::string_view text);
// An unpaired surrogate becomes U+FFFD; everything else converts exactly.
TAMSEL_INTERNAL std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace tamsel::detail
