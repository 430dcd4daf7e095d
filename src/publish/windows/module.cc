#include "publish/windows/module.h"

#include <stdexcept>

#include "tamsel/messages.h"

namespace tamsel::publish {
namespace {
HMODULE g_module = nullptr;
}

HMODULE ThisModule() { return g_module; }

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(g_module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) throw std::runtime_error("cannot find the component's own DLL");
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace tamsel::publish

namespace {

// The component speaks the user's display language where it has a catalog for it.
const char* UserLanguage() {
  const LANGID ui = GetUserDefaultUILanguage();
  if (PRIMARYLANGID(ui) != LANG_CHINESE) return "en-US";
  switch (SUBLANGID(ui)) {
    case SUBLANG_CHINESE_TRADITIONAL:
    case SUBLANG_CHINESE_HONGKONG:
    case SUBLANG_CHINESE_MACAU:
      return "zh-TW";
    default:
      return "zh-CN";
  }
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    tamsel::publish::g_module = instance;
    tamsel::SetMessageLanguage(UserLanguage());
  }
  return TRUE;
}
