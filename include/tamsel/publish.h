/* The published face of Tamsel: the binary dispatch interface of its four classes, as C.
 *
 * Objects are plain structs whose first member points to a table of function pointers, laid out
 * as the component object model's binary standard lays them out; calls use the platform's
 * default C calling convention (System V on x86-64 Linux). Any language that can load a shared
 * library and call through such a table (C, Python ctypes, .NET, Java FFM) can drive the
 * component by member name (GetIDsOfNames) or by dispatch identifier (Invoke).
 *
 * On Linux, libtamsel_publish exports DllGetClassObject, DllCanUnloadNow, DllRegisterServer,
 * DllUnregisterServer, the BSTR functions (that platform has none) and TamselCreateInstance,
 * which finds a class in the registry file, loads its library and creates an instance.
 *
 * On Windows, tamsel.dll is an in-process server: it exports the four entry points, registers
 * itself with regsvr32 and carries the type library Tamsel; clients create its classes with
 * CoCreateInstance (or by program id, "Tamsel.PriceRuleManager") and the types here are the
 * system's. See docs/windows.md.
 *
 * Threads: an object answers only on the thread that created it; a call from any other thread
 * fails with RPC_E_WRONG_THREAD and changes nothing, and so does a call on the owning thread that
 * passes another thread's object as an argument (or puts it into a property). The enumerator of
 * ruleItems follows the same rule. AddRef and Release work from any thread. Each thread has its
 * own dispatch objects: a component object reached from two threads has one on each.
 */
#ifndef TAMSEL_PUBLISH_H_
#define TAMSEL_PUBLISH_H_

#include <stdint.h>

#ifdef _WIN32
/* On Windows the types, the BSTR functions and the declarations of the entry points are the
 * system's own (oleaut32, ole32); this header adds the component's identifiers.
 * <windows.h> first: the other system headers build on it. */
/* clang-format off */
#include <windows.h>
#include <oleauto.h>
/* clang-format on */
#endif

#ifdef __cplusplus
extern "C" {
#endif

#ifdef _WIN32
#define TAMSEL_E_COMPONENT ((HRESULT)0x800403E9L)
#else /* the binary standard's types, rendered for this platform */

typedef int32_t HRESULT;
typedef int32_t SCODE;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int16_t SHORT;
typedef uint16_t USHORT;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef uint8_t BYTE;
typedef int32_t BOOL;
typedef int32_t INT;
typedef uint32_t UINT;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef float FLOAT;
typedef double DOUBLE;
typedef LONG DISPID;
typedef DWORD LCID;
typedef USHORT VARTYPE;
typedef SHORT VARIANT_BOOL;
typedef double DATE;      /* days since 1899-12-30; the fraction is the time of day */
#ifdef __cplusplus
typedef char16_t OLECHAR; /* UTF-16 code unit */
#else
typedef uint16_t OLECHAR;
#endif
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
/* A length-prefixed UTF-16 string: the 32-bit byte length sits just before the first code unit,
 * and a terminating 0 follows the last. NULL is the empty string. */
typedef OLECHAR* BSTR;

#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

typedef struct _GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;
/* The C form of the standard's by-reference identifiers; in C++ a reference has the same
 * layout, but one header for both languages keeps the pointer. */
typedef const GUID* REFGUID;
typedef const IID* REFIID;
typedef const CLSID* REFCLSID;

/* Results. */
#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001L)
#define E_NOINTERFACE ((HRESULT)0x80004002L)
#define E_POINTER ((HRESULT)0x80004003L)
#define E_FAIL ((HRESULT)0x80004005L)
#define E_UNEXPECTED ((HRESULT)0x8000FFFFL)
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define E_INVALIDARG ((HRESULT)0x80070057L)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110L)
#define CLASS_E_CLASSNOTAVAILABLE ((HRESULT)0x80040111L)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154L)
#define SELFREG_E_CLASS ((HRESULT)0x80040201L)
#define CO_E_DLLNOTFOUND ((HRESULT)0x800401F8L)
#define CO_E_ERRORINDLL ((HRESULT)0x800401F9L)
#define RPC_E_WRONG_THREAD ((HRESULT)0x8001010EL)
#define DISP_E_UNKNOWNINTERFACE ((HRESULT)0x80020001L)
#define DISP_E_MEMBERNOTFOUND ((HRESULT)0x80020003L)
#define DISP_E_PARAMNOTFOUND ((HRESULT)0x80020004L)
#define DISP_E_TYPEMISMATCH ((HRESULT)0x80020005L)
#define DISP_E_UNKNOWNNAME ((HRESULT)0x80020006L)
#define DISP_E_NONAMEDARGS ((HRESULT)0x80020007L)
#define DISP_E_BADVARTYPE ((HRESULT)0x80020008L)
#define DISP_E_EXCEPTION ((HRESULT)0x80020009L)
#define DISP_E_OVERFLOW ((HRESULT)0x8002000AL)
#define DISP_E_BADINDEX ((HRESULT)0x8002000BL)
#define DISP_E_BADPARAMCOUNT ((HRESULT)0x8002000EL)
#define DISP_E_PARAMNOTOPTIONAL ((HRESULT)0x8002000FL)
/* The component error's number (source "Assert" or "Error"), found in EXCEPINFO.scode. */
#define TAMSEL_E_COMPONENT ((HRESULT)0x800403E9L)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

/* Type tags of a VARIANT. */
enum VARENUM {
  VT_EMPTY = 0, /* never assigned */
  VT_NULL = 1,  /* the database's NULL */
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000
};

/* Currency: the amount times 10000. */
typedef union tagCY {
  struct {
    uint32_t Lo;
    int32_t Hi;
  } s;
  LONGLONG int64;
} CY;

typedef struct tagDEC {
  USHORT wReserved;
  BYTE scale;
  BYTE sign;
  ULONG Hi32;
  ULONGLONG Lo64;
} DECIMAL;

typedef struct IUnknown IUnknown;
typedef struct IDispatch IDispatch;
typedef struct IClassFactory IClassFactory;
typedef struct ITypeInfo ITypeInfo; /* not provided: GetTypeInfoCount answers 0 */

typedef struct tagVARIANT VARIANT;
typedef VARIANT VARIANTARG;
struct tagVARIANT {
  union {
    struct {
      VARTYPE vt;
      WORD wReserved1;
      WORD wReserved2;
      WORD wReserved3;
      union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        LONGLONG* pllVal;
        FLOAT* pfltVal;
        DOUBLE* pdblVal;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        CY* pcyVal;
        DATE* pdate;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        DECIMAL* pdecVal;
        VARIANT* pvarVal;
        void* byref;
        struct {
          void* pvRecord;
          void* pRecInfo;
        } brecVal;
      };
    };
    DECIMAL decVal;
  };
};

typedef struct tagEXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  void* pvReserved;
  HRESULT (*pfnDeferredFillIn)(struct tagEXCEPINFO*);
  SCODE scode;
} EXCEPINFO;

/* Arguments in reverse order: rgvarg[cArgs - 1] is the first. Named arguments come first in
 * rgvarg, their positions in rgdispidNamedArgs. */
typedef struct tagDISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
} DISPPARAMS;

#define DISPATCH_METHOD 0x1
#define DISPATCH_PROPERTYGET 0x2
#define DISPATCH_PROPERTYPUT 0x4
#define DISPATCH_PROPERTYPUTREF 0x8
#define DISPID_UNKNOWN ((DISPID)-1)
#define DISPID_VALUE ((DISPID)0)
#define DISPID_PROPERTYPUT ((DISPID)-3)
#define DISPID_NEWENUM ((DISPID)-4)

typedef struct IUnknownVtbl {
  HRESULT (*QueryInterface)(IUnknown* This, REFIID riid, void** ppvObject);
  ULONG (*AddRef)(IUnknown* This);
  ULONG (*Release)(IUnknown* This);
} IUnknownVtbl;
struct IUnknown {
  const IUnknownVtbl* lpVtbl;
};

typedef struct IClassFactoryVtbl {
  HRESULT (*QueryInterface)(IClassFactory* This, REFIID riid, void** ppvObject);
  ULONG (*AddRef)(IClassFactory* This);
  ULONG (*Release)(IClassFactory* This);
  HRESULT(*CreateInstance)
  (IClassFactory* This, IUnknown* pUnkOuter, REFIID riid, void** ppvObject);
  HRESULT (*LockServer)(IClassFactory* This, BOOL fLock);
} IClassFactoryVtbl;
struct IClassFactory {
  const IClassFactoryVtbl* lpVtbl;
};

typedef struct IDispatchVtbl {
  HRESULT (*QueryInterface)(IDispatch* This, REFIID riid, void** ppvObject);
  ULONG (*AddRef)(IDispatch* This);
  ULONG (*Release)(IDispatch* This);
  HRESULT (*GetTypeInfoCount)(IDispatch* This, UINT* pctinfo);
  HRESULT (*GetTypeInfo)(IDispatch* This, UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo);
  HRESULT(*GetIDsOfNames)
  (IDispatch* This, REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId);
  HRESULT(*Invoke)
  (IDispatch* This, DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
   DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr);
} IDispatchVtbl;
struct IDispatch {
  const IDispatchVtbl* lpVtbl;
};

/* The enumerator a collection's _NewEnum (DISPID_NEWENUM) gives, as VT_UNKNOWN. */
typedef struct IEnumVARIANT IEnumVARIANT;
typedef struct IEnumVARIANTVtbl {
  HRESULT (*QueryInterface)(IEnumVARIANT* This, REFIID riid, void** ppvObject);
  ULONG (*AddRef)(IEnumVARIANT* This);
  ULONG (*Release)(IEnumVARIANT* This);
  HRESULT (*Next)(IEnumVARIANT* This, ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched);
  HRESULT (*Skip)(IEnumVARIANT* This, ULONG celt);
  HRESULT (*Reset)(IEnumVARIANT* This);
  HRESULT (*Clone)(IEnumVARIANT* This, IEnumVARIANT** ppEnum);
} IEnumVARIANTVtbl;
struct IEnumVARIANT {
  const IEnumVARIANTVtbl* lpVtbl;
};

/* Identifiers. */
#define TAMSEL_DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  static const GUID name __attribute__((unused)) = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
TAMSEL_DEFINE_GUID(IID_IUnknown, 0x00000000, 0x0000, 0x0000, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
TAMSEL_DEFINE_GUID(IID_IClassFactory, 0x00000001, 0x0000, 0x0000, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
TAMSEL_DEFINE_GUID(IID_IDispatch, 0x00020400, 0x0000, 0x0000, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
TAMSEL_DEFINE_GUID(IID_IEnumVARIANT, 0x00020404, 0x0000, 0x0000, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
TAMSEL_DEFINE_GUID(IID_NULL, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
#endif /* _WIN32 */

#ifndef TAMSEL_DEFINE_GUID
#define TAMSEL_DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  static const GUID name __attribute__((unused)) = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
#endif
/* The type library Tamsel. */
TAMSEL_DEFINE_GUID(LIBID_Tamsel, 0xC393DFF8, 0x33F5, 0x4066, 0x86, 0x54, 0xE1, 0x4E, 0x67, 0xC4,
                   0xC5, 0x0E);
TAMSEL_DEFINE_GUID(CLSID_PriceRuleManager, 0x5D48B951, 0x2B81, 0x446B, 0xAA, 0x06, 0x62, 0xF3, 0x8B,
                   0x32, 0x8A, 0x32);
TAMSEL_DEFINE_GUID(IID__PriceRuleManager, 0xB3D3509C, 0xC0E2, 0x4A03, 0xA3, 0x59, 0xCC, 0x43, 0xC4,
                   0x04, 0x6D, 0x8D);
TAMSEL_DEFINE_GUID(CLSID_PriceRule, 0xDE1CFF28, 0xD248, 0x42A4, 0x8A, 0xFA, 0x69, 0xA2, 0xBA, 0x61,
                   0x06, 0x88);
TAMSEL_DEFINE_GUID(IID__PriceRule, 0x0C7EB9DB, 0x43C6, 0x4120, 0xA1, 0xAF, 0x85, 0x88, 0x99, 0x99,
                   0xD2, 0x98);
TAMSEL_DEFINE_GUID(CLSID_PriceRuleItem, 0xB5185990, 0xA00F, 0x49DE, 0xA7, 0xCB, 0xB6, 0x7F, 0x3F,
                   0x56, 0xDE, 0xFB);
TAMSEL_DEFINE_GUID(IID__PriceRuleItem, 0xFDB9D4E1, 0x5381, 0x4E06, 0xAC, 0x0C, 0x0F, 0x9E, 0x32,
                   0x0F, 0x89, 0x53);
TAMSEL_DEFINE_GUID(CLSID_Validator, 0x412FD0E7, 0xAE91, 0x461C, 0xB7, 0x02, 0x31, 0x75, 0x9B, 0x90,
                   0xE3, 0x1A);
TAMSEL_DEFINE_GUID(IID__Validator, 0x76A6570B, 0xDB29, 0x4449, 0x9E, 0x31, 0x3E, 0xBE, 0x7B, 0xD4,
                   0x14, 0x97);

#ifndef _WIN32
#define TAMSEL_PUBLISH_API __attribute__((visibility("default")))

/* BSTR functions. SysAllocString copies a 0-terminated text (NULL gives NULL);
 * SysAllocStringLen copies len code units (text NULL: left zero-filled); both return NULL when
 * out of memory. SysFreeString accepts NULL. SysStringLen counts code units; NULL has 0. */
TAMSEL_PUBLISH_API BSTR SysAllocString(const OLECHAR* text);
TAMSEL_PUBLISH_API BSTR SysAllocStringLen(const OLECHAR* text, UINT len);
TAMSEL_PUBLISH_API void SysFreeString(BSTR text);
TAMSEL_PUBLISH_API UINT SysStringLen(BSTR text);

/* The four entry points. DllGetClassObject gives the class factory of PriceRuleManager,
 * PriceRule or PriceRuleItem (Validator: CLASS_E_CLASSNOTAVAILABLE, as for any other class).
 * DllCanUnloadNow answers S_OK only when no object, no factory and no server lock is alive.
 * DllRegisterServer writes the classes, program ids ("Tamsel.PriceRuleManager"), interfaces and
 * the type library into the registry file and DllUnregisterServer removes exactly those; other
 * entries stay. The registry file is $TAMSEL_REGISTRY when set; else /etc/tamsel/registry.json
 * for root and $XDG_CONFIG_HOME/tamsel/registry.json (~/.config/...) for anyone else. */
TAMSEL_PUBLISH_API HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
TAMSEL_PUBLISH_API HRESULT DllCanUnloadNow(void);
TAMSEL_PUBLISH_API HRESULT DllRegisterServer(void);
TAMSEL_PUBLISH_API HRESULT DllUnregisterServer(void);

/* The client's "create instance": looks the class up in the registry file by class id, or by
 * program id when clsid is NULL, loads the registered library and asks its class factory for
 * the interface. REGDB_E_CLASSNOTREG when the class is not registered, CO_E_DLLNOTFOUND when
 * its library does not load. The library stays loaded for the life of the process. */
TAMSEL_PUBLISH_API HRESULT TamselCreateInstance(REFCLSID clsid, const char* progid, REFIID riid,
                                                void** ppv);
#endif /* !_WIN32 */

#ifdef __cplusplus
}
#endif

#endif /* TAMSEL_PUBLISH_H_ */
