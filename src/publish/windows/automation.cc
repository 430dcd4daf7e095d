// The automation types on Windows are oleaut32's: every text handed out or freed goes through the
// system's allocator, so a client may free what it gets with SysFreeString. The type library is
// the one embedded in this DLL, and failures also go to the thread's error information.

#include <dispex.h>
#include <olectl.h>

#include <memory>

#include "publish/platform.h"
#include "publish/values.h"
#include "publish/windows/module.h"

namespace tamsel::publish {

namespace {

// Not in mingw-w64's uuid library.
const IID kIidDispatchEx = {
    0xA6EF9860, 0xC720, 0x11D0, {0x93, 0x37, 0x00, 0xA0, 0xC9, 0x0D, 0xCA, 0xA9}};

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

HRESULT MemberId(IDispatch* object, BSTR name, DISPID* id) {
  LPOLESTR names[] = {name};
  const HRESULT hr = object->lpVtbl->GetIDsOfNames(object, IID_NULL, names, 1, 0, id);
  if (hr != E_NOTIMPL) return hr;
  // Some script engines' objects (Wine's VBScript classes) answer names only through
  // IDispatchEx.
  IDispatchEx* ex = nullptr;
  if (FAILED(
          object->lpVtbl->QueryInterface(object, kIidDispatchEx, reinterpret_cast<void**>(&ex)))) {
    return hr;
  }
  const HRESULT found = ex->lpVtbl->GetDispID(ex, name, fdexNameCaseInsensitive, id);
  ex->lpVtbl->Release(ex);
  return found;
}

void PublishErrorInfo(const IID* iid, std::string_view source, std::string_view description) {
  // The texts first, each owned: ToBstr may throw, and nothing may be held when it does.
  using Text = std::unique_ptr<OLECHAR, decltype(&SysFreeString)>;
  const Text src(ToBstr(source), &SysFreeString);
  const Text text(ToBstr(description), &SysFreeString);
  ICreateErrorInfo* create = nullptr;
  if (FAILED(CreateErrorInfo(&create))) return;
  create->lpVtbl->SetGUID(create, iid ? *iid : GUID_NULL);
  create->lpVtbl->SetSource(create, src.get());
  create->lpVtbl->SetDescription(create, text.get());
  IErrorInfo* info = nullptr;
  if (SUCCEEDED(create->lpVtbl->QueryInterface(create, IID_IErrorInfo,
                                               reinterpret_cast<void**>(&info)))) {
    SetErrorInfo(0, info);
    info->lpVtbl->Release(info);
  }
  create->lpVtbl->Release(create);
}

}  // namespace tamsel::publish
