// The class factories and the two entry points that every platform shares; registration and
// the automation types' allocation are the platform's (linux/, and windows/ beside it).

#include "publish/server.h"

#include <cstring>
#include <new>

#include "tamsel/manager.h"

namespace tamsel::publish {

std::string GuidText(const GUID& g) {
  return fmt::format("{{{:08X}-{:04X}-{:04X}-{:02X}{:02X}-{:02X}{:02X}{:02X}{:02X}{:02X}{:02X}}}",
                     g.Data1, g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3],
                     g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
}

std::span<const PublishedClass> PublishedClasses() {
  static const PublishedClass kClasses[] = {
      {"PriceRuleManager", &CLSID_PriceRuleManager, &IID__PriceRuleManager,
       [] { return Wrap(std::make_shared<PriceRuleManager>()).release(); }},
      {"PriceRule", &CLSID_PriceRule, &IID__PriceRule,
       [] { return Wrap(PriceRule::New()).release(); }},
      {"PriceRuleItem", &CLSID_PriceRuleItem, &IID__PriceRuleItem,
       [] { return Wrap(std::make_shared<PriceRuleItem>()).release(); }},
      {"Validator", &CLSID_Validator, &IID__Validator, nullptr},
  };
  return kClasses;
}

namespace {

// One factory object per request; it counts as a live object, so a held factory keeps the
// library from unloading.
struct Factory : IClassFactory {
  std::atomic<ULONG> refs{1};
  const PublishedClass* cls;
};

Factory& FactoryOf(IClassFactory* p) { return *static_cast<Factory*>(p); }

HRESULT FactoryQueryInterface(IClassFactory* p, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  const IID* id = IidPointer(riid);
  if (!id) return E_POINTER;
  if (!SameGuid(id, IID_IUnknown) && !SameGuid(id, IID_IClassFactory)) return E_NOINTERFACE;
  ++FactoryOf(p).refs;
  *out = p;
  return S_OK;
}
ULONG FactoryAddRef(IClassFactory* p) { return ++FactoryOf(p).refs; }
ULONG FactoryRelease(IClassFactory* p) {
  const ULONG left = --FactoryOf(p).refs;
  if (left == 0) {
    delete &FactoryOf(p);
    --g_live_objects;
  }
  return left;
}
HRESULT FactoryCreateInstance(IClassFactory* p, IUnknown* outer, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IidPointer(riid)) return E_POINTER;
  if (outer) return CLASS_E_NOAGGREGATION;
  IDispatch* object;
  try {
    object = FactoryOf(p).cls->create();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
  const HRESULT hr = object->lpVtbl->QueryInterface(object, riid, out);
  object->lpVtbl->Release(object);
  return hr;
}
HRESULT FactoryLockServer(IClassFactory*, BOOL lock) {
  if (lock) {
    ++g_server_locks;
  } else {
    --g_server_locks;
  }
  return S_OK;
}

const IClassFactoryVtbl kFactoryVtbl = {FactoryQueryInterface, FactoryAddRef, FactoryRelease,
                                        FactoryCreateInstance, FactoryLockServer};

}  // namespace
}  // namespace tamsel::publish

using namespace tamsel::publish;

extern "C" {

HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  if (!ppv || !IidPointer(rclsid) || !IidPointer(riid)) return E_POINTER;
  *ppv = nullptr;
  for (const PublishedClass& cls : PublishedClasses()) {
    if (!SameGuid(IidPointer(rclsid), *cls.clsid) || !cls.create) continue;
    if (!SameGuid(IidPointer(riid), IID_IUnknown) &&
        !SameGuid(IidPointer(riid), IID_IClassFactory)) {
      return E_NOINTERFACE;
    }
    auto* factory = new (std::nothrow) Factory;
    if (!factory) return E_OUTOFMEMORY;
    factory->lpVtbl = &kFactoryVtbl;
    factory->cls = &cls;
    ++g_live_objects;
    *ppv = static_cast<IClassFactory*>(factory);
    return S_OK;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT DllCanUnloadNow(void) {
  return g_live_objects == 0 && g_server_locks == 0 ? S_OK : S_FALSE;
}

}  // extern "C"
