#pragma once

// A foreign caller of the published face, for its tests: owned VARIANTs, calls by name or
// dispatch id, and a caller's object (a login, an info object) of named values.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tamsel/publish.h"

namespace {

std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }
std::string U8(BSTR b) { return b ? std::string(b, b + SysStringLen(b)) : ""; }

// An owned VARIANT.
struct Var : VARIANT {
  Var() { std::memset(static_cast<VARIANT*>(this), 0, sizeof(VARIANT)); }
  explicit Var(const std::string& s) : Var() {
    vt = VT_BSTR, bstrVal = SysAllocString(U16(s).c_str());
  }
  explicit Var(int32_t n) : Var() { vt = VT_I4, lVal = n; }
  explicit Var(double d) : Var() { vt = VT_R8, dblVal = d; }
  Var(VARTYPE t, int64_t bits) : Var() { vt = t, llVal = bits; }
  // Holds a reference of its own.
  explicit Var(IDispatch* d) : Var(VT_DISPATCH, 0) { pdispVal = d, d->lpVtbl->AddRef(d); }
  Var(Var&& o) noexcept : VARIANT(o) { o.vt = VT_EMPTY; }
  ~Var() { Clear(); }
  void Clear() {
    if (vt == VT_BSTR) SysFreeString(bstrVal);
    if ((vt == VT_DISPATCH || vt == VT_UNKNOWN) && punkVal) punkVal->lpVtbl->Release(punkVal);
    vt = VT_EMPTY;
  }
};

struct Outcome {
  HRESULT hr;
  Var result;
  EXCEPINFO excep{};
  UINT arg_err = 99;
  ~Outcome() { SysFreeString(excep.bstrSource), SysFreeString(excep.bstrDescription); }
};

// Invokes by dispatch id; args are given in reading order and passed reversed, as the standard has
// it.
std::unique_ptr<Outcome> Invoke(IDispatch* d, DISPID id, WORD flags,
                                std::vector<VARIANT*> args = {}) {
  auto out = std::make_unique<Outcome>();
  std::vector<VARIANT> rev;
  for (auto it = args.rbegin(); it != args.rend(); ++it) rev.push_back(**it);
  DISPID put = DISPID_PROPERTYPUT;
  const bool is_put = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
  DISPPARAMS p{rev.data(), is_put ? &put : nullptr, static_cast<UINT>(rev.size()),
               is_put ? 1u : 0u};
  out->hr =
      d->lpVtbl->Invoke(d, id, &IID_NULL, 0, flags, &p, &out->result, &out->excep, &out->arg_err);
  return out;
}

DISPID IdOf(IDispatch* d, const std::string& name, HRESULT* hr = nullptr) {
  std::u16string n = U16(name);
  LPOLESTR names[] = {n.data()};
  DISPID id = 12345;
  const HRESULT r = d->lpVtbl->GetIDsOfNames(d, &IID_NULL, names, 1, 0, &id);
  if (hr) *hr = r;
  return id;
}

// By name, as a script calls: a method or a property get.
std::unique_ptr<Outcome> Call(IDispatch* d, const std::string& name,
                              std::vector<VARIANT*> args = {}) {
  return Invoke(d, IdOf(d, name), DISPATCH_METHOD | DISPATCH_PROPERTYGET, std::move(args));
}
IDispatch* Obj(const std::unique_ptr<Outcome>& o) {
  EXPECT_EQ(o->hr, S_OK) << U8(o->excep.bstrDescription);
  EXPECT_EQ(o->result.vt, VT_DISPATCH);
  return o->result.pdispVal;
}

// The caller's login and system information: named values, each read by Invoke.
struct Bag : IDispatch {
  std::vector<std::pair<std::string, Var>> values;
  std::function<void()> on_get;  // runs at every read, as a caller's own code would
  ULONG refs = 1;
  static Bag& Of(IDispatch* p) { return *static_cast<Bag*>(p); }
  static HRESULT Ids(IDispatch* p, REFIID, LPOLESTR* names, UINT, LCID, DISPID* id) {
    *id = DISPID_UNKNOWN;
    for (size_t i = 0; i < Of(p).values.size(); ++i) {
      if (U16(Of(p).values[i].first) == names[0]) *id = static_cast<DISPID>(i);
    }
    return *id == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK;
  }
  static HRESULT Get(IDispatch* p, DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* r,
                     EXCEPINFO*, UINT*) {
    if (Of(p).on_get) Of(p).on_get();
    *r = Of(p).values[id].second;
    if (r->vt == VT_BSTR) r->bstrVal = SysAllocString(r->bstrVal);
    return S_OK;
  }
  static ULONG Release(IDispatch* p) {
    const ULONG n = --Of(p).refs;
    if (!n) delete &Of(p);
    return n;
  }
  static constexpr IDispatchVtbl kTable = {
      nullptr, [](IDispatch* p) { return ++Of(p).refs; }, Release, nullptr, nullptr, Ids, Get};
  Bag() { lpVtbl = &kTable; }
  Bag* Add(const std::string& name, Var v) { return values.emplace_back(name, std::move(v)), this; }
};
Var Typed(VARTYPE t, Var v) { return v.vt = t, std::move(v); }

}  // namespace
