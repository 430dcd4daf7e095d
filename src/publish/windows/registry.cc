// Registration in the system registry, as regsvr32 asks for it. For each creatable class:
//   HKCR\CLSID\{clsid}                      "Tamsel <Class>"
//     InprocServer32                        this DLL; ThreadingModel=Apartment
//     ProgID / VersionIndependentProgID     Tamsel.<Class>.1 / Tamsel.<Class>
//     TypeLib, Version                      the library id, 1.0
//   HKCR\Tamsel.<Class>[.1]\CLSID           {clsid}   (and CurVer on the unversioned one)
// and the type library with its interfaces through RegisterTypeLib. Unregistering removes
// exactly these keys and the type library's; anything else under HKCR stays.

#include <olectl.h>

#include <string>
#include <vector>

#include "publish/server.h"
#include "publish/values.h"
#include "publish/windows/module.h"

namespace tamsel::publish {
namespace {

std::wstring Wide(const std::string& utf8) {
  BSTR b = ToBstr(utf8);
  std::wstring w(b, SysStringLen(b));
  SysFreeString(b);
  return w;
}

struct Key {
  std::wstring path;
  std::wstring name;  // empty: the key's default value
  std::wstring value;
};

// The keys of one class; the first of each path is the one to remove.
std::vector<Key> ClassKeys(const PublishedClass& cls, const std::wstring& dll) {
  const std::wstring clsid = Wide(GuidText(*cls.clsid));
  const std::wstring name = Wide(cls.name);
  const std::wstring progid = Wide(kProgIdPrefix) + name;
  const std::wstring versioned = progid + L".1";
  const std::wstring key = L"CLSID\\" + clsid;
  return {
      {key, L"", Wide(kLibraryName) + L" " + name},
      {key + L"\\InprocServer32", L"", dll},
      {key + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
      {key + L"\\ProgID", L"", versioned},
      {key + L"\\VersionIndependentProgID", L"", progid},
      {key + L"\\TypeLib", L"", Wide(GuidText(LIBID_Tamsel))},
      {key + L"\\Version", L"", L"1.0"},
      {progid, L"", Wide(kLibraryName) + L" " + name},
      {progid + L"\\CLSID", L"", clsid},
      {progid + L"\\CurVer", L"", versioned},
      {versioned, L"", Wide(kLibraryName) + L" " + name},
      {versioned + L"\\CLSID", L"", clsid},
  };
}

// The keys that unregistering deletes, each with everything below it.
std::vector<std::wstring> ClassRoots(const PublishedClass& cls) {
  const std::wstring progid = Wide(kProgIdPrefix) + Wide(cls.name);
  return {L"CLSID\\" + Wide(GuidText(*cls.clsid)), progid, progid + L".1"};
}

HRESULT SetKey(const Key& k) {
  HKEY key = nullptr;
  LSTATUS rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, k.path.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                               nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
  rc = RegSetValueExW(key, k.name.empty() ? nullptr : k.name.c_str(), 0, REG_SZ,
                      reinterpret_cast<const BYTE*>(k.value.c_str()),
                      static_cast<DWORD>((k.value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return HRESULT_FROM_WIN32(rc);
}

HRESULT RemoveClasses() {
  HRESULT result = S_OK;
  for (const PublishedClass& cls : PublishedClasses()) {
    if (!cls.create) continue;
    for (const std::wstring& root : ClassRoots(cls)) {
      const LSTATUS rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, root.c_str());
      if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) result = SELFREG_E_CLASS;
    }
  }
  return result;
}

}  // namespace
}  // namespace tamsel::publish

using namespace tamsel::publish;

extern "C" {

HRESULT STDAPICALLTYPE DllRegisterServer(void) {
  try {
    const std::wstring dll = ModulePath();
    for (const PublishedClass& cls : PublishedClasses()) {
      if (!cls.create) continue;  // Validator: only a manager makes one
      for (const Key& k : ClassKeys(cls, dll)) {
        if (FAILED(SetKey(k))) {
          RemoveClasses();
          return SELFREG_E_CLASS;
        }
      }
    }
    // Loading with REGKIND_REGISTER registers the library and its interfaces.
    ITypeLib* library = nullptr;
    const HRESULT hr = LoadTypeLibEx(dll.c_str(), REGKIND_REGISTER, &library);
    if (FAILED(hr)) {
      RemoveClasses();
      return SELFREG_E_TYPELIB;
    }
    library->lpVtbl->Release(library);
    return S_OK;
  } catch (...) {
    RemoveClasses();
    return E_OUTOFMEMORY;
  }
}

HRESULT STDAPICALLTYPE DllUnregisterServer(void) {
  try {
    HRESULT result = RemoveClasses();
    const HRESULT hr = UnRegisterTypeLib(LIBID_Tamsel, 1, 0, LOCALE_NEUTRAL, SYS_WIN64);
    if (FAILED(hr) && hr != TYPE_E_REGISTRYACCESS && hr != TYPE_E_CANTLOADLIBRARY) {
      result = SELFREG_E_TYPELIB;
    }
    return result;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // extern "C"
