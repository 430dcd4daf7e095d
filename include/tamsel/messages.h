#pragma once

// Localized message texts by key ("Zorvik.pu.Quorlin.nnnnn"), compiled into the library.

#include <string>
#include <vector>

#include "tamsel/export.h"
#include "tamsel/variant.h"

namespace tamsel {

// The key's text in the current message language; an unknown key gives the key itself.
TAMSEL_API std::string GetResString(const std::string& key);
// The key's text with {0}, {1}, ... replaced by VarToStr of params[0], params[1], ...; a marker
// without a parameter stays as it is.
TAMSEL_API std::string FormatResString(const std::string& key, const std::vector<Variant>& params);
// This thread's parameter list: a caller resizes it, fills it and then calls FormatResString.
TAMSEL_API std::vector<Variant>& MsgParams();
// "en-US" (the default), "zh-CN" or "zh-TW", for every thread of the process. Any other
// name throws std::invalid_argument and leaves the language as it was.
TAMSEL_API void SetMessageLanguage(const std::string& language);
TAMSEL_API std::string MessageLanguage();

}  // namespace tamsel
