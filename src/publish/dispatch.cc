#include "publish/dispatch.h"

#include <cstring>
#include <exception>
#include <map>
#include <mutex>
#include <thread>
#include <tuple>
#include <utility>

#include "common/funnel.h"
#include "common/text.h"
#include "publish/platform.h"
#include "publish/values.h"
#include "tamsel/error.h"

namespace tamsel::publish {

std::atomic<long> g_live_objects{0};
std::atomic<long> g_server_locks{0};

namespace {

// The thunks are reached only through our own table, so p is always one of ours.
DispatchObject& Self(IDispatch* p) { return *DispatchObject::From(p); }

HRESULT QueryInterfaceThunk(IDispatch* p, REFIID riid, void** out) {
  return Self(p).QueryInterface(riid, out);
}
ULONG AddRefThunk(IDispatch* p) { return Self(p).AddRef(); }
ULONG ReleaseThunk(IDispatch* p) { return Self(p).Release(); }
HRESULT GetTypeInfoCountThunk(IDispatch* p, UINT* count) {
  if (!Self(p).OnOwnerThread()) return RPC_E_WRONG_THREAD;
  if (!count) return E_POINTER;
  // The helper classes (tiers, result sets) have no interface of their own in the type library.
  *count = Self(p).info().iid ? TypeInfoCount() : 0;
  return S_OK;
}
HRESULT GetTypeInfoThunk(IDispatch* p, UINT index, LCID, ITypeInfo** info) {
  if (!Self(p).OnOwnerThread()) return RPC_E_WRONG_THREAD;
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0 || !Self(p).info().iid || TypeInfoCount() == 0) return DISP_E_BADINDEX;
  return TypeInfoOf(Self(p).info().iid, info);
}
HRESULT GetIDsOfNamesThunk(IDispatch* p, REFIID riid, LPOLESTR* names, UINT count, LCID,
                           DISPID* ids) {
  if (!Self(p).OnOwnerThread()) return RPC_E_WRONG_THREAD;
  if (IidPointer(riid) && !SameGuid(IidPointer(riid), IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  try {
    return Self(p).GetIDsOfNames(names, count, ids);
  } catch (...) {  // out of memory converting a name: nothing may cross the C boundary
    return E_OUTOFMEMORY;
  }
}
HRESULT InvokeThunk(IDispatch* p, DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                    VARIANT* result, EXCEPINFO* excep, UINT* arg_err) {
  if (!Self(p).OnOwnerThread()) return RPC_E_WRONG_THREAD;
  if (IidPointer(riid) && !SameGuid(IidPointer(riid), IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  try {
    return Self(p).Invoke(id, flags, params, result, excep, arg_err);
  } catch (...) {  // out of memory converting an argument
    return E_OUTOFMEMORY;
  }
}

const IDispatchVtbl kVtbl = {
    QueryInterfaceThunk, AddRefThunk,        ReleaseThunk, GetTypeInfoCountThunk,
    GetTypeInfoThunk,    GetIDsOfNamesThunk, InvokeThunk};

bool IsObjectType(Type t) { return t == Type::Rule || t == Type::Item || t == Type::Object; }

Arg DefaultOf(const Param& p) {
  switch (p.type) {
    case Type::Text:
      return std::string();
    case Type::Long:
      return p.number_default;
    case Type::Short:
      return static_cast<int16_t>(p.number_default);
    case Type::Double:
      return static_cast<double>(p.number_default);
    case Type::Bool:
      return p.number_default != 0;
    case Type::Value:
      return Variant();
    case Type::Rule:
      return std::shared_ptr<PriceRule>();
    case Type::Item:
      return std::shared_ptr<PriceRuleItem>();
    case Type::Object:
      return DispatchPtr();
    default:
      return std::monostate();
  }
}

bool IsMissing(const VARIANT& v) { return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND; }

}  // namespace

DispatchObject::DispatchObject(const ClassInfo& info)
    : owner_(std::this_thread::get_id()), info_(info) {
  face_.lpVtbl = &kVtbl;
  face_.self = this;
  ++g_live_objects;
}

namespace {

// Objects are created and found on their own thread but may be released on any.
std::mutex g_published_mutex;
// Keyed by thread too: each thread has its own objects, so one thread's wrap never takes the
// place of another's.
using PublishedKey = std::tuple<const ClassInfo*, const void*, std::thread::id>;
std::map<PublishedKey, DispatchObject*> g_published;

}  // namespace

DispatchObject::~DispatchObject() {
  if (published_) {
    std::lock_guard lock(g_published_mutex);
    auto it = g_published.find({&info_, published_, owner_});
    if (it != g_published.end() && it->second == this) g_published.erase(it);
  }
  --g_live_objects;
}

IDispatch* DispatchObject::Find(const ClassInfo& info, const void* target) {
  std::lock_guard lock(g_published_mutex);
  auto it = g_published.find({&info, target, std::this_thread::get_id()});
  if (it == g_published.end()) return nullptr;
  // A count already at 0 belongs to an object on its way out: never bring it back.
  DispatchObject& o = *it->second;
  for (ULONG n = o.refs_; n != 0;) {
    if (o.refs_.compare_exchange_weak(n, n + 1)) return &o.face_;
  }
  return nullptr;
}

void DispatchObject::Publish(const void* target) {
  std::lock_guard lock(g_published_mutex);
  auto [it, added] = g_published.try_emplace({&info_, target, owner_}, this);
  if (!added) it->second = this;  // the old one is on its way out
  published_ = target;
}

DispatchObject* DispatchObject::From(IDispatch* p) {
  if (!p || p->lpVtbl != &kVtbl) return nullptr;
  return static_cast<Face*>(p)->self;
}

IDispatch* DispatchObject::Ref() {
  AddRef();
  return &face_;
}

HRESULT DispatchObject::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  const IID* id = IidPointer(riid);
  if (!id) return E_POINTER;
  if (!OnOwnerThread()) return RPC_E_WRONG_THREAD;
  if (SameGuid(id, IID_IUnknown) || SameGuid(id, IID_IDispatch) ||
      (info_.iid && SameGuid(id, *info_.iid))) {
    *out = Ref();
    return S_OK;
  }
  return E_NOINTERFACE;
}

ULONG DispatchObject::AddRef() { return ++refs_; }

ULONG DispatchObject::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT DispatchObject::GetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) {
  if (count == 0) return S_OK;
  if (!names || !ids) return E_POINTER;
  const std::string name = FromOleString(names[0]);
  const Member* found = nullptr;
  for (const Member& m : info_.members) {
    if (detail::EqualsNoCase(m.name, name)) found = &m;
  }
  HRESULT hr = S_OK;
  ids[0] = found ? found->id : DISPID_UNKNOWN;
  if (!found) hr = DISP_E_UNKNOWNNAME;
  // Further names are the member's parameters, for named arguments.
  for (UINT i = 1; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    const std::string param = FromOleString(names[i]);
    for (size_t k = 0; found && k < found->params.size(); ++k) {
      if (detail::EqualsNoCase(found->params[k].name, param)) ids[i] = static_cast<DISPID>(k);
    }
    if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT DispatchObject::Invoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                               EXCEPINFO* excep, UINT* arg_err) {
  const Member* member = nullptr;
  for (const Member& m : info_.members) {
    if (m.id == id) member = &m;
  }
  if (!member) return DISP_E_MEMBERNOTFOUND;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  if (!params) params = &none;
  if (params->cArgs < params->cNamedArgs || (params->cArgs && !params->rgvarg) ||
      (params->cNamedArgs && !params->rgdispidNamedArgs)) {
    return E_INVALIDARG;
  }
  if (excep) std::memset(excep, 0, sizeof *excep);
  if (result) VariantInit(result);

  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    if (!member->put) return DISP_E_MEMBERNOTFOUND;
    if ((flags & DISPATCH_PROPERTYPUTREF) && !IsObjectType(member->put_type)) {
      return DISP_E_MEMBERNOTFOUND;
    }
    if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
    if (params->cNamedArgs == 1 && params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
      return DISP_E_PARAMNOTFOUND;
    }
    Arg value;
    if (const HRESULT hr = Coerce(params->rgvarg[0], member->put_type, value); FAILED(hr)) {
      if (arg_err) *arg_err = 0;
      return hr;
    }
    try {
      member->put(*this, value);
    } catch (...) {
      return ReportException(excep, info_.iid);
    }
    return S_OK;
  }
  if (!member->get ||
      !(flags & (member->property ? DISPATCH_METHOD | DISPATCH_PROPERTYGET : DISPATCH_METHOD))) {
    return DISP_E_MEMBERNOTFOUND;
  }

  // Positional arguments come last in rgvarg and in reverse order; named ones say their place.
  const size_t n_params = member->params.size();
  const UINT n_named = params->cNamedArgs;
  const UINT n_positional = params->cArgs - n_named;
  if (params->cArgs > n_params) return DISP_E_BADPARAMCOUNT;
  std::vector<UINT> where(n_params, UINT(-1));  // index into rgvarg
  for (UINT i = 0; i < n_positional; ++i) where[i] = params->cArgs - 1 - i;
  for (UINT k = 0; k < n_named; ++k) {
    const DISPID d = params->rgdispidNamedArgs[k];
    if (d < 0 || static_cast<size_t>(d) >= n_params || where[d] != UINT(-1)) {
      if (arg_err) *arg_err = k;
      return DISP_E_PARAMNOTFOUND;
    }
    where[d] = k;
  }
  std::vector<Arg> args(n_params);
  for (size_t i = 0; i < n_params; ++i) {
    const Param& p = member->params[i];
    if (where[i] == UINT(-1) || IsMissing(params->rgvarg[where[i]])) {
      if (p.flags & kOptional) {
        args[i] = DefaultOf(p);
        continue;
      }
      // Too few positional arguments is a count; a gap among named or missing ones is not.
      return where[i] == UINT(-1) && n_named == 0 ? DISP_E_BADPARAMCOUNT : DISP_E_PARAMNOTOPTIONAL;
    }
    // An in/out argument that could not take the new value back would report success while the
    // caller's variable kept its old value.
    const VARIANT& given = params->rgvarg[where[i]];
    HRESULT hr = (p.flags & kInOut) && !TakesBack(given, p.type) ? DISP_E_TYPEMISMATCH
                                                                 : Coerce(given, p.type, args[i]);
    if (FAILED(hr)) {
      if (arg_err) *arg_err = where[i];
      return hr;
    }
  }
  try {
    Arg out = member->get(*this, args);
    VARIANT converted;
    ToVariant(std::move(out), converted);
    for (size_t i = 0; i < n_params; ++i) {
      if ((member->params[i].flags & kInOut) && where[i] != UINT(-1)) {
        WriteBack(params->rgvarg[where[i]], std::move(args[i]));
      }
    }
    if (result) {
      *result = converted;
    } else {
      VariantClear(&converted);
    }
  } catch (...) {
    return ReportException(excep, info_.iid);
  }
  return S_OK;
}

namespace {
// Objects answer only on the thread that made them, so a thread's last failure is its caller's.
thread_local std::string t_error_key;
}  // namespace

const std::string& LastErrorKey() { return t_error_key; }

HRESULT ReportException(EXCEPINFO* excep, const IID* iid) {
  const std::exception_ptr failure = std::current_exception();
  std::string source = "Tamsel";
  SCODE scode = E_FAIL;
  t_error_key.clear();
  try {
    std::rethrow_exception(failure);
  } catch (const ComponentError& e) {
    source = e.source();
    scode = e.number();
    try {
      t_error_key = e.key();
    } catch (const std::bad_alloc&) {
    }
  } catch (const DatabaseError&) {
    source = "DatabaseError";
  } catch (...) {
  }
  try {
    const std::string description = detail::Describe(failure);
    PublishErrorInfo(iid, source, description);
    if (excep) {
      excep->bstrSource = ToBstr(source);
      excep->bstrDescription = ToBstr(description);
    }
  } catch (const std::bad_alloc&) {
  }
  if (excep) excep->scode = scode;
  return DISP_E_EXCEPTION;
}

}  // namespace tamsel::publish
