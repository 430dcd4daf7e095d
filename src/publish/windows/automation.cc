// The automation types on Windows are oleaut32's: every text handed out or freed goes through the
// system's allocator, so a client may free what it gets with SysFreeString. The type library is
// the one embedded in this DLL, and failures also go to the thread's error information.

#include <mutex>

#include <olectl.h>

#include "publish/platform.h"
#include "publish/values.h"
#include "publish/windows/module.h"

namespace tamsel::publish {

namespace {

// Loaded once and kept: oleaut32's type libraries may be used from any thread.
ITypeLib* OwnTypeLibrary() {
  static ITypeLib* library = [] {
    ITypeLib* loaded = nullptr;
    if (FAILED(LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, &loaded))) loaded = nullptr;
    return loaded;
  }();
  return library;
}

}  // namespace

UINT TypeInfoCount() { return 1; }

HRESULT TypeInfoOf(const IID* iid, ITypeInfo** out) {
  ITypeLib* library = OwnTypeLibrary();
  if (!library) return TYPE_E_CANTLOADLIBRARY;
  return library->lpVtbl->GetTypeInfoOfGuid(library, *iid, out);
}

void PublishErrorInfo(const IID* iid, std::string_view source, std::string_view description) {
  ICreateErrorInfo* create = nullptr;
  if (FAILED(CreateErrorInfo(&create))) return;
  BSTR src = ToBstr(source);
  BSTR text = ToBstr(description);
  create->lpVtbl->SetGUID(create, iid ? *iid : GUID_NULL);
  create->lpVtbl->SetSource(create, src);
  create->lpVtbl->SetDescription(create, text);
  SysFreeString(src);
  SysFreeString(text);
  IErrorInfo* info = nullptr;
  if (SUCCEEDED(create->lpVtbl->QueryInterface(create, IID_IErrorInfo,
                                               reinterpret_cast<void**>(&info)))) {
    SetErrorInfo(0, info);
    info->lpVtbl->Release(info);
  }
  create->lpVtbl->Release(create);
}

}  // namespace tamsel::publish
