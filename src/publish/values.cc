#include "publish/values.h"

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "common/text.h"
#include "common/utf16.h"
#include "publish/platform.h"

namespace tamsel::publish {
namespace {

// 1899-12-30, day 0 of the standard's dates, counted from 1970-01-01.
constexpr int64_t kOleEpochDays = -25569;

double Round(double d) { return std::nearbyint(d); }  // half to even, as the standard rounds

template <class Int>
HRESULT ToInt(const Variant& v, Arg& out) {
  double d;
  switch (v.type()) {
    case VarType::Empty:
      d = 0;
      break;
    case VarType::Boolean:
      d = v.AsBool() ? -1 : 0;
      break;
    case VarType::String: {
      const auto n = detail::ParseNumber(v.AsString());
      if (!n) return DISP_E_TYPEMISMATCH;
      d = *n;
      break;
    }
    default:
      if (!v.IsNumeric()) return DISP_E_TYPEMISMATCH;
      d = VarToDbl(v);
  }
  d = Round(d);
  if (!(d >= std::numeric_limits<Int>::min() && d <= std::numeric_limits<Int>::max())) {
    return DISP_E_OVERFLOW;
  }
  out = static_cast<Int>(d);
  return S_OK;
}

}  // namespace

BSTR ToBstr(std::string_view utf8) {
  // Texts come from the database as they are: a malformed byte becomes U+FFFD, not a failure.
  const std::u16string units = detail::Utf8ToUtf16Replacing(utf8);
  // OLECHAR is char16_t here and wchar_t on Windows: both UTF-16 code units.
  BSTR b = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(units.data()),
                             static_cast<UINT>(units.size()));
  if (!b) throw std::bad_alloc();
  return b;
}

std::string FromBstr(const OLECHAR* text, size_t units) {
  return detail::Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), units));
}

std::string FromBstr(BSTR text) { return FromBstr(text, SysStringLen(text)); }

std::string FromOleString(LPCOLESTR text) {
  size_t n = 0;
  while (text && text[n]) ++n;
  return FromBstr(text, n);
}

double ToOleDate(const Date& d) {
  const double day = static_cast<double>(d.days() - kOleEpochDays);
  const double time = d.seconds_of_day() / 86400.0;
  return day >= 0 ? day + time : day - time;  // before day 0 the time still counts forwards
}

bool FromOleDate(double ole, Date& out) {
  if (!std::isfinite(ole) || std::fabs(ole) > 3e6) return false;
  double whole = std::trunc(ole);
  auto seconds = static_cast<int64_t>(std::llround(std::fabs(ole - whole) * 86400.0));
  if (seconds >= 86400) {  // rounded up to the next midnight
    seconds = 0;
    whole += ole >= 0 ? 1 : -1;
  }
  try {
    const Date day = Date::FromYmd(1970, 1, 1).AddDays(static_cast<int64_t>(whole) + kOleEpochDays);
    out = Date::FromYmdHms(day.year(), day.month(), day.day(), static_cast<int>(seconds / 3600),
                           static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

HRESULT ToValue(const VARIANT& in, Variant& out) {
  const VARIANT* v = &in;
  if (v->vt == (VT_BYREF | VT_VARIANT)) {
    if (!v->pvarVal) return DISP_E_TYPEMISMATCH;
    v = v->pvarVal;
  }
  const bool ref = (v->vt & VT_BYREF) != 0;
  if (ref && !v->byref) return DISP_E_TYPEMISMATCH;
  switch (v->vt & ~VT_BYREF) {
    case VT_EMPTY:
      out = Variant();
      return ref ? DISP_E_TYPEMISMATCH : S_OK;
    case VT_NULL:
      out = Variant::Null();
      return ref ? DISP_E_TYPEMISMATCH : S_OK;
    case VT_I2:
      out = Variant(ref ? *v->piVal : v->iVal);
      return S_OK;
    case VT_I4:
    case VT_INT:
      out = Variant(static_cast<int32_t>(ref ? *v->plVal : v->lVal));  // LONG is long on Windows
      return S_OK;
    case VT_R4:
      out = Variant(ref ? *v->pfltVal : v->fltVal);
      return S_OK;
    case VT_R8:
      out = Variant(ref ? *v->pdblVal : v->dblVal);
      return S_OK;
    case VT_CY:
      out = Variant::Currency(static_cast<double>(ref ? v->pcyVal->int64 : v->cyVal.int64) / 1e4);
      return S_OK;
    case VT_DATE: {
      Date d;
      if (!FromOleDate(ref ? *v->pdate : v->date, d)) return DISP_E_OVERFLOW;
      out = Variant(d);
      return S_OK;
    }
    case VT_BSTR:
      out = Variant(FromBstr(ref ? *v->pbstrVal : v->bstrVal));
      return S_OK;
    case VT_BOOL:
      out = Variant((ref ? *v->pboolVal : v->boolVal) != VARIANT_FALSE);
      return S_OK;
    case VT_ERROR:
      out = Variant::Error(ref ? *v->pscode : v->scode);
      return S_OK;
    case VT_UI1:
      out = Variant(static_cast<uint8_t>(ref ? *v->pbVal : v->bVal));
      return S_OK;
    case VT_I8: {
      const int64_t n = ref ? *v->pllVal : v->llVal;
      if (n >= INT32_MIN && n <= INT32_MAX) {
        out = Variant(static_cast<int32_t>(n));
      } else {
        out = Variant(static_cast<double>(n));
      }
      return S_OK;
    }
    default:
      return v->vt & VT_ARRAY ? DISP_E_TYPEMISMATCH : DISP_E_BADVARTYPE;
  }
}

HRESULT Coerce(const VARIANT& in, Type type, Arg& out) {
  const VARIANT* v = in.vt == (VT_BYREF | VT_VARIANT) && in.pvarVal ? in.pvarVal : &in;
  const VARTYPE base = v->vt & ~VT_BYREF;
  if (type == Type::Rule || type == Type::Item || type == Type::Object) {
    IDispatch* d = nullptr;
    if (base == VT_DISPATCH || base == VT_UNKNOWN) {
      d = v->vt & VT_BYREF ? (v->ppdispVal ? *v->ppdispVal : nullptr) : v->pdispVal;
    } else if (base != VT_EMPTY && base != VT_NULL) {  // both stand for "no object"
      return DISP_E_TYPEMISMATCH;
    }
    // An IUnknown is asked for IDispatch, and that reference is kept until done: the object may
    // hand out a separately counted interface that a release would free.
    DispatchPtr queried;
    if (d && base == VT_UNKNOWN) {
      void* p = nullptr;
      auto* u = reinterpret_cast<IUnknown*>(d);
      if (FAILED(u->lpVtbl->QueryInterface(u, IidArgument(IID_IDispatch), &p)) || !p) {
        return DISP_E_TYPEMISMATCH;
      }
      queried = DispatchPtr::Adopt(static_cast<IDispatch*>(p));
      d = queried.get();
    }
    // Our objects answer only on their own thread, and so they serve as arguments only there;
    // the caller's own objects (a login, an info object) are the caller's business.
    if (const DispatchObject* ours = DispatchObject::From(d); ours && !ours->OnOwnerThread()) {
      return RPC_E_WRONG_THREAD;
    }
    if (type == Type::Object) {
      out = queried ? std::move(queried) : DispatchPtr::Share(d);
    } else if (type == Type::Rule) {
      auto rule = Unwrap<PriceRule>(d);
      if (d && !rule) return DISP_E_TYPEMISMATCH;
      out = std::move(rule);
    } else {
      auto item = Unwrap<PriceRuleItem>(d);
      if (d && !item) return DISP_E_TYPEMISMATCH;
      out = std::move(item);
    }
    return S_OK;
  }
  Variant value;
  if (const HRESULT hr = ToValue(in, value); FAILED(hr)) return hr;
  if (value.IsNull() || value.type() == VarType::Error) {
    if (type != Type::Value) return DISP_E_TYPEMISMATCH;
  }
  switch (type) {
    case Type::Value:
      out = std::move(value);
      return S_OK;
    case Type::Text:
      out = VarToStr(value);
      return S_OK;
    case Type::Long:
      return ToInt<int32_t>(value, out);
    case Type::Short:
      return ToInt<int16_t>(value, out);
    case Type::Double:
      if (value.type() == VarType::String) {
        const auto n = detail::ParseNumber(value.AsString());
        if (!n) return DISP_E_TYPEMISMATCH;
        out = *n;
      } else if (value.IsNumeric() || value.IsEmpty() || value.type() == VarType::Boolean) {
        out = value.type() == VarType::Boolean ? (value.AsBool() ? -1.0 : 0.0) : VarToDbl(value);
      } else {
        return DISP_E_TYPEMISMATCH;
      }
      return S_OK;
    case Type::Bool:
      if (value.type() == VarType::String) {
        const std::string& s = value.AsString();
        if (detail::EqualsNoCase(s, "True")) {
          out = true;
        } else if (detail::EqualsNoCase(s, "False")) {
          out = false;
        } else if (const auto n = detail::ParseNumber(s)) {
          out = *n != 0;
        } else {
          return DISP_E_TYPEMISMATCH;
        }
      } else if (value.type() == VarType::Date) {
        return DISP_E_TYPEMISMATCH;
      } else {
        out = value.IsEmpty()                    ? false
              : value.type() == VarType::Boolean ? value.AsBool()
                                                 : VarToDbl(value) != 0;
      }
      return S_OK;
    case Type::Date: {
      Date d;
      if (value.type() == VarType::Date) {
        d = value.AsDate();
      } else if (value.type() == VarType::String) {
        const Variant parsed = TextToDate(value.AsString());
        if (parsed.type() != VarType::Date) return DISP_E_TYPEMISMATCH;
        d = parsed.AsDate();
      } else if (value.IsNumeric() || value.IsEmpty()) {
        if (!FromOleDate(value.IsEmpty() ? 0 : VarToDbl(value), d)) return DISP_E_OVERFLOW;
      } else {
        return DISP_E_TYPEMISMATCH;
      }
      out = d;
      return S_OK;
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

namespace {

void FromValue(const Variant& value, VARIANT& out) {
  switch (value.type()) {
    case VarType::Empty:
      out.vt = VT_EMPTY;
      break;
    case VarType::Null:
      out.vt = VT_NULL;
      break;
    case VarType::Integer:
      out.vt = VT_I2;
      out.iVal = value.AsInteger();
      break;
    case VarType::Long:
      out.vt = VT_I4;
      out.lVal = value.AsLong();
      break;
    case VarType::Single:
      out.vt = VT_R4;
      out.fltVal = value.AsSingle();
      break;
    case VarType::Currency:
      out.vt = VT_CY;
      out.cyVal.int64 = std::llround(VarToDbl(value) * 1e4);
      break;
    case VarType::Date:
      out.vt = VT_DATE;
      out.date = ToOleDate(value.AsDate());
      break;
    case VarType::String:
      out.bstrVal = ToBstr(value.AsString());
      out.vt = VT_BSTR;
      break;
    case VarType::Boolean:
      out.vt = VT_BOOL;
      out.boolVal = value.AsBool() ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    case VarType::Error:
      out.vt = VT_ERROR;
      out.scode = value.AsError();
      break;
    case VarType::Byte:
      out.vt = VT_UI1;
      out.bVal = value.AsByte();
      break;
    case VarType::Object:
      throw std::invalid_argument("an object held in a value has no published form");
    default:  // Double and Decimal: a double carries every decimal the database gives
      out.vt = VT_R8;
      out.dblVal = VarToDbl(value);
  }
}

}  // namespace

void ToVariant(Arg&& value, VARIANT& out) {
  VariantInit(&out);
  std::visit(
      [&out](auto&& x) {
        using X = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<X, std::string>) {
          out.bstrVal = ToBstr(x);
          out.vt = VT_BSTR;
        } else if constexpr (std::is_same_v<X, int32_t>) {
          out.vt = VT_I4;
          out.lVal = x;
        } else if constexpr (std::is_same_v<X, int16_t>) {
          out.vt = VT_I2;
          out.iVal = x;
        } else if constexpr (std::is_same_v<X, double>) {
          out.vt = VT_R8;
          out.dblVal = x;
        } else if constexpr (std::is_same_v<X, bool>) {
          out.vt = VT_BOOL;
          out.boolVal = x ? VARIANT_TRUE : VARIANT_FALSE;
        } else if constexpr (std::is_same_v<X, Date>) {
          out.vt = VT_DATE;
          out.date = ToOleDate(x);
        } else if constexpr (std::is_same_v<X, Variant>) {
          FromValue(x, out);
        } else if constexpr (std::is_same_v<X, std::shared_ptr<PriceRule>> ||
                             std::is_same_v<X, std::shared_ptr<PriceRuleItem>>) {
          out.pdispVal = Wrap(x).release();
          out.vt = VT_DISPATCH;  // none: Nothing, a null object
        } else if constexpr (std::is_same_v<X, DispatchPtr>) {
          out.pdispVal = x.release();
          out.vt = VT_DISPATCH;
        } else if constexpr (std::is_same_v<X, UnknownPtr>) {
          out.punkVal = x.release();
          out.vt = VT_UNKNOWN;
        }
      },
      std::move(value));
}

bool TakesBack(const VARIANT& arg, Type type) {
  if (!(arg.vt & VT_BYREF) || arg.vt == (VT_BYREF | VT_VARIANT)) return true;
  switch (type) {
    case Type::Text:
      return arg.vt == (VT_BYREF | VT_BSTR);
    case Type::Bool:
      return arg.vt == (VT_BYREF | VT_BOOL);
    case Type::Short:
      return arg.vt == (VT_BYREF | VT_I2);
    case Type::Rule:
    case Type::Item:
    case Type::Object:
      return true;
    default:
      return false;
  }
}

void WriteBack(const VARIANT& arg, Arg&& value) {
  if (!(arg.vt & VT_BYREF) || !arg.byref) return;
  // Objects change in place: the caller's reference already sees them.
  if (std::holds_alternative<std::shared_ptr<PriceRule>>(value) ||
      std::holds_alternative<std::shared_ptr<PriceRuleItem>>(value) ||
      std::holds_alternative<DispatchPtr>(value) || std::holds_alternative<UnknownPtr>(value)) {
    return;
  }
  if (arg.vt == (VT_BYREF | VT_VARIANT)) {
    VARIANT fresh;
    ToVariant(std::move(value), fresh);
    VariantClear(arg.pvarVal);
    *arg.pvarVal = fresh;
    return;
  }
  if (arg.vt == (VT_BYREF | VT_BSTR) && std::holds_alternative<std::string>(value)) {
    BSTR fresh = ToBstr(std::get<std::string>(value));
    SysFreeString(*arg.pbstrVal);
    *arg.pbstrVal = fresh;
  } else if (arg.vt == (VT_BYREF | VT_BOOL) && std::holds_alternative<bool>(value)) {
    *arg.pboolVal = std::get<bool>(value) ? VARIANT_TRUE : VARIANT_FALSE;
  } else if (arg.vt == (VT_BYREF | VT_I2) && std::holds_alternative<int16_t>(value)) {
    *arg.piVal = std::get<int16_t>(value);
  }
}

}  // namespace tamsel::publish
