#include "present/i18n.h"

#include <libintl.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "common/text.h"
#include "tamsel/messages.h"

namespace tamsel::cli {
namespace {

constexpr const char* kDomain = "tamsel";
bool translating = false;

// Where the catalogs are: relative to the tool, so that a moved install prefix and the build tree
// both work; the configured prefix last.
std::string CatalogDirectory(const std::string& locale_name) {
  std::error_code ec;
  const std::filesystem::path bin =
      std::filesystem::read_symlink("/proc/self/exe", ec).parent_path();
  std::vector<std::filesystem::path> dirs;
  if (!ec) dirs = {bin / TAMSEL_BIN_TO_LOCALEDIR, bin / "locale"};
  dirs.emplace_back(TAMSEL_LOCALEDIR);
  for (const std::filesystem::path& dir : dirs) {
    if (std::filesystem::exists(dir / locale_name / "LC_MESSAGES" / "tamsel.mo", ec)) {
      return dir.lexically_normal().string();
    }
  }
  return TAMSEL_LOCALEDIR;
}

}  // namespace

std::optional<std::string> LanguageOfOption(std::string_view value) {
  for (const char* language : {"en-US", "zh-CN", "zh-TW"}) {
    std::string underscore = language;
    underscore[2] = '_';
    if (detail::EqualsNoCase(value, language) || detail::EqualsNoCase(value, underscore)) {
      return language;
    }
  }
  return std::nullopt;
}

std::string LanguageOfLocale(std::string_view locale) {
  // language[_territory][.codeset][@modifier]
  const std::string name = detail::Lower(locale.substr(0, locale.find_first_of(".@")));
  if (name == "zh_tw" || name == "zh_hk" || name == "zh_mo") return "zh-TW";
  if (name == "zh" || name.starts_with("zh_")) return "zh-CN";
  return "en-US";
}

std::optional<std::string> LangArgument(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") break;
    if (arg == "--lang" && i + 1 < argc) return argv[i + 1];
    if (arg.starts_with("--lang=")) return std::string(arg.substr(7));
  }
  return std::nullopt;
}

std::string EnvironmentLanguage() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return LanguageOfLocale(value);
  }
  return "en-US";
}

void UseLanguage(const std::string& language) {
  SetMessageLanguage(language);
  translating = language != "en-US";
  if (!translating) return;
  std::string locale_name = language;
  locale_name[2] = '_';
  // gettext takes the catalog from LANGUAGE, but ignores it under the "C" locale, and the
  // Chinese locales need not be installed: C.UTF-8 (built into glibc) is not "C". Only the
  // messages category changes; numbers never follow the locale here anyway.
  setenv("LANGUAGE", locale_name.c_str(), 1);
  if (std::setlocale(LC_MESSAGES, "C.UTF-8") == nullptr) std::setlocale(LC_MESSAGES, "");
  bindtextdomain(kDomain, CatalogDirectory(locale_name).c_str());
  bind_textdomain_codeset(kDomain, "UTF-8");
}

const char* _(const char* text) {
  // gettext answers "" with the catalog's header.
  return translating && *text != '\0' ? dgettext(kDomain, text) : text;
}

std::string _(const std::string& text) { return _(text.c_str()); }

const char* _n(const char* singular, const char* plural, int64_t count) {
  if (translating) {
    return dngettext(kDomain, singular, plural,
                     static_cast<unsigned long>(count < 0 ? -count : count));
  }
  return count == 1 ? singular : plural;
}

}  // namespace tamsel::cli
