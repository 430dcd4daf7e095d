"""The ctypes layer under the tamsel package: Tamsel's published dispatch interface, by name.

    import datetime, tamsel_client as tc
    mgr = tc.create("Tamsel.PriceRuleManager")
    mgr.InitManager(tc.expose(login), tc.expose(info))
    rule = mgr.GetVenInvPriceRule("V001", "A01", datetime.date(2026, 11, 15))

Attribute access reads a property or gives a method to call (GetIDsOfNames, then Invoke);
keyword arguments are passed as named arguments; assignment puts a property. Values: str, int, float, bool, None for Null, Empty for a value never
set, datetime.date / datetime.datetime for dates; dispatch objects come back wrapped again.
A failing call raises ComponentError (the component error, from EXCEPINFO) or DispatchError,
both an Error. Objects answer only on the thread that created them.
"""

import ctypes as C
import datetime as _dt
import json
import os
from typing import Any, Callable, Dict, List, Optional, Set, Tuple

__all__ = ["Dispatch", "Empty", "Missing", "Ref", "Error", "ComponentError", "DispatchError",
           "can_unload", "create", "expose", "register", "unregister", "registry_path"]

S_OK = 0
DISP_E_MEMBERNOTFOUND = -2147352573
DISP_E_PARAMNOTFOUND = -2147352572
DISP_E_EXCEPTION = -2147352567
DISP_E_UNKNOWNNAME = -2147352570
DISP_E_BADPARAMCOUNT = -2147352562
DISP_E_PARAMNOTOPTIONAL = -2147352561
DISP_E_TYPEMISMATCH = -2147352571
DISP_E_OVERFLOW = -2147352566
E_NOINTERFACE = -2147467262
E_INVALIDARG = -2147024809
RPC_E_WRONG_THREAD = -2147417842
COMPONENT_ERROR = -2147220503
METHOD, PROPERTYGET, PROPERTYPUT, PROPERTYPUTREF = 1, 2, 4, 8
DISPID_PROPERTYPUT, DISPID_NEWENUM = -3, -4
(VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_R4, VT_R8, VT_CY, VT_DATE, VT_BSTR, VT_DISPATCH, VT_ERROR,
 VT_BOOL, VT_VARIANT, VT_UNKNOWN) = range(14)
VT_UI1, VT_I8, VT_BYREF = 17, 20, 0x4000
_OLE_EPOCH = _dt.datetime(1899, 12, 30)


class GUID(C.Structure):
    _fields_ = [("Data1", C.c_uint32), ("Data2", C.c_uint16), ("Data3", C.c_uint16),
                ("Data4", C.c_uint8 * 8)]

    @classmethod
    def parse(cls, text: str) -> "GUID":
        a, b, c, d, e = text.strip("{}").split("-")
        return cls(int(a, 16), int(b, 16), int(c, 16), (C.c_uint8 * 8)(*bytes.fromhex(d + e)))


IID_NULL = GUID()
IID_IUnknown = GUID.parse("{00000000-0000-0000-C000-000000000046}")
IID_IClassFactory = GUID.parse("{00000001-0000-0000-C000-000000000046}")
IID_IDispatch = GUID.parse("{00020400-0000-0000-C000-000000000046}")
IID_IEnumVARIANT = GUID.parse("{00020404-0000-0000-C000-000000000046}")


class _Union(C.Union):
    _fields_ = [("llVal", C.c_int64), ("lVal", C.c_int32), ("iVal", C.c_int16),
                ("bVal", C.c_uint8), ("fltVal", C.c_float), ("dblVal", C.c_double),
                ("boolVal", C.c_int16), ("scode", C.c_int32), ("date", C.c_double),
                ("ptr", C.c_void_p), ("record", C.c_void_p * 2)]


class VARIANT(C.Structure):
    _anonymous_ = ("u",)
    _fields_ = [("vt", C.c_uint16), ("r1", C.c_uint16), ("r2", C.c_uint16), ("r3", C.c_uint16),
                ("u", _Union)]


class DISPPARAMS(C.Structure):
    _fields_ = [("rgvarg", C.POINTER(VARIANT)), ("rgdispidNamedArgs", C.POINTER(C.c_int32)),
                ("cArgs", C.c_uint), ("cNamedArgs", C.c_uint)]


class EXCEPINFO(C.Structure):
    _fields_ = [("wCode", C.c_uint16), ("wReserved", C.c_uint16), ("bstrSource", C.c_void_p),
                ("bstrDescription", C.c_void_p), ("bstrHelpFile", C.c_void_p),
                ("dwHelpContext", C.c_uint32), ("pvReserved", C.c_void_p),
                ("pfnDeferredFillIn", C.c_void_p), ("scode", C.c_int32)]


_HR = C.c_int32
_QueryInterface = C.CFUNCTYPE(_HR, C.c_void_p, C.POINTER(GUID), C.POINTER(C.c_void_p))
_AddRef = C.CFUNCTYPE(C.c_uint32, C.c_void_p)
_GetTypeInfoCount = C.CFUNCTYPE(_HR, C.c_void_p, C.POINTER(C.c_uint))
_GetTypeInfo = C.CFUNCTYPE(_HR, C.c_void_p, C.c_uint, C.c_uint32, C.POINTER(C.c_void_p))
_GetIDsOfNames = C.CFUNCTYPE(_HR, C.c_void_p, C.POINTER(GUID), C.POINTER(C.c_void_p), C.c_uint,
                             C.c_uint32, C.POINTER(C.c_int32))
_Invoke = C.CFUNCTYPE(_HR, C.c_void_p, C.c_int32, C.POINTER(GUID), C.c_uint32, C.c_uint16,
                      C.POINTER(DISPPARAMS), C.POINTER(VARIANT), C.POINTER(EXCEPINFO),
                      C.POINTER(C.c_uint))
_Next = C.CFUNCTYPE(_HR, C.c_void_p, C.c_uint32, C.POINTER(VARIANT), C.POINTER(C.c_uint32))
_CreateInstance = C.CFUNCTYPE(_HR, C.c_void_p, C.c_void_p, C.POINTER(GUID), C.POINTER(C.c_void_p))


class _IDispatchVtbl(C.Structure):
    _fields_ = [("QueryInterface", _QueryInterface), ("AddRef", _AddRef), ("Release", _AddRef),
                ("GetTypeInfoCount", _GetTypeInfoCount), ("GetTypeInfo", _GetTypeInfo),
                ("GetIDsOfNames", _GetIDsOfNames), ("Invoke", _Invoke)]


def _method(ptr: Any, index: int, proto: Any) -> Any:
    vtbl = C.cast(ptr, C.POINTER(C.POINTER(C.c_void_p)))[0]
    return proto(vtbl[index])


class _EmptyType:
    """A value never assigned (VT_EMPTY), apart from Null (None)."""
    def __bool__(self) -> bool:
        return False

    def __repr__(self) -> str:
        return "Empty"


Empty = _EmptyType()
Missing = object()  # an optional argument left out in the middle: it takes its default


class Ref:
    """An in/out argument: after the call, value holds what the callee wrote back."""
    def __init__(self, value: Any = None) -> None:
        self.value = value


class Error(Exception):
    """Any failure of the component or of a call into it.

    number: the error number (-2147220503 for the component's own errors, else an HRESULT or 0);
    source: "Assert", "Error", "DatabaseError", ...; description: the text; key: the message key
    of one of the component's own messages ("Zorvik.pu.Quorlin.00059"), else ""."""

    def __init__(self, description: str, *, number: int = 0, source: str = "",
                 key: str = "") -> None:
        super().__init__(description)
        self.number, self.source, self.description, self.key = number, source, description, key

    def __repr__(self) -> str:
        extra = "".join(f", {name}={value!r}" for name, value in
                        (("source", self.source), ("key", self.key)) if value)
        return f"{type(self).__name__}({self.description!r}{extra})"


_MEANINGS = {
    DISP_E_MEMBERNOTFOUND: "no such member, or not callable this way",
    DISP_E_UNKNOWNNAME: "no such name",
    DISP_E_PARAMNOTFOUND: "no such parameter",
    DISP_E_TYPEMISMATCH: "wrong type",
    DISP_E_OVERFLOW: "value out of range",
    DISP_E_BADPARAMCOUNT: "wrong number of arguments",
    DISP_E_PARAMNOTOPTIONAL: "a required argument is missing",
    E_INVALIDARG: "invalid argument",
    E_NOINTERFACE: "interface not supported",
    RPC_E_WRONG_THREAD: "called from a thread other than the one that created the object",
}


class DispatchError(Error):
    """A call the dispatch interface refused; hresult says why, the text in words."""

    def __init__(self, hresult: int, what: str) -> None:
        meaning = _MEANINGS.get(hresult, f"error 0x{hresult & 0xFFFFFFFF:08X}")
        super().__init__(f"{what}: {meaning}", number=hresult)
        self.hresult = hresult


class ComponentError(DispatchError):
    """The component's error (number -2147220503) or another failure raised by the callee."""

    def __init__(self, number: int, source: str, description: str, key: str = "") -> None:
        Error.__init__(self, description, number=number, source=source, key=key)
        self.hresult = DISP_E_EXCEPTION


# The library whose BSTR functions this process uses; set when a component library loads.
_lib: Any = None
_libraries: Dict[str, Any] = {}


def _load(path: str) -> Any:
    """The component library at path, or by name through the system loader."""
    global _lib
    if path not in _libraries:
        try:
            lib = C.CDLL(path)
        except OSError as e:
            raise Error(f"cannot load the component library: {e}") from None
        lib.SysAllocStringLen.restype = C.c_void_p
        lib.SysAllocStringLen.argtypes = [C.c_char_p, C.c_uint]
        lib.SysFreeString.argtypes = [C.c_void_p]
        lib.SysStringLen.restype = C.c_uint
        lib.SysStringLen.argtypes = [C.c_void_p]
        lib.DllGetClassObject.argtypes = [C.POINTER(GUID), C.POINTER(GUID),
                                          C.POINTER(C.c_void_p)]
        for name in ("DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer",
                     "DllUnregisterServer"):
            getattr(lib, name).restype = C.c_int32
        _libraries[path] = lib
        _lib = _lib or lib
    return _libraries[path]


def _bstr(text: str) -> int:
    data = text.encode("utf-16-le", "surrogatepass")
    p: Optional[int] = _lib.SysAllocStringLen(data, len(data) // 2)
    if not p:
        raise MemoryError
    return p


def _text(bstr: Optional[int]) -> str:
    return C.string_at(bstr, 2 * _lib.SysStringLen(bstr)).decode("utf-16-le", "replace") \
        if bstr else ""


def _olestr(p: int) -> str:
    units = C.cast(p, C.POINTER(C.c_uint16))
    n = 0
    while units[n]:
        n += 1
    return C.string_at(p, 2 * n).decode("utf-16-le", "replace")


def _to_ole(value: _dt.date) -> float:
    if not isinstance(value, _dt.datetime):
        value = _dt.datetime(value.year, value.month, value.day)
    delta = value - _OLE_EPOCH
    return delta.days + delta.seconds / 86400


def _from_ole(ole: float) -> _dt.date:
    day = int(ole)
    seconds = round(abs(ole - day) * 86400)
    moment = _OLE_EPOCH + _dt.timedelta(days=day, seconds=seconds)
    return moment.date() if seconds == 0 else moment


def _to_variant(value: Any, v: VARIANT, refs: Optional[List[Tuple[Ref, VARIANT]]] = None) -> None:
    """Fills v; v then owns what it holds (clear it with _clear)."""
    if value is Missing:
        v.vt, v.scode = VT_ERROR, DISP_E_PARAMNOTFOUND
    elif value is Empty:
        v.vt = VT_EMPTY
    elif value is None:
        v.vt = VT_NULL
    elif isinstance(value, bool):
        v.vt, v.boolVal = VT_BOOL, -1 if value else 0
    elif isinstance(value, int) and -2**31 <= value < 2**31:
        v.vt, v.lVal = VT_I4, value
    elif isinstance(value, (int, float)):
        v.vt, v.dblVal = VT_R8, float(value)
    elif isinstance(value, str):
        v.ptr = _bstr(value)
        v.vt = VT_BSTR
    elif isinstance(value, _dt.date):
        v.vt, v.date = VT_DATE, _to_ole(value)
    elif isinstance(value, (Dispatch, _Exposed)):
        _method(value._ptr, 1, _AddRef)(value._ptr)
        v.vt, v.ptr = VT_DISPATCH, value._ptr
    elif isinstance(value, Ref) and refs is not None:
        inner = VARIANT()
        _to_variant(value.value, inner)
        refs.append((value, inner))
        v.vt, v.ptr = VT_BYREF | VT_VARIANT, C.addressof(inner)
    else:
        raise TypeError(f"no dispatch value for {type(value).__name__}")


def _clear(v: VARIANT) -> None:
    if v.vt == VT_BSTR:
        _lib.SysFreeString(v.ptr)
    elif v.vt in (VT_DISPATCH, VT_UNKNOWN) and v.ptr:
        _method(v.ptr, 2, _AddRef)(v.ptr)
    v.vt, v.llVal = VT_EMPTY, 0


def _from_variant(v: VARIANT, take: bool = True) -> Any:
    """The Python value of v. take: v's text and object reference pass to the result."""
    vt = v.vt
    if vt == VT_BYREF | VT_VARIANT:
        return _from_variant(C.cast(v.ptr, C.POINTER(VARIANT))[0], take=False)
    if vt == VT_BSTR:
        text = _text(v.ptr)
        if take:
            _clear(v)
        return text
    if vt == VT_DISPATCH:
        if not v.ptr:
            return None
        if not take:
            _method(v.ptr, 1, _AddRef)(v.ptr)
        return Dispatch(v.ptr)
    if vt == VT_UNKNOWN:  # a collection's enumerator; nothing else comes as VT_UNKNOWN
        if not take:
            _method(v.ptr, 1, _AddRef)(v.ptr)
        return _Enumerator(v.ptr) if v.ptr else None
    simple: Dict[int, Callable[[], Any]] = {VT_EMPTY: lambda: Empty, VT_NULL: lambda: None, VT_I2: lambda: v.iVal,
              VT_I4: lambda: v.lVal, VT_R4: lambda: v.fltVal, VT_R8: lambda: v.dblVal,
              VT_CY: lambda: v.llVal / 10000, VT_DATE: lambda: _from_ole(v.date),
              VT_ERROR: lambda: v.scode, VT_BOOL: lambda: v.boolVal != 0,
              VT_UI1: lambda: v.bVal, VT_I8: lambda: v.llVal}
    if vt not in simple:
        raise TypeError(f"unsupported VARIANT type {vt:#x}")
    return simple[vt]()


def _invoke(ptr: int, dispid: int, flags: int, args: List[Any],
            named: Optional[Dict[int, Any]] = None, member: str = "",
            names: Tuple[str, ...] = ()) -> Any:
    """named: {parameter dispid: value}; they come first in rgvarg, the positional ones after
    them in reverse order. member and names (the named arguments'): for the error text."""
    named = dict(named or {})
    if flags & (PROPERTYPUT | PROPERTYPUTREF):
        named = {DISPID_PROPERTYPUT: args[0]}
        args = []
    n, k = len(args) + len(named), len(named)
    values = (VARIANT * max(n, 1))()
    ids = (C.c_int32 * max(k, 1))(*named.keys())
    refs: List[Tuple[Ref, VARIANT]] = []
    try:
        for i, arg in enumerate(named.values()):
            _to_variant(arg, values[i], refs)
        for i, arg in enumerate(args):
            _to_variant(arg, values[n - 1 - i], refs)
        params = DISPPARAMS(values if n else None, ids if k else None, n, k)
        result, excep, arg_err = VARIANT(), EXCEPINFO(), C.c_uint(0)
        hr = _method(ptr, 6, _Invoke)(ptr, dispid, C.byref(IID_NULL), 0, flags,
                                      C.byref(params), C.byref(result), C.byref(excep),
                                      C.byref(arg_err))
        for ref, inner in refs:
            ref.value = _from_variant(inner)
    finally:
        for i in range(n):
            if values[i].vt & VT_BYREF == 0:
                _clear(values[i])
        for _, inner in refs:
            _clear(inner)
    if hr == DISP_E_EXCEPTION:
        source, description = _text(excep.bstrSource), _text(excep.bstrDescription)
        for p in (excep.bstrSource, excep.bstrDescription, excep.bstrHelpFile):
            _lib.SysFreeString(p)
        raise ComponentError(excep.scode, source, description)
    if hr < 0:
        where = member or f"member {dispid:#x}"
        if hr in (DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW, DISP_E_PARAMNOTFOUND) and n:
            # arg_err indexes rgvarg: named arguments first, then positional ones reversed.
            i = arg_err.value
            if flags & (PROPERTYPUT | PROPERTYPUTREF):
                where += ", the value assigned"
            elif i < k:
                where += f", argument {names[i] if i < len(names) else i + 1}"
            elif i < n:
                where += f", argument {n - i}"
        raise DispatchError(hr, where)
    return _from_variant(result)


class Dispatch:
    """A dispatch object of the component, reached by member name."""

    _ptr: Optional[int]
    _ids: Dict[str, int]

    def __init__(self, ptr: int) -> None:
        object.__setattr__(self, "_ptr", ptr)  # one reference, owned
        object.__setattr__(self, "_ids", {})

    def __del__(self) -> None:
        if self._ptr:
            try:
                _method(self._ptr, 2, _AddRef)(self._ptr)
            except Exception:  # noqa: BLE001 - interpreter shutdown
                pass
            object.__setattr__(self, "_ptr", None)

    def _ids_of(self, *names: str) -> List[int]:
        """The member's dispid, then those of its parameters."""
        bufs = [C.create_string_buffer(n.encode("utf-16-le") + b"\0\0") for n in names]
        array = (C.c_void_p * len(names))(*map(C.addressof, bufs))
        ids = (C.c_int32 * len(names))()
        hr = _method(self._ptr, 5, _GetIDsOfNames)(self._ptr, C.byref(IID_NULL), array,
                                                   len(names), 0, ids)
        if hr < 0:
            unknown = [n for n, i in zip(names, ids) if i == -1]
            if unknown and unknown[0] == names[0]:
                raise AttributeError(names[0])
            raise DispatchError(hr, f"{names[0]}, argument {', '.join(unknown)}")
        return list(ids)

    def _id(self, name: str) -> int:
        if name not in self._ids:
            self._ids[name] = self._ids_of(name)[0]
        return self._ids[name]

    def _call(self, name: str, dispid: int, args: Tuple[Any, ...], kwargs: Dict[str, Any]) -> Any:
        named = dict(zip(self._ids_of(name, *kwargs)[1:], kwargs.values())) if kwargs else None
        return _invoke(self._ptr or 0, dispid, METHOD | PROPERTYGET, list(args), named, name,
                       tuple(kwargs))

    def __getattr__(self, name: str) -> Any:
        if name.startswith("__"):
            raise AttributeError(name)
        dispid = self._id(name)
        try:
            return _invoke(self._ptr or 0, dispid, PROPERTYGET, [], member=name)
        except DispatchError as e:
            # A method, or a property that takes parameters: something to call.
            if e.hresult not in (DISP_E_MEMBERNOTFOUND, DISP_E_BADPARAMCOUNT,
                                 DISP_E_PARAMNOTOPTIONAL):
                raise
        return lambda *args, **kwargs: self._call(name, dispid, args, kwargs)

    def __setattr__(self, name: str, value: Any) -> None:
        flags = PROPERTYPUTREF if isinstance(value, (Dispatch, _Exposed)) else PROPERTYPUT
        _invoke(self._ptr or 0, self._id(name), flags, [value], member=name)

    def __call__(self, *args: Any) -> Any:  # the default member: rs("cVenCode"), items(1)
        return _invoke(self._ptr or 0, 0, METHOD | PROPERTYGET, list(args), member="(default)")

    def __len__(self) -> int:
        return int(self.Count)

    def __iter__(self) -> Any:
        return iter(_invoke(self._ptr or 0, DISPID_NEWENUM, METHOD | PROPERTYGET, [],
                            member="_NewEnum"))


class _Enumerator:
    """The items of a collection, one IEnumVARIANT.Next at a time."""

    def __init__(self, unknown: int) -> None:
        found = C.c_void_p()
        hr = _method(unknown, 0, _QueryInterface)(unknown, C.byref(IID_IEnumVARIANT),
                                                   C.byref(found))
        _method(unknown, 2, _AddRef)(unknown)
        if hr < 0:
            raise DispatchError(hr, "QueryInterface for IEnumVARIANT")
        self._ptr = found.value

    def __iter__(self) -> "_Enumerator":
        return self

    def __next__(self) -> Any:
        v, fetched = VARIANT(), C.c_uint32(0)
        hr = _method(self._ptr, 3, _Next)(self._ptr, 1, C.byref(v), C.byref(fetched))
        if hr < 0:
            raise DispatchError(hr, "IEnumVARIANT.Next")
        if fetched.value == 0:
            raise StopIteration
        return _from_variant(v)

    def __del__(self) -> None:
        try:
            _method(self._ptr, 2, _AddRef)(self._ptr)
        except Exception:  # noqa: BLE001 - interpreter shutdown
            pass


_alive: Set["_Exposed"] = set()  # exposed objects the component still holds


class _Exposed:
    """A Python object published as a dispatch object: its attributes are found by name
    (letter case ignored); callables are called with the arguments, anything else is read."""

    def __init__(self, target: object) -> None:
        self._target, self._refs = target, 0
        self._names: List[str] = []

        def query(this: int, iid: Any, out: Any) -> int:
            if bytes(iid.contents) in (bytes(IID_IUnknown), bytes(IID_IDispatch)):
                add_ref(this)
                out[0] = this
                return S_OK
            out[0] = None
            return E_NOINTERFACE

        def add_ref(this: int) -> int:
            self._refs += 1
            _alive.add(self)
            return self._refs

        def release(this: int) -> int:
            self._refs -= 1
            if self._refs == 0:
                _alive.discard(self)
            return self._refs

        def type_info_count(this: int, count: Any) -> int:
            count[0] = 0
            return S_OK

        def ids_of_names(this: int, iid: Any, names: Any, count: int, lcid: int,
                         ids: Any) -> int:
            wanted = _olestr(names[0]).lower()
            for attr in dir(target):
                if attr.lower() == wanted and not attr.startswith("_"):
                    if attr not in self._names:
                        self._names.append(attr)
                    ids[0] = self._names.index(attr)
                    return S_OK
            ids[0] = -1
            return DISP_E_UNKNOWNNAME

        def invoke(this: int, dispid: int, iid: Any, lcid: int, flags: int, params: Any,
                   result: Any, excep: Any, arg_err: Any) -> int:
            try:
                attr = getattr(target, self._names[dispid])
                p = params.contents
                args = [_from_variant(p.rgvarg[p.cArgs - 1 - i], take=False)
                        for i in range(p.cArgs)]
                value = attr(*args) if callable(attr) else attr
                if result:
                    _to_variant(value, result.contents)
                return S_OK
            except Exception as e:  # noqa: BLE001 - every failure goes back to the caller
                if excep:
                    excep.contents.bstrSource = _bstr(type(e).__name__)
                    excep.contents.bstrDescription = _bstr(str(e))
                    excep.contents.scode = -2147467259  # E_FAIL
                return DISP_E_EXCEPTION

        self._vtbl = _IDispatchVtbl(_QueryInterface(query), _AddRef(add_ref), _AddRef(release),
                                    _GetTypeInfoCount(type_info_count),
                                    _GetTypeInfo(lambda *a: -2147467263),
                                    _GetIDsOfNames(ids_of_names), _Invoke(invoke))
        self._object = C.c_void_p(C.addressof(self._vtbl))  # first member: the table
        self._ptr = C.addressof(self._object)


def expose(target: object) -> "_Exposed":
    """target as a dispatch object that can be handed to the component (a login, an info)."""
    return _Exposed(target)


def registry_path() -> str:
    """Where registration is written and read: as libtamsel_publish decides."""
    if os.environ.get("TAMSEL_REGISTRY"):
        return os.environ["TAMSEL_REGISTRY"]
    if os.geteuid() == 0:
        return "/etc/tamsel/registry.json"
    base = os.environ.get("XDG_CONFIG_HOME") or os.path.join(os.path.expanduser("~"), ".config")
    return os.path.join(base, "tamsel", "registry.json")


def register(library: str) -> None:
    hr = _load(os.path.abspath(library)).DllRegisterServer()
    if hr < 0:
        raise DispatchError(hr, "DllRegisterServer")


def unregister(library: str) -> None:
    hr = _load(os.path.abspath(library)).DllUnregisterServer()
    if hr < 0:
        raise DispatchError(hr, "DllUnregisterServer")


def can_unload(library: str) -> bool:
    """True when the library holds no object and no lock any more (DllCanUnloadNow)."""
    return bool(_load(os.path.abspath(library)).DllCanUnloadNow() == S_OK)


def create(progid_or_clsid: str) -> Dispatch:
    """A new object of a registered class, by program id ("Tamsel.PriceRuleManager") or class id."""
    with open(registry_path(), encoding="utf-8") as f:
        registry = json.load(f)
    clsid = registry.get("progids", {}).get(progid_or_clsid, progid_or_clsid)
    entry = registry.get("classes", {}).get(clsid.upper())
    if entry is None:
        raise DispatchError(-2147221164, f"{progid_or_clsid} is not registered")  # REGDB_E_...
    return create_from(entry["library"], clsid, progid_or_clsid)


def create_from(library: str, clsid: str, what: str) -> Dispatch:
    """A new object of class clsid straight from library, with no registration."""
    lib = _load(library)
    factory = C.c_void_p()
    hr = lib.DllGetClassObject(C.byref(GUID.parse(clsid)), C.byref(IID_IClassFactory),
                               C.byref(factory))
    if hr < 0:
        raise DispatchError(hr, f"DllGetClassObject for {what}")
    try:
        obj = C.c_void_p()
        hr = _method(factory.value, 3, _CreateInstance)(factory.value, None,
                                                        C.byref(IID_IDispatch), C.byref(obj))
    finally:
        _method(factory.value, 2, _AddRef)(factory.value)
    if hr < 0:
        raise DispatchError(hr, f"CreateInstance of {what}")
    return Dispatch(obj.value or 0)
