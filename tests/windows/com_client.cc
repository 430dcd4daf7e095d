// A C++ client of the registered server: creates each class through CoCreateInstance, reads the
// type library and holds every member against the published table (tests/data/dispids.txt):
// dispatch ids, kinds, parameter counts, optional and in/out parameters, and that the names the
// type library gives its parameters are the ones Invoke takes as named arguments. Then a failure
// as a C++ client sees it (EXCEPINFO and IErrorInfo) and a text through the system's allocator.
// Usage: com_client DISPIDS_FILE. The last line printed is "client complete".

// <windows.h> comes first: the other system headers build on it.
// clang-format off
#include <windows.h>
#include <oleauto.h>
// clang-format on

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

int failures = 0;

void Expect(bool ok, const std::string& what) {
  if (!ok) {
    std::printf("FAILED: %s\n", what.c_str());
    ++failures;
  }
}

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }
std::string Narrow(const wchar_t* s) {
  std::string out;
  for (; s && *s; ++s) out += static_cast<char>(*s);
  return out;
}

struct Row {
  std::string member;
  DISPID id;
  std::string kind;
};

std::map<std::string, std::vector<Row>> ReadTable(const char* path) {
  std::map<std::string, std::vector<Row>> table;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> cells;
    std::stringstream ss(line);
    for (std::string cell; std::getline(ss, cell, '|');) {
      cell.erase(0, cell.find_first_not_of(' '));
      cell.erase(cell.find_last_not_of(" \r") + 1);
      cells.push_back(cell);
    }
    table[cells[0]].push_back(
        {cells[1], static_cast<DISPID>(std::stoul(cells[2], nullptr, 16)), cells[3]});
  }
  return table;
}

// Parameters the published face passes by reference.
const std::set<std::string> kInOut = {"index",    "bulTaxType", "rule", "errstr",
                                      "ruleItem", "login",      "info", "conn"};

VARTYPE ResultType(const std::string& kind) {
  static const std::map<std::string, VARTYPE> types = {
      {"text", VT_BSTR},     {"readonly", VT_BSTR}, {"long", VT_I4},
      {"short", VT_I2},      {"double", VT_R8},     {"bool", VT_BOOL},
      {"value", VT_VARIANT}, {"rule", VT_PTR},      {"items", VT_DISPATCH}};
  auto it = types.find(kind);
  return it == types.end() ? VARTYPE{VT_EMPTY} : it->second;
}

// Every function of a dispatch interface, by dispatch id and kind of call.
struct Function {
  INVOKEKIND kind;
  VARTYPE result;
  int params;
  int optional;
  std::vector<bool> out;
  std::vector<std::string> names;  // the member, then its parameters
};

std::multimap<DISPID, Function> Functions(ITypeInfo* info) {
  std::multimap<DISPID, Function> all;
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr))) {
    Expect(false, "GetTypeAttr");
    return all;
  }
  for (UINT i = 0; i < attr->cFuncs; ++i) {
    FUNCDESC* fd = nullptr;
    const HRESULT hr = info->GetFuncDesc(i, &fd);
    if (FAILED(hr)) {
      Expect(false, "GetFuncDesc " + std::to_string(i) + ": " + std::to_string(hr));
      continue;
    }
    Function f{fd->invkind, fd->elemdescFunc.tdesc.vt, fd->cParams, 0, {}, {}};
    for (int p = 0; p < fd->cParams; ++p) {
      const USHORT flags = fd->lprgelemdescParam[p].paramdesc.wParamFlags;
      if (flags & PARAMFLAG_FOPT) ++f.optional;
      f.out.push_back(flags & PARAMFLAG_FOUT);
    }
    BSTR names[16] = {};
    UINT count = 0;
    info->GetNames(fd->memid, names, 16, &count);
    for (UINT n = 0; n < count; ++n) {
      f.names.push_back(Narrow(names[n]));
      SysFreeString(names[n]);
    }
    all.emplace(fd->memid, f);
    info->ReleaseFuncDesc(fd);
  }
  info->ReleaseTypeAttr(attr);
  return all;
}

void CheckClass(const std::string& cls, const std::vector<Row>& rows, ITypeInfo* info,
                IDispatch* object) {
  const auto functions = Functions(info);
  std::set<DISPID> listed;
  for (const Row& row : rows) {
    const std::string where = cls + "." + row.member;
    listed.insert(row.id);
    const auto [first, last] = functions.equal_range(row.id);
    if (row.kind == "none") {
      Expect(first == last, where + ": the type library has a member at " + std::to_string(row.id));
      continue;
    }
    Expect(first != last, where + ": not in the type library");
    if (first == last) continue;
    Expect(first->second.names.at(0) == row.member, where + ": named " + first->second.names[0]);
    if (object) {  // the live object finds the member by name at the same id
      std::wstring name = Wide(row.member);
      LPOLESTR names[] = {name.data()};
      DISPID id = DISPID_UNKNOWN;
      object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
      Expect(id == row.id, where + ": GetIDsOfNames gives another id");
    }
    if (row.kind.rfind("method:", 0) == 0) {
      const Function& f = first->second;
      int n = 0, optional = 0;
      std::sscanf(row.kind.c_str(), "method:%d/%d", &n, &optional);
      Expect(f.kind == INVOKE_FUNC, where + ": not a method");
      Expect(f.params == n, where + ": " + std::to_string(f.params) + " parameters");
      Expect(f.optional == optional, where + ": " + std::to_string(f.optional) + " optional");
      for (int p = 0; p < f.params && p + 1 < static_cast<int>(f.names.size()); ++p) {
        const std::string& param = f.names[p + 1];
        Expect(f.out[p] == (kInOut.count(param) > 0), where + "(" + param + "): in/out mark");
        if (!object) continue;
        // Named arguments: Invoke must know the parameter by the type library's name.
        std::wstring member = Wide(row.member), wparam = Wide(param);
        LPOLESTR names[] = {member.data(), wparam.data()};
        DISPID ids[2] = {};
        object->GetIDsOfNames(IID_NULL, names, 2, LOCALE_USER_DEFAULT, ids);
        Expect(ids[1] == p, where + "(" + param + "): Invoke numbers it " + std::to_string(ids[1]));
      }
      continue;
    }
    bool get = false, put = false;
    for (auto it = first; it != last; ++it) {
      if (it->second.kind == INVOKE_PROPERTYGET) {
        get = true;
        Expect(it->second.result == ResultType(row.kind), where + ": type of the property");
      }
      if (it->second.kind & (INVOKE_PROPERTYPUT | INVOKE_PROPERTYPUTREF)) put = true;
    }
    Expect(get, where + ": cannot be read");
    Expect(put == (row.kind != "readonly"), where + ": put does not match");
  }
  for (const auto& [id, f] : functions) {
    Expect(listed.count(id) > 0, cls + "." + f.names.at(0) + ": in the type library only");
  }
}

// A failing call as a C++ client makes it: LoadVenInvPriceRule on a manager never initialised.
void CheckFailure(IDispatch* manager) {
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_I4;
  arg.lVal = 1;
  DISPPARAMS params{&arg, nullptr, 1, 0};
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO excep{};
  SetErrorInfo(0, nullptr);
  const HRESULT hr = manager->Invoke(0x60030005, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                     &params, &result, &excep, nullptr);
  Expect(hr == DISP_E_EXCEPTION, "a failed call answers DISP_E_EXCEPTION");
  Expect(excep.scode == static_cast<SCODE>(0x800403E9), "EXCEPINFO carries the component error");
  Expect(Narrow(excep.bstrSource) == "Assert", "EXCEPINFO's source is Assert");
  IErrorInfo* error = nullptr;
  Expect(GetErrorInfo(0, &error) == S_OK && error, "the thread has error information");
  if (error) {
    BSTR description = nullptr, source = nullptr;
    error->GetDescription(&description);
    error->GetSource(&source);
    Expect(Narrow(description) == Narrow(excep.bstrDescription) && SysStringLen(description) > 0,
           "IErrorInfo describes the failure as EXCEPINFO does");
    Expect(Narrow(source) == "Assert", "IErrorInfo's source is Assert");
    std::printf("failure seen: %s\n", Narrow(description).c_str());
    SysFreeString(description);
    SysFreeString(source);
    error->Release();
  }
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
}

// A text put in and read back: what comes out is freed with the system's SysFreeString.
void CheckText(IDispatch* rule) {
  DISPID put = DISPID_PROPERTYPUT;
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocString(L"memo \u00e9\u4e2d\u6587 \xD842\xDFB7");
  DISPPARAMS params{&value, &put, 1, 1};
  Expect(rule->Invoke(0x40030010, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr,
                      nullptr) == S_OK,
         "cMemo takes a text");
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VARIANT back;
  VariantInit(&back);
  for (int i = 0; i < 1000; ++i) {
    rule->Invoke(0x40030010, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &back, nullptr, nullptr);
    Expect(back.vt == VT_BSTR && SysStringLen(back.bstrVal) == SysStringLen(value.bstrVal) &&
               wcscmp(back.bstrVal, value.bstrVal) == 0,
           "cMemo reads back the same text");
    VariantClear(&back);  // the system's allocator frees the component's text
    if (failures) break;
  }
  VariantClear(&value);
}

// Objects live in the apartment of the thread that made them: another thread is refused.
void CheckApartment(IDispatch* rule) {
  HRESULT from_other = S_OK;
  std::thread other([&] {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT back;
    VariantInit(&back);
    from_other =
        rule->Invoke(0x40030010, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &back, nullptr, nullptr);
    VariantClear(&back);
    CoUninitialize();
  });
  other.join();
  Expect(from_other == RPC_E_WRONG_THREAD, "a call from another thread answers RPC_E_WRONG_THREAD");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::printf("usage: com_client DISPIDS_FILE\n");
    return 2;
  }
  const auto table = ReadTable(argv[1]);
  Expect(table.size() == 4, "the table names four classes");
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ITypeLib* library = nullptr;
  const GUID libid = {0xC393DFF8, 0x33F5, 0x4066, {0x86, 0x54, 0xE1, 0x4E, 0x67, 0xC4, 0xC5, 0x0E}};
  Expect(LoadRegTypeLib(libid, 1, 0, LOCALE_NEUTRAL, &library) == S_OK,
         "the type library Tamsel 1.0 is registered");
  if (!library) return 1;
  BSTR library_name = nullptr;
  library->GetDocumentation(-1, &library_name, nullptr, nullptr, nullptr);
  Expect(Narrow(library_name) == "Tamsel", "the library is named Tamsel");
  SysFreeString(library_name);

  for (const auto& [cls, rows] : table) {
    const std::wstring progid = L"Tamsel." + Wide(cls);
    CLSID clsid{};
    const HRESULT found = CLSIDFromProgID(progid.c_str(), &clsid);
    ITypeInfo* coclass = nullptr;
    Expect(library->GetTypeInfoOfGuid(clsid, &coclass) == S_OK || cls == "Validator",
           cls + ": the class id of its program id is in the type library");
    if (coclass) coclass->Release();
    IDispatch* object = nullptr;
    if (cls == "Validator") {
      // Not creatable: only a manager makes one.
      Expect(FAILED(found), "Validator has no program id");
      const GUID validator = {
          0x412FD0E7, 0xAE91, 0x461C, {0xB7, 0x02, 0x31, 0x75, 0x9B, 0x90, 0xE3, 0x1A}};
      Expect(FAILED(CoCreateInstance(validator, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                     reinterpret_cast<void**>(&object))),
             "Validator cannot be created");
      object = nullptr;
    } else {
      Expect(found == S_OK, cls + ": program id " + Narrow(progid.c_str()));
      Expect(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(&object)) == S_OK &&
                 object,
             cls + ": CoCreateInstance");
    }
    ITypeInfo* info = nullptr;
    if (object) {
      UINT count = 0;
      object->GetTypeInfoCount(&count);
      Expect(count == 1, cls + ": GetTypeInfoCount answers 1");
      Expect(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info) == S_OK && info,
             cls + ": GetTypeInfo");
    } else {
      // The interface named in the coclass, straight from the library.
      ITypeInfo* validator = nullptr;
      const GUID iid = {
          0x76A6570B, 0xDB29, 0x4449, {0x9E, 0x31, 0x3E, 0xBE, 0x7B, 0xD4, 0x14, 0x97}};
      library->GetTypeInfoOfGuid(iid, &validator);
      info = validator;
    }
    if (info) {
      TYPEATTR* attr = nullptr;
      info->GetTypeAttr(&attr);
      Expect(attr->typekind == TKIND_DISPATCH, cls + ": a dispatch interface");
      info->ReleaseTypeAttr(attr);
      CheckClass(cls, rows, info, object);
      info->Release();
    }
    if (cls == "PriceRuleManager" && object) CheckFailure(object);
    if (cls == "PriceRule" && object) {
      CheckText(object);
      CheckApartment(object);
    }
    if (object) object->Release();
  }
  library->Release();

  // Nothing of ours is alive any more, so the server may be unloaded.
  HMODULE server = GetModuleHandleW(L"tamsel.dll");
  Expect(server != nullptr, "tamsel.dll was loaded in process");
  if (server) {
    auto can_unload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(server, "DllCanUnloadNow")));
    Expect(can_unload && can_unload() == S_OK, "DllCanUnloadNow answers S_OK");
  }
  CoUninitialize();
  if (failures) {
    std::printf("%d checks failed\n", failures);
    return 1;
  }
  std::printf("client complete\n");
  return 0;
}
