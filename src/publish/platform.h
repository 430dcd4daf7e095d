#pragma once

// Where the shared face meets its platform. Linux has the C types of tamsel/publish.h; Windows
// has the system's, whose C++ form passes identifiers by reference. The functions below are
// each platform's own (linux/, windows/).

#include <cstring>
#include <string_view>

#include "tamsel/publish.h"

namespace tamsel::publish {

#ifdef _WIN32
inline const IID* IidPointer(REFIID id) { return &id; }
inline REFIID IidArgument(const IID& id) { return id; }
#else
inline const IID* IidPointer(REFIID id) { return id; }
inline REFIID IidArgument(const IID& id) { return &id; }
#endif

inline bool SameGuid(const IID* a, const IID& b) {
  return a && std::memcmp(a, &b, sizeof(IID)) == 0;
}

// The type information of a class's dispatch interface, for GetTypeInfoCount/GetTypeInfo:
// how many there are (0 or 1) and the one asked for.
UINT TypeInfoCount();
HRESULT TypeInfoOf(const IID* iid, ITypeInfo** out);

// The dispatch id of a caller's member, found by name without regard to case.
HRESULT MemberId(IDispatch* object, BSTR name, DISPID* id);

// Tells the caller's thread of a failure beyond EXCEPINFO, for clients that read it there.
void PublishErrorInfo(const IID* iid, std::string_view source, std::string_view description);

}  // namespace tamsel::publish
