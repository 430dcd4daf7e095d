// The published face as a hostile client drives it: Invoke with any dispatch id, flags and
// arguments (by value and by reference, named, objects of the face and of the caller, an object
// that hands out a separately counted IDispatch), reference counting, QueryInterface and the
// tiers' enumerator, in an order the input chooses. Every reference the input takes is given
// back at the end, so a leak or a use after free shows.

#include "tamsel/publish.h"

#include <cstring>
#include <string>
#include <vector>

#include "harness.h"

namespace {

// Reads the input a byte at a time; past its end every read is 0.
struct Reader {
  std::string_view text;
  size_t at = 0;
  uint8_t Byte() { return at < text.size() ? static_cast<uint8_t>(text[at++]) : 0; }
  int32_t Int() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | Byte();
    return static_cast<int32_t>(v);
  }
  bool Done() const { return at >= text.size(); }
};

std::u16string U16(std::string_view s) { return std::u16string(s.begin(), s.end()); }

BSTR Bstr(std::string_view s) {
  const std::u16string u = U16(s);
  return SysAllocStringLen(u.data(), static_cast<UINT>(u.size()));
}

void Clear(VARIANT& v) {
  if (v.vt == VT_BSTR) SysFreeString(v.bstrVal);
  if ((v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN) && v.punkVal)
    v.punkVal->lpVtbl->Release(v.punkVal);
  std::memset(&v, 0, sizeof v);
}

// A caller's object that answers members by name from a fixed list, as a login or an info
// object does. Asked for IDispatch through IUnknown it hands out a tear-off: a second object
// with a count of its own, freed when that count ends.
struct Bag : IDispatch {
  ULONG refs = 1;
  bool tear_off_source = false;
  static Bag& Of(IDispatch* p) { return *static_cast<Bag*>(p); }
  static HRESULT Query(IDispatch* p, REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!riid) return E_POINTER;
    const bool dispatch = std::memcmp(riid, &IID_IDispatch, sizeof(IID)) == 0;
    if (!dispatch && std::memcmp(riid, &IID_IUnknown, sizeof(IID)) != 0) return E_NOINTERFACE;
    if (Of(p).tear_off_source && dispatch) {
      *out = static_cast<IDispatch*>(new Bag);  // the tear-off
      return S_OK;
    }
    ++Of(p).refs;
    *out = p;
    return S_OK;
  }
  static ULONG AddRef(IDispatch* p) { return ++Of(p).refs; }
  static ULONG Release(IDispatch* p) {
    const ULONG n = --Of(p).refs;
    if (n == 0) delete &Of(p);
    return n;
  }
  static HRESULT Count(IDispatch*, UINT* n) { return n ? (*n = 0, S_OK) : E_POINTER; }
  static HRESULT TypeInfo(IDispatch*, UINT, LCID, ITypeInfo** t) {
    if (t) *t = nullptr;
    return DISP_E_BADINDEX;
  }
  static HRESULT Ids(IDispatch*, REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (count == 0 || !names || !ids) return E_INVALIDARG;
    const std::u16string name(reinterpret_cast<const char16_t*>(names[0]));
    for (DISPID i = 0; i < static_cast<DISPID>(kMembers.size()); ++i) {
      if (U16(kMembers[i]) == name) return ids[0] = i, S_OK;
    }
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  static HRESULT Call(IDispatch*, DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result,
                      EXCEPINFO*, UINT*) {
    if (id < 0 || id >= static_cast<DISPID>(kMembers.size())) return DISP_E_MEMBERNOTFOUND;
    if (!result) return S_OK;
    std::memset(result, 0, sizeof *result);
    const std::string& name = kMembers[id];
    if (name == "ConnectionText") {
      result->vt = VT_BSTR, result->bstrVal = Bstr(kDatabase);
    } else if (name == "LoginDate" || name == "Today") {
      result->vt = VT_DATE, result->date = 46174;  // 2026-06-01
    } else if (name == "TheYear" || name == "TheMonth") {
      result->vt = VT_I4, result->lVal = name == "TheYear" ? 2026 : 6;
    } else if (name == "AuthService") {
      result->vt = VT_EMPTY;  // no service of the login's own
    } else if (name == "RowAuthText") {
      result->vt = VT_BSTR, result->bstrVal = Bstr("");
    } else {
      result->vt = VT_BOOL, result->boolVal = VARIANT_FALSE;  // every switch off
    }
    return S_OK;
  }
  static constexpr IDispatchVtbl kTable = {Query, AddRef, Release, Count, TypeInfo, Ids, Call};
  static inline const std::vector<std::string> kMembers = {
      "ConnectionText",   "AuthService", "RowAuthText", "LoginDate", "bCheckInvAuth",
      "bCheckVendorAuth", "Today",       "getdicvalue", "TheYear",   "TheMonth"};
  static constexpr const char* kDatabase =
      "Provider=SQLite;Data Source=file:fuzz?mode=memory&cache=shared";
  Bag() { lpVtbl = &kTable; }
};

// The dispatch ids of the face, and a few that no member has.
constexpr DISPID kIds[] = {0,          -4,         -3,         0x40030000, 0x40030007, 0x40030015,
                           0x60030000, 0x60030001, 0x60030002, 0x60030003, 0x60030004, 0x60030005,
                           0x60030008, 0x60030009, 0x6003000A, 0x6003000B, 0x6003000C, 0x6003000D,
                           0x6003000E, 0x6003000F, 0x68030000, 1,          2,          3,
                           4,          5,          6,          7,          0x7FFFFFFF};
constexpr WORD kFlags[] = {
    DISPATCH_METHOD,      DISPATCH_PROPERTYGET,    DISPATCH_METHOD | DISPATCH_PROPERTYGET,
    DISPATCH_PROPERTYPUT, DISPATCH_PROPERTYPUTREF, 0};
const IID* const kIids[] = {&IID_IUnknown,   &IID_IDispatch,      &IID_IEnumVARIANT,
                            &IID__PriceRule, &IID__PriceRuleItem, &IID__PriceRuleManager,
                            &IID__Validator, &IID_IClassFactory,  nullptr};
const char* const kNames[] = {"ruleItems", "AddRuleItem", "Item",       "Count",       "objRule",
                              "cMemo",     "Fields",      "EOF",        "MoveNext",    "_NewEnum",
                              "Add",       "Remove",      "VerifyRule", "InitFailure", "nothing"};

struct Session {
  std::vector<IUnknown*> pool;  // each entry holds one reference
  IDispatch* login = nullptr;
  IDispatch* info = nullptr;
  // Values that by-reference arguments point to, alive for one call.
  int16_t i2 = 0;
  int32_t i4 = 0;
  VARIANT_BOOL b = 0;
  BSTR s = nullptr;
  VARIANT inner{};

  IUnknown* Pick(Reader& in) { return pool.empty() ? nullptr : pool[in.Byte() % pool.size()]; }
  void Keep(IUnknown* u) {
    if (pool.size() < 16) return pool.push_back(u);
    u->lpVtbl->Release(u);
  }

  // One argument of a kind the input chooses.
  void Argument(Reader& in, VARIANT& v) {
    std::memset(&v, 0, sizeof v);
    const uint8_t kind = in.Byte() % 16;
    switch (kind) {
      case 0:
        v.vt = VT_I4, v.lVal = in.Int();
        break;
      case 1:
        v.vt = VT_R8, v.dblVal = static_cast<double>(in.Int()) / 7;
        break;
      case 2: {
        std::string text(in.Byte() % 8, 'x');
        for (char& c : text) c = static_cast<char>(in.Byte());
        v.vt = VT_BSTR, v.bstrVal = Bstr(text);
        break;
      }
      case 3:
        v.vt = VT_BOOL, v.boolVal = in.Byte() & 1 ? VARIANT_TRUE : VARIANT_FALSE;
        break;
      case 4:
        v.vt = VT_NULL;
        break;
      case 5:
        v.vt = VT_ERROR, v.scode = DISP_E_PARAMNOTFOUND;
        break;
      case 6:
      case 7:
        if (IUnknown* u = Pick(in)) {
          u->lpVtbl->AddRef(u);
          v.vt = in.Byte() & 1 ? VT_UNKNOWN : VT_DISPATCH, v.punkVal = u;
        }
        break;
      case 8: {  // the caller's object, as IUnknown: a tear-off is asked for
        auto* tear = new Bag;
        tear->tear_off_source = true;
        v.vt = VT_UNKNOWN, v.punkVal = reinterpret_cast<IUnknown*>(static_cast<IDispatch*>(tear));
        break;
      }
      case 9:
      case 10:
      case 11:
      case 12:
      case 13: {  // by reference, to this call's own values
        void* const targets[] = {&i2, &i4, &b, &s, &inner};
        constexpr VARTYPE kTypes[] = {VT_I2, VT_I4, VT_BOOL, VT_BSTR, VT_VARIANT};
        v.vt = VT_BYREF | kTypes[kind - 9], v.byref = targets[kind - 9];
        break;
      }
      case 14:
        v.vt = VT_DATE, v.date = static_cast<double>(in.Int()) / 1000;
        break;
      default:
        v.vt = static_cast<VARTYPE>(in.Byte() | (in.Byte() & 1 ? VT_BYREF : 0));
        break;
    }
  }

  void Invoke(Reader& in) {
    IUnknown* target = Pick(in);
    if (!target) return;
    IDispatch* d = nullptr;
    if (FAILED(
            target->lpVtbl->QueryInterface(target, &IID_IDispatch, reinterpret_cast<void**>(&d)))) {
      return;
    }
    const DISPID id = in.Byte() & 0x80 ? in.Int() : kIds[in.Byte() % std::size(kIds)];
    const WORD flags = kFlags[in.Byte() % std::size(kFlags)];
    const UINT count = in.Byte() % 8;
    std::vector<VARIANT> args(count);
    for (VARIANT& a : args) Argument(in, a);
    UINT named = count ? in.Byte() % (count + 1) : 0;
    std::vector<DISPID> names(named);
    for (DISPID& n : names) n = static_cast<int8_t>(in.Byte());
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF) && named && in.Byte() & 1) {
      names[0] = DISPID_PROPERTYPUT;
    }
    DISPPARAMS params{args.data(), names.data(), count, named};
    VARIANT result{};
    EXCEPINFO excep{};
    UINT arg_err = 0;
    d->lpVtbl->Invoke(d, id, &IID_NULL, 0, flags, &params, in.Byte() & 1 ? &result : nullptr,
                      in.Byte() & 1 ? &excep : nullptr, &arg_err);
    if (result.vt == VT_DISPATCH || result.vt == VT_UNKNOWN) {
      if (result.punkVal) Keep(result.punkVal);
      result.vt = VT_EMPTY;
    }
    Clear(result);
    SysFreeString(excep.bstrSource), SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    for (VARIANT& a : args) {
      if (!(a.vt & VT_BYREF)) Clear(a);
    }
    Clear(inner);
    SysFreeString(s), s = nullptr;
    d->lpVtbl->Release(d);
  }

  void Enumerate(Reader& in) {
    IUnknown* target = Pick(in);
    IEnumVARIANT* e = nullptr;
    if (!target || FAILED(target->lpVtbl->QueryInterface(target, &IID_IEnumVARIANT,
                                                         reinterpret_cast<void**>(&e)))) {
      return;
    }
    for (int steps = in.Byte() % 4; steps-- > 0;) {
      switch (in.Byte() % 4) {
        case 0: {
          VARIANT got[3] = {};
          ULONG fetched = 0;
          e->lpVtbl->Next(e, in.Byte() % 4, got, &fetched);
          for (ULONG i = 0; i < fetched && i < 3; ++i) Clear(got[i]);
          break;
        }
        case 1:
          e->lpVtbl->Skip(e, in.Byte());
          break;
        case 2:
          e->lpVtbl->Reset(e);
          break;
        default: {
          IEnumVARIANT* copy = nullptr;
          if (SUCCEEDED(e->lpVtbl->Clone(e, &copy)) && copy) copy->lpVtbl->Release(copy);
        }
      }
    }
    e->lpVtbl->Release(e);
  }

  void Step(Reader& in) {
    switch (in.Byte() % 8) {
      case 0:
      case 1:
      case 2:
        return Invoke(in);
      case 3: {  // a new object of a creatable class
        const CLSID* classes[] = {&CLSID_PriceRule, &CLSID_PriceRuleItem, &CLSID_PriceRuleManager,
                                  &CLSID_Validator};
        IClassFactory* f = nullptr;
        if (FAILED(DllGetClassObject(classes[in.Byte() % 4], &IID_IClassFactory,
                                     reinterpret_cast<void**>(&f)))) {
          return;
        }
        void* made = nullptr;
        if (SUCCEEDED(f->lpVtbl->CreateInstance(f, nullptr, kIids[in.Byte() % 3], &made)) && made) {
          Keep(static_cast<IUnknown*>(made));
        }
        f->lpVtbl->Release(f);
        return;
      }
      case 4: {  // QueryInterface, with a null identifier among the choices
        IUnknown* u = Pick(in);
        void* out = reinterpret_cast<void*>(1);
        if (!u) return;
        if (SUCCEEDED(u->lpVtbl->QueryInterface(u, kIids[in.Byte() % std::size(kIids)], &out))) {
          static_cast<IUnknown*>(out)->lpVtbl->Release(static_cast<IUnknown*>(out));
        } else if (out != nullptr) {
          std::abort();  // a refusal must leave no pointer behind
        }
        return;
      }
      case 5: {  // drop one reference
        if (pool.empty()) return;
        const size_t i = in.Byte() % pool.size();
        pool[i]->lpVtbl->Release(pool[i]);
        pool.erase(pool.begin() + static_cast<std::ptrdiff_t>(i));
        return;
      }
      case 6: {
        IUnknown* u = Pick(in);
        IDispatch* d = nullptr;
        if (!u ||
            FAILED(u->lpVtbl->QueryInterface(u, &IID_IDispatch, reinterpret_cast<void**>(&d)))) {
          return;
        }
        const std::u16string name = U16(kNames[in.Byte() % std::size(kNames)]);
        LPOLESTR names[] = {const_cast<LPOLESTR>(reinterpret_cast<const OLECHAR*>(name.c_str()))};
        DISPID id = 0;
        d->lpVtbl->GetIDsOfNames(d, &IID_NULL, names, 1, 0, &id);
        d->lpVtbl->Release(d);
        return;
      }
      default:
        return Enumerate(in);
    }
  }

  ~Session() {
    for (IUnknown* u : pool) u->lpVtbl->Release(u);
    login->lpVtbl->Release(login), info->lpVtbl->Release(info);
  }
};

}  // namespace

TAMSEL_FUZZ_TARGET(text) {
  SuiteManager();  // the demo database the login names, kept open for the whole process
  Session session;
  session.login = new Bag;
  session.info = new Bag;
  IClassFactory* f = nullptr;
  if (FAILED(DllGetClassObject(&CLSID_PriceRuleManager, &IID_IClassFactory,
                               reinterpret_cast<void**>(&f)))) {
    std::abort();
  }
  void* manager = nullptr;
  f->lpVtbl->CreateInstance(f, nullptr, &IID_IDispatch, &manager);
  f->lpVtbl->Release(f);
  if (!manager) std::abort();
  auto* m = static_cast<IDispatch*>(manager);
  VARIANT args[2] = {};
  args[0].vt = VT_DISPATCH, args[0].pdispVal = session.info;
  args[1].vt = VT_DISPATCH, args[1].pdispVal = session.login;
  DISPPARAMS params{args, nullptr, 2, 0};
  VARIANT ready{};
  m->lpVtbl->Invoke(m, 0x6003000E, &IID_NULL, 0, DISPATCH_METHOD, &params, &ready, nullptr,
                    nullptr);
  session.pool.push_back(reinterpret_cast<IUnknown*>(m));
  session.login->lpVtbl->AddRef(session.login);
  session.Keep(reinterpret_cast<IUnknown*>(session.login));
  Reader in{text};
  for (int steps = 0; !in.Done() && steps < 64; ++steps) session.Step(in);
}
