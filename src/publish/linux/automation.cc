// The automation types' allocation on Linux, where no system library provides it: BSTRs on the C
// heap in the standard's layout, and VARIANT clearing. Windows takes both from oleaut32.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "publish/platform.h"
#include "publish/values.h"

// The binary standard's sizes on x86-64; a change here breaks every client.
static_assert(sizeof(VARIANT) == 24 && offsetof(VARIANT, lVal) == 8);
static_assert(sizeof(EXCEPINFO) == 64 && offsetof(EXCEPINFO, scode) == 56);
static_assert(sizeof(DISPPARAMS) == 24 && sizeof(GUID) == 16);

extern "C" {

// The 32-bit byte length sits just before the text, a 0 code unit after it.
BSTR SysAllocStringLen(const OLECHAR* text, UINT len) {
  if (len > (std::numeric_limits<uint32_t>::max() - 6) / 2) return nullptr;
  auto* block = static_cast<char*>(std::malloc(4 + size_t{len} * 2 + 2));
  if (!block) return nullptr;
  const uint32_t bytes = len * 2;
  std::memcpy(block, &bytes, 4);
  auto* units = reinterpret_cast<OLECHAR*>(block + 4);
  if (text) {
    std::memcpy(units, text, bytes);
  } else {
    std::memset(units, 0, bytes);
  }
  units[len] = 0;
  return units;
}

BSTR SysAllocString(const OLECHAR* text) {
  if (!text) return nullptr;
  UINT len = 0;
  while (text[len]) ++len;
  return SysAllocStringLen(text, len);
}

void SysFreeString(BSTR text) {
  if (text) std::free(reinterpret_cast<char*>(text) - 4);
}

UINT SysStringLen(BSTR text) {
  if (!text) return 0;
  uint32_t bytes;
  std::memcpy(&bytes, reinterpret_cast<char*>(text) - 4, 4);
  return bytes / 2;
}

}  // extern "C"

namespace tamsel::publish {

void VariantInit(VARIANT* v) { std::memset(v, 0, sizeof *v); }

void VariantClear(VARIANT* v) {
  if (v->vt == VT_BSTR) SysFreeString(v->bstrVal);
  if ((v->vt == VT_DISPATCH || v->vt == VT_UNKNOWN) && v->punkVal) {
    v->punkVal->lpVtbl->Release(v->punkVal);
  }
  VariantInit(v);
}

}  // namespace tamsel::publish

namespace tamsel::publish {

// No type library on this platform: clients find members by name.
UINT TypeInfoCount() { return 0; }
HRESULT TypeInfoOf(const IID*, ITypeInfo**) { return DISP_E_BADINDEX; }

HRESULT MemberId(IDispatch* object, BSTR name, DISPID* id) {
  LPOLESTR names[] = {name};
  return object->lpVtbl->GetIDsOfNames(object, &IID_NULL, names, 1, 0, id);
}

// EXCEPINFO is the only channel here.
void PublishErrorInfo(const IID*, std::string_view, std::string_view) {}

}  // namespace tamsel::publish
