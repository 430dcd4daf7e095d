#pragma once

// VARIANT and BSTR conversions: between the published values and the component's.

#include <string>
#include <string_view>

#include "publish/dispatch.h"

namespace tamsel::publish {

BSTR ToBstr(std::string_view utf8);  // throws std::bad_alloc when out of memory
std::string FromBstr(const OLECHAR* text, size_t units);
std::string FromBstr(BSTR text);
std::string FromOleString(LPCOLESTR text);  // 0-terminated

#ifndef _WIN32  // Windows has oleaut32's
void VariantInit(VARIANT* v);
// Frees what v holds (text, object reference) and leaves it Empty.
void VariantClear(VARIANT* v);
#endif

double ToOleDate(const Date& d);
bool FromOleDate(double ole, Date& out);  // false outside the years 1 to 9999

// A caller's argument as a value of the type a parameter takes, following VT_BYREF. On failure
// DISP_E_TYPEMISMATCH or DISP_E_OVERFLOW and out is untouched.
HRESULT Coerce(const VARIANT& in, Type type, Arg& out);
// Any value but an object, as the component's nullable value.
HRESULT ToValue(const VARIANT& in, Variant& out);
// A result into an Empty VARIANT; objects pass their reference on.
void ToVariant(Arg&& value, VARIANT& out);
// Whether WriteBack can hand a value of type back through arg: an argument passed by value (there
// is nothing to write), a reference to a VARIANT, or a reference of exactly the parameter's own
// type. Objects change in place, so any reference to one will do.
bool TakesBack(const VARIANT& arg, Type type);
// The new value of an in/out argument, written where a VT_BYREF argument points to; an argument
// passed by value is left alone, as the caller asked.
void WriteBack(const VARIANT& arg, Arg&& value);

}  // namespace tamsel::publish
