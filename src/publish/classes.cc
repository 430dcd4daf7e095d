// The member tables of the published classes, and the adapters through which InitManager
// reaches the caller's login, system-information and connection objects.

#include <fmt/format.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <thread>

#include "publish/dispatch.h"
#include "publish/platform.h"
#include "publish/values.h"
#include "tamsel/error.h"
#include "tamsel/manager.h"
#include "tamsel/services.h"
#include "tamsel/validator.h"

namespace tamsel::publish {
namespace {

template <class M>
struct FieldOf;
template <class C, class V>
struct FieldOf<V C::*> {
  using Class = C;
  using Value = V;
};

template <class V>
constexpr Type TypeOf() {
  if constexpr (std::is_same_v<V, std::string>) return Type::Text;
  if constexpr (std::is_same_v<V, int32_t>) return Type::Long;
  if constexpr (std::is_same_v<V, int16_t>) return Type::Short;
  if constexpr (std::is_same_v<V, double>) return Type::Double;
  if constexpr (std::is_same_v<V, bool>) return Type::Bool;
  if constexpr (std::is_same_v<V, Variant>) return Type::Value;
}

// A read-write property over a data member.
template <auto M>
Member Field(const char* name, DISPID id) {
  using F = FieldOf<decltype(M)>;
  return {
      name,
      id,
      {},
      [](DispatchObject& o, std::vector<Arg>&) -> Arg { return Target<typename F::Class>(o).*M; },
      TypeOf<typename F::Value>(),
      [](DispatchObject& o, Arg& v) {
        Target<typename F::Class>(o).*M = std::get<typename F::Value>(std::move(v));
      },
      true};
}

// A read-only property, with parameters when it has any ("Fields(name)").
Member Prop(const char* name, DISPID id, std::vector<Param> params, Getter get) {
  return {name, id, std::move(params), get, Type::None, nullptr, true};
}

template <class T>
T Take(Arg& a) {
  return std::get<T>(std::move(a));
}
const std::string& Text(const Arg& a) { return std::get<std::string>(a); }
const std::shared_ptr<PriceRule>& RuleArg(const Arg& a) {
  return std::get<std::shared_ptr<PriceRule>>(a);
}
const std::shared_ptr<PriceRuleItem>& ItemArg(const Arg& a) {
  return std::get<std::shared_ptr<PriceRuleItem>>(a);
}

// Numbered as a property get of the manager's interface, apart from the suite's methods.
constexpr DISPID kInitFailureId = 0x68030000;
constexpr DISPID kErrorKeyId = 0x68030001;

const Param kIndex{"index", Type::Short, kInOut};
const Param kRule{"rule", Type::Rule, kInOut};
const Param kErrstr{"errstr", Type::Text, kInOut};
const Param kExchName{"exchName", Type::Text, kOptional};
const Param kSupplyType{"iSupplyType", Type::Long, kOptional, 1};
const Param kXml{"sXml", Type::Text, kOptional};

// ---- Calling the caller's objects by member name ----

[[noreturn]] void Fail(const std::string& member, HRESULT hr, EXCEPINFO* excep) {
  std::string text;
  if (excep && excep->bstrDescription) text = FromBstr(excep->bstrDescription);
  if (excep) {
    SysFreeString(excep->bstrSource);
    SysFreeString(excep->bstrDescription);
    SysFreeString(excep->bstrHelpFile);
  }
  if (text.empty()) {
    text = fmt::format("{} failed (0x{:08X})", member, static_cast<uint32_t>(hr));
  }
  throw ComponentError("Error", text);
}

// Calls member (a method or a property get) with args; the result as it came.
VARIANT CallByName(IDispatch* object, const std::string& member, const std::vector<Variant>& args) {
  if (!object) throw ComponentError("Error", member + ": no object was given");
  BSTR name = ToBstr(member);
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = MemberId(object, name, &id);
  SysFreeString(name);
  if (FAILED(hr)) Fail(member, hr, nullptr);
  std::vector<VARIANT> reversed(args.size());
  for (size_t i = 0; i < args.size(); ++i) ToVariant(args[i], reversed[args.size() - 1 - i]);
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO excep{};
  UINT arg_err = 0;
  hr = object->lpVtbl->Invoke(object, id, IidArgument(IID_NULL), 0,
                              DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params, &result, &excep,
                              &arg_err);
  for (VARIANT& v : reversed) VariantClear(&v);
  if (FAILED(hr)) {
    VariantClear(&result);
    Fail(member, hr, &excep);
  }
  return result;
}

Variant ValueByName(IDispatch* object, const std::string& member,
                    const std::vector<Variant>& args = {}) {
  VARIANT result = CallByName(object, member, args);
  Variant value;
  const HRESULT hr = ToValue(result, value);
  VariantClear(&result);
  if (FAILED(hr)) Fail(member, hr, nullptr);
  return value;
}

DispatchPtr ObjectByName(IDispatch* object, const std::string& member) {
  VARIANT result = CallByName(object, member, {});
  Arg value;
  const HRESULT hr = Coerce(result, Type::Object, value);
  VariantClear(&result);
  if (FAILED(hr)) Fail(member, hr, nullptr);
  return Take<DispatchPtr>(value);
}

class DispatchRowAuth final : public RowAuthService {
 public:
  explicit DispatchRowAuth(DispatchPtr d) : d_(std::move(d)) {}
  bool Init(const std::string& connection_text, const std::string& login_text, int32_t a,
            int32_t b) override {
    return VarToBool(ValueByName(d_.get(), "Init", {connection_text, login_text, a, b}));
  }
  std::string GetRowAuthCondition(const std::string& bus_object, int32_t a, int32_t b) override {
    return VarToStr(ValueByName(d_.get(), "GetRowAuthCondition", {bus_object, a, b}));
  }
  bool HasRowAuth(const std::string& kind, const std::string& code, int32_t a,
                  const std::string& right) override {
    return VarToBool(ValueByName(d_.get(), "HasRowAuth", {kind, code, a, right}));
  }

 private:
  DispatchPtr d_;
};

// The login's members, by the names of the C++ role.
class DispatchLogin final : public Login {
 public:
  explicit DispatchLogin(DispatchPtr d) : d_(std::move(d)) {}
  std::string ConnectionText() override {
    return VarToStr(ValueByName(d_.get(), "ConnectionText"));
  }
  std::shared_ptr<RowAuthService> AuthService() override {
    DispatchPtr service = ObjectByName(d_.get(), "AuthService");
    if (!service) return nullptr;
    return std::make_shared<DispatchRowAuth>(std::move(service));
  }
  std::string RowAuthText() override { return VarToStr(ValueByName(d_.get(), "RowAuthText")); }
  Date LoginDate() override {
    VARIANT v = CallByName(d_.get(), "LoginDate", {});
    Arg date;
    const HRESULT hr = Coerce(v, Type::Date, date);
    VariantClear(&v);
    if (FAILED(hr)) Fail("LoginDate", hr, nullptr);
    return std::get<Date>(date);
  }

 private:
  DispatchPtr d_;
};

class DispatchSysInfo final : public SysInfo {
 public:
  explicit DispatchSysInfo(DispatchPtr d) : d_(std::move(d)) {}
  Variant Invoke(std::string_view member, const std::vector<Variant>& args) override {
    return ValueByName(d_.get(), std::string(member), args);
  }

 private:
  DispatchPtr d_;
};

// Stands in for the login when the caller's connection could not be reopened: InitManager then
// answers False as for any other failure, dropping the earlier context and keeping the reason
// for InitFailure.
class FailedLogin final : public Login {
 public:
  explicit FailedLogin(std::exception_ptr why) : why_(std::move(why)) {}
  std::string ConnectionText() override { std::rethrow_exception(why_); }
  std::shared_ptr<RowAuthService> AuthService() override { return nullptr; }
  std::string RowAuthText() override { return ""; }
  Date LoginDate() override { std::rethrow_exception(why_); }

 private:
  std::exception_ptr why_;
};

Arg InitManager(DispatchObject& o, std::vector<Arg>& a) {
  // It never raises: a login or connection that does not answer makes it answer False.
  try {
    auto& login = std::get<DispatchPtr>(a[0]);
    auto& info = std::get<DispatchPtr>(a[1]);
    auto& conn = std::get<DispatchPtr>(a[2]);
    std::shared_ptr<Connection> connection;
    if (conn) {
      // Only the caller's connection text is reused; the manager opens its own connection.
      try {
        connection = std::make_shared<Connection>();
        connection->Open(VarToStr(ValueByName(conn.get(), "ConnectionString")));
      } catch (...) {
        return Target<PriceRuleManager>(o).InitManager(
            std::make_shared<FailedLogin>(std::current_exception()), nullptr);
      }
    }
    return Target<PriceRuleManager>(o).InitManager(
        login ? std::make_shared<DispatchLogin>(login) : nullptr,
        info ? std::make_shared<DispatchSysInfo>(info) : nullptr, connection);
  } catch (const std::exception&) {
    return Variant(false);
  }
}

Arg Check(bool (Validator::*check)(const std::shared_ptr<PriceRule>&, std::string&),
          DispatchObject& o, std::vector<Arg>& a) {
  return (Target<Validator>(o).*check)(RuleArg(a[0]), std::get<std::string>(a[1]));
}
Arg CheckItem(bool (Validator::*check)(const std::shared_ptr<PriceRuleItem>&, std::string&),
              DispatchObject& o, std::vector<Arg>& a) {
  return (Target<Validator>(o).*check)(ItemArg(a[0]), std::get<std::string>(a[1]));
}

// The tiers as _NewEnum hands them out: a snapshot, so that changing the rule while a caller
// walks it neither skips nor repeats a tier.
// Like every published object it answers only on the thread that made it: its position is a
// plain counter.
struct Enumerator : IEnumVARIANT {
  std::atomic<ULONG> refs{1};
  std::vector<std::shared_ptr<PriceRuleItem>> items;
  size_t next = 0;
  std::thread::id owner = std::this_thread::get_id();

  static Enumerator& Of(IEnumVARIANT* p) { return *static_cast<Enumerator*>(p); }
  static bool Foreign(IEnumVARIANT* p) { return Of(p).owner != std::this_thread::get_id(); }
  static HRESULT QueryInterface(IEnumVARIANT* p, REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    const IID* id = IidPointer(riid);
    if (!id) return E_POINTER;
    if (Foreign(p)) return RPC_E_WRONG_THREAD;
    if (!SameGuid(id, IID_IUnknown) && !SameGuid(id, IID_IEnumVARIANT)) {
      return E_NOINTERFACE;
    }
    *out = p;
    ++Of(p).refs;
    return S_OK;
  }
  static ULONG AddRef(IEnumVARIANT* p) { return ++Of(p).refs; }
  static ULONG Release(IEnumVARIANT* p) {
    const ULONG left = --Of(p).refs;
    if (left == 0) delete &Of(p);
    return left;
  }
  static HRESULT Next(IEnumVARIANT* p, ULONG count, VARIANT* out, ULONG* fetched) {
    if (fetched) *fetched = 0;
    if (Foreign(p)) return RPC_E_WRONG_THREAD;
    if (count > 0 && !out) return E_POINTER;
    Enumerator& e = Of(p);
    ULONG n = 0;
    try {
      for (; n < count && e.next < e.items.size(); ++n) ToVariant(e.items[e.next++], out[n]);
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  static HRESULT Skip(IEnumVARIANT* p, ULONG count) {
    if (Foreign(p)) return RPC_E_WRONG_THREAD;
    Enumerator& e = Of(p);
    const size_t left = e.items.size() - e.next;
    e.next += std::min<size_t>(count, left);
    return count <= left ? S_OK : S_FALSE;
  }
  static HRESULT Reset(IEnumVARIANT* p) {
    if (Foreign(p)) return RPC_E_WRONG_THREAD;
    Of(p).next = 0;
    return S_OK;
  }
  static HRESULT Clone(IEnumVARIANT* p, IEnumVARIANT** out);
  static constexpr IEnumVARIANTVtbl kTable = {QueryInterface, AddRef, Release, Next,
                                              Skip,           Reset,  Clone};

  Enumerator() {
    lpVtbl = &kTable;
    ++g_live_objects;
  }
  ~Enumerator() { --g_live_objects; }
};

HRESULT Enumerator::Clone(IEnumVARIANT* p, IEnumVARIANT** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (Foreign(p)) return RPC_E_WRONG_THREAD;
  auto* copy = new (std::nothrow) Enumerator;
  if (!copy) return E_OUTOFMEMORY;
  copy->items = Of(p).items;
  copy->next = Of(p).next;
  *out = copy;
  return S_OK;
}

UnknownPtr Enumerate(const RuleItems& items) {
  auto* e = new Enumerator;
  // Item(key) rather than the entry itself: its handle keeps the rule alive, as objRule needs.
  for (const auto& [key, item] : items) e->items.push_back(items.Item(key));
  return UnknownPtr::Adopt(reinterpret_cast<IUnknown*>(static_cast<IEnumVARIANT*>(e)));
}

}  // namespace

template <>
const ClassInfo& InfoOf<PriceRuleItem>() {
  using I = PriceRuleItem;
  static const ClassInfo info{
      "PriceRuleItem",
      &IID__PriceRuleItem,
      {Field<&I::id>("id", 0x40030000),
       Field<&I::index>("index", 0x40030001),
       Field<&I::iLowerLimit>("iLowerLimit", 0x40030002),
       Field<&I::iUpperLimit>("iUpperLimit", 0x40030003),
       Field<&I::iUnitPrice>("iUnitPrice", 0x40030004),
       Field<&I::iTaxRate>("iTaxRate", 0x40030005),
       Field<&I::iTaxUnitPrice>("iTaxUnitPrice", 0x40030006),
       {"objRule",
        0x40030007,
        {},
        [](DispatchObject& o, std::vector<Arg>&) -> Arg { return Target<I>(o).objRule(); },
        Type::Rule,
        [](DispatchObject& o, Arg& v) { Target<I>(o).set_objRule(RuleArg(v)); },
        true}}};
  return info;
}

template <>
const ClassInfo& InfoOf<RuleItems>() {
  static const ClassInfo info{
      "RuleItems",
      nullptr,
      {Prop("Item", DISPID_VALUE, {{"key", Type::Value}},
            [](DispatchObject& o, std::vector<Arg>& a) -> Arg {
              // A tier's key is its number: Item(2) and Item("2") are the same tier.
              return Target<RuleItems>(o).Item(VarToStr(std::get<Variant>(a[0])));
            }),
       Prop("Count", 1, {},
            [](DispatchObject& o, std::vector<Arg>&) -> Arg {
              return Target<RuleItems>(o).Count();
            }),
       Prop("_NewEnum", DISPID_NEWENUM, {}, [](DispatchObject& o, std::vector<Arg>&) -> Arg {
         return Enumerate(Target<RuleItems>(o));
       })}};
  return info;
}

template <>
const ClassInfo& InfoOf<PriceRule>() {
  using R = PriceRule;
  static const ClassInfo info{
      "PriceRule",
      &IID__PriceRule,
      {Field<&R::id>("id", 0x40030000),
       Field<&R::cVenCode>("cVenCode", 0x40030001),
       Field<&R::cVenAbbName>("cVenAbbName", 0x40030002),
       Field<&R::cInvCode>("cInvCode", 0x40030003),
       Field<&R::cInvAddCode>("cInvAddCode", 0x40030004),
       Field<&R::cInvName>("cInvName", 0x40030005),
       Field<&R::cInvStd>("cInvStd", 0x40030006),
       Field<&R::iTaxRate>("iTaxRate", 0x40030007),
       Field<&R::cComUnitCode>("cComUnitCode", 0x40030008),
       Field<&R::cComUnitName>("cComUnitName", 0x40030009),
       Field<&R::dEnableDate>("dEnableDate", 0x4003000A),
       Field<&R::dDisableDate>("dDisableDate", 0x4003000B),
       Field<&R::bPromotion>("bPromotion", 0x4003000C),
       Field<&R::cExchName>("cExchName", 0x4003000D),
       Field<&R::iSupplyType>("iSupplyType", 0x4003000E),
       Field<&R::bTaxCost>("bTaxCost", 0x4003000F),
       Field<&R::cMemo>("cMemo", 0x40030010),
       Field<&R::ufts>("ufts", 0x40030011),
       Field<&R::cTermCode>("cTermCode", 0x40030012),
       Field<&R::cTermName>("cTermName", 0x40030013),
       Field<&R::bCheckOverLap>("bCheckOverLap", 0x40030014),
       {"ruleItems",
        0x40030015,
        {},
        [](DispatchObject& o, std::vector<Arg>&) -> Arg { return Wrap(Target<R>(o).ruleItems); },
        Type::Object,
        [](DispatchObject& o, Arg& v) {
          auto items = Unwrap<RuleItems>(std::get<DispatchPtr>(v).get());
          if (!items) throw std::invalid_argument("ruleItems takes the tiers of a price rule");
          Target<R>(o).ruleItems = std::move(items);
        },
        true},
       {"GetPriceRuleItem",
        0x60030000,
        {{"iquantity", Type::Double}},
        [](DispatchObject& o, std::vector<Arg>& a) -> Arg {
          return Target<R>(o).GetPriceRuleItem(std::get<double>(a[0]));
        }},
       {"AddRuleItem",
        0x60030001,
        {},
        [](DispatchObject& o, std::vector<Arg>&) -> Arg { return Target<R>(o).AddRuleItem(); }},
       {"RemoveRuleItem",
        0x60030002,
        {kIndex},
        [](DispatchObject& o, std::vector<Arg>& a) -> Arg {
          Target<R>(o).RemoveRuleItem(std::get<int16_t>(a[0]));
          return {};
        }},
       {"AdjustRuleItem", 0x60030003, {kIndex}, [](DispatchObject& o, std::vector<Arg>& a) -> Arg {
          Target<R>(o).AdjustRuleItem(std::get<int16_t>(a[0]));
          return {};
        }}}};
  return info;
}

template <>
const ClassInfo& InfoOf<Validator>() {
  using V = Validator;
  static const ClassInfo info{
      "Validator",
      &IID__Validator,
      {{"VerifyRule",
        0x60030000,
        {kRule},
        [](DispatchObject& o, std::vector<Arg>& a) -> Arg {
          Target<V>(o).VerifyRule(RuleArg(a[0]));
          return {};
        }},
       {"CheckInv",
        0x60030002,
        {kRule, kErrstr},
        [](DispatchObject& o, std::vector<Arg>& a) { return Check(&V::CheckInv, o, a); }},
       {"CheckSupplyType",
        0x60030003,
        {kRule, kErrstr},
        [](DispatchObject& o, std::vector<Arg>& a) { return Check(&V::CheckSupplyType, o, a); }},
       {"CheckVen",
        0x60030004,
        {kRule, kErrstr},
        [](DispatchObject& o, std::vector<Arg>& a) { return Check(&V::CheckVen, o, a); }},
       {"CheckUnitPrice",
        0x60030005,
        {{"ruleItem", Type::Item, kInOut}, kErrstr},
        [](DispatchObject& o, std::vector<Arg>& a) { return CheckItem(&V::CheckUnitPrice, o, a); }},
       {"CheckTaxUnitPrice",
        0x60030006,
        {{"ruleItem", Type::Item, kInOut}, kErrstr},
        [](DispatchObject& o, std::vector<Arg>& a) {
          return CheckItem(&V::CheckTaxUnitPrice, o, a);
        }},
       {"CheckTaxRate",
        0x60030007,
        {{"ruleItem", Type::Item, kInOut}, kErrstr},
        [](DispatchObject& o, std::vector<Arg>& a) { return CheckItem(&V::CheckTaxRate, o, a); }},
       {"CheckExchName",
        0x60030008,
        {kRule, kErrstr},
        [](DispatchObject& o, std::vector<Arg>& a) { return Check(&V::CheckExchName, o, a); }},
       {"CheckRuleOverLap",
        0x60030009,
        {kRule, kErrstr},
        [](DispatchObject& o, std::vector<Arg>& a) { return Check(&V::CheckRuleOverLap, o, a); }},
       {"CheckCoItem", 0x6003000A, {kRule, kErrstr}, [](DispatchObject& o, std::vector<Arg>& a) {
          return Check(&V::CheckCoItem, o, a);
        }}}};
  return info;
}

// A result set: Fields("name") gives the value of the current row's field directly.
template <>
const ClassInfo& InfoOf<Recordset>() {
  using S = Recordset;
  static const ClassInfo info{
      "Recordset",
      nullptr,
      {Prop("Fields", DISPID_VALUE, {{"name", Type::Text}},
            [](DispatchObject& o, std::vector<Arg>& a) -> Arg {
              return Target<S>(o).Fields(Text(a[0]));
            }),
       Prop("EOF", 1, {},
            [](DispatchObject& o, std::vector<Arg>&) -> Arg { return Target<S>(o).Eof(); }),
       Prop("BOF", 2, {},
            [](DispatchObject& o, std::vector<Arg>&) -> Arg { return Target<S>(o).Bof(); }),
       Prop("RecordCount", 3, {},
            [](DispatchObject& o, std::vector<Arg>&) -> Arg { return Target<S>(o).RecordCount(); }),
       {"MoveNext",
        4,
        {},
        [](DispatchObject& o, std::vector<Arg>&) -> Arg {
          Target<S>(o).MoveNext();
          return {};
        }},
       {"MoveFirst",
        5,
        {},
        [](DispatchObject& o, std::vector<Arg>&) -> Arg {
          Target<S>(o).MoveFirst();
          return {};
        }},
       {"Filter",
        6,
        {},
        nullptr,
        Type::Text,
        [](DispatchObject& o, Arg& v) { Target<S>(o).Filter(Text(v)); },
        true},
       {"Close",
        7,
        {},
        [](DispatchObject& o, std::vector<Arg>&) -> Arg {
          Target<S>(o).Close();
          return {};
        }},
       Prop("FieldCount", 8, {},
            [](DispatchObject& o, std::vector<Arg>&) -> Arg { return Target<S>(o).FieldCount(); }),
       Prop("FieldName", 9, {{"index", Type::Long}},
            [](DispatchObject& o, std::vector<Arg>& a) -> Arg {
              return Target<S>(o).FieldName(std::get<int32_t>(a[0]));
            })}};
  return info;
}

template <>
const ClassInfo& InfoOf<PriceRuleManager>() {
  using M = PriceRuleManager;
  static const ClassInfo info{
      "PriceRuleManager",
      &IID__PriceRuleManager,
      {{"GetVenInvPriceRule",
        0x60030000,
        {{"venCode", Type::Text},
         {"invCode", Type::Text},
         {"ddate", Type::Date},
         kExchName,
         kSupplyType,
         kXml},
        [](DispatchObject& o, std::vector<Arg>& a) -> Arg {
          return Target<M>(o).GetVenInvPriceRule(Text(a[0]), Text(a[1]), std::get<Date>(a[2]),
                                                 Text(a[3]), std::get<int32_t>(a[4]), Text(a[5]));
        }},
       {"GetVenInvPriceRuleItem",
        0x60030001,
        {{"venCode", Type::Text},
         {"invCode", Type::Text},
         {"ddate", Type::Date},
         {"iquantity", Type::Double},
         kExchName,
         kSupplyType,
         kXml},
        [](DispatchObject& o, std::vector<Arg>& a) -> Arg {
          return Target<M>(o).GetVenInvPriceRuleItem(Text(a[0]), Text(a[1]), std::get<Date>(a[2]),
                                                     std::get<double>(a[3]), Text(a[4]),
                                                     std::get<int32_t>(a[5]), Text(a[6]));
        }},
       {"ComparePrice",
        0x60030002,
        {{"invCode", Type::Text}, {"iquantity", Type::Double}, kSupplyType, kXml},
        [](DispatchObject& o, std::vector<Arg>& a) -> Arg {
          return Target<M>(o).ComparePrice(Text(a[0]), std::get<double>(a[1]),
                                           std::get<int32_t>(a[2]), Text(a[3]));
        }},
       {"NewVenInvPriceRule",
        0x60030003,
        {},
        [](DispatchObject& o, std::vector<Arg>&) -> Arg {
          return Target<M>(o).NewVenInvPriceRule();
        }},
       {"GetbTaxType",
        0x60030004,
        {{"id", Type::Text}, {"bulTaxType", Type::Bool, kInOut}},
        [](DispatchObject& o, std::vector<Arg>& a) -> Arg {
          return Target<M>(o).GetbTaxType(Text(a[0]), std::get<bool>(a[1]));
        }},
       {"LoadVenInvPriceRule",
        0x60030005,
        {{"id", Type::Long}},
        [](DispatchObject& o, std::vector<Arg>& a) -> Arg {
          return Target<M>(o).LoadVenInvPriceRule(std::get<int32_t>(a[0]));
        }},
       {"CreateVenInvPriceRule",
        0x60030008,
        {kRule},
        [](DispatchObject& o, std::vector<Arg>& a) -> Arg {
          Target<M>(o).CreateVenInvPriceRule(RuleArg(a[0]));
          return {};
        }},
       {"SaveVenInvPriceRule",
        0x60030009,
        {kRule},
        [](DispatchObject& o, std::vector<Arg>& a) -> Arg {
          Target<M>(o).SaveVenInvPriceRule(RuleArg(a[0]));
          return {};
        }},
       {"RemoveVenInvPriceRule",
        0x6003000A,
        {{"id", Type::Long}},
        [](DispatchObject& o, std::vector<Arg>& a) -> Arg {
          Target<M>(o).RemoveVenInvPriceRule(std::get<int32_t>(a[0]));
          return {};
        }},
       {"ListVenInvPriceRuleItems",
        0x6003000B,
        {{"filter", Type::Text}},
        [](DispatchObject& o, std::vector<Arg>& a) -> Arg {
          return Wrap(Target<M>(o).ListVenInvPriceRuleItems(Text(a[0])));
        }},
       {"ListVenInvPriceRules",
        0x6003000C,
        {{"filter", Type::Text}},
        [](DispatchObject& o, std::vector<Arg>& a) -> Arg {
          return Wrap(Target<M>(o).ListVenInvPriceRules(Text(a[0])));
        }},
       {"GetValidator",
        0x6003000D,
        {},
        [](DispatchObject& o, std::vector<Arg>&) -> Arg {
          return Wrap(Target<M>(o).GetValidator());
        }},
       {"InitManager",
        0x6003000E,
        {{"login", Type::Object, kInOut},
         {"info", Type::Object, kInOut},
         {"conn", Type::Object, kInOut | kOptional}},
        InitManager},
       {"ExitManager",
        0x6003000F,
        {},
        [](DispatchObject& o, std::vector<Arg>&) -> Arg { return Target<M>(o).ExitManager(); }},
       // Beyond the suite's members: InitManager answers only False; this says why.
       Prop("InitFailure", kInitFailureId, {},
            [](DispatchObject& o, std::vector<Arg>&) -> Arg { return Target<M>(o).InitFailure(); }),
       Prop("ErrorKey", kErrorKeyId, {},
            [](DispatchObject&, std::vector<Arg>&) -> Arg { return LastErrorKey(); })}};
  return info;
}

}  // namespace tamsel::publish
