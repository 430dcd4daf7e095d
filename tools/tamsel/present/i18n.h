#pragma once

// The tool's own texts in the message language: gettext catalogs (po/*.po), compiled to
// <prefix>/share/locale/<lang>/LC_MESSAGES/tamsel.mo and, in the build tree, beside the tool.
// Source texts are English; a text without a translation shows in English.

#include <fmt/format.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace CLI {
class App;
}

namespace tamsel::cli {

// The languages --lang accepts, for the message that refuses another.
inline constexpr std::string_view kLanguages = "en-US, zh-CN, zh-TW";

// "en-US", "zh-CN" or "zh-TW" for a --lang value, in either spelling (zh-CN, zh_CN); nullopt for
// any other value.
std::optional<std::string> LanguageOfOption(std::string_view value);
// The language of a locale name such as "zh_TW.UTF-8": zh-CN, zh-TW (also for Hong Kong and
// Macao), otherwise en-US.
std::string LanguageOfLocale(std::string_view locale);
// The value of --lang among the arguments: read before the command line is parsed, since the help
// texts are made in the language.
std::optional<std::string> LangArgument(int argc, const char* const* argv);
// The language of LC_ALL, LC_MESSAGES or LANG, the first one set, as POSIX orders them.
std::string EnvironmentLanguage();
// Makes the language both the library's and the tool's.
void UseLanguage(const std::string& language);
// Help texts of CLI11's own (labels, the help flag, group names) in the language; call before
// anything is added to the app.
void LocalizeHelp(CLI::App& app);

// The text in the tool's language; the result lives as long as the process.
const char* _(const char* text);
std::string _(const std::string& text);
// Marks a text kept in English (for JSON, say) to be translated where it is shown.
constexpr const char* N_(const char* text) { return text; }
// The translated text with {0}, {1}, ... filled in; a translation may put them in another order.
template <typename... Args>
std::string Tf(const char* text, Args&&... args) {
  return fmt::format(fmt::runtime(_(text)), std::forward<Args>(args)...);
}
// The singular or plural text for a count, translated, with {0}, {1}, ... filled in.
const char* _n(const char* singular, const char* plural, int64_t count);
template <typename... Args>
std::string Tfn(const char* singular, const char* plural, int64_t count, Args&&... args) {
  return fmt::format(fmt::runtime(_n(singular, plural, count)), std::forward<Args>(args)...);
}
// Marks a singular and plural pair kept in a table, for _n and Tfn where it is shown.
#define NP_(singular, plural) singular, plural

}  // namespace tamsel::cli
