// Registration on Linux: a JSON file stands in for the system registry, and
// TamselCreateInstance finds a class there and loads its library.

#include <dlfcn.h>
#include <fmt/format.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <system_error>

#include "publish/server.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace tamsel::publish {
namespace {

fs::path RegistryPath() {
  if (const char* p = std::getenv("TAMSEL_REGISTRY"); p && *p) return p;
  if (geteuid() == 0) return "/etc/tamsel/registry.json";
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) {
    return fs::path(x) / "tamsel/registry.json";
  }
  const char* home = std::getenv("HOME");
  return fs::path(home && *home ? home : ".") / ".config/tamsel/registry.json";
}

// A missing or empty file is an empty registry; a damaged one is an error, so that
// registering never overwrites entries it could not read.
json ReadRegistry(const fs::path& path) {
  std::ifstream in(path);
  if (!in || in.peek() == std::ifstream::traits_type::eof()) return json::object();
  json j = json::parse(in, nullptr, /*allow_exceptions=*/true, /*ignore_comments=*/false);
  if (!j.is_object()) throw std::runtime_error("the registry file is not a JSON object");
  return j;
}

void WriteRegistry(const fs::path& path, const json& j) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  // A new file then a rename: readers see the old registry or the new one, never half of one.
  const fs::path temp = path.string() + fmt::format(".{}.tmp", getpid());
  {
    std::ofstream out(temp, std::ios::trunc);
    out << j.dump(2) << '\n';
    out.close();
    if (!out) {
      std::error_code ignored;
      fs::remove(temp, ignored);
      throw std::runtime_error("cannot write the registry file");
    }
  }
  fs::rename(temp, path);
}

std::string OwnLibraryPath() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&DllRegisterServer), &info) || !info.dli_fname) {
    throw std::runtime_error("cannot find the component's own library");
  }
  // The soname's link rather than the versioned file: an upgrade in place keeps it valid.
  const fs::path file = fs::canonical(info.dli_fname);
  const fs::path by_soname = file.parent_path() / TAMSEL_PUBLISH_SONAME;
  std::error_code ec;
  return fs::equivalent(by_soname, file, ec) ? by_soname.string() : file.string();
}

}  // namespace
}  // namespace tamsel::publish

using namespace tamsel::publish;

extern "C" {

HRESULT DllRegisterServer(void) {
  try {
    const fs::path path = RegistryPath();
    json j = ReadRegistry(path);
    const std::string library = OwnLibraryPath();
    const std::string libid = GuidText(LIBID_Tamsel);
    for (const PublishedClass& cls : PublishedClasses()) {
      const std::string clsid = GuidText(*cls.clsid);
      json entry = {{"name", cls.name},         {"library", library},
                    {"threading", "Apartment"}, {"interface", GuidText(*cls.iid)},
                    {"typelib", libid},         {"creatable", cls.create != nullptr}};
      if (cls.create) {
        const std::string progid = std::string(kProgIdPrefix) + cls.name;
        entry["progid"] = progid + ".1";
        entry["version_independent_progid"] = progid;
        j["progids"][progid] = clsid;
        j["progids"][progid + ".1"] = clsid;
      }
      j["classes"][clsid] = entry;
      j["interfaces"][GuidText(*cls.iid)] = {
          {"name", std::string("_") + cls.name}, {"typelib", libid}, {"dispatch", true}};
    }
    j["typelibs"][libid] = {{"name", kLibraryName}, {"version", "1.0"}, {"library", library}};
    WriteRegistry(path, j);
    return S_OK;
  } catch (...) {
    return SELFREG_E_CLASS;
  }
}

HRESULT DllUnregisterServer(void) {
  try {
    const fs::path path = RegistryPath();
    if (!fs::exists(path)) return S_OK;
    json j = ReadRegistry(path);
    auto erase = [&j](const char* section, const std::string& key) {
      if (j.contains(section) && j[section].is_object()) j[section].erase(key);
    };
    for (const PublishedClass& cls : PublishedClasses()) {
      erase("classes", GuidText(*cls.clsid));
      erase("interfaces", GuidText(*cls.iid));
      const std::string progid = std::string(kProgIdPrefix) + cls.name;
      erase("progids", progid);
      erase("progids", progid + ".1");
    }
    erase("typelibs", GuidText(LIBID_Tamsel));
    WriteRegistry(path, j);
    return S_OK;
  } catch (...) {
    return SELFREG_E_CLASS;
  }
}

HRESULT TamselCreateInstance(REFCLSID clsid, const char* progid, REFIID riid, void** ppv) {
  if (!ppv || !riid || (!clsid && !progid)) return E_POINTER;
  *ppv = nullptr;
  std::string library;
  std::string key;
  try {
    const json j = ReadRegistry(RegistryPath());
    if (clsid) {
      key = GuidText(*clsid);
    } else if (j.contains("progids") && j["progids"].contains(progid)) {
      key = j["progids"][progid].get<std::string>();
    }
    if (key.empty() || !j.contains("classes") || !j["classes"].contains(key)) {
      return REGDB_E_CLASSNOTREG;
    }
    library = j["classes"][key].at("library").get<std::string>();
  } catch (...) {
    return REGDB_E_CLASSNOTREG;
  }
  GUID wanted{};
  if (clsid) {
    wanted = *clsid;
  } else {
    unsigned d4[8];
    if (std::sscanf(key.c_str(), "{%8x-%4hx-%4hx-%2x%2x-%2x%2x%2x%2x%2x%2x}", &wanted.Data1,
                    &wanted.Data2, &wanted.Data3, &d4[0], &d4[1], &d4[2], &d4[3], &d4[4], &d4[5],
                    &d4[6], &d4[7]) != 11) {
      return REGDB_E_CLASSNOTREG;
    }
    for (int i = 0; i < 8; ++i) wanted.Data4[i] = static_cast<uint8_t>(d4[i]);
  }
  // The library stays loaded: objects of it may outlive this call by any time.
  void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return CO_E_DLLNOTFOUND;
  auto get = reinterpret_cast<decltype(&DllGetClassObject)>(dlsym(handle, "DllGetClassObject"));
  if (!get) return CO_E_ERRORINDLL;
  void* factory = nullptr;
  HRESULT hr = get(&wanted, &IID_IClassFactory, &factory);
  if (FAILED(hr)) return hr;
  auto* f = static_cast<IClassFactory*>(factory);
  hr = f->lpVtbl->CreateInstance(f, nullptr, riid, ppv);
  f->lpVtbl->Release(f);
  return hr;
}

}  // extern "C"
